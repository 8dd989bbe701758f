#include "db/CItemLinks.h"

#include "db/CTransaction.h"
#include "util/basText.h"

#include <sqlite3.h>

#include <QSet>
#include <algorithm>
#include <cstring>
#include <numeric>

CItemLinks::Value CItemLinks::Value::Of(const CSQLite::Row& row, int c) {
    Value v;
    switch (row.Type(c)) {
    case SQLITE_INTEGER:
        v.cls = 1;
        v.i = row.Int(c);
        break;
    case SQLITE_FLOAT:
        v.cls = 1;
        v.real = true;
        v.d = row.Real(c);
        break;
    case SQLITE_TEXT:
        v.cls = 2;
        v.bytes = row.Bytes(c).toByteArray();
        break;
    case SQLITE_BLOB:
        v.cls = 3;
        v.bytes = row.Bytes(c).toByteArray();
        break;
    default:
        break;
    }
    return v;
}

int CItemLinks::Compare(const Value& a, const Value& b) {
    if (a.cls != b.cls) return a.cls < b.cls ? -1 : 1;
    switch (a.cls) {
    case 1:
        if (!a.real && !b.real) return a.i < b.i ? -1 : (a.i > b.i ? 1 : 0);
        {
            const long double x = a.real ? a.d : a.i, y = b.real ? b.d : b.i;
            return x < y ? -1 : (x > y ? 1 : 0);
        }
    case 2:
    case 3: {
        const qsizetype n = std::min(a.bytes.size(), b.bytes.size());
        const int r = n ? std::memcmp(a.bytes.constData(), b.bytes.constData(), size_t(n)) : 0;
        if (r) return r < 0 ? -1 : 1;
        return a.bytes.size() < b.bytes.size() ? -1 : (a.bytes.size() > b.bytes.size() ? 1 : 0);
    }
    default:
        return 0;
    }
}

bool CItemLinks::ParseOrder(const QString& orderBy, Order* order) {
    static const char* const keys[] = {"Title", "LastUpdate DESC", "ID", "FileSize DESC"};
    const QString wanted = orderBy.simplified();
    for (int k = 0; k < OrderCount; ++k)
        if (wanted.compare(QLatin1String(keys[k]), Qt::CaseInsensitive) == 0) {
            *order = Order(k);
            return true;
        }
    return false;
}

void CItemLinks::Clear() {
    m_loaded = false;
    m_haveLastUpdates = false;
    m_stamp = {};
    m_items.clear();
    m_denseIndex.clear();
    m_sparseIndex.clear();
    m_links.clear();
    for (auto& s : m_sorted) s.clear();
}

// A key as the engine's join compares it with an integer ID: integers, and reals of whole value.
static bool integerKey(const CSQLite::Row& r, int c, qint64* key) {
    if (r.Type(c) == SQLITE_INTEGER) {
        *key = r.Int(c);
        return true;
    }
    if (r.Type(c) == SQLITE_FLOAT) {
        const double d = r.Real(c);
        *key = qint64(d);
        return double(*key) == d;
    }
    return false;
}

