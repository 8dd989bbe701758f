#pragma once
// The current time for what the program stores: taken in UTC directly. A local time text is
// ambiguous in the hour that repeats when clocks go back (01:10 happens twice in New York on
// the first Sunday of November), and converting it back to UTC picks one of the two.
#include <QDateTime>
#include <QString>

// Now in UTC as "yyyy-MM-dd hh:mm:ss", the form SaveItem reads with TimeBase::Utc.
QString UtcNowText();
// Tests: every later UtcNowText gives this instant; an invalid one goes back to the clock.
void SetFixedClock(const QDateTime& utc);
