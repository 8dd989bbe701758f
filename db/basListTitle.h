#pragma once
// How the lists read a title: cut to kListTitleChars (see util/basLimits.h), by the engine, so
// that neither the list nor the engine's sorter holds more of one title than that. Numbers and
// NULL stay as they are, so that the order of kinds (NULL, numbers, text, blobs) is unchanged.
#include <QString>

// SQL expression for the list's form of column.
QString ListTitleSql(const QString& column);
