#pragma once
// Finding a language's category by name. The schema indexes categories by language and by
// name; the engine picks the language's index for "TypeID = .. AND Name = ..", which walks
// every category of that language, so a save or import with many categories did that per
// name. Here the name's index is used, and a lookup costs the same however many there are.
#include <QString>

class CSQLite;

// The number of language typeId's category name (the lowest, should there be several), made
// when there is none. 0 with the engine's text when that failed.
qint64 FindOrAddCategory(CSQLite& db, qint64 typeId, const QString& name, QString* error);
