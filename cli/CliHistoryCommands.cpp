// vgcli history, show --version, restore, trash, undelete, undo, purge.
#include "cli/CliCommand.h"
#include "db/CSQLite.h"
#include "history/CHistory.h"
#include "history/CTrash.h"
#include "history/CUndo.h"

namespace {

int usage(const QString& why, const QString& line) {
    CliErr(QStringLiteral("vgcli: ") + why);
    CliErr(QStringLiteral("usage: vgcli ") + line);
    return 2;
}

bool positive(const QString& text, int& out) {
    bool ok = false;
    out = text.trimmed().toInt(&ok);
    return ok && out > 0;
}

QString localTime(const QDateTime& t) { return t.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")); }

// The item's version numbered n (1 the oldest), after reading its number and the database.
int findVersion(const CliArgs& a, const QString& line, CItemVersion& version) {
    int id = 0, n = 0;
    if (!positive(a.positional[1], id)) return usage(QStringLiteral("not an item number: ") + a.positional[1], line);
    if (!a.Has(QStringLiteral("version"))) return usage(QStringLiteral("--version N is needed"), line);
    if (!positive(a.Value(QStringLiteral("version")), n))
        return usage(QStringLiteral("not a version number: ") + a.Value(QStringLiteral("version")), line);
    if (!CliOpenDatabase(a.positional[0])) return 1;
    QList<CItemVersion> versions;
    QString error;
    if (!CHistory::Versions(CliDB(), id, versions, &error)) return CliFail(error);
    for (const CItemVersion& v : std::as_const(versions))
        if (v.number == n) {
            version = v;
            return 0;
        }
    return CliFail(QStringLiteral("Item %1 has no version %2").arg(id).arg(n));
}

int cmdHistory(const CliArgs& a) {
    int id = 0;
    if (!positive(a.positional[1], id)) return usage(QStringLiteral("not an item number: ") + a.positional[1], QStringLiteral("history DB ID"));
    if (!CliOpenDatabase(a.positional[0])) return 1;
    QList<CItemVersion> versions;
    QString error;
    if (!CHistory::Entries(CliDB(), id, versions, &error)) return CliFail(error);
    // A category rename keeps no version: '-' for its number, and what it changed for a title.
    for (const CItemVersion& v : std::as_const(versions))
        CliOut((v.note.isEmpty() ? QString::number(v.number) : QStringLiteral("-")) + QLatin1Char('\t') +
               localTime(v.changed) + QLatin1Char('\t') + CliField(v.command) + QLatin1Char('\t') +
               CliField(v.note.isEmpty() ? v.item.title : v.note));
    return 0;
}

int cmdRestore(const CliArgs& a) {
    CItemVersion version;
    if (const int status = findVersion(a, QStringLiteral("restore DB ID --version N"), version)) return status;
    bool renumbered = false;
    QString error;
    const int n = CHistory::Restore(CliDB(), version, &renumbered, &error);
    if (!n) return CliFail(QStringLiteral("Unable to restore the version: ") + error);
    // Nothing on the output: the version is the item now. A new number is said where it is seen.
    if (renumbered) CliErr(QStringLiteral("Item %1's number is taken: restored as item %2").arg(version.itemId).arg(n));
    return 0;
}

int cmdTrash(const CliArgs& a) {
    if (!CliOpenDatabase(a.positional[0])) return 1;
    QList<CTrashEntry> entries;
    QString error;
    if (!CTrash::List(CliDB(), entries, &error)) return CliFail(error);
    for (const CTrashEntry& t : std::as_const(entries))
        CliOut(QString::number(t.itemId) + QLatin1Char('\t') + localTime(t.deleted) + QLatin1Char('\t') +
               CliField(t.language) + QLatin1Char('\t') + CliField(t.title));
    return 0;
}

int cmdUndelete(const CliArgs& a) {
    int id = 0;
    if (!positive(a.positional[1], id)) return usage(QStringLiteral("not an item number: ") + a.positional[1], QStringLiteral("undelete DB ID"));
    if (!CliOpenDatabase(a.positional[0])) return 1;
    CTrashEntry entry;
    QString error;
    if (!CTrash::FindItem(CliDB(), id, entry, &error)) return CliFail(error);
    bool renumbered = false;
    const int n = CTrash::Undelete(CliDB(), entry.trashId, &renumbered, &error);
    if (!n) return CliFail(QStringLiteral("Unable to undelete the item: ") + error);
    if (renumbered) CliErr(QStringLiteral("Item %1's number is taken: restored as item %2").arg(id).arg(n));
    CliOut(QString::number(n));
    return 0;
}

int cmdUndo(const CliArgs& a) {
    if (!CliOpenDatabase(a.positional[0])) return 1;
    CUndoEntry undone;
    QString notice, error;
    if (!CUndo::UndoLast(CliDB(), &undone, &notice, &error)) return CliFail(QStringLiteral("Unable to undo: ") + error);
    if (!notice.isEmpty()) CliErr(notice);
    CliOut(QStringLiteral("Undone: ") + undone.command);
    return 0;
}

int cmdPurge(const CliArgs& a) {
    int days = CHistory::kDefaultRetentionDays;
    if (a.Has(QStringLiteral("older-than"))) {
        bool ok = false;
        days = a.Value(QStringLiteral("older-than")).trimmed().toInt(&ok);
        if (!ok || days < 0)
            return usage(QStringLiteral("not a number of days: ") + a.Value(QStringLiteral("older-than")),
                         QStringLiteral("purge DB [--older-than DAYS]"));
    }
    if (!CliOpenDatabase(a.positional[0])) return 1;
    QString error;
    CHistory::Purged purged;
    if (!CHistory::Purge(CliDB(), days, &error, &purged)) return CliFail(QStringLiteral("Unable to purge: ") + error);
    CliOut(QStringLiteral("versions\t%1").arg(purged.versions));
    CliOut(QStringLiteral("trashed\t%1").arg(purged.trashed));
    return 0;
}

CliRegistrar regHistory({QStringLiteral("history"), QStringLiteral("history DB ID"),
                         QStringLiteral("List an item's kept versions, newest first: number, time, command, title. "
                                        "A category rename or merge that touched the item shows as -, time, "
                                        "command and the change (category OLD -> NEW)."),
                         2, 2, {}, {}, cmdHistory});
CliRegistrar regRestore({QStringLiteral("restore"), QStringLiteral("restore DB ID --version N"),
                         QStringLiteral("Make version N the item's present state (the replaced one is kept); prints "
                                        "nothing."),
                         2, 2,
                         {QStringLiteral("version")}, {}, cmdRestore});
CliRegistrar regTrash({QStringLiteral("trash"), QStringLiteral("trash DB"),
                       QStringLiteral("List deleted items: number, time deleted, language, title."), 1, 1, {}, {},
                       cmdTrash});
CliRegistrar regUndelete({QStringLiteral("undelete"), QStringLiteral("undelete DB ID"),
                          QStringLiteral("Bring a deleted item back from the trash; prints its number."), 2, 2, {}, {},
                          cmdUndelete});
CliRegistrar regUndo({QStringLiteral("undo"), QStringLiteral("undo DB"),
                      QStringLiteral("Take back the last delete, category rename or merge, import, attachment clear "
                                     "or restore."),
                      1, 1, {}, {}, cmdUndo});
CliRegistrar regPurge({QStringLiteral("purge"), QStringLiteral("purge DB [--older-than DAYS]"),
                       QStringLiteral("Let versions, deleted items and undo steps older than DAYS (default 90) go; "
                                      "prints how many versions and deleted items went."),
                       1,
                       1, {QStringLiteral("older-than")}, {}, cmdPurge});

}  // namespace

// show DB ID --version N: the kept version instead of the present item.
int CliShowVersion(const CliArgs& a) {
    CItemVersion v;
    if (const int status = findVersion(a, QStringLiteral("show DB ID [--version N]"), v)) return status;
    CliOut(QStringLiteral("Item#\t") + QString::number(v.itemId));
    CliOut(QStringLiteral("Version\t") + QString::number(v.number) + QLatin1Char('\t') + localTime(v.changed) +
           QLatin1Char('\t') + CliField(v.command));
    CliOut(QStringLiteral("Title\t") + CliField(v.item.title));
    CliOut(QStringLiteral("Language\t") + CliField(v.item.language));
    CliOut(QStringLiteral("Categories\t") + CliField(v.item.CategoriesText()));
    if (v.item.lastUpdate.isValid())
        CliOut(QStringLiteral("Updated\t") + v.item.lastUpdate.toLocalTime().toString(QStringLiteral("MM/dd/yyyy HH:mm")));
    if (!v.item.fileName.isEmpty())
        CliOut(QStringLiteral("Attachment\t") + CliField(v.item.fileName) + QLatin1Char('\t') +
               QString::number(v.item.fileSize) + QLatin1Char('\t') + QString::number(v.item.storedSize));
    CliOut(QString());
    CliOutRaw(v.item.body.toUtf8());
    return 0;
}
