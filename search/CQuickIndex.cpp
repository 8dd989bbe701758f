#include "search/CQuickIndex.h"

#include "db/CSQLite.h"
#include "db/CTransaction.h"
#include "search/CFuzzyMatch.h"

#include <QDateTime>
#include <algorithm>
#include <cmath>
#include <sqlite3.h>
#include <system_error>
#include <thread>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

// A body hit scores as a title whose letters all matched plainly: a title match with word
// starts and runs ranks above it, letters scattered through a title below it.
constexpr int kBodyPerLetter = 16;
constexpr int kBodyMaxLetters = 32;

QString textOf(const CSQLite::Row& row, int c) {
    QByteArray scratch;
    const QByteArrayView bytes = row.Utf8(c, scratch);
    return QString::fromUtf8(bytes.data(), bytes.size());
}

// Keeps the n best of what it is given as a heap with the worst on top.
template <class T, class Better>
void keepBest(std::vector<T>& best, size_t n, const T& item, Better better) {
    if (best.size() < n) {
        best.push_back(item);
        std::push_heap(best.begin(), best.end(), better);
    } else if (n > 0 && better(item, best.front())) {
        std::pop_heap(best.begin(), best.end(), better);
        best.back() = item;
        std::push_heap(best.begin(), best.end(), better);
    }
}

// Names equal to what was typed (case-insensitive), else names that begin with it: "lang:py"
// while "python" is still being typed.
QSet<int> namesMatching(const QHash<int, QString>& names, const QString& typed) {
    QSet<int> exact;
    QSet<int> prefix;
    for (auto it = names.constBegin(); it != names.constEnd(); ++it) {
        if (it.value().compare(typed, Qt::CaseInsensitive) == 0) exact.insert(it.key());
        else if (it.value().startsWith(typed, Qt::CaseInsensitive)) prefix.insert(it.key());
    }
    return exact.isEmpty() ? prefix : exact;
}

}  // namespace

