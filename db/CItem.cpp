#include "db/CItem.h"

QStringList CItem::SplitCategories(const QString& text) {
    QStringList names;
    for (const QString& part : text.split(QLatin1Char(','))) {
        qsizetype start = 0, end = part.size();
        while (start < end && part[start] == QLatin1Char(' ')) ++start;
        while (end > start && part[end - 1] == QLatin1Char(' ')) --end;
        if (end > start) names << part.mid(start, end - start);
    }
    return names;
}

bool CItem::SameContent(const CItem& o) const {
    return title == o.title && body == o.body && language.compare(o.language, Qt::CaseInsensitive) == 0 &&
           categories == o.categories && fileName == o.fileName && fileSize == o.fileSize;
}
