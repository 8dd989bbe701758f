#include "db/CSQLite.h"
#include "db/CTransaction.h"
#include "support/TestEnv.h"
#include "util/basVariableTools.h"

#include <QLocale>
#include <QFile>
#include <gtest/gtest.h>

namespace {

class CSQLiteTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(db.OpenFile(env.Path("t.db")), 0);
        ASSERT_EQ(db.Run("CREATE TABLE tblType (ID INTEGER PRIMARY KEY, Name TEXT NOT NULL COLLATE NOCASE);"
                         "CREATE TABLE t (a, b);"),
                  QString());
    }
    TestEnv env;
    CSQLite db;
    ResultTable data;
    QString error;
};

TEST_F(CSQLiteTest, CountWithAndWithoutFirstRecord) {
    db.Run("INSERT INTO t VALUES (1, 'x'); INSERT INTO t VALUES (2, NULL); INSERT INTO t VALUES (3, '');");
    EXPECT_EQ(db.Exec("SELECT Count(a) FROM t", data, error, true).toInt(), 3);
    EXPECT_EQ(db.Exec("SELECT Count(a) FROM t", data, error).toInt(), 1);
    EXPECT_EQ(data.Header(0), "Count(a)");
    EXPECT_EQ(data.Int(1, 0), 3);

    EXPECT_EQ(db.Exec("SELECT a, b AS Bee FROM t ORDER BY a", data, error).toInt(), 3);
    EXPECT_EQ(data.Header(1), "Bee");
    EXPECT_EQ(data.Text(1, 1), "x");
    EXPECT_FALSE(data.At(2, 1).isValid());  // NULL is an empty value
    EXPECT_TRUE(data.At(3, 1).isValid());   // empty text stays text
    EXPECT_EQ(error, "");
}

TEST_F(CSQLiteTest, TransactionRollsBackUnlessCommittedAndNestsAsASavepoint) {
    const auto rows = [&] { return db.Exec("SELECT Count(*) FROM t", data, error, true).toInt(); };
    {
        CTransaction unit(db);
        ASSERT_TRUE(unit.IsOpen());
        EXPECT_FALSE(unit.IsSavepoint());
        db.Run("INSERT INTO t VALUES (1, 'gone')");
    }
    EXPECT_EQ(rows(), 0);
    EXPECT_FALSE(db.InTransaction());

    CTransaction outer(db);
    db.Run("INSERT INTO t VALUES (1, 'kept')");
    {
        CTransaction inner(db);
        EXPECT_TRUE(inner.IsSavepoint());
        db.Run("INSERT INTO t VALUES (2, 'inner')");
    }
    // The inner unit took back its own row only; the outer one is still open.
    EXPECT_TRUE(db.InTransaction());
    EXPECT_EQ(rows(), 1);
    {
        CTransaction inner(db);
        db.Run("INSERT INTO t VALUES (3, 'released')");
        EXPECT_TRUE(inner.Commit());
    }
    EXPECT_TRUE(outer.Commit());
    EXPECT_FALSE(outer.Commit());  // once only
    EXPECT_FALSE(db.InTransaction());
    EXPECT_EQ(rows(), 2);

    // A failed commit rolls back and says why.
    db.Run("CREATE TABLE p (id INTEGER PRIMARY KEY); CREATE TABLE c (p REFERENCES p(id) DEFERRABLE INITIALLY "
           "DEFERRED); PRAGMA foreign_keys = ON;");
    CTransaction broken(db);
    db.Run("INSERT INTO c VALUES (9)");
    QString why;
    EXPECT_FALSE(broken.Commit(&why));
    EXPECT_EQ(why, "FOREIGN KEY constraint failed");
    EXPECT_FALSE(db.InTransaction());
    EXPECT_EQ(db.Exec("SELECT Count(*) FROM c", data, error, true).toInt(), 0);
}

TEST_F(CSQLiteTest, NoRowsLeavesTableUnfilledAndClosedConnectionTouchesNothing) {
    data.SetHeader({"old"});
    data.Append(1);
    EXPECT_EQ(db.Exec("SELECT a FROM t", data, error).toInt(), 0);
    EXPECT_FALSE(IsArrayFilled(data));

    CSQLite closed;
    ResultTable kept;
    kept.SetHeader({"keep"});
    kept.Append(7);
    QString err = "before";
    EXPECT_FALSE(closed.Exec("SELECT 1", kept, err).isValid());
    EXPECT_EQ(kept.Int(1, 0), 7);
    EXPECT_EQ(err, "before");
    EXPECT_EQ(closed.LastInsertRowID(), 0);
    EXPECT_EQ(closed.Changes(), 0);
}