bool CQuickIndex::Load(CSQLite& db, QString* error) {
    *this = CQuickIndex();
    QString why;
    const auto fail = [&](const QString& text) {
        *this = CQuickIndex();
        if (error) *error = text;
        return false;
    };
    // One snapshot for every read, so items, links and names agree.
    CTransaction snapshot(db, &why);
    if (!snapshot.IsOpen()) return fail(why);

    const auto readItems = [&](const char* sql) {
        m_items.clear();
        m_titles.clear();
        return db.ForEachRow(QLatin1String(sql), [&](const CSQLite::Row& row) {
            Item item;
            item.id = int(row.Int(0));
            QByteArray scratch;
            const QByteArrayView bytes = row.Utf8(1, scratch);
            item.title = int(m_titles.size());
            m_titles.insert(m_titles.end(), bytes.data(), bytes.data() + bytes.size());
            item.lastUpdate = Seconds(row.Real(2));
            m_items.push_back(item);
            return true;
        }, &why);
    };
    // The title from the full-text table's content table leaves the code text unread; a file
    // whose full-text table has no such table is read through the table itself.
    if (!readItems("SELECT tblItem.ID, Content.c0Title, tblItem.LastUpdate FROM tblItem "
                   "JOIN ftsItem_content AS Content ON Content.docid = tblItem.ID ORDER BY tblItem.ID")) {
        const int code = db.LastErrorCode();
        if (code == SQLITE_BUSY || code == SQLITE_LOCKED) return fail(why);
        why.clear();
        if (!readItems("SELECT tblItem.ID, ftsItem.Title, tblItem.LastUpdate FROM tblItem "
                       "JOIN ftsItem ON ftsItem.docid = tblItem.ID ORDER BY tblItem.ID"))
            return fail(why);
    }
    m_titles.shrink_to_fit();
    m_items.shrink_to_fit();
    // Most titles are plain ASCII: their folded form is their lower case, read from the title
    // itself. Only the others keep a folded copy. UTF-16 never has more units than UTF-8 has
    // bytes: the block is cut to size afterwards.
    const auto ascii = [](QByteArrayView bytes) {
        for (char c : bytes)
            if (uchar(c) >= 0x80) return false;
        return true;
    };
    qsizetype total = 0;
    m_outside.assign((m_items.size() + 63) / 64, 0);
    for (size_t r = 0; r < m_items.size(); ++r) {
        const QByteArrayView bytes = TitleOf(r);
        if (ascii(bytes)) continue;
        m_outside[r / 64] |= quint64(1) << (r % 64);
        total += std::min<qsizetype>(bytes.size(), CFuzzyMatch::kMaxCandidate);
    }
    m_folded.resize(total);
    QChar* out = m_folded.data();
    for (size_t r = 0; r < m_items.size(); ++r) {
        Item& item = m_items[r];
        const QByteArrayView bytes = TitleOf(r);
        if (IsAscii(r)) {
            item.letters = LetterMask(QLatin1StringView(bytes.data(), std::min<qsizetype>(bytes.size(), CFuzzyMatch::kMaxCandidate))) |
                           quint64(CFuzzyMatch::LateWordStartsAscii(bytes)) << kLateStartsShift;
            continue;
        }
        const QString title = QString::fromUtf8(bytes.data(), bytes.size());
        item.letters = LetterMask(QStringView(title).left(CFuzzyMatch::kMaxCandidate));
        m_foldedRows.push_back({int(out - m_folded.constData()), quint16(std::min<qsizetype>(title.size(), 0xffff))});
        for (QChar c : QStringView(title).left(CFuzzyMatch::kMaxCandidate)) *out++ = QChar(CFuzzyMatch::Fold(c.unicode()));
    }
    m_foldedRows.shrink_to_fit();
    m_outsideBefore.resize(m_outside.size());
    for (size_t w = 0, before = 0; w < m_outside.size(); before += size_t(std::popcount(m_outside[w++])))
        m_outsideBefore[w] = int(before);
    m_folded.truncate(out - m_folded.constData());
    m_folded.squeeze();
    // Read in number order, so a number finds its row by halving.
    if (!std::is_sorted(m_items.begin(), m_items.end(), [](const Item& a, const Item& b) { return a.id < b.id; }))
        return fail(QStringLiteral("The items were not read in number order"));

    QHash<int, quint16> typeIndex;
    bool ok = db.ForEachRow(QStringLiteral("SELECT ID, Name FROM tblType"), [&](const CSQLite::Row& row) {
        m_languageNames.insert(int(row.Int(0)), textOf(row, 1));
        // Past 65,535 languages, which no file has, the rest show none.
        if (m_typeIds.size() <= 0xffff) {
            typeIndex.insert(int(row.Int(0)), quint16(m_typeIds.size()));
            m_typeIds.push_back(int(row.Int(0)));
        }
        return true;
    }, &why);
    QHash<int, quint16> categoryIndex;
    QHash<int, int> categoryType;
    ok = ok && db.ForEachRow(QStringLiteral("SELECT ID, TypeID, Name FROM tblCategory"), [&](const CSQLite::Row& row) {
        m_categoryNames.insert(int(row.Int(0)), textOf(row, 2));
        categoryType.insert(int(row.Int(0)), int(row.Int(1)));
        // As with languages: past 65,536 categories the rest are left out of the rows.
        if (m_categoryIds.size() <= 0xffff) {
            categoryIndex.insert(int(row.Int(0)), quint16(m_categoryIds.size()));
            m_categoryIds.push_back(int(row.Int(0)));
        }
        return true;
    }, &why);
    // Links in item order (the primary key's index), so each item's run is contiguous.
    CMappedVector<std::pair<int, int>> links;
    ok = ok && db.ForEachRow(QStringLiteral("SELECT ItemID, CategoryID FROM tblItemCategory ORDER BY ItemID"),
                             [&](const CSQLite::Row& row) {
                                 links.emplace_back(int(row.Int(0)), int(row.Int(1)));
                                 return true;
                             }, &why);
    ok = ok && CRecentUse::Load(db, &m_uses, &why);
    if (!ok) return fail(why);

    m_categories.reserve(links.size());
    m_types.assign(m_items.size(), 0);
    size_t l = 0;
    for (size_t r = 0; r < m_items.size(); ++r) {
        Item& item = m_items[r];
        while (l < links.size() && links[l].first < item.id) ++l;
        item.catBegin = int(m_categories.size());
        for (; l < links.size() && links[l].first == item.id; ++l) {
            const auto at = categoryIndex.constFind(links[l].second);
            if (at == categoryIndex.cend()) continue;
            m_categories.push_back(*at);
            if (m_types[r] == 0) m_types[r] = typeIndex.value(categoryType.value(links[l].second));
        }
        std::sort(m_categories.begin() + item.catBegin, m_categories.end(),
                  [this](quint16 a, quint16 b) {
                      return m_categoryNames.value(m_categoryIds[a]).compare(m_categoryNames.value(m_categoryIds[b]),
                                                                             Qt::CaseInsensitive) < 0;
                  });
    }
    m_loadedAt = CRecentUse::JulianDay(QDateTime::currentDateTimeUtc());
#ifdef __GLIBC__
    // The reads leave freed blocks behind (the rows, the growing title block); the palette stays
    // open for hours, so they go back to the system now.
    malloc_trim(0);
#endif
    for (auto it = m_uses.constBegin(); it != m_uses.constEnd(); ++it) {
        const int r = RowOfId(it.key());
        if (r >= 0) SetUse(size_t(r), it.value(), m_loadedAt);
    }
    if (error) error->clear();
    return true;
}

