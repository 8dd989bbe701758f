// The quick palette driven through its keys over the real main window: opening with Ctrl+K,
// typing filters, the order of results, moving, copying with and without placeholders, opening
// an item through the save question, bad input. With VG_SCREENSHOT_QUICK=path.png set, the
// picture of the palette over the window is saved there (the README's).
#include "MainWindowFixture.h"
#include "app/frmQuick.h"
#include "app/frmQuickFill.h"
#include "search/CQuickSearcher.h"

#include <QClipboard>
#include <QComboBox>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QSignalSpy>
#include <QSplitter>
#include <QTreeView>

namespace {

class QuickPaletteTest : public MainWindowTest {
protected:
    void TearDown() override {
        QGuiApplication::clipboard()->clear();
        MainWindowTest::TearDown();
    }
    frmQuick* Palette() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* q = qobject_cast<frmQuick*>(w)) return q;
        return nullptr;
    }
    // Ctrl+K in the main window; waits for the first results.
    frmQuick* Open() {
        // The window manager gives the main window back its focus when the palette goes.
        win->activateWindow();
        QApplication::processEvents();
        QTest::keyClick(win.get(), Qt::Key_K, Qt::ControlModifier);
        frmQuick* q = Palette();
        EXPECT_NE(q, nullptr);
        if (q) WaitResults();
        return q;
    }
    QLineEdit* Query() { return Palette()->findChild<QLineEdit*>("txtQuick"); }
    QTreeView* List() { return Palette()->findChild<QTreeView*>("lstQuick"); }
    QString Status() { return Palette()->findChild<QLabel*>("lblQuickStatus")->text(); }
    bool WaitResults() {
        return QTest::qWaitFor([this] { return Status() != QLatin1String("Searching..."); }, 10000);
    }
    // The preview follows a moment after the list.
    CodeEditor* Preview() {
        QTest::qWait(frmQuick::kPreviewPauseMs + 60);
        return Palette()->findChild<CodeEditor*>("txtQuickPreview");
    }
    // Replaces the query by typing it letter by letter, then waits for its results.
    void TypeQuery(const QString& text) {
        Query()->selectAll();
        QTest::keyClick(Query(), Qt::Key_Delete);
        QTest::keyClicks(Query(), text);
        EXPECT_TRUE(WaitResults()) << text.toStdString();
    }
    QStringList Rows(int column = 0) {
        QStringList out;
        for (int r = 0; r < List()->model()->rowCount(); ++r) out << List()->model()->index(r, column).data().toString();
        return out;
    }
    QString Current() { return List()->currentIndex().data().toString(); }
    void Key(int key, Qt::KeyboardModifiers mods = {}) {
        QTest::keyClick(Query(), Qt::Key(key), mods);
        QApplication::processEvents();
    }
    static QString Clipboard() { return QGuiApplication::clipboard()->text(); }
};

QList<SampleItem> Snippets() {
    return {
        {"Shell", "Docker run redis", "docker run -d -p <port=6379>:6379 --name <name> redis", "Containers"},
        {"Shell", "Git branch rename", "git branch -m <old> <new>", "Git"},
        {"Python", "Read file lines", "with open(${1:path}) as f:\n    lines = f.readlines()$0", "Files"},
        {"Python", "readFileLines helper", "def readFileLines(p):\n    return open(p).read().splitlines()", "Files"},
        {"SQL", "Top rows of a table", "SELECT *\nFROM tblItem\nORDER BY ID DESC\nLIMIT 10;", "Queries"},
        {"SQL", "Page through results", "SELECT ID, Title\nFROM qryItem\nLIMIT 20 OFFSET 40;", "Queries,Paging"},
        {"C++", "Erase while iterating",
         "for (auto it = v.begin(); it != v.end();) {\n\tif (dead(*it)) it = v.erase(it);\n\telse ++it;\n}", "Containers"},
        {"C++", "Sort a vector", "std::sort(v.begin(), v.end());", "Algorithms"},
    };
}

