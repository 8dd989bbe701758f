#pragma once
// the-way's JSON export: one object per line (read as a stream of JSON values, so objects spread
// over several lines or gathered in a list read too). One item per object.
#include "formats/CFormatReader.h"

class CTheWayReader : public CFormatReader {
public:
    bool Read(const QString& path, const Sink& sink, CReadReport& report, QString* error) override;

    static QString IndexAttribute() { return QStringLiteral("the-way.index"); }
};
