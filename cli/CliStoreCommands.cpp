// vgcli languages, categories, list, search, show, save, delete, rename-category, vacuum, backup.
#include "cli/CliCommand.h"
#include "db/basDB.h"
#include "db/basDBOrphans.h"
#include "search/CSearch.h"
#include "search/CSearchQuery.h"
#include "util/basLimits.h"
#include "util/basNames.h"
#include "util/basTime.h"
#include "util/basText.h"
#include "util/basVariableTools.h"

#include <QDateTime>
#include <QFile>
#include <cstdio>
#include <string>

// In the history commands' file.
int CliShowVersion(const CliArgs& a);

namespace {

int usage(const QString& why, const QString& line) {
    CliErr(QStringLiteral("vgcli: ") + why);
    CliErr(QStringLiteral("usage: vgcli ") + line);
    return 2;
}

bool number(const QString& text, int& out) {
    bool ok = false;
    out = text.trimmed().toInt(&ok);
    return ok;
}

void printRows(const ResultTable& t) {
    for (int r = 1; r <= t.RowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < t.ColCount(); ++c) cells << CliField(t.Text(r, c));
        CliOut(cells.join(QLatin1Char('\t')));
    }
}

// Prints the rows of a list, or reports the failed read (exit 1) instead of an empty list.
int printList(const ResultTable& t, const QString& error) {
    if (!error.isEmpty()) return CliFail(EngineFailureMessage(CliDB(), error));
    printRows(t);
    return 0;
}

// The ID of the row of table whose Name is name (and TypeID typeId unless -1); 0 when there is
// none, -1 after reporting a failed read.
int lookupId(bool category, const QString& name, int typeId) {
    QString error;
    const int id = category ? FindCategoryId(CliDB(), name, typeId, &error) : FindLanguageId(CliDB(), name, &error);
    if (id < 0) CliErr(EngineFailureMessage(CliDB(), error));
    return id;
}

// -l and -c by name, without regard to case; -1 when the option is absent. False after
// reporting an unknown name or a failed read.
bool resolveFilters(const CliArgs& a, int& typeId, int& categoryId) {
    typeId = -1;
    categoryId = -1;
    if (a.Has(QStringLiteral("language"))) {
        const QString name = a.Value(QStringLiteral("language"));
        const int id = lookupId(false, name, -1);
        if (id < 0) return false;
        if (id == 0) {
            CliErr(QStringLiteral("No such language: ") + name);
            return false;
        }
        typeId = id;
    }
    if (a.Has(QStringLiteral("category"))) {
        const QString name = a.Value(QStringLiteral("category"));
        const int id = lookupId(true, name, typeId);
        if (id < 0) return false;
        if (id == 0) {
            CliErr(QStringLiteral("No such category: ") + name);
            return false;
        }
        categoryId = id;
    }
    return true;
}

// All of f (a file, a pipe, a device without end) up to the content limit.
bool readBody(QFile& f, QByteArray& bytes, QString& why) {
    char buf[1 << 16];
    for (;;) {
        const qint64 got = f.read(buf, sizeof buf);
        if (got < 0) {
            why = f.errorString();
            return false;
        }
        if (got == 0) return true;
        if (bytes.size() + got > kMaxContentBytes) {
            why = QStringLiteral("the body is larger than %1").arg(QLatin1String(MaxContentText()));
            return false;
        }
        bytes.append(buf, got);
    }
}

const QString kListUsage = QStringLiteral("list DB [-l LANG] [-c CAT] [-o title|modified|created|size]");
const QString kSearchUsage =
    QStringLiteral("search DB QUERY [-l LANG] [-c CAT] [--order rank|title] [--context]");
const QString kSaveUsage =
    QStringLiteral("save DB -l LANG -c CATS [-t TITLE] [--id N] [--body FILE] [--merge]");

int cmdLanguages(const CliArgs& a) {
    if (!CliOpenDatabase(a.positional[0])) return 1;
    int count = 0;
    QString error;
    const ResultTable t = LoadTypes(CliDB(), count, &error);
    return printList(t, error);
}

