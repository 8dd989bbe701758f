// The three panes and their splitters as the window is resized and a splitter is dragged, and
// the window's look.
#include "MainWindowFixture.h"

#include <Qsci/qscilexer.h>

#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QSplitterHandle>

namespace {
const QColor kBlue(0, 0, 255);

// A pane's rectangle in the client area (the central widget).
QRect PaneRect(QWidget* pane) {
    QWidget* client = pane->window()->findChild<QWidget*>("frmMainClient");
    return QRect(pane->mapTo(client, QPoint(0, 0)), pane->size());
}
}  // namespace

class LayoutTest : public MainWindowTest {
protected:
    QWidget* Client() { return Find<QWidget>("frmMainClient"); }
    void ResizeClient(int w, int h) {
        const QSize frame = win->size() - Client()->size();
        win->resize(QSize(w, h) + frame);
        QApplication::processEvents();
    }
    void DragSplitter(const char* name, int dx) {
        QSplitterHandle* h = Find<QSplitterHandle>(name);
        const QPoint start = h->rect().center();
        QTest::mousePress(h, Qt::LeftButton, {}, start);
        QMouseEvent move(QEvent::MouseMove, QPointF(start + QPoint(dx, 0)), h->mapToGlobal(QPointF(start + QPoint(dx, 0))),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(h, &move);
        QTest::mouseRelease(h, Qt::LeftButton, {}, start + QPoint(dx, 0));
        QApplication::processEvents();
    }
};

TEST_F(LayoutTest, PanesStartAtTheDesignPositionsInTheWindowsColoursAndKeepTheirSplittersAcrossResizesDragsAndRestarts) {
    StartWithFourItems();
    QWidget* left = Find<QWidget>("fraLangCat");
    QWidget* middle = Find<QWidget>("fraTitles");
    QWidget* right = Find<QWidget>("fraItems");
    const int w = Client()->width();
    const int h = Client()->height();

    // 120 twips margins, 80-twip splitters, the left pane wide enough for the largest count,
    // the titles pane 260 pixels; the window 1000 x 700 where the screen has the room.
    EXPECT_EQ(PaneRect(left).topLeft(), QPoint(8, 8));
    const QFontMetrics metrics(Categories()->font());
    // Also once a long category list brings its scroll bar, with the list's text margins.
    QStyle* style = Categories()->style();
    const int scrollBar = Categories()->verticalScrollBar()->isVisible() ? 0 : style->pixelMetric(QStyle::PM_ScrollBarExtent);
    EXPECT_GE(Categories()->viewport()->width() - scrollBar,
              metrics.horizontalAdvance("<All Categories>  (100000)") +
                  2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, Categories()) + 1));
    EXPECT_EQ(PaneRect(left).right() + 1, win->SplitterLeft(0));
    EXPECT_EQ(Find<QSplitterHandle>("picSplitLangCatTitle")->width(), 5);
    EXPECT_EQ(PaneRect(middle).left(), win->SplitterLeft(0) + 5);
    EXPECT_EQ(win->SplitterLeft(1), win->SplitterLeft(0) + 5 + qMax(260, middle->minimumWidth()));
    const QSize screen = QGuiApplication::primaryScreen()->availableSize();
    EXPECT_EQ(win->size(), QSize(1000, 700).boundedTo(screen));
    EXPECT_EQ(PaneRect(right).left(), win->SplitterLeft(1) + 5);
    EXPECT_EQ(PaneRect(right).right() + 1, w - 8);
    for (QWidget* pane : {left, middle, right}) {
        EXPECT_EQ(PaneRect(pane).top(), 8);
        EXPECT_EQ(pane->height(), h - 16);
    }
    EXPECT_FLOAT_EQ(win->SplitLangCatRatio(), float(win->SplitterLeft(0)) / float(w));
    EXPECT_FLOAT_EQ(win->SplitTitleItemRatio(), float(win->SplitterLeft(1)) / float(w));

    // Long names show their start.
    // The combo's text from its first letter, not scrolled to its end.
    EXPECT_EQ(Languages()->lineEdit()->cursorPosition(), 0);
    PickLanguage("SQL  (2)");
    EXPECT_EQ(Languages()->lineEdit()->cursorPosition(), 0);

    const QString name = "a rather long attachment name that no box shows whole.tar.gz";
    ASSERT_EQ(gDB->Run(QStringLiteral("UPDATE ftsItem SET File = '") + name + "';"), QString());
    ClickEntry(Titles(), "Delta");
    QLineEdit* file = Find<QLineEdit>("txtFileName");
    ASSERT_EQ(file->text(), name);
    EXPECT_EQ(file->cursorPosition(), 0);
    EXPECT_TRUE(file->toolTip().startsWith(name));

    // Blue panes, white buttons, platform colours in the lists and boxes.
    for (const char* pane : {"fraLangCat", "fraTitles", "fraItems"}) {
        QWidget* w = Find<QWidget>(pane);
        EXPECT_TRUE(w->autoFillBackground()) << pane;
        EXPECT_EQ(w->palette().color(QPalette::Window), kBlue) << pane;
    }
    EXPECT_EQ(Client()->palette().color(QPalette::Window), kBlue);
    EXPECT_EQ(Find<QPushButton>("cmdSave")->palette().color(QPalette::Button), QColor(Qt::white));
    const QPalette platform = QApplication::palette();
    for (QWidget* w : std::initializer_list<QWidget*>{Titles(), Categories(), Title(), Body(), Languages()}) {
        EXPECT_EQ(w->palette().color(QPalette::Base), platform.color(QPalette::Base)) << w->objectName().toStdString();
        EXPECT_EQ(w->palette().color(QPalette::Window), platform.color(QPalette::Window)) << w->objectName().toStdString();
    }

    // The code pane draws in the window's code font, a tab every four columns.
    CodeEditor* code = Body();
    const QFont font = code->lexer() ? code->lexer()->font(0) : code->font();
    const QFontMetricsF codeMetrics(font);
    EXPECT_EQ(codeMetrics.horizontalAdvance("iiii"), codeMetrics.horizontalAdvance("WWWW")) << QFontInfo(font).family().toStdString();
    EXPECT_EQ(code->tabWidth(), 4);

    // Resizing moves no splitter; a dragged one keeps its place, the panes their minimum.
    const QSize first = win->size();
    QLineEdit* title = Title();
    const int s0 = win->SplitterLeft(0);
    const int s1 = win->SplitterLeft(1);
    const int leftWidth = left->width();
    const int rightWidth = right->width();
    const int titleWidth = title->width();

    ResizeClient(Client()->width() + 100, Client()->height() + 50);
    EXPECT_EQ(win->SplitterLeft(0), s0);
    EXPECT_EQ(win->SplitterLeft(1), s1);
    EXPECT_EQ(left->width(), leftWidth);
    EXPECT_EQ(right->width(), rightWidth + 100);
    EXPECT_EQ(title->width(), titleWidth + 100);
    EXPECT_EQ(PaneRect(right).right() + 1, Client()->width() - 8);

    // Narrower than the chosen widths allow: the titles pane gives way first, then the
    // languages pane, and the item pane keeps its minimum with its right edge in the window.
    const int middleWidth = middle->width();
    const int give = middleWidth - middle->minimumWidth() + 20, bar = Find<QSplitter>("splitPanes")->handleWidth();
    ResizeClient(8 + leftWidth + bar + middleWidth + bar + right->minimumWidth() + 8 - give, 540);
    EXPECT_EQ(middle->width(), middle->minimumWidth());
    EXPECT_EQ(left->width(), leftWidth - 20);
    EXPECT_EQ(right->width(), right->minimumWidth());
    EXPECT_EQ(PaneRect(right).right() + 1, Client()->width() - 8);
    for (const char* name : {"cmdDelete", "lblItemNo", "txtTitle", "cmdFileClear", "lblFileSize"}) {
        QWidget* w = Find<QWidget>(name);
        EXPECT_LE(w->mapTo(Client(), QPoint(w->width(), 0)).x(), Client()->width()) << name;
    }
    // Smaller than every minimum: the panes stop at theirs and the window clips.
    ResizeClient(200, 150);
    EXPECT_EQ(left->width(), left->minimumWidth());
    EXPECT_EQ(middle->width(), middle->minimumWidth());
    EXPECT_EQ(right->width(), right->minimumWidth());
    EXPECT_GT(PaneRect(right).right(), Client()->width());
    EXPECT_GE(right->height(), right->minimumHeight());
    EXPECT_GE(left->height() + 16, 236);

    // Back to a roomy size: everything as before.
    ResizeClient(900, 600);
    EXPECT_EQ(win->SplitterLeft(1), s1);
    EXPECT_EQ(PaneRect(right).right() + 1, 900 - 8);

    // A dragged splitter keeps its place and the panes keep their minimum.
    DragSplitter("picSplitLangCatTitle", 60);
    EXPECT_EQ(win->SplitterLeft(0), s0 + 60);
    EXPECT_EQ(left->width(), s0 + 60 - 8);
    EXPECT_FLOAT_EQ(win->SplitLangCatRatio(), float(s0 + 60) / 900.f);
    ResizeClient(1000, 600);
    EXPECT_EQ(win->SplitterLeft(0), s0 + 60);

    // Dragged far to the left the pane stops at its minimum.
    DragSplitter("picSplitLangCatTitle", -500);
    EXPECT_EQ(left->width(), left->minimumWidth());

    // The right splitter moves only the boundary between titles and item.
    const int middleBefore = Find<QWidget>("fraTitles")->width();
    DragSplitter("picSplitTitleItem", 40);
    EXPECT_EQ(Find<QWidget>("fraTitles")->width(), middleBefore + 40);
    EXPECT_EQ(PaneRect(Find<QWidget>("fraItems")).right() + 1, 1000 - 8);
    // Dragged far to the left it stops at the titles pane's minimum and leaves the left bar.
    const int leftBar = win->SplitterLeft(0);
    DragSplitter("picSplitTitleItem", -600);
    EXPECT_EQ(win->SplitterLeft(0), leftBar);
    EXPECT_EQ(Find<QWidget>("fraTitles")->width(), Find<QWidget>("fraTitles")->minimumWidth());

    // The size and the pane widths come back after a restart.
    ResizeClient(760, 540);
    DragSplitter("picSplitLangCatTitle", 30);
    DragSplitter("picSplitTitleItem", 20);
    const QSize size = win->size();
    const QPoint place = win->pos();
    const int t0 = win->SplitterLeft(0), t1 = win->SplitterLeft(1);
    Restart();
    EXPECT_EQ(win->size(), size);
    EXPECT_EQ(win->pos(), place);
    // Stored again unchanged: the window does not creep from start to start.
    const QString stored = Setting("WindowGeometry");
    Restart();
    EXPECT_EQ(Setting("WindowGeometry"), stored);
    EXPECT_EQ(win->pos(), place);
    EXPECT_EQ(win->SplitterLeft(0), t0);
    EXPECT_EQ(win->SplitterLeft(1), t1);
    EXPECT_FALSE(win->isMaximized());

    // A place no screen shows, or rubbish, gives the first start's size; the panes stay.
    for (const char* geometry : {"-30000,-30000,760,540", "0,0,90000,90000", "a,b,c,d"}) {
        Restart({{"WindowGeometry", geometry}});
        EXPECT_EQ(win->size(), first) << geometry;
        EXPECT_EQ(win->SplitterLeft(0), t0) << geometry;
    }
    Restart({{"WindowMaximized", "-1"}});
    EXPECT_TRUE(win->isMaximized());
}

