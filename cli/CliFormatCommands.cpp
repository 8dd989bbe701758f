// vgcli import-from and export-to: other snippet tools' files in, VS Code and Markdown out.
#include "cli/CliCommand.h"
#include "formats/CFormatReader.h"
#include "formats/CFormatWriter.h"
#include "formats/basImportFrom.h"

static int usage(const QString& why, const QString& line) {
    CliErr(QStringLiteral("vgcli: ") + why);
    CliErr(QStringLiteral("usage: vgcli ") + line);
    return 2;
}

static const QString kImportUsage =
    QStringLiteral("import-from FORMAT DB PATH [--dry-run] [--language NAME] [--category NAME]");
static const QString kExportUsage = QStringLiteral("export-to FORMAT DB PATH");

static int cmdImportFrom(const CliArgs& a) {
    const QString format = a.positional[0].toLower();
    if (!CFormatReader::Formats().contains(format))
        return usage(QStringLiteral("unknown format: ") + a.positional[0] + QStringLiteral(" (one of ") +
                         CFormatReader::Formats().join(QStringLiteral(", ")) + QLatin1Char(')'),
                     kImportUsage);
    if (!CliOpenDatabase(a.positional[1])) return 1;
    ImportFromOptions options;
    options.format = format;
    options.path = CliAbsolute(a.positional[2]);
    options.dryRun = a.Has(QStringLiteral("dry-run"));
    options.language = a.Value(QStringLiteral("language"));
    options.category = a.Value(QStringLiteral("category"));
    options.listAll = false;  // only the skipped snippets are printed one by one
    ImportFromSummary s;
    if (!ImportFrom(CliDB(), options, &s)) {
        if (s.cancelled) return CliFail(QStringLiteral("Import cancelled; nothing was imported"));
        return CliFail(s.error);
    }
    CliOut(QStringLiteral("added\t%1").arg(s.added));
    CliOut(QStringLiteral("present\t%1").arg(s.present));
    CliOut(QStringLiteral("skipped\t%1").arg(s.skipped));
    CliOut(QStringLiteral("deleted\t%1").arg(s.deleted));
    for (auto it = s.byLanguage.cbegin(); it != s.byLanguage.cend(); ++it)
        CliOut(QStringLiteral("language\t%1\t%2\t%3").arg(CliField(it.key())).arg(it->added).arg(it->present));
    for (const ImportFromRow& r : std::as_const(s.rows))
        if (r.fate == ImportFate::Skipped) CliOut(QStringLiteral("skip\t%1\t%2").arg(CliField(r.title), CliField(r.reason)));
    return 0;
}

static int cmdExportTo(const CliArgs& a) {
    std::unique_ptr<CFormatWriter> writer = CFormatWriter::Create(a.positional[0]);
    if (!writer)
        return usage(QStringLiteral("unknown format: ") + a.positional[0] + QStringLiteral(" (one of ") +
                         CFormatWriter::Formats().join(QStringLiteral(", ")) + QLatin1Char(')'),
                     kExportUsage);
    if (!CliOpenDatabase(a.positional[1])) return 1;
    CExportSummary s;
    if (!writer->Write(CliDB(), CliAbsolute(a.positional[2]), s)) {
        if (s.cancelled) return CliFail(QStringLiteral("Export cancelled; the files written so far stay"));
        return CliFail(s.error);
    }
    CliOut(QStringLiteral("items\t%1\tfiles\t%2\tunchanged\t%3\tremoved\t%4")
               .arg(s.items)
               .arg(s.written)
               .arg(s.unchanged)
               .arg(s.removed));
    if (!s.failures.isEmpty())
        return CliFail(QStringLiteral("%1 of the attachments could not be written:\n").arg(s.failures.size()) +
                       s.failures.join(QLatin1Char('\n')));
    return 0;
}

static CliRegistrar regImportFrom({QStringLiteral("import-from"), kImportUsage,
                                   QStringLiteral("Import another tool's snippets (vscode, masscode, pet, the-way, "
                                                  "snippetslab, folder, markdown) as new items in one transaction; "
                                                  "prints added, present, skipped and deleted counts, per language "
                                                  "and each skipped snippet; --dry-run writes nothing."),
                                   3,
                                   3,
                                   {QStringLiteral("language"), QStringLiteral("category")},
                                   {QStringLiteral("dry-run")},
                                   cmdImportFrom});
static CliRegistrar regExportTo({QStringLiteral("export-to"), kExportUsage,
                                 QStringLiteral("Write every item into folder PATH as VS Code snippet files (vscode) "
                                                "or one Markdown file per item (markdown); files that would not "
                                                "change are left untouched. Prints items and files written."),
                                 3,
                                 3,
                                 {},
                                 {},
                                 cmdExportTo});
