#pragma once
// One snippet as a value: what the store loads and saves whole, what readers of other formats
// produce and what the editor shows. The comma text of categories exists only at the edges that
// show or read it (the categories box, the exchange file).
#include <QDateTime>
#include <QString>
#include <QStringList>

struct CItem {
    int id = -1;  // the stored number; -1 for an item not stored yet
    QString title;
    QString body;
    QString language;
    QStringList categories;  // names in stored order, each trimmed and non-empty
    QString fileName;        // attachment name, empty when none
    qint64 fileSize = 0;     // attachment size before compression
    qint64 storedSize = 0;   // stored (compressed) length
    QDateTime lastUpdate;    // UTC; invalid: the store stamps the current time on save

    bool IsNew() const { return id < 1; }
    bool HasAttachment() const { return !fileName.isEmpty() || fileSize > 0 || storedSize > 0; }
    // "a,b" as the categories box and the exchange file hold it.
    QString CategoriesText() const { return categories.join(QLatin1Char(',')); }
    // The names in a comma text: split at commas, outer blanks trimmed, empty names skipped.
    static QStringList SplitCategories(const QString& text);
    // Equal content: everything but the number, the stored length and the time.
    bool SameContent(const CItem& other) const;
    bool operator==(const CItem&) const = default;
};
