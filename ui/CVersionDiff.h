#pragma once
// The line difference between a kept version and the item as it is, as HTML: removed lines
// marked "-" on red, added ones "+" on green, the changed words of a line replaced by one line
// in bold.
#include "db/CItem.h"

#include <QString>
#include <QStringList>

class CVersionDiff {
public:
    // The lines compared: title, language, categories and attachment, then the code.
    static QStringList Lines(const CItem& item);
    // from is the older state, to the newer.
    static QString Html(const CItem& from, const CItem& to);
    // The plain form, one line each with "  ", "- " or "+ " in front.
    static QStringList Plain(const CItem& from, const CItem& to);
};