void CQuickIndex::NoteUse(int itemId, double julianDay) {
    CRecentUse::Use& use = m_uses[itemId];
    ++use.count;
    use.lastUsed = julianDay;
    const int r = RowOfId(itemId);
    if (r >= 0) SetUse(size_t(r), use, std::max(m_loadedAt, julianDay));
}

void CQuickIndex::SetUse(size_t row, const CRecentUse::Use& use, double now) {
    m_used.insert(int(row), Used{float(CRecentUse::Weight(use, now)), Seconds(use.lastUsed)});
    m_items[row].letters |= kUsedBit;
}

namespace {

quint64 maskBit(char16_t c) {
    if (c >= 'a' && c <= 'z') return quint64(1) << (c - 'a');
    if (c >= '0' && c <= '9') return quint64(1) << (26 + c - '0');
    return quint64(1) << 63;
}

}  // namespace

quint64 CQuickIndex::LetterMask(QStringView text) {
    quint64 mask = 0;
    for (QChar ch : text) mask |= maskBit(CFuzzyMatch::Fold(ch.unicode()));
    return mask;
}

quint64 CQuickIndex::LetterMask(QLatin1StringView text) {
    quint64 mask = 0;
    for (char ch : text) mask |= maskBit(CFuzzyMatch::Fold(char16_t(uchar(ch))));
    return mask;
}

qint32 CQuickIndex::Seconds(double julianDay) {
    if (julianDay == 0) return kNever;
    const double s = std::round((julianDay - 2451544.5) * 86400.0);
    return qint32(std::clamp(s, double(kNever) + 1, double(std::numeric_limits<qint32>::max())));
}

int CQuickIndex::RowOfId(int itemId) const {
    const auto at = std::lower_bound(m_items.begin(), m_items.end(), itemId,
                                     [](const Item& item, int id) { return item.id < id; });
    return at != m_items.end() && at->id == itemId ? int(at - m_items.begin()) : -1;
}

CQuickIndex::Row CQuickIndex::MakeRow(size_t r) const {
    const Item& item = m_items[r];
    Row row;
    row.id = item.id;
    const QByteArrayView title = TitleOf(r);
    row.title = QString::fromUtf8(title.data(), title.size());
    row.language = m_languageNames.value(m_typeIds[m_types[r]]);
    for (int c = item.catBegin, end = CatEnd(r); c < end; ++c) row.categories << m_categoryNames.value(m_categoryIds[m_categories[size_t(c)]]);
    return row;
}

CQuickIndex::Row CQuickIndex::RowOf(int itemId) const {
    const int r = RowOfId(itemId);
    return r < 0 ? Row() : MakeRow(size_t(r));
}

