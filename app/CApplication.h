#pragma once
// The running program: owns the connection, the settings store, the prompt in use, the busy
// switch and the windows. Windows are views over it; what more than one window needs (is an
// operation running, the save question of the item being edited, opening an item, what changed
// in the database) is asked of the application, never of another window.
#include "db/CChange.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

class CPrompt;
class CSettings;
class CSQLite;
class frmMain;

class CApplication : public QObject {
    Q_OBJECT

public:
    // Creates the connection (closed) and the settings store; one application at a time.
    explicit CApplication(QObject* parent = nullptr);
    ~CApplication() override;
    CApplication(const CApplication&) = delete;
    CApplication& operator=(const CApplication&) = delete;

    CSQLite& Database() const;
    CSettings& Settings() const;
    CPrompt& Prompt() const;

    // True while an operation with a progress window runs: no other command may start.
    bool IsBusy() const;

    // The window that edits items; it registers itself when it is built.
    frmMain* MainWindow() const { return m_main; }
    void SetMainWindow(frmMain* window);
    // Makes and keeps the main window (the program's start); the caller shows it, or only the
    // quick palette.
    frmMain& MakeMainWindow();

    // The save question for the item being edited, when it has unsaved edits: 6 saved, 7 not
    // saved, 2 cancelled (or the save failed); 7 when there is nothing to save.
    int SaveEdits();
    // Shows item itemId in the main window, after the save question; false when the user
    // cancelled or there is no main window.
    bool OpenItem(int itemId);

signals:
    // After every commit on the connection, with what it changed.
    void Changed(const QList<CChange>& changes);
    // When the first operation with a progress window starts, and when the last one ends.
    void BusyChanged(bool busy);

private:
    void Subscribe();

    QPointer<frmMain> m_main;
    std::unique_ptr<frmMain> m_ownMain;
    int m_listener = 0;
    CSQLite* m_subscribed = nullptr;  // the connection the listener is on
};
