#include "search/CFuzzyMatch.h"

#include <algorithm>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <vector>

namespace {

constexpr int kMatch = 16;
constexpr int kFirstBonus = 12;     // the very first character of the title
constexpr int kBoundaryBonus = 10;  // a word start after a blank or punctuation
constexpr int kHumpBonus = 8;       // camelCase hump, or digits after letters
constexpr int kConsecutive = 6;     // right after the previous matched letter
constexpr int kGapStart = -3;
constexpr int kGapExtend = -1;
constexpr int kLeadingMax = 8;      // letters skipped before the first match cost up to this
constexpr int kImpossible = -(1 << 28);
static_assert(CFuzzyMatch::kMaxLetterGain == kMatch + kFirstBonus, "a letter earns at most a match and the first bonus");

enum Kind { Separator, Lower, Upper, Digit, Other };

Kind kindOf(char16_t c) {
    if (c < 0x80) {
        if (c >= 'a' && c <= 'z') return Lower;
        if (c >= 'A' && c <= 'Z') return Upper;
        if (c >= '0' && c <= '9') return Digit;
        return Separator;
    }
    const QChar q(c);
    if (q.isLower()) return Lower;
    if (q.isUpper()) return Upper;
    if (q.isDigit()) return Digit;
    if (q.isLetterOrNumber() || q.isSurrogate()) return Other;
    return Separator;
}

template <class Ch>
int bonusAt(const Ch* s, int j) {
    if (j == 0) return kFirstBonus;
    const Kind prev = kindOf(s[j - 1]);
    const Kind cur = kindOf(s[j]);
    if (cur == Separator) return 0;
    if (prev == Separator) return kBoundaryBonus;
    if (prev == Lower && cur == Upper) return kHumpBonus;
    if (prev != Digit && cur == Digit) return kHumpBonus;
    return 0;
}

}  // namespace

CFuzzyMatch::CFuzzyMatch(QStringView pattern) {
    m_folded.reserve(pattern.size());
    for (QChar c : pattern) m_folded.append(QChar(Fold(c.unicode())));
    for (QChar c : std::as_const(m_folded)) {
        if (c.unicode() >= 0x80) {
            m_ascii.clear();
            break;
        }
        m_ascii.append(char(c.unicode()));
    }
}

QString CFuzzyMatch::FoldText(QStringView text) {
    QString out(text.size(), Qt::Uninitialized);
    QChar* o = out.data();
    for (QChar c : text) *o++ = QChar(Fold(c.unicode()));
    return out;
}

bool CFuzzyMatch::Matches(QStringView folded) const {
    const qsizetype n = std::min<qsizetype>(folded.size(), kMaxCandidate);
    if (m_folded.size() > n) return false;
    const QStringView f = folded.left(n);
    qsizetype j = 0;
    for (QChar c : m_folded) {
        j = f.indexOf(c, j);
        if (j < 0) return false;
        ++j;
    }
    return true;
}

int CFuzzyMatch::Bound(QStringView folded) const {
    int run = 0;
    while (run < m_folded.size() && run < folded.size() && folded[run] == m_folded[run]) ++run;
    return boundOfRun(run);
}

int CFuzzyMatch::boundOfRun(int run) const {
    const int m = int(m_folded.size());
    if (m == 0) return 0;
    // Only the title's first character earns kFirstBonus, and a run keeps its start's bonus: so
    // only letters of a run from the title's start, which the pattern's start must equal, can
    // earn that much; every other letter gets at most a word start's bonus, and a match that
    // does not start the title pays at least one leading letter.
    return run * (kMatch + kFirstBonus) + (m - run) * (kMatch + kBoundaryBonus) - (run == 0 ? 1 : 0);
}

namespace {

// The first place from j on where s (n bytes) holds want, or its capital when lift is 0x20
// (one OR makes a capital letter its lower case); n when none. Sixteen bytes at a time: every
// typed letter looks through most of a hundred thousand titles.
qsizetype findFolded(const char* s, qsizetype j, qsizetype n, char want, char lift) {
#ifdef __SSE2__
    const __m128i w = _mm_set1_epi8(want);
    const __m128i l = _mm_set1_epi8(lift);
    for (; j + 16 <= n; j += 16) {
        const __m128i chunk = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + j)), l);
        const int hits = _mm_movemask_epi8(_mm_cmpeq_epi8(chunk, w));
        if (hits) return j + __builtin_ctz(unsigned(hits));
    }
