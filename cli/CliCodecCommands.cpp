// vgcli compress and decompress: one QuickLZ block to or from a file, through the same codec
// that stores attachments.
#include "attach/CQuickLZ.h"
#include "cli/CliCommand.h"
#include "util/basFileKinds.h"
#include "util/basLimits.h"

#include <QFile>
#include <QSaveFile>
#include <cerrno>

// The most a block of the largest data an attachment may hold can take: data that does not
// compress grows by an eighth at most.
constexpr qint64 kMaxBlockBytes = kMaxContentBytes + kMaxContentBytes / 8 + 4096;

// All of a regular file of at most limit bytes; a device or a pipe would be read without end.
static bool readInput(const QString& path, qint64 limit, QByteArray& bytes) {
    QFile file;
    QString why;
    if (!OpenRegularSource(file, CliAbsolute(path), limit, &why)) {
        CliErr(why);
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

// Looked at before any work: the new file is renamed over the target, so a device node or a
// pipe there would be replaced.
static bool targetUsable(const QString& path) {
    QString why;
    if (IsWritableTarget(CliAbsolute(path), &why)) return true;
    CliErr(why);
    return false;
}

static int cmdCompress(const CliArgs& a) {
    if (!targetUsable(a.positional[1])) return 1;
    QByteArray data;
    if (!readInput(a.positional[0], kMaxContentBytes, data)) return 1;
    CQuickLZ codec;
    QByteArray block;
    QString error;
    if (!codec.Compress(data, block, &error)) return CliFail(a.positional[0] + QStringLiteral(": ") + error);
    return writeOutput(a.positional[1], block);
}

static int cmdDecompress(const CliArgs& a) {
    if (!targetUsable(a.positional[1])) return 1;
    QByteArray block;
    if (!readInput(a.positional[0], kMaxBlockBytes, block)) return 1;
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
