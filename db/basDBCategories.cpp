#include "db/basDBCategories.h"

#include "db/CSQLite.h"

qint64 FindOrAddCategory(CSQLite& db, qint64 typeId, const QString& name, QString* error) {
    // The unary plus keeps the engine off the language's index; equal names come out of the
    // name's index in number order.
    const QString find = QStringLiteral("SELECT ID FROM tblCategory WHERE Name = %1 AND +TypeID = %2 LIMIT 1")
                             .arg(CSQLite::RenderValue(name))
                             .arg(typeId);
    qint64 id = 0;
    QString why;
    const auto read = [&] {
        return db.ForEachRow(
            find,
            [&](const CSQLite::Row& r) {
                id = r.Int(0);
                return false;
            },
            &why);
    };
    if (read() && id == 0) {
        why = db.AddRecord(QStringLiteral("tblCategory"), {QStringLiteral("TypeID"), typeId, QStringLiteral("Name"), name});
        if (why.isEmpty()) id = db.LastInsertRowID();
    }
    if (error) *error = id ? QString() : why;
    return id;
}
