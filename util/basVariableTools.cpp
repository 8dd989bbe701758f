#include "util/basVariableTools.h"

#include <QMetaType>

QVariant VNull() { return QVariant::fromValue(nullptr); }

bool IsNullValue(const QVariant& v) {
    return v.metaType() == QMetaType::fromType<std::nullptr_t>();
}

bool IsArrayFilled(const ResultTable& table) { return table.IsFilled(); }

bool IsArrayFilled(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<ResultTable>())
        return value.value<ResultTable>().IsFilled();
    if (value.metaType() != QMetaType::fromType<QVariantList>()) return false;
    return !value.toList().isEmpty();
}

QVariant GetArrayItem(const QVariant& array, int index1, std::optional<int> index2,
                      std::optional<int> index3) {
    auto item = [](const QVariant& v, int i) -> std::optional<QVariant> {
        if (v.metaType() != QMetaType::fromType<QVariantList>()) return std::nullopt;
        const QVariantList list = v.toList();
        if (i < 0 || i >= list.size()) return std::nullopt;
        return list[i];
    };
    auto v = item(array, index1);
    if (v && index2) v = item(*v, *index2);
    if (v && index2 && index3) v = item(*v, *index3);
    return v ? *v : QVariant();
}

QVariant GetArrayItem(const ResultTable& table, int row, int col) { return table.At(row, col); }

QVariant IfEmpty(const QVariant& value, const QVariant& defaultValue) {
    if (IsNullValue(value)) return defaultValue;
    if (value.metaType() == QMetaType::fromType<QString>() && value.toString().isEmpty())
        return defaultValue;
    return value;
}

QVariant ArrayMax(const QVariantList& values) {
    if (values.isEmpty()) return QVariant();
    QVariant best = values.first();
    for (qsizetype i = 1; i < values.size(); ++i) {
        if (QVariant::compare(values[i], best) == QPartialOrdering::Greater) best = values[i];
    }
    return best;
}

QString SqlEscape(const QString& text) {
    QString s = text;
    return s.replace(QLatin1Char('\''), QLatin1String("''"));
}

QString SqlQuote(const QString& text) {
    return QLatin1Char('\'') + SqlEscape(text) + QLatin1Char('\'');
}

QString StripCount(const QVariant& value) {
    const QString text = value.toString();
    const qsizetype close = text.lastIndexOf(QLatin1Char(')'));
    if (close <= 0) return text;
    const qsizetype open = text.lastIndexOf(QLatin1Char('('), close);
    if (open < 0) return text;
    return text.left(open).trimmed();
}

static bool isWhite(QChar c) {
    const ushort u = c.unicode();
    return u == 0 || u == 8 || u == 9 || u == 10 || u == 13 || u == 32;
}

QString TrimWhite(const QString& text) {
    qsizetype start = 0, end = text.size();
    while (start < end && isWhite(text[start])) ++start;
    while (end > start && isWhite(text[end - 1])) --end;
    return text.mid(start, end - start);
}

QString TrimNull(const QString& text) {
    const qsizetype nul = text.indexOf(QChar(0));
    return nul < 0 ? text : text.left(nul);
}
