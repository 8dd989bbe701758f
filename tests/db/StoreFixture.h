#pragma once
// The store tests' fresh snippet database, with shorthand for saving and reading items.
#include "support/ScriptedPrompt.h"
#include "support/TestEnv.h"

#include "db/basDB.h"

#include <gtest/gtest.h>

class ItemStoreTest : public StoreTest {
protected:
    static constexpr const char* kTime = "2024-01-31 13:05:09";
    // Saves as the editor does, without the merge question, and expects success.
    int Save(const QString& lang, const QString& title, const QString& cats, const QString& body = "code",
             const QString& time = kTime, int id = -1, TimeBase base = TimeBase::Local) {
        QString error;
        const int n = SaveItem(lang, id, title, body, cats, time, false, base, &error);
        EXPECT_GT(n, 0) << error.toStdString();
        EXPECT_EQ(id, n);
        return n;
    }
    ItemRecord Item(int id) {
        ItemRecord rec;
        EXPECT_TRUE(LoadItem(id, rec)) << id;
        return rec;
    }
    QString Cats(int id) { return Item(id).categories; }
    // Rows of a table, with an optional WHERE clause after its name.
    int Count(const QString& from) { return Scalar("SELECT Count(*) FROM " + from).toInt(); }
    int TypeId(const QString& name) { return Scalar("SELECT ID FROM tblType WHERE Name = '" + name + "'").toInt(); }
    int CatId(const QString& lang, const QString& name) {
        return Scalar("SELECT ID FROM tblCategory WHERE Name = '" + name + "' AND TypeID = " +
                      QString::number(TypeId(lang)))
            .toInt();
    }
    // A failed write must not leave the connection inside a transaction.
    void ExpectNoOpenTransaction() {
        EXPECT_TRUE(gDB->Run("BEGIN TRANSACTION;").isEmpty());
        gDB->Run("ROLLBACK TRANSACTION;");
    }
    static QStringList Column(const ResultTable& t, int col) {
        QStringList out;
        for (int r = 1; r <= t.RowCount(); ++r) out << t.Text(r, col);
        return out;
    }
};
