#include "cli/CliCommand.h"

#include "db/CSQLite.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <utility>

static QList<CliCommand>& registry() {
    static QList<CliCommand> commands;
    return commands;
}

CliRegistrar::CliRegistrar(CliCommand command) { registry().append(std::move(command)); }

const QList<CliCommand>& CliCommands() { return registry(); }

void CliOutRaw(const QByteArray& bytes) { std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout); }

void CliOut(const QString& line) { CliOutRaw((line + QLatin1Char('\n')).toUtf8()); }

void CliErr(const QString& message) {
    const QByteArray b = (message + QLatin1Char('\n')).toUtf8();
    std::fwrite(b.constData(), 1, size_t(b.size()), stderr);
}

QString CliField(const QString& text) {
    QString out = text;
    out.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    out.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    out.replace(QLatin1Char('\t'), QLatin1String("\\t"));
    return out;
}

void CliAppendField(std::string& out, QByteArrayView text) {
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        const char* q = p;
        while (q < end && *q != '\r' && *q != '\n' && *q != '\t') ++q;
        out.append(p, size_t(q - p));
        if (q == end) break;
        out += '\\';
        out += *q == '\r' ? 'r' : *q == '\n' ? 'n' : 't';
        p = q + 1;
    }
}

int CliFail(const QString& message) {
    CliErr(message);
    return 1;
}

QString CliAbsolute(const QString& path) { return QDir::cleanPath(QFileInfo(path).absoluteFilePath()); }

CSQLite& CliDB() {
    static CSQLite db;
    return db;
}
