#include "TestEnv.h"

#include "ScriptedPrompt.h"
#include "db/basDB.h"
#include "settings/CSettings.h"
#include "util/basProgram.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <csignal>
#include <sys/resource.h>

QString BuiltSettingsDb() { return QStringLiteral(VG_BIN_DIR "/settings.db"); }

TestEnv::TestEnv() {
    EXPECT_TRUE(m_dir.isValid());
    m_programDir = m_dir.filePath(QStringLiteral("program"));
    QDir().mkpath(m_programDir);
    QFile::copy(BuiltSettingsDb(), m_programDir + QStringLiteral("/settings.db"));
    SetProgramFolder(m_programDir);
    const QString native = m_dir.filePath(QStringLiteral("native"));
    QDir().mkpath(native);
    CSettings::SetNativeStoreFolder(native);
    qputenv("HOME", m_dir.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", native.toUtf8());
}

TestEnv::~TestEnv() {
    ReleaseGlobals();
    SetProgramFolder(QString());
}

QString TestEnv::Path(const QString& name) const { return m_dir.filePath(name); }

void StoreTest::SetUp() {
    env = new TestEnv;
    prompt = new ScriptedPrompt;
    InitGlobals();
    dbPath = env->Path(QStringLiteral("snippets.db"));
    QString file = dbPath;
    ASSERT_EQ(OpenDatabase(file), QStringLiteral("snippets.db"));
}

void StoreTest::TearDown() {
    ReleaseGlobals();
    delete prompt;
    delete env;
}

void StoreTest::ReopenReadOnly() {
    CloseDatabase();
    QFile::setPermissions(dbPath, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    QString file = dbPath;
    ASSERT_FALSE(OpenDatabase(file).isEmpty());
    ASSERT_TRUE(gDB->IsReadOnly());
}

ResultTable StoreTest::Query(const QString& sql) {
    ResultTable t;
    QString error;
    gDB->Exec(sql, t, error);
    EXPECT_EQ(error, QString()) << sql.toStdString();
    return t;
}

QVariant StoreTest::Scalar(const QString& sql) {
    ResultTable t;
    QString error;
    QVariant v = gDB->Exec(sql, t, error, true);
    EXPECT_EQ(error, QString()) << sql.toStdString();
    return v;
}

QByteArray ReadFileBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

void WriteFileBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

ProcessResult RunProgram(const QString& name, const QStringList& args, const QString& workDir,
                         const QByteArray& input) {
    QProcess p;
    p.setProgram(QStringLiteral(VG_BIN_DIR "/") + name);
    p.setArguments(args);
    if (!workDir.isEmpty()) p.setWorkingDirectory(workDir);
    p.start();
    ProcessResult r;
    if (!p.waitForStarted()) return r;
    if (!input.isEmpty()) p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(120000);
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

FileSizeLimit::FileSizeLimit(qint64 bytes) {
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    m_old = limit.rlim_cur;
    limit.rlim_cur = rlim_t(bytes);
    m_signal = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = rlim_t(m_old);
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, m_signal);
}
