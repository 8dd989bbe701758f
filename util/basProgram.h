#pragma once
// Facts about the running program: its title, version and folder.
#include <QString>

QString AppTitle();         // "VellumGranary"
QString AppCaption();       // "Programming Code and Tip Database"
QString AppVersion();       // "1.0.0"
QString AppComment();       // the version comment shown in About
QString AppWebsite();       // the maker's address shown in About

QString AppId();            // reverse-DNS id of the desktop entry, icon and metainfo

// Folder that holds the executables; Settings.ini lives here. Tests point it elsewhere.
QString ProgramFolder();
void SetProgramFolder(const QString& folder);
// A file the program ships (settings.db): beside the executable first (the build tree, a
// portable copy), then in the installed data folder (../share/vellumgranary); an empty file
// does not count. When neither holds it, the path beside the executable, so a failure names the usual place.
QString ProgramFile(const QString& name);
// True when the shipped files come from the installed data folder only: the program's folder
// is then a system folder (/usr/bin) where nothing of the user's may be written, even by root.
bool InstalledLayout();
