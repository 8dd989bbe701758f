// Main window: three panes side by side with two splitter bars, the blue look, and the
// layout that keeps the splitters in place while the right pane takes every change of width.
#include "app/frmMain.h"
#include "app/CodeEditor.h"
#include "app/frmMainTools.h"

#include "db/basDB.h"
#include "settings/CSettings.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Design lengths are in twips; 15 twips make one pixel.
constexpr int Px(int twips) { return (twips + 7) / 15; }

constexpr int kMargin = Px(120);      // the recurring gap
constexpr int kPaneTop = Px(240);     // first control row inside a pane
constexpr int kSplitterWidth = Px(80);
constexpr int kMinClientWidth = Px(7155);
constexpr int kMinClientHeight = Px(3540);

QBoxLayout* PaneLayout(QFrame* pane) {
    auto* v = new QVBoxLayout(pane);
    v->setContentsMargins(kMargin, kPaneTop, kMargin, kMargin);
    v->setSpacing(0);
    return v;
}

QHBoxLayout* Row(int spacing = 0) {
    auto* h = new QHBoxLayout;
    h->setSpacing(spacing);
    h->setContentsMargins(0, 0, 0, 0);
    return h;
}

// A pane never gets smaller than its design minimum, nor than its controls need.
void SetPaneMinimum(QFrame* pane, int widthTwips, int heightTwips) {
    const QSize need = pane->layout()->minimumSize();
    pane->setMinimumSize(qMax(Px(widthTwips), need.width()), qMax(Px(heightTwips), need.height()));
}

// Judged by the glyphs, not the font's flag: some monospaced faces (Noto Sans Mono) do not
// set it, and a face that only claims it would misalign code.
bool IsMonospaced(const QFont& font) {
    const QFontMetricsF m(font);
    return m.horizontalAdvance(QStringLiteral("iiii")) == m.horizontalAdvance(QStringLiteral("WWWW"));
}

QFont CodeFont() {
    QStringList candidates{QStringLiteral("Lucida Console"), QFontDatabase::systemFont(QFontDatabase::FixedFont).family(),
                           QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Liberation Mono"),
                           QStringLiteral("Noto Mono"), QStringLiteral("Courier New")};
    const QStringList families = QFontDatabase::families();
    for (const QString& family : families)
        if (QFontDatabase::isFixedPitch(family)) candidates << family;
    for (const QString& family : candidates) {
        if (!families.contains(family, Qt::CaseInsensitive)) continue;
        QFont font(family, QFontDatabase::systemFont(QFontDatabase::FixedFont).pointSize());
        if (IsMonospaced(font)) return font;
    }
    return QFontDatabase::systemFont(QFontDatabase::FixedFont);
}

}  // namespace

