#include "app/frmMainTools.h"

#include "search/CSearchQuery.h"

#include <QLocale>
#include <QRegularExpression>
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

QString EntryName(const QString& text) {
    // Only the count the lists append is cut: "C (embedded)" typed by the user is a name of its
    // own, not the language C.
    static const QRegularExpression entry(QStringLiteral("^(.*)  \\(\\d+\\)$"),
                                          QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch m = entry.match(text);
    return m.hasMatch() ? m.captured(1).trimmed() : text;
}

QString DatabaseFilter() { return QStringLiteral("Snippet Databases (*.db)|*.db|All Files|*.*|"); }

QStringList SearchWords(const QString& query) {
    CSearchQuery parsed;
    return parsed.Parse(query, nullptr) ? parsed.MarkWords() : QStringList();
}
