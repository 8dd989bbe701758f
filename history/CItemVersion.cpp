#include "history/CItemVersion.h"

#include "util/basNames.h"

#include <algorithm>

QList<CItemVersion::Link> CItemVersion::Links() const {
    QList<Link> links;
    const QString own = CleanName(item.language);
    for (qsizetype i = 0; i < item.categories.size(); ++i) {
        const QString category = CleanName(item.categories[i]);
        if (category.isEmpty()) continue;
        // A link whose language was gone when it was kept stays with the item's own.
        QString language = linkLanguages.isEmpty() ? own : CleanName(linkLanguages.value(i));
        if (language.isEmpty()) language = own.isEmpty() ? QStringLiteral("Text") : own;
        const bool twice = std::any_of(links.cbegin(), links.cend(), [&](const Link& l) {
            return !l.language.compare(language, Qt::CaseInsensitive) && !l.category.compare(category, Qt::CaseInsensitive);
        });
        if (!twice) links.append({language, category});
    }
    return links;
}