TEST_F(CSQLiteTest, RunsEveryStatementWithTheEngineParser) {
    // A semicolon inside a quoted value is not a statement separator.
    EXPECT_EQ(db.Run("INSERT INTO t VALUES (1, 'a;b'); INSERT INTO t VALUES (2, 'c'';DROP TABLE t;--');"), "");
    EXPECT_EQ(db.Exec("SELECT b FROM t ORDER BY a", data, error).toInt(), 2);
    EXPECT_EQ(data.Text(1, 0), "a;b");
    EXPECT_EQ(data.Text(2, 0), "c';DROP TABLE t;--");
    // Trailing comments and blanks are fine; rows of several selects are collected.
    EXPECT_EQ(db.Exec("SELECT 1 AS x; SELECT 2; -- done\n  ", data, error).toInt(), 2);
    EXPECT_EQ(data.Header(0), "x");
    EXPECT_EQ(data.Int(2, 0), 2);
    // The text ends at a NUL character, after a statement or inside a value.
    EXPECT_EQ(db.Exec(QString("SELECT 1;") + QChar(0) + "SELECT 2", data, error).toInt(), 1);
    EXPECT_EQ(db.Exec(QString("SELECT 3 ") + QChar(0), data, error, true).toInt(), 3);
    EXPECT_EQ(error, "");
    EXPECT_EQ(db.Run(QString("INSERT INTO t VALUES (3, 'x") + QChar(0) + "y');"), "unrecognized token: \"'x\"");
    EXPECT_EQ(db.Exec("SELECT Count(*) FROM t", data, error, true).toInt(), 2);
}

TEST_F(CSQLiteTest, ErrorStopsTheTextAndIsReported) {
    EXPECT_EQ(db.Exec("INSERT INTO t VALUES (1, 1); SELEKT nonsense; INSERT INTO t VALUES (2, 2);", data, error).toInt(), 0);
    EXPECT_TRUE(error.contains("syntax error")) << error.toStdString();
    error.clear();
    EXPECT_EQ(db.Exec("SELECT Count(*) FROM t", data, error, true).toInt(), 1);
    error.clear();
    db.Exec("SELECT * FROM missing", data, error);
    EXPECT_EQ(error, "no such table: missing");
    EXPECT_FALSE(data.IsFilled());
}

TEST_F(CSQLiteTest, BuildersQuoteAndFindCaseInsensitively) {
    EXPECT_EQ(db.AddRecord("tblType", {"Name", "O'Brien"}), "");
    EXPECT_EQ(db.LastInsertRowID(), 1);
    EXPECT_EQ(db.LookupField("tblType", "ID", {"Name", "o'brien"}), "1");
    EXPECT_EQ(db.LookupField("tblType", "ID", {"Name", "nobody"}), "");

    const QString id = db.LookupCreate("tblType", "ID", {"Name", "Delphi"});
    EXPECT_EQ(id, "2");
    EXPECT_EQ(db.LookupCreate("tblType", "ID", {"Name", "DELPHI"}), "2");
    EXPECT_EQ(db.Exec("SELECT Count(*) FROM tblType", data, error, true).toInt(), 2);

    db.SetFields("tblType", 2, {"Name", "x'); DROP TABLE tblType; --"});
    EXPECT_EQ(db.LookupField("tblType", "Name", {"ID", 2}), "x'); DROP TABLE tblType; --");

    db.Exec("SELECT ID, Name AS Title FROM tblType", data, error);
    EXPECT_EQ(CSQLite::GetFieldNo(data, "title"), 1);
    EXPECT_EQ(CSQLite::GetFieldNo(ResultTable(), "ID"), -1);

    // An empty-text value comes back as "0", a NULL one as empty text.
    db.Run("INSERT INTO t VALUES (1, ''); INSERT INTO t VALUES (2, NULL);");
    EXPECT_EQ(db.LookupField("t", "b", {"a", 1}), "0");
    EXPECT_EQ(db.LookupField("t", "b", {"a", 2}), "");
}

TEST_F(CSQLiteTest, RendersNumbersWithAPointWhateverTheLocale) {
    const QLocale old;
    QLocale::setDefault(QLocale(QLocale::German));
    EXPECT_EQ(CSQLite::RenderValue(2459876.5), "2459876.5");
    EXPECT_EQ(CSQLite::RenderValue(0.1), "0.1");
    EXPECT_EQ(CSQLite::RenderValue(QString("it's")), "'it''s'");
    EXPECT_EQ(CSQLite::RenderValue(QVariant()), "NULL");
    EXPECT_EQ(CSQLite::RenderValue(QDateTime(QDate(2022, 10, 26), QTime(22, 4, 31)), true),
              "'2022-10-26 22:04:31'");
    QLocale::setDefault(old);
    db.AddRecord("t", {"a", 1.25});
    EXPECT_DOUBLE_EQ(db.LookupField("t", "a").toDouble(), 1.25);
}