#endif
    while (j < n && char(s[j] | lift) != want) ++j;
    return j;
}

}  // namespace

bool CFuzzyMatch::MatchesAscii(QByteArrayView title) const {
    const qsizetype n = std::min<qsizetype>(title.size(), kMaxCandidate);
    if (m_folded.size() > n) return false;
    const char* s = title.data();
    qsizetype j = 0;
    for (QChar c : m_folded) {
        const char16_t want = c.unicode();
        if (want >= 0x80) return false;
        const char lift = (want >= 'a' && want <= 'z') ? 0x20 : 0;
        j = findFolded(s, j, n, char(want), lift);
        if (j == n) return false;
        ++j;
    }
    return true;
}

int CFuzzyMatch::BoundAscii(QByteArrayView title) const {
    int run = 0;
    while (run < m_folded.size() && run < title.size() && Fold(char16_t(uchar(title[run]))) == m_folded[run].unicode()) ++run;
    if (run > 0 || m_ascii.isEmpty()) return boundOfRun(run);
    // Away from the title's start the first letter earns at most its best place's bonus less the
    // letters skipped before it, and every other letter a word start's: a title holding the
    // letters only late or inside words is then rarely scored.
    const char want = m_ascii[0];
    const char lift = (want >= 'a' && want <= 'z') ? 0x20 : 0;
    const char* s = title.data();
    const qsizetype n = std::min<qsizetype>(title.size(), kMaxCandidate);
    int first = kImpossible;
    for (qsizetype j = findFolded(s, 0, n, want, lift); j < n; j = findFolded(s, j + 1, n, want, lift)) {
        first = std::max(first, kMatch + bonusAt(s, int(j)) - std::min(int(j), kLeadingMax));
        if (j >= kLeadingMax && first >= kMatch + kBoundaryBonus - kLeadingMax) break;  // none further does better
    }
    if (first == kImpossible) return boundOfRun(0);
    return first + (int(m_ascii.size()) - 1) * (kMatch + kBoundaryBonus);
}