bool CQuickIndex::FilterRows(const CQuickQuery& query, CMappedVector<char>* keep) const {
    if (!query.HasFilters()) return false;
    keep->assign(m_items.size(), 1);
    for (const QString& name : query.languages) {
        const QSet<int> types = namesMatching(m_languageNames, name);
        for (size_t r = 0; r < m_items.size(); ++r)
            if ((*keep)[r] && !types.contains(m_typeIds[m_types[r]])) (*keep)[r] = 0;
    }
    for (const QString& name : query.categories) {
        const QSet<int> cats = namesMatching(m_categoryNames, name);
        for (size_t r = 0; r < m_items.size(); ++r) {
            if (!(*keep)[r]) continue;
            bool any = false;
            for (int c = m_items[r].catBegin, end = CatEnd(r); c < end && !any; ++c)
                any = cats.contains(m_categoryIds[m_categories[size_t(c)]]);
            if (!any) (*keep)[r] = 0;
        }
    }
    return true;
}

bool CQuickIndex::Narrows(const CQuickQuery& previous, const CQuickQuery& next) {
    if (!previous.HasWords() ||
        (previous.words.size() != next.words.size() && previous.words.size() + 1 != next.words.size()) ||
        previous.languages != next.languages || previous.categories != next.categories)
        return false;
    const qsizetype last = previous.words.size() - 1;
    for (qsizetype k = 0; k < last; ++k)
        if (previous.words[k] != next.words[k]) return false;
    if (previous.words.size() + 1 == next.words.size()) return previous.words[last] == next.words[last];
    return next.words[last].startsWith(previous.words[last]);
}

