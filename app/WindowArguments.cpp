#include "app/WindowArguments.h"

#include "util/basProgram.h"

#include <QDir>
#include <QFileInfo>

static QString g_startupDatabase;

WindowArguments ParseWindowArguments(const QStringList& args) {
    WindowArguments result;
    bool onlyFiles = false;
    QStringList files;
    for (const QString& a : args) {
        if (!onlyFiles && a == QLatin1String("--")) {
            onlyFiles = true;
        } else if (!onlyFiles && (a == QLatin1String("--help") || a == QLatin1String("-h"))) {
            result.action = WindowArguments::Action::Help;
            return result;
        } else if (!onlyFiles && a == QLatin1String("--version")) {
            result.action = WindowArguments::Action::Version;
            return result;
        } else if (!onlyFiles && a == QLatin1String("--quick")) {
            result.quick = true;
        } else if (!onlyFiles && a.size() > 1 && a.startsWith(QLatin1Char('-'))) {
            result.action = WindowArguments::Action::Usage;
            result.error = QStringLiteral("unknown option: ") + a;
            return result;
        } else if (!a.isEmpty()) {
            files << a;
        }
    }
    if (files.size() > 1) {
        result.action = WindowArguments::Action::Usage;
        result.error = QStringLiteral("only one database file can be opened");
        return result;
    }
    // Relative to where the user stands: a bare name would otherwise mean the program's folder.
    if (!files.isEmpty()) result.database = QDir::cleanPath(QFileInfo(files[0]).absoluteFilePath());
    return result;
}

QString WindowUsage() {
    return QStringLiteral(
        "usage: vellumgranary [DATABASE]\n"
        "       vellumgranary --quick [DATABASE]\n"
        "\n"
        "Opens DATABASE, or the database used last when none is given. A missing file is\n"
        "created as a new snippet database. The file opened becomes the one used next time.\n"
        "\n"
        "--quick shows the quick palette of the running program, or starts the program\n"
        "showing only the palette when none runs. Bind it to a key of the desktop.\n"
        "\n"
        "vellumgranary --version | vellumgranary --help\n");
}

void SetStartupDatabase(const QString& path) { g_startupDatabase = path; }

QString TakeStartupDatabase() {
    QString path;
    path.swap(g_startupDatabase);
    return path;
}
