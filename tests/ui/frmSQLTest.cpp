#include "ui/frmSQL.h"

#include "db/CSQLite.h"
#include "db/basDB.h"
#include "settings/CSettings.h"
#include "support/ScriptedPrompt.h"
#include "support/TestEnv.h"
#include "ui/TextEx.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace {

// The tester on a fresh snippet database.
struct SqlTesterTest : StoreTest {
    std::unique_ptr<frmSQL> win;
    void SetUp() override {
        StoreTest::SetUp();
        Open();
    }
    void TearDown() override {
        win.reset();
        StoreTest::TearDown();
    }
    void Open() {
        win = std::make_unique<frmSQL>();
        win->show();
        win->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(win.get()));
    }
    TextEx* Box(const char* name) { return win->findChild<TextEx*>(QLatin1String(name)); }
    QPushButton* Button(const char* name) { return win->findChild<QPushButton*>(QLatin1String(name)); }
    QString Result() { return Box("txtResult")->Text(); }
    // Types sql into txtSQL as a user would and clicks the button.
    void Run(const QString& sql, const char* button = "cmdExec") {
        TextEx* box = Box("txtSQL");
        box->SetText(QString());
        box->CurrentBox()->setFocus();
        QTest::keyClicks(box->CurrentBox(), sql);
        QTest::mouseClick(Button(button), Qt::LeftButton);
    }
};

}  // namespace

TEST_F(SqlTesterTest, ResultsAreNumberedTabSeparatedLinesAndExecLineRunsTheCaretsLine) {
    const struct {
        const char* sql;
        const char* result;
    } cases[] = {
        {"SELECT 1 AS A, 2 AS B", "0.\tA\tB\t\n1.\t1\t2\t\n"},
        {"SELECT NULL AS N, 'x' AS T UNION ALL SELECT 3, NULL", "0.\tN\tT\t\n1.\t\tx\t\n2.\t3\t\t\n"},
        {"CREATE TABLE t (a)", ""},  // no rows: the result is emptied
        {"", ""},
    };
    for (const auto& c : cases) {
        Box("txtResult")->SetText("old");
        Run(QLatin1String(c.sql));
        EXPECT_EQ(Result(), QLatin1String(c.result)) << c.sql;
    }

    // Exec Line runs the caret's line as typed; a selection runs the line of its start.
    TextEx* sql = Box("txtSQL");
    sql->SetText("SELECT 1 AS First\nSELECT 2 AS Second\n\nSELECT 3 AS Third");
    const struct {
        int from, to;
        const char* result;
    } lines[] = {
        {24, 24, "0.\tSecond\t\n1.\t2\t\n"},  // inside the second line
        {0, 0, "0.\tFirst\t\n1.\t1\t\n"},
        {37, 37, ""},  // the empty line: empty SQL, no error
        {20, 40, "0.\tSecond\t\n1.\t2\t\n"},
    };
    for (const auto& c : lines) {
        sql->SetSel(c.from, c.to);
        QTest::mouseClick(Button("cmdExecLine"), Qt::LeftButton);
        EXPECT_EQ(Result(), QLatin1String(c.result)) << c.from;
    }
    EXPECT_TRUE(prompt->shown.isEmpty());
}

TEST_F(SqlTesterTest, SchemaByItsAccessKeyThenErrorsUnderSqlErrorEmptyTheResult) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_S, Qt::AltModifier);
    QTest::qWait(200);  // an access key presses its button visibly, then clicks
    const QStringList lines = Result().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines[0], "0.\ttype\tname\tsql\t");
    EXPECT_EQ(lines.size() - 1, Scalar("SELECT count(*) FROM sqlite_master").toInt());
    EXPECT_TRUE(Result().contains("\ttable\ttblItem\tCREATE TABLE"));
    EXPECT_TRUE(Result().contains("\tview\tqryItem\t"));

    // Errors show under SQL Error and empty the result.
    prompt->answers = {CPrompt::vbOK, CPrompt::vbOK};
    Run("SELECT 1");
    Run("SELEC 1");
    EXPECT_EQ(Result(), QString());
    ASSERT_EQ(prompt->shown.size(), 1);
    EXPECT_EQ(prompt->shown[0].text, "near \"SELEC\": syntax error");
    EXPECT_EQ(prompt->shown[0].title, "SQL Error");
    EXPECT_EQ(prompt->shown[0].style, CPrompt::vbOKOnly | CPrompt::vbExclamation);
    EXPECT_EQ(Box("txtSQL")->Text(), "SELEC 1");  // the text stays

    CloseDatabase();
    Run("SELECT 1");
    ASSERT_EQ(prompt->shown.size(), 2);
    EXPECT_EQ(prompt->shown[1].text, "No database is open");
    EXPECT_EQ(prompt->shown[1].title, "SQL Error");
}

TEST_F(SqlTesterTest, TheSqlTextSurvivesClosingAndARestartAlsoWhenEmpty) {
    for (const QString& text : {QStringLiteral("SELECT 42\nSELECT 'two lines'"), QString()}) {
        Box("txtSQL")->SetText(text);
        win->close();
        ReleaseGlobals();  // the program ends
        InitGlobals();
        Open();
        EXPECT_EQ(Box("txtSQL")->Text(), text);
        EXPECT_EQ(Result(), QString());
    }
}

TEST_F(SqlTesterTest, ButtonsStayInARightColumnAndTheBoxesFollowTheWindow) {
    const int margin = 8;
    for (QSize size : {QSize(800, 600), QSize(495, 404), QSize(30, 20)}) {
        win->resize(size);
        QApplication::processEvents();
        const int w = win->width(), h = win->height();
        QPushButton* exec = Button("cmdExec");
        for (const char* name : {"cmdExec", "cmdExecLine", "cmdSchema"})
            EXPECT_EQ(Button(name)->x(), w - margin - exec->width()) << name << w;
        TextEx* sql = Box("txtSQL");
        TextEx* result = Box("txtResult");
        EXPECT_EQ(sql->width(), qMax(0, exec->x() - sql->x())) << w;
        EXPECT_EQ(result->width(), qMax(0, w - margin - result->x())) << w;
        EXPECT_EQ(result->height(), qMax(0, h - margin - result->y())) << h;
    }
}

TEST_F(SqlTesterTest, ALongStatementShowsProgressAndCancelInterruptsTheEngine) {
    prompt->cancelAtUpdate = 2;
    prompt->answers = {CPrompt::vbOK};
    QElapsedTimer clock;
    clock.start();
    Run(QStringLiteral("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) "
                       "SELECT count(*) FROM c"));
    EXPECT_GE(clock.elapsed(), frmSQL::kProgressAfterMs);
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_EQ(prompt->progressShows, 1);
    EXPECT_EQ(prompt->openProgress, 0);
    ASSERT_EQ(prompt->Messages(), QStringList{"interrupted"});
    EXPECT_EQ(prompt->shown.last().title, "SQL Error");
    EXPECT_EQ(Result(), QString());
    EXPECT_FALSE(win->Running());

    // The next statement runs normally, and a quick one shows no progress.
    Run("SELECT 1 AS A");
    EXPECT_EQ(Result(), "0.\tA\t\n1.\t1\t\n");
    EXPECT_EQ(prompt->progressShows, 1);
}
