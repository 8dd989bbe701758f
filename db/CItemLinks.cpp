#include "db/CItemLinks.h"

#include "db/CTransaction.h"
#include "db/basListTitle.h"
#include "util/basText.h"

#include <sqlite3.h>

#include <QSet>
#include <QtEndian>
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <system_error>
#include <new>
#include <optional>
#include <thread>

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
    m_types.clear();
    m_categories.clear();
    m_categoryAt.clear();
    m_denseCategoryAt.clear();
    m_typeAt.clear();
    m_titleKeys.clear();
    m_arena.clear();
    m_arenaUsed = 0;
    m_titleNumbers.clear();
    m_itemCount = 0;
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

int CItemLinks::CompareTitles(const TitleKey& a, const TitleKey& b) const {
    if (a.cls != b.cls) return a.cls < b.cls ? -1 : 1;
    if (a.cls == 1) return Compare(m_titleNumbers[a.offset], m_titleNumbers[b.offset]);
    if (a.prefix != b.prefix) return a.prefix < b.prefix ? -1 : 1;
    if (a.prefix2 != b.prefix2) return a.prefix2 < b.prefix2 ? -1 : 1;
    const quint32 n = std::min(a.length, b.length);
    const int r = n ? std::memcmp(m_arena.constData() + a.offset, m_arena.constData() + b.offset, n) : 0;
    if (r) return r < 0 ? -1 : 1;
    return a.length < b.length ? -1 : (a.length > b.length ? 1 : 0);
}

// The eight bytes of a title from at on, padded with zeros, as one number that orders as they do.
static quint64 chunkAt(const char* bytes, quint32 length, quint32 at) {
    if (at + 8 <= length) return qFromBigEndian<quint64>(bytes + at);
    quint64 chunk = 0;
    for (quint32 b = at; b < at + 8; ++b) chunk = (chunk << 8) | (b < length ? quint8(bytes[b]) : 0);
    return chunk;
}

void CItemLinks::ReadTitle(const CSQLite::Row& r, int c, Item& item) {
    const int type = r.Type(c);
    item.titleCls = quint8(type == SQLITE_NULL ? 0 : type == SQLITE_TEXT ? 2 : type == SQLITE_BLOB ? 3 : 1);
    item.titleOffset = item.titleLength = 0;
    if (item.titleCls == 1) {
        item.titleOffset = quint32(m_titleNumbers.size());
        m_titleNumbers.push_back(Value::Of(r, c));
    } else if (item.titleCls >= 2) {
        // The bytes go to the end of the used part; the array grows by doubling, ahead of need.
        const QByteArrayView bytes = r.Bytes(c);
        if (m_arenaUsed + bytes.size() > m_arena.size())
            m_arena.resize(std::max(2 * m_arena.size(), m_arenaUsed + bytes.size() + 65536));
        if (!bytes.isEmpty()) std::memcpy(m_arena.data() + m_arenaUsed, bytes.data(), size_t(bytes.size()));
        item.titleOffset = quint32(m_arenaUsed);
        item.titleLength = quint32(bytes.size());
        m_arenaUsed += bytes.size();
    }
}

CItemLinks::TitleKey CItemLinks::KeyOf(int item) const {
    const Item& it = m_items[size_t(item)];
    TitleKey key;
    key.item = item;
    key.cls = it.titleCls;
    key.offset = it.titleOffset;
    key.length = it.titleLength;
    if (key.cls >= 2) {
        key.prefix = chunkAt(m_arena.constData() + key.offset, key.length, 0);
        key.prefix2 = chunkAt(m_arena.constData() + key.offset, key.length, 8);
    }
    return key;
}

