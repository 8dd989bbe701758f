#pragma once
// Small stateless helpers over values, arrays and text shared by the store and the windows.
#include "util/ResultTable.h"

#include <QString>
#include <QVariant>
#include <QVariantList>
#include <optional>

// VB-style Null (distinct from an empty, never-assigned value, which is an invalid QVariant).
QVariant VNull();
bool IsNullValue(const QVariant& v);

bool IsArrayFilled(const ResultTable& table);
bool IsArrayFilled(const QVariant& value);

// Element of a (possibly nested) QVariantList, or an empty value when it cannot be read.
QVariant GetArrayItem(const QVariant& array, int index1, std::optional<int> index2 = {},
                      std::optional<int> index3 = {});
QVariant GetArrayItem(const ResultTable& table, int row, int col);

// The default when the value is Null or zero-length text; anything else (empty included) as is.
QVariant IfEmpty(const QVariant& value, const QVariant& defaultValue);

// Largest element by the ordinary comparison; empty for an empty list.
QVariant ArrayMax(const QVariantList& values);

// Doubles every single quote; adds no quotes around the text.
QString SqlEscape(const QString& text);
// The text quoted as a SQL literal: 'O''Brien'.
QString SqlQuote(const QString& text);

// "Sorting (12)" -> "Sorting"; text without a trailing parenthesised part is returned as is.
QString StripCount(const QVariant& value);

// Removes NUL, backspace, tab, LF, CR and space at both ends.
QString TrimWhite(const QString& text);
// The part before the first NUL.
QString TrimNull(const QString& text);
