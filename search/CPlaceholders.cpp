#include "search/CPlaceholders.h"

#include <QDateTime>
#include <QLocale>
#include <QRandomGenerator>
#include <QSet>
#include <QTimeZone>
#include <QUuid>

#include <algorithm>

namespace {

const char* const kVsCodeVariables[] = {
    "TM_SELECTED_TEXT", "TM_CURRENT_LINE", "TM_CURRENT_WORD", "TM_LINE_INDEX", "TM_LINE_NUMBER",
    "TM_FILENAME", "TM_FILENAME_BASE", "TM_DIRECTORY", "TM_FILEPATH", "RELATIVE_FILEPATH",
    "CLIPBOARD", "WORKSPACE_NAME", "WORKSPACE_FOLDER", "CURSOR_INDEX", "CURSOR_NUMBER",
    "CURRENT_YEAR", "CURRENT_YEAR_SHORT", "CURRENT_MONTH", "CURRENT_MONTH_NAME",
    "CURRENT_MONTH_NAME_SHORT", "CURRENT_DATE", "CURRENT_DAY_NAME", "CURRENT_DAY_NAME_SHORT",
    "CURRENT_HOUR", "CURRENT_MINUTE", "CURRENT_SECOND", "CURRENT_SECONDS_UNIX",
    "CURRENT_TIMEZONE_OFFSET", "RANDOM", "RANDOM_HEX", "UUID", "BLOCK_COMMENT_START",
    "BLOCK_COMMENT_END", "LINE_COMMENT"};

// Languages whose snippets are shell commands, where pet's <name> parameters live.
const char* const kShellLanguages[] = {
    "shell", "sh", "bash", "zsh", "fish", "ksh", "csh", "tcsh", "dash", "shellscript",
    "shell script", "powershell", "pwsh", "batch", "bat", "cmd", "console", "terminal",
    "command", "commands", "command line", "commandline", "cli", "pet"};

bool isAsciiDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }
bool isNameStart(QChar c) { return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || c == QLatin1Char('_'); }
bool isNameChar(QChar c) { return isNameStart(c) || isAsciiDigit(c); }
bool isPetNameChar(QChar c) {
    return (c.unicode() < 0x80 && c.isLetterOrNumber()) || c == QLatin1Char('_') || c == QLatin1Char('.') ||
           c == QLatin1Char('-');
}

using Piece = CPlaceholders::Piece;

class Parser {
public:
    Parser(const QString& text, int syntax, const QHash<QString, QString>& variables,
           QList<CPlaceholders::Field>& fields)
        : m_s(text), m_budget(8 * qint64(text.size()) + 100000), m_syntax(syntax), m_vars(variables),
          m_fields(fields) {}

    QList<Piece> Top() {
        qsizetype pos = 0;
        QList<Piece> out;
        Sequence(pos, false, out);
        return out;
    }

    QString Render(const QList<Piece>& pieces) const {
        QString out;
        for (const Piece& p : pieces) {
            if (p.kind == Piece::Text) out += p.text;
            else if (const CPlaceholders::Field* f = FieldOf(p.text)) out += f->defaultValue;
            else out += Render(p.fallback);
        }
        return out;
    }

private:
    static void AddText(QList<Piece>& out, const QString& text) {
        if (text.isEmpty()) return;
        if (!out.isEmpty() && out.last().kind == Piece::Text) out.last().text += text;
        else out.append(Piece{Piece::Text, text, {}});
    }

    const CPlaceholders::Field* FieldOf(const QString& key) const {
        for (const CPlaceholders::Field& f : m_fields)
            if (f.key == key) return &f;
        return nullptr;
    }
    CPlaceholders::Field* Reserve(const QString& key) {
        for (CPlaceholders::Field& f : m_fields)
            if (f.key == key) return &f;
        m_fields.append({key, {}, {}});
        return &m_fields.last();
    }
    // A later occurrence's default fills a field that had none yet.
    void Offer(const QString& key, const QString& value, const QStringList& choices = {}) {
        for (CPlaceholders::Field& f : m_fields)
            if (f.key == key) {
                if (f.defaultValue.isEmpty() && f.choices.isEmpty()) {
                    f.defaultValue = value;
                    f.choices = choices;
                }
                return;
            }
    }