// Keys of one class in their order: sorted by their next sixteen bytes as two numbers, a title
// that ends within them before longer ones with the same bytes (its padding is zeros); only a
// run of equal keys that goes on is sorted again, by the sixteen bytes after. Nearly every
// comparison is then one of numbers. A list of runs rather than recursion: equal long titles
// would go as deep as they are long.
void CItemLinks::SortTitleRun(TitleKey* first, TitleKey* last) {
    struct Run {
        TitleKey* begin;
        TitleKey* end;
        quint32 at;
    };
    std::vector<Run> runs{{first, last, 0}};
    while (!runs.empty()) {
        const Run r = runs.back();
        runs.pop_back();
        const auto goesOn = [&](const TitleKey& k) { return k.length > r.at + 16; };
        const auto tail = [&](const TitleKey& k) { return goesOn(k) ? ~quint32(0) : k.length; };
        if (r.at > 0)
            for (TitleKey* k = r.begin; k != r.end; ++k) {
                k->prefix = chunkAt(m_arena.constData() + k->offset, k->length, r.at);
                k->prefix2 = chunkAt(m_arena.constData() + k->offset, k->length, r.at + 8);
            }
        const auto same = [&](const TitleKey& a, const TitleKey& b) {
            return a.prefix == b.prefix && a.prefix2 == b.prefix2 && tail(a) == tail(b);
        };
        std::sort(r.begin, r.end, [&](const TitleKey& a, const TitleKey& b) {
            if (a.prefix != b.prefix) return a.prefix < b.prefix;
            if (a.prefix2 != b.prefix2) return a.prefix2 < b.prefix2;
            return tail(a) < tail(b);
        });
        for (TitleKey* k = r.begin; k != r.end;) {
            TitleKey* next = k + 1;
            while (next != r.end && same(*next, *k)) ++next;
            if (next - k > 1 && goesOn(*k)) runs.push_back({k, next, r.at + 16});
            k = next;
        }
    }
}

void CItemLinks::SortTitles() {
    // The engine's order of classes: numbers, text, blobs (NULL has no key).
    const auto textAt = std::partition(m_titleKeys.begin(), m_titleKeys.end(), [](const TitleKey& k) { return k.cls == 1; });
    const auto blobAt = std::partition(textAt, m_titleKeys.end(), [](const TitleKey& k) { return k.cls == 2; });
    std::sort(m_titleKeys.begin(), textAt, [&](const TitleKey& a, const TitleKey& b) { return CompareTitles(a, b) < 0; });
    TitleKey* const keys = m_titleKeys.data();
    SortTitleRun(keys + (textAt - m_titleKeys.begin()), keys + (blobAt - m_titleKeys.begin()));
    SortTitleRun(keys + (blobAt - m_titleKeys.begin()), keys + m_titleKeys.size());
    // The keys' first bytes again, for the comparisons that follow.
    for (TitleKey& k : m_titleKeys)
        if (k.cls >= 2) {
            k.prefix = chunkAt(m_arena.constData() + k.offset, k.length, 0);
            k.prefix2 = chunkAt(m_arena.constData() + k.offset, k.length, 8);
        }
}

void CItemLinks::RankTitles() {
    int rank = 0;
    for (size_t k = 0; k < m_titleKeys.size(); ++k) {
        if (k == 0 || CompareTitles(m_titleKeys[k - 1], m_titleKeys[k]) != 0) ++rank;
        m_items[size_t(m_titleKeys[k].item)].titleRank = rank;
    }
}

// Languages and categories in the order the browse statements give them (by name, equal names
// by number): the engine sorts these few rows, with the columns' own collation.
bool CItemLinks::LoadNames(CSQLite& db, QString* error) {
    m_types.clear();
    m_categories.clear();
    m_typeAt.clear();
    m_categoryAt.clear();
    m_denseCategoryAt.clear();
    qint64 top = 0;
    const bool ok = db.ForEachRow(QStringLiteral("SELECT ID, Name FROM tblType ORDER BY Name, ID"),
                         [&](const CSQLite::Row& r) {
                             m_typeAt.insert(r.Int(0), int(m_types.size()));
                             m_types.push_back({r.Value(0), r.Value(1), r.Int(0), false, 0});
                             return true;
                         },
                         error) &&
           db.ForEachRow(QStringLiteral("SELECT ID, TypeID, Name FROM tblCategory ORDER BY Name, ID"),
                         [&](const CSQLite::Row& r) {
                             Named c{r.Value(0), r.Value(2), r.Int(0), false, 0};
                             c.typeUsable = integerKey(r, 1, &c.type);
                             c.typeKnown = c.typeUsable && m_typeAt.contains(c.type);
                             m_categoryAt.insert(c.key, int(m_categories.size()));
                             top = std::max(top, c.key);
                             m_categories.push_back(std::move(c));
                             return true;
                         },
                         error);
    // Every link looks its category up: a plain array while the numbers allow one.
    if (ok && top < qint64(4 * m_categories.size() + 1024)) {
        m_denseCategoryAt.assign(size_t(top + 1), -1);
        for (auto c = m_categoryAt.constBegin(); c != m_categoryAt.constEnd(); ++c)
            if (c.key() >= 0) m_denseCategoryAt[size_t(c.key())] = c.value();
    }
    return ok;
}

