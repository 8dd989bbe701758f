#include "cli/CliConsolePrompt.h"

#include "cli/CliCommand.h"

#include <csignal>
#include <cstdio>
#include <unistd.h>

static volatile std::sig_atomic_t g_interrupted = 0;

static void onInterrupt(int) { g_interrupted = 1; }

CliConsolePrompt::CliConsolePrompt() { m_tty = isatty(STDERR_FILENO) == 1; }

int CliConsolePrompt::MsgBox(const QString& text, int style, const QString&) {
    const int buttons = style & 7;
    if (buttons == vbOKOnly) {
        CliErr(text);
        return vbOK;
    }
    return CPrompt::MsgBox(text, style, QString());
}

void CliConsolePrompt::ProgressShow() {
    // Ctrl+C cancels a running operation the way the Cancel button does.
    g_interrupted = 0;
    std::signal(SIGINT, onInterrupt);
    m_progress = true;
    m_line0.clear();
}

void CliConsolePrompt::ProgressText(int line, const QString& text) {
    if (line == 0) m_line0 = text;
}

bool CliConsolePrompt::ProgressUpdate(int percent) {
    if (m_tty && m_progress) {
        const QByteArray line =
            QStringLiteral("\r%1 %2%").arg(m_line0).arg(qBound(0, percent, 100)).toUtf8();
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        std::fflush(stderr);
    }
    const bool cancel = g_interrupted != 0;
    g_interrupted = 0;
    return cancel;
}

void CliConsolePrompt::ProgressClose() {
    if (m_tty && m_progress) std::fputs("\n", stderr);
    m_progress = false;
    std::signal(SIGINT, SIG_DFL);
}
