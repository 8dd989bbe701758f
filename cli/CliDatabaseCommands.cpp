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
    auto scalar = [](const char* sql) {
        ResultTable t;
        QString error;
        return gDB->Exec(QLatin1String(sql), t, error, true).toString();
    };
    CliOut(QStringLiteral("schema\t") + scalar("PRAGMA user_version"));
    CliOut(QStringLiteral("items\t") + scalar("SELECT Count(*) FROM tblItem"));
    CliOut(QStringLiteral("languages\t") + scalar("SELECT Count(*) FROM tblType"));
    CliOut(QStringLiteral("categories\t") + scalar("SELECT Count(*) FROM tblCategory"));
    CliOut(QStringLiteral("attachments\t") +
           scalar("SELECT Count(*) FROM tblItem WHERE FileBLOB IS NOT NULL"));
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
