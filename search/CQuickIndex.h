#pragma once
// The quick palette's memory of a snippet file: every item's number, title, language and
// categories, its last change and its uses, read once so that each typed letter is matched
// against titles without the engine. Bodies are not held; their hits come from the full-text
// table and are handed in.
#include "search/CFuzzyMatch.h"
#include "search/CQuickQuery.h"
#include "search/CRecentUse.h"
#include "util/CMappedAllocator.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <bit>
#include <functional>
#include <limits>
#include <vector>

class CSQLite;

class CQuickIndex {
public:
    // One row of a result, with the texts the list shows.
    struct Row {
        int id = 0;
        QString title;
        QString language;
        QStringList categories;
        bool operator==(const Row&) const = default;
    };

    // Reads the items of the file open on db. False with the engine's text (and the index
    // empty) when a read failed.
    bool Load(CSQLite& db, QString* error = nullptr);
    int Size() const { return int(m_items.size()); }
    bool Contains(int itemId) const { return RowOfId(itemId) >= 0; }
    Row RowOf(int itemId) const;

    // The best items for the query, at most limit, best first: the fuzzy score of the title
    // plus, for items in bodyHits, the score of a plain match of every letter (so a body hit
    // ranks below a title matched at word starts and above letters scattered through a
    // title); among equals the items used recently and often, then shorter titles, then item
    // numbers. Only words, no filter: every item whose
    // title matches or that is in bodyHits. Only filters: the items of the filters, used and
    // recently changed ones first. Nothing: the most recently used, then recently changed.
    // cancelled is asked now and then; when it says yes the result is empty.
    // last: what an earlier search matched (its matched); when this query only narrows that
    // one (Narrows), only its rows (and those of bodyHits) are looked at. matched (when given,
    // not last) receives every row this search found, for the next one.
    struct Hit {
        int row;
        int bound;  // the title's score for the query, or one it cannot exceed; -1: a body hit only
        // For an ASCII title, what the next search need not find again: where the first letters
        // of the last word end, matched from the left (end 0: not known), and the share its
        // first letter earns away from the title's start (0: not known).
        quint16 end = 0;
        quint8 letters = 0;
        quint8 first = 0;
    };
    struct Matched {
        CQuickQuery query;
        CMappedVector<Hit> hits;
    };
    // The lists a search works in. Given, they are kept between searches: each typed letter
    // then neither asks the system for a few megabytes nor touches them in page by page. Drop
    // them when typing stops.
    struct Candidate {
        int hit;  // its place in the hits
        int cap;  // the score it cannot exceed
    };
    struct Scratch {
        CMappedVector<Candidate> candidates[2];  // one per half
        CMappedVector<int> order[2];
        CMappedVector<quint64> waiting[2];
        CMappedVector<Hit> otherHits;
    };
    QList<Row> Search(const CQuickQuery& query, const QSet<int>& bodyHits, int limit,
                      const std::function<bool()>& cancelled = {}, const Matched* last = nullptr,
                      Matched* matched = nullptr, Scratch* scratch = nullptr) const;
    // From so many rows to look at on, a search runs in two halves on two cores.
    static inline size_t SplitFrom = 16384;

    // Whether every item matching next matched previous by its title (same filters and words,
    // the last word only longer or one word more), so that previous's rows bound next's search.
    static bool Narrows(const CQuickQuery& previous, const CQuickQuery& next);

