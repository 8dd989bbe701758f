#include "ui/frmStatusBar.h"

#include "ui/DesignFont.h"
#include "ui/basDisplayTools.h"

#include "util/basProgram.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

namespace {

// Geometry in pixels: the window was laid out in twips, 15 to the pixel.
constexpr int kClientWidth = 312;  // 4680
constexpr int kMargin = 8;         // 120
constexpr int kLineWidth = 297;    // 4455
constexpr int kLineHeight = 17;    // 255
constexpr int kLinePitch = 16;     // 240 between the tops of the lines
constexpr int kButtonWidth = 73;   // 1095
constexpr int kButtonHeight = 25;  // 375
constexpr int kButtonGap = 7;      // 1200 - (840 + 255), and the bottom margin
constexpr int kPathMargin = 7;     // 100: a path stops short of the line's end

const QColor kBlue(0, 0, 255);
const QColor kWhite(255, 255, 255);

QFont BarFont(const QFont& base) {
    QFont f = DesignFont(base, 8.25);
    f.setBold(true);
    // Crisp pixels: the fill turns the text exactly white, not a blend.
    f.setStyleStrategy(QFont::NoAntialias);
    return f;
}

}  // namespace

StatusBarSurface::StatusBarSurface(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
    setFont(BarFont(font()));
}

void StatusBarSurface::Draw(int percent) {
    percent = std::clamp(percent, 0, 100);
    const QSize size = contentsRect().size().expandedTo(QSize(1, 1));
    // Callers update once per row; the same percentage draws the same picture.
    if (percent == m_percent && m_picture.size() == size) return;
    m_percent = percent;
    if (m_picture.size() != size) m_picture = QImage(size, QImage::Format_RGB32);
    m_picture.fill(kWhite);

    const int w = size.width();
    const int h = size.height();
    const QString label = QString::number(m_percent) + QLatin1Char('%');
    QPainter p(&m_picture);
    p.setFont(font());
    const QFontMetrics fm(font());
    const int x = (w - fm.horizontalAdvance(label)) / 2;
    const int y = (h - fm.height()) / 2;
    p.setPen(kBlue);
    p.drawText(x, y + fm.ascent(), label);

    // NOT (screen XOR pen): white under the fill becomes blue, blue text becomes white.
    const int fill = (m_percent * w + 50) / 100;
    p.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
    p.fillRect(0, 0, fill, h, kBlue);
    p.end();
    update();
}

void StatusBarSurface::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter p(this);
    const QRect inner = contentsRect();
    if (m_picture.size() == inner.size())
        p.drawImage(inner.topLeft(), m_picture);
    else
        p.fillRect(inner, kWhite);
}

void StatusBarSurface::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    if (m_percent >= 0) Draw(m_percent);
}

frmStatusBar::frmStatusBar(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("frmStatusBar"));
    setAttribute(Qt::WA_QuitOnClose, false);

    QPalette pal = palette();
    pal.setColor(QPalette::Window, kBlue);
    pal.setColor(QPalette::WindowText, kWhite);
    setPalette(pal);
    setAutoFillBackground(true);

    // Lines keep their twip layout unless the font is taller than the design assumed.
    const QFontMetrics fm(font());
    const int pitch = std::max(kLinePitch, fm.height());
    const int lineHeight = std::max(kLineHeight, fm.height() + 1);
    for (int i = 0; i < kLines; ++i) {
        m_lbl[i] = new QLabel(this);
        m_lbl[i]->setObjectName(QStringLiteral("lblProgress%1").arg(i));
        m_lbl[i]->setProperty("index", i);
        m_lbl[i]->setGeometry(kMargin, kMargin + i * pitch, kLineWidth, lineHeight);
        m_lbl[i]->setTextFormat(Qt::PlainText);
    }

    m_pic = new StatusBarSurface(this);
    m_pic->setObjectName(QStringLiteral("picStatusBar"));
    const int picTop = kMargin + kLines * pitch;
    const int picHeight =
        std::max(kLineHeight, QFontMetrics(m_pic->font()).height() + 2 * m_pic->frameWidth());
    m_pic->setGeometry(kMargin, picTop, kLineWidth, picHeight);

    m_cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    QPalette bp = m_cmdCancel->palette();
    bp.setColor(QPalette::Button, kWhite);
    bp.setColor(QPalette::ButtonText, Qt::black);
    m_cmdCancel->setPalette(bp);
    const QSize hint = m_cmdCancel->sizeHint();
    const int bw = std::max(kButtonWidth, hint.width());
    const int bh = std::max(kButtonHeight, hint.height());
    const int buttonTop = picTop + picHeight + kButtonGap;
    m_cmdCancel->setGeometry((kClientWidth - bw) / 2, buttonTop, bw, bh);
    connect(m_cmdCancel, &QPushButton::clicked, this, &frmStatusBar::cmdCancel_Click);

    setFixedSize(kClientWidth, buttonTop + bh + kButtonGap);

    SetText(0, QStringLiteral("Operation in progress..."));
    SetTitle(AppTitle());

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect s = screen->geometry();
        move(s.left() + (s.width() - width()) / 2, s.top() + (s.height() - height()) / 2);
    }
}

void frmStatusBar::SetText(int index, const QString& text) {
    if (index < 0 || index >= kLines) return;
    m_text[index] = text;
    ShowLine(index);
}

QString frmStatusBar::Text(int index) const {
    return index >= 0 && index < kLines ? m_text[index] : QString();
}

void frmStatusBar::SetTitle(const QString& text) { setWindowTitle(text); }

QString frmStatusBar::Title() const { return windowTitle(); }

void frmStatusBar::ShowLine(int index) {
    // Line 1 carries a path: keep its start and its file name, drop the middle. Callers hand
    // whole texts; fitting them to the line is this window's business.
    QLabel* lbl = m_lbl[index];
    const QString shown =
        index == 1 ? CompactPath(m_text[index], lbl->fontMetrics(), lbl->width() - kPathMargin)
                   : lbl->fontMetrics().elidedText(m_text[index], Qt::ElideRight, lbl->width());
    lbl->setText(shown);
    lbl->setToolTip(shown == m_text[index] ? QString() : m_text[index]);
}

void frmStatusBar::Update(int percent, bool& cancel) {
    m_pic->Draw(percent);
    cancel = false;
    if (m_inUpdate) return;

    m_inUpdate = true;
    QPointer<frmStatusBar> self(this);
    QCoreApplication::processEvents();
    if (!self) return;  // closed by a handler that ran meanwhile
    m_inUpdate = false;
    cancel = m_cancel;
    m_cancel = false;
}

void frmStatusBar::cmdCancel_Click() { m_cancel = true; }

void frmStatusBar::closeEvent(QCloseEvent* event) {
    // The window system's close button means Cancel; the caller closes the window itself.
    if (event->spontaneous()) {
        m_cancel = true;
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}
