#pragma once
// The windows' design font, MS Sans Serif at a point size: where it is missing (everywhere but
// Windows) the platform's sans-serif face stands in at the same size.
#include <QFont>

inline QFont DesignFont(const QFont& base, qreal points) {
    QFont f(base);
    f.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif")});
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points);
    return f;
}
