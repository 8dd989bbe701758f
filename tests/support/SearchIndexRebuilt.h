#pragma once
// Whether a database's search index is exactly the one made from scratch: every token of every
// column at every position, and every state row. The live index is read as it is; a copy of the
// file has its index dropped and made again.
#include <QString>

class CSQLite;

// Empty when the index of db's file equals a rebuild, else what differs first. db must be
// outside a transaction (the copy is taken with VACUUM INTO). work is a folder for the copy.
QString SearchIndexDifference(CSQLite& db, const QString& work);
