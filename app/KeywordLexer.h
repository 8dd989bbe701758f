#pragma once
// The C++ lexer with another language's keywords, for the curly-brace languages QScintilla
// has no lexer of its own for.
#include <Qsci/qscilexercpp.h>

#include <QByteArray>

class KeywordLexer : public QsciLexerCPP {
    Q_OBJECT

public:
    KeywordLexer(const char* language, QByteArray keywords, QByteArray types, QObject* parent);

    const char* language() const override { return m_language; }
    const char* keywords(int set) const override;

private:
    const char* m_language;
    QByteArray m_keywords;
    QByteArray m_types;
};
