#include "util/basFileTools.h"

#include <QDir>
#include <QFileInfo>
#include <cmath>

static bool isSeparator(QChar c) { return c == QLatin1Char('/') || c == QDir::separator(); }

static qsizetype lastSeparator(const QString& path, qsizetype from) {
    for (qsizetype i = from; i >= 0; --i)
        if (isSeparator(path[i])) return i;
    return -1;
}

QString GetParentFolder(const QString& path) {
    if (path.isEmpty()) return QString();
    const qsizetype i = lastSeparator(path, path.size() - 2);
    if (i < 0) return QString();
    // The root itself is a folder name on systems whose paths start with the separator.
    if (i == 0) return path.left(1);
    return path.left(i);
}

QString GetFileName(const QString& path) {
    const qsizetype i = lastSeparator(path, path.size() - 1);
    return i < 0 ? path : path.mid(i + 1);
}

QString GetFileExtension(const QString& path) {
    const QString name = GetFileName(path);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot >= 1 ? name.mid(dot + 1) : QString();
}

QString StripExtension(const QString& path) {
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || dot < lastSeparator(path, path.size() - 1)) return path;
    return path.left(dot);
}

// Anything already there, a folder included, makes a name taken: it is never written over.
static bool nameTaken(const QString& path) {
    QFileInfo fi(path);
    return fi.exists() || fi.isSymLink();
}

QString GetUniqueFileName(const QString& path) {
    if (path.isEmpty()) return QString();
    // The name asked for comes first, also for names without extension or starting with a dot.
    if (!nameTaken(path)) return path;
    const QString name = GetFileName(path);
    const bool hasDot = name.lastIndexOf(QLatin1Char('.')) >= 1;
    const QString base = hasDot ? StripExtension(path) : path;
    const QString tail = hasDot ? QLatin1Char('.') + GetFileExtension(path) : QString();
    for (qint64 k = 1;; ++k) {
        const QString candidate = base + QLatin1String(" (") + QString::number(k) + QLatin1Char(')') + tail;
        if (!nameTaken(candidate)) return candidate;
    }
}

bool FileExists(const QString& path) {
    if (path.isEmpty()) return false;
    const QFileInfo fi(path);
    return fi.exists() && !fi.isDir();
}

QString JoinPath(const QString& folder, const QString& name) {
    if (!folder.isEmpty() && isSeparator(folder.back())) return folder + name;
    return folder + QDir::separator() + name;
}

QString GetTempFolder() {
    QString t = QDir::toNativeSeparators(QDir::tempPath());
    if (t.isEmpty() || !isSeparator(t.back())) t += QDir::separator();
    return t;
}

QString FormatByteSize(qint64 bytes) {
    if (bytes < 1024) return QString::number(bytes) + QLatin1String(" bytes");
    static const char* const units[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    double unit = 1024.0;
    int u = 0;
    // A value of 1000 units or more is shown in the next unit (0.97 MB rather than 1000 KB).
    while (u < 5 && double(bytes) >= 1000.0 * unit) {
        unit *= 1024.0;
        ++u;
    }
    const double v = double(bytes) / unit;
    const int decimals = v < 10.0 ? 2 : v < 100.0 ? 1 : 0;
    const double scale = std::pow(10.0, decimals);
    // Truncated, never rounded up: 2047 bytes is 1.99 KB. The small bias keeps exact
    // decimal values (1.5 KB) from falling just below themselves.
    const double shown = std::floor(v * scale + 1e-9) / scale;
    return QString::number(shown, 'f', decimals) + QLatin1Char(' ') + QLatin1String(units[u]);
}

int TwipsToPixels(int twips) { return int(std::lround(double(twips) / 15.0)); }

bool SameFile(const QString& a, const QString& b) {
    if (a.isEmpty() || b.isEmpty()) return false;
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}