void CItemLinks::ResolveCategory(Link& link) const {
    link.category = -1;
    if (!link.categoryKeyOk) return;
    const qint64 key = link.categoryKey;
    int at = -1;
    if (!m_denseCategoryAt.empty() && key >= 0) {
        if (key < qint64(m_denseCategoryAt.size())) at = m_denseCategoryAt[size_t(key)];
    } else {
        at = m_categoryAt.value(key, -1);
    }
    if (at < 0) return;
    link.category = at;
}

// From a row (rowid, ItemID, CategoryID).
CItemLinks::Link CItemLinks::MakeLink(const CSQLite::Row& r) const {
    Link link;
    link.rowid = r.Int(0);
    link.itemKeyOk = integerKey(r, 1, &link.itemKey);
    link.categoryKeyOk = integerKey(r, 2, &link.categoryKey);
    if (link.itemKeyOk) {
        const int at = IndexOf(link.itemKey);
        if (at > 0 && m_items[size_t(at)].inTable) {
            link.at = at;
            if (m_items[size_t(at)].hasTitle) link.item = at;
        }
    }
    ResolveCategory(link);
    return link;
}

bool CItemLinks::Load(CSQLite& db, QString* error) {
    Clear();
    const CSQLite::Stamp stamp = db.ChangeStamp();
    if (!stamp.IsValid()) return false;
    // One snapshot: another program's commit between two reads would pair old links with new items.
    CTransaction snapshot(db, nullptr, CTransaction::Mode::Read);
    if (!snapshot.IsOpen()) return false;
    QString why;
    m_items.push_back({});  // the NULL row
    m_items[0].inTable = false;
    const auto indexItems = [&] {
        qint64 top = 0;
        for (size_t i = 1; i < m_items.size(); ++i) top = std::max(top, m_items[i].id);
        const bool dense = top < qint64(4 * m_items.size() + 1024);
        if (dense) m_denseIndex.assign(size_t(top + 1), -1);
        for (size_t i = 1; i < m_items.size(); ++i) {
            const qint64 id = m_items[i].id;
            if (dense && id >= 0) m_denseIndex[size_t(id)] = int(i);
            else m_sparseIndex.insert(id, int(i));
        }
        m_itemCount = int(m_items.size() - 1);
        return true;
    };
    // The titles are keyed and put in order while the links are read: neither touches what the
    // other writes (the ranks are a field of their own), and the links do not need the ranks.
    std::jthread ranking;  // joined on every way out, an exception included
    // Nothing may leave the thread: an escaping exception would end the program.
    bool rankFailed = false;
    const auto rank = [this, &rankFailed] {
        try {
            for (size_t i = 1; i < m_items.size(); ++i)
                if (m_items[i].hasTitle && m_items[i].titleCls != 0) m_titleKeys.push_back(KeyOf(int(i)));
            SortTitles();
            RankTitles();
        } catch (const std::bad_alloc&) {
            rankFailed = true;
        }
    };
    const auto rankTitles = [&] {
        try {
            ranking = std::jthread(rank);
        } catch (const std::system_error&) {
            rank();  // no thread to be had: in turn, then
        }
        return true;
    };
    // Room for the rows up front: the vectors would otherwise move them several times over. The
    // span of the row numbers bounds their count and, unlike a count, costs no read of the table.
    const auto reserve = [&](const char* table, auto& vector, size_t extra) {
        const QString t = QLatin1String(table);
        return db.ForEachRow(QStringLiteral("SELECT (SELECT max(rowid) FROM ") + t + QStringLiteral(") - (SELECT min(rowid) FROM ") +
                                 t + QStringLiteral(") + 1"),
                             [&](const CSQLite::Row& r) {
                                 vector.reserve(size_t(std::clamp<qint64>(r.Int(0), 0, qint64(1) << 20)) + extra);
                                 return false;
                             },
                             &why);
    };
    bool ok =
        LoadNames(db, &why) && reserve("tblItem", m_items, 1) && reserve("tblItem", m_titleKeys, 0) &&
        reserve("tblItemCategory", m_links, 0) &&
        db.ForEachRow(QStringLiteral("SELECT ID, FileSize FROM tblItem"),
                      [&](const CSQLite::Row& r) {
                          Item item;
                          item.id = r.Int(0);
                          item.fileSize = Value::Of(r, 1);
                          m_items.push_back(std::move(item));
                          return true;
                      },
                      &why) &&
        indexItems() &&
        db.ForEachRow(QStringLiteral("SELECT docid, %1 FROM ftsItem_content").arg(ListTitleSql(QStringLiteral("c0Title"))),
                      [&](const CSQLite::Row& r) {
                          const int at = IndexOf(r.Int(0));
                          if (at < 0) return true;
                          Item& item = m_items[size_t(at)];
                          item.hasTitle = true;
                          ReadTitle(r, 1, item);
                          return true;
                      },
                      &why) &&
        rankTitles() &&
        // Link order is rowid order, as the plain statement reads them.
        db.ForEachRow(QStringLiteral("SELECT rowid, ItemID, CategoryID FROM tblItemCategory ORDER BY rowid"),
                      [&](const CSQLite::Row& r) {
                          m_links.push_back(MakeLink(r));
                          return true;
                      },
                      &why);
    if (ranking.joinable()) ranking.join();
    if (ok && rankFailed) {
        ok = false;
        why = QStringLiteral("Not enough memory to list the titles");
    }
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

bool CItemLinks::Refresh(CSQLite& db, qint64 itemId) {
    if (!m_loaded) return false;
    const CSQLite::Stamp stamp = db.ChangeStamp();
    // One snapshot, as Load reads.
    std::optional<CTransaction> snapshot;
    if (stamp.IsValid()) snapshot.emplace(db, nullptr, CTransaction::Mode::Read);
    if (!snapshot || !snapshot->IsOpen()) {
        Clear();
        return false;
    }
    const QString id = QString::number(itemId);
    bool stored = false, titled = false;
    Item fresh;
    fresh.id = itemId;
    std::vector<Link> links;
    const int at0 = IndexOf(itemId);
    int at = at0 > 0 ? at0 : int(m_items.size());  // a new item takes the next slot
    bool ok =
        LoadNames(db, nullptr) &&
        db.ForEachRow(QStringLiteral("SELECT FileSize, LastUpdate FROM tblItem WHERE ID = ") + id,
                      [&](const CSQLite::Row& r) {
                          stored = true;
                          fresh.fileSize = Value::Of(r, 0);
                          fresh.lastUpdate = Value::Of(r, 1);
                          return false;
                      }) &&
        db.ForEachRow(QStringLiteral("SELECT %1 FROM ftsItem_content WHERE docid = ").arg(ListTitleSql(QStringLiteral("c0Title"))) + id,
                      [&](const CSQLite::Row& r) {
                          titled = true;
                          ReadTitle(r, 0, fresh);
                          return false;
                      });
    // The item's slot, so that its links find it.
    if (ok && at0 <= 0 && stored) {
        if (!m_denseIndex.empty() && (itemId < 0 || itemId >= qint64(4 * m_items.size() + 1024))) ok = false;
        else if (!m_denseIndex.empty()) {
            if (itemId >= qint64(m_denseIndex.size())) m_denseIndex.resize(size_t(itemId + 1), -1);
            m_denseIndex[size_t(itemId)] = at;
        } else {
            m_sparseIndex.insert(itemId, at);
        }
        if (ok) m_items.push_back({});
    }
    if (ok && (at0 > 0 || stored)) {
        Item& item = m_items[size_t(at)];
        fresh.inTable = stored;
        fresh.hasTitle = stored && titled;
        if (!fresh.hasTitle) fresh.titleCls = 0;
        m_itemCount += int(stored) - int(at0 > 0 && item.inTable);
        item = std::move(fresh);
    }
    ok = ok && db.ForEachRow(QStringLiteral("SELECT rowid, ItemID, CategoryID FROM tblItemCategory WHERE ItemID = ") +
                                 id + QStringLiteral(" ORDER BY rowid"),
                             [&](const CSQLite::Row& r) {
                                 links.push_back(MakeLink(r));
                                 return true;
                             });
    snapshot->Commit();
    if (!ok) {
        Clear();
        return false;
    }
    // Its title takes its place among the others; the ranks are counted again. (An item neither
    // known nor stored has no slot: nothing of it is listed.)
    const bool slot = at < int(m_items.size());
    const auto old = std::find_if(m_titleKeys.begin(), m_titleKeys.end(), [&](const TitleKey& k) { return k.item == at; });
    if (old != m_titleKeys.end()) m_titleKeys.erase(old);
    if (slot && m_items[size_t(at)].hasTitle && m_items[size_t(at)].titleCls != 0) {
        const TitleKey key = KeyOf(at);
        const auto place = std::upper_bound(m_titleKeys.begin(), m_titleKeys.end(), key,
                                            [&](const TitleKey& a, const TitleKey& b) { return CompareTitles(a, b) < 0; });
        m_titleKeys.insert(place, key);
    }
    if (slot) m_items[size_t(at)].titleRank = 0;
    RankTitles();
    // Its links are replaced in rowid order; the others may have lost or gained their category.
    std::erase_if(m_links, [&](const Link& l) { return l.itemKeyOk && l.itemKey == itemId; });
    for (Link& l : links) {
        const auto place = std::lower_bound(m_links.begin(), m_links.end(), l.rowid,
                                            [](const Link& a, qint64 rowid) { return a.rowid < rowid; });
        m_links.insert(place, l);
    }
    for (Link& l : m_links) ResolveCategory(l);
    for (auto& s : m_sorted) s.clear();
    m_stamp = db.ChangeStamp();
    return m_stamp.IsValid();
}

ResultTable CItemLinks::Types() const {
    // Distinct (item, language) pairs: most items have one language, kept per item; the rare
    // second one goes to a set.
    std::vector<int> first(m_items.size(), -1);
    QSet<quint64> more;
    std::vector<qint64> count(m_types.size(), 0);
    // Each category's language (its place in m_types, -1 for none), looked up once rather than per link.
    std::vector<int> typeOf(m_categories.size(), -1);
    for (size_t c = 0; c < m_categories.size(); ++c)
        if (m_categories[c].typeUsable) typeOf[c] = m_typeAt.value(m_categories[c].type, -1);
    for (const Link& l : m_links) {
        if (!l.at || l.category < 0) continue;
        const int t = typeOf[size_t(l.category)];
        if (t < 0) continue;
        int& f = first[size_t(l.at)];
        if (f == -1) f = t;
        else if (f == t) continue;
        else if (!more.contains((quint64(l.at) << 32) | quint32(t))) more.insert((quint64(l.at) << 32) | quint32(t));
        else continue;
        ++count[size_t(t)];
    }
    ResultTable data;
    for (size_t t = 0; t < m_types.size(); ++t) {
        if (!count[t]) continue;
        if (!data.ColCount()) data.SetHeader({QStringLiteral("ID"), QStringLiteral("Name"), QStringLiteral("Count")});
        data.Append(m_types[t].id);
        data.Append(m_types[t].name);
        data.Append(QVariant(qlonglong(count[t])));
    }
    return data;
}

ResultTable CItemLinks::Categories(int typeId, int* count) const {
    const auto inLanguage = [&](const Named& c) { return typeId == -1 || (c.typeUsable && c.type == typeId); };
    std::vector<qint64> links(m_categories.size(), 0);
    // An item in two categories of the language is one item of it.
    std::vector<bool> counted(m_items.size(), false);
    int total = 0;
    for (const Link& l : m_links) {
        if (l.category < 0) continue;
        ++links[size_t(l.category)];
        if (typeId != -1 && l.at && !counted[size_t(l.at)] && inLanguage(m_categories[size_t(l.category)])) {
            counted[size_t(l.at)] = true;
            ++total;
        }
    }
    *count = typeId == -1 ? m_itemCount : total;
    ResultTable data;
    for (size_t c = 0; c < m_categories.size(); ++c) {
        if (!links[c] || !inLanguage(m_categories[c])) continue;
        if (!data.ColCount())
            data.SetHeader({QStringLiteral("ID"), QStringLiteral("Name"), QStringLiteral("Count(tblItemCategory.ItemID)")});
        data.Append(m_categories[c].id);
        data.Append(m_categories[c].name);
        data.Append(QVariant(qlonglong(links[c])));
    }
    return data;
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
                                      if (at > 0 && m_items[size_t(at)].inTable) m_items[size_t(at)].lastUpdate = Value::Of(r, 1);
                                      return true;
                                  });
    m_haveLastUpdates = ok;
    return ok;
}

