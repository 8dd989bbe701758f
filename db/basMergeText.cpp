#include "db/basMergeText.h"

QString MergedBody(const QString& stored, const QString& joining, const QDateTime& when) {
    const QString added = joining.trimmed();
    if (added.isEmpty() || stored.contains(added)) return stored;
    if (stored.trimmed().isEmpty()) return joining;
    // Trailing blank lines of the stored text would push the marker down the page.
    QString kept = stored;
    while (!kept.isEmpty() && kept.back().isSpace()) kept.chop(1);
    // Leading blank lines go; the indentation of the first code line belongs to the code.
    qsizetype first = 0;
    while (first < joining.size() && joining.at(first).isSpace()) ++first;
    const qsizetype lineStart = first == 0 ? 0 : joining.lastIndexOf(QLatin1Char('\n'), first - 1) + 1;
    const QString text = joining.mid(lineStart);
    return kept + QStringLiteral("\n\n--- Added by merge on ") +
           when.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")) + QStringLiteral(" ---\n") + text;
}
