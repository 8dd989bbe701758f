#include "util/basFileKinds.h"

#include "util/basFileTools.h"
#include "util/basLimits.h"

#include <QFile>
#include <cerrno>
#include <sys/stat.h>

static QString notRegular(const char* verb, const QString& path, const struct stat& st) {
    return QStringLiteral("Cannot %1 %2: it is %3")
        .arg(QLatin1String(verb), path,
             S_ISDIR(st.st_mode) ? QStringLiteral("a folder") : QStringLiteral("not a regular file"));
}

bool IsWritableTarget(const QString& path, QString* why) {
    struct stat st {};
    // stat follows links: a link to a regular file is written through, as before.
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return true;
    if (S_ISREG(st.st_mode)) return true;
    if (why) *why = notRegular("write", path, st);
    return false;
}

bool OpenRegularSource(QFile& file, const QString& path, qint64 limit, QString* why) {
    const auto fail = [&](const QString& text) {
        if (file.isOpen()) file.close();
        if (why) *why = text;
        return false;
    };
    struct stat st {};
    // Looked at before opening: opening a pipe for reading waits for a writer.
    if (::stat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISREG(st.st_mode))
        return fail(notRegular("read", path, st));
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("Cannot open %1: %2").arg(path, file.errorString()));
    if (::fstat(file.handle(), &st) != 0) return fail(QStringLiteral("Cannot read %1: %2").arg(path, qt_error_string(errno)));
    if (!S_ISREG(st.st_mode)) return fail(notRegular("read", path, st));
    if (qint64(st.st_size) > limit)
        return fail(QStringLiteral("Cannot read %1: it holds %2 bytes, more than the %3 allowed")
                        .arg(path)
                        .arg(qint64(st.st_size))
                        .arg(limit == kMaxContentBytes ? QLatin1String(MaxContentText()) : FormatByteSize(limit)));
    return true;
}
