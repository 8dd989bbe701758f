#include "db/basDB.h"
#include "support/TestEnv.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

class RawStatements : public StoreTest {};

TEST_F(RawStatements, RunLargeReleasesTheTextBeforeRunningAndReportsErrors) {
    QByteArray sql = "CREATE TABLE t (v BLOB); SELECT 1;";
    EXPECT_EQ(gDB->RunLarge(sql.constData()), QStringLiteral("Only one statement is allowed here"));
    EXPECT_EQ(gDB->RunLarge("CREATE TABLE t (v BLOB);  \n"), QString());
    sql = "INSERT INTO t VALUES (X'" + QByteArray(200000, 'A') + "');";
    bool released = false;
    EXPECT_EQ(gDB->RunLarge(sql.constData(), [&] {
        released = true;
        sql.fill('x');  // the engine must not read the text any more
    }), QString());
    EXPECT_TRUE(released);
    EXPECT_EQ(Scalar("SELECT Length(v) FROM t").toInt(), 100000);
    EXPECT_EQ(gDB->RunLarge("INSERT INTO nowhere VALUES (1);"), QStringLiteral("no such table: nowhere"));
    EXPECT_EQ(gDB->RunLarge("INSERT INTO t VALUES (X'0');"), QStringLiteral("unrecognized token: \"X'0'\""));
    // A failure while running names its cause, not the generic error of the old interface.
    Query("CREATE TABLE u (v INTEGER NOT NULL);");
    EXPECT_EQ(gDB->RunLarge("INSERT INTO u VALUES (NULL);"), QStringLiteral("NOT NULL constraint failed: u.v"));
    CloseDatabase();
    EXPECT_EQ(gDB->RunLarge("SELECT 1;"), QStringLiteral("No database is open"));
}

TEST_F(RawStatements, ReadFirstValueGivesStoredBytes) {
    Query("CREATE TABLE t (id INTEGER, v); INSERT INTO t VALUES (1, X'00FF10'), (2, NULL), "
          "(3, 'caf\u00e9');");
    auto read = [&](const QString& sql, QByteArray& bytes, bool& isNull) {
        int calls = 0;
        QString error;
        const bool ok = gDB->ReadFirstValue(sql, [&](QByteArrayView v, bool n) {
            ++calls;
            bytes = v.toByteArray();
            isNull = n;
        }, error);
        EXPECT_TRUE(ok) << error.toStdString();
        return calls;
    };
    QByteArray bytes;
    bool isNull = false;
    EXPECT_EQ(read("SELECT v FROM t WHERE id = 1", bytes, isNull), 1);
    EXPECT_EQ(bytes, QByteArray("\x00\xff\x10", 3));
    EXPECT_FALSE(isNull);
    EXPECT_EQ(read("SELECT v FROM t WHERE id = 2", bytes, isNull), 1);
    EXPECT_TRUE(isNull);
    EXPECT_EQ(read("SELECT v FROM t WHERE id = 3", bytes, isNull), 1);
    EXPECT_EQ(bytes, QString::fromUtf8("caf\u00e9").toUtf8());
    EXPECT_EQ(read("SELECT v FROM t WHERE id = 99", bytes, isNull), 0);
    QString error;
    EXPECT_FALSE(gDB->ReadFirstValue("SELECT missingcol FROM t", [](QByteArrayView, bool) {}, error));
    EXPECT_EQ(error, QStringLiteral("no such column: missingcol"));
}

}  // namespace
