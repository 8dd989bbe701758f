#include "util/basProgram.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#ifndef VG_VERSION
#define VG_VERSION "1.0.0"
#endif
#ifndef VG_APP_ID
#define VG_APP_ID "org.example.vellumgranary"
#endif
// The data folder as seen from the folder of the executables, set by the install layout.
#ifndef VG_DATA_FROM_BIN
#define VG_DATA_FROM_BIN "../share/vellumgranary"
#endif

static QString g_programFolder;

QString AppTitle() { return QStringLiteral("VellumGranary"); }
QString AppCaption() { return QStringLiteral("Programming Code and Tip Database"); }
QString AppVersion() { return QStringLiteral(VG_VERSION); }
QString AppComment() { return QStringLiteral("Programming code and tip database"); }
QString AppWebsite() { return QStringLiteral("https://vellumgranary.example.org"); }
QString AppId() { return QStringLiteral(VG_APP_ID); }

QString ProgramFolder() {
    if (!g_programFolder.isEmpty()) return g_programFolder;
    if (QCoreApplication::instance()) return QCoreApplication::applicationDirPath();
    return QDir::currentPath();
}

void SetProgramFolder(const QString& folder) { g_programFolder = folder; }

// An empty file is what a failed open of a missing settings.db leaves behind; it must not
// hide the installed one.
static bool usable(const QString& path) {
    const QFileInfo fi(path);
    return fi.isFile() && fi.size() > 0;
}

static QString installedFile(const QDir& program, const QString& name) {
    return QDir::cleanPath(program.filePath(QStringLiteral(VG_DATA_FROM_BIN "/") + name));
}

QString ProgramFile(const QString& name) {
    const QDir program(ProgramFolder());
    const QString beside = program.filePath(name);
    if (usable(beside)) return beside;
    const QString installed = installedFile(program, name);
    if (usable(installed)) return installed;
    return beside;
}

bool InstalledLayout() {
    const QDir program(ProgramFolder());
    const QString name = QStringLiteral("settings.db");
    return !usable(program.filePath(name)) && usable(installedFile(program, name));
}
