// One table per format over the shared samples: counts, titles, bodies byte for byte,
// languages, categories and times; a second import of the same source adds nothing.
#include "FormatsFixture.h"

namespace {

struct Expected {
    QString title;
    QString language;
    QStringList categories;
    QString body;
    QString time;  // UTC; empty: the source file's modification time
};

struct SampleCase {
    QString format;
    QString path;
    int added, skipped, deleted;
    QList<Expected> items;
    QStringList skippedNames;
};

const QList<SampleCase>& cases() {
    static const QList<SampleCase> list = {
        {"vscode", "vscode-go.json", 3, 0, 0,
         {{"Handle error", "Go", {"VS Code"},
           "if err != nil {\n\treturn ${1:nil}, fmt.Errorf(\"${2:context}: %w\", err)\n}\n$0\n\nReturn a wrapped error", ""},
          {"Table test", "Go", {"VS Code"}, "for _, tc := range []struct{ in, want string }{\n\t{${1:\"a\"}, ${2:\"b\"}},\n} {\n\t$0\n}", ""},
          {"Price in dollars", "Go", {"VS Code"},
           "fmt.Printf(\"\\$%.2f\\n\", ${1:price})\n\nA literal dollar sign before a placeholder", ""}},
         {}},
        {"vscode", "project.code-snippets", 3, 0, 0,
         {{"Component", "TypeScript React", {"project"},
           "export function ${1:${TM_FILENAME_BASE}}() {\n  return <div>${2:Hello}</div>;\n}\n\nReact function component", ""},
          {"Copyright header", "Text", {"project"}, "// Copyright $CURRENT_YEAR ${1:Company}. All rights reserved.", ""},
          {"Наблюдатель", "JavaScript", {"project"}, "const observer = new IntersectionObserver((entries) => {\n  ${1}\n});", ""}},
         {}},
        {"masscode", "masscode-db.json", 4, 0, 1,
         {{"Undo last commit", "Bash", {"Linux/Git", "vcs"}, "git reset --soft HEAD~1\n\nKeeps the changes in the work tree",
           "2023-11-14T22:13:20Z"},
          {"Read a file two ways", "Python", {"Python"},
           "Whole file\nwith open(path, encoding=\"utf-8\") as f:\n    text = f.read()\n\nLine by line\nwith open(path) as f:\n"
           "\tfor line in f:\n\t\tprint(line.rstrip())",
           "2022-09-19T04:14:12Z"},
          {"Untitled", "Text", {"Inbox"}, "a note without a name, in the inbox", "2022-09-12T17:32:01Z"},
          {"Zählen mit Counter", "Python", {"Python", "stdlib"}, "from collections import Counter\nCounter(words).most_common(3)",
           "2025-06-19T10:09:37Z"}},
         {}},
        {"masscode", "masscode-vault", 2, 0, 1,
         {{"Find big files", "Bash", {"Shell", "disk"},
           "du -ah . | sort -rh | head -n 20\n# a fence of three backticks inside the code:\n```\nnot the end of the fragment\n```"
           "\n\nLargest files under the current folder",
           "2024-07-10T07:12:41Z"},
          {"Two fragments", "PowerShell", {"Shell"}, "cmd\nGet-ChildItem -Recurse | Sort-Object Length -Descending\n\nbash\nls -lS",
           "2022-09-14T08:55:14Z"}},
         {}},
        {"pet", "pet-snippet.toml", 3, 0, 0,
         {{"Show listening ports", "Bash", {"network", "linux"}, "ss -tulpn", ""},
          {"Encrypt a file", "Bash", {"pet"}, "openssl enc -aes-256-cbc -pbkdf2 -in <in=secret.txt> -out <out=secret.enc>", ""},
          {"Several commands", "Bash", {"shell"}, "cd <dir=/tmp>\nls -la", ""}},
         {}},
        {"the-way", "the-way.json", 2, 0, 0,
         {{"Parse a date", "Rust", {"time", "chrono"}, "let d = NaiveDate::parse_from_str(s, \"%Y-%m-%d\")?;", "2022-05-06T07:08:09Z"},
          {"Reverse a list", "Python", {"the-way"}, "xs[::-1]", "2021-03-04T10:11:12Z"}},
         {}},
        {"snippetslab", "snippetslab.json", 1, 0, 0,
         {{"Table sizes", "SQL", {"Databases/Postgres", "sql"},
           "SELECT relname, pg_total_relation_size(relid)\nFROM pg_catalog.pg_statio_user_tables\nORDER BY 2 DESC;\n\nlargest first",
           "2020-06-07T08:09:10Z"}},
         {}},
        {"folder", "folder", 2, 1, 0,
         {{"chunks", "Python", {"folder"}, "def chunks(xs, n):\n    for i in range(0, len(xs), n):\n        yield xs[i:i + n]\n", ""},
          {"backup", "Bash", {"scripts"}, "#!/bin/sh\n# back up a folder with a date\ntar czf \"backup-$(date +%F).tgz\" \"$1\"\n", ""}},
         {"logo.png"}},
    };
    return list;
}

}  // namespace

