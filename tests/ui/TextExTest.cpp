#include "ui/TextEx.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextOption>
#include <gtest/gtest.h>

namespace {

QPlainTextEdit* Multi(TextEx& t) { return t.findChild<QPlainTextEdit*>(); }

// A multi-line control without wrapping, as the query tester uses it.
struct TextExTest : ::testing::Test {
    TextEx box;
    void SetUp() override {
        box.SetMultiLine(true);
        box.SetScrollBars(3);
        box.resize(300, 200);
    }
};

}  // namespace

TEST_F(TextExTest, LinesAndSelectionCountCharactersWithLfLineEndsAndAnEmptyControlHasOneLine) {
    box.SetText("ab\ncd\nef");
    box.SetSel(6, 6);  // the start of the third line
    EXPECT_EQ(box.CurrentLine(), 2);
    EXPECT_EQ(box.LineStart(2), 6);
    EXPECT_EQ(box.CurrentChar(), 0);
    EXPECT_EQ(box.LineCount(), 3);
    EXPECT_EQ(box.TextLength(), 8);
    EXPECT_EQ(box.LineStart(-1), 6);   // the caret's line
    EXPECT_EQ(box.LineStart(9), 0);    // no such line
    EXPECT_EQ(box.LineLength(9), 2);   // so the length of line 0

    box.SetSel(3, 5);
    int start = -1, end = -1;
    box.GetSel(start, end);
    EXPECT_EQ(std::pair(start, end), std::pair(3, 5));
    EXPECT_EQ(box.SelStart(), 3);
    EXPECT_EQ(box.SelLength(), 2);
    EXPECT_EQ(box.SelText(), "cd");
    EXPECT_EQ(box.CurrentLine(), 1);
    EXPECT_EQ(box.CurrentChar(), 0);
    box.SetSelLength(0);
    EXPECT_EQ(box.SelLength(), 2);
    box.SetSelLength(4);
    EXPECT_EQ(box.SelText(), "cd\ne");

    // A backwards selection reads from its smaller end; out-of-range positions are clamped.
    box.SetSel(5, 3);
    EXPECT_EQ(box.SelStart(), 3);
    EXPECT_EQ(box.SelLength(), 2);
    box.SetSel(0, 99);
    EXPECT_EQ(box.SelLength(), 8);
    box.SetSelStart(4);
    EXPECT_EQ(box.SelLength(), 0);
    EXPECT_EQ(box.SelText(), QString());

    // Replacing the selection can be undone.
    box.SetSel(3, 5);
    box.SetSelText("XYZ");
    EXPECT_EQ(box.Text(), "ab\nXYZ\nef");
    Multi(box)->undo();
    EXPECT_EQ(box.Text(), "ab\ncd\nef");

    // Every mode reports an empty control as one empty line.
    for (auto [multi, bars] : {std::pair(false, 0), std::pair(true, 2), std::pair(true, 3)}) {
        box.SetMultiLine(multi);
        box.SetScrollBars(bars);
        box.SetText(QString());
        EXPECT_EQ(box.LineCount(), 1) << multi << bars;
        EXPECT_EQ(box.TextLength(), 0) << multi << bars;
        EXPECT_EQ(box.SelText(), QString()) << multi << bars;
    }
}

