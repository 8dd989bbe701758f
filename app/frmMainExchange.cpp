#include "app/frmMainExchange.h"

#include "db/basDB.h"
#include "util/CPrompt.h"

#include <QFileInfo>

static const QString kFilter = QStringLiteral("Tab Separated Values (*.tab)|*.tab|All Files|*.*|");

bool ImportDatabase(const QString& file, bool keepIds, ImportSummary* summary, bool showSummary) {
    ImportSummary local;
    ImportSummary& s = summary ? *summary : local;
    if (!ImportDatabase(StoreDB(), file, keepIds, &s)) {
        if (!s.cancelled) Prompt().MsgBox(s.error, CPrompt::vbOKOnly | CPrompt::vbExclamation);
        return false;
    }
    if (showSummary)
        Prompt().MsgBox(ImportSummaryText(s) + (s.snapshot.isEmpty() ? QString()
                                                                     : QStringLiteral("\nA copy of the database before the "
                                                                                      "import: ") + s.snapshot),
                        CPrompt::vbInformation);
    return true;
}

bool ExportDatabase(const QString& file, bool withAttachments, ExportSummary* summary) {
    ExportSummary local;
    ExportSummary& s = summary ? *summary : local;
    if (!ExportDatabase(StoreDB(), file, withAttachments, &s)) {
        if (!s.cancelled)
            Prompt().MsgBox(s.error, s.nothing ? CPrompt::vbOKOnly : CPrompt::vbOKOnly | CPrompt::vbExclamation);
        return false;
    }
    if (s.attachmentFailures > 0)
        Prompt().MsgBox(QStringLiteral("%1 of the attachments could not be written beside the export file:\r\n")
                                .arg(s.attachmentFailures) +
                            s.failedAttachments.join(QStringLiteral("\r\n")),
                        CPrompt::vbOKOnly | CPrompt::vbExclamation);
    return true;
}

QString AskImportFile() {
    return Prompt().FileDialog(false, QStringLiteral("Import from file"), QString(), QString(), kFilter,
                               CPrompt::OFN_EXPLORER | CPrompt::OFN_FILEMUSTEXIST);
}

std::optional<bool> AskImportKeepIds() {
    const int answer = Prompt().MsgBox(
        QStringLiteral("Import everything as new items (may create duplicates)?\nOtherwise, "
                       "importing will overwrite existing items having the same item numbers."),
        CPrompt::vbYesNoCancel | CPrompt::vbQuestion);
    if (answer == CPrompt::vbYes) return false;
    if (answer == CPrompt::vbNo) return true;
    return std::nullopt;
}

bool ImportCommand() {
    const QString file = AskImportFile();
    if (file.isEmpty()) return false;
    const std::optional<bool> keepIds = AskImportKeepIds();
    if (!keepIds) return false;
    ImportDatabase(file, *keepIds);
    return true;
}

QString AskExportFile() {
    return Prompt().FileDialog(true, QStringLiteral("Export to file"), QString(), QString(), kFilter,
                               CPrompt::OFN_EXPLORER | CPrompt::OFN_PATHMUSTEXIST);
}

bool ConfirmExportOverwrite(const QString& file) {
    if (!QFileInfo::exists(file)) return true;
    return Prompt().MsgBox(QStringLiteral("Overwrite existing file?"), CPrompt::vbOKCancel | CPrompt::vbQuestion) ==
           CPrompt::vbOK;
}

bool AskExportAttachments() {
    return Prompt().MsgBox(QStringLiteral("Export file attachments?"), CPrompt::vbYesNo | CPrompt::vbQuestion) ==
           CPrompt::vbYes;
}

bool ExportCommand() {
    const QString file = AskExportFile();
    if (file.isEmpty()) return false;
    // The old file stays until the new one is complete; the export replaces it at its end.
    if (!ConfirmExportOverwrite(file)) return false;
    return ExportDatabase(file, AskExportAttachments());
}
