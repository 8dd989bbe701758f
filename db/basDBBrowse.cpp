#include "db/basDBBrowse.h"

#include "db/basDB.h"
#include "util/CPrompt.h"
#include "util/basVariableTools.h"

namespace {

bool storeOpen() { return gDB && gDB->IsOpen(); }

int countOf(const QString& sql) {
    ResultTable data;
    QString error;
    return gDB->Exec(sql, data, error, true).toInt();
}

ResultTable tableOf(const QString& sql) {
    ResultTable data;
    QString error;
    gDB->Exec(sql, data, error);
    return data;
}

// The order clause reaches the SQL text as it is, so only the list's own sort keys pass.
QString safeOrder(const QString& orderBy) {
    static const char* const keys[] = {"Title", "LastUpdate DESC", "ID", "FileSize DESC"};
    const QString wanted = orderBy.simplified();
    for (const char* key : keys)
        if (wanted.compare(QLatin1String(key), Qt::CaseInsensitive) == 0) return QLatin1String(key);
    return QStringLiteral("Title");
}

}  // namespace

ResultTable LoadTypes(int& count) {
    count = 0;
    if (!storeOpen()) return {};
    count = countOf(QStringLiteral("SELECT Count(ID) FROM tblItem"));
    return tableOf(QStringLiteral("SELECT ID, Name, Count FROM qryTypes"));
}

ResultTable LoadCategories(int typeId, int& count) {
    count = 0;
    if (!storeOpen()) return {};
    QString filter;
    QString countSql;
    if (typeId == -1) {
        countSql = QStringLiteral("SELECT Count(ID) FROM tblItem");
    } else {
        filter = QStringLiteral("WHERE TypeID = ") + QString::number(typeId) + QLatin1Char(' ');
        countSql = QStringLiteral("SELECT Count(ItemID) FROM qryItemTypes ") + filter;
    }
    count = countOf(countSql);
    return tableOf(QStringLiteral("SELECT tblCategory.ID, tblCategory.Name, "
                                  "Count(tblItemCategory.ItemID) ") +
                   QStringLiteral("FROM tblCategory ") +
                   QStringLiteral("JOIN tblItemCategory ON tblCategory.ID = "
                                  "tblItemCategory.CategoryID ") +
                   filter + QStringLiteral("GROUP BY tblCategory.ID ") +
                   QStringLiteral("ORDER BY tblCategory.Name"));
}

ResultTable LoadItems(int categoryId, int typeId, const QString& orderBy) {
    if (!storeOpen()) return {};
    QString condition;
    if (categoryId != -1)
        condition = QStringLiteral("(CategoryID = ") + QString::number(categoryId) + QLatin1Char(')');
    if (typeId != -1) {
        if (!condition.isEmpty()) condition += QStringLiteral(" AND ");
        condition += QStringLiteral("(TypeID = ") + QString::number(typeId) + QLatin1Char(')');
    }
    if (!condition.isEmpty()) condition = QStringLiteral("WHERE ") + condition;
    ResultTable data = tableOf(QStringLiteral("SELECT DISTINCT ID, Title FROM qryItems ") +
                               condition + QStringLiteral(" ORDER BY ") + safeOrder(orderBy));
    if (data.RowCount() > 0) return data;
    return {};
}

ResultTable SearchItems(const QString& search, int categoryId, int typeId, QString* error) {
    if (error) error->clear();
    if (!storeOpen()) return {};
    QString filter;
    if (categoryId != -1) filter = QStringLiteral(" AND CategoryID = ") + QString::number(categoryId);
    if (typeId != -1) filter += QStringLiteral(" AND TypeID = ") + QString::number(typeId);
    const QString match = SqlEscape(search);
    QString sql;
    if (!filter.isEmpty()) {
        sql = QStringLiteral("SELECT DISTINCT qryItemTypes.ItemID, Title ") +
              QStringLiteral("FROM qryItemTypes JOIN ftsItem ON qryItemTypes.ItemID = +ftsitem.docid ") +
              QStringLiteral("WHERE ftsItem MATCH '") + match + QLatin1Char('\'') + filter +
              QLatin1Char(' ') + QStringLiteral("ORDER BY Title;");
    } else {
        sql = QStringLiteral("SELECT ROWID, Title FROM ftsItem WHERE ftsItem MATCH '") + match +
              QStringLiteral("' ORDER BY Title;");
    }
    ResultTable data;
    QString engineError;
    gDB->Exec(sql, data, engineError);
    if (!engineError.isEmpty()) {
        Prompt().MsgBox(QStringLiteral("Search error: ") + engineError,
                        CPrompt::vbCritical | CPrompt::vbOKOnly);
        if (error) *error = engineError;
        return {};
    }
    return data;
}
