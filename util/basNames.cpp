#include "util/basNames.h"

QString CleanName(const QString& name) { return name.trimmed(); }

QStringList CleanNames(const QString& categories) {
    QStringList names;
    for (const QString& part : categories.split(QLatin1Char(',')))
        if (QString name = CleanName(part); !name.isEmpty()) names << name;
    return names;
}

QString NoCaseKey(const QString& name) {
    QString key = name;
    for (QChar& c : key)
        if (c.unicode() >= 'A' && c.unicode() <= 'Z') c = QChar(c.unicode() + ('a' - 'A'));
    return key;
}
