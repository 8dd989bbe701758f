#pragma once
// The main window's surroundings for benchmarks that drive it offscreen: a program folder with
// settings.db and a settings store in a temporary folder (never the user's), the database to
// open at start, and a prompt that answers without showing anything.
#include "BenchStats.h"
#include "app/CApplication.h"
#include "app/frmMain.h"
#include "settings/CSettings.h"
#include "util/CPrompt.h"
#include "util/basProgram.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

class BenchPrompt : public CPrompt {
public:
    QString search;  // what the input box answers
    int messages = 0;
    int answer = vbOK;  // what every message box answers
    int MsgBox(const QString&, int, const QString&) override { return ++messages, answer; }
    bool InputBox(const QString&, const QString&, QString& value) override {
        value = search;
        return true;
    }
};

class BenchWindowEnv {
public:
    BenchWindowEnv() {
        const QString program = m_tmp.filePath(QStringLiteral("program"));
        QDir().mkpath(program);
        QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/settings.db"),
                    program + QStringLiteral("/settings.db"));
        SetProgramFolder(program);
        CSettings::SetNativeStoreFolder(m_tmp.filePath(QStringLiteral("native")));
        SetPrompt(&prompt);
    }
    ~BenchWindowEnv() { SetPrompt(nullptr); }
    BenchWindowEnv(const BenchWindowEnv&) = delete;
    BenchWindowEnv& operator=(const BenchWindowEnv&) = delete;

    QString Path(const QString& name) const { return m_tmp.filePath(name); }
    // The database the next window opens at start; no daily backup gets in the way.
    void StartWith(const QString& db) {
        CSettings s;
        s.SaveSetting(QStringLiteral("LastDatabase"), db);
        s.SaveSetting(QStringLiteral("BackupDaily"), QStringLiteral("0"));
    }

    BenchPrompt prompt;

private:
    QTemporaryDir m_tmp;
};


// The application and its main window, as the program starts them.
struct BenchProgram {
    std::unique_ptr<CApplication> app = std::make_unique<CApplication>();
    std::unique_ptr<frmMain> win = std::make_unique<frmMain>(*app);
    ~BenchProgram() { win.reset(); }
    BenchProgram() = default;
    BenchProgram(BenchProgram&&) = default;
    frmMain* operator->() const { return win.get(); }
    frmMain& operator*() const { return *win; }
};