bool CItemLinks::Load(CSQLite& db, QString* error) {
    Clear();
    const CSQLite::Stamp stamp = db.ChangeStamp();
    if (!stamp.IsValid()) return false;
    // One snapshot: another program's commit between two reads would pair old links with new items.
    CTransaction snapshot(db);
    if (!snapshot.IsOpen()) return false;
    QString why;
    QSet<qint64> types;
    QHash<qint64, std::pair<bool, qint64>> categoryType;  // category -> (language number usable, number)
    m_items.push_back({});  // the NULL row
    const auto indexItems = [&] {
        qint64 top = 0;
        for (size_t i = 1; i < m_items.size(); ++i) top = std::max(top, m_items[i].id.toLongLong());
        const bool dense = top < qint64(4 * m_items.size() + 1024);
        if (dense) m_denseIndex.assign(size_t(top + 1), -1);
        for (size_t i = 1; i < m_items.size(); ++i) {
            const qint64 id = m_items[i].id.toLongLong();
            if (dense && id >= 0) m_denseIndex[size_t(id)] = int(i);
            else m_sparseIndex.insert(id, int(i));
        }
        return true;
    };
    // Titles are ranked here rather than by the engine's sorter, which costs three times the
    // read: each key keeps its first eight bytes inline, so most comparisons touch no other memory.
    struct TitleKey {
        Value number;  // the title when it is stored as a number
        quint64 prefix = 0;
        quint32 offset = 0;
        quint32 length = 0;
        int cls = 0;
        int item = 0;
    };
    std::vector<TitleKey> titleKeys;
    QByteArray arena;
    const auto compareTitles = [&](const TitleKey& a, const TitleKey& b) {
        if (a.cls != b.cls) return a.cls < b.cls ? -1 : 1;
        if (a.cls == 1) return Compare(a.number, b.number);
        if (a.prefix != b.prefix) return a.prefix < b.prefix ? -1 : 1;
        const quint32 n = std::min(a.length, b.length);
        const int r = n ? std::memcmp(arena.constData() + a.offset, arena.constData() + b.offset, n) : 0;
        if (r) return r < 0 ? -1 : 1;
        return a.length < b.length ? -1 : (a.length > b.length ? 1 : 0);
    };
    // NULL titles keep rank 0, with the NULL row.
    const auto rankTitles = [&] {
        std::sort(titleKeys.begin(), titleKeys.end(),
                  [&](const TitleKey& a, const TitleKey& b) { return compareTitles(a, b) < 0; });
        int rank = 0;
        for (size_t k = 0; k < titleKeys.size(); ++k) {
            if (k == 0 || compareTitles(titleKeys[k - 1], titleKeys[k]) != 0) ++rank;
            m_items[size_t(titleKeys[k].item)].titleRank = rank;
        }
        return true;
    };
    bool ok =
        db.ForEachRow(QStringLiteral("SELECT ID FROM tblType"),
                      [&](const CSQLite::Row& r) { return types.insert(r.Int(0)), true; }, &why) &&
        db.ForEachRow(QStringLiteral("SELECT ID, TypeID FROM tblCategory"),
                      [&](const CSQLite::Row& r) {
                          qint64 type = 0;
                          const bool usable = integerKey(r, 1, &type);
                          categoryType.insert(r.Int(0), {usable, type});
                          return true;
                      },
                      &why) &&
        db.ForEachRow(QStringLiteral("SELECT ID, FileSize FROM tblItem"),
                      [&](const CSQLite::Row& r) {
                          Item item;
                          item.id = QVariant(qlonglong(r.Int(0)));
                          item.fileSize = Value::Of(r, 1);
                          m_items.push_back(std::move(item));
                          return true;
                      },
                      &why) &&
        indexItems() &&
        db.ForEachRow(QStringLiteral("SELECT docid, c0Title FROM ftsItem_content"),
                      [&](const CSQLite::Row& r) {
                          const int at = IndexOf(r.Int(0));
                          if (at < 0) return true;
                          Item& item = m_items[size_t(at)];
                          item.title = r.Value(1);
                          item.hasTitle = true;
                          TitleKey key;
                          key.item = at;
                          const int type = r.Type(1);
                          key.cls = type == SQLITE_NULL ? 0 : type == SQLITE_TEXT ? 2 : type == SQLITE_BLOB ? 3 : 1;
                          if (key.cls == 1) key.number = Value::Of(r, 1);
                          if (key.cls >= 2) {
                              const QByteArrayView bytes = r.Bytes(1);
                              key.offset = quint32(arena.size());
                              key.length = quint32(bytes.size());
                              arena.append(bytes);
                              for (qsizetype b = 0; b < 8; ++b)
                                  key.prefix = (key.prefix << 8) | (b < bytes.size() ? quint8(bytes[b]) : 0);
                          }
                          if (key.cls != 0) titleKeys.push_back(std::move(key));
                          return true;
                      },
                      &why) &&
        rankTitles() &&
        // Link order is rowid order, as the plain statement reads them.
        db.ForEachRow(QStringLiteral("SELECT ItemID, CategoryID FROM tblItemCategory ORDER BY rowid"),
                      [&](const CSQLite::Row& r) {
                          Link link;
                          qint64 key = 0;
                          if (integerKey(r, 0, &key)) {
                              const int at = IndexOf(key);
                              if (at > 0 && m_items[size_t(at)].hasTitle) link.item = at;
                          }
                          if (integerKey(r, 1, &key)) {
                              const auto cat = categoryType.constFind(key);
                              if (cat != categoryType.constEnd()) {
                                  link.hasCategory = true;
                                  link.categoryId = cat.key();
                                  link.hasType = cat->first && types.contains(cat->second);
                                  link.typeId = cat->second;
                              }
                          }
                          m_links.push_back(link);
                          return true;
                      },
                      &why);
    snapshot.Commit();
    if (!ok) {
        Clear();
        if (error) *error = why;
        return false;
    }
    m_stamp = stamp;
    m_loaded = true;
    return true;
}

