#pragma once
// Helpers that need the window system: paths shortened to a width in pixels and opening with
// the desktop's associated program. The core hands whole texts; the windows fit them.
#include <QFontMetrics>
#include <QString>

// The path shortened in the middle with an ellipsis to fit widthPixels in the given font.
QString CompactPath(const QString& path, const QFontMetrics& metrics, int widthPixels);
// Opens a file or an address with the program the desktop associates with it; false when it
// could not (or when there is no GUI application).
bool ShellOpen(const QString& path);
