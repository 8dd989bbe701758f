#pragma once
// Our binding to the SQLite engine: runs SQL text and hands back whole result tables.
// Every value travels inside the SQL text; nothing is bound.
#include "db/CChange.h"
#include "util/ResultTable.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <functional>
#include <memory>
#include <typeindex>
#include <unordered_map>

class CItemLinks;
struct sqlite3;
struct sqlite3_stmt;

class CSQLite {
public:
    CSQLite();
    ~CSQLite();
    CSQLite(const CSQLite&) = delete;
    CSQLite& operator=(const CSQLite&) = delete;

    static QString Version();
    // How long a statement waits for another connection's lock before it reports busy.
    static constexpr int kBusyTimeoutMs = 5000;

    // Opens sFile (a bare name is taken in the program's folder), closing any open file first.
    // A file without write permission opens read-only. Every connection waits for locks (see
    // kBusyTimeoutMs) and runs with the engine's defences for files of unknown origin.
    // Returns the engine's result code, 0 = ok.
    int OpenFile(const QString& sFile);
    // The file OpenFile opens for sFile: a name without a folder is a file of the program
    // (ProgramFile: beside the executable, else in the installed data folder).
    static QString FilePath(const QString& sFile);
    void CloseFile();

    // Runs every statement of sql in order. data receives the rows (header in row 0) and is
    // left unfilled for a statement without rows; error receives the engine's message of the
    // first failing statement, after which nothing more runs and data is unfilled. The text
    // ends at its first NUL character. Returns the row count, or with returnFirstRec the first
    // value of the first row (empty when there is none). Returns an empty value, touching nothing, when no file is open.
    QVariant Exec(const QString& sql, ResultTable& data, QString& error,
                  bool returnFirstRec = false);
    // Exec for statements whose rows nobody reads; returns the error text.
    QString Run(const QString& sql);

    // For one statement too large to pass around as QString (an attachment block in hex):
    // zero-terminated UTF-8 text, parsed in place and not kept by the engine; textDone is
    // called once the text is no longer needed, before the statement runs, so the caller can
    // release it. Returns the error text.
    QString RunLarge(const char* sql, const std::function<void()>& textDone = {});
    // Runs one statement with blob bound to its one parameter (?1), without copying it into SQL
    // text. Returns the error text.
    QString RunWithBlob(const QString& sql, QByteArrayView blob);
    // Runs one statement with values bound to ?1, ?2 ... (NULL for an invalid or null value,
    // integers, reals, blobs for QByteArray, text otherwise); for statements run again and again
    // (the import's), the compiled statement is kept for the next call with the same text until
    // CloseFile. Returns the error text.
    QString RunBound(const QString& sql, const QVariantList& values);

    // Runs the query and hands the first value of its first row to sink as the stored bytes
    // (text as stored, blob as is; isNull for NULL), without copying it; sink is not called when
    // there is no row. Returns false with error when the statement failed or no file is open.
    bool ReadFirstValue(const QString& sql,
                        const std::function<void(QByteArrayView bytes, bool isNull)>& sink,
                        QString& error);

    // One row of a running statement; valid only inside the ForEachRow callback.
    class Row {
    public:
        int Columns() const;
        bool IsNull(int c) const;
        // The engine's storage class: SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, SQLITE_BLOB, SQLITE_NULL.
        int Type(int c) const;
        qint64 Int(int c) const;
        double Real(int c) const;
        // Text as stored (UTF-8 or whatever bytes were written), or the blob as it is.
        QByteArrayView Bytes(int c) const;
        // The value as Exec gives it.
        QVariant Value(int c) const;
        // The value as UTF-8 text, as Exec's value reads as text: empty for NULL, text as stored
        // when it is UTF-8 (without a copy), else converted into scratch, which the view then
        // shows: text decoded from Windows-1252, numbers as Exec's.
        QByteArrayView Utf8(int c, QByteArray& scratch) const;

    private:
        friend class CSQLite;
        explicit Row(sqlite3_stmt* st) : m_st(st) {}
        sqlite3_stmt* m_st;
    };
    // Runs the first statement of sql and hands every row to fn without copying it, until fn
    // returns false. False with error when the statement failed or no file is open.
    bool ForEachRow(const QString& sql, const std::function<bool(const Row&)>& fn,
                    QString* error = nullptr);

    // Tells whether the file may have changed since an earlier stamp: every commit on this
    // connection, every commit by another one and every open give a new stamp. Invalid while
    // no file is open or a transaction is open, since uncommitted changes are not counted.
    struct Stamp {
        quint64 open = 0;
        quint64 commits = 0;
        qint64 others = 0;
        bool IsValid() const { return open != 0; }
        bool operator==(const Stamp&) const = default;
    };
    Stamp ChangeStamp() const;
    // Which opening of a file this is: a new number for every OpenFile, also inside a transaction.
    quint64 OpenSerial() const { return m_openSerial; }

    // poll runs every few thousand engine steps while a statement runs; returning true
    // interrupts it (the statement fails with "interrupted"). An empty poll removes it.
    // The handler belongs to the open file and goes with CloseFile.
    void SetProgressHandler(std::function<bool()> poll);

