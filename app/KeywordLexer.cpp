#include "app/KeywordLexer.h"

#include <utility>

KeywordLexer::KeywordLexer(const char* language, QByteArray keywords, QByteArray types, QObject* parent)
    : QsciLexerCPP(parent), m_language(language), m_keywords(std::move(keywords)), m_types(std::move(types)) {}

const char* KeywordLexer::keywords(int set) const {
    // Set 1 holds the keywords, set 2 the secondary words (types); no doc-comment or global
    // class words.
    if (set == 1) return m_keywords.constData();
    if (set == 2) return m_types.constData();
    return nullptr;
}