void frmMain::BuildLayout() {
    m_host = new QWidget(this);
    m_host->setObjectName(QStringLiteral("frmMainClient"));
    setCentralWidget(m_host);
    // The splitter is not in a layout of the host: when the window is smaller than the panes
    // need, the host clips them instead of squeezing.
    m_split = new QSplitter(Qt::Horizontal, m_host);
    m_split->setObjectName(QStringLiteral("splitPanes"));
    m_split->setChildrenCollapsible(false);
    m_split->setHandleWidth(kSplitterWidth);
    m_split->addWidget(fraLangCat);
    m_split->addWidget(fraTitles);
    m_split->addWidget(fraItems);
    m_split->setStretchFactor(0, 0);
    m_split->setStretchFactor(1, 0);
    m_split->setStretchFactor(2, 1);
    m_split->handle(1)->setObjectName(QStringLiteral("picSplitLangCatTitle"));
    m_split->handle(2)->setObjectName(QStringLiteral("picSplitTitleItem"));
    for (int i = 1; i <= 2; ++i) m_split->handle(i)->setCursor(Qt::SizeHorCursor);

    // Languages and categories.
    QBoxLayout* lc = PaneLayout(fraLangCat);
    lc->addWidget(lblLanguage);
    lc->addSpacing(kMargin);
    lc->addWidget(cboLanguage);
    lc->addSpacing(kMargin);
    lc->addWidget(lblCategory);
    lc->addWidget(lstCategory, 1);

    // Titles: sort label on the left, the two find buttons touching on the right.
    QBoxLayout* ti = PaneLayout(fraTitles);
    QHBoxLayout* titleRow = Row();
    titleRow->addWidget(lblTitles);
    titleRow->addStretch(1);
    titleRow->addSpacing(kMargin / 2);
    titleRow->addWidget(cmdFind);
    titleRow->addWidget(cmdFindClear);
    ti->addLayout(titleRow);
    ti->addSpacing(kMargin);
    ti->addWidget(lstItem, 1);

    // Item editor.
    lblItemNo->setMinimumWidth(Px(1215));
    lblLastUpdate->setMinimumWidth(Px(2055));
    lblFileSize->setMinimumWidth(Px(855));
    QBoxLayout* it = PaneLayout(fraItems);
    QHBoxLayout* commands = Row();
    commands->addWidget(cmdNew);
    commands->addWidget(cmdSave);
    commands->addWidget(cmdDelete);
    commands->addStretch(1);
    commands->addSpacing(kMargin);
    commands->addWidget(lblItemNo);
    it->addLayout(commands);
    QHBoxLayout* titleLine = Row();
    titleLine->addWidget(lblTitle, 0, Qt::AlignBottom);
    titleLine->addStretch(1);
    titleLine->addWidget(lblLastUpdate, 0, Qt::AlignTop);
    it->addLayout(titleLine);
    it->addWidget(txtTitle);
    it->addSpacing(kMargin);
    it->addWidget(lblItem);
    it->addWidget(txtItem, 1);
    it->addSpacing(kMargin);
    it->addWidget(lblFileName);
    QHBoxLayout* attachment = Row();
    attachment->addWidget(txtFileName, 1);
    attachment->addWidget(cmdFileAttach);
    attachment->addWidget(cmdFileSave);
    attachment->addWidget(cmdFileClear);
    attachment->addSpacing(kMargin);
    attachment->addWidget(lblFileSize);
    it->addLayout(attachment);
    it->addSpacing(kMargin);
    // The language's caption sits over its combo.
    cboItemLanguage->setFixedWidth(Px(1800));
    lblItemLanguage->setFixedWidth(Px(1800));
    QHBoxLayout* fileLabels = Row(kMargin);
    fileLabels->addWidget(lblItemCategories, 1);
    fileLabels->addWidget(lblItemLanguage);
    it->addLayout(fileLabels);
    QHBoxLayout* filing = Row(kMargin);
    filing->addWidget(txtItemCategories, 1);
    filing->addWidget(cboItemLanguage);
    it->addLayout(filing);

    // Buttons keep the design's compact width (615 twips) unless their caption needs more;
    // the style would otherwise make every one of them at least 80 pixels wide.
    for (QPushButton* b : {cmdFind, cmdFindClear, cmdNew, cmdSave, cmdDelete, cmdFileAttach,
                           cmdFileSave, cmdFileClear}) {
        const QString caption = b->text().remove(QLatin1Char('&'));
        b->setFixedWidth(qMax(Px(615), b->fontMetrics().horizontalAdvance(caption) + 2 * kMargin));
    }

    // The sort label is as wide as its longest caption, so no sort name is ever cut.
    const QString caption = lblTitles->text();
    int widest = 0;
    for (const char* name : {"Name", "Modify Date", "Created Date", "File Size"}) {
        lblTitles->setText(QStringLiteral("T&itles: (") + QLatin1String(name) + QLatin1Char(')'));
        widest = qMax(widest, lblTitles->sizeHint().width());
    }
    lblTitles->setText(caption);
    lblTitles->setMinimumWidth(widest);

    SetPaneMinimum(fraLangCat, 1100, 1800);
    SetPaneMinimum(fraTitles, 2075, 1200);
    SetPaneMinimum(fraItems, 3500, 3300);

    // The first showing: room for the captions and a 40-character code line, a left pane wide
    // enough for the largest count a category line shows, the titles pane a little wider than
    // the design's 2320 twips. A smaller screen gets what it has.
    const QFontMetrics lists(lstCategory->font());
    const int countLine = lists.horizontalAdvance(QStringLiteral("<All Categories>  (100000)")) +
                          2 * lstCategory->frameWidth() + style()->pixelMetric(QStyle::PM_ScrollBarExtent) +
                          // the list's own margin on both sides of an entry's text
                          2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, lstCategory) + 1) +
                          2 * kMargin;
    m_defaultLeft = std::max({Px(1800 - 120), fraLangCat->minimumWidth(), countLine});
    m_defaultMiddle = qMax(Px(3900), fraTitles->minimumWidth());
    QSize client(1000, 700 - menuBar()->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        client = client.boundedTo(screen->availableSize() - QSize(0, menuBar()->sizeHint().height()));
    client = client.expandedTo(QSize(kMargin + m_defaultLeft + m_defaultMiddle + 2 * kSplitterWidth +
                                         fraItems->minimumWidth() + kMargin,
                                     fraItems->minimumHeight() + 2 * kMargin));
    m_split->setSizes({m_defaultLeft, m_defaultMiddle,
                       client.width() - 2 * kMargin - m_defaultLeft - m_defaultMiddle - 2 * kSplitterWidth});
    m_split->setGeometry(kMargin, kMargin, client.width() - 2 * kMargin, client.height() - 2 * kMargin);
    resize(client.width(), client.height() + menuBar()->sizeHint().height());
    m_leftPaneWidth = m_defaultLeft;
    m_middlePaneWidth = m_defaultMiddle;

    m_host->installEventFilter(this);
    connect(m_split, &QSplitter::splitterMoved, this, [this](int, int index) {
        // The right bar stops where the titles pane reaches its minimum: the splitter itself
        // would push the left bar along.
        QList<int> sizes = m_split->sizes();
        if (index == 2 && sizes.value(0) != m_leftPaneWidth) {
            const int total = sizes[0] + sizes[1] + sizes[2];
            sizes[0] = m_leftPaneWidth;
            sizes[1] = fraTitles->minimumWidth();
            sizes[2] = total - sizes[0] - sizes[1];
            m_split->setSizes(sizes);
        }
        m_leftPaneWidth = m_split->sizes().value(0);
        m_middlePaneWidth = m_split->sizes().value(1);
        LayoutPanes();
    });
}

