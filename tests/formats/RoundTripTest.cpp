// Out and back in: VS Code and Markdown exports imported into a fresh database give the items
// back; a second export of an unchanged database rewrites nothing; names never leave the folder.
#include "FormatsFixture.h"

#include "attach/basAttachment.h"
#include "formats/CSafeFileName.h"

#include <QDirIterator>

namespace {

// Every sample imported into one database.
void importAllSamples(FormatsTest* t, const std::function<ImportFromSummary(QString, QString)>& import) {
    for (const auto& [format, path] : {std::pair{"vscode", "vscode-go.json"}, {"vscode", "project.code-snippets"},
                                       {"masscode", "masscode-db.json"}, {"masscode", "masscode-vault"},
                                       {"pet", "pet-snippet.toml"}, {"the-way", "the-way.json"},
                                       {"snippetslab", "snippetslab.json"}, {"folder", "folder"}})
        ASSERT_TRUE(import(format, Sample(path)).completed) << path;
    (void)t;
}

QStringList filesUnder(const QString& root) {
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

}  // namespace

class RoundTripTest : public FormatsTest {
protected:
    void SetUp() override {
        FormatsTest::SetUp();
        importAllSamples(this, [this](const QString& f, const QString& p) { return Import(f, p); });
        // Awkward items of our own: text VS Code would read as syntax, an attachment, a name
        // that tries to leave the folder, backticks longer than a fence.
        int id = -1;
        QString error;
        ASSERT_GT(SaveItem(*gDB, "Bash", id, "../../escape\x01 me", "echo \"$HOME\" \\$ ${1:x} }\n```` fence\n", "Tricky,Second",
                           "2020-01-02 03:04:05", MergeDecision(), TimeBase::Utc, &error),
                  0)
            << error.toStdString();
        Write("files/notes.txt", "attached bytes\n");
        ASSERT_TRUE(SaveAttachment(*gDB, id, env->Path("files/notes.txt"), &error)) << error.toStdString();
        ASSERT_TRUE(RestoreItemTime(*gDB, id, "2020-01-02 03:04:05", &error));
        before = Items();
    }
    std::vector<StoredItem> before;
};

TEST_F(RoundTripTest, MarkdownOutAndInGivesEqualItemsUnderTheSameIdentity) {
    const CExportSummary out = Export("markdown", env->Path("md"));
    EXPECT_EQ(out.items, int(before.size()));
    EXPECT_EQ(out.written, int(before.size()) + 1);  // the attachment too
    // Every identity is stored with its item now.
    for (const StoredItem& i : Items()) EXPECT_EQ(i.attributes.value(ItemUuidAttribute()).size(), 36);
    const std::vector<StoredItem> exported = Items();

    OpenFresh("fresh.db");
    const ImportFromSummary in = Import("markdown", env->Path("md"));
    ASSERT_TRUE(in.completed) << in.error.toStdString();
    EXPECT_EQ(in.added, int(before.size()));
    const std::vector<StoredItem> after = Items();
    ASSERT_EQ(after.size(), exported.size());
    for (size_t i = 0; i < after.size(); ++i) {
        SCOPED_TRACE(exported[i].item.title.toStdString());
        EXPECT_TRUE(after[i].item.SameContent(exported[i].item));
        EXPECT_EQ(after[i].item.id, exported[i].item.id);
        EXPECT_EQ(Utc(after[i].item.lastUpdate), Utc(exported[i].item.lastUpdate));
        EXPECT_EQ(after[i].attributes, exported[i].attributes);
    }
    // The second machine's export is the same folder, byte for byte.
    const CExportSummary again = Export("markdown", env->Path("md"));
    EXPECT_EQ(again.written, 0);
    EXPECT_EQ(again.unchanged, out.written);
    // And importing it once more adds nothing.
    EXPECT_EQ(Import("markdown", env->Path("md")).added, 0);
}

TEST_F(RoundTripTest, ASecondExportOfAnUnchangedDatabaseRewritesNoFileAndRemovesWhatIsGone) {
    Export("markdown", env->Path("md"));
    Write("md/README.md", "# my own notes\n");
    const QStringList first = filesUnder(env->Path("md"));
    QHash<QString, QDateTime> times;
    for (const QString& f : first) times.insert(f, QFileInfo(env->Path("md/" + f)).lastModified());
    const CExportSummary again = Export("markdown", env->Path("md"));
    EXPECT_EQ(again.written, 0);
    EXPECT_EQ(again.removed, 0);
    for (const QString& f : first) EXPECT_EQ(QFileInfo(env->Path("md/" + f)).lastModified(), times[f]) << f.toStdString();

    // A deleted item's file (and its attachment) goes; a file that is not ours stays.
    const StoredItem& tricky = before.back();
    ASSERT_TRUE(DeleteItem(*gDB, tricky.item.id));
    const CExportSummary third = Export("markdown", env->Path("md"));
    EXPECT_EQ(third.removed, 2);
    EXPECT_EQ(filesUnder(env->Path("md")).size(), first.size() - 2);
    EXPECT_TRUE(QFileInfo::exists(env->Path("md/README.md")));
    EXPECT_FALSE(QFileInfo::exists(env->Path("md/Bash/Tricky")));  // its emptied folder too
}

TEST_F(RoundTripTest, NamesFromTheDatabaseStayInsideTheExportFolder) {
    Export("markdown", env->Path("out/md"));
    const QStringList files = filesUnder(env->Path("out"));
    EXPECT_TRUE(files.contains("md/Bash/Tricky/_.._escape_ me.md")) << files.join(" ").toStdString();
    EXPECT_TRUE(files.contains("md/Bash/Tricky/_.._escape_ me.notes.txt"));
    EXPECT_EQ(ReadFileBytes(env->Path("out/md/Bash/Tricky/_.._escape_ me.notes.txt")), "attached bytes\n");
    for (const QString& f : files) {
        EXPECT_TRUE(f.startsWith("md/")) << f.toStdString();
        for (const QString& part : f.split('/')) EXPECT_TRUE(CSafeFileName::IsSafe(part)) << f.toStdString();
    }
    // A fence longer than the backticks inside.
    EXPECT_TRUE(ReadFileBytes(env->Path("out/md/Bash/Tricky/_.._escape_ me.md")).contains("\n`````bash\n"));
}

TEST_F(RoundTripTest, VsCodeOutAndInGivesByteIdenticalBodies) {
    const CExportSummary out = Export("vscode", env->Path("vs"));
    EXPECT_EQ(out.items, int(before.size()));
    EXPECT_TRUE(QFileInfo::exists(env->Path("vs/go.json")));
    EXPECT_TRUE(QFileInfo::exists(env->Path("vs/shellscript.json")));
    OpenFresh("fresh.db");
    ASSERT_TRUE(Import("vscode", env->Path("vs")).completed);
    const std::vector<StoredItem> after = Items();
    ASSERT_EQ(after.size(), before.size());
    QMap<QString, QPair<QString, QString>> byTitle;  // title -> language, body
    for (const StoredItem& i : after) byTitle.insert(i.item.title, {i.item.language, i.item.body});
    for (const StoredItem& b : before) {
        SCOPED_TRACE(b.item.title.toStdString());
        ASSERT_TRUE(byTitle.contains(b.item.title));
        // Zsh and Bash share VS Code's shellscript; everything else keeps its language.
        EXPECT_EQ(byTitle[b.item.title].first, b.item.language);
        EXPECT_EQ(byTitle[b.item.title].second.toUtf8(), b.item.body.toUtf8());
    }
    // What VS Code would insert for an item of ours is its code: syntax escaped.
    const QByteArray sh = ReadFileBytes(env->Path("vs/shellscript.json"));
    EXPECT_TRUE(sh.contains(R"("echo \"\\$HOME\" \\\\\\$ \\${1:x} }",)")) << sh.toStdString();
    // Kept prefixes and descriptions go back as they came.
    const QByteArray go = ReadFileBytes(env->Path("vs/go.json"));
    EXPECT_TRUE(go.contains("\"prefix\": [\n\t\t\t\"iferr\",\n\t\t\t\"err\"\n\t\t]")) << go.toStdString();
    EXPECT_TRUE(go.contains("\"description\": \"Return a wrapped error\""));
    EXPECT_TRUE(go.contains("\"$0\"\n"));
    // Unchanged: nothing rewritten.
    OpenFresh("snippets.db");
    EXPECT_EQ(Export("vscode", env->Path("vs")).written, 0);
}
