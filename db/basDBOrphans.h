#pragma once
// Rows of the item table and the full-text table that lack their other half (a damaged file,
// another program): such a full-text row holds its number, so no new item can take it.
class CSQLite;
class QString;

// Whether the full-text table has a row numbered itemId; false with error when the read failed.
bool HasFullTextRow(CSQLite& db, int itemId, QString* error);
