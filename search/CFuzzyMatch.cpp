#include "search/CFuzzyMatch.h"

#include <algorithm>
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

int bonusAt(const char16_t* s, int j) {
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
}

int CFuzzyMatch::Score(QStringView candidate) const {
    const int m = int(m_folded.size());
    if (m == 0) return 0;
    const int n = int(std::min<qsizetype>(candidate.size(), kMaxCandidate));
    if (m > n) return kNoMatch;
    const char16_t* p = reinterpret_cast<const char16_t*>(m_folded.constData());
    const char16_t* s = reinterpret_cast<const char16_t*>(candidate.data());

    // Cheap rejection first: most titles do not hold the letters in order at all. The first
    // and last possible positions of each letter bound the table below.
    int first = -1;
    for (int i = 0, j = 0; i < m; ++i, ++j) {
        while (j < n && Fold(s[j]) != p[i]) ++j;
        if (j == n) return kNoMatch;
        if (i == 0) first = j;
    }

    // prevRow[j]: the best score of the letters so far with the last one on title position j;
    // prevRun[j]: the bonus of the first letter of the run that ends there. A run of letters
    // keeps the bonus of its start, so "sort" typed finds "quick sort" before "salt on rotten
    // tomatoes".
    thread_local std::vector<int> prevRow, curRow, prevRun, curRun;
    prevRow.assign(size_t(n), kImpossible);
    prevRun.assign(size_t(n), 0);
    curRow.resize(size_t(n));
    curRun.resize(size_t(n));
    for (int j = first; j < n; ++j)
        if (Fold(s[j]) == p[0]) {
            const int bonus = bonusAt(s, j);
            prevRow[size_t(j)] = kMatch + bonus - std::min(j, kLeadingMax);
            prevRun[size_t(j)] = bonus;
        }
    for (int i = 1; i < m; ++i) {
        std::fill(curRow.begin(), curRow.end(), kImpossible);
        int gapBest = kImpossible;  // best of row i-1 ending two or more positions back, gap cost paid
        for (int j = i; j < n; ++j) {
            if (j >= 2) {
                const int from = prevRow[size_t(j - 2)];
                gapBest = std::max(gapBest == kImpossible ? kImpossible : gapBest + kGapExtend,
                                   from == kImpossible ? kImpossible : from + kGapStart);
            }
            if (Fold(s[j]) != p[i]) continue;
            const int bonus = bonusAt(s, j);
            const int fromGap = gapBest == kImpossible ? kImpossible : gapBest + kMatch + bonus;
            const int adjacent = prevRow[size_t(j - 1)];
            const int runBonus = std::max({bonus, prevRun[size_t(j - 1)], kConsecutive});
            const int fromRun = adjacent == kImpossible ? kImpossible : adjacent + kMatch + runBonus;
            if (fromRun == kImpossible && fromGap == kImpossible) continue;
            if (fromRun >= fromGap) {
                curRow[size_t(j)] = fromRun;
                curRun[size_t(j)] = runBonus;
            } else {
                curRow[size_t(j)] = fromGap;
                curRun[size_t(j)] = bonus;
            }
        }
        prevRow.swap(curRow);
        prevRun.swap(curRun);
    }
    const int best = *std::max_element(prevRow.begin(), prevRow.end());
    return best == kImpossible ? kNoMatch : std::max(0, best);
}
