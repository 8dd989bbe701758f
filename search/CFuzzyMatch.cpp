#include "search/CFuzzyMatch.h"

#include <algorithm>
#include <array>
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
static_assert(CFuzzyMatch::kMaxLateLetterGain == kMatch + kBoundaryBonus && kBoundaryBonus >= kHumpBonus &&
                  kBoundaryBonus >= kConsecutive,
              "away from the first place a letter earns at most a match and a word start's bonus");

enum Kind { Separator, Lower, Upper, Digit, Other };

constexpr Kind kindOf(char16_t c) {
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

// The same for the bytes of an ASCII title, by table: it is asked for every place a letter lands.
constexpr std::array<Kind, 128> kAsciiKinds = [] {
    std::array<Kind, 128> kinds{};
    for (char16_t c = 0; c < 128; ++c) kinds[c] = kindOf(c);
    return kinds;
}();

Kind kindOf(char c) { return kAsciiKinds[uchar(c) & 0x7f]; }

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

bool CFuzzyMatch::MatchesAscii(QByteArrayView title) const { return MatchEndAscii(title, 0, 0) >= 0; }

int CFuzzyMatch::MatchEndAscii(QByteArrayView title, int letter, int from) const {
    const qsizetype n = std::min<qsizetype>(title.size(), kMaxCandidate);
    if (m_folded.size() > n) return -1;
    const char* s = title.data();
    qsizetype j = from;
    for (qsizetype i = letter; i < m_folded.size(); ++i) {
        const char16_t want = m_folded[i].unicode();
        if (want >= 0x80) return -1;
        const char lift = (want >= 'a' && want <= 'z') ? 0x20 : 0;
        j = findFolded(s, j, n, char(want), lift);
        if (j == n) return -1;
        ++j;
    }
    return int(j);
}

int CFuzzyMatch::runAtStart(QByteArrayView title) const {
    int run = 0;
    if (!m_ascii.isEmpty()) {
        const qsizetype m = std::min(m_ascii.size(), title.size());
        const char* p = m_ascii.constData();
        while (run < m && char(Fold(char16_t(uchar(title[run])))) == p[run]) ++run;
        return run;
    }
    while (run < m_folded.size() && run < title.size() && Fold(char16_t(uchar(title[run]))) == m_folded[run].unicode()) ++run;
    return run;
}

int CFuzzyMatch::BoundAtStartAscii(QByteArrayView title) const { return boundOfRun(runAtStart(title)); }

quint32 CFuzzyMatch::LateWordStartsAscii(QByteArrayView title) {
    quint32 starts = 0;
    const qsizetype n = std::min<qsizetype>(title.size(), kMaxCandidate);
    for (qsizetype j = kLeadingMax; j < n; ++j) {
        const char c = char(title[j] | 0x20);
        if (c >= 'a' && c <= 'z' && bonusAt(title.data(), int(j)) > 0) starts |= quint32(1) << (c - 'a');
    }
    return starts;
}

int CFuzzyMatch::BoundAscii(QByteArrayView title, quint8* known, const quint32* lateStarts) const {
    const int run = runAtStart(title);
    if (run > 0 || m_ascii.isEmpty()) return boundOfRun(run);
    // Away from the title's start the first letter earns at most its best place's bonus less the
    // letters skipped before it, and every other letter a word start's: a title holding the
    // letters only late or inside words is then rarely scored.
    int first = known && *known ? int(*known) : kImpossible;
    if (first == kImpossible) {
        const char want = m_ascii[0];
        const char lift = (want >= 'a' && want <= 'z') ? 0x20 : 0;
        const char* s = title.data();
        const qsizetype n = std::min<qsizetype>(title.size(), kMaxCandidate);
        if (lateStarts && lift) {
            // The first places one by one; from kLeadingMax on every place costs the same, so
            // only whether the letter starts a word there counts (a hump is bounded as a word
            // start), and a title holding the letter holds it somewhere.
            for (qsizetype j = 1; j < std::min<qsizetype>(n, kLeadingMax); ++j)
                if (char(s[j] | lift) == want) first = std::max(first, kMatch + bonusAt(s, int(j)) - int(j));
            const bool starts = *lateStarts >> (want - 'a') & 1;
            first = std::max(first, kMatch + (starts ? kBoundaryBonus : 0) - kLeadingMax);
        } else {
            for (qsizetype j = findFolded(s, 0, n, want, lift); j < n; j = findFolded(s, j + 1, n, want, lift)) {
                first = std::max(first, kMatch + bonusAt(s, int(j)) - std::min(int(j), kLeadingMax));
                if (j >= kLeadingMax && first >= kMatch + kBoundaryBonus - kLeadingMax) break;  // none further does better
            }
            if (first == kImpossible) return boundOfRun(0);
        }
        if (known) *known = quint8(first);  // between kMatch - kLeadingMax and kMatch + kFirstBonus
    }
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
// form), letter by letter. Only the places that hold a letter are looked at: a title holds each
// letter a few times, so a letter's row is a short list, not a row of every place.
template <class Ch>
int scoreOf(const Ch* p, int m, const Ch* s, const Ch* folded, int n) {
    // Cheap rejection first: most titles do not hold the letters in order at all. The earliest
    // (lo) and latest (hi) possible place of each letter bound the lists below.
    if (m < 1 || m > n || n > CFuzzyMatch::kMaxCandidate) return CFuzzyMatch::kNoMatch;  // the callers see to it
    int lo[CFuzzyMatch::kMaxCandidate], hi[CFuzzyMatch::kMaxCandidate];
    for (int i = 0, j = 0; i < m; ++i, ++j) {
        const int at = indexOf(folded, n, p[i], j);
        if (at < 0) return CFuzzyMatch::kNoMatch;
        j = at;
        lo[i] = j;
    }
    for (int i = m - 1, j = n - 1; i >= 0; --i, --j) {
        while (folded[j] != p[i]) --j;
        hi[i] = j;
    }
    if (m == 1) {
        // One letter: its best place.
        int best = kImpossible;
        for (int j = lo[0]; j <= hi[0]; ++j)
            if (folded[j] == p[0]) best = std::max(best, kMatch + bonusAt(s, j) - std::min(j, kLeadingMax));
        return std::max(0, best);
    }
    // A place where the letters so far can end: their best score there, and the bonus of the
    // first letter of the run that ends there. A run of letters keeps the bonus of its start, so
    // "sort" typed finds "quick sort" before "salt on rotten tomatoes".
    struct Cell {
        int at;
        int score;
        int run;
    };
    Cell one[CFuzzyMatch::kMaxCandidate], other[CFuzzyMatch::kMaxCandidate];
    Cell* prev = one;
    Cell* cur = other;
    int prevCount = 0;
    for (int j = lo[0]; j <= hi[0]; ++j)
        if (folded[j] == p[0]) {
            const int b = bonusAt(s, j);
            prev[prevCount++] = {j, kMatch + b - std::min(j, kLeadingMax), b};
        }
    for (int i = 1; i < m; ++i) {
        int count = 0;
        int k = 0;
        // The best of the last letter's places two or more back, as score + place: a gap of g
        // places costs kGapStart + (g - 1) * kGapExtend, that is place - j - 1 for j.
        static_assert(kGapStart == -3 && kGapExtend == -1, "the gap cost is folded into place - j - 1");
        int gapBest = kImpossible;
        for (int j = std::max(lo[i], prev[0].at + 1); j <= hi[i]; ++j) {
            if (folded[j] != p[i]) continue;
            while (k < prevCount && prev[k].at <= j - 2) {
                gapBest = std::max(gapBest, prev[k].score + prev[k].at);
                ++k;
            }
            const int b = bonusAt(s, j);
            const int fromGap = gapBest == kImpossible ? kImpossible : gapBest - j - 1 + kMatch + b;
            const bool adjacent = k < prevCount && prev[k].at == j - 1;
            const int runBonus = adjacent ? std::max({b, prev[k].run, kConsecutive}) : 0;
            const int fromRun = adjacent ? prev[k].score + kMatch + runBonus : kImpossible;
            if (fromRun == kImpossible && fromGap == kImpossible) continue;
            cur[count++] = fromRun >= fromGap ? Cell{j, fromRun, runBonus} : Cell{j, fromGap, b};
        }
        if (count == 0) return CFuzzyMatch::kNoMatch;
        std::swap(prev, cur);
        prevCount = count;
    }
    int best = kImpossible;
    for (int c = 0; c < prevCount; ++c) best = std::max(best, prev[c].score);
    return std::max(0, best);
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
    char lowered[kMaxCandidate];
    for (int j = 0; j < n; ++j) lowered[j] = char(Fold(char16_t(uchar(title[j]))));
    return scoreOf(m_ascii.constData(), m, title.data(), lowered, n);
}
