#include "db/CItemImport.h"

#include "db/CSQLite.h"
#include "db/basDBItems.h"
#include "search/CSearchIndex.h"

#include <QVariant>
#include <climits>

namespace {

// The SQL text the item save uses ends at a NUL; bound text would not, so it is cut the same way.
QString UpToNul(const QString& text) {
    const qsizetype nul = text.indexOf(QChar(0));
    return nul < 0 ? text : text.left(nul);
}

}  // namespace

bool CItemImport::Fail(QString* error, const QString& why) {
    if (error) *error = why;
    return false;
}

bool CItemImport::Begin(QString* error) {
    m_present.clear();
    QString e;
    const bool ok = m_db.ForEachRow(
        QStringLiteral("SELECT ID FROM tblItem"),
        [this](const CSQLite::Row& row) {
            m_present.insert(row.Int(0));
            return true;
        },
        &e);
    if (!ok) return Fail(error, e);
    // Links left by items that are gone (a damaged file) are dropped when the number is stored
    // again, as the item save does.
    m_orphanLinks.clear();
    if (!m_db.ForEachRow(QStringLiteral("SELECT DISTINCT ItemID FROM tblItemCategory WHERE ItemID NOT IN "
                                        "(SELECT ID FROM tblItem)"),
                         [this](const CSQLite::Row& row) {
                             m_orphanLinks.insert(row.Int(0));
                             return true;
                         },
                         &e))
        return Fail(error, e);
    return true;
}

qint64 CItemImport::Id(const QString& table, const QString& key, const QVariantList& pairs, const char* kind,
                       const QString& name, QString* error) {
    const QString cacheKey = table + QLatin1Char('\t') + key;
    if (const auto it = m_ids.constFind(cacheKey); it != m_ids.cend()) return *it;
    const qint64 id = m_db.LookupCreate(table, QStringLiteral("ID"), pairs).toLongLong();
    if (id == 0) {
        Fail(error, QStringLiteral("Unable to store %1 '%2'").arg(QLatin1String(kind), name));
        return 0;
    }
    m_ids.insert(cacheKey, id);
    return id;
}

qint64 CItemImport::Insert(const QString& language, qint64 id, const QString& title, const QString& body,
                           const QString& categories, const QString& timeText, QString* error) {
    const QStringList names = CategoryNames(categories);
    if (names.isEmpty()) return Fail(error, QStringLiteral("The item has no category")), 0;
    QString e = id < 1 ? m_db.RunBound(QStringLiteral("INSERT INTO tblItem (LastUpdate) VALUES (JulianDay(?1))"),
                                       {timeText})
                       : m_db.RunBound(QStringLiteral("INSERT INTO tblItem (ID, LastUpdate) VALUES (?1, JulianDay(?2))"),
                                       {id, timeText});
    if (!e.isEmpty()) return Fail(error, e), 0;
    const qint64 n = id < 1 ? m_db.LastInsertRowID() : id;
    if (n > INT_MAX) {
        e = m_db.RunBound(QStringLiteral("DELETE FROM tblItem WHERE ID = ?1"), {n});
        return e.isEmpty() ? -1 : (Fail(error, e), 0);
    }
    m_present.insert(n);
    if (m_orphanLinks.remove(n)) {
        e = m_db.RunBound(QStringLiteral("DELETE FROM tblItemCategory WHERE ItemID = ?1"), {n});
        if (!e.isEmpty()) return Fail(error, e), 0;
    }
    for (const QString& name : names)
        if (!Link(n, language, name, error)) return 0;
    m_pending.append({n, UpToNul(title), UpToNul(body)});
    if (m_pending.size() >= kBatch && !Flush(error)) return 0;
    return n;
}

bool CItemImport::Link(qint64 item, const QString& language, const QString& category, QString* error) {
    const qint64 typeId = Id(QStringLiteral("tblType"), language, {QStringLiteral("Name"), language},
                             "language", language, error);
    const qint64 categoryId =
        typeId == 0 ? 0
                    : Id(QStringLiteral("tblCategory"), QString::number(typeId) + QLatin1Char('\t') + category,
                         {QStringLiteral("TypeID"), typeId, QStringLiteral("Name"), category},
                         "category", category, error);
    if (categoryId == 0) return false;
    const QString e = m_db.RunBound(QStringLiteral("INSERT INTO tblItemCategory (ItemID, CategoryID) VALUES (?1, ?2)"),
                                    {item, categoryId});
    return e.isEmpty() || Fail(error, e);
}

bool CItemImport::Flush(QString* error) {
    QList<int> ids;
    for (const Pending& p : std::as_const(m_pending)) {
        ids.append(int(p.id));
        const QString e = m_db.RunBound(QStringLiteral("INSERT INTO ftsItem (DOCID, Title, Code) VALUES (?1, ?2, ?3)"),
                                        {p.id, p.title, p.body});
        if (!e.isEmpty()) return Fail(error, e);
    }
    if (!CSearchIndex::ItemsChanged(m_db, ids, error)) return false;
    m_pending.clear();
    return true;
}