int cmdCategories(const CliArgs& a) {
    if (!CliOpenDatabase(a.positional[0])) return 1;
    int typeId, categoryId;
    if (!resolveFilters(a, typeId, categoryId)) return 1;
    int count = 0;
    QString error;
    const ResultTable t = LoadCategories(CliDB(), typeId, count, &error);
    return printList(t, error);
}

int cmdList(const CliArgs& a) {
    static const QHash<QString, QString> orders{{QStringLiteral("title"), QStringLiteral("Title")},
                                                {QStringLiteral("modified"), QStringLiteral("LastUpdate DESC")},
                                                {QStringLiteral("created"), QStringLiteral("ID")},
                                                {QStringLiteral("size"), QStringLiteral("FileSize DESC")}};
    const QString order = a.Has(QStringLiteral("order")) ? a.Value(QStringLiteral("order")).toLower()
                                                         : QStringLiteral("title");
    if (!orders.contains(order)) return usage(QStringLiteral("unknown order: ") + order, kListUsage);
    if (!CliOpenDatabase(a.positional[0])) return 1;
    int typeId, categoryId;
    if (!resolveFilters(a, typeId, categoryId)) return 1;
    // Straight from the engine's rows into one buffer, printed once the read has succeeded, so a
    // failed read still prints nothing.
    std::string out;
    out.reserve(size_t(1) << 22);
    QByteArray scratch;
    QString error;
    const bool ok = ForEachListedItem(CliDB(), categoryId, typeId, orders.value(order), [&](const CSQLite::Row& row) {
        for (int c = 0; c < row.Columns(); ++c) {
            if (c) out += '\t';
            CliAppendField(out, row.Utf8(c, scratch));
        }
        out += '\n';
        return true;
    }, &error);
    if (!ok) return CliFail(EngineFailureMessage(CliDB(), error));
    CliOutRaw(QByteArray::fromRawData(out.data(), qsizetype(out.size())));
    return 0;
}

int cmdSearch(const CliArgs& a) {
    const QString order = a.Has(QStringLiteral("order")) ? a.Value(QStringLiteral("order")).toLower() : QStringLiteral("rank");
    if (order != QLatin1String("rank") && order != QLatin1String("title"))
        return usage(QStringLiteral("unknown order: ") + order, kSearchUsage);
    if (!CliOpenDatabase(a.positional[0])) return 1;
    int typeId, categoryId;
    if (!resolveFilters(a, typeId, categoryId)) return 1;
    const QString orderBy = order == QLatin1String("title") ? QStringLiteral("Title") : QString();
    const bool context = a.Has(QStringLiteral("context"));
    // Straight from the engine's rows into one buffer, as list does; with context the hits are
    // kept until their lines are read.
    std::string out;
    QByteArray scratch;
    QList<int> ids;
    QStringList titles;
    QString error;
    const bool ok = CSearch::ForEach(CliDB(), a.positional[1], categoryId, typeId, orderBy, [&](const CSQLite::Row& row) {
        if (context) {
            ids << int(row.Int(0));
            titles << QString::fromUtf8(row.Utf8(1, scratch));
            return true;
        }
        CliAppendField(out, row.Utf8(0, scratch));
        out += '\t';
        CliAppendField(out, row.Utf8(1, scratch));
        out += '\n';
        return true;
    }, &error);
    if (!ok) return CliFail(QStringLiteral("Search error: ") + error);
    if (!context) {
        CliOutRaw(QByteArray::fromRawData(out.data(), qsizetype(out.size())));
        return 0;
    }
    // Each hit, then its line of context indented by a TAB, the matches in [ ].
    CSearchQuery query;
    query.Parse(a.positional[1], nullptr);
    const QHash<int, QString> lines =
        CSearch::Contexts(CliDB(), ids, query.MarkWords(), 160, QStringLiteral("["), QStringLiteral("]"));
    for (qsizetype k = 0; k < ids.size(); ++k) {
        CliOut(QString::number(ids[k]) + QLatin1Char('\t') + CliField(titles[k]));
        const QString line = lines.value(ids[k]);
        if (!line.isEmpty()) CliOut(QLatin1Char('\t') + CliField(line));
    }
    return 0;
}

