#pragma once
// Loading, saving and deleting items.
#include <QString>
#include <QStringList>

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

// Fills rec from item itemId. An unknown item shows "Unable to open item. Error: ...", leaves
// rec as it was and gives false.
bool LoadItem(int itemId, ItemRecord& rec);

// The names in an item's categories text: split at commas, outer blanks trimmed, empty names
// (",,", a trailing comma, blanks only) skipped. Empty when the text names no category at all.
QStringList CategoryNames(const QString& categories);

// Stores an item under language with the comma-separated categories. itemId -1 makes a new item
// (or, with checkDuplicate, may merge into an item of the same title after asking). With
// ownTransaction the save runs in a transaction of its own and rolls back on failure; without
// it the caller's transaction is used and the caller rolls back. Returns the item number the
// item is stored under (written back to itemId), or 0 when it failed; error gets the reason.
int SaveItem(const QString& language, int& itemId, const QString& title, const QString& body,
             const QString& categories, const QString& timeText, bool checkDuplicate,
             bool ownTransaction, TimeBase timeBase = TimeBase::Local, QString* error = nullptr);

// Deletes the item and its links in one transaction. False (with the reason) when it failed.
bool DeleteItem(int itemId, QString* error = nullptr);

// UTC Julian day of a time text ("yyyy-MM-dd hh:mm:ss"); 0 when the engine gives nothing.
double JulianDay(const QString& timeText, TimeBase timeBase = TimeBase::Local);
