// Main window: Find narrows the title list to the items matching a full-text search within
// the selected language and category; Clear shows everything again.
#include "app/frmMain.h"
#include "app/frmMainTools.h"
#include "ui/CTitleListModel.h"
#include "app/WaitCursor.h"

#include "db/basDB.h"
#include "util/CPrompt.h"
#include "util/basProgram.h"

#include <QListView>
#include <QListWidget>
#include <QScopeGuard>

void frmMain::cmdFind_Click() {
    // Its input box and save question run event loops: a second Find must not start inside.
    if (Doing(AskingFind)) return;
    m_activity |= AskingFind;
    const auto done = qScopeGuard([this] { m_activity &= ~AskingFind; });

    QString answer = m_lastSearch;
    if (!Prompt().InputBox(QStringLiteral("Enter search text. All currently displayed items will be "
                                          "searched. See help for options."),
                           AppTitle(), answer))
        answer.clear();
    m_lastSearch = answer;
    if (answer.isEmpty()) return;

    // The query runs before the New command so that a malformed one (already reported by the
    // search) leaves the lists and the editor as they were.
    QString error;
    ResultTable rows;
    bool ranked = false;
    {
        WaitCursor wait;
        rows = SearchItems(answer, SelectedCategoryID(), SelectedLanguageID(), &error, QString(), &ranked);
    }
    if (!error.isEmpty()) return;
    // A save at New's question has changed the database and may have moved the selection.
    if (NewItem() == CPrompt::vbYes) {
        WaitCursor wait;
        rows = SearchItems(answer, SelectedCategoryID(), SelectedLanguageID(), &error, QString(), &ranked);
        if (!error.isEmpty()) return;
    }
    if (rows.RowCount() < 1) {
        Prompt().MsgBox(QStringLiteral("No items found"), CPrompt::vbOKOnly);
        return;
    }
    {
        WaitCursor wait;
        FillTitleList(CTitleRows::FromTable(rows));
        m_findWords = SearchWords(answer);
        m_findQuery = answer;
    }
    // The caption says what the list's order is: the hits' own, until the caption is clicked.
    if (ranked) ShowSortCaption(QStringLiteral("Best match"));
    // Opens the first hit as a click would, save question included.
    lstItem->setCurrentIndex(m_titles->index(0));
    // New left the focus in the title: the next key would replace the hit's title.
    lstItem->setFocus();
}

void frmMain::cmdFindClear_Click() { LoadLanguages(); }

bool frmMain::SortFindHits() {
    if (m_findQuery.isEmpty()) return false;
    QString error;
    ResultTable rows;
    {
        WaitCursor wait;
        rows = SearchItems(m_findQuery, SelectedCategoryID(), SelectedLanguageID(), &error, m_orderBy);
    }
    // The hits may be gone (another program); the list then shows the category again.
    if (!error.isEmpty() || rows.RowCount() < 1) return false;
    const int shown = m_itemId;
    FillTitleList(CTitleRows::FromTable(rows));
    SelectTitle(shown);
    return true;
}
