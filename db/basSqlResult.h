#pragma once
// The query tester's result text: one line per table row, header numbered 0,
// "r." TAB then every cell followed by TAB, then the line end.
#include "util/ResultTable.h"

#include <QString>

QString FormatResult(const ResultTable& data, const QString& lineEnd = QStringLiteral("\r\n"));