TEST_F(CSQLiteTest, TextThatIsNotUtf8IsReadAsWindows1252) {
    db.Run("INSERT INTO t VALUES (1, CAST(X'436166E920809620' AS TEXT));");
    EXPECT_EQ(db.LookupField("t", "b", {"a", 1}), QString::fromUtf8("Caf\xc3\xa9 \xe2\x82\xac\xe2\x80\x93 "));
    db.Run(QString::fromUtf8("INSERT INTO t VALUES (2, 'na\xc3\xafve \xf0\x9f\x98\x80');"));
    EXPECT_EQ(db.LookupField("t", "b", {"a", 2}), QString::fromUtf8("na\xc3\xafve \xf0\x9f\x98\x80"));
    EXPECT_EQ(db.LookupField("t", "hex(b)", {"a", 2}), "6E61C3AF766520F09F9880");
}

TEST_F(CSQLiteTest, EveryConnectionWaitsForLocksAndRefusesWhatAFileCouldAbuse) {
    EXPECT_EQ(db.Exec("PRAGMA busy_timeout", data, error, true).toInt(), CSQLite::kBusyTimeoutMs);
    EXPECT_EQ(db.Exec("PRAGMA trusted_schema", data, error, true).toInt(), 1);
    struct Case {
        const char* sql;
        const char* error;
    };
    for (const Case& c : {Case{"SELECT fts3_tokenizer('evil', X'0102030405060708')", "fts3tokenize disabled"},
                          Case{"SELECT load_extension('/no/such/lib.so')", "not authorized"},
                          Case{"PRAGMA writable_schema = 1; UPDATE sqlite_master SET sql = 'x' WHERE name = 't'",
                               "may not be modified"}}) {
        EXPECT_TRUE(db.Run(c.sql).contains(c.error)) << c.sql << ": " << db.Run(c.sql).toStdString();
    }
}

TEST_F(CSQLiteTest, RunLargeReleasesTheTextBeforeRunningAndReportsErrors) {
    QByteArray sql = "CREATE TABLE big (v BLOB); SELECT 1;";
    EXPECT_EQ(db.RunLarge(sql.constData()), "Only one statement is allowed here");
    EXPECT_EQ(db.RunLarge("CREATE TABLE big (v BLOB);  \n"), QString());
    sql = "INSERT INTO big VALUES (X'" + QByteArray(200000, 'A') + "');";
    bool released = false;
    EXPECT_EQ(db.RunLarge(sql.constData(), [&] {
        released = true;
        sql.fill('x');  // the engine must not read the text any more
    }), QString());
    EXPECT_TRUE(released);
    EXPECT_EQ(db.Exec("SELECT Length(v) FROM big", data, error, true).toInt(), 100000);
    EXPECT_EQ(db.RunLarge("INSERT INTO nowhere VALUES (1);"), "no such table: nowhere");
    EXPECT_EQ(db.RunLarge("INSERT INTO big VALUES (X'0');"), "unrecognized token: \"X'0'\"");
    // A failure while running names its cause, not the generic error of the old interface.
    db.Run("CREATE TABLE u (v INTEGER NOT NULL);");
    EXPECT_EQ(db.RunLarge("INSERT INTO u VALUES (NULL);"), "NOT NULL constraint failed: u.v");
    db.CloseFile();
    EXPECT_EQ(db.RunLarge("SELECT 1;"), "No database is open");
}

TEST_F(CSQLiteTest, ReadFirstValueGivesStoredBytes) {
    db.Run("INSERT INTO t VALUES (1, X'00FF10'), (2, NULL), (3, 'caf\u00e9');");
    // The bytes handed to the sink, "null" for NULL, nothing when no row came; calls counted.
    const auto read = [&](int a) {
        QByteArray out;
        const bool ok = db.ReadFirstValue("SELECT b FROM t WHERE a = " + QString::number(a),
                                          [&](QByteArrayView v, bool isNull) { out += isNull ? "null" : v.toByteArray(); }, error);
        EXPECT_TRUE(ok) << error.toStdString();
        return out;
    };
    EXPECT_EQ(read(1), QByteArray("\x00\xff\x10", 3));
    EXPECT_EQ(read(2), "null");
    EXPECT_EQ(read(3), QString::fromUtf8("caf\u00e9").toUtf8());
    EXPECT_EQ(read(99), "");
    EXPECT_FALSE(db.ReadFirstValue("SELECT missingcol FROM t", [](QByteArrayView, bool) {}, error));
    EXPECT_EQ(error, "no such column: missingcol");
}

