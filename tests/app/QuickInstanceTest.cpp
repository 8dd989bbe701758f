// `vellumgranary --quick` from the desktop, as two real programs: it reaches the running one
// over the local socket, cleans up the socket a killed program left behind, and with none
// running starts the program showing only the palette. The programs run offscreen from a copy
// in a temporary folder (their settings stay there) and say what happened (VG_QUICK_REPORT).
#include "MainWindowFixture.h"
#include "app/CSingleInstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <unistd.h>

namespace {

class QuickInstanceTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        MakeDatabase(FourItems());
        const QString prog = env->Path("prog");
        QDir().mkpath(prog);
        QDir().mkpath(env->Path("home"));
        runtime = env->Path("run");
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        binary = prog + "/vellumgranary";
        ASSERT_TRUE(QFile::copy(VG_BIN_DIR "/vellumgranary", binary));
        ASSERT_TRUE(QFile::copy(VG_BIN_DIR "/settings.db", prog + "/settings.db"));
        socket = runtime + QStringLiteral("/vellumgranary-%1.socket").arg(uint(getuid()));
    }
    void TearDown() override {
        for (QProcess* p : running) {
            p->kill();
            p->waitForFinished(10000);
            delete p;
        }
        MainWindowTest::TearDown();
    }
    QProcessEnvironment Env() const {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("HOME", env->Path("home"));
        e.insert("XDG_CONFIG_HOME", env->Path("home/.config"));
        e.insert("XDG_RUNTIME_DIR", runtime);
        e.insert("QT_QPA_PLATFORM", "offscreen");
        e.insert("VG_QUICK_REPORT", "1");
        e.insert("TZ", "America/New_York");
        return e;
    }
    QProcess* Launch(const QStringList& args) {
        auto* p = new QProcess;
        p->setProcessEnvironment(Env());
        p->start(binary, args);
        running << p;
        return p;
    }
    // Waits until the program has printed count lines equal to line (all it printed so far).
    static bool WaitFor(QProcess* p, QByteArray& out, const QByteArray& line, int count = 1) {
        QElapsedTimer t;
        t.start();
        while (out.count(line + '\n') < count && t.elapsed() < 30000) {
            p->waitForReadyRead(200);
            out += p->readAllStandardOutput();
        }
        return out.count(line + '\n') >= count;
    }
    // Runs `--quick` to its end; its exit status.
    int Quick(const QStringList& more = {}) {
        QProcess p;
        p.setProcessEnvironment(Env());
        p.start(binary, QStringList{"--quick"} + more);
        if (!p.waitForFinished(30000)) return -1;
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

    QString binary;
    QString runtime;
    QString socket;
    QList<QProcess*> running;
};

TEST_F(QuickInstanceTest, QuickReachesTheRunningProgramAndSurvivesAKilledOne) {
    // A running program listens; two `--quick` calls show its palette twice and end at once.
    QProcess* first = Launch({dbPath});
    QByteArray out;
    ASSERT_TRUE(WaitFor(first, out, "listening")) << first->readAllStandardError().toStdString();
    EXPECT_TRUE(QFile::exists(socket));
    EXPECT_EQ(Quick(), 0);
    EXPECT_TRUE(WaitFor(first, out, "quick palette painted"));
    EXPECT_EQ(Quick(), 0);
    EXPECT_TRUE(WaitFor(first, out, "quick palette painted", 2));
    EXPECT_EQ(first->state(), QProcess::Running);

    // Killed, it leaves its socket file behind; the next `--quick` cleans it up and starts the
    // program with only the palette, which a further `--quick` then reaches.
    first->kill();
    first->waitForFinished(10000);
    ASSERT_TRUE(QFile::exists(socket));
    QProcess* second = Launch({"--quick", dbPath});
    QByteArray out2;
    ASSERT_TRUE(WaitFor(second, out2, "listening")) << second->readAllStandardError().toStdString();
    EXPECT_TRUE(WaitFor(second, out2, "quick palette painted"));
    EXPECT_EQ(Quick(), 0);
    EXPECT_TRUE(WaitFor(second, out2, "quick palette painted", 2));
    // The palette closed (the report hides it) and the program keeps running for the next call.
    EXPECT_EQ(second->state(), QProcess::Running);
}

TEST_F(QuickInstanceTest, WithoutAProgramTheClientFindsNobody) {
    qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    EXPECT_EQ(CSingleInstance::ServerName(), socket);
    EXPECT_FALSE(CSingleInstance::SendQuick(500));
    // A listener in this process takes the request.
    CSingleInstance server;
    ASSERT_TRUE(server.Listen());
    int asked = 0;
    QObject::connect(&server, &CSingleInstance::QuickRequested, [&] { ++asked; });
    QProcess client;
    client.setProcessEnvironment(Env());
    client.start(binary, {"--quick"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return client.state() == QProcess::NotRunning; }, 30000));
    EXPECT_EQ(client.exitCode(), 0);
    EXPECT_EQ(asked, 1);
    // A second listener of the same user leaves the socket to the first.
    CSingleInstance other;
    EXPECT_FALSE(other.Listen());
    qunsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
