#pragma once
// Edit > Trash...: deleted items with title, language and when they went; Restore, Delete for
// Good and Empty Trash. Messages go through the prompt.
#include "history/CTrashEntry.h"

#include <QDialog>
#include <QList>

class CPrompt;
class CSQLite;
class QPushButton;
class QTreeWidget;

class frmTrash : public QDialog {
    Q_OBJECT

public:
    frmTrash(CSQLite& db, CPrompt& prompt, QWidget* parent = nullptr);
    int Count() const { return int(m_entries.size()); }
    // The items brought back while it was open.
    const QList<int>& Restored() const { return m_restored; }

    void RestoreSelected();
    void DeleteSelected();
    void EmptyTrash();

private:
    void Fill();
    const CTrashEntry* Selected() const;

    CSQLite& m_db;
    CPrompt& m_prompt;
    QList<CTrashEntry> m_entries;
    QList<int> m_restored;
    QTreeWidget* lstTrash = nullptr;
    QPushButton* cmdRestore = nullptr;
    QPushButton* cmdDelete = nullptr;
    QPushButton* cmdEmpty = nullptr;
};
