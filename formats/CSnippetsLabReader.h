#pragma once
// SnippetsLab's JSON export: folders (nested by children), tags and snippets of one or more
// fragments. One item per snippet; its folder path and tags are the categories.
#include "formats/CFormatReader.h"

class CSnippetsLabReader : public CFormatReader {
public:
    bool Read(const QString& path, const Sink& sink, CReadReport& report, QString* error) override;

    static QString UuidAttribute() { return QStringLiteral("snippetslab.uuid"); }
};
