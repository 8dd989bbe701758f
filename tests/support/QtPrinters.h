#pragma once
// Readable gtest output for Qt values.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '[' << l.join(QStringLiteral("|")).toStdString() << ']';
}
inline void PrintTo(const QVariant& v, std::ostream* os) {
    *os << (v.isValid() ? v.typeName() : "empty") << ':' << v.toString().toStdString();
}
