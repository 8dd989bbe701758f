#include "db/CItemImport.h"

#include "db/CSQLite.h"
#include "db/basDBItems.h"
#include "search/CSearchIndex.h"
#include "util/basNames.h"

#include <QVariant>
#include <climits>

namespace {

// The SQL text the item save uses ends at a NUL; bound text would not, so it is cut the same way.
QString UpToNul(const QString& text) {
    const qsizetype nul = text.indexOf(QChar(0));
    return nul < 0 ? text : text.left(nul);
}

QString categoryKey(qint64 typeId, const QString& name) {
    return QString::number(typeId) + QLatin1Char('\t') + NoCaseKey(name);
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
    // Every language and category, the lowest number first: of two rows with the same name
    // (another program's doing) the engine's lookup found the first too. Names stored in
    // another encoding than UTF-8 never equalled a name the import brings, and do not here.
    m_ids.clear();
    if (!m_db.ForEachRow(QStringLiteral("SELECT ID, Name FROM tblType WHERE typeof(Name) = 'text' ORDER BY ID"),
                         [&](const CSQLite::Row& row) {
                             Keep(0, QString::fromUtf8(row.Bytes(1)), row.Int(0));
                             return true;
                         },
                         &e) ||
        !m_db.ForEachRow(QStringLiteral("SELECT ID, TypeID, Name FROM tblCategory WHERE typeof(TypeID) = 'integer' "
                                        "AND typeof(Name) = 'text' ORDER BY ID"),
                         [&](const CSQLite::Row& row) {
                             Keep(row.Int(1), QString::fromUtf8(row.Bytes(2)), row.Int(0));
                             return true;
                         },
                         &e))
        return Fail(error, e);
    return true;
}

void CItemImport::Keep(qint64 typeId, const QString& name, qint64 id) {
    const QString key = typeId == 0 ? NoCaseKey(name) : categoryKey(typeId, name);
    if (!m_ids.contains(key)) m_ids.insert(key, id);
}

bool CItemImport::Stored(qint64 id, QString* error) {
    m_present.insert(id);
    QString e;
    const bool ok = m_db.ForEachRow(
        QStringLiteral("SELECT tblType.ID, tblType.Name, tblCategory.ID, tblCategory.Name FROM tblItemCategory "
                       "JOIN tblCategory ON tblCategory.ID = tblItemCategory.CategoryID "
                       "JOIN tblType ON tblType.ID = tblCategory.TypeID WHERE tblItemCategory.ItemID = %1 "
                       "AND typeof(tblType.Name) = 'text' AND typeof(tblCategory.Name) = 'text'")
            .arg(id),
        [this](const CSQLite::Row& row) {
            Keep(0, QString::fromUtf8(row.Bytes(1)), row.Int(0));
            Keep(row.Int(0), QString::fromUtf8(row.Bytes(3)), row.Int(2));
            return true;
        },
        &e);
    return ok || Fail(error, e);
}

qint64 CItemImport::Id(qint64 typeId, const QString& name, QString* error) {
    const QString key = typeId == 0 ? NoCaseKey(name) : categoryKey(typeId, name);
    if (const auto it = m_ids.constFind(key); it != m_ids.cend()) return *it;
    const QString e =
        typeId == 0 ? m_db.RunBound(QStringLiteral("INSERT INTO tblType (Name) VALUES (?1)"), {name})
                    : m_db.RunBound(QStringLiteral("INSERT INTO tblCategory (TypeID, Name) VALUES (?1, ?2)"), {typeId, name});
    if (!e.isEmpty()) {
        Fail(error, QStringLiteral("Unable to store %1 '%2': %3")
                        .arg(QLatin1String(typeId == 0 ? "language" : "category"), name, e));
        return 0;
    }
    const qint64 id = m_db.LastInsertRowID();
    m_ids.insert(key, id);
    return id;
}

qint64 CItemImport::Insert(const QString& language, qint64 id, const QString& title, const QString& body,
                           const QString& categories, const QString& timeText, QString* error) {
    const QStringList names = CleanNames(categories);
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
    m_inserted.append(int(n));
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
    const QString languageName = CleanName(UpToNul(language)), categoryName = CleanName(UpToNul(category));
    if (languageName.isEmpty()) return Fail(error, QStringLiteral("The item has no language"));
    if (categoryName.isEmpty()) return Fail(error, QStringLiteral("The item has no category"));
    const qint64 typeId = Id(0, languageName, error);
    const qint64 categoryId = typeId == 0 ? 0 : Id(typeId, categoryName, error);
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
