// Main window: the three browse levels (language, category, title) and the title sort order.
#include "app/frmMain.h"
#include "app/CodeEditor.h"
#include "ui/CTitleListModel.h"
#include "app/frmMainTools.h"

#include "db/basDB.h"
#include "util/CPrompt.h"
#include "util/basVariableTools.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <utility>

namespace {

// First entry whose text begins with text, ignoring case; -1 when none.
int FindListEntry(const QStringList& entries, const QString& text) {
    for (int i = 0; i < entries.size(); ++i)
        if (entries[i].startsWith(text, Qt::CaseInsensitive)) return i;
    return -1;
}

QStringList Entries(const QComboBox* combo) {
    QStringList out;
    for (int i = 0; i < combo->count(); ++i) out << combo->itemText(i);
    return out;
}

QStringList Entries(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
}

QString EntryText(const QString& name, const QVariant& count) {
    return name + QStringLiteral("  (") + count.toString() + QLatin1Char(')');
}

// Keeps the window from repainting while a list is refilled.
class FreezeUpdates {
public:
    explicit FreezeUpdates(QWidget* w) : m_w(w), m_was(w->updatesEnabled()) { m_w->setUpdatesEnabled(false); }
    ~FreezeUpdates() { m_w->setUpdatesEnabled(m_was); }
    FreezeUpdates(const FreezeUpdates&) = delete;
    FreezeUpdates& operator=(const FreezeUpdates&) = delete;

private:
    QWidget* m_w;
    bool m_was;
};

// Marks a loader's activity on every way out of it.
class Guard {
public:
    Guard(unsigned& activity, unsigned what) : m_activity(activity), m_what(what) { m_activity |= what; }
    ~Guard() { m_activity &= ~m_what; }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
    unsigned& m_activity;
    unsigned m_what;
};

}  // namespace

int frmMain::SelectedLanguageID() const {
    const int i = cboLanguage->currentIndex();
    // Typing into the combo leaves no entry selected, even though Qt keeps the last index.
    if (i < 0 || cboLanguage->itemText(i) != cboLanguage->currentText()) return -1;
    return cboLanguage->itemData(i).toInt();
}

int frmMain::SelectedCategoryID() const {
    const QListWidgetItem* item = lstCategory->currentItem();
    if (!item || !item->isSelected()) return -1;
    return item->data(Qt::UserRole).toInt();
}

// A list whose read failed keeps what it showed; the user hears of it once per reload, however
// many of the three lists the reload touched.
class ReadReport {
public:
    explicit ReadReport(frmMain& w) : m_w(w) { ++m_w.m_readDepth; }
    ~ReadReport() {
        if (--m_w.m_readDepth > 0 || m_w.m_readError.isEmpty()) return;
        const QString error = std::exchange(m_w.m_readError, QString());
        Prompt().MsgBox(QStringLiteral("Unable to read the database: ") + error,
                        CPrompt::vbOKOnly | CPrompt::vbExclamation);
    }
    ReadReport(const ReadReport&) = delete;
    ReadReport& operator=(const ReadReport&) = delete;

private:
    frmMain& m_w;
};

bool frmMain::ReadFailed(const QString& error) {
    if (error.isEmpty()) return false;
    if (m_readError.isEmpty()) m_readError = error;
    return true;
}

void frmMain::LoadLanguages() {
    if (Doing(Languages)) return;
    Guard guard(m_activity, Languages);
    ReadReport report(*this);
    m_listsBehind = false;
    const QString previous = cboLanguage->currentText();
    {
        int total = 0;
        QString error;
        const ResultTable rows = LoadTypes(total, &error);
        if (ReadFailed(error)) return;
        const QSignalBlocker block(cboLanguage);
        cboLanguage->clear();
        cboLanguage->addItem(EntryText(QStringLiteral("<All Languages>"), total), -1);
        for (int r = 1; r <= rows.RowCount(); ++r)
            cboLanguage->addItem(EntryText(rows.Text(r, 1), rows.At(r, 2)), int(rows.Int(r, 0)));
    }
    m_activity |= Filling;
    if (!previous.isEmpty()) {
        const int i = FindListEntry(Entries(cboLanguage), EntryName(previous));
        cboLanguage->setCurrentIndex(i);
        if (i < 0) cboLanguage->setEditText(QString());
        else cboLanguage->setEditText(cboLanguage->itemText(i));
    } else if (cboLanguage->count() > 0) {
        cboLanguage->setCurrentIndex(0);
        cboLanguage->setEditText(cboLanguage->itemText(0));
    }
    m_activity &= ~Filling;
    // A line edit shows the end of a text set into it: the name is at the start.
    cboLanguage->lineEdit()->setCursorPosition(0);
    m_languageState = {cboLanguage->currentIndex(), cboLanguage->currentText()};
    FillItemLanguages();
    LoadCategoryList(QString());
}

