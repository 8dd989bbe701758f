#pragma once
// The small dialog where the sync folder and its remote are chosen once, with the choice of
// syncing at start-up and on exit. Kept in the program's settings (they belong to this machine).
#include <QDialog>

class QCheckBox;
class QLineEdit;

class frmSyncSettings : public QDialog {
    Q_OBJECT

public:
    explicit frmSyncSettings(QWidget* parent = nullptr);
    // Stores the fields in the settings (on OK).
    void accept() override;

    static QString Folder();
    static QString Remote();
    static bool AtStart();
    static bool AtExit();

    QLineEdit* txtFolder = nullptr;
    QLineEdit* txtRemote = nullptr;
    QCheckBox* chkAtStart = nullptr;
    QCheckBox* chkAtExit = nullptr;
};