namespace {

int indexOf(const char16_t* s, int n, char16_t c, int from) {
    return int(QStringView(s, n).indexOf(QChar(c), from));
}

int indexOf(const char* s, int n, char c, int from) {
    if (from >= n) return -1;
    const void* at = std::memchr(s + from, c, size_t(n - from));
    return at ? int(static_cast<const char*>(at) - s) : -1;
}

// The best placement of the m letters of p in the title s (n characters, folded: its folded
// form), one table row per letter.
template <class Ch>
int scoreOf(const Ch* p, int m, const Ch* s, const Ch* folded, int n) {
    // Cheap rejection first: most titles do not hold the letters in order at all. The earliest
    // (lo) and latest (hi) possible place of each letter bound the table below.
    thread_local std::vector<int> lo, hi;
    lo.resize(size_t(m));
    hi.resize(size_t(m));
    for (int i = 0, j = 0; i < m; ++i, ++j) {
        const int at = indexOf(folded, n, p[i], j);
        if (at < 0) return CFuzzyMatch::kNoMatch;
        j = at;
        lo[size_t(i)] = j;
    }
    for (int i = m - 1, j = n - 1; i >= 0; --i, --j) {
        while (folded[j] != p[i]) --j;
        hi[size_t(i)] = j;
    }
    const int end = hi[size_t(m - 1)] + 1;
    if (m == 1) {
        // One letter: its best place, no table needed.
        int best = kImpossible;
        for (int j = lo[0]; j < end; ++j)
            if (folded[j] == p[0]) best = std::max(best, kMatch + bonusAt(s, j) - std::min(j, kLeadingMax));
        return std::max(0, best);
    }
    // Each place's bonus, once for all letters, and only where a letter lands: most places of a
    // title hold none of them.
    constexpr int kUnset = kImpossible;
    thread_local std::vector<int> bonus;
    bonus.assign(size_t(end), kUnset);
    const auto bonusOf = [&](int j) {
        int& b = bonus[size_t(j)];
        if (b == kUnset) b = bonusAt(s, j);
        return b;
    };

    // prevRow[j]: the best score of the letters so far with the last one on title position j;
    // prevRun[j]: the bonus of the first letter of the run that ends there. A run of letters
    // keeps the bonus of its start, so "sort" typed finds "quick sort" before "salt on rotten
    // tomatoes".
    thread_local std::vector<int> prevRow, curRow, prevRun, curRun;
    prevRow.assign(size_t(end), kImpossible);
    prevRun.assign(size_t(end), 0);
    curRow.resize(size_t(end));
    curRun.resize(size_t(end));
    for (int j = lo[0]; j <= hi[0]; ++j)
        if (folded[j] == p[0]) {
            prevRow[size_t(j)] = kMatch + bonusOf(j) - std::min(j, kLeadingMax);
            prevRun[size_t(j)] = bonusOf(j);
        }
    for (int i = 1; i < m; ++i) {
        std::fill(curRow.begin(), curRow.end(), kImpossible);
        int gapBest = kImpossible;  // best of row i-1 ending two or more places back, gap cost paid
        const Ch want = p[i];
        for (int j = lo[size_t(i - 1)] + 1; j <= hi[size_t(i)]; ++j) {
            if (j >= 2) {
                const int from = prevRow[size_t(j - 2)];
                gapBest = std::max(gapBest == kImpossible ? kImpossible : gapBest + kGapExtend,
                                   from == kImpossible ? kImpossible : from + kGapStart);
            }
            if (j < lo[size_t(i)] || folded[j] != want) continue;
            const int b = bonusOf(j);
            const int fromGap = gapBest == kImpossible ? kImpossible : gapBest + kMatch + b;
            const int adjacent = prevRow[size_t(j - 1)];
            const int runBonus = std::max({b, prevRun[size_t(j - 1)], kConsecutive});
            const int fromRun = adjacent == kImpossible ? kImpossible : adjacent + kMatch + runBonus;
            if (fromRun == kImpossible && fromGap == kImpossible) continue;
            if (fromRun >= fromGap) {
                curRow[size_t(j)] = fromRun;
                curRun[size_t(j)] = runBonus;
            } else {
                curRow[size_t(j)] = fromGap;
                curRun[size_t(j)] = b;
            }
        }
        prevRow.swap(curRow);
        prevRun.swap(curRun);
    }
    const int best = *std::max_element(prevRow.begin(), prevRow.end());
    return best == kImpossible ? CFuzzyMatch::kNoMatch : std::max(0, best);
}

}  // namespace


int CFuzzyMatch::Score(QStringView candidate) const {
    if (m_folded.isEmpty()) return 0;
    thread_local QString folded;
    folded = FoldText(candidate.left(kMaxCandidate));
    return Score(candidate, folded);
}

int CFuzzyMatch::Score(QStringView candidate, QStringView foldedCandidate) const {
    const int m = int(m_folded.size());
    if (m == 0) return 0;
    const int n = int(std::min<qsizetype>(candidate.size(), kMaxCandidate));
    if (m > n) return kNoMatch;
    return scoreOf(reinterpret_cast<const char16_t*>(m_folded.constData()), m,
                   reinterpret_cast<const char16_t*>(candidate.data()),
                   reinterpret_cast<const char16_t*>(foldedCandidate.data()), n);
}

int CFuzzyMatch::ScoreAscii(QByteArrayView title) const {
    const int m = int(m_folded.size());
    if (m == 0) return 0;
    const int n = int(std::min<qsizetype>(title.size(), kMaxCandidate));
    if (m > n || m_ascii.size() != m) return kNoMatch;
    // Its lower case is its folded form.
    thread_local std::vector<char> lowered;
    lowered.resize(size_t(n));
    for (int j = 0; j < n; ++j) lowered[size_t(j)] = char(Fold(char16_t(uchar(title[j]))));
    return scoreOf(m_ascii.constData(), m, title.data(), lowered.data(), n);
}
