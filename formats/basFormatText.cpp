#include "formats/basFormatText.h"

#include "util/basText.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTimeZone>

QString NormalizeLineEnds(const QString& text) {
    if (!text.contains(QLatin1Char('\r'))) return text;
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (text[i] != QLatin1Char('\r')) {
            out += text[i];
            continue;
        }
        out += QLatin1Char('\n');
        if (i + 1 < n && text[i + 1] == QLatin1Char('\n')) ++i;
    }
    return out;
}

QString ItemTitle(const QString& name) {
    QString title = name;
    for (QChar& c : title)
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('\t') || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    title = title.trimmed();
    return title.isEmpty() ? QStringLiteral("Untitled") : title;
}

QStringList CleanCategories(const QStringList& names, const QString& fallback) {
    QStringList out;
    QSet<QString> seen;
    for (QString name : names) {
        name.replace(QLatin1Char(','), QLatin1Char(';'));
        for (QChar& c : name)
            if (c.category() == QChar::Other_Control) c = QLatin1Char(' ');
        name = name.trimmed();
        if (name.isEmpty() || seen.contains(name.toLower())) continue;
        seen.insert(name.toLower());
        out << name;
    }
    if (out.isEmpty()) out << fallback;
    return out;
}

QString AppendDescription(const QString& code, const QString& description) {
    const QString d = description.trimmed();
    if (d.isEmpty() || code.contains(d)) return code;
    if (code.isEmpty()) return description;
    return code + (code.endsWith(QLatin1Char('\n')) ? QStringLiteral("\n") : QStringLiteral("\n\n")) + description;
}

QString JoinFragments(const QList<QPair<QString, QString>>& fragments) {
    if (fragments.size() == 1) return fragments.first().second;
    QString body;
    for (const auto& [label, text] : fragments) {
        if (!body.isEmpty()) body += body.endsWith(QLatin1Char('\n')) ? QStringLiteral("\n") : QStringLiteral("\n\n");
        body += label + QLatin1Char('\n') + text;
    }
    return body;
}

QDateTime ParseSourceTime(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return {};
    // A number counts seconds since 1970, or milliseconds when it is that large.
    bool isNumber = false;
    const double n = t.toDouble(&isNumber);
    if (isNumber) return FromMillis(qint64(n >= 1e11 ? n : n * 1000));
    QDateTime dt = QDateTime::fromString(t, Qt::ISODateWithMs);
    if (!dt.isValid()) dt = QDateTime::fromString(t, Qt::ISODate);
    if (!dt.isValid()) {
        // "2021-03-04 10:11:12" and the like.
        QString iso = t;
        if (iso.size() > 10 && iso[10] == QLatin1Char(' ')) iso[10] = QLatin1Char('T');
        dt = QDateTime::fromString(iso, Qt::ISODateWithMs);
    }
    if (!dt.isValid()) return {};
    // A time without a zone is read as UTC, not as this machine's local time: the same file
    // gives the same items everywhere.
    if (dt.timeSpec() == Qt::LocalTime) dt.setTimeZone(QTimeZone::utc());
    return dt.toUTC();
}

QDateTime FromMillis(qint64 ms) { return QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc()); }

QDateTime FileTime(const QString& path) { return QFileInfo(path).lastModified().toUTC(); }

void LineColumnAt(const QByteArray& text, qsizetype offset, int& line, int& column) {
    line = 1;
    column = 1;
    const qsizetype end = qMin(offset, text.size());
    for (qsizetype i = 0; i < end; ++i) {
        const char c = text[i];
        if (c == '\n' || (c == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))) {
            ++line;
            column = 1;
        } else if (c != '\r' && (uchar(c) & 0xC0) != 0x80) {
            ++column;  // a character starts here (not a UTF-8 continuation byte)
        }
    }
}

QString PositionError(const QString& file, int line, int column, const QString& reason) {
    return QStringLiteral("%1:%2:%3: %4").arg(file).arg(line).arg(column).arg(reason);
}

bool ReadWholeFile(const QString& path, QByteArray& bytes, QString* error) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error) *error = QStringLiteral("Unable to read ") + path + QStringLiteral(": ") + f.errorString();
        return false;
    }
    bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        if (error) *error = QStringLiteral("Unable to read ") + path + QStringLiteral(": ") + f.errorString();
        return false;
    }
    return true;
}

bool ReadSourceFile(const QString& path, QByteArray& bytes, QString* error) {
    const QFileInfo info(path);
    if (!info.isFile()) {
        if (error) *error = (info.exists() ? QStringLiteral("Not a file: ") : QStringLiteral("No such file: ")) + path;
        return false;
    }
    return ReadWholeFile(path, bytes, error);
}

QString DecodeText(const QByteArray& bytes) {
    QByteArrayView view(bytes);
    if (view.startsWith("\xEF\xBB\xBF")) view = view.sliced(3);
    return DecodeUtf8OrCp1252(view);
}

int FenceLength(const QString& line) {
    qsizetype i = 0;
    while (i < line.size() && i < 3 && line[i] == QLatin1Char(' ')) ++i;
    qsizetype n = 0;
    while (i + n < line.size() && line[i + n] == QLatin1Char('`')) ++n;
    if (n < 3) return 0;
    // An info string of a backtick fence holds no backtick.
    if (line.indexOf(QLatin1Char('`'), i + n) >= 0) return 0;
    return int(n);
}

bool IsClosingFence(const QString& line, int length) {
    const QString t = line.trimmed();
    if (t.size() < length) return false;
    for (const QChar c : t)
        if (c != QLatin1Char('`')) return false;
    return true;
}

void FindCodeBlock(const QStringList& lines, qsizetype& open, qsizetype& close) {
    open = close = -1;
    int fence = 0;
    for (qsizetype i = 0; i < lines.size() && open < 0; ++i)
        if ((fence = FenceLength(lines[i])) > 0) open = i;
    for (qsizetype i = lines.size() - 1; open >= 0 && i > open && close < 0; --i)
        if (IsClosingFence(lines[i], fence)) close = i;
}

QString FenceFor(const QString& code) {
    if (!code.contains(QLatin1Char('`'))) return QStringLiteral("```");
    int longest = 0, run = 0;
    for (const QChar c : code) {
        run = c == QLatin1Char('`') ? run + 1 : 0;
        longest = qMax(longest, run);
    }
    return QString(qMax(3, longest + 1), QLatin1Char('`'));
}
