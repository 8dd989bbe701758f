#include "ui/QtPrompt.h"
#include "ui/frmStatusBar.h"
#include "UiDrive.h"
#include "util/basProgram.h"

#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

struct Seen {
    QString text, title;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    Qt::TextFormat format = Qt::AutoText;
};

// Shows a box through MsgBox and answers it with act; records what the box showed.
int Ask(int style, std::function<void(QMessageBox*)> act, Seen* seen = nullptr, const QString& title = {}) {
    WhenModal<QMessageBox>([act, seen](QMessageBox* box) {
        if (seen) {
            seen->text = box->text();
            seen->title = box->windowTitle();
            seen->buttons = box->standardButtons();
            seen->icon = box->icon();
            seen->defaultButton = box->standardButton(box->defaultButton());
            seen->format = box->textFormat();
        }
        act(box);
    });
    QtPrompt prompt;
    return prompt.MsgBox("Question?", style, title);
}

std::function<void(QMessageBox*)> Click(QMessageBox::StandardButton b) {
    return [b](QMessageBox* box) { box->button(b)->click(); };
}

}  // namespace

TEST(QtPromptMsgBox, EachStyleShowsItsButtonsAndAnswersItsCodesAlsoForEscapeAndClose) {
    using SB = QMessageBox::StandardButton;
    struct Case {
        int style;
        QMessageBox::StandardButtons buttons;
        SB click;
        int answer;
        int escape;  // Escape answers Cancel, else No or OK
    };
    const Case cases[] = {
        {CPrompt::vbOKOnly, SB::Ok, SB::Ok, 1, 1},
        {CPrompt::vbOKCancel, SB::Ok | SB::Cancel, SB::Cancel, 2, 2},
        {CPrompt::vbYesNoCancel, SB::Yes | SB::No | SB::Cancel, SB::Yes, 6, 2},
        {CPrompt::vbYesNoCancel, SB::Yes | SB::No | SB::Cancel, SB::Cancel, 2, 2},
        {CPrompt::vbYesNo, SB::Yes | SB::No, SB::No, 7, 7},
    };
    const auto escape = [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); };
    for (const Case& c : cases) {
        EXPECT_EQ(Ask(c.style, escape), c.escape) << c.style;
        Seen seen;
        EXPECT_EQ(Ask(c.style | CPrompt::vbQuestion, Click(c.click), &seen), c.answer) << c.style;
        EXPECT_EQ(seen.buttons, c.buttons) << c.style;
        // The first button is the default, as in a message box.
        EXPECT_EQ(seen.defaultButton, c.style == CPrompt::vbYesNo || c.style == CPrompt::vbYesNoCancel
                                          ? SB::Yes
                                          : SB::Ok);
    }
    // Closing the box answers like Escape.
    const auto close = [](QMessageBox* box) { box->close(); };
    EXPECT_EQ(Ask(CPrompt::vbYesNoCancel | CPrompt::vbQuestion, close), 2);
    EXPECT_EQ(Ask(CPrompt::vbYesNo | CPrompt::vbQuestion, close), 7);
}

TEST(QtPromptMsgBox, IconsTitleTextAndDefaultButtonBits) {
    const struct {
        int style;
        QMessageBox::Icon icon;
    } icons[] = {{0, QMessageBox::NoIcon},
                 {CPrompt::vbCritical, QMessageBox::Critical},
                 {CPrompt::vbQuestion, QMessageBox::Question},
                 {CPrompt::vbExclamation, QMessageBox::Warning},
                 {CPrompt::vbInformation, QMessageBox::Information}};
    for (const auto& c : icons) {
        Seen seen;
        Ask(c.style, Click(QMessageBox::Ok), &seen);
        EXPECT_EQ(seen.icon, c.icon) << c.style;
        EXPECT_EQ(seen.title, AppTitle()) << "an empty title means the program's";
        EXPECT_EQ(seen.text, "Question?");
        // Engine error texts may hold "<": never taken as markup.
        EXPECT_EQ(seen.format, Qt::PlainText);
    }
    Seen seen;
    Ask(CPrompt::vbOKOnly, Click(QMessageBox::Ok), &seen, "Import");
    EXPECT_EQ(seen.title, "Import");
    // 256: second button is the default; 512: the third, or the last on a two-button box.
    for (auto [style, button] : {std::pair(CPrompt::vbYesNo | 256, QMessageBox::No),
                                 std::pair(CPrompt::vbYesNoCancel | 512, QMessageBox::Cancel),
                                 std::pair(CPrompt::vbOKCancel | 512, QMessageBox::Cancel)}) {
        Ask(style, Click(button), &seen);
        EXPECT_EQ(seen.defaultButton, button) << style;
    }
}

