#include "db/basSqlResult.h"

QString FormatResult(const ResultTable& data, const QString& lineEnd) {
    QString out;
    if (!data.IsFilled()) return out;
    for (int r = 0; r <= data.RowCount(); ++r) {
        out += QString::number(r) + QLatin1String(".\t");
        for (int c = 0; c < data.ColCount(); ++c) out += data.Text(r, c) + QLatin1Char('\t');
        out += lineEnd;
    }
    return out;
}
