// Databases whose definitions differ from the program's: refused on open, whether settings.db
// is there or not; harmless additions still open.
#include "StoreFixture.h"
#include "support/HostileFiles.h"

#include <QDir>
#include <QFile>

namespace {

class HostileSchemaTest : public ::testing::Test {
protected:
    TestEnv env;
    CSQLite db;
};

TEST_F(HostileSchemaTest, DefinitionsTheProgramDoesNotMakeAreRefused) {
    const QString fts = "CREATE VIRTUAL TABLE ftsItem using fts3(Title,Code,File);";
    const QString item = "CREATE TABLE tblItem (ID INTEGER PRIMARY KEY, FileSize INTEGER, FileBLOB BLOB, LastUpdate REAL);";
    struct Case {
        const char* name;
        QStringList replace;
        QString extra;
        QString detail;  // empty: the file opens
    };
    const QList<Case> cases = {
        {"as made", {}, {}, {}},
        {"written another way", {item,
                                 "CREATE TABLE \"tblItem\" ( ID  integer primary key,FileSize INTEGER,"
                                 " FileBLOB BLOB, LastUpdate REAL );"},
         {},
         {}},
        {"a table and a plain index of another program", {}, "CREATE TABLE Notes (x); CREATE INDEX tblItem_Size ON tblItem (FileSize)", {}},
        {"a key that is not the row number", {item,
                                              "CREATE TABLE tblItem (ID INT PRIMARY KEY, FileSize INTEGER, "
                                              "FileBLOB BLOB, LastUpdate REAL);"},
         {},
         "tblItem (changed)"},
        {"a default of 300 MB", {item,
                                 "CREATE TABLE tblItem (ID INTEGER PRIMARY KEY, FileSize INTEGER, FileBLOB "
                                 "BLOB DEFAULT (zeroblob(300000000)), LastUpdate REAL);"},
         {},
         "tblItem (changed)"},
        {"full text without its content", {fts, "CREATE VIRTUAL TABLE ftsItem USING fts4(Title,Code,File,content=\"\");"}, {}, "ftsItem (changed)"},
        {"full text that changes the text", {fts,
                                             "CREATE VIRTUAL TABLE ftsItem USING fts4(Title,Code,File,"
                                             "compress=lower,uncompress=upper);"},
         {},
         "ftsItem (changed)"},
        {"a content table with a default", {},
         "PRAGMA writable_schema = ON; UPDATE sqlite_master SET sql = replace(sql, 'c2File', 'c2File DEFAULT "
         "(zeroblob(9))') WHERE name = 'ftsItem_content'",
         "ftsItem_content (changed)"},
        {"an index on an expression", {}, "CREATE INDEX tblItem_Big ON tblItem (zeroblob(FileSize))", "tblItem_Big (an index of its own"},
    };
    // The check must not depend on settings.db: the same verdicts without it.
    for (const bool withSettings : {true, false}) {
        if (!withSettings) QFile::remove(env.ProgramDir() + "/settings.db");
        for (const Case& c : cases) {
            const QString path = env.Path(QString("variant-%1.db").arg(withSettings));
            ASSERT_EQ(WriteSchemaVariant(path, c.replace, c.extra), QString()) << c.name;
            StoreError error;
            const bool opened = OpenDatabase(db, path, &error);
            db.CloseFile();
            EXPECT_EQ(opened, c.detail.isEmpty()) << c.name << ": " << error.detail.toStdString();
            if (c.detail.isEmpty()) continue;
            EXPECT_EQ(error.text, NotValidDatabaseMessage()) << c.name;
            EXPECT_TRUE(error.detail.contains(c.detail)) << c.name << ": " << error.detail.toStdString();
        }
    }
}

// A foreign trigger is refused without settings.db too, and the schema text of settings.db
// runs only when a file is made, never when one is opened.
TEST_F(HostileSchemaTest, OpeningRunsNoShippedTextAndNeedsNoSettings) {
    const QString path = env.Path("trigger.db");
    ASSERT_EQ(WriteSchemaVariant(path, {},
                                 "CREATE TRIGGER zz_evil AFTER INSERT ON tblItem BEGIN DELETE FROM "
                                 "tblItemCategory; END"),
              QString());
    const QString good = env.Path("good.db");
    ASSERT_EQ(WriteSchemaVariant(good, {}), QString());
    const QString outside = env.Path("outside.db");
    const QString settings = env.ProgramDir() + "/settings.db";
    ASSERT_EQ(RunRawSql(settings, "UPDATE Settings SET Value = 'ATTACH ''" + outside +
                                      "'' AS x; CREATE TABLE x.t (a);' || Value WHERE Name = 'DbSchema'"),
              QString());
    StoreError error;
    EXPECT_TRUE(OpenDatabase(db, good, &error)) << error.text.toStdString();
    db.CloseFile();
    EXPECT_FALSE(QFile::exists(outside));
    for (const bool withSettings : {true, false}) {
        if (!withSettings) QFile::remove(settings);
        EXPECT_FALSE(OpenDatabase(db, path, &error));
        EXPECT_TRUE(error.text.contains("zz_evil (a trigger of its own)")) << error.text.toStdString();
        db.CloseFile();
    }
}

}  // namespace