QList<CQuickIndex::Row> CQuickIndex::Search(const CQuickQuery& query, const QSet<int>& bodyHits, int limit,
                                            const std::function<bool()>& cancelled, const Matched* last,
                                            Matched* matched, Scratch* scratch) const {
    // Everything the order needs, so that sorting never reaches back into the items.
    struct Scored {
        int row;
        int score;
        float weight;
        int length;
        int id;
    };
    if (matched) {
        matched->query = query;
        matched->hits.clear();
    }
    CMappedVector<char> keep;
    const bool filtered = FilterRows(query, &keep);
    std::vector<Scored> found;
    const auto stop = [&](size_t r) { return cancelled && (r & 2047) == 0 && cancelled(); };

    if (!query.HasWords()) {
        const auto recent = [this](const Scored& a, const Scored& b) {
            const Item& x = m_items[size_t(a.row)];
            const Item& y = m_items[size_t(b.row)];
            const qint32 usedX = LastUsedOf(size_t(a.row)), usedY = LastUsedOf(size_t(b.row));
            if (usedX != usedY) return usedX > usedY;
            if (x.lastUpdate != y.lastUpdate) return x.lastUpdate > y.lastUpdate;
            return x.id < y.id;
        };
        // The most recent as a heap with the least recent on top: no list of every row.
        const size_t n = size_t(std::max(0, limit));
        found.reserve(n + 1);
        for (size_t r = 0; r < m_items.size() && n > 0; ++r) {
            if (stop(r)) return {};
            if (filtered && !keep[r]) continue;
            keepBest(found, n, Scored{int(r), 0, 0, 0, 0}, recent);
        }
        std::sort(found.begin(), found.end(), recent);
    } else {
        std::vector<CFuzzyMatch> matchers;
        std::vector<quint64> masks;
        int letters = 0;
        for (const QString& w : query.words) {
            matchers.emplace_back(w);
            masks.push_back(LetterMask(w) & ~(quint64(1) << 63));  // other characters are not checked
            letters += int(w.size());
        }
        const int bodyScore = kBodyPerLetter * std::min(letters, kBodyMaxLetters);
        const bool anyBodies = !bodyHits.isEmpty();
        // The rows keep the last word's length in a byte: a longer word is matched afresh.
        const int lastLetters = int(query.words.last().size());
        const CMappedVector<Hit>* within =
            last && lastLetters <= std::numeric_limits<quint8>::max() && Narrows(last->query, query) ? &last->hits : nullptr;
        const bool newWord = within && last->query.words.size() < query.words.size();
        // A word of one letter or digit: the letter bits tell which titles hold it.
        const QString& lastFolded = matchers.back().Pattern();
        const bool oneLetter = lastFolded.size() == 1 && ((lastFolded[0] >= u'a' && lastFolded[0] <= u'z') ||
                                                          (lastFolded[0] >= u'0' && lastFolded[0] <= u'9'));
        // The rows to look at: all, or those of the earlier query and of the body hits. A row the
        // earlier query did not find by its title is not found by it now, and one it found scores
        // at most a letter's worth more for each letter added: that bound spares most scoring.
        CMappedVector<int> bodyRows;  // body hits the earlier query did not find
        if (within && anyBodies) {
            CMappedVector<char> seen(m_items.size(), 0);
            for (const Hit& h : *within) seen[size_t(h.row)] = 1;
            for (int id : bodyHits) {
                const int r = RowOfId(id);
                if (r >= 0 && !seen[size_t(r)]) bodyRows.push_back(r);
            }
        }
        const size_t withinCount = within ? within->size() : 0;
        const auto visitAt = [&](size_t v) -> Hit {
            if (v >= withinCount) return {bodyRows[v - withinCount], -1};
            const Hit& h = (*within)[v];
            if (h.bound < 0) return {h.row, -1};
            if (newWord) return {h.row, h.bound + lastLetters * CFuzzyMatch::kMaxLetterGain};
            // Each letter added since earns at most so much.
            return {h.row, h.bound + (lastLetters - h.letters) * CFuzzyMatch::kMaxLetterGain, h.end, h.letters, h.first};
        };
        // Plain numbers only: string comparisons over a hundred thousand equal scores would cost
        // more than the matching.
        const auto better = [](const Scored& a, const Scored& b) {
            if (a.score != b.score) return a.score > b.score;
            if (a.weight != b.weight) return a.weight > b.weight;
            if (a.length != b.length) return a.length < b.length;
            return a.id < b.id;
        };
        // The best so far as a heap with the worst on top. Every matching row is checked, but one
        // whose best possible score stays below that worst one is never scored: after the first
        // letters most titles match and few can still make the list.
        const size_t n = size_t(std::max(0, limit));
        // Looks at the rows from begin to end; false when cancelled. First every row is matched
        // and given the best score it could reach, then rows are scored from the highest of those
        // down, so that the list's worst soon rises and stops the scoring: the many titles that
        // tie near it are never scored.
        Scratch own;
        Scratch& work = scratch ? *scratch : own;
        const auto scan = [&](size_t begin, size_t end, std::vector<Scored>& best, CMappedVector<Hit>& hits, int side) {
            CMappedVector<Candidate>& candidates = work.candidates[side];
            candidates.clear();
            candidates.reserve(end - begin);
            for (size_t v = begin; v < end; ++v) {
                if (stop(v)) return false;
                const Hit visited = within ? visitAt(v) : Hit{int(v), 0};
                const size_t r = size_t(visited.row);
                if (filtered && !keep[r]) continue;
                const Item& item = m_items[r];
                const bool plain = IsAscii(r);  // matched on the title as written
                const QByteArrayView bytes = TitleOf(r);
                const QStringView folded = plain ? QStringView() : FoldedOf(r);
                const Hit* was = within ? &visited : nullptr;
                bool inTitle = !was || was->bound >= 0;
                int bound = 0;
                Hit hit{int(r), -1, 0, quint8(lastLetters), 0};
                // A title that does not begin with the last word's first letter: each letter added
                // since the earlier search earns at most a later letter's share, which bounds it
                // closer than the title's start does, so the start is not looked at.
                const int added = was && !newWord && was->end > 0 ? lastLetters - was->letters : -1;
                const bool late = plain && added >= 0 && !bytes.isEmpty() &&
                                  CFuzzyMatch::Fold(char16_t(uchar(bytes[0]))) != lastFolded[0].unicode();
                // The earlier query matched the title with the same words before the last: then
                // only the last is matched again, from where its earlier letters ended, and the
                // earlier score bounds the new one too.
                for (size_t k = 0; k < matchers.size() && inTitle; ++k) {
                    const bool isLast = k + 1 == matchers.size();
                    if (!plain) {
                        if (isLast || !was) inTitle = !(masks[k] & ~item.letters) && matchers[k].Matches(folded);
                        bound += matchers[k].Bound(folded);
                        continue;
                    }
                    // Here the bound comes from the title's start alone, unless the first letter's
                    // share is known: the look for the first letter's best place is left to the
                    // rows that come near the list (see below).
                    if (!isLast) {
                        if (!was) inTitle = !(masks[k] & ~item.letters) && matchers[k].MatchesAscii(bytes);
                        if (!late) bound += matchers[k].BoundAtStartAscii(bytes);
                        continue;
                    }
                    inTitle = !(masks[k] & ~item.letters);
                    if (!inTitle) break;
                    hit.first = was ? was->first : 0;
                    if (!late)
                        bound += hit.first ? matchers[k].BoundAscii(bytes, &hit.first) : matchers[k].BoundAtStartAscii(bytes);
                    if (oneLetter && !was) {
                        // The bit says it all; its first place is noted for the next letter.
                        hit.end = quint16(matchers[k].MatchEndAscii(bytes, 0, 0));
                        continue;
                    }
                    const int end = was && was->end > 0 ? matchers[k].MatchEndAscii(bytes, was->letters, was->end)
                                                         : matchers[k].MatchEndAscii(bytes, 0, 0);
                    inTitle = end >= 0;
                    hit.end = quint16(std::max(end, 0));
                }
                if (inTitle && was)
                    bound = late ? was->bound - added * (CFuzzyMatch::kMaxLetterGain - CFuzzyMatch::kMaxLateLetterGain)
                                 : std::min(bound, was->bound);
                const bool body = anyBodies && bodyHits.contains(item.id);
                if (!inTitle && !body) continue;
                hit.bound = inTitle ? bound : -1;
                hits.push_back(hit);
                if (n == 0) continue;
                candidates.push_back({int(hits.size()) - 1, (inTitle ? bound : 0) + (body ? bodyScore : 0)});
            }
            if (candidates.empty()) return true;
            // Highest cap first, by counting: the caps are small numbers.
            int low = candidates[0].cap, high = low;
            for (const Candidate& c : candidates) {
                low = std::min(low, c.cap);
                high = std::max(high, c.cap);
            }
            CMappedVector<int>& order = work.order[side];
            order.resize(candidates.size());
            if (high - low <= 1 << 16) {
                CMappedVector<int> start(size_t(high - low) + 2, 0);
                for (const Candidate& c : candidates) ++start[size_t(high - c.cap) + 1];
                for (size_t b = 1; b < start.size(); ++b) start[b] += start[b - 1];
                for (size_t i = 0; i < candidates.size(); ++i) order[size_t(start[size_t(high - candidates[i].cap)]++)] = int(i);
            } else {
                for (size_t i = 0; i < order.size(); ++i) order[i] = int(i);
                std::stable_sort(order.begin(), order.end(),
                                 [&](int a, int b) { return candidates[size_t(a)].cap > candidates[size_t(b)].cap; });
            }
            best.reserve(n + 1);
            QString title;  // the one being scored, decoded when not ASCII
            // Rows whose shape bounded them closer than their start did wait here, highest cap
            // on top, until the rows in order come down to their cap.
            CMappedVector<quint64>& waiting = work.waiting[side];  // cap above, place in candidates below
            waiting.clear();
            for (size_t o = 0, step = 0;; ++step) {
                if (stop(step)) return false;
                const int nextCap = o < order.size() ? candidates[size_t(order[o])].cap : -1;
                const bool waited = !waiting.empty() && int(waiting.front() >> 32) >= nextCap;
                if (!waited && o == order.size()) break;
                int at = 0, cap = 0;
                if (waited) {
                    std::pop_heap(waiting.begin(), waiting.end());
                    cap = int(waiting.back() >> 32);
                    at = int(quint32(waiting.back()));
                    waiting.pop_back();
                } else {
                    at = order[o++];
                    cap = candidates[size_t(at)].cap;
                }
                Hit& hit = hits[size_t(candidates[size_t(at)].hit)];
                const Item& item = m_items[size_t(hit.row)];
                if (best.size() == n) {
                    // The caps only fall from here: below the worst of the best, nothing more
                    // enters; at it, only a better place among equals, known before scoring.
                    if (cap < best.front().score) break;
                    if (!better(Scored{hit.row, cap, WeightOf(size_t(hit.row)), TitleLengthOf(size_t(hit.row)), item.id}, best.front()))
                        continue;
                }
                const bool inTitle = hit.bound >= 0;
                const bool plain = IsAscii(size_t(hit.row));
                const QByteArrayView bytes = TitleOf(size_t(hit.row));
                if (inTitle && plain && !waited) {
                    // The title's shape bounds it closer than its start did: the letters' best
                    // places. A row it lowers waits for its turn; many never get it.
                    const int before = hit.bound;
                    const quint32 lateStarts = LateStartsOf(item);
                    int shape = 0;
                    for (size_t k = 0; k < matchers.size(); ++k)
                        shape += matchers[k].BoundAscii(bytes, k + 1 == matchers.size() ? &hit.first : nullptr, &lateStarts);
                    hit.bound = std::min(hit.bound, shape);
                    if (hit.bound < before) {
                        waiting.push_back(quint64(quint32(cap - (before - hit.bound))) << 32 | quint32(at));
                        std::push_heap(waiting.begin(), waiting.end());
                        continue;
                    }
                }
                int total = 0;
                if (inTitle) {
                    const QStringView folded = FoldedOf(size_t(hit.row));
                    if (!plain) title = QString::fromUtf8(bytes.data(), bytes.size());
                    for (size_t k = 0; k < matchers.size(); ++k) {
                        const int s = plain ? matchers[k].ScoreAscii(bytes) : matchers[k].Score(title, folded);
                        if (s == CFuzzyMatch::kNoMatch) total = -1;
                        else total += s;
                        if (total < 0) break;
                    }
                    // The exact score bounds the next letter's better than the title's shape does.
                    if (total >= 0) hit.bound = total;
                }
                const bool body = anyBodies && bodyHits.contains(item.id);
                const Scored scored{hit.row, std::max(inTitle ? total : 0, 0) + (body ? bodyScore : 0), WeightOf(size_t(hit.row)),
                                    TitleLengthOf(size_t(hit.row)), item.id};
                keepBest(best, n, scored, better);
            }
            return true;
        };
        const size_t count = within ? withinCount + bodyRows.size() : m_items.size();
        // Many rows: the second half on another core, each half keeping its own best.
        std::vector<Scored> others;
        CMappedVector<Hit>& otherHits = work.otherHits;
        otherHits.clear();
        bool othersDone = true;
        std::thread helper;
        size_t mine = count;
        if (count >= SplitFrom && std::thread::hardware_concurrency() > 1) {
            try {
                helper = std::thread([&, from = count / 2] {
                    othersDone = scan(from, count, others, otherHits, 1);
                });
                mine = count / 2;
            } catch (const std::system_error&) {
                // No thread to be had: this one looks at every row.
            }
        }
        CMappedVector<Hit> ownHits;  // when the caller keeps none
        const bool done = scan(0, mine, found, matched ? matched->hits : ownHits, 0);
        if (helper.joinable()) helper.join();
        if (!done || !othersDone) return {};
        found.insert(found.end(), others.begin(), others.end());
        if (matched) matched->hits.insert(matched->hits.end(), otherHits.begin(), otherHits.end());
        std::sort(found.begin(), found.end(), better);
        found.resize(std::min(found.size(), n));
    }
    QList<Row> rows;
    rows.reserve(qsizetype(found.size()));
    for (const Scored& s : found) rows << MakeRow(size_t(s.row));
    return rows;
}
