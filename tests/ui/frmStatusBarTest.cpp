#include "ui/basDisplayTools.h"
#include "ui/frmStatusBar.h"
#include "util/basFileTools.h"
#include "util/basProgram.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace {

const QRgb kBlue = qRgb(0, 0, 255);
const QRgb kWhite = qRgb(255, 255, 255);

// The bar's inner area as it appears on screen.
QImage Inner(frmStatusBar& w) {
    auto* pic = w.findChild<StatusBarSurface*>("picStatusBar");
    EXPECT_NE(pic, nullptr);
    if (!pic) return {};
    return pic->grab(pic->contentsRect()).toImage().convertToFormat(QImage::Format_RGB32);
}

// Pixels of one colour: how many, and the columns they span.
struct Extent {
    int n = 0, minX = INT_MAX, maxX = -1;
    double Middle() const { return (minX + maxX) / 2.0; }
};

struct Census {
    Extent blue, white;
    int other = 0;
};

// Counts colours in columns [x0, x1) of rows [y0, y1) (all rows by default).
Census Count(const QImage& img, int x0, int x1, int y0 = 0, int y1 = -1) {
    Census c;
    for (int y = y0; y < (y1 < 0 ? img.height() : y1); ++y)
        for (int x = x0; x < x1; ++x) {
            const QRgb p = img.pixel(x, y) & 0xffffff;
            Extent* e = p == (kBlue & 0xffffff) ? &c.blue : p == (kWhite & 0xffffff) ? &c.white : nullptr;
            if (!e) {
                ++c.other;
                continue;
            }
            ++e->n;
            e->minX = std::min(e->minX, x);
            e->maxX = std::max(e->maxX, x);
        }
    return c;
}

int BlueInRow(const QImage& img, int y) { return Count(img, 0, img.width(), y, y + 1).blue.n; }

}  // namespace

TEST(frmStatusBar, FreshWindowLayoutHarmlessBadIndicesAndLongPathsShortened) {
    frmStatusBar w;
    for (int i = 0; i < 3; ++i) {
        auto* lbl = w.findChild<QLabel*>(QStringLiteral("lblProgress%1").arg(i));
        ASSERT_NE(lbl, nullptr);
        EXPECT_EQ(lbl->text(), w.Text(i));
    }
    EXPECT_TRUE(w.windowFlags() & Qt::WindowStaysOnTopHint);
    // Children stay inside the window and do not overlap the button.
    auto* cmd = w.findChild<QPushButton*>("cmdCancel");
    auto* pic = w.findChild<QWidget*>("picStatusBar");
    ASSERT_NE(cmd, nullptr);
    EXPECT_TRUE(w.rect().contains(cmd->geometry()));
    EXPECT_LE(pic->geometry().bottom(), cmd->geometry().top());
    // The bar starts empty.
    const Census c = Count(Inner(w), 0, pic->contentsRect().width());
    EXPECT_EQ(c.blue.n + c.other, 0);
    w.SetText(3, "x");
    w.SetText(-1, "x");
    EXPECT_EQ(w.Text(3), QString());
    EXPECT_EQ(w.Text(-1), QString());

    // A long path on line one is shortened in the middle, 100 twips short of the line's end.
    const QString path = QStringLiteral("/home/user/") + QString(40, u'x') + QStringLiteral("/") +
                         QString(40, u'y') + "/export-file.tab";
    w.SetText(1, path);
    EXPECT_EQ(w.Text(1), path) << "the caller reads back what it set";
    auto* lbl = w.findChild<QLabel*>("lblProgress1");
    const QString shown = lbl->text();
    EXPECT_NE(shown, path);
    EXPECT_TRUE(shown.startsWith("/home/"));
    EXPECT_TRUE(shown.endsWith("export-file.tab"));
    EXPECT_TRUE(shown.contains(QChar(0x2026)));
    EXPECT_LE(lbl->fontMetrics().horizontalAdvance(shown), lbl->width() - TwipsToPixels(100));
    EXPECT_EQ(lbl->toolTip(), path) << "the whole path is a hover away";
    // A short path is shown whole.
    w.SetText(1, "/tmp/a.tab");
    EXPECT_EQ(lbl->text(), "/tmp/a.tab");
    EXPECT_FALSE(ShellOpen(QString()));

    // A window made after one was used and closed starts from the design values again.
    auto used = std::make_unique<frmStatusBar>();
    used->SetText(1, "/tmp/x.tab");
    used->findChild<QPushButton*>("cmdCancel")->click();
    used->show();
    used->close();
    used.reset();
    frmStatusBar again;
    again.show();
    EXPECT_EQ(again.Text(0), "Operation in progress...");
    EXPECT_EQ(again.findChild<QLabel*>("lblProgress1")->text(), QString());
    bool cancel = true;
    again.Update(1, cancel);
    EXPECT_FALSE(cancel);
}