void frmMain::ApplyLook() {
    // The code pane: monospaced, a tab every four characters (the editor's own setting).
    txtItem->SetCodeFont(CodeFont());
    if (Look() == QLatin1String("System")) {
        ApplySystemLook();
        return;
    }
    const QColor blue(0, 0, 255);
    const QPalette platform = QApplication::palette();
    for (QWidget* w : std::initializer_list<QWidget*>{m_host, fraLangCat, fraTitles, fraItems}) {
        QPalette p = w->palette();
        p.setColor(QPalette::Window, blue);
        p.setColor(QPalette::WindowText, Qt::white);
        w->setPalette(p);
        w->setAutoFillBackground(true);
    }
    // Flat tool buttons on a pane (History) draw their text as the pane's labels do.
    for (QToolButton* t : fraItems->findChildren<QToolButton*>(Qt::FindDirectChildrenOnly)) {
        QPalette p = t->palette();
        p.setColor(QPalette::ButtonText, Qt::white);
        t->setPalette(p);
    }
    // Labels draw white on the pane; buttons are white; lists and text boxes keep the platform's.
    for (QPushButton* b : {cmdFind, cmdFindClear, cmdNew, cmdSave, cmdDelete, cmdFileAttach,
                           cmdFileSave, cmdFileClear}) {
        QPalette p = b->palette();
        p.setColor(QPalette::Button, Qt::white);
        p.setColor(QPalette::ButtonText, Qt::black);
        p.setColor(QPalette::Disabled, QPalette::ButtonText, Qt::gray);
        p.setColor(QPalette::Window, Qt::white);
        p.setColor(QPalette::WindowText, Qt::black);
        // The focus frame is drawn in the highlight colour: dark, so it shows on white.
        p.setColor(QPalette::Highlight, QColor(0, 0, 128));
        b->setPalette(p);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{cboLanguage, lstCategory, lstItem, txtTitle,
                                                      txtItem, txtItemCategories, txtFileName, cboItemLanguage}) {
        QPalette p = w->palette();
        for (QPalette::ColorRole role : {QPalette::Window, QPalette::WindowText, QPalette::Button,
                                         QPalette::ButtonText})
            p.setColor(role, platform.color(role));
        w->setPalette(p);
    }
}

