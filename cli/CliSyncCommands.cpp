// vgcli sync: the database merged with a git repository (or a folder kept in step by another
// program), its conflicts listed and settled.
#include "cli/CliCommand.h"
#include "db/CSQLite.h"
#include "db/basDBItems.h"
#include "sync/CSync.h"
#include "sync/CSyncConflicts.h"

static const QString kSyncUsage = QStringLiteral(
    "sync DB [DIR] [--remote URL] [--branch NAME] [--machine NAME] | sync DB --conflicts | "
    "sync DB --resolve ITEM --take local|remote");

static int usage(const QString& why) {
    CliErr(QStringLiteral("vgcli: ") + why);
    CliErr(QStringLiteral("usage: vgcli ") + kSyncUsage);
    return 2;
}

static int listConflicts() {
    QList<CSyncConflict> all;
    QString error;
    if (!CSyncConflicts::List(CliDB(), all, &error)) return CliFail(error);
    for (const CSyncConflict& c : std::as_const(all)) {
        CItem mine;
        LoadItem(CliDB(), c.itemId, mine, nullptr);
        CliOut(QStringLiteral("%1\t%2\t%3\t%4")
                   .arg(c.itemId)
                   .arg(CliField(mine.title), CliField(c.remote.item.title), c.noted.toString(Qt::ISODate)));
    }
    return 0;
}

static int resolve(const CliArgs& a) {
    bool isNumber = false;
    const int item = a.Value(QStringLiteral("resolve")).toInt(&isNumber);
    const QString take = a.Value(QStringLiteral("take"));
    if (!isNumber || item < 1) return usage(QStringLiteral("--resolve takes an item number"));
    if (take != QLatin1String("local") && take != QLatin1String("remote"))
        return usage(QStringLiteral("--take is local or remote"));
    QString error;
    if (!CSyncConflicts::Resolve(CliDB(), item, take == QLatin1String("remote"), &error)) return CliFail(error);
    return 0;
}

static int cmdSync(const CliArgs& a) {
    if (a.Has(QStringLiteral("take")) && !a.Has(QStringLiteral("resolve"))) return usage(QStringLiteral("--take needs --resolve"));
    if (!CliOpenDatabase(a.positional[0])) return 1;
    if (a.Has(QStringLiteral("conflicts"))) return listConflicts();
    if (a.Has(QStringLiteral("resolve"))) return resolve(a);
    CSyncOptions o;
    QString error, rememberedRemote;
    if (a.positional.size() > 1) {
        o.folder = CliAbsolute(a.positional[1]);
    } else if (!CSync::Settings(CliDB(), o.folder, rememberedRemote, &error)) {
        return CliFail(error);
    }
    if (o.folder.isEmpty()) return usage(QStringLiteral("this database has not synced yet: name the folder"));
    o.remote = a.Value(QStringLiteral("remote"));
    o.branch = a.Value(QStringLiteral("branch"));
    o.machine = a.Value(QStringLiteral("machine"));
    CSyncSummary s;
    const bool ok = CSync::Run(CliDB(), o, s);
    for (const QString& skipped : std::as_const(s.skipped)) CliOut(QStringLiteral("skip\t") + CliField(skipped));
    if (!ok) return CliFail(s.error);
    CliOut(QStringLiteral("in\t%1").arg(s.in));
    CliOut(QStringLiteral("out\t%1").arg(s.out));
    CliOut(QStringLiteral("conflicts\t%1").arg(s.conflicts));
    if (!s.commit.isEmpty()) CliOut(QStringLiteral("commit\t") + s.commit);
    return 0;
}

static CliRegistrar syncCommand({QStringLiteral("sync"), kSyncUsage,
                          QStringLiteral("merge the database with a git repository of its items; list or settle conflicts"), 1,
                          2,
                          {QStringLiteral("remote"), QStringLiteral("branch"), QStringLiteral("machine"),
                           QStringLiteral("resolve"), QStringLiteral("take")},
                          {QStringLiteral("conflicts")}, cmdSync});
