#pragma once
// What one write did to a snippet database, as the write path reports it. Every change goes
// through the store's write operations, which record it inside their transaction: writers of
// derived data (history, the search index) see it before the commit and write in the same
// transaction; everyone else hears of it only after the commit, and never of a rolled-back one.
#include "db/CItem.h"
#include "db/COptionalItem.h"

#include <QList>
#include <QString>
#include <optional>

// One item's part in a change: before is empty for an item that did not exist, after for one
// that is gone (unless the change says its values were left out).
struct CItemChange {
    int id = 0;
    COptionalItem before;
    COptionalItem after;
};

struct CChange {
    enum class Kind {
        Save,             // one item stored (new, edited or merged)
        Delete,           // one item removed
        RenameCategory,   // a category renamed or merged into another
        Attach,           // an attachment stored
        ClearAttachment,  // an attachment removed
        Import,           // items stored by an import
        Compact,          // orphan rows, empty categories and languages removed
    };
    Kind kind = Kind::Save;
    QList<CItemChange> items;
    // Only the numbers are listed, without values: an import's new items (too many to carry
    // whole), a rename of a category with more than kValuesUpTo items (the names say what
    // changed), and, for listeners after the commit, every change of a transaction that changed
    // more than kValuesUpTo items (writers inside it see the values of every other change).
    bool valuesOmitted = false;
    static constexpr qsizetype kValuesUpTo = 1000;
    // RenameCategory: the language, the old and the new name.
    QString language, oldName, newName;

    static QString KindName(Kind kind);
    QList<int> ItemIds() const;
};