void frmMain::LayoutPanes() {
    if (!m_laidOut) {
        m_splitLangCatRatio = 0.2f;
        m_splitTitleItemRatio = 0.4f;
        m_laidOut = true;
    }
    if (isMinimized()) return;
    FitPanes();
    // The panes left of the right splitter keep their widths; the right pane takes the rest
    // down to its minimum, below which the window clips.
    const QList<int> sizes = m_split->sizes();
    const int hw = m_split->handleWidth();
    const int needWidth = kMargin + sizes.value(0) + hw + sizes.value(1) + hw + fraItems->minimumWidth() + kMargin;
    const QSize needSplit = m_split->minimumSizeHint();
    const int minWidth = std::max({kMinClientWidth, needWidth, needSplit.width() + 2 * kMargin});
    const int minHeight = qMax(kMinClientHeight, needSplit.height() + 2 * kMargin);
    const int w = qMax(m_host->width(), minWidth);
    const int h = qMax(m_host->height(), minHeight);
    const QRect want(kMargin, kMargin, w - 2 * kMargin, h - 2 * kMargin);
    if (m_split->geometry() != want) m_split->setGeometry(want);
    // The splitter places its bars in its own resize handling, which may come later.
    QTimer::singleShot(0, this, [this] { StoreSplitRatios(); });
}

void frmMain::FitPanes() {
    // A narrow window takes the room from the titles pane, then from the languages pane, so
    // that the item pane keeps its minimum and its buttons stay on screen; the chosen widths
    // come back when there is room again. Below every minimum the window clips.
    const QList<int> sizes = m_split->sizes();
    if (sizes.size() != 3 || m_leftPaneWidth <= 0 || m_middlePaneWidth <= 0) return;
    const int room = m_host->width() - 2 * kMargin - 2 * m_split->handleWidth() - fraItems->minimumWidth();
    const int middle = qMax(fraTitles->minimumWidth(), qMin(m_middlePaneWidth, room - m_leftPaneWidth));
    const int left = qMax(fraLangCat->minimumWidth(), qMin(m_leftPaneWidth, room - middle));
    if (sizes[0] == left && sizes[1] == middle) return;
    const int total = sizes[0] + sizes[1] + sizes[2];
    m_split->setSizes({left, middle, qMax(total - left - middle, fraItems->minimumWidth())});
}

namespace {

QString JoinNumbers(std::initializer_list<int> numbers) {
    QStringList parts;
    for (int n : numbers) parts << QString::number(n);
    return parts.join(QLatin1Char(','));
}

// Whole numbers separated by commas; empty when the text holds anything else.
QList<int> SplitNumbers(const QString& text, int count) {
    QList<int> out;
    for (const QString& part : text.split(QLatin1Char(','))) {
        bool ok = false;
        const int n = part.trimmed().toInt(&ok);
        if (!ok) return {};
        out << n;
    }
    return out.size() == count ? out : QList<int>();
}

}  // namespace

