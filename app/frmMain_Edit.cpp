// Main window: the Edit menu. Cut, Copy, Paste and Select All act on the focused text box
// through the clipboard (plain text only); a paste into the title box keeps the first line as
// the title and sends the rest to the code box. Rename Category renames or merges.
#include "app/frmMain.h"
#include "app/CodeEditor.h"

#include "db/basDB.h"
#include "util/CPrompt.h"
#include "util/basProgram.h"
#include "util/basVariableTools.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>

namespace {

// The focused control as one of the two kinds of text box; lists and buttons are neither.
struct TextBox {
    QLineEdit* line = nullptr;
    QsciScintilla* code = nullptr;

    explicit TextBox(QWidget* w)
        : line(qobject_cast<QLineEdit*>(w)), code(qobject_cast<QsciScintilla*>(w)) {
        // An editable combo has the focus while its line edit holds the text.
        if (const auto* combo = qobject_cast<QComboBox*>(w); combo && combo->isEditable()) line = combo->lineEdit();
    }
    bool IsBox() const { return line || code; }
    bool ReadOnly() const { return line ? line->isReadOnly() : code->isReadOnly(); }
    QString Selected() const { return line ? line->selectedText() : code->selectedText(); }
    // Replaces the selection, or inserts at the caret; the code box keeps LF line ends.
    void Insert(const QString& text) const {
        if (line) line->insert(text);
        else code->replaceSelectedText(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                                           .replace(QLatin1Char('\r'), QLatin1Char('\n')));
    }
};

const QRegularExpression& LineBreak() {
    static const QRegularExpression re(QStringLiteral("\r\n|\n|\r"));
    return re;
}

bool HasClipboardText() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasText();
}

}  // namespace

void frmMain::RouteEditKeys() {
    connect(mnuEditCut, &QAction::triggered, this, [this] { mnuEditCut_Click(); });
    connect(mnuEditCopy, &QAction::triggered, this, [this] { mnuEditCopy_Click(); });
    connect(mnuEditPaste, &QAction::triggered, this, [this] { mnuEditPaste_Click(); });
    connect(mnuEditSelectAll, &QAction::triggered, this, [this] { mnuEditSelectAll_Click(); });
    connect(mnuEditRenameCategory, &QAction::triggered, this, [this] { mnuEditRenameCategory_Click(); });
    connect(mnuEditFind, &QAction::triggered, this, [this] { cmdFind_Click(); });
    connect(mnuEditFindClear, &QAction::triggered, this, [this] { cmdFindClear_Click(); });
    connect(cmdFind, &QPushButton::clicked, this, [this] { cmdFind_Click(); });
    connect(cmdFindClear, &QPushButton::clicked, this, [this] { cmdFindClear_Click(); });

    // Text boxes take the clipboard keys for themselves; the filter hands them to the menu
    // commands, so that every paste into the title box follows the title rule.
    for (QWidget* box : std::initializer_list<QWidget*>{txtTitle, txtItem, txtItemCategories,
                                                        txtFileName, cboLanguage->lineEdit()})
        box->installEventFilter(this);

    // Whatever other way a line break reaches the title (undo, a drop, an input method), it
    // becomes a blank: a title is one line.
    connect(txtTitle, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (!text.contains(LineBreak())) return;
        const int caret = txtTitle->cursorPosition();
        txtTitle->setText(QString(text).replace(LineBreak(), QStringLiteral(" ")));
        txtTitle->setCursorPosition(caret);
    });
}

bool frmMain::EditEvent(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress &&
        (watched == txtTitle || watched == txtItem || watched == txtItemCategories ||
         watched == txtFileName || watched == cboLanguage->lineEdit())) {
        const auto* key = static_cast<QKeyEvent*>(event);
        QAction* command = key->matches(QKeySequence::Cut)         ? mnuEditCut
                           : key->matches(QKeySequence::Copy)      ? mnuEditCopy
                           : key->matches(QKeySequence::Paste)     ? mnuEditPaste
                           : key->matches(QKeySequence::SelectAll) ? mnuEditSelectAll
                                                                   : nullptr;
        if (!command) return false;
        if (command->isEnabled()) command->trigger();
        return true;
    }
    if (watched != txtTitle) return false;
    if (event->type() == QEvent::ContextMenu) {
        // The box's own menu, with its Paste taking the title rule.
        QMenu* menu = txtTitle->createStandardContextMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        for (QAction* a : menu->actions()) {
            // The box's actions carry no names; its Paste is known by its (translated) text.
            if (a->text().section(QLatin1Char('\t'), 0, 0) != QLineEdit::tr("&Paste")) continue;
            QObject::disconnect(a, nullptr, txtTitle, nullptr);
            connect(a, &QAction::triggered, this, [this] {
                if (HasClipboardText()) PasteIntoTitle(QGuiApplication::clipboard()->text());
            });
        }
        menu->popup(static_cast<QContextMenuEvent*>(event)->globalPos());
        return true;
    }
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton) {
        // The middle button pastes the selection where the platform has one.
        QClipboard* clip = QGuiApplication::clipboard();
        if (clip->supportsSelection() && !txtTitle->isReadOnly())
            PasteIntoTitle(clip->text(QClipboard::Selection));
        return true;
    }
    return false;
}