int cmdShow(const CliArgs& a) {
    if (a.Has(QStringLiteral("version"))) return CliShowVersion(a);
    int id;
    if (!number(a.positional[1], id)) return usage(QStringLiteral("not an item number: ") + a.positional[1],
                                                    QStringLiteral("show DB ID"));
    if (!CliOpenDatabase(a.positional[0])) return 1;
    ItemRecord rec;
    QString error;
    if (!LoadItem(CliDB(), id, rec, &error)) return CliFail(QStringLiteral("Unable to open item. Error: ") + error);
    CliOut(QStringLiteral("Item#\t") + QString::number(id));
    CliOut(QStringLiteral("Title\t") + CliField(rec.title));
    CliOut(QStringLiteral("Categories\t") + CliField(rec.categories));
    CliOut(QStringLiteral("Updated\t") + rec.lastUpdate);
    if (!rec.fileName.isEmpty())
        CliOut(QStringLiteral("Attachment\t") + CliField(rec.fileName) + QLatin1Char('\t') +
               QString::number(rec.fileSize) + QLatin1Char('\t') + QString::number(rec.storedSize));
    CliOut(QString());
    CliOutRaw(rec.body.toUtf8());
    return 0;
}

int cmdSave(const CliArgs& a) {
    const QString language = CleanName(a.Value(QStringLiteral("language")));
    const QStringList categories = CleanNames(a.Value(QStringLiteral("category")));
    if (language.isEmpty()) return usage(QStringLiteral("a language is needed (-l LANG)"), kSaveUsage);
    if (categories.isEmpty()) return usage(QStringLiteral("one or more categories are needed (-c CATS)"), kSaveUsage);
    int id = -1;
    if (a.Has(QStringLiteral("id")) && !number(a.Value(QStringLiteral("id")), id))
        return usage(QStringLiteral("not an item number: ") + a.Value(QStringLiteral("id")), kSaveUsage);
    QString body;
    if (a.Has(QStringLiteral("body"))) {
        const QString from = a.Value(QStringLiteral("body"));
        QFile f;
        const bool open = from == QLatin1String("-") ? f.open(stdin, QIODevice::ReadOnly)
                                                     : (f.setFileName(from), f.open(QIODevice::ReadOnly));
        if (!open) return CliFail(QStringLiteral("Unable to read ") + from + QStringLiteral(": ") + f.errorString());
        QByteArray bytes;
        QString why;
        if (!readBody(f, bytes, why)) return CliFail(QStringLiteral("Unable to read ") + from + QStringLiteral(": ") + why);
        body = DecodeLinesUtf8OrCp1252(bytes);
    }
    if (!CliOpenDatabase(a.positional[0])) return 1;
    // Taken in UTC: a local time in the hour that repeats when clocks go back names two moments.
    const QString now = UtcNowText();
    QString error;
    // --merge joins an item of the same title; without it a new item is always a new one.
    MergeDecision merge;
    if (a.Has(QStringLiteral("merge"))) merge = [](int) { return true; };
    const int n = SaveItem(CliDB(), language, id, a.Value(QStringLiteral("title")), body,
                           categories.join(QLatin1Char(',')), now, merge, TimeBase::Utc, &error);
    if (n == 0) return CliFail(QStringLiteral("Unable to save the item: ") + error);
    CliOut(QString::number(n));
    return 0;
}

int cmdDelete(const CliArgs& a) {
    int id;
    if (!number(a.positional[1], id))
        return usage(QStringLiteral("not an item number: ") + a.positional[1], QStringLiteral("delete DB ID"));
    if (!CliOpenDatabase(a.positional[0])) return 1;
    // A full-text row left without its item (a damaged file) is deleted too: it holds the number.
    QString error;
    const bool exists = ItemExists(CliDB(), id, &error) || (error.isEmpty() && HasFullTextRow(CliDB(), id, &error));
    if (!error.isEmpty()) return CliFail(EngineFailureMessage(CliDB(), error));
    if (!exists) return CliFail(QStringLiteral("No such item: ") + QString::number(id));
    if (!DeleteItem(CliDB(), id, &error)) return CliFail(QStringLiteral("Unable to delete the item: ") + error);
    return 0;
}

