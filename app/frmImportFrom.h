#pragma once
// File, Import From: choose another tool's format and a file or folder, preview what will be
// created, what is already present and what is skipped (with the counts), then Import or Cancel.
// The import itself is the core's: one transaction, the progress window, Cancel rolls back.
#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

class frmImportFrom : public QDialog {
    Q_OBJECT

public:
    explicit frmImportFrom(QWidget* parent = nullptr);
    // Whether an import was committed (the caller reloads its lists).
    bool Imported() const { return m_imported; }

private:
    void Browse();
    void Preview();
    void Import();
    void Invalidate();  // the choices changed: the preview no longer tells what Import would do

    QComboBox* cboFormat = nullptr;
    QLineEdit* txtPath = nullptr;
    QLineEdit* txtLanguage = nullptr;
    QLineEdit* txtCategory = nullptr;
    QPushButton* cmdPreview = nullptr;
    QTreeWidget* lstPreview = nullptr;
    QLabel* lblCounts = nullptr;
    QPushButton* cmdImport = nullptr;
    bool m_imported = false;
};