TEST_F(FormatsTest, EverySampleImportsAsExpectedAndASecondImportAddsNothing) {
    for (const SampleCase& c : cases()) {
        SCOPED_TRACE((c.format + " " + c.path).toStdString());
        OpenFresh(c.format + "-" + QFileInfo(c.path).baseName() + ".db");
        const ImportFromSummary s = Import(c.format, Sample(c.path));
        ASSERT_TRUE(s.completed) << s.error.toStdString();
        EXPECT_EQ(s.added, c.added);
        EXPECT_EQ(s.present, 0);
        EXPECT_EQ(s.skipped, c.skipped);
        EXPECT_EQ(s.deleted, c.deleted);
        QStringList skippedNames;
        for (const ImportFromRow& r : s.rows)
            if (r.fate == ImportFate::Skipped) skippedNames << r.title;
        EXPECT_EQ(skippedNames, c.skippedNames);

        const std::vector<StoredItem> items = Items();
        ASSERT_EQ(items.size(), size_t(c.items.size()));
        for (qsizetype i = 0; i < c.items.size(); ++i) {
            const Expected& e = c.items[i];
            const CItem& got = items[size_t(i)].item;
            EXPECT_EQ(got.title, e.title);
            EXPECT_EQ(got.language, e.language);
            EXPECT_EQ(got.categories, e.categories) << e.title.toStdString();
            EXPECT_EQ(got.body.toUtf8(), e.body.toUtf8()) << e.title.toStdString();
            // Sources without times give the file's; the folder sample's files each have their own.
            const QString file = c.format == "folder" ? Sample(c.path + "/" + items[size_t(i)].attributes.value("folder.file"))
                                                      : Sample(c.path);
            EXPECT_EQ(Utc(got.lastUpdate), e.time.isEmpty() ? Utc(QFileInfo(file).lastModified()) : e.time)
                << e.title.toStdString();
        }

        const ImportFromSummary again = Import(c.format, Sample(c.path));
        EXPECT_EQ(again.added, 0);
        EXPECT_EQ(again.present, c.added);
        EXPECT_EQ(ItemCount(), c.added);
    }
}

TEST_F(FormatsTest, WhatTheTablesCannotHoldIsKeptPerItem) {
    ASSERT_TRUE(Import("vscode", Sample("vscode-go.json")).completed);
    ASSERT_TRUE(Import("masscode", Sample("masscode-db.json")).completed);
    ASSERT_TRUE(Import("the-way", Sample("the-way.json")).completed);
    const std::vector<StoredItem> items = Items();
    ASSERT_EQ(items.size(), 9u);
    EXPECT_EQ(items[0].attributes, (ItemAttributes{{"description", "Return a wrapped error"},
                                                   {"vscode.prefixes", "[\"iferr\",\"err\"]"},
                                                   {"vscode.syntax", "1"}}));
    EXPECT_EQ(items[1].attributes, (ItemAttributes{{"vscode.prefix", "ttest"}, {"vscode.syntax", "1"}}));
    EXPECT_EQ(items[3].attributes, (ItemAttributes{{"description", "Keeps the changes in the work tree"},
                                                   {"favorite", "1"},
                                                   {"masscode.id", "s1"}}));
    EXPECT_EQ(items[7].attributes, (ItemAttributes{{"the-way.index", "1"}}));
}

TEST_F(FormatsTest, LanguageAndCategoryOptionsReplaceTheSources) {
    const ImportFromSummary s = Import("pet", Sample("pet-snippet.toml"), false, "Zsh", "Shell, Mine");
    ASSERT_TRUE(s.completed);
    for (const StoredItem& i : Items()) {
        EXPECT_EQ(i.item.language, "Zsh");
        EXPECT_EQ(i.item.categories, (QStringList{"Shell", "Mine"}));
    }
    EXPECT_EQ(s.byLanguage.keys(), QStringList{"Zsh"});
}

TEST_F(FormatsTest, FoldersAndTagsMayFollowTheSnippetsTheyName) {
    const struct {
        QString format, file;
        QByteArray text;
    } cases[] = {
        {"masscode", "db.json",
         R"({"snippets": [{"name": "Late", "folderId": "f2", "tagsIds": ["t1"], "content": [{"value": "x", "language": "sh"}]}],
             "tags": [{"id": "t1", "name": "later"}],
             "folders": [{"id": "f1", "name": "Top"}, {"id": "f2", "name": "Sub", "parentId": "f1"}]})"},
        {"snippetslab", "lab.json",
         R"({"snippets": [{"title": "Late", "folder": "F-2", "tags": ["T-1"], "fragments": [{"content": "x", "language": "Bash"}]}],
             "tags": [{"title": "later", "uuid": "T-1"}],
             "folders": [{"title": "Top", "uuid": "F-1", "children": [{"title": "Sub", "uuid": "F-2"}]}]})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format.toStdString());
        OpenFresh(c.format + ".db");
        Write(c.file, c.text);
        const ImportFromSummary s = Import(c.format, env->Path(c.file));
        ASSERT_TRUE(s.completed) << s.error.toStdString();
        const std::vector<StoredItem> items = Items();
        ASSERT_EQ(items.size(), 1u);
        EXPECT_EQ(items[0].item.title, "Late");
        EXPECT_EQ(items[0].item.categories, (QStringList{"Top/Sub", "later"}));
    }
}