TEST(frmStatusBar, HalfFillsTheLeftHalfInvertingTheLabelAndOutOfRangeDrawsZeroOrHundred) {
    std::map<int, QImage> shown;
    for (auto [percent, drawn] : {std::pair(150, 100), std::pair(-5, 0), std::pair(50, 50)}) {
        frmStatusBar w;
        bool cancel = true;
        w.Update(percent, cancel);
        EXPECT_FALSE(cancel);
        const QImage img = Inner(w);
        ASSERT_FALSE(img.isNull());
        // The top row is background only: blue exactly over the filled share (to a pixel at 50%).
        const int filled = BlueInRow(img, 0);
        EXPECT_NEAR(filled, drawn * img.width() / 100.0, drawn % 100 ? 0.5 : 0) << percent;
        for (int x = 0; x < img.width(); ++x)
            ASSERT_EQ(img.pixel(x, 0) & 0xffffff, (x < filled ? kBlue : kWhite) & 0xffffff) << percent << " " << x;
        EXPECT_EQ(Count(img, 0, img.width()).other, 0) << "text is drawn without blending";
        shown[percent] = img;
    }
    const QImage& full = shown[150];
    const int width = full.width();
    EXPECT_EQ(BlueInRow(full, full.height() - 1), width);
    const Census c = Count(full, 0, width);
    EXPECT_GT(c.white.n, 0) << "the label is white on the fill";
    EXPECT_NEAR(c.white.Middle(), width / 2.0, 3.0);
    // Below zero draws a centred blue "0%" without fill, narrower than "100%".
    const Census lc = Count(shown[-5], 0, width);
    EXPECT_GT(lc.blue.n, 0);
    EXPECT_NEAR(lc.blue.Middle(), width / 2.0, 3.0);
    EXPECT_GT(c.white.maxX - c.white.minX, lc.blue.maxX - lc.blue.minX);
    // The label "50%" straddles the middle: its left part is white on blue, its right part blue
    // on white.
    const int filled = BlueInRow(shown[50], 0);
    const Census left = Count(shown[50], 0, filled);
    const Census right = Count(shown[50], filled, width);
    EXPECT_GT(left.white.n, 0);
    EXPECT_GT(right.blue.n, 0);
    EXPECT_GE(left.white.minX, filled / 2);
    EXPECT_LE(right.blue.maxX, filled + width / 4);
}

TEST(frmStatusBar, CancelIsReportedOnceToTheOuterUpdateAndTheCloseButtonMeansCancel) {
    frmStatusBar w;
    w.show();
    auto* cmd = w.findChild<QPushButton*>("cmdCancel");
    bool cancel = false;
    w.Update(10, cancel);
    EXPECT_FALSE(cancel);
    cmd->click();
    w.Update(20, cancel);
    EXPECT_TRUE(cancel);
    w.Update(30, cancel);
    EXPECT_FALSE(cancel);
    QTimer::singleShot(0, cmd, [cmd] { cmd->click(); });
    w.Update(40, cancel);
    EXPECT_TRUE(cancel);

    // A cancel clicked inside a nested Update is left for the outer call.
    bool inner = true;
    QTimer::singleShot(0, &w, [&w, &inner] {
        w.findChild<QPushButton*>("cmdCancel")->click();
        w.Update(70, inner);
    });
    bool outer = false;
    w.Update(60, outer);
    EXPECT_FALSE(inner);
    EXPECT_TRUE(outer);

    // The window system's close button means Cancel and keeps the window.
    ASSERT_NE(w.windowHandle(), nullptr);
    QCloseEvent byUser;
    QApplication::sendEvent(w.windowHandle(), &byUser);
    EXPECT_FALSE(byUser.isAccepted());
    EXPECT_TRUE(w.isVisible());
    w.Update(5, cancel);
    EXPECT_TRUE(cancel);
    // The caller's own close goes through.
    EXPECT_TRUE(w.close());
    EXPECT_FALSE(w.isVisible());
}

