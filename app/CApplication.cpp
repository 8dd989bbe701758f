#include "app/CApplication.h"

#include "app/frmMain.h"
#include "db/basDB.h"
#include "util/CPrompt.h"

CApplication::CApplication(QObject* parent) : QObject(parent) {
    InitGlobals();
    CProgressScope::SetBusyHandler([this](bool busy) { emit BusyChanged(busy); });
    Subscribe();
}

CApplication::~CApplication() {
    m_ownMain.reset();
    CProgressScope::SetBusyHandler(nullptr);
    if (m_listener && gDB == m_subscribed) gDB->RemoveChangeHandler(m_listener);
    ReleaseGlobals();
}

void CApplication::Subscribe() {
    m_subscribed = gDB;
    m_listener = gDB->AddChangeListener(
        [this](CSQLite&, const QList<CChange>& changes, const CSQLite::Stamp&) { emit Changed(changes); });
}

CSQLite& CApplication::Database() const { return *gDB; }
CSettings& CApplication::Settings() const { return *gSettings; }
CPrompt& CApplication::Prompt() const { return ::Prompt(); }
bool CApplication::IsBusy() const { return CProgressScope::Active(); }

void CApplication::SetMainWindow(frmMain* window) { m_main = window; }

frmMain& CApplication::MakeMainWindow() {
    if (!m_main) m_ownMain = std::make_unique<frmMain>(*this);
    return *m_main;
}

int CApplication::SaveEdits() {
    if (!m_main || !m_main->ItemChanged()) return CPrompt::vbNo;
    return m_main->SavePrompt();
}

bool CApplication::OpenItem(int itemId) {
    if (!m_main || IsBusy()) return false;
    if (SaveEdits() == CPrompt::vbCancel) return false;
    m_main->ShowItem(itemId);
    return true;
}
