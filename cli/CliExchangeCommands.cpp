// vgcli export and import.
#include "cli/CliCommand.h"
#include "db/basDB.h"
#include "exchange/basExport.h"
#include "exchange/basImport.h"
#include "util/basFileKinds.h"

#include <QFileInfo>

static int cmdExport(const CliArgs& a) {
    if (!CliOpenDatabase(a.positional[0])) return 1;
    const QString file = CliAbsolute(a.positional[1]);
    const QFileInfo info(file);
    if (info.isDir()) return CliFail(QStringLiteral("Is a folder: ") + a.positional[1]);
    if (QString why; !IsWritableTarget(file, &why)) return CliFail(why);
    // The window asks before replacing a file; here --force is the answer.
    if (info.exists() && !a.Has(QStringLiteral("force")))
        return CliFail(QStringLiteral("File exists: ") + a.positional[1] +
                       QStringLiteral(" (use --force to replace it)"));
    ExportSummary summary;
    if (ExportDatabase(CliDB(), file, a.Has(QStringLiteral("attachments")), &summary)) {
        if (summary.attachmentFailures == 0) return 0;
        // The file is written, but an attachment it names is missing.
        return CliFail(QStringLiteral("%1 of the attachments could not be written beside the export file:\r\n")
                           .arg(summary.attachmentFailures) +
                       summary.failedAttachments.join(QStringLiteral("\r\n")));
    }
    if (summary.cancelled) return CliFail(QStringLiteral("Export cancelled; no file written"));
    return CliFail(summary.error);
}

static int cmdImport(const CliArgs& a) {
    if (!CliOpenDatabase(a.positional[0])) return 1;
    const QString file = CliAbsolute(a.positional[1]);
    if (!QFileInfo::exists(file)) return CliFail(QStringLiteral("No such file: ") + a.positional[1]);
    if (!QFileInfo(file).isFile())
        return CliFail(QStringLiteral("Cannot read %1: it is not a regular file").arg(a.positional[1]));
    ImportSummary summary;
    if (!ImportDatabase(CliDB(), file, a.Has(QStringLiteral("keep-ids")), &summary)) {
        if (summary.cancelled) return CliFail(QStringLiteral("Import cancelled; nothing was imported"));
        return CliFail(summary.error);
    }
    CliOut(QStringLiteral("items\t%1\tskipped\t%2\tmissing\t%3")
               .arg(summary.items)
               .arg(summary.skippedLines)
               .arg(summary.missingAttachments));
    return 0;
}

static CliRegistrar regExport({QStringLiteral("export"),
                               QStringLiteral("export DB FILE [--attachments] [--force]"),
                               QStringLiteral("Write every item to a tab-separated exchange file; "
                                              "--attachments writes the attachments beside it, "
                                              "--force replaces an existing FILE."),
                               2,
                               2,
                               {},
                               {QStringLiteral("attachments"), QStringLiteral("force")},
                               cmdExport});
static CliRegistrar regImport({QStringLiteral("import"), QStringLiteral("import DB FILE [--keep-ids]"),
                               QStringLiteral("Read an exchange file in one transaction as new "
                                              "items, or with --keep-ids under the file's item "
                                              "numbers (replacing those items); prints items, "
                                              "skipped lines and missing attachments."),
                               2,
                               2,
                               {},
                               {QStringLiteral("keep-ids")},
                               cmdImport});
