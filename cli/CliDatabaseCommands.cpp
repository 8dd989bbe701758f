// vgcli new, info and sql.
#include "cli/CliCommand.h"
#include "db/basDB.h"
#include "db/basSqlResult.h"

#include <QFileInfo>

static int cmdNew(const CliArgs& a) {
    QString file = CliAbsolute(a.positional[0]);
    if (QFileInfo::exists(file)) return CliFail(QStringLiteral("File exists: ") + a.positional[0]);
    if (OpenDatabase(file).isEmpty()) return 1;
    // A creation failure has already said why; the empty file it leaves is of no use.
    ResultTable t;
    QString error;
    if (gDB->Exec(QStringLiteral("PRAGMA user_version"), t, error, true).toInt() != kCurrentUserVersion) {
        CloseDatabase();
        QFile::remove(file);
        return 1;
    }
    return 0;
}

static int cmdInfo(const CliArgs& a) {
    if (!CliOpenDatabase(a.positional[0])) return 1;
    // Every value is read before any line is printed: a failed read gives no partial output.
    struct Line {
        const char* name;
        const char* sql;
        QString value;
    };
    Line lines[] = {{"schema", "PRAGMA user_version", {}},
                    {"items", "SELECT Count(*) FROM tblItem", {}},
                    {"languages", "SELECT Count(*) FROM tblType", {}},
                    {"categories", "SELECT Count(*) FROM tblCategory", {}},
                    {"attachments", "SELECT Count(*) FROM tblItem WHERE FileBLOB IS NOT NULL", {}}};
    for (Line& line : lines) {
        ResultTable t;
        QString error;
        line.value = gDB->Exec(QLatin1String(line.sql), t, error, true).toString();
        if (!error.isEmpty()) return CliFail(EngineFailureMessage(error));
    }
    for (const Line& line : lines) CliOut(QLatin1String(line.name) + QLatin1Char('\t') + line.value);
    CliOut(QStringLiteral("size\t") + QString::number(QFileInfo(gDB->Filename()).size()));
    CliOut(QStringLiteral("sqlite\t") + CSQLite::Version());
    return 0;
}

static int cmdSql(const CliArgs& a) {
    if (!CliOpenDatabase(a.positional[0])) return 1;
    ResultTable t;
    QString error;
    gDB->Exec(a.positional[1], t, error);
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
