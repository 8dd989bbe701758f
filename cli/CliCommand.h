#pragma once
// vgcli's command table. Each command file registers its commands with a static
// CliRegistrar, so adding a command never touches the dispatcher.
#include <QString>
#include <QHash>
#include <QMultiHash>
#include <QStringList>
#include <algorithm>
#include <functional>
#include <string>

struct CliArgs {
    QStringList positional;              // after the command name
    QMultiHash<QString, QString> options;  // long option name (without --) -> value ("" for flags)
    bool Has(const QString& name) const { return options.contains(name); }
    QString Value(const QString& name) const { return options.value(name); }  // the last given
    // Every value of an option given more than once, in the order given.
    QStringList Values(const QString& name) const {
        QStringList all = options.values(name);
        std::reverse(all.begin(), all.end());
        return all;
    }
};

struct CliCommand {
    QString name;
    QString usage;        // e.g. "list DB [-l LANG] [-c CAT] [-o ORDER]"
    QString summary;      // one line for --help
    int minArgs = 0;      // positional arguments (DB included)
    int maxArgs = 0;
    QStringList valueOptions;  // long names that take a value
    QStringList flagOptions;   // long names without a value
    std::function<int(const CliArgs&)> run;  // returns the exit status
};

class CliRegistrar {
public:
    explicit CliRegistrar(CliCommand command);
};

const QList<CliCommand>& CliCommands();

// Output helpers: stdout records as UTF-8 lines, messages on stderr.
void CliOut(const QString& line);
void CliOutRaw(const QByteArray& bytes);
void CliErr(const QString& message);
// A field of a one-line record with CR, LF and TAB written as \r, \n and \t, so that it stays
// one field of one line.
QString CliField(const QString& text);
// The same for UTF-8 text, appended to out.
void CliAppendField(std::string& out, QByteArrayView text);
// Reports a failure and gives exit status 1.
int CliFail(const QString& message);

// vgcli's one connection; the tool works on the store's silent functions only, so it never
// writes the window program's settings.
class CSQLite;
CSQLite& CliDB();
// Opens DB on CliDB() the way every command but `new` does: a missing file and a file that is
// not a snippet database are refused. Returns false after reporting why.
bool CliOpenDatabase(const QString& path);
// Absolute form of a path given on the command line.
QString CliAbsolute(const QString& path);
