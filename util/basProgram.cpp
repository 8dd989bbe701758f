#include "util/basProgram.h"

#include <QCoreApplication>
#include <QDir>

#ifndef VG_VERSION
#define VG_VERSION "1.0.0"
#endif

static QString g_programFolder;

QString AppTitle() { return QStringLiteral("VellumGranary"); }
QString AppCaption() { return QStringLiteral("Programming Code and Tip Database"); }
QString AppVersion() { return QStringLiteral(VG_VERSION); }
QString AppComment() { return QStringLiteral("Programming code and tip database"); }
QString AppWebsite() { return QStringLiteral("https://vellumgranary.example.org"); }

QString ProgramFolder() {
    if (!g_programFolder.isEmpty()) return g_programFolder;
    if (QCoreApplication::instance()) return QCoreApplication::applicationDirPath();
    return QDir::currentPath();
}

void SetProgramFolder(const QString& folder) { g_programFolder = folder; }
