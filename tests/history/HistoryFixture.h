#pragma once
// A fresh database with a few items, and every row of the five tables as one text, to prove
// that a command and its undo leave the file as it was.
#include "db/StoreFixture.h"

#include "db/basDBAttachments.h"
#include "history/CHistory.h"
#include "history/CTrash.h"
#include "history/CUndo.h"

class HistoryTest : public ItemStoreTest {
public:
    // For the commands of the undo table.
    using ItemStoreTest::env;
    using ItemStoreTest::kTime;
    using ItemStoreTest::Save;
    // Links item id to Python's category x as well, as an import's further line of another
    // language does: its links then span two languages.
    void AlsoUnderPython(int id) {
        ASSERT_EQ(db.Run(QStringLiteral("INSERT INTO tblItemCategory (ItemID, CategoryID) VALUES (%1, %2)")
                             .arg(id)
                             .arg(CatId("Python", "x"))),
                  QString());
    }

protected:
    // Item 1 (C++: a, b) with an attachment, item 2 (C++: a), item 3 (Python: x).
    void Fill() {
        Save("C++", "First", "a,b", "one\ntwo\nthree");
        Save("C++", "Second", "a", "second body");
        Save("Python", "Third", "x", "print(3)");
        Attach(1, "block-bytes", "f.bin");
    }
    void Attach(int id, const QByteArray& block, const QString& name) {
        QString e;
        ASSERT_TRUE(StoreAttachment(db, id, block.size() * 2, block, name, &e)) << e.toStdString();
    }
    // Every row of the five tables; times to the millisecond, link rows without their row number.
    QString Rows() {
        QString all;
        for (const char* sql :
             {"SELECT ID, FileSize, hex(FileBLOB), CAST(round(LastUpdate * 86400000.0) AS INTEGER) FROM tblItem ORDER BY ID",
              "SELECT docid, Title, Code, File FROM ftsItem ORDER BY docid", "SELECT * FROM tblType ORDER BY ID",
              "SELECT * FROM tblCategory ORDER BY ID",
              "SELECT ItemID, CategoryID FROM tblItemCategory ORDER BY ItemID, CategoryID"}) {
            const ResultTable t = Query(QString::fromLatin1(sql));
            for (int r = 1; r <= t.RowCount(); ++r) {
                QStringList cells;
                for (int c = 0; c < t.ColCount(); ++c) cells << t.Text(r, c);
                all += cells.join(QLatin1Char('|')) + QLatin1Char('\n');
            }
            all += QStringLiteral("--\n");
        }
        return all;
    }
    QList<CItemVersion> Versions(int id) {
        QList<CItemVersion> v;
        QString e;
        EXPECT_TRUE(CHistory::Versions(db, id, v, &e)) << e.toStdString();
        return v;
    }
    CUndoEntry Undo() {
        CUndoEntry done;
        QString notice, e;
        EXPECT_TRUE(CUndo::UndoLast(db, &done, &notice, &e)) << e.toStdString();
        return done;
    }
};
