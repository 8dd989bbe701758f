#pragma once
// Fuzzy matching of typed letters against a title: the letters must appear in the title in the
// order typed, without regard to letter case. Letters that land on a word start, a camelCase
// hump or right after the previous match score higher, gaps cost a little, so "gbr" prefers
// "Git Branch Rename" to "a big rubber".
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

class CFuzzyMatch {
public:
    static constexpr int kNoMatch = -1;
    // Titles are scored on this many characters at most; letters further on never match.
    static constexpr int kMaxCandidate = 512;
    // The most one more letter at the pattern's end can add to a title's score.
    static constexpr int kMaxLetterGain = 28;
    // The same for a title that does not begin with the pattern's first letter: only a run from
    // the title's first place earns that place's bonus.
    static constexpr int kMaxLateLetterGain = 26;

    explicit CFuzzyMatch(QStringView pattern);

    const QString& Pattern() const { return m_folded; }
    bool IsEmpty() const { return m_folded.isEmpty(); }
    // kNoMatch when the letters are not all in the candidate in order, else a score >= 0 that is
    // higher for a better match. An empty pattern matches everything with 0.
    int Score(QStringView candidate) const;
    // The same with the candidate's folded form (Fold of each character) at hand, as an index of
    // many titles keeps it: the search for the letters then runs on the folded text directly.
    int Score(QStringView candidate, QStringView folded) const;
    static QString FoldText(QStringView text);

    // Whether the letters are in the folded candidate in order: what Score would find a match
    // for, without the scoring.
    bool Matches(QStringView folded) const;
    // A score Score never exceeds on this folded candidate: a title that cannot reach the worst of
    // the best results so far need not be scored at all.
    int Bound(QStringView folded) const;
    // The same for a title of ASCII characters only, given as it is written: its folded form is
    // its lower case, which an index of many titles then need not keep.
    bool MatchesAscii(QByteArrayView title) const;
    int ScoreAscii(QByteArrayView title) const;
    // Bound for such a title; first (when given) keeps the share the first letter can earn away
    // from the title's start between calls (0: not known yet), as it depends on that letter alone.
    // lateStarts (when given) is the title's LateWordStartsAscii: the share of a letter then
    // needs no look past the title's first places.
    int BoundAscii(QByteArrayView title, quint8* first = nullptr, const quint32* lateStarts = nullptr) const;
    // The letters a to z (bit 0 for a) that start a word or a camelCase hump of an ASCII title at
    // a place from which the leading letters cost no more: an index of many titles keeps it.
    static quint32 LateWordStartsAscii(QByteArrayView title);
    // For a title matched again as letters are added to the pattern: where the letters from
    // letter on, matched from the left from title place from, end (the place after the last
    // one); -1 when they are not all there. MatchesAscii is MatchEndAscii(title, 0, 0) >= 0.
    int MatchEndAscii(QByteArrayView title, int letter, int from) const;
    // A looser bound from the title's start alone, for a title known to hold the letters: no
    // look through the title.
    int BoundAtStartAscii(QByteArrayView title) const;

    // The case-folded form of one character, as both sides are compared.
    static char16_t Fold(char16_t c) {
        if (c < 0x80) return (c >= 'A' && c <= 'Z') ? char16_t(c + 32) : c;
        return QChar(c).toCaseFolded().unicode();
    }

private:
    int boundOfRun(int run) const;
    int runAtStart(QByteArrayView title) const;

    QString m_folded;
    QByteArray m_ascii;  // m_folded as bytes; empty when it holds more than ASCII
};
