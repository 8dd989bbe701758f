#include "app/frmMainTools.h"

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

QString DatabaseFilter() { return QStringLiteral("Snippet Databases (*.db)|*.db|All Files|*.*|"); }
