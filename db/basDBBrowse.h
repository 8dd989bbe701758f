#pragma once
// Browse and search queries of the snippet store. A filter id of -1 means "not filtered".
// The functions that take the connection are silent; those without it work on gDB.
#include "db/CSQLite.h"
#include "db/CTitleRows.h"
#include "util/ResultTable.h"

#include <QString>
#include <functional>

// A failed statement leaves the table unfilled and, when error is given, its engine text there
// (empty after success), so that an empty list is never mistaken for a failed read.
// Languages that have items (ID, Name, Count) by name; count = items in the database.
ResultTable LoadTypes(CSQLite& db, int& count, QString* error = nullptr);
ResultTable LoadTypes(int& count, QString* error = nullptr);
// Categories (ID, Name, link count) by name, of one language or all (-1); count as the list total.
ResultTable LoadCategories(CSQLite& db, int typeId, int& count, QString* error = nullptr);
ResultTable LoadCategories(int typeId, int& count, QString* error = nullptr);
// Whether LoadItems keeps the composed rows of every list for the next calls (the window, which
// reloads its lists again and again) or asks the engine for each one (a one-shot command).
void KeepItemLists(CSQLite& db, bool keep);
// Items (ID, Title) of a category and/or language in the given ORDER BY clause; unfilled when none.
ResultTable LoadItems(CSQLite& db, int categoryId, int typeId, const QString& orderBy, QString* error = nullptr);
ResultTable LoadItems(int categoryId, int typeId, const QString& orderBy, QString* error = nullptr);
// The same rows on gDB for the window's list: from the kept composition they share its titles,
// which become text only when shown.
CTitleRows LoadTitleRows(int categoryId, int typeId, const QString& orderBy, QString* error = nullptr);
// The rows LoadItems(db, ...) gives, read from the engine and handed to fn one at a time, until
// fn returns false; never kept. False with the engine's text when the read failed.
bool ForEachItem(CSQLite& db, int categoryId, int typeId, const QString& orderBy,
                 const std::function<bool(const CSQLite::Row&)>& fn, QString* error = nullptr);
// Each item the list holds once, as a listing by number and title shows it: no row for a link
// whose item or full-text row is gone, and items whose sort keys are equal in number order
// (ForEachItem gives the list's rows, which follow the links). Read as ForEachItem is.
bool ForEachListedItem(CSQLite& db, int categoryId, int typeId, const QString& orderBy,
                       const std::function<bool(const CSQLite::Row&)>& fn, QString* error = nullptr);
// Full-text search (CSearch): best first, or in one of LoadItems' orders. A malformed query gives
// an unfilled table and the reason.
// ranked (when given): whether the hits came best first.
ResultTable SearchItems(CSQLite& db, const QString& search, int categoryId, int typeId, QString* error,
                        const QString& orderBy = QString(), bool* ranked = nullptr);
// SearchItems on gDB; a malformed query also shows "Search error: " + the reason.
ResultTable SearchItems(const QString& search, int categoryId, int typeId, QString* error = nullptr,
                        const QString& orderBy = QString(), bool* ranked = nullptr);
// The number of the language named name, or of its category named name (typeId -1: of any
// language), without regard to letter case; 0 when there is none, -1 when the read failed (error
// set).
int FindLanguageId(CSQLite& db, const QString& name, QString* error);
int FindCategoryId(CSQLite& db, const QString& name, int typeId, QString* error);

// What a database holds, as vgcli info prints it.
struct StoreCounts {
    qint64 schema = 0;  // the schema version (user_version)
    qint64 items = 0;
    qint64 languages = 0;
    qint64 categories = 0;
    qint64 attachments = 0;
};
// All or nothing: false with the engine's text when any read failed.
bool CountStore(CSQLite& db, StoreCounts* counts, QString* error);
