#include "db/basListTitle.h"

#include "util/basLimits.h"

QString ListTitleSql(const QString& column) {
    // Only a longer title is cut: substr would also end a shorter text at a NUL character.
    return QStringLiteral(
               "CASE WHEN typeof(%1) IN ('text', 'blob') AND length(CAST(%1 AS BLOB)) > %2 "
               "THEN substr(%1, 1, %2) ELSE %1 END")
        .arg(column)
        .arg(kListTitleChars);
}
