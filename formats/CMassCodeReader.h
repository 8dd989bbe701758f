#pragma once
// massCode: its db.json (versions 1 to 3: folders, snippets and tags in one file) or, given a
// folder, its Markdown vault (version 4 and later: a folder per massCode folder, one Markdown
// file per snippet). One item per snippet that is not in the trash; those in it are counted.
#include "formats/CFormatReader.h"

class CMassCodeReader : public CFormatReader {
public:
    bool Read(const QString& path, const Sink& sink, CReadReport& report, QString* error) override;

    static QString IdAttribute() { return QStringLiteral("masscode.id"); }
    static QString FavoriteAttribute() { return QStringLiteral("favorite"); }  // "1"

private:
    bool ReadDatabase(const QString& file, const Sink& sink, CReadReport& report, QString* error);
    bool ReadVault(const QString& folder, const Sink& sink, CReadReport& report, QString* error);
};
