#include "app/frmMainTools.h"

#include <QLocale>
#include <QRegularExpression>
#include <cmath>
#include <utility>

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
    static const QRegularExpression term(QStringLiteral("\"[^\"]*\"?|[^\\s()\"]+"));
    static const QRegularExpression word(QStringLiteral("[A-Za-z0-9\\x{80}-\\x{10FFFF}]+\\*?"),
                                         QRegularExpression::UseUnicodePropertiesOption);
    QStringList words;
    bool excluded = false;
    for (auto it = term.globalMatch(query); it.hasNext();) {
        QString t = it.next().captured();
        // NOT excludes the term after it, a leading minus its own.
        if (t == QLatin1String("NOT")) {
            excluded = true;
            continue;
        }
        if (std::exchange(excluded, false) || t.startsWith(QLatin1Char('-'))) continue;
        if (t == QLatin1String("OR") || t == QLatin1String("AND") || t.startsWith(QLatin1String("NEAR")))
            continue;
        // "title:word" searches one column for the word.
        const int colon = t.startsWith(QLatin1Char('"')) ? -1 : t.indexOf(QLatin1Char(':'));
        if (colon >= 0) t = t.mid(colon + 1);
        for (auto w = word.globalMatch(t); w.hasNext();) {
            const QString found = w.next().captured();
            if (!words.contains(found, Qt::CaseInsensitive)) words << found;
        }
    }
    return words;
}
