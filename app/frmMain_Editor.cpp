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
}

void frmMain::ShowCurrentItem() {
    ItemRecord rec;
    LoadItem(m_itemId, rec);
    txtTitle->setText(rec.title);
    txtItem->SetCode(rec.body);
    txtItem->SetLanguage(EntryName(cboLanguage->currentText()));
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
    m_itemChanged = false;
}

bool frmMain::SaveCurrentItem() {
    const QString language = cboLanguage->currentText();
    const bool validLanguage = language.left(15) != QLatin1String("<All Languages>") &&
                               (!EntryName(language).trimmed().isEmpty() || SelectedLanguageID() > 0);
    if (!validLanguage) {
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
    int itemId = m_itemId;
    int saved = 0;
    CSQLite::Stamp before;
    if (!IsDatabaseOpen()) {
        error = CSQLite::NoDatabaseText() + QStringLiteral(". Open or create one from the File menu.");
    } else {
        before = gDB->ChangeStamp();
        saved = SaveItem(EntryName(language), itemId, txtTitle->text(), txtItem->Code(),
                         txtItemCategories->text(),
                         UtcNowText(), true, TimeBase::Utc, &error);
    }
    if (saved == 0) {
        // The edits stay in the editor, still marked as changed, so nothing is lost.
        Prompt().MsgBox(QStringLiteral("Unable to save this item.") +
                            (error.isEmpty() ? QString() : QStringLiteral("\n") + error),
                        CPrompt::vbExclamation);
        return false;
    }
    // The lists below then show the saved item without reading every other one again.
    KeptItemChanged(saved, before);
    SetCurrentItemID(saved);
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
    if (m_itemId != -1) {
        QString error;
        if (!IsDatabaseOpen()) error = CSQLite::NoDatabaseText() + QLatin1Char('.');
        const CSQLite::Stamp before = error.isEmpty() ? gDB->ChangeStamp() : CSQLite::Stamp();
        if (!error.isEmpty() || !DeleteItem(m_itemId, &error)) {
            Prompt().MsgBox(QStringLiteral("Unable to delete this item.") +
                                (error.isEmpty() ? QString() : QStringLiteral("\n") + error),
                            CPrompt::vbExclamation);
            return;
        }
        KeptItemChanged(m_itemId, before);
    }
    ClearItem();
    SetCurrentItemID(-1);
    m_itemChanged = false;
    LoadTitleList();
}

void frmMain::ItemText_Change() {
    if (!m_loading) m_itemChanged = true;
}
