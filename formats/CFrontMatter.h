#pragma once
// A Markdown file that may start with YAML front matter between two "---" lines: the values as
// Qt variants (maps, lists, texts; null as an invalid variant) and the body after it. A file
// whose first line ends in CR LF was converted as a whole (a Windows checkout) and reads as LF
// throughout; otherwise the bytes are taken as they are.
#include <QByteArray>
#include <QString>
#include <QVariantMap>

class CFrontMatter {
public:
    // Splits and parses bytes, named file in messages. False with "FILE:LINE:COLUMN: reason" when
    // the front matter is not valid YAML or not a mapping, or is never closed.
    bool Parse(const QByteArray& bytes, const QString& file, QString* error);
    bool Present() const { return m_present; }
    const QVariantMap& Values() const { return m_values; }
    // The text after the front matter (the whole text without one).
    const QString& Body() const { return m_body; }
    // The file's line the body starts on.
    int BodyLine() const { return m_bodyLine; }

    // Parses YAML text whose first line is line firstLine of file into a mapping.
    static bool ParseYaml(const QByteArray& yaml, const QString& file, int firstLine, QVariantMap& values,
                          QString* error);

private:
    bool m_present = false;
    QVariantMap m_values;
    QString m_body;
    int m_bodyLine = 1;
};
