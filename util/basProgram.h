#pragma once
// Facts about the running program: its title, version and folder.
#include <QString>

QString AppTitle();         // "VellumGranary"
QString AppCaption();       // "Programming Code and Tip Database"
QString AppVersion();       // "1.0.0"
QString AppComment();       // the version comment shown in About
QString AppWebsite();       // the maker's address shown in About

// Folder that holds the executables and settings.db. Tests point it elsewhere.
QString ProgramFolder();
void SetProgramFolder(const QString& folder);
