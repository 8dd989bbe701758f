#pragma once
// Which snippets of an import the database holds already: an item of the same title, language
// (letter case aside) and body, stored before or earlier in the same import. Reads the titles
// once and an item's body only when a title matches, so a large database costs one pass over
// its titles.
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

class CSQLite;

class CPresentItems {
public:
    explicit CPresentItems(CSQLite& db) : m_db(db) {}
    CPresentItems(const CPresentItems&) = delete;
    CPresentItems& operator=(const CPresentItems&) = delete;

    // Reads the stored titles. False with the engine's text.
    bool Begin(QString* error);
    // The number of an equal item stored before, -1 when the import already took an equal one,
    // 0 when there is none. error is set when a read failed.
    int Find(const QString& title, const QString& language, const QString& body, QString* error);
    // Remembers a snippet the import takes.
    void Taken(const QString& title, const QString& language, const QString& body);

private:
    // 64 bits of a SHA-256 digest: a few bytes per snippet of a large import, and a false match
    // far less likely than a failing disk.
    static quint64 Key(const QString& title, const QString& language, const QString& body);
    CSQLite& m_db;
    QHash<QString, QList<int>> m_titles;  // titles stored before the import -> item numbers
    QSet<quint64> m_taken;                // what this import took
};
