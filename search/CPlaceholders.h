#pragma once
// The fields a snippet body asks for, and the body with them filled in.
//
// VS Code syntax: $1, ${1}, ${1:default}, ${1|one,two|} (tab stops; the same number is one
// field however often it appears), $0 and ${0} (the final cursor: removed), variables $NAME,
// ${NAME}, ${NAME:default} for the names VS Code defines (TM_SELECTED_TEXT, CLIPBOARD,
// CURRENT_YEAR ...): a variable given a value becomes a field with that value as default, one
// without a value is removed (its default text stays). Other $NAME texts are not VS Code's and
// stay as written, so shell and template-literal variables survive. \$ is a literal $; inside
// a placeholder \} \\ and (in choices) \, \| are literal too.
// pet syntax: <name> and <name=default>, name made of letters, digits, _ . and -.
// Whatever does not close (${1:abc without }, <name without >) is copied as it stands.
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

class QDateTime;

class CPlaceholders {
public:
    enum Syntax { VsCode = 1, Pet = 2 };

    struct Field {
        QString key;           // "1", "TM_SELECTED_TEXT", "host"
        QString defaultValue;  // the default text (the first choice for a choice)
        QStringList choices;   // empty unless ${1|a,b|}
        bool operator==(const Field&) const = default;
    };

    // variables: the VS Code variables this caller can give, by name.
    CPlaceholders(const QString& body, int syntax, const QHash<QString, QString>& variables = {});

    // pet's parameters belong to shell commands, VS Code's tab stops to editors: in a shell item
    // "$1" and "${HOME}" are the shell's own, and in code "<int>" or "<div>" is the language's.
    static int SyntaxFor(const QString& language);
    // Whether name is one of the variables VS Code defines.
    static bool IsVsCodeVariable(const QString& name);
    // The variables every caller can give: dates and times of now, UUID, RANDOM, RANDOM_HEX.
    static QHash<QString, QString> ClockVariables(const QDateTime& now);

    // In order of first appearance; each key once.
    const QList<Field>& Fields() const { return m_fields; }
    bool HasFields() const { return !m_fields.isEmpty(); }
    // The body with every field replaced by values[key], or by its default when values has no
    // entry for it; values may also name a variable that had no value.
    QString Fill(const QHash<QString, QString>& values = {}) const;

    struct Piece {
        enum Kind { Text, Ref } kind = Text;
        QString text;  // Text: the literal; Ref: the key
        QList<Piece> fallback;  // Ref: what stands when no value is given (the default)
    };

private:
    QList<Piece> m_pieces;
    QList<Field> m_fields;
};
