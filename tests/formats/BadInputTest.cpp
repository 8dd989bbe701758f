// Malformed files fail with their line and column and leave the database as it was; unreadable
// snippets are skipped and named while the rest imports; a dry run and Cancel write nothing.
#include "FormatsFixture.h"

TEST_F(FormatsTest, MalformedFilesGiveLineAndColumnAndChangeNothing) {
    const struct {
        QString format, file;
        QByteArray content;
        QString where;  // ":LINE:COLUMN:" expected after the file name
    } cases[] = {
        {"vscode", "bad.json", "{\n  // fine so far\n  \"a\": {\"body\": \"x\"}\n  \"b\": {\"body\": \"y\"}\n}\n", ":4:3:"},
        {"vscode", "crlf.code-snippets", "{\r\n\"a\": {\"body\": [\"x\",]},\r\n\"b\": {\"body\": \"é\" \"z\"}\r\n}", ":3:19:"},
        {"masscode", "db.json", "{\"snippets\": [\n  {\"name\": \"a\",, }\n]}", ":2:16:"},
        {"pet", "snippet.toml", "[[snippets]]\ndescription = \"a\"\ncommand = \"ls\n", ":3:"},
        {"the-way", "the-way.json", "{\"description\":\"ok\",\"code\":\"x\"}\n{\"description\": \"broken\" \"code\": 1}\n", ":2:26:"},
        {"snippetslab", "lab.json", "{\"contents\": {\"snippets\": [}}", ":1:28:"},
        {"markdown", "md/Lang/Cat/a.md", "---\ntitle: \"ok\"\nlanguage: [unclosed\n---\n\n```\nx\n```\n", ":"},
        {"markdown", "md2/a.md", "---\ntitle: x\n---\n\n````text\nnever closed\n```\n", ":5:1:"},
        {"masscode", "vault/Folder/a.md", "---\nname: a\ntags: [x\n---\n", ":"},
    };
    int id = -1;
    QString error;
    ASSERT_GT(SaveItem(*gDB, "C", id, "Kept", "as it was", "Old", "", MergeDecision(), TimeBase::Utc, &error), 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        Write(c.file, c.content);
        const QString path = c.format == "markdown" || c.file.startsWith("vault/")
                                 ? env->Path(c.file.section('/', 0, 0))
                                 : env->Path(c.file);
        const QByteArray digest = FileDigest();
        for (const bool dryRun : {true, false}) {
            const ImportFromSummary s = Import(c.format, path, dryRun);
            EXPECT_FALSE(s.completed);
            EXPECT_TRUE(s.rows.isEmpty());
            EXPECT_TRUE(s.error.startsWith(env->Path(c.file) + c.where)) << s.error.toStdString();
        }
        EXPECT_EQ(FileDigest(), digest);
        EXPECT_EQ(ItemCount(), 1);
    }
}

TEST_F(FormatsTest, AFailureAfterGoodFilesRollsEverythingBack) {
    // The good file comes first by name: its snippets are stored, then the bad one fails.
    Write("vs/a-go.json", R"({"One": {"body": "1"}, "Two": {"body": "2"}})");
    Write("vs/b-go.json", "{\"Three\": {\"body\": \"3\"},,}");
    const QByteArray digest = FileDigest();
    const ImportFromSummary s = Import("vscode", env->Path("vs"));
    EXPECT_FALSE(s.completed);
    EXPECT_TRUE(s.error.startsWith(env->Path("vs/b-go.json") + ":1:25:")) << s.error.toStdString();
    EXPECT_EQ(ItemCount(), 0);
    EXPECT_EQ(FileDigest(), digest);
}