void frmMain::RestoreLayout() {
    // A geometry from another screen set-up that no screen can show any more is dropped.
    const QList<int> g = SplitNumbers(gSettings->GetSetting(QStringLiteral("WindowGeometry")), 4);
    if (!g.isEmpty()) {
        const QRect saved(g[0], g[1], g[2], g[3]);
        const QPoint grip(saved.center().x(), saved.top() + 10);  // where the title bar is
        const QScreen* screen = QGuiApplication::screenAt(grip);
        const bool fits = screen && saved.width() >= minimumSizeHint().width() / 2 && saved.height() > 0 &&
                          saved.width() <= screen->availableGeometry().width() &&
                          saved.height() <= screen->availableGeometry().height();
        if (fits) {
            // The numbers are the frame's position and the client's size: what move() and
            // resize() take, so the window comes back exactly where it was.
            resize(saved.size());
            move(saved.topLeft());
            m_restoredGeometry = true;
        }
    }
    const QList<int> panes = SplitNumbers(gSettings->GetSetting(QStringLiteral("PaneWidths")), 2);
    if (!panes.isEmpty()) {
        const int left = qMax(panes[0], fraLangCat->minimumWidth());
        const int middle = qMax(panes[1], fraTitles->minimumWidth());
        const QList<int> sizes = m_split->sizes();
        const int total = sizes.value(0) + sizes.value(1) + sizes.value(2);
        m_split->setSizes({left, middle, qMax(total - left - middle, fraItems->minimumWidth())});
        m_leftPaneWidth = left;
        m_middlePaneWidth = middle;
    }
    if (WholeNumber(gSettings->GetSetting(QStringLiteral("WindowMaximized"))) != 0)
        setWindowState(windowState() | Qt::WindowMaximized);
}

void frmMain::SaveLayout() {
    // geometry() is the client area; move() places the frame. Storing the client's corner made
    // the window creep down by the title bar's height at every start.
    const QRect normal = isMaximized() || isMinimized() ? normalGeometry() : geometry();
    const QPoint frame = normal.topLeft() - (geometry().topLeft() - pos());
    if (normal.isValid())
        gSettings->SaveSetting(QStringLiteral("WindowGeometry"),
                               JoinNumbers({frame.x(), frame.y(), normal.width(), normal.height()}));
    gSettings->SaveSetting(QStringLiteral("WindowMaximized"), isMaximized() ? -1 : 0);
    // The widths chosen, not those a narrow window lent to the item pane.
    gSettings->SaveSetting(QStringLiteral("PaneWidths"), JoinNumbers({m_leftPaneWidth, m_middlePaneWidth}));
}

void frmMain::StoreSplitRatios() {
    const int w = qMax(m_host->width(), kMinClientWidth);
    m_splitLangCatRatio = float(SplitterLeft(0)) / float(w);
    m_splitTitleItemRatio = float(SplitterLeft(1)) / float(w);
}

int frmMain::SplitterLeft(int index) const {
    const QSplitterHandle* h = m_split->handle(index + 1);
    return h ? m_split->x() + h->x() : 0;
}

// What a user does to a control: a switched-off control refuses it in its own event handler, which
// comes after the window's filters.
static bool IsUserInput(const QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    // While the busy switch is off, the filters below must not act for a control either.
    if (const auto* w = qobject_cast<QWidget*>(watched); w && !w->isEnabled() && IsUserInput(event))
        return false;
    if (KeyboardEvent(watched, event)) return true;
    NoDatabaseEvent(watched, event);
    if (EditEvent(watched, event)) return true;
    if (AttachmentEvent(watched, event)) return true;
    if (MenuKeyEvent(watched, event)) return true;
    if (watched == m_host && event->type() == QEvent::Resize) {
        LayoutPanes();
    } else if (watched == lblTitles && event->type() == QEvent::MouseButtonRelease) {
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            lblTitles_Click();
            return true;
        }
    } else if (watched == txtTitle && event->type() == QEvent::FocusIn) {
        // After the click that gave the focus has placed the cursor.
        QTimer::singleShot(0, txtTitle, [this] { txtTitle->selectAll(); });
    }
    return QMainWindow::eventFilter(watched, event);
}
