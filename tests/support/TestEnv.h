#pragma once
// Hermetic surroundings for a test: a temporary folder, the program folder (with a copy of the
// built settings.db) and the native settings store inside it, and fresh store globals.
#include "support/QtPrinters.h"
#include "util/ResultTable.h"

#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

class ScriptedPrompt;

class TestEnv {
public:
    TestEnv();
    ~TestEnv();
    QString Path(const QString& name) const;  // a path inside the temporary folder
    QString ProgramDir() const { return m_programDir; }
    QString Root() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_programDir;
};

// Fixture that opens a fresh snippet database on gDB, with a scripted prompt.
class StoreTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Runs SQL on gDB and expects no error; returns the table.
    ResultTable Query(const QString& sql);
    QVariant Scalar(const QString& sql);
    // Closes the database and opens it again from a file the user may only read.
    void ReopenReadOnly();

    TestEnv* env = nullptr;
    ScriptedPrompt* prompt = nullptr;
    QString dbPath;
};

QString BuiltSettingsDb();
QByteArray ReadFileBytes(const QString& path);
void WriteFileBytes(const QString& path, const QByteArray& bytes);
// Runs a built program (by name in the bin folder) and returns exit status, stdout, stderr.
struct ProcessResult {
    int status = -1;
    QByteArray out;
    QByteArray err;
};
// While it lives, files may grow to at most bytes: a write beyond fails as on a full disk
// (with "File too large"), for this process and the programs it starts.
class FileSizeLimit {
public:
    explicit FileSizeLimit(qint64 bytes);
    ~FileSizeLimit();

private:
    unsigned long long m_old;
    void (*m_signal)(int);
};
ProcessResult RunProgram(const QString& name, const QStringList& args, const QString& workDir = {},
                         const QByteArray& input = {});
