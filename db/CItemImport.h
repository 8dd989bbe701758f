#pragma once
// Stores the items of an import inside the import's one transaction, at the engine's speed:
// statements run again for every item are compiled once and take their values bound, language
// and category numbers are looked up once per name, and the full-text rows of a batch go in
// after the batch's other rows. Languages and categories are found in the import's own map of
// them, read once at the start: the engine would look a category up through the index on its
// language and walk every category of that language, for every new name. Every statement that keeps a statement journal (the item
// table's trigger, the links' REPLACE) makes the full-text module write out its pending terms,
// so rows written in between would become one small full-text segment each. The stored rows are
// those SaveItem stores. No savepoint per item: a failure rolls back the whole transaction,
// which is the caller's.
#include <QList>
#include <QSet>
#include <QHash>
#include <QString>
#include <QVariantList>

class CSQLite;

class CItemImport {
public:
    static constexpr int kBatch = 1000;

    explicit CItemImport(CSQLite& db) : m_db(db) {}
    CItemImport(const CItemImport&) = delete;
    CItemImport& operator=(const CItemImport&) = delete;

    // Reads the item numbers the file holds. False with the engine's text.
    bool Begin(QString* error);
    // True for a number an item holds already, stored before or during the import.
    bool Exists(qint64 id) const { return m_present.contains(id); }
    // Remembers a number stored another way (SaveItem), and the languages and categories that
    // save may have made. False with the engine's text.
    bool Stored(qint64 id, QString* error);

    // Stores a new item: id below 1 takes the engine's next number, any other must be free
    // (Exists false). The time text is UTC. Returns the item's number; 0 on failure (error
    // set); -1 when the next number would not fit 32 bits: nothing is stored and SaveItem,
    // which finds a free number, must store it.
    qint64 Insert(const QString& language, qint64 id, const QString& title, const QString& body,
                  const QString& categories, const QString& timeText, QString* error);
    // Links an item to a category of a language, making either when new.
    bool Link(qint64 item, const QString& language, const QString& category, QString* error);
    // Writes the pending full-text rows: before anything reads or changes an item's full-text
    // row (SaveItem, attachments) and before the commit.
    bool Flush(QString* error);
    // Items whose full-text rows are not written yet.
    int PendingCount() const { return int(m_pending.size()); }
    // The numbers Insert stored, in order: the import's change record lists them.
    const QList<int>& Inserted() const { return m_inserted; }

private:
    // The number of a language (typeId 0) or of a category of language typeId, made when new.
    qint64 Id(qint64 typeId, const QString& name, QString* error);
    bool Fail(QString* error, const QString& why);
    // Adds a language or category to the map unless its name is there already.
    void Keep(qint64 typeId, const QString& name, qint64 id);

    struct Pending {
        qint64 id;
        QString title, body;
    };
    CSQLite& m_db;
    QSet<qint64> m_present;
    QSet<qint64> m_orphanLinks;  // item numbers with links but no item
    // Languages by NoCaseKey(name), categories by language number, TAB, NoCaseKey(name).
    QHash<QString, qint64> m_ids;
    QList<Pending> m_pending;
    QList<int> m_inserted;
};
