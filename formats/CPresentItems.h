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
    // The number of an equal stored item, -1 when the import already took an equal one (not
    // stored yet, as in a dry run), 0 when there is none. error is set when a read failed.
    int Find(const QString& title, const QString& language, const QString& body, QString* error);
    // Remembers a snippet the import takes (stored under itemId, or 0 in a dry run).
    void Taken(const QString& title, const QString& language, const QString& body, int itemId);

private:
    static QByteArray Key(const QString& title, const QString& language, const QString& body);
    CSQLite& m_db;
    QHash<QString, QList<int>> m_titles;  // stored title -> item numbers
    QSet<QByteArray> m_taken;             // digests of what this import took
};