    // Reads pieces until the end, or (inside) up to an unescaped '}' which it consumes. False
    // when inside and the text ended first.
    bool Sequence(qsizetype& pos, bool inside, QList<Piece>& out) {
        QString text;
        const auto flush = [&] {
            AddText(out, text);
            text.clear();
        };
        while (pos < m_s.size()) {
            ++m_steps;
            const QChar c = m_s[pos];
            if (c == QLatin1Char('\\') && pos + 1 < m_s.size()) {
                const QChar n = m_s[pos + 1];
                const bool escapes = (m_syntax & CPlaceholders::VsCode) &&
                                     (n == QLatin1Char('$') ||
                                      (inside && (n == QLatin1Char('}') || n == QLatin1Char('\\'))));
                if (escapes) {
                    text += n;
                    pos += 2;
                    continue;
                }
            }
            if (inside && c == QLatin1Char('}')) {
                ++pos;
                flush();
                return true;
            }
            if (c == QLatin1Char('$') && (m_syntax & CPlaceholders::VsCode)) {
                QList<Piece> got;
                const qsizetype after = Dollar(pos, got);
                if (after > pos) {
                    flush();
                    out += got;
                    pos = after;
                    continue;
                }
            }
            if (c == QLatin1Char('<') && (m_syntax & CPlaceholders::Pet)) {
                QList<Piece> got;
                const qsizetype after = Angle(pos, got);
                if (after > pos) {
                    flush();
                    out += got;
                    pos = after;
                    continue;
                }
            }
            text += c;
            ++pos;
        }
        flush();
        return !inside;
    }

    // A tab stop or variable at pos ('$'): the position after it with its pieces, or pos when
    // the text there is not one (then the '$' is a plain character).
    qsizetype Dollar(qsizetype pos, QList<Piece>& out) {
        qsizetype i = pos + 1;
        if (i >= m_s.size()) return pos;
        if (isAsciiDigit(m_s[i])) {
            const qsizetype start = i;
            while (i < m_s.size() && isAsciiDigit(m_s[i])) ++i;
            TabStop(m_s.mid(start, i - start), {}, {}, out);
            return i;
        }
        if (isNameStart(m_s[i])) {
            const qsizetype start = i;
            while (i < m_s.size() && isNameChar(m_s[i])) ++i;
            const QString name = m_s.mid(start, i - start);
            if (!CPlaceholders::IsVsCodeVariable(name)) return pos;
            Variable(name, {}, out);
            return i;
        }
        if (m_s[i] != QLatin1Char('{') || m_depth >= kMaxDepth || m_steps > m_budget || m_failed.contains(pos))
            return pos;
        // What follows "${" reads the same wherever it stands: once it failed it fails again.
        ++m_depth;
        const qsizetype after = Braced(pos, i + 1, out);
        --m_depth;
        if (after == pos) m_failed.insert(pos);
        return after;
    }

    // After "${" at i: a braced tab stop or variable; pos when it is not one.
    qsizetype Braced(qsizetype pos, qsizetype i, QList<Piece>& out) {
        const qsizetype start = i;
        if (i < m_s.size() && isAsciiDigit(m_s[i])) {
            while (i < m_s.size() && isAsciiDigit(m_s[i])) ++i;
            const QString number = m_s.mid(start, i - start);
            if (i >= m_s.size()) return pos;
            if (m_s[i] == QLatin1Char('}')) {
                TabStop(number, {}, {}, out);
                return i + 1;
            }
            if (m_s[i] == QLatin1Char(':')) {
                ++i;
                const qsizetype known = m_fields.size();
                if (number.toInt() != 0) Reserve(QString::number(number.toInt()));
                QList<Piece> fallback;
                if (!Sequence(i, true, fallback)) {
                    // Fields met inside a placeholder that never closes are not fields.
                    m_fields.resize(known);
                    return pos;
                }
                TabStop(number, fallback, {}, out);
                return i;
            }
            if (m_s[i] == QLatin1Char('|')) {
                QStringList choices;
                if (!Choices(++i, choices)) return pos;
                TabStop(number, {}, choices, out);
                return i;
            }
            return pos;
        }
        if (i < m_s.size() && isNameStart(m_s[i])) {
            while (i < m_s.size() && isNameChar(m_s[i])) ++i;
            const QString name = m_s.mid(start, i - start);
            if (i >= m_s.size() || !CPlaceholders::IsVsCodeVariable(name)) return pos;
            if (m_s[i] == QLatin1Char('}')) {
                Variable(name, {}, out);
                return i + 1;
            }
            if (m_s[i] == QLatin1Char(':')) {
                ++i;
                const qsizetype known = m_fields.size();
                QList<Piece> fallback;
                if (!Sequence(i, true, fallback)) {
                    m_fields.resize(known);
                    return pos;
                }
                Variable(name, fallback, out);
                return i;
            }
        }
        return pos;
    }

