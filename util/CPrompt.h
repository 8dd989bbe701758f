#pragma once
// The one door through which core code talks to the user: message boxes, questions, input
// boxes, file dialogs and the progress window. The window program installs a Qt version, vgcli a
// console one and tests a scripted fake; core code never includes a widget header.
#include <QString>

#include <functional>

class CPrompt {
public:
    // Buttons and icons combine as in a message-box style value (vbYesNoCancel | vbQuestion).
    enum Style {
        vbOKOnly = 0,
        vbOKCancel = 1,
        vbYesNoCancel = 3,
        vbYesNo = 4,
        vbCritical = 16,
        vbQuestion = 32,
        vbExclamation = 48,
        vbInformation = 64,
    };
    enum Answer { vbOK = 1, vbCancel = 2, vbYes = 6, vbNo = 7 };
    // File dialog flags as the callers pass them.
    enum DialogFlags {
        OFN_READONLY = 1,
        OFN_PATHMUSTEXIST = 2048,
        OFN_FILEMUSTEXIST = 4096,
        OFN_EXPLORER = 524288,
    };

    virtual ~CPrompt() = default;

    // Shows text with the buttons and icon of style; returns the answer code (1, 2, 6 or 7).
    // An empty title means the program's title.
    virtual int MsgBox(const QString& text, int style = vbOKOnly, const QString& title = {});

    // Asks for a line of text. value holds the default on entry and the answer on return;
    // returns false when the user cancelled.
    virtual bool InputBox(const QString& prompt, const QString& title, QString& value);

    // Open or save dialog. filter is in the "Name|*.ext|" form. Returns the chosen path, with the
    // selected type's extension appended when the typed name has none; empty on cancel.
    virtual QString FileDialog(bool save, const QString& title, const QString& initialFile,
                               const QString& initialFolder, const QString& filter, int flags);

    // Progress window. Show starts a fresh one; lines are 0..2; Update takes a percentage,
    // lets pending events run and returns true once per press of Cancel.
    virtual void ProgressShow() {}
    virtual void ProgressText(int line, const QString& text) { (void)line, (void)text; }
    virtual bool ProgressUpdate(int percent) { (void)percent; return false; }
    virtual void ProgressClose() {}

    // The default beep after a save.
    virtual void Beep() {}
};

// The installed prompt; a silent one that answers the safe way (OK, Cancel, No) until one is set.
CPrompt& Prompt();
// Installs p (not owned); nullptr restores the silent default. Returns the previous one.
CPrompt* SetPrompt(CPrompt* p);

// Keeps a progress window open for one operation and closes it on every way out.
class CProgressScope {
public:
    explicit CProgressScope(bool show = true);
    ~CProgressScope();
    CProgressScope(const CProgressScope&) = delete;
    CProgressScope& operator=(const CProgressScope&) = delete;
    void Text(int line, const QString& text);
    // True when the user asked to cancel.
    bool Update(int percent);
    // True while any long operation runs.
    static bool Active();
    // Told true when the first operation with a progress window starts and false when the last
    // one ends. Update lets pending events run: the window program switches its commands off
    // meanwhile, so that none starts a second operation or a save inside this one.
    static void SetBusyHandler(std::function<void(bool busy)> handler);

private:
    bool m_shown;
};
