// Main window: the remembered database is gone (moved, renamed, on a drive not mounted). Making
// an empty file at its old path would look as if every snippet were lost, so the user decides.
#include "app/frmMain.h"
#include "app/frmMainTools.h"

#include "util/CPrompt.h"
#include "util/basFileTools.h"

#include <QDir>
#include <QFileInfo>

QString frmMain::AskForMissingDatabase(const QString& last) {
    const int answer = Prompt().MsgBox(
        QStringLiteral("The database file was not found:\n") + QDir::toNativeSeparators(last) +
            QStringLiteral("\n\nYes: locate it or open another database.\nNo: create a new database."
                           "\nCancel: start without a database."),
        CPrompt::vbYesNoCancel | CPrompt::vbExclamation);
    if (answer == CPrompt::vbCancel) return {};
    // The old folder may be gone too: the dialog then starts where it can.
    const QString folder = QFileInfo::exists(GetParentFolder(last)) ? GetParentFolder(last) : QString();
    if (answer == CPrompt::vbYes)
        return Prompt().FileDialog(false, QStringLiteral("Select Database File"), GetFileName(last), folder,
                                   DatabaseFilter(), CPrompt::OFN_EXPLORER | CPrompt::OFN_FILEMUSTEXIST);
    return Prompt().FileDialog(true, QStringLiteral("Create Database File"), GetFileName(last), folder,
                               DatabaseFilter(), CPrompt::OFN_EXPLORER | CPrompt::OFN_PATHMUSTEXIST);
}