    // After "${N|": choices up to "|}", consumed. False when they do not close.
    bool Choices(qsizetype& i, QStringList& choices) {
        QString current;
        while (i < m_s.size()) {
            const QChar c = m_s[i];
            if (c == QLatin1Char('\\') && i + 1 < m_s.size() &&
                QStringView(u",|\\$}").contains(m_s[i + 1])) {
                current += m_s[i + 1];
                i += 2;
                continue;
            }
            if (c == QLatin1Char('|')) {
                if (i + 1 < m_s.size() && m_s[i + 1] == QLatin1Char('}')) {
                    choices << current;
                    i += 2;
                    return true;
                }
                return false;
            }
            if (c == QLatin1Char(',')) {
                choices << current;
                current.clear();
            } else {
                current += c;
            }
            ++i;
        }
        return false;
    }

    void TabStop(const QString& digits, const QList<Piece>& fallback, const QStringList& choices,
                 QList<Piece>& out) {
        const int number = digits.toInt();
        // The final cursor position has no meaning outside an editor; a default it holds stays.
        if (number == 0) {
            out += fallback;
            return;
        }
        const QString key = QString::number(number);
        Reserve(key);
        if (!choices.isEmpty()) Offer(key, choices.first(), choices);
        else if (!fallback.isEmpty()) Offer(key, Render(fallback));
        out.append(Piece{Piece::Ref, key, {}});
    }

    void Variable(const QString& name, const QList<Piece>& fallback, QList<Piece>& out) {
        const auto known = m_vars.constFind(name);
        if (known != m_vars.constEnd()) {
            Reserve(name);
            Offer(name, known.value());
        }
        out.append(Piece{Piece::Ref, name, fallback});
    }

    // <name> or <name=default> at pos ('<'); pos when it is not one.
    qsizetype Angle(qsizetype pos, QList<Piece>& out) {
        qsizetype i = pos + 1;
        const qsizetype start = i;
        while (i < m_s.size() && isPetNameChar(m_s[i])) ++i;
        if (i == start || i >= m_s.size()) return pos;
        const QString name = m_s.mid(start, i - start);
        QString value;
        if (m_s[i] == QLatin1Char('=')) {
            // A default ends on its line, and is short: a '<' in running text seldom closes.
            qsizetype close = i + 1;
            const qsizetype last = std::min(m_s.size(), i + 1 + kMaxPetDefault);
            while (close < last && m_s[close] != QLatin1Char('>') && m_s[close] != QLatin1Char('\n')) ++close;
            if (close >= last || m_s[close] != QLatin1Char('>')) return pos;
            value = m_s.mid(i + 1, close - i - 1);
            i = close;
        }
        if (m_s[i] != QLatin1Char('>')) return pos;
        Reserve(name);
        Offer(name, value);
        out.append(Piece{Piece::Ref, name, {}});
        return i + 1;
    }

    static constexpr int kMaxDepth = 32;
    static constexpr qsizetype kMaxPetDefault = 1000;  // placeholders inside placeholders; deeper ones are text

    const QString& m_s;
    int m_depth = 0;
    QSet<qsizetype> m_failed;  // '$' positions known not to start a placeholder
    // Unclosed placeholders are read again as text, which can make a pathological body (thousands
    // of "${1:" in a row) cost far more than its length: past this budget every further "${" is
    // text, so such a body is copied as it stands.
    qint64 m_steps = 0;
    qint64 m_budget = 0;
    int m_syntax;
    const QHash<QString, QString>& m_vars;
    QList<CPlaceholders::Field>& m_fields;
};

