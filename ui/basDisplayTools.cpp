#include "ui/basDisplayTools.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QUrl>

#include <algorithm>

QString CompactPath(const QString& path, const QFontMetrics& metrics, int widthPixels) {
    return metrics.elidedText(path, Qt::ElideMiddle, std::max(widthPixels, 0));
}

bool ShellOpen(const QString& path) {
    if (path.isEmpty() || !qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return false;
    const QUrl asUrl(path, QUrl::StrictMode);
    const bool isAddress = asUrl.isValid() && asUrl.scheme().size() > 1 &&
                           (path.contains(QLatin1String("://")) ||
                            asUrl.scheme() == QLatin1String("mailto"));
    return QDesktopServices::openUrl(isAddress ? asUrl : QUrl::fromLocalFile(path));
}
