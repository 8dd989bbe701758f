#include "ui/frmHelp.h"

#include "db/basDB.h"
#include "ui/DesignFont.h"
#include "ui/basDisplayTools.h"
#include "ui/frmSQL.h"
#include "util/basFileTools.h"
#include "util/basProgram.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QVersionNumber>

QString frmHelp::VersionText() {
    const QVersionNumber v = QVersionNumber::fromString(AppVersion());
    return QStringLiteral("Version %1.%2.%3 ").arg(v.majorVersion()).arg(v.minorVersion()).arg(v.microVersion()) +
           AppComment();
}

QString frmHelp::Website() { return AppWebsite(); }

frmHelp::frmHelp(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmHelp"));
    resize(TwipsToPixels(8145), TwipsToPixels(6360));
    setSizeGripEnabled(true);
    QPalette blue = palette();
    blue.setColor(QPalette::Window, QColor(0, 0, 255));
    blue.setColor(QPalette::WindowText, Qt::white);
    blue.setColor(QPalette::Base, QColor(0, 0, 255));
    blue.setColor(QPalette::Text, Qt::white);
    setPalette(blue);
    setAutoFillBackground(true);
    const QFont font = DesignFont(this->font(), 9.75);

    lblVersion = new QLabel(this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblVersion->setFont(font);
    lblVersion->setText(QStringLiteral("Version"));
    lblVersion->setGeometry(TwipsToPixels(120), TwipsToPixels(120), TwipsToPixels(5445), TwipsToPixels(225) + 2);

    lblWebsite = new QLabel(this);
    lblWebsite->setObjectName(QStringLiteral("lblWebsite"));
    lblWebsite->setFont(font);
    lblWebsite->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblWebsite->setCursor(Qt::PointingHandCursor);
    lblWebsite->installEventFilter(this);

    txtHelp = new QPlainTextEdit(this);
    txtHelp->setObjectName(QStringLiteral("txtHelp"));
    txtHelp->setFont(font);
    txtHelp->setReadOnly(true);
    txtHelp->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    txtHelp->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtHelp->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    txtHelp->setFrameShape(QFrame::NoFrame);
    txtHelp->move(TwipsToPixels(133), TwipsToPixels(480));
    txtHelp->installEventFilter(this);
    Form_Load();
    txtHelp->setFocus();
}

void frmHelp::Form_Load() {
    ++m_loads;
    setWindowTitle(QStringLiteral("About ") + AppTitle());
    lblVersion->setText(VersionText());
    lblWebsite->setText(Website());
    // Right-aligned at the design's right edge, as wide as its text.
    const int right = TwipsToPixels(7320 + 720);
    const int w = lblWebsite->sizeHint().width();
    lblWebsite->setGeometry(right - w, TwipsToPixels(120), w, lblWebsite->sizeHint().height());
    // A platform font wider than the design's gets a window wide enough for both lines.
    const int versionWidth = lblVersion->sizeHint().width();
    lblVersion->resize(qMax(lblVersion->width(), versionWidth), lblVersion->height());
    const int overlap = lblVersion->x() + versionWidth + TwipsToPixels(240) - lblWebsite->x();
    if (overlap > 0) {
        lblWebsite->move(lblWebsite->x() + overlap, lblWebsite->y());
        resize(width() + overlap, height());
    }
    // Row "main" of table Help; no file, table or row give no text.
    txtHelp->setPlainText(ShippedText(QStringLiteral("Help"), QStringLiteral("Desc"), QStringLiteral("main")));
}

void frmHelp::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    // A margin below and beside the text as above it: the last line and the scroll bar's end
    // stay inside the window, clear of the size grip.
    const int margin = txtHelp->x();
    txtHelp->resize(qMax(0, width() - txtHelp->x() - margin), qMax(0, height() - txtHelp->y() - margin));
}

void frmHelp::showEvent(QShowEvent* event) {
    m_hiddenForTester = false;
    QDialog::showEvent(event);
}

bool frmHelp::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lblWebsite && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        ShellOpen(lblWebsite->text());
        return true;
    }
    if (watched == txtHelp && event->type() == QEvent::KeyRelease) {
        auto* k = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers held =
            k->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
        if (k->key() == Qt::Key_Q && !k->isAutoRepeat() && held == (Qt::ControlModifier | Qt::AltModifier)) {
            OpenTester();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmHelp::OpenTester() {
    // Hidden, not closed: the About command's modal call returns once the tester is closed, and
    // the next About shows this window as it is.
    m_hiddenForTester = true;
    hide();
    frmSQL tester(parentWidget());
    tester.exec();
}
