#include "HostileFiles.h"

#include "db/SchemaText.h"

#include <QFile>
#include <QProcess>
#include <QThread>
#include <cstdio>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

bool MakeFifo(const QString& path) { return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0; }

bool MakeCharDevice(const QString& path) {
    return ::mknod(QFile::encodeName(path).constData(), S_IFCHR | 0666, makedev(1, 3)) == 0;
}

static mode_t kindOf(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

bool IsFifo(const QString& path) { return kindOf(path) == S_IFIFO; }
bool IsCharDevice(const QString& path) { return kindOf(path) == S_IFCHR; }

bool MakeSparseFile(const QString& path, qint64 size) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.resize(size);
}

QString RunRawSql(const QString& path, const QString& sql) {
    sqlite3* db = nullptr;
    QString error;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) != SQLITE_OK) error = QStringLiteral("cannot open");
    char* message = nullptr;
    if (error.isEmpty() && sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message) != SQLITE_OK)
        error = QString::fromUtf8(message ? message : "failed");
    sqlite3_free(message);
    sqlite3_close(db);
    return error;
}

QString WriteSchemaVariant(const QString& path, const QStringList& replace, const QString& extra) {
    QString schema = QString::fromUtf8(kBuiltInSchema);
    for (qsizetype i = 0; i + 1 < replace.size(); i += 2) {
        if (!schema.contains(replace[i])) return QStringLiteral("not in the schema: ") + replace[i];
        schema.replace(replace[i], replace[i + 1]);
    }
    QFile::remove(path);
    return RunRawSql(path, schema + extra + QStringLiteral(";PRAGMA user_version = 2;"));
}

struct LockHolder::Process {
    QProcess process;
};

LockHolder::LockHolder(const QString& database, int milliseconds) : m_process(new Process) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VG_HOLD_LOCK_DB"), database);
    env.insert(QStringLiteral("VG_HOLD_LOCK_MS"), QString::number(milliseconds));
    m_process->process.setProcessEnvironment(env);
    m_process->process.start(QFile::symLinkTarget(QStringLiteral("/proc/self/exe")),
                             {QStringLiteral("--gtest_filter=LockHolder.Hold")});
    // The holder says "held" once it has the lock.
    while (m_process->process.waitForReadyRead(10000))
        if (m_process->process.readAllStandardOutput().contains("held")) {
            m_holding = true;
            break;
        }
}

LockHolder::~LockHolder() {
    m_process->process.waitForFinished(60000);
    delete m_process;
}

void LockHolderMain() {
    const QByteArray db = qgetenv("VG_HOLD_LOCK_DB");
    if (db.isEmpty()) return;
    sqlite3* h = nullptr;
    if (sqlite3_open(db.constData(), &h) != SQLITE_OK ||
        sqlite3_exec(h, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return;
    std::fputs("held\n", stdout);
    std::fflush(stdout);
    QThread::msleep(qgetenv("VG_HOLD_LOCK_MS").toULong());
    sqlite3_exec(h, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(h);
}
