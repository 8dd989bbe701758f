#include "ui/frmHelp.h"

#include "UiDrive.h"
#include "db/CSQLite.h"
#include "db/basDB.h"
#include "support/ScriptedPrompt.h"
#include "support/TestEnv.h"
#include "ui/frmSQL.h"
#include "util/basProgram.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct HelpWindowTest : ::testing::Test {
    TestEnv env;
    ScriptedPrompt prompt;
    void SetUp() override { InitGlobals(); }
    QString SettingsDb() const { return env.ProgramDir() + "/settings.db"; }
    static QPlainTextEdit* Help(frmHelp& w) { return w.findChild<QPlainTextEdit*>("txtHelp"); }
};

}  // namespace

TEST_F(HelpWindowTest, ShowsVersionAndTheHelpTextOfSettingsDbAndWithoutItAnEmptyText) {
    frmHelp w;
    const QString version = w.findChild<QLabel*>("lblVersion")->text();
    EXPECT_TRUE(version.startsWith(QStringLiteral("Version ") + AppVersion() + QLatin1Char(' '))) << version.toStdString();
    EXPECT_TRUE(QRegularExpression("^Version [1-9]?\\d\\.\\d+\\.\\d+ \\S").match(version).hasMatch());
    QFile source(QStringLiteral(VG_SOURCE_DIR "/resources/help.txt"));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    EXPECT_EQ(Help(w)->toPlainText(), QString::fromUtf8(source.readAll()));
    EXPECT_TRUE(Help(w)->isReadOnly());
    EXPECT_EQ(w.Loads(), 1);

    // A missing file, table or row gives an empty text and a working window.
    const char* variants[] = {
        nullptr,  // no settings.db at all
        "CREATE TABLE Settings (Name, Value)",
        "CREATE TABLE Help (Name, Desc); INSERT INTO Help VALUES ('other', 'x')",
        "CREATE TABLE Help (Name, Desc); INSERT INTO Help VALUES ('main', NULL)",
        "CREATE TABLE Help (Name, Desc); INSERT INTO Help VALUES ('main', '')",
    };
    for (const char* sql : variants) {
        QFile::remove(SettingsDb());
        if (sql) {
            CSQLite db;
            ASSERT_EQ(db.OpenFile(SettingsDb()), 0);
            ASSERT_EQ(db.Run(QLatin1String(sql)), QString());
        }
        frmHelp bare;
        EXPECT_EQ(Help(bare)->toPlainText(), QString()) << (sql ? sql : "no file");
        EXPECT_EQ(QFile::exists(SettingsDb()), sql != nullptr);  // never created by reading
    }
}

TEST_F(HelpWindowTest, OnlyReleasingQWithExactlyCtrlAndAltOpensTheTester) {
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers held;
        bool opens;
    } cases[] = {
        {Qt::Key_Q, Qt::ControlModifier | Qt::AltModifier, true},
        {Qt::Key_Q, Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier, false},
        {Qt::Key_Q, Qt::NoModifier, false},
        {Qt::Key_Q, Qt::ControlModifier, false},
        {Qt::Key_W, Qt::ControlModifier | Qt::AltModifier, false},
    };
    for (const auto& c : cases) {
        frmHelp w;
        w.show();
        bool testerShown = false, helpHidden = false;
        // The tester runs modally inside the key's handler: it is answered from a timer.
        if (c.opens)
            WhenModal<frmSQL>([&](frmSQL* tester) {
                testerShown = true;
                helpHidden = !w.isVisible();
                tester->close();
            });
        QTest::keyRelease(Help(w), c.key, c.held);
        bool anyTester = testerShown;
        for (QWidget* top : QApplication::topLevelWidgets()) anyTester |= top->isVisible() && qobject_cast<frmSQL*>(top);
        EXPECT_EQ(anyTester, c.opens) << int(c.held);
        EXPECT_EQ(helpHidden, c.opens);
        EXPECT_EQ(w.isVisible(), !c.opens);
        EXPECT_EQ(w.HiddenForTester(), c.opens);
        EXPECT_FALSE(Help(w)->toPlainText().isEmpty());  // read-only: nothing typed, nothing lost
    }
}
