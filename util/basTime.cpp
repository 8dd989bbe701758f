#include "util/basTime.h"

static QDateTime& fixedClock() {
    static QDateTime fixed;
    return fixed;
}

QString UtcNowText() {
    const QDateTime now = fixedClock().isValid() ? fixedClock() : QDateTime::currentDateTimeUtc();
    return now.toUTC().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

void SetFixedClock(const QDateTime& utc) { fixedClock() = utc; }
