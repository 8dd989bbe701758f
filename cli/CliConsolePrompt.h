#pragma once
// vgcli's prompt: messages go to stderr, questions get the safe answer, progress is a line on stderr when it is a terminal, Ctrl+C cancels.
#include "util/CPrompt.h"

#include <QStringList>

class CliConsolePrompt : public CPrompt {
public:
    CliConsolePrompt();
    int MsgBox(const QString& text, int style, const QString& title) override;
    void ProgressShow() override;
    void ProgressText(int line, const QString& text) override;
    bool ProgressUpdate(int percent) override;
    void ProgressClose() override;

private:
    bool m_tty = false;
    bool m_progress = false;
    QString m_line0;
};