TEST_F(FormatsTest, MissingAndUnreadablePathsSaySo) {
    for (const QString& format : CFormatReader::Formats()) {
        const ImportFromSummary s = Import(format, env->Path("nothing-here"));
        EXPECT_FALSE(s.completed);
        EXPECT_TRUE(s.error.startsWith("No such ")) << s.error.toStdString();
        EXPECT_TRUE(s.error.endsWith(env->Path("nothing-here")));
    }
    Write("locked.json", "{}");
    QFile::setPermissions(env->Path("locked.json"), QFileDevice::WriteOwner);
    if (!QFile(env->Path("locked.json")).open(QIODevice::ReadOnly)) {
        const ImportFromSummary s = Import("vscode", env->Path("locked.json"));
        EXPECT_TRUE(s.error.startsWith("Unable to read " + env->Path("locked.json"))) << s.error.toStdString();
    }
    EXPECT_EQ(Import("jsonish", env->Path("locked.json")).error, "Unknown format: jsonish");
}

TEST_F(FormatsTest, UnreadableSnippetsAreSkippedAndNamedWhileTheRestImports) {
    Write("mixed-python.json", R"js({
        "Good": {"prefix": "g", "body": ["print(1)", "print(2)"]},
        "Number body": {"body": 42},
        "Bad line": {"body": ["ok", 7]},
        "No body": {"prefix": "n"},
        "Not an object": "text",
        "": {"body": "nameless"},
        "Windows": {"body": "a\r\nb\r\n"},
    })js");
    const ImportFromSummary s = Import("vscode", env->Path("mixed-python.json"));
    ASSERT_TRUE(s.completed) << s.error.toStdString();
    EXPECT_EQ(s.added, 3);
    EXPECT_EQ(s.skipped, 4);
    QStringList skipped;
    for (const ImportFromRow& r : s.rows)
        if (r.fate == ImportFate::Skipped) skipped << r.title + ": " + r.reason;
    EXPECT_EQ(skipped, (QStringList{"Number body: the body is neither a text nor a list of lines",
                                    "Bad line: the body is neither a text nor a list of lines", "No body: no body",
                                    "Not an object: not a snippet (an object with a body)"}));
    const std::vector<StoredItem> items = Items();
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].item.body, "print(1)\nprint(2)");
    EXPECT_EQ(items[0].item.language, "Python");
    EXPECT_EQ(items[1].item.title, "Untitled");
    EXPECT_EQ(items[2].item.body, "a\nb\n");
}

TEST_F(FormatsTest, DryRunPrintsTheSamePreviewAndWritesNothing) {
    ASSERT_TRUE(Import("the-way", Sample("the-way.json")).completed);
    const QByteArray digest = FileDigest();
    const ImportFromSummary dry = Import("masscode", Sample("masscode-db.json"), true);
    EXPECT_TRUE(dry.completed);
    EXPECT_EQ(FileDigest(), digest);
    EXPECT_EQ(ItemCount(), 2);
    EXPECT_FALSE(HasItemAttributeTable(*gDB) && Scalar("SELECT Count(*) FROM tblItemAttribute WHERE Name = 'masscode.id'").toInt() > 0);
    const ImportFromSummary real = Import("masscode", Sample("masscode-db.json"));
    EXPECT_EQ(real.added, dry.added);
    EXPECT_EQ(real.deleted, dry.deleted);
    EXPECT_EQ(real.byLanguage, dry.byLanguage);
    ASSERT_EQ(real.rows.size(), dry.rows.size());
    for (qsizetype i = 0; i < real.rows.size(); ++i) EXPECT_EQ(real.rows[i].title, dry.rows[i].title);
    // A source that repeats a snippet: the second one is present already, in a dry run too.
    Write("twice-dir/x-go.json", R"({"A": {"body": "same"}})");
    Write("twice-dir/y-go.json", R"({"A": {"body": "same"}})");
    const ImportFromSummary repeated = Import("vscode", env->Path("twice-dir"), true);
    EXPECT_EQ(repeated.added, 1);
    EXPECT_EQ(repeated.present, 1);
}

TEST_F(FormatsTest, CancelLeavesTheDatabaseAsItWas) {
    ASSERT_TRUE(Import("pet", Sample("pet-snippet.toml")).completed);
    const QByteArray digest = FileDigest();
    prompt->cancelAtUpdate = prompt->progressUpdates + 2;
    const ImportFromSummary s = Import("masscode", Sample("masscode-db.json"));
    EXPECT_TRUE(s.cancelled);
    EXPECT_FALSE(s.completed);
    EXPECT_EQ(ItemCount(), 3);
    EXPECT_EQ(FileDigest(), digest);
    EXPECT_EQ(prompt->openProgress, 0);
}

