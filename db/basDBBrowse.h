#pragma once
// Browse and search queries of the snippet store. A filter id of -1 means "not filtered".
#include "db/CSQLite.h"
#include "util/ResultTable.h"

#include <QString>

// A failed statement leaves the table unfilled and, when error is given, its engine text there
// (empty after success), so that an empty list is never mistaken for a failed read.
// Languages that have items (ID, Name, Count) by name; count = items in the database.
ResultTable LoadTypes(int& count, QString* error = nullptr);
// Categories (ID, Name, link count) by name, of one language or all (-1); count as the list total.
ResultTable LoadCategories(int typeId, int& count, QString* error = nullptr);
// Whether LoadItems keeps the composed rows of every list for the next calls (the window, which
// reloads its lists again and again) or asks the engine for each one (a one-shot command).
void KeepItemLists(bool keep);
// Items (ID, Title) of a category and/or language in the given ORDER BY clause; unfilled when none.
ResultTable LoadItems(int categoryId, int typeId, const QString& orderBy, QString* error = nullptr);
// After a save or delete of one item on this connection, committed since before (the stamp
// taken just ahead of it): the kept lists take that item's new state instead of being composed
// again from the whole file. False when they were not current then or something else changed
// the file; the next list reads it all again.
bool KeptItemChanged(int itemId, const CSQLite::Stamp& before);
// Full-text search, by title. A malformed query shows "Search error: " + the engine's text and
// gives an unfilled table; error (when given) receives the engine's text.
ResultTable SearchItems(const QString& search, int categoryId, int typeId, QString* error = nullptr);
