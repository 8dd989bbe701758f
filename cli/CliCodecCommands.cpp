// vgcli compress and decompress: one QuickLZ block to or from a file, through the same codec
// that stores attachments.
#include "attach/CQuickLZ.h"
#include "cli/CliCommand.h"

#include <QFile>
#include <QSaveFile>
#include <cerrno>

static bool readInput(const QString& path, QByteArray& bytes) {
    QFile file(CliAbsolute(path));
    if (!file.open(QIODevice::ReadOnly)) {
        CliErr(QStringLiteral("Cannot read file: ") + path);
        return false;
    }
    bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        CliErr(QStringLiteral("Cannot read file: ") + path);
        return false;
    }
    return true;
}

// Writes the whole output or nothing: a failed write never leaves a partial file.
static int writeOutput(const QString& path, const QByteArray& bytes) {
    // Unbuffered, so a short write (a full disk) fails here instead of in the flush inside
    // commit(), which would still rename the truncated file into place.
    QSaveFile file(CliAbsolute(path));
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || file.write(bytes) != bytes.size() ||
        !file.commit()) {
        const QString why = errno ? qt_error_string(errno) : file.errorString();
        return CliFail(QStringLiteral("Cannot write file: ") + path + QStringLiteral(": ") + why);
    }
    return 0;
}

static int cmdCompress(const CliArgs& a) {
    QByteArray data;
    if (!readInput(a.positional[0], data)) return 1;
    CQuickLZ codec;
    QByteArray block;
    QString error;
    if (!codec.Compress(data, block, &error)) return CliFail(a.positional[0] + QStringLiteral(": ") + error);
    return writeOutput(a.positional[1], block);
}

static int cmdDecompress(const CliArgs& a) {
    QByteArray block;
    if (!readInput(a.positional[0], block)) return 1;
    CQuickLZ codec;
    QByteArray data;
    QString error;
    if (!codec.Decompress(block, data, &error)) return CliFail(a.positional[0] + QStringLiteral(": ") + error);
    return writeOutput(a.positional[1], data);
}

static CliRegistrar regCompress({QStringLiteral("compress"), QStringLiteral("compress IN OUT"),
                                 QStringLiteral("Write one QuickLZ block (level 1) of file IN to OUT."),
                                 2, 2, {}, {}, cmdCompress});
static CliRegistrar regDecompress({QStringLiteral("decompress"), QStringLiteral("decompress IN OUT"),
                                   QStringLiteral("Write the data of the QuickLZ block in IN (any level) to OUT."),
                                   2, 2, {}, {}, cmdDecompress});
