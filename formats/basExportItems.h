#pragma once
// The item loop every exporter runs: each stored item in number order, the progress bar moved,
// Cancel heard, and the first failure ends it.
#include "db/CItem.h"
#include "db/basDBItemAttributes.h"
#include "formats/CExportSummary.h"

#include <functional>

class CSQLite;
class CProgressScope;

// Writes one item; false with error to stop the export.
using ExportStep = std::function<bool(const CItem& item, const ItemAttributes& attributes, QString* error)>;

// Hands every item of db to step, counting summary.items and moving progress up to upTo percent.
// False when cancelled (summary.cancelled) or when reading or a step failed (summary.error).
bool ExportEachItem(CSQLite& db, CProgressScope& progress, int upTo, CExportSummary& summary, const ExportStep& step);
