#pragma once
// Loading, saving and deleting items. The functions that take the connection are silent: they
// report through their result and error text only. Those without it work on gDB and show the
// window's messages.
#include "db/CItem.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>

class CSQLite;

struct ItemRecord {
    QString title;
    QString body;
    QString fileName;       // attachment name, empty when none
    qint64 fileSize = 0;    // attachment size before compression
    qint64 storedSize = 0;  // stored (compressed) length
    QString categories;     // "Cat1,Cat2" (as stored, no blanks added)
    QString lastUpdate;     // local time, "MM/dd/yyyy hh:mm"
};

// How SaveItem and JulianDay read their time text.
enum class TimeBase {
    Local,  // the editor's current local time
    Utc,    // a UTC time text, as exchange files carry
};

// Whether a new item joins the existing item of the same title (its number given). Empty: never.
using MergeDecision = std::function<bool(int existingItem)>;

// How SaveItem stores an item.
struct SaveOptions {
    // A new item may join the existing item of the same title (its number given). Empty: never.
    MergeDecision merge;
    // The item's time: empty takes item.lastUpdate, or the current time when that is invalid;
    // otherwise this text read as timeBase says (the exchange file's and the old callers' form).
    QString timeText;
    TimeBase timeBase = TimeBase::Utc;
    // Empty: a stored item's links are replaced by its categories. Otherwise only its links
    // under these languages (and its own) are; those under other languages stay.
    QStringList replaceLinksOf;
};

// Loads item itemId whole: texts, language (of its first link), every category, attachment
// name and sizes, time. False with the reason (an unknown item: "Item N does not exist"), item
// unchanged.
bool LoadItem(CSQLite& db, int itemId, CItem& item, QString* error);
// Items by number, in that order, skipping numbers that are not stored; one read for all.
bool LoadItemsById(CSQLite& db, const QList<int>& ids, QList<CItem>& items, QString* error);

// Stores item under its language and categories, in one transaction (a savepoint inside the
// caller's), and records the change with the values before and after. A new item (id below 1)
// gets a number, or joins the item of the same title when options.merge says so. Returns the
// number it is stored under (also written to item.id), or 0 with the reason.
int SaveItem(CSQLite& db, CItem& item, const SaveOptions& options, QString* error);

// Fills rec from item itemId. False with the reason (an unknown item: "Item N does not exist"),
// rec unchanged.
bool LoadItem(CSQLite& db, int itemId, ItemRecord& rec, QString* error);
// LoadItem on gDB; a failure shows "Unable to open item. Error: " + the reason.
bool LoadItem(int itemId, ItemRecord& rec);

// The names in an item's categories text: split at commas, outer blanks trimmed, empty names
// (",,", a trailing comma, blanks only) skipped. Empty when the text names no category at all.
QStringList CategoryNames(const QString& categories);

// The positional form of SaveItem: stores an item under language with the comma-separated categories. itemId -1 makes a new item
// (or, when merge says so, joins the item of the same title). Runs as one unit: a transaction of
// its own, or a savepoint inside the caller's, rolled back on failure either way. Returns the item
// number the item is stored under (written back to itemId), or 0 when it failed; error gets the
// reason.
int SaveItem(CSQLite& db, const QString& language, int& itemId, const QString& title, const QString& body,
             const QString& categories, const QString& timeText, const MergeDecision& merge,
             TimeBase timeBase = TimeBase::Local, QString* error = nullptr);
// SaveItem on gDB with the current time; with checkDuplicate the window asks "Merge this with
// existing item #N?". Returns the stored number, 0 on failure.
int SaveItem(CItem item, bool checkDuplicate, QString* error = nullptr, const QStringList& replaceLinksOf = {});
// The positional form on gDB, with the same question.
int SaveItem(const QString& language, int& itemId, const QString& title, const QString& body,
             const QString& categories, const QString& timeText, bool checkDuplicate,
             TimeBase timeBase = TimeBase::Local, QString* error = nullptr);

// Deletes the item and its links in one transaction. False (with the reason) when it failed.
bool DeleteItem(CSQLite& db, int itemId, QString* error = nullptr);
bool DeleteItem(int itemId, QString* error = nullptr);
// Whether item itemId exists; false with error when the read failed.
bool ItemExists(CSQLite& db, int itemId, QString* error = nullptr);

// Gives the item back the time text (UTC, as exchange files carry it): the schema stamps the
// current time on every change of an item row that does not set one itself.
bool RestoreItemTime(CSQLite& db, int itemId, const QString& utcTime, QString* error);
// Items that have an attachment (a block, a size or a name).
QSet<int> ItemsWithAttachments(CSQLite& db);

// UTC Julian day of a time text ("yyyy-MM-dd hh:mm:ss"); 0 when the engine gives nothing.
double JulianDay(const QString& timeText, TimeBase timeBase = TimeBase::Local);
