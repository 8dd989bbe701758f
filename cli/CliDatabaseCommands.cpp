// vgcli new, info and sql.
#include "cli/CliCommand.h"
#include "db/basDB.h"
#include "db/basSqlResult.h"

#include <QFileInfo>

static int cmdNew(const CliArgs& a) {
    const QString file = CliAbsolute(a.positional[0]);
    if (QFileInfo::exists(file)) return CliFail(QStringLiteral("File exists: ") + a.positional[0]);
    StoreError error;
    bool created = false;
    if (OpenDatabase(CliDB(), file, &error, &created)) return 0;
    CliErr(error.text);
    // The empty file a failed creation leaves is of no use.
    if (created) {
        CliDB().CloseFile();
        QFile::remove(file);
    }
    return 1;
}

static int cmdInfo(const CliArgs& a) {
    if (!CliOpenDatabase(a.positional[0])) return 1;
    // Every value is read before any line is printed: a failed read gives no partial output.
    StoreCounts n;
    QString error;
    if (!CountStore(CliDB(), &n, &error)) return CliFail(EngineFailureMessage(CliDB(), error));
    const std::pair<const char*, qint64> lines[] = {{"schema", n.schema},
                                                    {"items", n.items},
                                                    {"languages", n.languages},
                                                    {"categories", n.categories},
                                                    {"attachments", n.attachments}};
    for (const auto& [name, value] : lines) CliOut(QLatin1String(name) + QLatin1Char('\t') + QString::number(value));
    CliOut(QStringLiteral("size\t") + QString::number(QFileInfo(CliDB().Filename()).size()));
    CliOut(QStringLiteral("sqlite\t") + CSQLite::Version());
    return 0;
}

static int cmdSql(const CliArgs& a) {
    if (!CliOpenDatabase(a.positional[0])) return 1;
    ResultTable t;
    QString error;
    CliDB().Exec(a.positional[1], t, error);
    if (!error.isEmpty()) return CliFail(error);
    CliOutRaw(FormatResult(t, QStringLiteral("\n")).toUtf8());
    return 0;
}

static CliRegistrar regNew({QStringLiteral("new"), QStringLiteral("new DB"),
                            QStringLiteral("Create a new snippet database; refuses an existing file."),
                            1, 1, {}, {}, cmdNew});
static CliRegistrar regInfo({QStringLiteral("info"), QStringLiteral("info DB"),
                             QStringLiteral("Print schema version, counts, file size and engine version."),
                             1, 1, {}, {}, cmdInfo});
static CliRegistrar regSql({QStringLiteral("sql"), QStringLiteral("sql DB STATEMENT"),
                            QStringLiteral("Run SQL and print the rows as the query tester shows them."),
                            2, 2, {}, {}, cmdSql});
