#pragma once
// File, Export To: every item into a folder as VS Code snippet files or one Markdown file per
// item. Files that would not change are left untouched.
#include <QDialog>

class QComboBox;
class QLineEdit;

class frmExportTo : public QDialog {
    Q_OBJECT

public:
    explicit frmExportTo(QWidget* parent = nullptr);

private:
    void Export();

    QComboBox* cboFormat = nullptr;
    QLineEdit* txtPath = nullptr;
};