namespace {

// One item's key for a sort by a value, numbers inline: the sort moves and compares these
// rather than whole items.
struct SortKey {
    qint64 i = 0;
    double d = 0;
    int cls = 0;
    bool real = false;
    int item = 0;
};

// Ranks keys that are all NULL or numbers of one kind (all integers or all reals, as the
// columns hold them): each number becomes one unsigned number that orders as it does, sorted
// by its bytes, the lowest first; NULL ranks before every number (after, descending). False,
// touching nothing, for any other mix.
bool rankNumbers(const std::vector<SortKey>& keys, bool descending, std::vector<int>& rank) {
    bool ints = true, reals = true;
    for (const SortKey& k : keys) {
        if (k.cls > 1) return false;
        if (k.cls == 1) (k.real ? ints : reals) = false;
    }
    if (!ints && !reals) return false;
    constexpr quint64 top = quint64(1) << 63;
    std::vector<std::pair<quint64, int>> numbers, scratch;
    std::vector<int> nulls;
    numbers.reserve(keys.size());
    for (const SortKey& k : keys) {
        if (k.cls == 0) {
            nulls.push_back(k.item);
            continue;
        }
        quint64 u = quint64(k.i) ^ top;
        if (k.real) {
            // -0.0 equals 0.0; the order of a double's bits is that of its value once negative
            // ones are turned over.
            const quint64 bits = std::bit_cast<quint64>(k.d == 0 ? 0.0 : k.d);
            u = (bits & top) ? ~bits : bits | top;
        }
        numbers.push_back({descending ? ~u : u, k.item});
    }
    scratch.resize(numbers.size());
    for (int shift = 0; shift < 64; shift += 8) {
        std::array<size_t, 257> start{};
        for (const auto& n : numbers) ++start[((n.first >> shift) & 0xFF) + 1];
        if (std::find(start.begin(), start.end(), numbers.size()) != start.end()) continue;  // one value
        for (size_t b = 1; b < start.size(); ++b) start[b] += start[b - 1];
        for (const auto& n : numbers) scratch[start[(n.first >> shift) & 0xFF]++] = n;
        numbers.swap(scratch);
    }
    int r = descending || nulls.empty() ? 0 : 1;
    for (size_t k = 0; k < numbers.size(); ++k) {
        if (k > 0 && numbers[k].first != numbers[k - 1].first) ++r;
        rank[size_t(numbers[k].second)] = r;
    }
    if (descending && !numbers.empty()) ++r;
    for (int item : nulls) rank[size_t(item)] = descending ? r : 0;
    return true;
}

}  // namespace

