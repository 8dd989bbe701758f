#pragma once
// The rows an exchange file is written from: one per item-category link, by item number.
#include <QByteArrayView>
#include <QString>
#include <array>
#include <functional>

class CSQLite;

enum ExportField {
    kExportId,
    kExportType,
    kExportCategory,
    kExportTitle,
    kExportCode,
    kExportFile,
    kExportModifyDate,
    kExportFieldCount
};
using ExportFields = std::array<QByteArrayView, kExportFieldCount>;
// Called once per link in file order with the item number (or none for a link whose item is
// gone) and the line's fields as stored, valid during the call only; false stops the reading.
using ExportRowSink = std::function<bool(bool hasId, qint64 id, const ExportFields& fields)>;

// The query whose rows make up the file.
QString ExportQuery();
// The number of links (lines the file can have); error receives the engine's text.
qint64 CountItemLinks(CSQLite& db, QString* error);
// Hands the rows of ExportQuery() to sink, read from the base tables where the file allows it
// (the view copies every item, code and attachment included, into a temporary table and sorts
// whole rows). False with error when a read failed, or with stopped when sink stopped it.
bool ReadExportRows(CSQLite& db, const ExportRowSink& sink, QString* error, bool* stopped);
