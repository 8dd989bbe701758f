#pragma once
// Item > History...: an item's kept versions newest first, the difference between the one
// picked and the item as it is, and Restore. A damaged history table is said, not shown.
#include "history/CItemVersion.h"

#include <QDialog>
#include <QList>

class CSQLite;
class QLabel;
class QListWidget;
class QPushButton;
class QTextBrowser;

class frmHistory : public QDialog {
    Q_OBJECT

public:
    frmHistory(CSQLite& db, int itemId, QWidget* parent = nullptr);
    // The version Restore was pressed for (after the dialog was accepted).
    const CItemVersion* Chosen() const;
    int VersionCount() const { return int(m_versions.size()); }
    QString Problem() const { return m_problem; }

private:
    void ShowDiff();

    CItem m_current;
    QList<CItemVersion> m_versions;
    QString m_problem;
    QListWidget* lstVersions = nullptr;
    QTextBrowser* txtDiff = nullptr;
    QLabel* lblNote = nullptr;
    QPushButton* cmdRestore = nullptr;
};