TEST_F(FormatsTest, TheFiveTablesStayAndTheAttributeTableFollowsItsItems) {
    const QString schemaSql = "SELECT type, name, sql FROM sqlite_master WHERE name NOT LIKE '%Attribute%' AND name NOT LIKE '%Search%' "
                              "AND name NOT IN (SELECT name FROM sqlite_master WHERE tbl_name IN ('tblItemVersion', "
                              "'tblVersionBlock', 'tblTrash', 'tblUndo', 'tblUndoAdded')) ORDER BY name";
    const auto schema = [&] {
        const ResultTable t = Query(schemaSql);
        QStringList rows;
        for (int r = 1; r <= t.RowCount(); ++r) rows << t.Text(r, 0) + t.Text(r, 1) + t.Text(r, 2);
        return rows;
    };
    const QStringList before = schema();
    EXPECT_FALSE(HasItemAttributeTable(*gDB));
    // Reading a file without the table: no attributes, no error.
    ItemAttributes none;
    QString error;
    EXPECT_TRUE(ReadItemAttributes(*gDB, 1, none, &error));
    EXPECT_TRUE(none.isEmpty() && error.isEmpty());

    ASSERT_TRUE(Import("vscode", Sample("vscode-go.json")).completed);
    EXPECT_TRUE(HasItemAttributeTable(*gDB));
    EXPECT_EQ(schema(), before);
    EXPECT_EQ(Scalar("PRAGMA user_version").toInt(), 2);
    // Deleting an item takes its rows along.
    ASSERT_TRUE(DeleteItem(*gDB, 3));
    EXPECT_EQ(Scalar("SELECT Count(*) FROM tblItemAttribute WHERE ItemID = 3").toInt(), 0);
    // Rows another program left behind for a deleted item are ignored, then pruned on the next
    // write, so a new item taking the number does not inherit them.
    Query("DELETE FROM tblItem WHERE ID = 2");
    Query("DELETE FROM ftsItem WHERE DOCID = 2");
    ItemAttributes orphan;
    EXPECT_TRUE(ReadItemAttributes(*gDB, 2, orphan, &error));
    EXPECT_TRUE(orphan.isEmpty());
    ASSERT_TRUE(Import("pet", Sample("pet-snippet.toml")).completed);
    EXPECT_EQ(Scalar("SELECT Count(*) FROM tblItemAttribute WHERE ItemID = 2 AND Name LIKE 'vscode.%'").toInt(), 0);
    Query("DELETE FROM tblItem WHERE ID = 1");
    ASSERT_TRUE(VacuumDatabase(*gDB, &error)) << error.toStdString();
    EXPECT_EQ(Scalar("SELECT Count(*) FROM tblItemAttribute WHERE ItemID = 1").toInt(), 0);
    // The stock engine checks the file.
    EXPECT_EQ(Scalar("PRAGMA integrity_check").toString(), "ok");
}

TEST_F(FormatsTest, AnIdentityHeldByADifferentItemIsNeverOverwritten) {
    ASSERT_TRUE(Import("the-way", Sample("the-way.json")).completed);
    Export("markdown", env->Path("md"));
    // The folder's copy of item 1 changes; the database's stays.
    const QString file = env->Path("md/Rust/time/Parse a date.md");
    QByteArray bytes = ReadFileBytes(file);
    bytes.replace("parse_from_str", "parse_from_text");
    WriteFileBytes(file, bytes);
    const ImportFromSummary s = Import("markdown", env->Path("md"));
    ASSERT_TRUE(s.completed);
    EXPECT_EQ(s.added, 0);
    EXPECT_EQ(s.present, 1);
    ASSERT_EQ(s.skipped, 1);
    EXPECT_EQ(s.rows.last().reason, "item #1 has this identity and differs");
    EXPECT_EQ(ItemCount(), 2);
}
