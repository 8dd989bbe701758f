// What the exporters put on disk: a Markdown file's exact bytes, which files a later export
// rewrites, and how Cancel and a failing write end an export.
#include "FormatsFixture.h"

#include "formats/CMarkdownWriter.h"
#include "support/HostileFiles.h"

#include <QDirIterator>
#include <QTimeZone>
#include <cerrno>

class ExportFilesTest : public FormatsTest {
protected:
    void SetUp() override {
        FormatsTest::SetUp();
        for (const auto& [title, categories] : {std::pair{"Alpha", "Tools,Shell"}, {"alpha", "Tools"}, {"Beta", "Other"}}) {
            int id = -1;
            QString error;
            ASSERT_GT(SaveItem(*gDB, "Bash", id, title, QString("echo %1\n").arg(title), categories, "2021-05-06 07:08:09",
                               MergeDecision(), TimeBase::Utc, &error),
                      0)
                << error.toStdString();
            ids << id;
        }
    }
    QString Md(const QString& rel) { return env->Path("md/" + rel); }
    // Every file under folder (hidden ones too) with its bytes.
    static QMap<QString, QByteArray> FilesUnder(const QString& folder) {
        QMap<QString, QByteArray> files;
        for (QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories); it.hasNext();) {
            const QString f = it.next();
            files.insert(QDir(folder).relativeFilePath(f), ReadFileBytes(f));
        }
        return files;
    }
    CExportSummary FailedExport(const QString& folder) {
        CExportSummary s;
        EXPECT_FALSE(CFormatWriter::Create("markdown")->Write(*gDB, folder, s));
        EXPECT_FALSE(s.completed);
        return s;
    }
    QList<int> ids;
};

TEST(MarkdownComposeTest, AnItemsFileHasSortedKeysAndOneFencedBlock) {
    CItem item;
    item.id = 42;
    item.title = "Say \"hi\"\tnow";
    item.body = "printf '```'\n";
    item.language = "C++";
    item.categories = {"Tools", "Shell: Bash"};
    item.fileName = "notes.txt";
    item.lastUpdate = QDateTime(QDate(2021, 5, 6), QTime(7, 8, 9), QTimeZone::utc());
    const ItemAttributes attributes{{"uuid", "0f0e0d0c-0b0a-0908-0706-050403020100"}, {"vscode.prefix", "hi"},
                                    {"description", "Greets"}};
    EXPECT_EQ(CMarkdownWriter::Compose(item, attributes, "Say _hi_ now.notes.txt"),
              "---\n"
              "attachment: \"notes.txt\"\n"
              "attachment_file: \"Say _hi_ now.notes.txt\"\n"
              "attributes:\n"
              "  \"description\": \"Greets\"\n"
              "  \"vscode.prefix\": \"hi\"\n"
              "categories:\n"
              "  - \"Tools\"\n"
              "  - \"Shell: Bash\"\n"
              "language: \"C++\"\n"
              "number: 42\n"
              "title: \"Say \\\"hi\\\"\\tnow\"\n"
              "updated: \"2021-05-06T07:08:09Z\"\n"
              "uuid: \"0f0e0d0c-0b0a-0908-0706-050403020100\"\n"
              "vellumgranary: 1\n"
              "---\n"
              "\n"
              "````cpp\n"
              "printf '```'\n"
              "\n"
              "````\n");
    // Nothing optional: no attachment, attributes or time; no categories.
    CItem bare;
    bare.id = 1;
    EXPECT_EQ(CMarkdownWriter::Compose(bare, {}, {}),
              "---\ncategories: []\nlanguage: \"\"\nnumber: 1\ntitle: \"\"\nvellumgranary: 1\n---\n\n```text\n\n```\n");
}

TEST_F(ExportFilesTest, NamesAreUniqueRegardlessOfCaseAndEveryFileIsWhereItBelongs) {
    const CExportSummary s = Export("markdown", env->Path("md"));
    EXPECT_EQ(s.items, 3);
    EXPECT_EQ(s.written, 3);
    EXPECT_TRUE(QFileInfo::exists(Md("Bash/Tools/Alpha.md")));
    EXPECT_TRUE(QFileInfo::exists(Md(QString("Bash/Tools/alpha (%1).md").arg(ids[1]))));
    EXPECT_TRUE(QFileInfo::exists(Md("Bash/Other/Beta.md")));
}

