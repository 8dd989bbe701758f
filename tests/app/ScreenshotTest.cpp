// One working session of a new user through the window's own controls: a new database filled
// as a user types, its picture, a backup, export and import, exit, and coming back to it. With
// VG_SCREENSHOT=path.png set, the picture is saved there (the README's screenshot).
#include "MainWindowFixture.h"

#include <QFile>
#include <QPixmap>
#include <QSplitter>
#include <QStatusBar>

TEST_F(MainWindowTest, SampleDatabaseMadeThroughTheWindowAndItsPictureInAWholeSession) {
    // First run: nothing open; File, New Database creates one.
    Start();
    prompt->texts << dbPath;
    Trigger("mnuFileNew");
    ASSERT_EQ(win->windowTitle(), "VellumGranary (snippets.db)");
    struct Entry {
        const char* language;
        const char* categories;
        const char* title;
        QStringList lines;
    };
    const QList<Entry> entries = {
        {"SQL", "Queries", "Top rows of a table", {"SELECT *", "FROM tblItem", "ORDER BY ID DESC", "LIMIT 10;"}},
        {"SQL", "Queries,Paging", "Page through results", {"SELECT ID, Title", "FROM qryItem", "LIMIT 20 OFFSET 40;"}},
        {"SQL", "Maintenance", "Compact the file", {"VACUUM;"}},
        {"Python", "Files", "Read a file line by line",
         {"with open(path, encoding='utf-8') as f:", "\tfor line in f:", "\t\tprint(line.rstrip())"}},
        {"Python", "Text", "Join words with commas", {"', '.join(words)"}},
        {"C++", "Containers", "Erase while iterating",
         {"for (auto it = v.begin(); it != v.end();) {", "\tif (dead(*it)) it = v.erase(it);", "\telse ++it;", "}"}},
    };
    for (const Entry& e : entries) {
        TypeLanguage(QLatin1String(e.language));
        Click("cmdNew");
        QTest::keyClicks(Title(), QLatin1String(e.title));
        Body()->setFocus();
        // Enter keeps the indentation: only the change of it is typed.
        int indent = 0;
        for (int i = 0; i < e.lines.size(); ++i) {
            if (i > 0) QTest::keyClick(Body(), Qt::Key_Return);
            const QString& line = e.lines[i];
            int tabs = 0;
            while (tabs < line.size() && line[tabs] == QLatin1Char('\t')) ++tabs;
            for (; indent > tabs; --indent) QTest::keyClick(Body(), Qt::Key_Backspace);
            for (; indent < tabs; ++indent) QTest::keyClick(Body(), Qt::Key_Tab);
            QTest::keyClicks(Body(), line.mid(tabs));
        }
        Type(ItemCategories(), QLatin1String(e.categories));
        Click("cmdSave");
        ASSERT_EQ(prompt->Messages(), QStringList()) << e.title;
    }
    EXPECT_EQ(prompt->beeps, entries.size());
    EXPECT_EQ(Entries(Languages()), (QStringList{"<All Languages>  (6)", "C++  (1)", "Python  (2)", "SQL  (3)"}));

    // Show one SQL item with its category selected.
    PickLanguage("SQL  (3)");
    ClickEntry(Categories(), "Queries  (2)");
    ClickEntry(Titles(), "Top rows of a table");
    EXPECT_EQ(Body()->text(), "SELECT *\nFROM tblItem\nORDER BY ID DESC\nLIMIT 10;");

    win->resize(860, 560);
    QApplication::processEvents();
    // Room for the category names, as a user would drag the splitter.
    auto* split = win->findChild<QSplitter*>("splitPanes");
    ASSERT_NE(split, nullptr);
    const QList<int> sizes = split->sizes();
    split->setSizes({sizes[0] + 50, sizes[1], sizes[2] - 50});
    QApplication::processEvents();
    const QPixmap picture = win->grab();
    ASSERT_FALSE(picture.isNull());
    // The panes are blue around the lists.
    EXPECT_EQ(picture.toImage().pixelColor(3, win->height() - 3), QColor(0, 0, 255));
    const QString target = qEnvironmentVariable("VG_SCREENSHOT");
    if (!target.isEmpty()) {
        EXPECT_TRUE(picture.save(target));
    }
    // The same window in the desktop's own look (VG_SCREENSHOT_SYSTEM), then back.
    Trigger("mnuViewLookSystem");
    QApplication::processEvents();
    const QPixmap system = win->grab();
    EXPECT_NE(system.toImage().pixelColor(3, win->height() - 3), QColor(0, 0, 255));
    const QString systemTarget = qEnvironmentVariable("VG_SCREENSHOT_SYSTEM");
    if (!systemTarget.isEmpty()) {
        EXPECT_TRUE(system.save(systemTarget));
    }
    Trigger("mnuViewLookClassic");

    // Back up from the menu; export, then import the file back as new items.
    const QString copy = env->Path("copy.db");
    prompt->texts << copy;
    Trigger("mnufileBackup");
    EXPECT_TRUE(QFile::exists(copy));
    const QString tab = env->Path("snippets.tab");
    prompt->texts << tab;
    prompt->answers << CPrompt::vbNo;
    Trigger("mnuFileExport");
    EXPECT_EQ(win->statusBar()->currentMessage(), QStringLiteral("Exported to ") + tab);
    prompt->texts << tab;
    prompt->answers << CPrompt::vbYes;
    Trigger("mnuFileImport");
    EXPECT_EQ(Entries(Languages()).first(), "<All Languages>  (12)");

    // Exit: the menu backup a moment ago counts, so the daily one is not due.
    PickLanguage("SQL  (6)");
    const int before = prompt->shown.size();
    ASSERT_TRUE(Close());
    EXPECT_EQ(prompt->shown.size(), before);

    // Next start: the same database and language.
    Start();
    EXPECT_EQ(win->windowTitle(), "VellumGranary (snippets.db)");
    EXPECT_EQ(Languages()->currentText(), "SQL  (6)");
    EXPECT_EQ(Titles()->model()->rowCount(), 6);
}
