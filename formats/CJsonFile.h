#pragma once
// A JSON text as other tools write it: comments and trailing commas allowed, a leading
// byte-order mark skipped. The text is parsed in place (strings stay in its own buffer); a
// malformed one fails with "FILE:LINE:COLUMN: reason". Large files are read with CJsonLists.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <rapidjson/document.h>

class CJsonFile {
public:
    static constexpr unsigned kFlags = rapidjson::kParseCommentsFlag | rapidjson::kParseTrailingCommasFlag |
                                       rapidjson::kParseNanAndInfFlag;

    // Parses one JSON text held in bytes (its own copy), named file in messages.
    bool Parse(const QByteArray& bytes, const QString& file, QString* error);
    // The value; null for a text of comments and blanks only.
    const rapidjson::Value& Root() const { return m_doc; }

    // The member name of object (nullptr when absent or object is not an object).
    static const rapidjson::Value* Member(const rapidjson::Value& object, const char* name);
    // A string's text; a number's or a Boolean's as written; empty for anything else.
    static QString Text(const rapidjson::Value* value);
    static QString Text(const rapidjson::Value& value) { return Text(&value); }
    // A member's text (empty when absent).
    static QString Text(const rapidjson::Value& object, const char* name) { return Text(Member(object, name)); }
    // Whether a member reads as true: true, a non-zero number, "true"/"1".
    static bool Flag(const rapidjson::Value& object, const char* name);
    // The texts of a member that is an array (other members skipped) or a single text.
    static QStringList Texts(const rapidjson::Value& object, const char* name);
    // The reason of a parse error, as rapidjson words it.
    static QString ErrorText(rapidjson::ParseErrorCode code);

private:
    bool ParseBuffer(const QString& file, QString* error);
    void Locate(const QByteArray& pristine, const QString& file, QString* error) const;
    QByteArray m_bytes;
    qsizetype m_skip = 0;
    rapidjson::Document m_doc;
};