TEST_F(ExportFilesTest, OnlyFilesWhoseBytesDifferAreRewritten) {
    Export("markdown", env->Path("md"));
    const QByteArray alpha = ReadFileBytes(Md("Bash/Tools/Alpha.md"));
    const QByteArray beta = ReadFileBytes(Md("Bash/Other/Beta.md"));
    // The same size with one byte changed, a shorter file, and one left alone.
    QByteArray sameSize = alpha;
    sameSize[sameSize.size() - 2] = 'x';
    WriteFileBytes(Md("Bash/Tools/Alpha.md"), sameSize);
    WriteFileBytes(Md("Bash/Other/Beta.md"), beta.left(10));
    const QString other = QString("Bash/Tools/alpha (%1).md").arg(ids[1]);
    const QDateTime untouched = QFileInfo(Md(other)).lastModified();
    const CExportSummary s = Export("markdown", env->Path("md"));
    EXPECT_EQ(s.written, 2);
    EXPECT_EQ(s.unchanged, 1);
    EXPECT_EQ(ReadFileBytes(Md("Bash/Tools/Alpha.md")), alpha);
    EXPECT_EQ(ReadFileBytes(Md("Bash/Other/Beta.md")), beta);
    EXPECT_EQ(QFileInfo(Md(other)).lastModified(), untouched);
    // No temporary file is left behind.
    EXPECT_EQ(QDir(Md("Bash/Tools")).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

TEST_F(ExportFilesTest, CancelStopsEitherExporterAndSaysSo) {
    for (const QString& format : CFormatWriter::Formats()) {
        SCOPED_TRACE(format.toStdString());
        prompt->cancelAtUpdate = prompt->progressUpdates + 2;
        CExportSummary s;
        EXPECT_FALSE(CFormatWriter::Create(format)->Write(*gDB, env->Path("out-" + format), s));
        EXPECT_TRUE(s.cancelled);
        EXPECT_FALSE(s.completed);
        EXPECT_EQ(s.items, 2);
        EXPECT_TRUE(s.error.isEmpty());
        EXPECT_EQ(prompt->openProgress, 0);
    }
    // VS Code's files are written only at the end: nothing is there after Cancel.
    EXPECT_TRUE(QDir(env->Path("out-vscode")).isEmpty());
}

TEST_F(ExportFilesTest, AWriteThatFailsEndsTheExportWithItsReason) {
    // A plain file stands where a language's folder should be made.
    Write("md/Bash", "in the way\n");
    CExportSummary s;
    EXPECT_FALSE(CFormatWriter::Create("markdown")->Write(*gDB, env->Path("md"), s));
    EXPECT_FALSE(s.completed);
    EXPECT_FALSE(s.cancelled);
    EXPECT_EQ(s.items, 0);
    EXPECT_TRUE(s.error.contains(env->Path("md/Bash"))) << s.error.toStdString();
    EXPECT_EQ(ReadFileBytes(env->Path("md/Bash")), "in the way\n");
    // And a file where the folder itself should be.
    Write("vs", "a file\n");
    EXPECT_FALSE(CFormatWriter::Create("vscode")->Write(*gDB, env->Path("vs"), s));
    EXPECT_EQ(s.error, "Not a folder: " + env->Path("vs"));
}

TEST_F(ExportFilesTest, AFreshFolderAndAnEditedEarlierExportEndWithTheSameBytes) {
    Export("markdown", env->Path("fresh"));
    Export("markdown", env->Path("md"));
    // By hand: one file changed, one emptied, a whole folder gone, a file of ours left over.
    WriteFileBytes(Md("Bash/Tools/Alpha.md"), "changed\n");
    WriteFileBytes(Md(QString("Bash/Tools/alpha (%1).md").arg(ids[1])), {});
    ASSERT_TRUE(QDir(Md("Bash/Other")).removeRecursively());
    Write("md/Bash/Gone/Old.md", "---\nvellumgranary: 1\n---\n");
    const CExportSummary s = Export("markdown", env->Path("md"));
    EXPECT_EQ(s.written, 3);
    EXPECT_EQ(s.removed, 1);
    const QMap<QString, QByteArray> fresh = FilesUnder(env->Path("fresh"));
    EXPECT_EQ(fresh.size(), 3);
    EXPECT_EQ(FilesUnder(env->Path("md")), fresh);
}

TEST_F(ExportFilesTest, AFullDiskEndsTheExportAndLeavesNoFileHalfWritten) {
    Export("markdown", env->Path("first"));  // the identities are stored before the limit
    {
        FileSizeLimit limit(64);
        const CExportSummary s = FailedExport(env->Path("md"));
        EXPECT_EQ(s.error, QString("Unable to write %1: %2").arg(Md("Bash/Tools/Alpha.md"), qt_error_string(EFBIG)));
    }
    for (const QString& f : FilesUnder(env->Path("md")).keys()) ADD_FAILURE() << "left behind: " << f.toStdString();

    // Over an earlier export: every file stays whole as it was.
    Export("markdown", env->Path("md"));
    WriteFileBytes(Md("Bash/Other/Beta.md"), "short\n");
    const QMap<QString, QByteArray> before = FilesUnder(env->Path("md"));
    {
        FileSizeLimit limit(64);
        const CExportSummary s = FailedExport(env->Path("md"));
        EXPECT_EQ(s.error, QString("Unable to write %1: %2").arg(Md("Bash/Other/Beta.md"), qt_error_string(EFBIG)));
    }
    EXPECT_EQ(FilesUnder(env->Path("md")), before);
}

TEST_F(ExportFilesTest, ALinkOrPipeWhereAnItemsFileGoesIsNeitherFollowedNorReplaced) {
    Export("markdown", env->Path("md"));
    Write("outside.txt", "not the export's\n");
    for (const bool pipe : {false, true}) {
        SCOPED_TRACE(pipe ? "pipe" : "link");
        ASSERT_TRUE(QFile::remove(Md("Bash/Other/Beta.md")));
        ASSERT_TRUE(pipe ? MakeFifo(Md("Bash/Other/Beta.md")) : QFile::link(env->Path("outside.txt"), Md("Bash/Other/Beta.md")));
        // A pipe is refused at once rather than waited on.
        const CExportSummary s = FailedExport(env->Path("md"));
        EXPECT_EQ(s.error, Md("Bash/Other/Beta.md") + ": not a plain file");
        EXPECT_EQ(ReadFileBytes(env->Path("outside.txt")), "not the export's\n");
    }
    EXPECT_TRUE(IsFifo(Md("Bash/Other/Beta.md")));
}
