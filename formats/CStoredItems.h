#pragma once
// Every item of a database as the exporters write it, in number order: the item with its
// language (the first category's) and categories, its attributes, its attachment's name. Read in
// one pass with the text handed over item by item, so a large database is never held whole.
#include "db/CItem.h"
#include "db/basDBItemAttributes.h"

#include <functional>

class CSQLite;

class CStoredItems {
public:
    using Sink = std::function<bool(const CItem& item, const ItemAttributes& attributes)>;
    // Hands every item to sink until it returns false (stopped then set). total (when given)
    // receives the number of items before the first call. False with the engine's text.
    static bool ForEach(CSQLite& db, const Sink& sink, QString* error, qint64* total = nullptr,
                        bool* stopped = nullptr);
};