TEST_F(TextExTest, SwitchingModesKeepsTextFontDropModeAndTabStopsButNotTheSelection) {
    TextEx t;
    QFont font("DejaVu Sans Mono", 13);
    t.setFont(font);
    t.SetOLEDropMode(1);
    t.SetTabStops("8");
    EXPECT_EQ(t.CurrentBoxIndex(), 0);  // a new control is single-line
    EXPECT_TRUE(qobject_cast<QLineEdit*>(t.CurrentBox()));
    t.SetText("select 1");
    t.SetSel(2, 5);
    ASSERT_EQ(t.SelLength(), 3);

    t.SetScrollBars(3);
    EXPECT_EQ(t.CurrentBoxIndex(), 0);  // bars alone do not make it multi-line
    t.SetMultiLine(true);
    EXPECT_EQ(t.CurrentBoxIndex(), 2);  // horizontal bar: no wrapping
    EXPECT_EQ(Multi(t)->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(t.Text(), "select 1");
    EXPECT_EQ(t.SelLength(), 0);
    EXPECT_EQ(t.CurrentBox()->font().pointSize(), 13);
    EXPECT_TRUE(t.CurrentBox()->acceptDrops());
    EXPECT_EQ(t.TabStops(), "8");
    EXPECT_NEAR(Multi(t)->document()->defaultTextOption().tabStopDistance(),
                8 * QFontMetricsF(Multi(t)->font()).averageCharWidth(), 0.01);

    t.SetScrollBars(2);
    EXPECT_EQ(t.CurrentBoxIndex(), 1);  // no horizontal bar: the lines wrap
    EXPECT_EQ(Multi(t)->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    t.SetScrollBars(7);  // chooses no box
    EXPECT_EQ(t.CurrentBoxIndex(), 1);
    t.SetMultiLine(false);
    EXPECT_EQ(t.CurrentBoxIndex(), 0);
    EXPECT_EQ(t.Text(), "select 1");
}

TEST_F(TextExTest, TabStopsInCharacterWidthsAndScrollBarsFollowTheSettingAndTheText) {
    const qreal unit = QFontMetricsF(Multi(box)->font()).averageCharWidth();
    auto option = [&] { return Multi(box)->document()->defaultTextOption(); };
    EXPECT_EQ(box.TabStops(), "32");  // the default
    box.SetTabStops(QString());
    EXPECT_EQ(box.TabStops(), "32");
    EXPECT_NEAR(option().tabStopDistance(), 32 * unit, 0.01);

    box.SetTabStops("32,44");
    ASSERT_EQ(option().tabs().size(), 2);
    EXPECT_NEAR(option().tabs()[0].position, 32 * unit, 0.01);
    EXPECT_NEAR(option().tabs()[1].position, 44 * unit, 0.01);
    EXPECT_NEAR(option().tabStopDistance(), 12 * unit, 0.01);  // further tabs keep the last spacing

    for (const char* bad : {"x", ",", "-4", "99999999999999", "4.5,y"}) {
        box.SetTabStops(QLatin1String(bad));
        EXPECT_EQ(box.TabStops(), QLatin1String(bad));
        EXPECT_GT(option().tabStopDistance(), 0) << bad;
    }

    // Scroll bars follow the setting, automatic ones the text.
    QPlainTextEdit* m = Multi(box);
    const struct {
        int bars;
        bool automatic;
        Qt::ScrollBarPolicy horizontal, vertical;
    } cases[] = {
        {0, true, Qt::ScrollBarAlwaysOff, Qt::ScrollBarAlwaysOff},
        {2, true, Qt::ScrollBarAlwaysOff, Qt::ScrollBarAsNeeded},
        {2, false, Qt::ScrollBarAlwaysOff, Qt::ScrollBarAlwaysOn},
        {3, false, Qt::ScrollBarAlwaysOn, Qt::ScrollBarAlwaysOn},
        {3, true, Qt::ScrollBarAsNeeded, Qt::ScrollBarAsNeeded},
    };
    for (const auto& c : cases) {
        box.SetScrollBars(c.bars);
        box.SetScrollBarsAutomatic(c.automatic);
        EXPECT_EQ(m->horizontalScrollBarPolicy(), c.horizontal) << c.bars << c.automatic;
        EXPECT_EQ(m->verticalScrollBarPolicy(), c.vertical) << c.bars << c.automatic;
    }

    // Automatic: the vertical bar comes when the lines no longer fit and goes when they do.
    box.SetScrollBars(2);
    box.show();
    box.SetText("one line");
    QApplication::processEvents();
    EXPECT_FALSE(m->verticalScrollBar()->isVisible());
    box.SetText(QString("line\n").repeated(200));
    QApplication::processEvents();
    EXPECT_TRUE(m->verticalScrollBar()->isVisible());
    box.SetText("short again");
    QApplication::processEvents();
    EXPECT_FALSE(m->verticalScrollBar()->isVisible());
}

TEST_F(TextExTest, EventsComeFromTheShownBoxKeyPressCanDropOrChangeTheKeyAndDropModesHold) {
    int changes = 0, clicks = 0;
    QList<std::pair<int, int>> keysUp;
    QStringList dropped;
    QObject::connect(&box, &TextEx::Change, [&] { ++changes; });
    QObject::connect(&box, &TextEx::Click, [&] { ++clicks; });
    QObject::connect(&box, &TextEx::KeyUp, [&](int& code, int& shift) { keysUp << std::pair(code, shift); });
    QObject::connect(&box, &TextEx::KeyPress, [](int& ascii) {
        if (ascii == 'x') ascii = 0;       // dropped
        else if (ascii == 'a') ascii = 'A';  // typed as another key
    });
    QObject::connect(&box, &TextEx::OLEDragDrop,
                     [&](const QMimeData* d, int&, int, int, float, float) { dropped << d->text(); });
    box.show();
    QPlainTextEdit* m = Multi(box);
    m->setFocus();
    QTest::keyClicks(m, "axb");
    EXPECT_EQ(box.Text(), "Ab");
    EXPECT_EQ(changes, 2);
    QTest::keyRelease(m, Qt::Key_Q, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_TRUE(keysUp.contains(std::pair(int('Q'), 2 | 4)));
    QTest::mouseClick(m->viewport(), Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
    box.SetText("set");
    EXPECT_EQ(changes, 3);

    // Drop mode 0 refuses a drop; 1 raises OLEDragDrop and inserts nothing by itself.
    QMimeData data;
    data.setText("dropped");
    auto drop = [&] {
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m->viewport(), &enter);
        if (!enter.isAccepted()) return false;
        QDropEvent e(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m->viewport(), &e);
        return e.isAccepted();
    };
    box.SetOLEDropMode(0);
    EXPECT_FALSE(m->viewport()->acceptDrops());
    EXPECT_FALSE(drop());
    box.SetOLEDropMode(1);
    EXPECT_TRUE(drop());
    EXPECT_EQ(dropped, QStringList{"dropped"});
    EXPECT_EQ(box.Text(), "set");
}

TEST_F(TextExTest, ALargeTextGoesInInPiecesWithProgressAndCancelLeavesItEmpty) {
    // CR LF pairs and a long line without any break straddle the piece boundaries.
    QString text = QString("row\tcell\r\n").repeated(110000) + QString(1200000, QLatin1Char('x'));
    TextEx whole;
    whole.SetMultiLine(true);
    whole.SetScrollBars(3);
    whole.SetText(text);
    QList<int> percents;
    int changes = 0;
    QObject::connect(&box, &TextEx::Change, [&] { ++changes; });
    EXPECT_TRUE(box.SetLargeText(text, [&](int p) { return percents << p, false; }));
    EXPECT_EQ(box.Text(), whole.Text());
    EXPECT_EQ(box.LineCount(), whole.LineCount());
    EXPECT_GT(percents.size(), 2);
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_EQ(percents.last(), 100);
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(Multi(box)->document()->isUndoAvailable());

    EXPECT_FALSE(box.SetLargeText(text, [](int) { return true; }));
    EXPECT_EQ(box.Text(), QString());
}
