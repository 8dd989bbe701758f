// Main window: the item editor on the right, with New, Save and Delete.
#include "app/frmMain.h"
#include "app/CodeEditor.h"
#include "app/frmMainTools.h"

#include "db/basDB.h"
#include "util/CPrompt.h"
#include "util/basFileTools.h"
#include "util/basTime.h"
#include "util/basVariableTools.h"

#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScopeGuard>

void frmMain::ShowFileName(const QString& name) {
    // A long name shows its start, and the whole of it when the pointer rests on it.
    txtFileName->setText(name);
    txtFileName->setCursorPosition(0);
    const QString hint = QStringLiteral("Double-click to open the attached file");
    txtFileName->setToolTip(name.isEmpty() ? hint : name + QLatin1Char('\n') + hint);
}

void frmMain::ClearItem() {
    txtTitle->setText(QString());
    txtItem->SetCode(QString());
    txtItemCategories->setText(QString());
    ShowFileName(QString());
    lblFileSize->setText(QString());
    lblFileSize->setToolTip(QString());
    lblLastUpdate->setText(QString());
    m_loadedLanguage.clear();
    SetItemLanguage(QString());
}

void frmMain::ShowCurrentItem() {
    ItemRecord rec;
    LoadItem(m_itemId, rec);  // the window's message when it fails; the editor then shows nothing
    txtTitle->setText(rec.title);
    txtItem->SetCode(rec.body);
    if (!m_findWords.isEmpty()) txtItem->MarkWords(m_findWords);
    ShowFileName(rec.fileName);
    lblLastUpdate->setText(rec.lastUpdate.isEmpty() ? QString() : QStringLiteral("Updated: ") + rec.lastUpdate);
    if (rec.fileSize < 1) {
        lblFileSize->setText(QString());
        lblFileSize->setToolTip(QString());
    } else {
        lblFileSize->setText(FormatByteSize(rec.fileSize));
        lblFileSize->setToolTip(FormatByteSize(rec.storedSize) + QStringLiteral(" Compressed"));
    }
    txtItemCategories->setText(rec.categories);
    ShowItemLanguage();
    m_itemChanged = false;
}

CItem frmMain::EditedItem(const QString& language) const {
    CItem item;
    item.id = m_itemId;
    item.title = txtTitle->text();
    item.body = txtItem->Code();
    item.language = language;
    item.categories = CItem::SplitCategories(txtItemCategories->text());
    return item;
}

bool frmMain::SaveCurrentItem() {
    // The item's own language; a new item not given one takes the browsed language.
    QString language = ItemLanguage();
    if (language.isEmpty() && m_itemId == -1) language = BrowseLanguage();
    if (language.isEmpty()) {
        Prompt().MsgBox(QStringLiteral("Please select a language before saving"), CPrompt::vbOKOnly);
        return false;
    }
    if (txtItemCategories->text().isEmpty() && SelectedCategoryID() != -1)
        txtItemCategories->setText(StripCount(lstCategory->currentItem()->text()));
    if (CategoryNames(txtItemCategories->text()).isEmpty()) {
        Prompt().MsgBox(QStringLiteral("Please select a category or enter one or more categories "
                                       "separated by commas"),
                        CPrompt::vbOKOnly);
        return false;
    }
    QString error;
    int saved = 0;
    m_activity |= Writing;
    const auto written = qScopeGuard([this] { m_activity &= ~Writing; });
    if (!IsDatabaseOpen()) {
        error = CSQLite::NoDatabaseText() + QStringLiteral(". Open or create one from the File menu.");
    } else {
        // Links under other languages stay unless the item moved away from the loaded one.
        const QStringList replaced = m_itemId == -1 || m_loadedLanguage.isEmpty() ? QStringList()
                                                                                  : QStringList{m_loadedLanguage};
        saved = SaveItem(EditedItem(language), true, &error, replaced);
    }
    if (saved == 0) {
        // The edits stay in the editor, still marked as changed, so nothing is lost.
        Prompt().MsgBox(QStringLiteral("Unable to save this item.") +
                            (error.isEmpty() ? QString() : QStringLiteral("\n") + error),
                        CPrompt::vbExclamation);
        return false;
    }
    SetCurrentItemID(saved);
    m_savedLanguage = language;
    ShowCurrentItem();
    m_itemChanged = false;
    LoadLanguages();
    Prompt().Beep();
    return true;
}

void frmMain::cmdNew_Click() { NewItem(); }

int frmMain::NewItem() {
    int answer = 0;
    if (m_itemChanged) {
        answer = SavePrompt();
        if (answer == CPrompt::vbCancel) return answer;
    }
    ClearItem();
    StartItemLanguage();
    SetCurrentItemID(-1);
    m_itemChanged = false;
    txtTitle->setFocus();
    return answer;
}

void frmMain::cmdSave_Click() { SaveCurrentItem(); }

void frmMain::cmdDelete_Click() {
    if (Prompt().MsgBox(QStringLiteral("Are you sure you want to delete this item?"),
                        CPrompt::vbOKCancel) != CPrompt::vbOK)
        return;
    m_activity |= Writing;
    const auto written = qScopeGuard([this] { m_activity &= ~Writing; });
    if (m_itemId != -1) {
        QString error;
        if (!IsDatabaseOpen()) error = CSQLite::NoDatabaseText() + QLatin1Char('.');
        if (!error.isEmpty() || !DeleteItem(m_itemId, &error)) {
            Prompt().MsgBox(QStringLiteral("Unable to delete this item.") +
                                (error.isEmpty() ? QString() : QStringLiteral("\n") + error),
                            CPrompt::vbExclamation);
            return;
        }
    }
    ClearItem();
    SetCurrentItemID(-1);
    m_itemChanged = false;
    // The counts of the language and category lists follow the delete at once.
    if (m_listsBehind) LoadLanguages();
    else LoadTitleList();
}

void frmMain::ItemText_Change() {
    if (!Doing(Filling)) m_itemChanged = true;
}
