#pragma once
// A JSON file read as a few named lists of records (massCode's db.json, a SnippetsLab export).
// One streaming pass checks the whole text and notes where each element of the wanted lists
// starts; an element is parsed on its own when it is asked for. A large file so costs its own
// bytes and one record at a time, never a tree of the whole document.
#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <rapidjson/document.h>
#include <vector>

class CJsonLists {
public:
    using Take = std::function<bool(const rapidjson::Value& element)>;

    // Checks bytes (kept; a leading byte-order mark skipped) and notes the lists at the member
    // paths given ("snippets", "contents/snippets": a member of the root object, or of an object
    // that is a member of the root). Of repeated member names the first counts. A malformed text
    // fails with "FILE:LINE:COLUMN: reason"; comments and blanks alone read as a null root.
    bool Scan(const QByteArray& bytes, const QString& file, const QStringList& lists, QString* error);
    // Whether the root object has a member at path (of any value). Only the paths given to Scan
    // and the objects holding them are known.
    bool Has(const QString& path) const { return m_present.contains(path.toUtf8()); }
    // Whether the member at path is a list.
    bool IsList(const QString& path) const { return m_lists.count(path.toUtf8()) > 0; }
    // The number of elements of the list at path (0 when it is none).
    qsizetype Count(const QString& path) const;
    // Hands every element of the list at path to take, in order, until it returns false (then
    // false). An element that is neither an object nor a list comes as null.
    bool ForEach(const QString& path, const Take& take) const;

private:
    friend class JsonListsHandler;
    QByteArray m_bytes;
    QSet<QByteArray> m_present;
    std::map<QByteArray, std::vector<qsizetype>> m_lists;  // where each element starts; -1: a scalar
};
