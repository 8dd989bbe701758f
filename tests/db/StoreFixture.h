#pragma once
// The store tests' fresh snippet database on a connection of the test's own, with shorthand
// for saving and reading items through the silent operations.
#include "support/TestEnv.h"

#include "db/basDB.h"

#include <QFile>
#include <ctime>
#include <gtest/gtest.h>

class ItemStoreTest : public ::testing::Test {
protected:
    static constexpr const char* kTime = "2024-01-31 13:05:09";
    void SetUp() override {
        // Times only prove anything away from UTC; ctest sets this zone too.
        if (qEnvironmentVariableIsEmpty("TZ")) {
            qputenv("TZ", "America/New_York");
            tzset();
        }
        StoreError error;
        ASSERT_TRUE(OpenDatabase(db, dbPath, &error)) << error.text.toStdString();
    }
    // Saves as the editor does and expects success.
    int Save(const QString& lang, const QString& title, const QString& cats, const QString& body = "code",
             const QString& time = kTime, int id = -1, TimeBase base = TimeBase::Local,
             const MergeDecision& merge = {}) {
        QString error;
        const int n = SaveItem(db, lang, id, title, body, cats, time, merge, base, &error);
        EXPECT_GT(n, 0) << error.toStdString();
        EXPECT_EQ(id, n);
        return n;
    }
    ItemRecord Item(int id) {
        ItemRecord rec;
        QString error;
        EXPECT_TRUE(LoadItem(db, id, rec, &error)) << id << error.toStdString();
        return rec;
    }
    QString Cats(int id) { return Item(id).categories; }
    ResultTable Query(const QString& sql) {
        ResultTable t;
        QString error;
        db.Exec(sql, t, error);
        EXPECT_EQ(error, QString()) << sql.toStdString();
        return t;
    }
    QVariant Scalar(const QString& sql) {
        ResultTable t;
        QString error;
        QVariant v = db.Exec(sql, t, error, true);
        EXPECT_EQ(error, QString()) << sql.toStdString();
        return v;
    }
    // Rows of a table, with an optional WHERE clause after its name.
    int Count(const QString& from) { return Scalar("SELECT Count(*) FROM " + from).toInt(); }
    int TypeId(const QString& name) { return Scalar("SELECT ID FROM tblType WHERE Name = '" + name + "'").toInt(); }
    int CatId(const QString& lang, const QString& name) {
        return Scalar("SELECT ID FROM tblCategory WHERE Name = '" + name + "' AND TypeID = " +
                      QString::number(TypeId(lang)))
            .toInt();
    }
    // Closes the database and opens it again from a file the user may only read.
    void ReopenReadOnly() {
        db.CloseFile();
        QFile::setPermissions(dbPath, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
        StoreError error;
        ASSERT_TRUE(OpenDatabase(db, dbPath, &error)) << error.text.toStdString();
        ASSERT_TRUE(db.IsReadOnly());
    }
    static QStringList Column(const ResultTable& t, int col) {
        QStringList out;
        for (int r = 1; r <= t.RowCount(); ++r) out << t.Text(r, col);
        return out;
    }

    TestEnv env;  // before db: the file closes before its folder goes
    QString dbPath = env.Path("snippets.db");
    CSQLite db;
};
