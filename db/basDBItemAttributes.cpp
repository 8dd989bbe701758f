#include "db/basDBItemAttributes.h"

#include "db/CSQLite.h"

#include <QUuid>
#include <functional>

namespace {

bool fail(QString* error, const QString& why) {
    if (error) *error = why;
    return false;
}

// The rows of items that exist: an item number left behind by a deleted item may be taken by a
// new item, which must not inherit them.
const char* const kLiveRows =
    "SELECT a.ItemID, a.Name, a.Value FROM tblItemAttribute AS a "
    "JOIN tblItem AS i ON i.ID = a.ItemID";

}  // namespace

bool HasItemAttributeTable(CSQLite& db, QString* error) {
    QString why;
    const QString found = db.LookupField(QStringLiteral("sqlite_master"), QStringLiteral("name"),
                                         {QStringLiteral("type"), QStringLiteral("table"),
                                          QStringLiteral("name"), QStringLiteral("tblItemAttribute")},
                                         &why);
    if (error) *error = why;
    return why.isEmpty() && !found.isEmpty();
}

bool PrepareItemAttributes(CSQLite& db, QString* error) {
    if (!db.IsOpen()) return fail(error, CSQLite::NoDatabaseText());
    // Plain SQL the stock shell can open, check and vacuum; REPLACE keeps one value per name.
    QString why = db.Run(QStringLiteral(
        "CREATE TABLE IF NOT EXISTS tblItemAttribute (ItemID INTEGER NOT NULL, Name TEXT NOT NULL, "
        "Value TEXT NOT NULL, PRIMARY KEY (ItemID, Name) ON CONFLICT REPLACE)"));
    if (why.isEmpty())
        why = db.Run(QStringLiteral("DELETE FROM tblItemAttribute WHERE ItemID NOT IN (SELECT ID FROM tblItem)"));
    if (error) *error = why;
    return why.isEmpty();
}

bool PruneItemAttributes(CSQLite& db, QString* error) {
    QString why;
    if (!HasItemAttributeTable(db, &why)) return why.isEmpty() || fail(error, why);
    why = db.Run(QStringLiteral("DELETE FROM tblItemAttribute WHERE ItemID NOT IN (SELECT ID FROM tblItem)"));
    if (error) *error = why;
    return why.isEmpty();
}

bool SetItemAttributes(CSQLite& db, int itemId, const ItemAttributes& values, QString* error) {
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const QString why = db.RunBound(
            QStringLiteral("INSERT INTO tblItemAttribute (ItemID, Name, Value) VALUES (?1, ?2, ?3)"),
            {itemId, it.key(), it.value()});
        if (!why.isEmpty()) return fail(error, why);
    }
    if (error) error->clear();
    return true;
}

bool RemoveItemAttributes(CSQLite& db, int itemId, QString* error) {
    QString why;
    if (!HasItemAttributeTable(db, &why)) return why.isEmpty() || fail(error, why);
    why = db.Run(QStringLiteral("DELETE FROM tblItemAttribute WHERE ItemID = ") + QString::number(itemId));
    if (error) *error = why;
    return why.isEmpty();
}

static bool readRows(CSQLite& db, const QString& sql,
                     const std::function<void(int, const QString&, const QString&)>& row, QString* error) {
    QString why;
    if (!HasItemAttributeTable(db, &why)) return why.isEmpty() || fail(error, why);
    QByteArray scratch;
    const bool ok = db.ForEachRow(
        sql,
        [&](const CSQLite::Row& r) {
            const int item = int(r.Int(0));
            const QString name = QString::fromUtf8(r.Utf8(1, scratch));
            row(item, name, QString::fromUtf8(r.Utf8(2, scratch)));
            return true;
        },
        &why);
    if (error) *error = why;
    return ok;
}

bool ReadItemAttributes(CSQLite& db, int itemId, ItemAttributes& values, QString* error) {
    values.clear();
    return readRows(db, QLatin1String(kLiveRows) + QStringLiteral(" WHERE a.ItemID = ") + QString::number(itemId),
                    [&](int, const QString& name, const QString& value) { values.insert(name, value); }, error);
}

bool ReadAllItemAttributes(CSQLite& db, QHash<int, ItemAttributes>& values, QString* error) {
    values.clear();
    return readRows(db, QLatin1String(kLiveRows),
                    [&](int item, const QString& name, const QString& value) { values[item].insert(name, value); },
                    error);
}

bool ReadItemUuids(CSQLite& db, QHash<QString, int>& items, QString* error) {
    items.clear();
    return readRows(db, QLatin1String(kLiveRows) + QStringLiteral(" WHERE a.Name = 'uuid'"),
                    [&](int item, const QString&, const QString& value) { items.insert(value, item); }, error);
}

QString NewItemUuid() { return QUuid::createUuid().toString(QUuid::WithoutBraces); }