    // Notes a use in memory (after CRecentUse::Record stored it).
    void NoteUse(int itemId, double julianDay);
    const QHash<int, CRecentUse::Use>& Uses() const { return m_uses; }

private:
    // 24 bytes: a hundred thousand of them are the palette's largest block after the titles.
    struct Item {
        int id = 0;
        int catBegin = 0;  // into m_categories; the item's run ends where the next item's begins
        qint32 lastUpdate = kNever;  // Seconds
        int title = 0;  // where the title's UTF-8 starts in m_titles; it ends where the next one's starts
        quint64 letters = 0;  // LetterMask of the title, its late word starts and kUsedBit for an item in m_used
    };
    // A title with other than ASCII characters: where its folded form (at most kMaxCandidate)
    // starts in m_folded, and its length in UTF-16 units. Few titles are, so they are kept apart.
    struct Folded {
        int at = 0;
        quint16 length = 0;  // at most 65535: the order among equals reads no further
    };
    // An item used from the palette: its order among equals. Few are, so they are kept apart.
    struct Used {
        float weight = 0;  // CRecentUse::Weight at load time, or of the last use since
        qint32 lastUsed = 0;
    };
    static constexpr quint64 kUsedBit = quint64(1) << 62;  // no letter's bit
    // The bits between the letters' and kUsedBit hold an ASCII title's LateWordStartsAscii.
    static constexpr int kLateStartsShift = 36;
    static quint32 LateStartsOf(const Item& item) { return quint32(item.letters >> kLateStartsShift) & 0x3ffffff; }
    static_assert(sizeof(Item) == 24);
    static constexpr qint32 kNever = std::numeric_limits<qint32>::min();
    // A Julian day as whole seconds since 2000 (to 2068), kNever for 0.
    static qint32 Seconds(double julianDay);
    int CatEnd(size_t row) const {
        return row + 1 < m_items.size() ? m_items[row + 1].catBegin : int(m_categories.size());
    }
    // The items the filters leave; empty pointer: no filter. A filter naming nothing known
    // leaves no item.
    bool FilterRows(const CQuickQuery& query, CMappedVector<char>* keep) const;
    Row MakeRow(size_t row) const;
    QByteArrayView TitleOf(size_t row) const {
        const int end = row + 1 < m_items.size() ? m_items[row + 1].title : int(m_titles.size());
        return QByteArrayView(m_titles.data() + m_items[row].title, end - m_items[row].title);
    }
    bool IsAscii(size_t row) const { return !(m_outside[row / 64] >> (row % 64) & 1); }
    // In constant time: a file of titles in another script has one for every row.
    const Folded* FoldedRow(size_t row) const {
        if (IsAscii(row)) return nullptr;
        const quint64 before = m_outside[row / 64] & ((quint64(1) << (row % 64)) - 1);
        return &m_foldedRows[size_t(m_outsideBefore[row / 64] + std::popcount(before))];
    }
    // The folded form of a title outside ASCII as matched (its first kMaxCandidate characters);
    // empty for an ASCII title, which is matched as written.
    QStringView FoldedOf(size_t row) const {
        const Folded* f = FoldedRow(row);
        return f ? QStringView(m_folded).mid(f->at, std::min(int(f->length), CFuzzyMatch::kMaxCandidate)) : QStringView();
    }
    // The title's length in UTF-16 units, at most 65535.
    int TitleLengthOf(size_t row) const {
        if (const Folded* f = FoldedRow(row)) return f->length;
        return int(std::min<qsizetype>(TitleOf(row).size(), 0xffff));
    }
    float WeightOf(size_t row) const { return m_items[row].letters & kUsedBit ? m_used.value(int(row)).weight : 0; }
    qint32 LastUsedOf(size_t row) const {
        return m_items[row].letters & kUsedBit ? m_used.value(int(row)).lastUsed : kNever;
    }
    void SetUse(size_t row, const CRecentUse::Use& use, double now);
    // One bit per folded ASCII letter or digit a text holds (one shared bit for everything
    // else), of the characters a title is matched on: a title lacking a bit of the query cannot
    // match it, which rejects most titles without looking at them, and one holding the bit of a
    // one-letter word matches it.
    static quint64 LetterMask(QStringView text);
    static quint64 LetterMask(QLatin1StringView text);
    // The row of an item number, -1 when none (the rows are in number order).
    int RowOfId(int itemId) const;

    CMappedVector<Item> m_items;
    // Every title as UTF-8, and every title with other than ASCII characters folded, one after
    // the other: two blocks instead of two strings per item. Matching reads the folded block, or
    // an ASCII title itself; the few titles that get scored or shown are decoded.
    CMappedVector<char> m_titles;
    QString m_folded;
    std::vector<Folded> m_foldedRows;   // in row order
    std::vector<quint64> m_outside;     // a bit per row whose title is outside ASCII
    std::vector<int> m_outsideBefore;   // such rows before each word of m_outside
    CMappedVector<quint16> m_types;     // each item's language: into m_typeIds
    // The categories of all items as places in m_categoryIds, each item's run in name order.
    CMappedVector<quint16> m_categories;
    std::vector<int> m_categoryIds;
    QHash<int, QString> m_languageNames;
    std::vector<int> m_typeIds{0};  // language numbers, 0 first (none): m_types points here
    QHash<int, Used> m_used;        // by row
    QHash<int, QString> m_categoryNames;
    QHash<int, CRecentUse::Use> m_uses;
    double m_loadedAt = 0;  // Julian day of Load, the "now" of recency weights
};
