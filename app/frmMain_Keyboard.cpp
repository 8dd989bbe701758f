// Main window: moving the focus with the keyboard. Tab goes through the controls as they sit on
// the screen; in the code pane Tab indents, so Ctrl+Tab and Ctrl+Shift+Tab move on from there
// (and from everywhere else, for one rule).
#include "app/frmMain.h"
#include "app/CodeEditor.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>

QList<QWidget*> frmMain::TabChain() const {
    // Left to right by pane; inside a pane top to bottom, then left to right.
    return {cboLanguage, lstCategory,
            cmdFind, cmdFindClear, lstItem,
            cmdNew, cmdSave, cmdDelete, txtTitle, txtItem, txtFileName, cmdFileAttach, cmdFileSave, cmdFileClear,
            txtItemCategories, cboItemLanguage};
}

void frmMain::SetTabOrder() {
    const QList<QWidget*> chain = TabChain();
    for (qsizetype i = 1; i < chain.size(); ++i) setTabOrder(chain[i - 1], chain[i]);
    txtItem->installEventFilter(this);
}

bool frmMain::KeyboardEvent(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (!(key->modifiers() & Qt::ControlModifier) || (key->key() != Qt::Key_Tab && key->key() != Qt::Key_Backtab))
        return false;
    if (watched != txtItem) return false;
    // Taken as a shortcut override too, so that the editor never sees it as a key of its own.
    event->accept();
    if (event->type() == QEvent::KeyPress) {
        const bool back = key->key() == Qt::Key_Backtab || (key->modifiers() & Qt::ShiftModifier);
        const QList<QWidget*> chain = TabChain();
        const qsizetype at = chain.indexOf(txtItem);
        chain[back ? at - 1 : at + 1]->setFocus(back ? Qt::BacktabFocusReason : Qt::TabFocusReason);
    }
    return true;
}

void frmMain::GiveControlsTheirAccessKeys() {
    // One key per control and none that a menu title has (File, Edit, View, Tools, Help, Item):
    // with two Clears, two Saves, Title beside Titles and Tools, the captions pick other letters.
    // The window's captions hold one letter fewer than it has controls and menus, so the
    // Attachment label takes a key from outside its word, shown in brackets as is usual then.
    const std::pair<QWidget*, QString> captions[] = {
        {lblLanguage, QStringLiteral("Lang&uage")},
        {lblCategory, QStringLiteral("Categ&ories")},
        {cmdFind, QStringLiteral("Fi&nd")},
        {cmdFindClear, QStringLiteral("Clea&r")},
        {cmdNew, QStringLiteral("Ne&w")},
        {lblTitle, QStringLiteral("Tit&le")},
        {lblItem, QStringLiteral("Code and Descri&ption")},
        {lblFileName, QStringLiteral("Attachment (&B)")},
        {cmdFileAttach, QStringLiteral("Atta&ch")},
        {cmdFileSave, QStringLiteral("Unpac&k")},
        {cmdFileClear, QStringLiteral("Cle&ar")},
        {lblItemLanguage, QStringLiteral("Synta&x")},
    };
    for (const auto& [w, caption] : captions) {
        if (auto* label = qobject_cast<QLabel*>(w)) label->setText(caption);
        else if (auto* button = qobject_cast<QPushButton*>(w)) button->setText(caption);
    }
    cmdFileSave->setToolTip(QStringLiteral("Save the attached file to a file of your choice"));
    cmdFileClear->setToolTip(QStringLiteral("Remove the attached file from this item"));
    lblItemLanguage->setToolTip(QStringLiteral("The language this item is filed under and coloured as"));
}
