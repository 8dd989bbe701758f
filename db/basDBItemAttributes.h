#pragma once
// What the five tables cannot hold about an item (where it came from, how another tool knew it,
// its identity for life) in one additional table of the same file, tblItemAttribute: name and
// value per item number. The five tables and their triggers stay as they are, so nothing removes
// these rows when an item goes: every write here first drops the rows of items that are gone,
// and every read ignores them. A file without the table reads as one without attributes and gains
// the table on its first write.
#include <QHash>
#include <QMap>
#include <QString>

class CSQLite;

// Attribute name -> value; names are dotted by the tool they belong to ("vscode.prefix").
using ItemAttributes = QMap<QString, QString>;

// The name of the identity an item keeps for life (a UUID, the same wherever its export goes).
inline QString ItemUuidAttribute() { return QStringLiteral("uuid"); }

// Whether the file has the table; false with error when the engine failed.
bool HasItemAttributeTable(CSQLite& db, QString* error = nullptr);
// Creates the table when missing and drops the rows of items that no longer exist: the first
// step of every write. False with the engine's text.
bool PrepareItemAttributes(CSQLite& db, QString* error);
// Drops the rows of items that no longer exist (compaction); nothing to do without the table.
bool PruneItemAttributes(CSQLite& db, QString* error);
// Sets the values of item itemId (other names of the item stay). Needs PrepareItemAttributes
// first in the same transaction.
bool SetItemAttributes(CSQLite& db, int itemId, const ItemAttributes& values, QString* error);
// Removes every attribute of item itemId (deleting the item); nothing to do without the table.
bool RemoveItemAttributes(CSQLite& db, int itemId, QString* error);
// The attributes of item itemId; empty when it has none or does not exist.
bool ReadItemAttributes(CSQLite& db, int itemId, ItemAttributes& values, QString* error);
// The attributes of every existing item that has any.
bool ReadAllItemAttributes(CSQLite& db, QHash<int, ItemAttributes>& values, QString* error);
// Item number of each identity held by an existing item.
bool ReadItemUuids(CSQLite& db, QHash<QString, int>& items, QString* error);
// A fresh random identity (RFC 4122 version 4, lower case, without braces).
QString NewItemUuid();
