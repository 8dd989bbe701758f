#include "app/frmMainTools.h"

#include "db/basDB.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
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

QString PathFileName(const QString& path) {
    if (path.isEmpty()) return {};
    return QFileInfo(path).fileName();
}

QString PathParentFolder(const QString& path) {
    if (path.isEmpty()) return {};
    return QDir::toNativeSeparators(QFileInfo(path).absolutePath());
}

bool PathIsFile(const QString& path) {
    if (path.isEmpty()) return false;
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

QString ByteSizeText(qint64 bytes) {
    if (bytes < 1024) return QString::number(bytes) + QStringLiteral(" bytes");
    static const char* units[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    double v = double(bytes) / 1024.0;
    int unit = 0;
    while (v >= 1000.0 && unit < 5) {
        v /= 1024.0;
        ++unit;
    }
    // Three significant digits, cut rather than rounded, as the shell shows sizes.
    const int decimals = v < 10 ? 2 : v < 100 ? 1 : 0;
    const double scale = std::pow(10.0, decimals);
    const double cut = std::floor(v * scale + 1e-9) / scale;
    return QString::number(cut, 'f', decimals) + QLatin1Char(' ') + QLatin1String(units[unit]);
}

QString DatabaseFilter() { return QStringLiteral("Snippet Databases (*.db)|*.db|All Files|*.*|"); }

QString ExchangeFilter() {
    return QStringLiteral("Tab Separated Values (*.tab)|*.tab|All Files|*.*|");
}

bool MakeBackup(const QString& file) {
    if (!BackupDatabase(file)) return false;
    // The next exit reads these to decide whether a backup is due.
    if (gSettings && gSettings->GetSetting(QStringLiteral("BackupFile")) != file) {
        gSettings->SaveSetting(QStringLiteral("BackupFile"), file);
        gSettings->SaveSetting(QStringLiteral("BackupTime"), NowSerial());
    }
    return true;
}