TEST(QtPromptInputBox, AcceptedTextComesBackCancelKeepsTheValue) {
    QtPrompt prompt;
    int shown = 0;
    WhenModal<QInputDialog>([&](QInputDialog* dlg) {
        ++shown;
        EXPECT_EQ(dlg->labelText(), "New name:");
        auto* label = dlg->findChild<QLabel*>();
        EXPECT_TRUE(label && label->textFormat() == Qt::PlainText);
        EXPECT_EQ(dlg->windowTitle(), "Rename");
        EXPECT_EQ(dlg->textValue(), "Win32");
        dlg->setTextValue("API");
        dlg->accept();
    });
    QString value = "Win32";
    EXPECT_TRUE(prompt.InputBox("New name:", "Rename", value));
    EXPECT_EQ(value, "API");

    WhenModal<QInputDialog>([&](QInputDialog* dlg) {
        ++shown;
        EXPECT_EQ(dlg->windowTitle(), AppTitle());
        dlg->setTextValue("typed");
        dlg->reject();
    });
    EXPECT_FALSE(prompt.InputBox("New name:", {}, value));
    EXPECT_EQ(value, "API");
    EXPECT_EQ(shown, 2);
}

TEST(QtPromptProgress, ShowTextUpdateCancelCloseAndASecondOperationInsideUpdate) {
    QtPrompt prompt;
    EXPECT_FALSE(prompt.ProgressUpdate(10)) << "no window: nothing to cancel";
    prompt.ProgressClose();  // harmless without a window
    prompt.ProgressShow();
    frmStatusBar* w = prompt.ProgressWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    prompt.ProgressText(0, "Importing Database...");
    EXPECT_EQ(w->Text(0), "Importing Database...");
    // A message box during the operation stays above its window.
    bool onTop = false;
    WhenModal<QMessageBox>([&](QMessageBox* box) {
        onTop = box->windowFlags() & Qt::WindowStaysOnTopHint;
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(prompt.MsgBox("Import error", CPrompt::vbExclamation), 1);
    EXPECT_TRUE(onTop);
    EXPECT_FALSE(prompt.ProgressUpdate(10));
    w->findChild<QPushButton*>("cmdCancel")->click();
    EXPECT_TRUE(prompt.ProgressUpdate(20));
    QPointer<frmStatusBar> gone(w);
    prompt.ProgressClose();
    EXPECT_TRUE(gone.isNull());
    EXPECT_EQ(prompt.ProgressWindow(), nullptr);
    // The next one is fresh.
    prompt.ProgressShow();
    EXPECT_EQ(prompt.ProgressWindow()->Text(0), "Operation in progress...");
    // A handler run by Update starts and ends another long operation, in a window of its own.
    frmStatusBar* outer = prompt.ProgressWindow();
    prompt.ProgressText(0, "Exporting Database...");
    bool innerCancel = true;
    QString innerLine;
    QTimer::singleShot(0, [&] {
        prompt.ProgressShow();
        prompt.ProgressText(0, "Extracting Attachment");
        innerLine = prompt.ProgressWindow()->Text(0);
        innerCancel = prompt.ProgressUpdate(95);
        prompt.ProgressClose();
    });
    EXPECT_FALSE(prompt.ProgressUpdate(50));
    EXPECT_FALSE(innerCancel);
    EXPECT_EQ(innerLine, "Extracting Attachment");
    EXPECT_EQ(prompt.ProgressWindow(), outer);
    EXPECT_EQ(outer->Text(0), "Exporting Database...");
    prompt.ProgressClose();
}

TEST(QtPromptProgress, ClosingTheWindowInsideItsOwnUpdateDoesNotCrashAndThePromptTakesItsWindows) {
    QPointer<frmStatusBar> a, b;
    {
        QtPrompt prompt;
        prompt.ProgressShow();
        QPointer<frmStatusBar> w(prompt.ProgressWindow());
        QTimer::singleShot(0, [&] { prompt.ProgressClose(); });
        EXPECT_FALSE(prompt.ProgressUpdate(40));
        EXPECT_EQ(prompt.ProgressWindow(), nullptr);
        // Further calls of the finished operation go nowhere.
        EXPECT_FALSE(prompt.ProgressUpdate(50));
        prompt.ProgressClose();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(w.isNull());

        // The prompt going away takes its open windows with it.
        prompt.ProgressShow();
        a = prompt.ProgressWindow();
        prompt.ProgressShow();
        b = prompt.ProgressWindow();
        EXPECT_NE(a, b);
    }
    EXPECT_TRUE(a.isNull());
    EXPECT_TRUE(b.isNull());
}