const std::vector<int>& CItemLinks::Sorted(CSQLite& db, Order order) {
    std::vector<int>& links = m_sorted[order];
    if (!links.empty() || m_links.empty()) return links;
    if (order == ByLastUpdateDesc && !m_haveLastUpdates && !LoadLastUpdates(db)) return links;
    // Rank the items once (equal keys, equal rank), then order the links by their item's rank;
    // the stable sort keeps link order among equals, as the engine's sorter does.
    std::vector<int> rank(m_items.size(), 0);
    if (order == ByTitle) {
        for (size_t i = 0; i < m_items.size(); ++i) rank[i] = m_items[i].titleRank;
    } else {
        // Text and blobs (which another program may have stored) are compared in the items.
        // The NULL row has a NULL key.
        const auto value = [&](int i) -> const Value& {
            return order == ByLastUpdateDesc ? m_items[size_t(i)].lastUpdate : m_items[size_t(i)].fileSize;
        };
        std::vector<SortKey> keys(m_items.size());
        for (size_t i = 1; i < m_items.size(); ++i) {
            SortKey& k = keys[i];
            k.item = int(i);
            if (order == ById) {
                k.cls = 1;
                k.i = m_items[i].id;
                continue;
            }
            const Value& v = value(int(i));
            k.cls = v.cls;
            k.real = v.real;
            k.i = v.i;
            k.d = v.d;
        }
        const bool descending = order == ByLastUpdateDesc || order == ByFileSizeDesc;
        if (!rankNumbers(keys, descending, rank)) {
            const auto compare = [&](const SortKey& a, const SortKey& b) {
                if (a.cls != b.cls) return a.cls < b.cls ? -1 : 1;
                if (a.cls == 1 && !a.real && !b.real) return a.i < b.i ? -1 : (a.i > b.i ? 1 : 0);
                if (a.cls == 1 && a.real && b.real) return a.d < b.d ? -1 : (a.d > b.d ? 1 : 0);
                return a.cls == 0 ? 0 : Compare(value(a.item), value(b.item));
            };
            const auto before = [&](const SortKey& a, const SortKey& b) {
                const int c = compare(a, b);
                return descending ? c > 0 : c < 0;
            };
            std::sort(keys.begin(), keys.end(), before);
            int r = 0;
            for (size_t k = 0; k < keys.size(); ++k) {
                if (k > 0 && before(keys[k - 1], keys[k])) ++r;
                rank[size_t(keys[k].item)] = r;
            }
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

CTitleRows CItemLinks::Items(CSQLite& db, int categoryId, int typeId, Order order) {
    CTitleRows rows;
    if (!m_loaded) return rows;
    const std::vector<int>& sorted = Sorted(db, order);
    std::vector<char> seen(m_items.size(), 0);
    rows.SetBytes(m_arena);
    const bool all = categoryId == -1 && typeId == -1;
    if (all) rows.Reserve(std::min(sorted.size(), m_items.size()));
    // The categories whose links pass the filter (a link without its category passes none).
    std::vector<char> wanted(m_categories.size(), 0);
    for (size_t c = 0; c < m_categories.size(); ++c)
        wanted[c] = (categoryId == -1 || m_categories[c].key == categoryId) &&
                    (typeId == -1 || (m_categories[c].typeKnown && m_categories[c].type == typeId));
    for (int l : sorted) {
        const Link& link = m_links[size_t(l)];
        if (!all && (link.category < 0 || !wanted[size_t(link.category)])) continue;
        if (seen[size_t(link.item)]) continue;
        seen[size_t(link.item)] = 1;
        const Item& item = m_items[size_t(link.item)];
        switch (item.titleCls) {
        case 1: {
            const Value& v = m_titleNumbers[item.titleOffset];
            rows.Append(QVariant(qlonglong(item.id)), v.real ? QVariant(v.d) : QVariant(qlonglong(v.i)));
            break;
        }
        case 2:
        case 3:
            rows.Append(link.item == 0, item.id, item.titleCls == 2 ? CTitleRows::Text : CTitleRows::Blob,
                        item.titleOffset, item.titleLength);
            break;
        default:
            rows.Append(link.item == 0, item.id, CTitleRows::Null);
        }
    }
    return rows;
}