int cmdRenameCategory(const CliArgs& a) {
    const QString newName = CleanName(a.positional[3]);
    if (newName.isEmpty())
        return usage(QStringLiteral("the new name is empty"),
                     QStringLiteral("rename-category DB LANG CATEGORY NEWNAME"));
    if (!CliOpenDatabase(a.positional[0])) return 1;
    CliArgs filters;
    filters.options.insert(QStringLiteral("language"), a.positional[1]);
    filters.options.insert(QStringLiteral("category"), a.positional[2]);
    int typeId, categoryId;
    if (!resolveFilters(filters, typeId, categoryId)) return 1;
    QString error;
    if (!RenameCategory(CliDB(), categoryId, newName, &error))
        return CliFail(QStringLiteral("Unable to rename the category: ") + error);
    return 0;
}

int cmdVacuum(const CliArgs& a) {
    if (!CliOpenDatabase(a.positional[0])) return 1;
    QString error;
    if (!VacuumDatabase(CliDB(), &error)) return CliFail(QStringLiteral("Unable to compact the database: ") + error);
    return 0;
}

int cmdBackup(const CliArgs& a) {
    if (!CliOpenDatabase(a.positional[0])) return 1;
    int code = 0;
    QString error;
    if (BackupDatabase(CliDB(), CliAbsolute(a.positional[1]), &code, &error)) return 0;
    return CliFail(QStringLiteral("Unable to create backup.\r\nError: ") + QString::number(code) + QLatin1Char(' ') +
                   error);
}

CliRegistrar regLanguages({QStringLiteral("languages"), QStringLiteral("languages DB"),
                           QStringLiteral("List the languages that have items: ID, name, item count."),
                           1, 1, {}, {}, cmdLanguages});
CliRegistrar regCategories({QStringLiteral("categories"), QStringLiteral("categories DB [-l LANG]"),
                            QStringLiteral("List categories (of one language): ID, name, item count."),
                            1, 1, {QStringLiteral("language")}, {}, cmdCategories});
CliRegistrar regList({QStringLiteral("list"), kListUsage,
                      QStringLiteral("List items (ID, title) of a language and/or category."), 1, 1,
                      {QStringLiteral("language"), QStringLiteral("category"), QStringLiteral("order")},
                      {}, cmdList});
CliRegistrar regSearch({QStringLiteral("search"), kSearchUsage,
                        QStringLiteral("Search titles, code and attachment names, best match first (code words "
                                       "match their parts); --context adds a line of context per hit."),
                        2, 2, {QStringLiteral("language"), QStringLiteral("category"), QStringLiteral("order")},
                        {QStringLiteral("context")}, cmdSearch});
CliRegistrar regShow({QStringLiteral("show"), QStringLiteral("show DB ID [--version N]"),
                      QStringLiteral("Print one item (or its kept version N): fields, then an empty line and its "
                                     "code text."),
                      2, 2, {QStringLiteral("version")}, {}, cmdShow});
CliRegistrar regSave({QStringLiteral("save"), kSaveUsage,
                      QStringLiteral("Save an item (new, or --id N); body from FILE or stdin (-). "
                                     "Prints the item number."),
                      1, 1,
                      {QStringLiteral("language"), QStringLiteral("category"), QStringLiteral("title"),
                       QStringLiteral("id"), QStringLiteral("body")},
                      {QStringLiteral("merge")}, cmdSave});
CliRegistrar regDelete({QStringLiteral("delete"), QStringLiteral("delete DB ID"),
                        QStringLiteral("Delete an item."), 2, 2, {}, {}, cmdDelete});
CliRegistrar regRename({QStringLiteral("rename-category"),
                        QStringLiteral("rename-category DB LANG CATEGORY NEWNAME"),
                        QStringLiteral("Rename a category, or merge it into NEWNAME when the language has it."),
                        4, 4, {}, {}, cmdRenameCategory});
CliRegistrar regVacuum({QStringLiteral("vacuum"), QStringLiteral("vacuum DB"),
                        QStringLiteral("Remove unused categories and languages and compact the file."), 1, 1,
                        {}, {}, cmdVacuum});
CliRegistrar regBackup({QStringLiteral("backup"), QStringLiteral("backup DB TARGET"),
                        QStringLiteral("Copy the database to TARGET, replacing it only once the copy is complete."),
                        2, 2, {}, {}, cmdBackup});

}  // namespace
