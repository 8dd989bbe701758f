#pragma once
// Files an adversary would hand the program, shared by the tests of what it refuses: special
// files (pipes, device nodes), snippet databases with changed definitions, and a second
// process that holds the database's write lock.
#include <QString>
#include <QStringList>

// Makes a named pipe at path; false when the system refuses.
bool MakeFifo(const QString& path);
// Makes a character device node like /dev/null at path; false when not allowed (not root).
bool MakeCharDevice(const QString& path);
// Whether path is still a pipe / a character device (not replaced by a regular file).
bool IsFifo(const QString& path);
bool IsCharDevice(const QString& path);
// A file of size bytes that takes no disk space (a hole); false when it cannot be made.
bool MakeSparseFile(const QString& path, qint64 size);

// Writes a snippet database from the built-in schema with replace[i] swapped for replace[i + 1]
// in its text and extra run after it, version 2. Returns the engine's error, empty on success.
QString WriteSchemaVariant(const QString& path, const QStringList& replace, const QString& extra = {});

// Runs raw SQL on a file through a connection of its own (no checks, schema writes allowed).
QString RunRawSql(const QString& path, const QString& sql);

// This test program, run again as a second process that holds the write lock of database for
// milliseconds, is started by StartLockHolder; it returns once the lock is held. LockHolderMain
// must be called by a test named LockHolder.Hold in the same program.
class LockHolder {
public:
    LockHolder(const QString& database, int milliseconds);
    ~LockHolder();  // waits for the holder to end
    bool Holding() const { return m_holding; }

private:
    struct Process;
    Process* m_process;
    bool m_holding = false;
};
// The second process's part; does nothing unless started by LockHolder.
void LockHolderMain();