void frmMain::LoadCategoryList(QString sSelect) {
    if (Doing(Categories)) return;
    Guard guard(m_activity, Categories);
    ReadReport report(*this);
    if (sSelect.isEmpty() && lstCategory->currentItem() && lstCategory->currentItem()->isSelected())
        sSelect = StripCount(lstCategory->currentItem()->text());
    {
        FreezeUpdates freeze(this);
        {
            int total = 0;
            QString error;
            const ResultTable rows = LoadCategories(SelectedLanguageID(), total, &error);
            if (ReadFailed(error)) return;
            const QSignalBlocker block(lstCategory);
            lstCategory->clear();
            auto* all = new QListWidgetItem(EntryText(QStringLiteral("<All Categories>"), total));
            all->setData(Qt::UserRole, -1);
            lstCategory->addItem(all);
            for (int r = 1; r <= rows.RowCount(); ++r) {
                auto* entry = new QListWidgetItem(EntryText(rows.Text(r, 1), rows.At(r, 2)));
                entry->setData(Qt::UserRole, int(rows.Int(r, 0)));
                lstCategory->addItem(entry);
            }
        }
        m_activity |= Filling;
        int select = -1;
        if (!sSelect.isEmpty()) select = FindListEntry(Entries(lstCategory), sSelect);
        else if (lstCategory->count() > 0) select = 0;
        lstCategory->setCurrentRow(select);
        if (select < 0) lstCategory->clearSelection();
        m_activity &= ~Filling;
    }
    LoadTitleList();
}

void frmMain::LoadTitleList() {
    if (Doing(Titles)) return;
    Guard guard(m_activity, Titles);
    ReadReport report(*this);
    QString error;
    CTitleRows rows = LoadTitleRows(SelectedCategoryID(), SelectedLanguageID(), m_orderBy, &error);
    if (ReadFailed(error)) return;
    // The titles are no longer a Find's hits, and come in the caption's order again.
    m_findWords.clear();
    m_findQuery.clear();
    ShowSortCaption(SortName(m_orderBy));
    txtItem->ClearMarks();
    FillTitleList(std::move(rows));
}

void frmMain::FillTitleList(CTitleRows rows) {
    FreezeUpdates freeze(this);
    const QSignalBlocker block(lstItem->selectionModel());
    m_titles->SetRows(std::move(rows));
    lstItem->setCurrentIndex(QModelIndex());
}

namespace {
const char* const kSortOrders[] = {"Title", "LastUpdate DESC", "ID", "FileSize DESC"};
const char* const kSortNames[] = {"Name", "Modify Date", "Created Date", "File Size"};
}  // namespace

QString frmMain::SortName(const QString& orderBy) {
    for (int i = 0; i < 4; ++i)
        if (orderBy == QLatin1String(kSortOrders[i])) return QLatin1String(kSortNames[i]);
    return QLatin1String(kSortNames[0]);
}

int frmMain::NextSortOrder() {
    const int used = m_sortPosition;
    m_orderBy = QLatin1String(kSortOrders[used]);
    m_sortPosition = (m_sortPosition + 1) % 4;
    return used;
}

void frmMain::ShowSortCaption(const QString& name) {
    lblTitles->setText(QStringLiteral("T&itles: (") + name + QLatin1Char(')'));
    lblTitles->setToolTip(QStringLiteral("Sorted by ") + name + QStringLiteral(". Click to change."));
}

void frmMain::lblTitles_Click() {
    ShowSortCaption(QLatin1String(kSortNames[NextSortOrder()]));
    if (isVisible() && !SortFindHits()) LoadTitleList();
}

void frmMain::cboLanguage_Click() {
    if (Doing(Filling)) return;
    // Picking an entry changes both the index and the text; it is one change for the user.
    const QPair<int, QString> state(cboLanguage->currentIndex(), cboLanguage->currentText());
    if (state == m_languageState) return;
    m_languageState = state;
    if (SelectedLanguageID() != -1 || state.first == 0) cboLanguage->lineEdit()->setCursorPosition(0);
    LoadCategoryList(QString());
}

void frmMain::lstCategory_Click() {
    if (Doing(Filling)) return;
    LoadTitleList();
}

void frmMain::lstItem_Click() {
    // Only a selected entry counts: moving the focus into the list makes an entry current
    // without selecting it.
    const QModelIndex clicked = lstItem->currentIndex();
    if (!clicked.isValid() || !lstItem->selectionModel()->isSelected(clicked)) return;
    const int clickedId = m_titles->IdAt(clicked.row());
    if (m_itemChanged) {
        const int answer = SavePrompt();
        if (answer == CPrompt::vbCancel) {
            // The editor keeps its item, and the list shows that item again.
            SelectTitle(m_itemId);
            return;
        }
        // A save has reloaded the lists; the clicked title is shown all the same.
        if (answer == CPrompt::vbYes) SelectTitle(clickedId);
    }
    SetCurrentItemID(clickedId);
    ShowCurrentItem();
}

void frmMain::SelectTitle(int itemId) {
    m_activity |= Filling;
    const QSignalBlocker block(lstItem->selectionModel());
    lstItem->setCurrentIndex(QModelIndex());
    lstItem->clearSelection();
    const int row = m_titles->RowOf(itemId);
    if (row >= 0) lstItem->setCurrentIndex(m_titles->index(row));
    m_activity &= ~Filling;
}
