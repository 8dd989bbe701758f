#pragma once
// The window program's prompt: Qt message, input and file dialogs and the progress window.
#include "util/CPrompt.h"

#include <QList>
#include <QPointer>

class frmStatusBar;

class QtPrompt : public CPrompt {
public:
    QtPrompt() = default;
    ~QtPrompt() override;
    QtPrompt(const QtPrompt&) = delete;
    QtPrompt& operator=(const QtPrompt&) = delete;

    int MsgBox(const QString& text, int style = vbOKOnly, const QString& title = {}) override;
    bool InputBox(const QString& prompt, const QString& title, QString& value) override;
    QString FileDialog(bool save, const QString& title, const QString& initialFile,
                       const QString& initialFolder, const QString& filter, int flags) override;

    // Every ProgressShow opens its own window; Text, Update and Close act on the newest one. An
    // operation started from inside another one's Update thus gets a window of its own and hands
    // the outer one back intact when it ends.
    void ProgressShow() override;
    void ProgressText(int line, const QString& text) override;
    bool ProgressUpdate(int percent) override;
    void ProgressClose() override;

    void Beep() override;

    // The newest open progress window, or nullptr.
    frmStatusBar* ProgressWindow() const;

private:
    QList<QPointer<frmStatusBar>> m_progress;
};