TEST_F(QuickPaletteTest, CtrlKOpensItFocusedOnTopCentredWithTheRecentList) {
    MakeDatabase(Snippets());
    Start();
    frmQuick* q = Open();
    ASSERT_NE(q, nullptr);
    EXPECT_TRUE(q->isVisible());
    EXPECT_TRUE(q->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(q->focusWidget(), Query());
    const QRect screen = QGuiApplication::screenAt(QCursor::pos())->availableGeometry();
    EXPECT_LE((q->frameGeometry().center() - screen.center()).manhattanLength(), 2);
    // Nothing used yet: everything, recently changed first (all equal here: by number).
    EXPECT_EQ(Rows().size(), 8);
    EXPECT_EQ(Rows().first(), "Docker run redis");
    EXPECT_EQ(Rows(1).first(), "Shell");
    EXPECT_EQ(Rows(2).at(5), "Paging, Queries");
    EXPECT_EQ(Status(), "8 of 8 items");
    // The preview shows the selected body in its language's colours.
    CodeEditor* preview = Preview();
    EXPECT_EQ(preview->text(), Snippets().first().body);
    EXPECT_TRUE(preview->isReadOnly());
    // Ctrl+K again while it is open only focuses it: the query stays.
    QTest::keyClicks(Query(), "doc");
    WaitResults();
    q->Popup();
    EXPECT_EQ(Query()->text(), "doc");
    EXPECT_EQ(Palette(), q);
}

TEST_F(QuickPaletteTest, TypingFiltersInTheOrderOfATableOfQueries) {
    MakeDatabase(Snippets());
    Start();
    ASSERT_NE(Open(), nullptr);
    struct Case {
        const char* query;
        QStringList titles;
    } cases[] = {
        {"dock", {"Docker run redis"}},
        {"gbr", {"Git branch rename"}},
        {"rfl", {"Read file lines", "readFileLines helper", "Top rows of a table"}},
        {"read lines", {"Read file lines", "readFileLines helper"}},
        {"sort vec", {"Sort a vector"}},
        {"tblitem ", {"Top rows of a table"}},              // a body word
        {"lang:sql", {"Top rows of a table", "Page through results"}},
        {"lang:c++ v.begin ", {"Sort a vector", "Erase while iterating"}},  // bodies only: shorter first
        {"cat:containers", {"Docker run redis", "Erase while iterating"}},
        {"zzqy", {}},
    };
    for (const Case& c : cases) {
        TypeQuery(QLatin1String(c.query));
        EXPECT_EQ(Rows(), c.titles) << c.query;
        EXPECT_EQ(Status() == "No item matches", c.titles.isEmpty()) << c.query;
        if (!c.titles.isEmpty()) {
            EXPECT_EQ(Current(), c.titles.first()) << c.query;
        }
    }
    // The matched words are marked in the preview.
    TypeQuery("lang:c++ v.begin ");
    EXPECT_EQ(MarkedTexts(Preview()), (QStringList{"v", "begin", "v"}));
}

TEST_F(QuickPaletteTest, KeysMoveCopyAndClose) {
    MakeDatabase(Snippets());
    Start();
    frmQuick* q = Open();
    ASSERT_NE(q, nullptr);
    TypeQuery("lang:sql");
    EXPECT_EQ(Current(), "Top rows of a table");
    Key(Qt::Key_Down);
    EXPECT_EQ(Current(), "Page through results");
    Key(Qt::Key_Down);  // stays on the last
    EXPECT_EQ(Current(), "Page through results");
    Key(Qt::Key_Up);
    EXPECT_EQ(Current(), "Top rows of a table");
    TypeQuery("");
    Key(Qt::Key_PageDown);
    EXPECT_EQ(Current(), Rows().last());
    Key(Qt::Key_PageUp);
    EXPECT_EQ(Current(), Rows().first());

    // Ctrl+C copies and stays; Enter copies and closes.
    TypeQuery("sort vec");
    Key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(Clipboard(), "std::sort(v.begin(), v.end());");
    EXPECT_TRUE(q->isVisible());
    TypeQuery("top rows");
    QSignalSpy copied(q, &frmQuick::Copied);
    Key(Qt::Key_Return);
    EXPECT_EQ(Clipboard(), "SELECT *\nFROM tblItem\nORDER BY ID DESC\nLIMIT 10;");
    EXPECT_FALSE(q->isVisible());
    ASSERT_EQ(copied.count(), 1);
    EXPECT_EQ(copied.first().at(0).toInt(), 5);
    if (QGuiApplication::clipboard()->supportsSelection()) {
        EXPECT_EQ(QGuiApplication::clipboard()->text(QClipboard::Selection), Clipboard());
    }

    // Opened again: an empty query, the items just used first.
    Open();
    EXPECT_EQ(Query()->text(), "");
    EXPECT_TRUE(QTest::qWaitFor([&] {
        q->Popup();
        TypeQuery("");
        return Rows().mid(0, 2) == QStringList({"Top rows of a table", "Sort a vector"});
    }, 5000)) << Rows().join('|').toStdString();
    Key(Qt::Key_Escape);
    EXPECT_FALSE(q->isVisible());
    // The uses are in the file's own table.
    Reopen();
    EXPECT_EQ(Scalar("SELECT group_concat(ItemID) FROM (SELECT ItemID FROM tblItemUse ORDER BY LastUsed)").toString(), "8,5");
}

TEST_F(QuickPaletteTest, CopyFillsPlaceholdersThroughTheForm) {
    struct Case {
        const char* language;
        const char* body;
        QStringList typed;  // per field in order, after Tab; empty: the body copies at once
        QString copied;
    } cases[] = {
        {"Python", "print('plain')", {}, "print('plain')"},
        {"Python", "cost \\$5$0", {}, "cost $5"},
        {"C++", "std::vector<int> v;", {}, "std::vector<int> v;"},
        {"Python", "${1:abc", {}, "${1:abc"},
        {"Python", "open(${1:path}, '${2:r}')  # $1", {"a.txt", "rb"}, "open(a.txt, 'rb')  # a.txt"},
        {"Python", "open(${1:path}, '${2:r}')", {"", ""}, "open(path, 'r')"},  // Enter keeps the defaults
        {"Shell", "ssh <user=root>@<host> -p <port=22>", {"", "db1", ""}, "ssh root@db1 -p 22"},
        {"Go", "x := ${1|alpha,beta|}", {""}, "x := alpha"},
    };
    QList<SampleItem> items;
    for (int i = 0; i < int(std::size(cases)); ++i)
        items << SampleItem{cases[i].language, QStringLiteral("Snippet %1").arg(i), cases[i].body, "Misc"};
    MakeDatabase(items);
    Start();
    frmQuick* q = Open();
    ASSERT_NE(q, nullptr);
    for (int i = 0; i < int(std::size(cases)); ++i) {
        const Case& c = cases[i];
        q->Popup();
        TypeQuery(QStringLiteral("Snippet %1").arg(i));
        ASSERT_EQ(Current(), QStringLiteral("Snippet %1").arg(i));
        QGuiApplication::clipboard()->setText("before");
        Key(Qt::Key_Return);
        if (c.typed.isEmpty()) {
            EXPECT_EQ(q->FillForm(), nullptr) << c.body;
        } else {
            frmQuickFill* form = q->FillForm();
            ASSERT_NE(form, nullptr) << c.body;
            EXPECT_TRUE(form->isVisible());
            EXPECT_EQ(Clipboard(), "before") << c.body;
            for (int f = 0; f < c.typed.size(); ++f) {
                QWidget* focus = QApplication::focusWidget();
                ASSERT_NE(focus, nullptr);
                if (!c.typed[f].isEmpty()) {
                    if (auto* line = qobject_cast<QLineEdit*>(focus)) line->selectAll();
                    QTest::keyClicks(focus, c.typed[f]);
                }
                if (f + 1 < c.typed.size()) QTest::keyClick(focus, Qt::Key_Tab);
            }
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            QApplication::processEvents();
        }
        EXPECT_EQ(Clipboard(), c.copied) << c.body;
        EXPECT_FALSE(q->isVisible()) << c.body;
    }

    // Esc in the form copies nothing and leaves the palette open.
    q->Popup();
    TypeQuery("Snippet 4");
    QGuiApplication::clipboard()->setText("before");
    Key(Qt::Key_Return);
    ASSERT_NE(q->FillForm(), nullptr);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_EQ(Clipboard(), "before");
    EXPECT_TRUE(q->isVisible());
}

TEST_F(QuickPaletteTest, ShiftEnterOpensTheItemThroughTheSaveQuestion) {
    StartWithFourItems();
    PickLanguage("SQL  (2)");
    ClickEntry(Titles(), "Bravo");
    Type(Body(), "select 22");
    ASSERT_TRUE(win->ItemChanged());
    frmQuick* q = Open();
    ASSERT_NE(q, nullptr);
    TypeQuery("alpha");
    // Cancel keeps the edits and the item.
    prompt->answers << CPrompt::vbCancel;
    Key(Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(prompt->Messages(), QStringList{"Save changes to this item?"});
    EXPECT_EQ(Title()->text(), "Bravo");
    EXPECT_EQ(Body()->text(), "select 22");
    EXPECT_FALSE(q->isVisible());
    // No gives the edits up and shows the item under its own language.
    q->Popup();
    TypeQuery("alpha");
    prompt->answers << CPrompt::vbNo;
    Key(Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(Title()->text(), "Alpha");
    EXPECT_EQ(Body()->text(), "print(1)");
    EXPECT_EQ(Languages()->currentText(), "Python  (2)");
    EXPECT_EQ(Selected(Titles()), "Alpha");
    EXPECT_EQ(win->CurrentItemID(), 3);
    EXPECT_FALSE(win->ItemChanged());
    EXPECT_EQ(Stored("Code", 1), "select 2");
    // Yes saves first.
    Type(Body(), "print(11)");
    q->Popup();
    TypeQuery("charlie");
    prompt->answers << CPrompt::vbYes;
    Key(Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(Stored("Code", 3), "print(11)");
    EXPECT_EQ(Title()->text(), "Charlie");
}

TEST_F(QuickPaletteTest, BadInputNeverHangsTheWindow) {
    MakeDatabase(Snippets());
    Start();
    frmQuick* q = Open();
    ASSERT_NE(q, nullptr);
    const QString huge = QString(10000, QLatin1Char('q'));
    Query()->setText(huge);
    EXPECT_TRUE(WaitResults());
    EXPECT_EQ(Rows(), QStringList());
    Query()->setText(QStringLiteral("\x01\x02\x1b\x7f rows"));
    EXPECT_TRUE(WaitResults());
    EXPECT_EQ(Rows(), QStringList{"Top rows of a table"});
    TypeQuery("lang: cat: \"");
    EXPECT_EQ(Rows().size(), 0);
    TypeQuery("cat:queries lang:SQL");
    EXPECT_EQ(Rows().size(), 2);
    // Many letters in a row: only the newest query's results are shown.
    QSignalSpy shown(q, &frmQuick::ResultsShown);
    Query()->clear();
    QTest::keyClicks(Query(), "erase while iterating");
    EXPECT_TRUE(WaitResults());
    QTest::qWait(100);
    EXPECT_EQ(Rows(), QStringList{"Erase while iterating"});
    EXPECT_LT(shown.count(), 21);
}

TEST_F(QuickPaletteTest, ANewerQueryCancelsAnOlderOne) {
    MakeDatabase(FourItems());
    Reopen();
    CQuickSearcher searcher;
    QList<int> delivered;
    QObject::connect(&searcher, &CQuickSearcher::Found, [&](int generation, const QList<CQuickIndex::Row>&, int) {
        delivered << generation;
    });
    searcher.SetDatabase(dbPath);
    int last = 0;
    for (int i = 0; i < 50; ++i) last = searcher.Search(QStringLiteral("a").repeated(i % 5 + 1));
    EXPECT_TRUE(QTest::qWaitFor([&] { return delivered.contains(last); }, 10000));
    QTest::qWait(50);
    EXPECT_EQ(delivered.last(), last);
    EXPECT_EQ(delivered.count(last), 1);
    for (int g : delivered) EXPECT_EQ(g, last);  // nothing older arrives after the newer one was asked for
}

TEST_F(QuickPaletteTest, ThePictureOfThePaletteOverTheWindow) {
    MakeDatabase(Snippets());
    Start();
    win->resize(980, 600);
    PickLanguage("SQL  (2)");
    ClickEntry(Titles(), "Top rows of a table");
    frmQuick* q = Open();
    ASSERT_NE(q, nullptr);
    q->resize(760, 360);
    auto* list = q->findChild<QTreeView*>("lstQuick");
    list->setColumnWidth(0, 150);
    list->setColumnWidth(1, 60);
    q->findChild<QSplitter*>()->setSizes({330, 430});
    TypeQuery("sel");
    ASSERT_FALSE(Rows().isEmpty());
    Preview();
    QPixmap picture = win->grab();
    {
        QPainter p(&picture);
        const QPixmap palette = q->grab();
        const QPoint at((picture.width() - palette.width()) / 2, 90);
        // A frame and a shadow, as a window manager would draw them.
        p.fillRect(QRect(at + QPoint(6, 6), palette.size()), QColor(0, 0, 0, 70));
        p.drawPixmap(at, palette);
        p.setPen(QColor(90, 90, 90));
        p.drawRect(QRect(at, palette.size()).adjusted(-1, -1, 0, 0));
    }
    const QString target = qEnvironmentVariable("VG_SCREENSHOT_QUICK");
    if (!target.isEmpty()) {
        EXPECT_TRUE(picture.save(target));
    }
    EXPECT_FALSE(picture.isNull());
}

}  // namespace