void frmMain::mnuEditCut_Click() {
    const TextBox box(QApplication::focusWidget());
    if (!box.IsBox() || box.Selected().isEmpty()) return;
    mnuEditCopy_Click();
    // The attachment's name only shows what is stored: it is copied, never cut away.
    if (!box.ReadOnly()) box.Insert(QString());
}

void frmMain::mnuEditCopy_Click() {
    const TextBox box(QApplication::focusWidget());
    if (!box.IsBox()) return;
    const QString text = box.Selected();
    if (text.isEmpty()) return;
    QClipboard* clip = QGuiApplication::clipboard();
    clip->clear();
    clip->setText(text);
}

void frmMain::mnuEditPaste_Click() {
    QWidget* focused = QApplication::focusWidget();
    const TextBox box(focused);
    if (!box.IsBox() || box.ReadOnly() || !HasClipboardText()) return;
    const QString text = QGuiApplication::clipboard()->text();
    if (focused == txtTitle) PasteIntoTitle(text);
    else box.Insert(text);
}

void frmMain::PasteIntoTitle(const QString& text) {
    // The clipboard's line breaks here are LF, sometimes CR LF; a lone CR is one too.
    const QRegularExpressionMatch br = LineBreak().match(text);
    if (!br.hasMatch()) {
        txtTitle->insert(text);
        return;
    }
    // The first line replaces the whole title (through the box, so that Undo can take it back).
    txtTitle->selectAll();
    txtTitle->insert(text.left(br.capturedStart()));
    QString rest = text.mid(br.capturedEnd());
    rest.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    // Blank lines around the code go; the first code line keeps its indentation.
    qsizetype first = 0;
    while (first < rest.size() && rest.at(first).isSpace()) ++first;
    if (first == rest.size()) return;
    rest = rest.mid(first == 0 ? 0 : rest.lastIndexOf(QLatin1Char('\n'), first - 1) + 1);
    while (!rest.isEmpty() && rest.back().isSpace()) rest.chop(1);
    // The rest goes before the code already there, whatever the pane has selected: a
    // selection is never replaced by a paste aimed at the title.
    if (!txtItem->text().isEmpty()) rest += QLatin1Char('\n');
    txtItem->insertAt(rest, 0, 0);
    txtItem->setCursorPosition(0, 0);
}

void frmMain::mnuEditSelectAll_Click() {
    QWidget* focused = QApplication::focusWidget();
    // The language combo's box is no text box of the item.
    if (focused == cboLanguage || focused == cboLanguage->lineEdit()) return;
    const TextBox box(focused);
    if (box.line) box.line->selectAll();
    else if (box.code) box.code->selectAll();
}

void frmMain::mnuEditRenameCategory_Click() {
    const int categoryId = SelectedCategoryID();
    if (categoryId == -1) {
        Prompt().MsgBox(QStringLiteral("Please select a category"), CPrompt::vbOKOnly);
        return;
    }
    QString answer;
    if (!Prompt().InputBox(QStringLiteral("Enter the new category name, or enter the name of another category ") +
                               QStringLiteral("to merge the items from this category into the new one."),
                           AppTitle(), answer))
        answer.clear();
    QString select;
    if (!answer.isEmpty()) {
        QString error;
        if (RenameCategory(categoryId, answer, &error)) {
            select = answer.trimmed();
            // The editor's item may have been in the renamed category: its categories text
            // would bring the old name back at the next save.
            if (!m_itemChanged && m_itemId > 0) ShowCurrentItem();
        } else {
            Prompt().MsgBox(QStringLiteral("Unable to rename the category.") +
                                (error.isEmpty() ? QString() : QStringLiteral("\n") + error),
                            CPrompt::vbExclamation);
        }
    }
    // No answer, or a refused one, keeps the current category selected.
    LoadCategoryList(select);
}
