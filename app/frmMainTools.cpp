#include "app/frmMainTools.h"

#include "db/basDB.h"

#include <QDateTime>
#include <QLocale>
#include <cmath>

long long WholeNumber(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return 0;
    bool ok = false;
    const long long whole = t.toLongLong(&ok);
    if (ok) return whole;
    const double real = t.toDouble(&ok);
    if (ok && std::isfinite(real) && std::fabs(real) < 9.2e18) return std::llround(real);
    throw VbError(13, QStringLiteral("Type mismatch"));
}

double DateSerial(const QString& text) {
    const QString t = text.trimmed();
    bool ok = false;
    double v = t.toDouble(&ok);
    if (!ok) v = QLocale::system().toDouble(t, &ok);
    if (!ok || !std::isfinite(v)) throw VbError(13, QStringLiteral("Type mismatch"));
    return v;
}

double NowSerial() {
    const QDateTime now = QDateTime::currentDateTime();
    return double(QDate(1899, 12, 30).daysTo(now.date())) +
           now.time().msecsSinceStartOfDay() / 86400000.0;
}

QString DatabaseFilter() { return QStringLiteral("Snippet Databases (*.db)|*.db|All Files|*.*|"); }

bool MakeBackup(const QString& file) {
    if (!BackupDatabase(file)) return false;
    // The next exit reads these to decide whether a backup is due.
    if (gSettings && gSettings->GetSetting(QStringLiteral("BackupFile")) != file) {
        gSettings->SaveSetting(QStringLiteral("BackupFile"), file);
        gSettings->SaveSetting(QStringLiteral("BackupTime"), NowSerial());
    }
    return true;
}
