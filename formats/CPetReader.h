#pragma once
// pet's snippet.toml: one item per [[snippets]] table; the description is the title, the
// command (or the lines of a commands list) the body, the tags the categories.
#include "formats/CFormatReader.h"

class CPetReader : public CFormatReader {
public:
    bool Read(const QString& path, const Sink& sink, CReadReport& report, QString* error) override;

    static QString OutputAttribute() { return QStringLiteral("pet.output"); }
};
