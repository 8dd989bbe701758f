#include "formats/CStoredItems.h"

#include "db/CSQLite.h"

#include <QHash>
#include <QTimeZone>

namespace {

struct Links {
    QString language;
    QStringList categories;
};

// Julian day (UTC) to a time, to the millisecond.
QDateTime fromJulianDay(double jd) {
    return QDateTime::fromMSecsSinceEpoch(qint64(std::llround((jd - 2440587.5) * 86400000.0)), QTimeZone::utc());
}

}  // namespace

bool CStoredItems::ForEach(CSQLite& db, const Sink& sink, QString* error, qint64* total, bool* stopped) {
    if (stopped) *stopped = false;
    if (!db.IsOpen()) {
        if (error) *error = CSQLite::NoDatabaseText();
        return false;
    }
    // Categories in the order the store lists them (by number), the language of the first.
    QHash<int, Links> links;
    QByteArray scratch;
    if (!db.ForEachRow(QStringLiteral("SELECT ic.ItemID, c.Name, t.Name FROM tblItemCategory AS ic "
                                      "JOIN tblCategory AS c ON c.ID = ic.CategoryID "
                                      "JOIN tblType AS t ON t.ID = c.TypeID ORDER BY ic.ItemID, ic.CategoryID"),
                       [&](const CSQLite::Row& r) {
                           Links& l = links[int(r.Int(0))];
                           if (l.language.isEmpty()) l.language = QString::fromUtf8(r.Utf8(2, scratch));
                           l.categories << QString::fromUtf8(r.Utf8(1, scratch));
                           return true;
                       },
                       error))
        return false;
    QHash<int, ItemAttributes> attributes;
    if (!ReadAllItemAttributes(db, attributes, error)) return false;
    if (total) {
        ResultTable t;
        QString why;
        *total = db.Exec(QStringLiteral("SELECT Count(*) FROM tblItem"), t, why, true).toLongLong();
        if (!why.isEmpty()) {
            if (error) *error = why;
            return false;
        }
    }
    bool halted = false;
    const bool ok = db.ForEachRow(
        QStringLiteral("SELECT i.ID, f.Title, f.Code, f.File, i.FileSize, Length(i.FileBLOB), i.LastUpdate "
                       "FROM tblItem AS i JOIN ftsItem AS f ON f.DOCID = i.ID ORDER BY i.ID"),
        [&](const CSQLite::Row& r) {
            CItem item;
            item.id = int(r.Int(0));
            item.title = QString::fromUtf8(r.Utf8(1, scratch));
            item.body = QString::fromUtf8(r.Utf8(2, scratch));
            item.fileName = QString::fromUtf8(r.Utf8(3, scratch));
            item.fileSize = r.Int(4);
            item.storedSize = r.Int(5);
            if (!r.IsNull(6)) item.lastUpdate = fromJulianDay(r.Real(6));
            const Links l = links.value(item.id);
            item.language = l.language;
            item.categories = l.categories;
            if (!sink(item, attributes.value(item.id))) {
                halted = true;
                return false;
            }
            return true;
        },
        error);
    if (stopped) *stopped = halted;
    return ok;
}