QString render(const QList<Piece>& pieces, const QList<CPlaceholders::Field>& fields,
               const QHash<QString, QString>& values) {
    QString out;
    for (const Piece& p : pieces) {
        if (p.kind == Piece::Text) {
            out += p.text;
            continue;
        }
        const auto given = values.constFind(p.text);
        if (given != values.constEnd()) {
            out += given.value();
            continue;
        }
        bool field = false;
        for (const CPlaceholders::Field& f : fields)
            if (f.key == p.text) {
                out += f.defaultValue;
                field = true;
                break;
            }
        if (!field) out += render(p.fallback, fields, values);
    }
    return out;
}

}  // namespace

CPlaceholders::CPlaceholders(const QString& body, int syntax, const QHash<QString, QString>& variables) {
    Parser parser(body, syntax, variables, m_fields);
    m_pieces = parser.Top();
}

QString CPlaceholders::Fill(const QHash<QString, QString>& values) const {
    return render(m_pieces, m_fields, values);
}

int CPlaceholders::SyntaxFor(const QString& language) {
    const QString name = language.trimmed().toLower();
    for (const char* shell : kShellLanguages)
        if (name == QLatin1String(shell)) return Pet;
    return VsCode;
}

bool CPlaceholders::IsVsCodeVariable(const QString& name) {
    static const QSet<QString> names = [] {
        QSet<QString> s;
        for (const char* n : kVsCodeVariables) s.insert(QLatin1String(n));
        return s;
    }();
    return names.contains(name);
}

QHash<QString, QString> CPlaceholders::ClockVariables(const QDateTime& now) {
    const QLocale c = QLocale::c();
    const QDate d = now.date();
    const int offset = now.offsetFromUtc();
    const int minutes = qAbs(offset) / 60;
    QRandomGenerator* rng = QRandomGenerator::global();
    return {
        {QStringLiteral("CURRENT_YEAR"), now.toString(QStringLiteral("yyyy"))},
        {QStringLiteral("CURRENT_YEAR_SHORT"), now.toString(QStringLiteral("yy"))},
        {QStringLiteral("CURRENT_MONTH"), now.toString(QStringLiteral("MM"))},
        {QStringLiteral("CURRENT_MONTH_NAME"), c.monthName(d.month(), QLocale::LongFormat)},
        {QStringLiteral("CURRENT_MONTH_NAME_SHORT"), c.monthName(d.month(), QLocale::ShortFormat)},
        {QStringLiteral("CURRENT_DATE"), now.toString(QStringLiteral("dd"))},
        {QStringLiteral("CURRENT_DAY_NAME"), c.dayName(d.dayOfWeek(), QLocale::LongFormat)},
        {QStringLiteral("CURRENT_DAY_NAME_SHORT"), c.dayName(d.dayOfWeek(), QLocale::ShortFormat)},
        {QStringLiteral("CURRENT_HOUR"), now.toString(QStringLiteral("HH"))},
        {QStringLiteral("CURRENT_MINUTE"), now.toString(QStringLiteral("mm"))},
        {QStringLiteral("CURRENT_SECOND"), now.toString(QStringLiteral("ss"))},
        {QStringLiteral("CURRENT_SECONDS_UNIX"), QString::number(now.toSecsSinceEpoch())},
        {QStringLiteral("CURRENT_TIMEZONE_OFFSET"),
         QStringLiteral("%1%2:%3")
             .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
             .arg(minutes / 60, 2, 10, QLatin1Char('0'))
             .arg(minutes % 60, 2, 10, QLatin1Char('0'))},
        {QStringLiteral("RANDOM"), QStringLiteral("%1").arg(rng->bounded(1000000), 6, 10, QLatin1Char('0'))},
        {QStringLiteral("RANDOM_HEX"), QStringLiteral("%1").arg(rng->bounded(0x1000000), 6, 16, QLatin1Char('0'))},
        {QStringLiteral("UUID"), QUuid::createUuid().toString(QUuid::WithoutBraces)},
    };
}