// View > Look: Classic (the blue panes) or the desktop's own palette, remembered across starts.
TEST_F(LayoutTest, TheLookIsChosenInTheViewMenuAndRemembered) {
    StartWithFourItems();
    QWidget* pane = Find<QWidget>("fraItems");
    const QColor platform = QApplication::palette().color(QPalette::Window);
    const struct {
        const char* pick;  // nullptr: a restart
        const char* checked;
        QColor window;
    } steps[] = {
        {nullptr, "mnuViewLookClassic", kBlue},
        {"mnuViewLookSystem", "mnuViewLookSystem", platform},
        {nullptr, "mnuViewLookSystem", platform},
        {"mnuViewLookClassic", "mnuViewLookClassic", kBlue},
        {nullptr, "mnuViewLookClassic", kBlue},
    };
    for (const auto& s : steps) {
        if (s.pick) Trigger(s.pick);
        else Restart();
        pane = Find<QWidget>("fraItems");
        EXPECT_TRUE(Find<QAction>(s.checked)->isChecked()) << s.checked;
        EXPECT_EQ(pane->palette().color(QPalette::Window), s.window) << s.checked;
    }
    // The white buttons' focus frame is drawn dark enough to see.
    EXPECT_LT(Find<QPushButton>("cmdSave")->palette().color(QPalette::Highlight).lightness(), 100);
}
