#pragma once
// Languages to QScintilla lexers, and their colours from the window's palette.
#include <QString>

class QFont;
class QObject;
class QPalette;
class QsciLexer;

// The lexer for a language name (case-insensitive, common aliases); nullptr for plain text.
QsciLexer* CreateLexer(const QString& language, QObject* parent);
// The table key a language name maps to: equal keys share a lexer; empty for plain text.
QString LexerKey(const QString& language);
// Colours every style readable on the palette's base, in the code font.
void ApplyLexerLook(QsciLexer* lexer, const QPalette& palette, const QFont& font);
