// The window's import and export: the dialogs and questions around the silent cores, and the
// messages that tell how they ended.
#include "../exchange/ExchangeFixture.h"

#include "app/frmMainExchange.h"

#include <QFileInfo>

TEST_F(ExchangeTest, ExportCommandAsksBeforeOverwritingAndForAttachmentsAndImportCommandAsksNewOrOverwrite) {
    FillSample();
    const QString file = env->Path("cmd.tab");
    WriteFileBytes(file, "old");

    // Cancel at the overwrite question: nothing changes.
    prompt->texts = {file};
    prompt->answers = {CPrompt::vbCancel};
    EXPECT_FALSE(ExportCommand());
    EXPECT_EQ(ReadFileBytes(file), "old");
    ASSERT_GE(prompt->shown.size(), 2);
    EXPECT_EQ(prompt->shown[0].kind, "save");
    EXPECT_EQ(prompt->shown[1].text, "Overwrite existing file?");

    // OK, then No to attachments.
    prompt->shown.clear();
    prompt->texts = {file};
    prompt->answers = {CPrompt::vbOK, CPrompt::vbNo};
    EXPECT_TRUE(ExportCommand());
    EXPECT_EQ(prompt->Messages(),
              (QStringList{"Overwrite existing file?", "Export file attachments?"}));
    EXPECT_TRUE(ReadFileBytes(file).startsWith("ID\t"));
    EXPECT_FALSE(QFileInfo::exists(env->Path("notes.txt")));

    // A new file: no overwrite question; Yes writes the attachments.
    prompt->shown.clear();
    prompt->texts = {env->Path("new.tab")};
    prompt->answers = {CPrompt::vbYes};
    EXPECT_TRUE(ExportCommand());
    EXPECT_EQ(prompt->Messages(), QStringList{"Export file attachments?"});
    EXPECT_TRUE(QFileInfo::exists(env->Path("notes.txt")));

    // Import: Cancel at the new-or-overwrite question changes nothing.
    const int items = Scalar("SELECT Count(*) FROM tblItem").toInt();
    prompt->shown.clear();
    prompt->texts = {file};
    prompt->answers = {CPrompt::vbCancel};
    EXPECT_FALSE(ImportCommand());
    EXPECT_EQ(Scalar("SELECT Count(*) FROM tblItem").toInt(), items);
    ASSERT_GE(prompt->shown.size(), 2);
    EXPECT_EQ(prompt->shown[0].kind, "open");

    // No: the numbers of the file, nothing added.
    prompt->texts = {file};
    prompt->answers = {CPrompt::vbNo};
    EXPECT_TRUE(ImportCommand());
    EXPECT_EQ(Scalar("SELECT Count(*) FROM tblItem").toInt(), items);

    // Yes: new items.
    prompt->texts = {file};
    prompt->answers = {CPrompt::vbYes};
    EXPECT_TRUE(ImportCommand());
    EXPECT_EQ(Scalar("SELECT Count(*) FROM tblItem").toInt(), items + 4);

    // Cancel in the file dialog ends either command.
    prompt->texts = {QString(), QString()};
    EXPECT_FALSE(ExportCommand());
    EXPECT_FALSE(ImportCommand());
}

TEST_F(ExchangeTest, TheWindowShowsHowAnExchangeEnded) {
    FillSample();
    const QString file = env->Path("shown.tab");
    ASSERT_TRUE(ExportDatabase(file, false));
    EXPECT_EQ(prompt->Messages(), QStringList());
    ASSERT_TRUE(ImportDatabase(file, false));
    ASSERT_FALSE(ImportDatabase(env->Path("nothing.tab"), false, nullptr, false));
    EXPECT_FALSE(ExportDatabase(gDB->Filename(), false));
    // An attachment that cannot be written is named after the file is in place.
    Query("UPDATE tblItem SET FileBLOB = X'0102030405' WHERE ID = " + QString::number(ids[1]));
    EXPECT_TRUE(ExportDatabase(env->Path("damaged.tab"), true));
    QList<PromptRecord> boxes;
    for (const PromptRecord& r : prompt->shown)
        if (r.kind == "msgbox") boxes << r;
    ASSERT_EQ(boxes.size(), 4);
    const std::pair<QString, int> expected[] = {
        {"4 items imported, 0 lines skipped, 2 attachments missing.", CPrompt::vbInformation},
        {"Unable to read the import file: ", CPrompt::vbOKOnly | CPrompt::vbExclamation},
        {"Unable to write the export file: it is the open database", CPrompt::vbOKOnly | CPrompt::vbExclamation},
        {"1 of the attachments could not be written beside the export file:\r\nnotes.txt (item " +
             QString::number(ids[1]) + "): The stored attachment is damaged",
         CPrompt::vbOKOnly | CPrompt::vbExclamation},
    };
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(boxes[i].text.startsWith(expected[i].first)) << boxes[i].text.toStdString();
        EXPECT_EQ(boxes[i].style, expected[i].second) << i;
    }

    // Nothing to export is no fault: no warning sign.
    Query("DELETE FROM tblItemCategory");
    prompt->shown.clear();
    EXPECT_FALSE(ExportDatabase(file, false));
    ASSERT_EQ(prompt->Messages(), QStringList{"No items found to export"});
    EXPECT_EQ(prompt->shown.last().style, CPrompt::vbOKOnly);
}