// Row::Utf8 streams what Exec's value gives as text, byte for byte: a leading byte order mark
// is dropped there (only the first), Windows-1252 converted, numbers and blobs as their text.
TEST_F(CSQLiteTest, RowUtf8IsExecsTextAsUtf8) {
    ASSERT_EQ(db.Run("INSERT INTO t VALUES (1, CAST(X'EFBBBF414243' AS TEXT)), (2, CAST(X'EFBBBFEFBBBF41' AS TEXT)),"
                     " (3, CAST(X'41EFBBBF' AS TEXT)), (4, CAST(X'41E99342' AS TEXT)), (5, CAST(X'410042' AS TEXT)),"
                     " (6, CAST(X'EFBBBF' AS TEXT)), (7, NULL), (8, -42), (9, 2.5), (10, X'4142'), (11, '');"),
              QString());
    QByteArray scratch;
    int rows = 0;
    ASSERT_TRUE(db.ForEachRow("SELECT a, b FROM t ORDER BY a", [&](const CSQLite::Row& r) {
        ++rows;
        const qint64 a = r.Int(0);
        db.Exec("SELECT b FROM t WHERE a = " + QString::number(a), data, error);
        EXPECT_EQ(r.Utf8(1, scratch).toByteArray(), data.Text(1, 0).toUtf8()) << "row " << a;
        return true;
    }, &error)) << error.toStdString();
    EXPECT_EQ(rows, 11);
}

TEST(CSQLiteOpen, BareNamesPathsAndFailures) {
    TestEnv env;
    CSQLite db;
    EXPECT_EQ(db.OpenFile("settings.db"), 0);
    EXPECT_EQ(db.Filename(), env.ProgramDir() + "/settings.db");
    EXPECT_FALSE(db.LookupField("Settings", "Value", {"Name", "DbSchema"}).isEmpty());

    const QString full = env.Path("full.db");
    EXPECT_EQ(db.OpenFile(full), 0);
    EXPECT_EQ(db.Filename(), full);

    EXPECT_NE(db.OpenFile(env.Path("no/such/folder/x.db")), 0);
    EXPECT_FALSE(db.IsOpen());
    EXPECT_EQ(db.Filename(), "");
}

TEST(CSQLiteOpen, ReadOnlyFileReadsButRefusesWrites) {
    TestEnv env;
    const QString path = env.Path("ro.db");
    {
        CSQLite db;
        ASSERT_EQ(db.OpenFile(path), 0);
        db.Run("CREATE TABLE t (a); INSERT INTO t VALUES (1);");
    }
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    CSQLite db;
    ASSERT_EQ(db.OpenFile(path), 0);
    EXPECT_TRUE(db.IsReadOnly());
    EXPECT_EQ(db.LookupField("t", "a"), "1");
    EXPECT_TRUE(db.Run("INSERT INTO t VALUES (2);").contains("readonly")) ;
    EXPECT_FALSE(db.AddRecord("t", {"a", 3}).isEmpty());
}

}  // namespace

TEST_F(CSQLiteTest, SlotsArePerConnectionAndTypeAndStartAfreshWithEachOpening) {
    struct Seen {
        int n = 0;
    };
    struct Other {
        int n = 0;
    };
    CSQLite second;
    ASSERT_EQ(second.OpenFile(env.Path("t.db")), 0);
    db.Slot<Seen>().n = 5;
    EXPECT_EQ(db.Slot<Seen>().n, 5);
    EXPECT_EQ(db.Slot<Other>().n, 0);
    EXPECT_EQ(second.Slot<Seen>().n, 0);
    ASSERT_EQ(db.OpenFile(env.Path("t.db")), 0);
    EXPECT_EQ(db.Slot<Seen>().n, 0);
}

TEST_F(CSQLiteTest, ACommitWriterRunsOnceBeforeTheCommitOfATransactionWithChanges) {
    int runs = 0;
    bool refuse = false;
    db.AddCommitWriter(
        [&](CSQLite& conn, QString* why) {
            ++runs;
            if (refuse) *why = "refused";
            return !refuse && conn.Run("INSERT INTO t VALUES ('summary', NULL)").isEmpty();
        },
        "summary");
    const auto write = [&](int changes) {
        CTransaction unit(db);
        for (int i = 0; i < changes; ++i) {
            db.Run("INSERT INTO t VALUES (1, 2)");
            db.Record(CChange{});
        }
        QString why;
        return unit.Commit(&why) || why == "refused";
    };
    ASSERT_TRUE(write(3));
    EXPECT_EQ(runs, 1);
    ASSERT_TRUE(write(0));  // nothing recorded: nothing to sum up
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(db.Exec("SELECT Count(*) FROM t WHERE a = 'summary'", data, error, true).toInt(), 1);
    // A refusal takes the whole transaction back.
    refuse = true;
    ASSERT_TRUE(write(2));
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(db.Exec("SELECT Count(*) FROM t", data, error, true).toInt(), 4);
}