    QString Filename() const { return m_file; }
    bool IsOpen() const { return m_db != nullptr; }
    bool IsReadOnly() const;
    // The engine's primary result code of the call that failed last (SQLITE_BUSY ...); read it
    // right after a call that reported an error.
    int LastErrorCode() const;
    // The engine's text of the call that failed last, empty when the last call succeeded;
    // NoDatabaseText() while no file is open.
    QString LastError() const;
    // The system's errno behind the last failed call (a full disk ...), 0 when there is none.
    int LastSystemErrno() const;
    // Whether a transaction (or a savepoint) is open on this connection.
    bool InTransaction() const;
    // "The database is busy in another program: " + the engine's text, as every statement that
    // met another connection's lock reports it (once, whatever the caller adds).
    static QString BusyText(const QString& engineText);
    static bool IsBusyText(const QString& text);
    // The one text every store operation gives when no file is open.
    static QString NoDatabaseText() { return QStringLiteral("No database is open"); }
    qint64 LastInsertRowID() const;
    int Changes() const;

    // Builders over alternating field name / value lists. The lookups give empty text when no
    // row matches or the engine failed; error (when given) receives the engine's text, empty
    // after success. AddRecord and SetFields return the engine's text.
    QString LookupField(const QString& table, const QString& field,
                        const QVariantList& pairs = {}, QString* error = nullptr);
    QString LookupCreate(const QString& table, const QString& field, const QVariantList& pairs,
                         QString* error = nullptr);
    QString AddRecord(const QString& table, const QVariantList& pairs);
    QString SetFields(const QString& table, qint64 rowId, const QVariantList& pairs);
    static int GetFieldNo(const ResultTable& data, const QString& field);

    // A value as SQL text: quoted text, plain numbers with a '.' decimal point, NULL for
    // an empty value; dates only when allowDate (AddRecord), else as text.
    static QString RenderValue(const QVariant& value, bool allowDate = false);

    // For benchmarks and tests that reach the engine alone; the store never uses it.
    sqlite3* Handle() const { return m_db; }

    // Change records. Writers run inside the write's transaction, right after it recorded its
    // change, and may write in it; one that fails fails the write. Listeners hear of a
    // transaction's changes after its commit, all at once, with the stamp taken before it
    // began; a rolled-back change is never heard of.
    using ChangeWriter = std::function<bool(CSQLite& db, const CChange& change, QString* error)>;
    using ChangeListener = std::function<void(CSQLite& db, const QList<CChange>& changes, const Stamp& before)>;
    // A named writer replaces the one of that name: a connection opened again keeps one.
    int AddChangeWriter(ChangeWriter writer, const QString& name = QString());
    // Runs inside a transaction that recorded changes, once, just before its outermost commit:
    // for derived data that sums up the whole transaction rather than each change. Its failure
    // rolls the transaction back. A named one replaces the one of that name.
    using CommitWriter = std::function<bool(CSQLite& db, QString* error)>;
    int AddCommitWriter(CommitWriter writer, const QString& name);
    int AddChangeListener(ChangeListener listener);
    void RemoveChangeHandler(int token);
    // Called by the store's write operations inside their transaction. False (with the first
    // writer's reason) when a writer failed: the caller then rolls back.
    bool Record(const CChange& change, QString* error = nullptr);

    // The title list's composition kept for this file's present state (see CItemLinks), made on
    // first use; it follows this connection's own changes through their records. Off for
    // one-shot commands, which read each list once.
    CItemLinks& KeptLinks();
    bool KeepsItemLists() const { return m_keepLists; }
    void SetKeepItemLists(bool keep);

    // State a part of the core keeps for the open file (the journal's bookkeeping, whether the
    // search index was found current ...): one default-made T per connection, made on first use
    // and dropped when the file closes, so another opening starts afresh. The reference stays
    // good until then.
    template <class T>
    T& Slot() {
        std::shared_ptr<void>& p = m_slots[std::type_index(typeid(T))];
        if (!p) p = std::make_shared<T>();
        return *static_cast<T*>(p.get());
    }

private:
    friend class CTransaction;
    // The transaction bookkeeping CTransaction keeps here: the stamp before the outermost one
    // began, savepoint depth and the changes recorded since.
    void TransactionBegun(const Stamp& before);
    int TransactionDepth(int delta) { return m_transactionDepth += delta; }
    qsizetype PendingChanges() const { return m_pending.size(); }
    void DropChanges(qsizetype from);
    void DeliverChanges();  // after the outermost commit
    bool BeforeCommit(QString* error);  // runs the commit writers when changes were recorded

    struct Handler {
        int token;
        QString name;
        ChangeWriter writer;
        ChangeListener listener;
        CommitWriter beforeCommit;
    };
    // The engine's text of the failure just met, with BusyText for a lock.
    QString failureText() const;

    sqlite3* m_db = nullptr;
    QString m_file;
    quint64 m_openSerial = 0;
    quint64 m_commits = 0;
    std::function<bool()> m_progress;
    QHash<QString, sqlite3_stmt*> m_kept;  // RunBound's compiled statements
    QList<Handler> m_handlers;
    int m_nextToken = 0;
    QList<CChange> m_pending;
    qsizetype m_pendingItems = 0;
    Stamp m_stampBefore;
    int m_transactionDepth = 0;
    bool m_keepLists = true;
    std::unique_ptr<CItemLinks> m_links;
    std::unordered_map<std::type_index, std::shared_ptr<void>> m_slots;
};