int CItemLinks::IndexOf(qint64 id) const {
    if (!m_denseIndex.empty()) {
        if (id >= 0 && id < qint64(m_denseIndex.size())) return m_denseIndex[size_t(id)];
        if (id >= 0) return -1;
    }
    return m_sparseIndex.value(id, -1);
}

bool CItemLinks::LoadLastUpdates(CSQLite& db) {
    // Read apart: the column lies behind the attachment, which this read has to step over.
    const bool ok = db.ForEachRow(QStringLiteral("SELECT ID, LastUpdate FROM tblItem"),
                                  [&](const CSQLite::Row& r) {
                                      const int at = IndexOf(r.Int(0));
                                      if (at > 0) m_items[size_t(at)].lastUpdate = Value::Of(r, 1);
                                      return true;
                                  });
    m_haveLastUpdates = ok;
    return ok;
}

const std::vector<int>& CItemLinks::Sorted(CSQLite& db, Order order) {
    std::vector<int>& links = m_sorted[order];
    if (!links.empty() || m_links.empty()) return links;
    if (order == ByLastUpdateDesc && !m_haveLastUpdates && !LoadLastUpdates(db)) return links;
    // Rank the items once (equal keys, equal rank), then order the links by their item's rank;
    // the stable sort keeps link order among equals, as the engine's sorter does.
    const auto key = [&](int i) -> const Value& {
        static const Value null;
        const Item& item = m_items[size_t(i)];
        if (i == 0) return null;
        switch (order) {
        case ByLastUpdateDesc: return item.lastUpdate;
        case ByFileSizeDesc: return item.fileSize;
        default: return null;
        }
    };
    const bool descending = order == ByLastUpdateDesc || order == ByFileSizeDesc;
    std::vector<int> items(m_items.size());
    std::iota(items.begin(), items.end(), 0);
    std::vector<int> rank(m_items.size(), 0);
    if (order == ByTitle) {
        for (size_t i = 0; i < m_items.size(); ++i) rank[i] = m_items[i].titleRank;
    } else if (order == ById) {
        // IDs are unique and the NULL row comes first: the order of the item rows.
        std::sort(items.begin() + 1, items.end(),
                  [&](int a, int b) { return m_items[size_t(a)].id.toLongLong() < m_items[size_t(b)].id.toLongLong(); });
        for (size_t r = 0; r < items.size(); ++r) rank[size_t(items[r])] = int(r);
    } else {
        const auto before = [&](int a, int b) {
            const int c = Compare(key(a), key(b));
            return descending ? c > 0 : c < 0;
        };
        std::sort(items.begin(), items.end(), before);
        int r = 0;
        for (size_t k = 0; k < items.size(); ++k) {
            if (k > 0 && before(items[k - 1], items[k])) ++r;
            rank[size_t(items[k])] = r;
        }
    }
    // Ranks are dense, so a counting sort orders the links; it keeps link order among equals,
    // as the engine's sorter does.
    std::vector<int> start(m_items.size() + 1, 0);
    for (const Link& link : m_links) ++start[size_t(rank[size_t(link.item)]) + 1];
    for (size_t r = 1; r < start.size(); ++r) start[r] += start[r - 1];
    links.resize(m_links.size());
    for (size_t l = 0; l < m_links.size(); ++l) links[size_t(start[size_t(rank[size_t(m_links[l].item)])]++)] = int(l);
    return links;
}

ResultTable CItemLinks::Items(CSQLite& db, int categoryId, int typeId, Order order) {
    ResultTable data;
    if (!m_loaded) return data;
    const std::vector<int>& sorted = Sorted(db, order);
    std::vector<char> seen(m_items.size(), 0);
    int rows = 0;
    for (int l : sorted) {
        const Link& link = m_links[size_t(l)];
        if (categoryId != -1 && !(link.hasCategory && link.categoryId == categoryId)) continue;
        if (typeId != -1 && !(link.hasType && link.typeId == typeId)) continue;
        if (seen[size_t(link.item)]) continue;
        seen[size_t(link.item)] = 1;
        if (rows++ == 0) {
            data.SetHeader({QStringLiteral("ID"), QStringLiteral("Title")});
            data.Reserve(qsizetype(2) * qsizetype(std::min(sorted.size(), m_items.size()) + 1));
        }
        const Item& item = m_items[size_t(link.item)];
        data.Append(item.id);
        data.Append(item.title);
    }
    return data;
}
