#include "util/CPrompt.h"

#include <utility>

int CPrompt::MsgBox(const QString&, int style, const QString&) {
    switch (style & 7) {
    case vbOKCancel:
    case vbYesNoCancel:
        return vbCancel;
    case vbYesNo:
        return vbNo;
    default:
        return vbOK;
    }
}

bool CPrompt::InputBox(const QString&, const QString&, QString&) { return false; }

QString CPrompt::FileDialog(bool, const QString&, const QString&, const QString&, const QString&,
                            int) {
    return {};
}

static CPrompt g_silent;
static CPrompt* g_prompt = &g_silent;

CPrompt& Prompt() { return *g_prompt; }

CPrompt* SetPrompt(CPrompt* p) {
    CPrompt* old = g_prompt == &g_silent ? nullptr : g_prompt;
    g_prompt = p ? p : &g_silent;
    return old;
}

static int g_activeOperations = 0;
static int g_shownOperations = 0;
static std::function<void(bool)> g_busyHandler;

CProgressScope::CProgressScope(bool show) : m_shown(show) {
    ++g_activeOperations;
    if (!m_shown) return;
    if (g_shownOperations++ == 0 && g_busyHandler) g_busyHandler(true);
    Prompt().ProgressShow();
}

CProgressScope::~CProgressScope() {
    if (m_shown) {
        Prompt().ProgressClose();
        if (--g_shownOperations == 0 && g_busyHandler) g_busyHandler(false);
    }
    --g_activeOperations;
}

bool CProgressScope::Active() { return g_activeOperations > 0; }

void CProgressScope::SetBusyHandler(std::function<void(bool)> handler) {
    g_busyHandler = std::move(handler);
}

void CProgressScope::Text(int line, const QString& text) {
    if (m_shown) Prompt().ProgressText(line, text);
}

bool CProgressScope::Update(int percent) { return m_shown && Prompt().ProgressUpdate(percent); }
