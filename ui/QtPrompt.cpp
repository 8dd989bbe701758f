#include "ui/QtPrompt.h"

#include "ui/CommonDialog.h"
#include "ui/frmStatusBar.h"
#include "util/basProgram.h"

#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>
#include <QPushButton>

#include <utility>
#include <vector>

namespace {

QMessageBox::Icon IconOf(int style) {
    switch (style & 0x70) {
    case CPrompt::vbCritical:
        return QMessageBox::Critical;
    case CPrompt::vbQuestion:
        return QMessageBox::Question;
    case CPrompt::vbExclamation:
        return QMessageBox::Warning;
    case CPrompt::vbInformation:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

// The buttons of a style with their answers, in the order shown.
std::vector<std::pair<QMessageBox::StandardButton, int>> ButtonsOf(int style) {
    switch (style & 7) {
    case CPrompt::vbOKCancel:
        return {{QMessageBox::Ok, CPrompt::vbOK}, {QMessageBox::Cancel, CPrompt::vbCancel}};
    case CPrompt::vbYesNoCancel:
        return {{QMessageBox::Yes, CPrompt::vbYes},
                {QMessageBox::No, CPrompt::vbNo},
                {QMessageBox::Cancel, CPrompt::vbCancel}};
    case CPrompt::vbYesNo:
        return {{QMessageBox::Yes, CPrompt::vbYes}, {QMessageBox::No, CPrompt::vbNo}};
    default:
        return {{QMessageBox::Ok, CPrompt::vbOK}};
    }
}

// Escape and the close button answer Cancel where there is one, else the last button (No, OK).
int EscapeAnswer(int style) {
    switch (style & 7) {
    case CPrompt::vbOKCancel:
    case CPrompt::vbYesNoCancel:
        return CPrompt::vbCancel;
    case CPrompt::vbYesNo:
        return CPrompt::vbNo;
    default:
        return CPrompt::vbOK;
    }
}

QString TitleOr(const QString& title) { return title.isEmpty() ? AppTitle() : title; }

// A question asked in the middle of a command that shows the hourglass gets the arrow back
// while the user answers it.
class ArrowWhileAsking {
public:
    ArrowWhileAsking() : m_busy(QApplication::overrideCursor() != nullptr) {
        if (m_busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    ~ArrowWhileAsking() {
        if (m_busy) QApplication::restoreOverrideCursor();
    }
    ArrowWhileAsking(const ArrowWhileAsking&) = delete;
    ArrowWhileAsking& operator=(const ArrowWhileAsking&) = delete;

private:
    bool m_busy;
};

}  // namespace

QtPrompt::~QtPrompt() {
    while (!m_progress.isEmpty()) ProgressClose();
}

int QtPrompt::MsgBox(const QString& text, int style, const QString& title) {
    const ArrowWhileAsking arrow;
    // No parent: a box must not die with a window that an event handler closes meanwhile.
    QMessageBox box(IconOf(style), TitleOr(title), text);
    box.setTextFormat(Qt::PlainText);
    // A short text makes a narrow box, whose title the window manager then cuts ("V...ry"):
    // the box is at least as wide as its title.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        QFont titleFont = box.font();
        titleFont.setBold(true);
        const int width = QFontMetrics(titleFont).horizontalAdvance(TitleOr(title)) + 140;
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                      grid->columnCount());
    }
    if (ProgressWindow()) box.setWindowFlag(Qt::WindowStaysOnTopHint);

    const auto buttons = ButtonsOf(style);
    const int escape = EscapeAnswer(style);
    std::vector<std::pair<QPushButton*, int>> answers;
    for (const auto& [standard, answer] : buttons) {
        QPushButton* b = box.addButton(standard);
        answers.emplace_back(b, answer);
        if (answer == escape) box.setEscapeButton(b);
    }
    // Default button: the first, or the second/third for the 256/512 style bits.
    const size_t def = std::min<size_t>((style >> 8) & 3, answers.size() - 1);
    box.setDefaultButton(answers[def].first);

    box.exec();
    const QAbstractButton* clicked = box.clickedButton();
    for (const auto& [b, answer] : answers)
        if (b == clicked) return answer;
    return escape;
}

bool QtPrompt::InputBox(const QString& prompt, const QString& title, QString& value) {
    const ArrowWhileAsking arrow;
    QInputDialog dlg;
    dlg.setWindowTitle(TitleOr(title));
    dlg.setLabelText(prompt);
    // Prompts may carry names from the database: show them as they are, never as markup.
    for (QLabel* label : dlg.findChildren<QLabel*>()) label->setTextFormat(Qt::PlainText);
    dlg.setInputMode(QInputDialog::TextInput);
    dlg.setTextValue(value);
    if (ProgressWindow()) dlg.setWindowFlag(Qt::WindowStaysOnTopHint);
    if (dlg.exec() != QDialog::Accepted) return false;
    value = dlg.textValue();
    return true;
}

QString QtPrompt::FileDialog(bool save, const QString& title, const QString& initialFile,
                             const QString& initialFolder, const QString& filter, int flags) {
    const ArrowWhileAsking arrow;
    if (save) return CommonDialog::ShowSave(title, initialFile, initialFolder, filter, flags);
    bool readOnly = false;
    return CommonDialog::ShowOpen(title, initialFile, initialFolder, filter, flags, readOnly);
}

frmStatusBar* QtPrompt::ProgressWindow() const {
    for (qsizetype i = m_progress.size() - 1; i >= 0; --i)
        if (m_progress[i]) return m_progress[i];
    return nullptr;
}

void QtPrompt::ProgressShow() {
    auto* w = new frmStatusBar;
    m_progress.append(w);
    w->show();
}

void QtPrompt::ProgressText(int line, const QString& text) {
    if (frmStatusBar* w = ProgressWindow()) w->SetText(line, text);
}

bool QtPrompt::ProgressUpdate(int percent) {
    frmStatusBar* w = ProgressWindow();
    if (!w) return false;
    bool cancel = false;
    w->Update(percent, cancel);
    return cancel;
}

void QtPrompt::ProgressClose() {
    while (!m_progress.isEmpty()) {
        QPointer<frmStatusBar> w = m_progress.takeLast();
        if (!w) continue;
        w->hide();
        // A window whose Update is still on the stack is deleted once control gets back there.
        if (w->InUpdate())
            w->deleteLater();
        else
            delete w;
        return;
    }
}

void QtPrompt::Beep() { QApplication::beep(); }
