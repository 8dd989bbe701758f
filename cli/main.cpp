// vgcli: snippet databases from the command line. Argument reading and printing only;
// the work is done by the same core library as the window program.
#include "cli/CliCommand.h"
#include "cli/CliConsolePrompt.h"
#include "db/basDB.h"
#include "db/basDBBrowse.h"
#include "util/basProgram.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <new>

bool CliOpenDatabase(const QString& path) {
    const QString file = CliAbsolute(path);
    const QFileInfo info(file);
    if (!info.exists() || info.isDir()) {
        CliErr(QStringLiteral("No such database: ") + path);
        return false;
    }
    StoreError error;
    if (OpenDatabase(CliDB(), file, &error)) return true;
    CliErr(error.detail.isEmpty() ? error.text : error.text + QStringLiteral(": ") + error.detail);
    return false;
}

static const QHash<QString, QString>& shortOptions() {
    static const QHash<QString, QString> map{{QStringLiteral("l"), QStringLiteral("language")},
                                             {QStringLiteral("c"), QStringLiteral("category")},
                                             {QStringLiteral("o"), QStringLiteral("order")},
                                             {QStringLiteral("t"), QStringLiteral("title")}};
    return map;
}

static void printUsage(FILE* to) {
    QString text = QStringLiteral("usage: vgcli COMMAND DB [ARGS] [OPTIONS]\n\ncommands:\n");
    for (const CliCommand& c : CliCommands())
        text += QStringLiteral("  %1\n      %2\n").arg(c.usage, c.summary);
    text += QStringLiteral("\nOne record per line, fields separated by TAB; a CR, LF or TAB inside a field "
                           "(a title, a name, a path) is written as \\r, \\n or \\t.\n");
    text += QStringLiteral("\nvgcli --version | vgcli --help | vgcli COMMAND --help\n");
    const QByteArray b = text.toUtf8();
    std::fwrite(b.constData(), 1, size_t(b.size()), to);
}

static int usageError(const CliCommand* c, const QString& why) {
    CliErr(QStringLiteral("vgcli: ") + why);
    CliErr(QStringLiteral("usage: vgcli ") + (c ? c->usage : QStringLiteral("COMMAND DB [ARGS]")));
    return 2;
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) return usageError(nullptr, QStringLiteral("no command given"));
    // An argument whose bytes are not text in the system's encoding comes back as another text:
    // a path would name another file (and a new one be created under that other name).
    for (int i = 1; i < argc; ++i) {
        const QByteArray raw(argv[i]);
        if (QFile::encodeName(QFile::decodeName(raw)) != raw)
            return CliFail(QStringLiteral("Not valid in the file system's encoding: ") + QFile::decodeName(raw));
    }
    if (args[0] == QLatin1String("--help") || args[0] == QLatin1String("-h")) {
        printUsage(stdout);
        return 0;
    }
    if (args[0] == QLatin1String("--version")) {
        CliOut(QStringLiteral("vgcli ") + AppVersion());
        return 0;
    }
    const CliCommand* cmd = nullptr;
    for (const CliCommand& c : CliCommands())
        if (c.name == args[0]) cmd = &c;
    if (!cmd) return usageError(nullptr, QStringLiteral("unknown command: ") + args[0]);

    CliArgs parsed;
    bool onlyPositional = false;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString a = args[i];
        if (!onlyPositional && a == QLatin1String("--")) {
            onlyPositional = true;
            continue;
        }
        if (!onlyPositional && (a == QLatin1String("--help") || a == QLatin1String("-h"))) {
            CliOut(QStringLiteral("usage: vgcli ") + cmd->usage);
            CliOut(cmd->summary);
            return 0;
        }
        if (!onlyPositional && a.size() > 1 && a.startsWith(QLatin1Char('-'))) {
            QString name;
            QString value;
            bool hasInlineValue = false;
            if (a.startsWith(QLatin1String("--"))) {
                name = a.mid(2);
                const qsizetype eq = name.indexOf(QLatin1Char('='));
                if (eq >= 0) {
                    value = name.mid(eq + 1);
                    name = name.left(eq);
                    hasInlineValue = true;
                }
            } else {
                name = shortOptions().value(a.mid(1));
                if (name.isEmpty()) return usageError(cmd, QStringLiteral("unknown option: ") + a);
            }
            if (cmd->valueOptions.contains(name)) {
                if (!hasInlineValue) {
                    if (i + 1 >= args.size())
                        return usageError(cmd, QStringLiteral("option needs a value: ") + a);
                    value = args[++i];
                }
                parsed.options.insert(name, value);
            } else if (cmd->flagOptions.contains(name) && !hasInlineValue) {
                parsed.options.insert(name, QString());
            } else {
                return usageError(cmd, QStringLiteral("unknown option: ") + a);
            }
            continue;
        }
        parsed.positional << a;
    }
    if (parsed.positional.size() < cmd->minArgs)
        return usageError(cmd, QStringLiteral("missing arguments"));
    if (parsed.positional.size() > cmd->maxArgs)
        return usageError(cmd, QStringLiteral("too many arguments"));

    CliConsolePrompt prompt;
    SetPrompt(&prompt);
    // One list per run: composing every list for later calls would only cost.
    KeepItemLists(CliDB(), false);
    int status = 1;
    // Whatever a command holds in memory (a file's content, a result table), running out of it
    // is a failure to report, not a reason to abort.
    try {
        status = cmd->run(parsed);
    } catch (const std::bad_alloc&) {
        CliErr(QStringLiteral("Not enough memory for ") + cmd->name);
    }
    std::fflush(stdout);
    CliDB().CloseFile();
    SetPrompt(nullptr);
    return status;
}
