// File, Import From... and File, Export To...: the preview before anything is written, the
// import through it, Cancel in the progress window, and the export into a folder.
#include "MainWindowFixture.h"

#include "app/frmExportTo.h"
#include "app/frmImportFrom.h"

#include <QHeaderView>
#include <QMenu>
#include <QTimer>
#include <QTreeWidget>

namespace {

// Runs work on the dialog the command opens, once it shows.
template <typename Dialog>
void OnDialog(const std::function<void(Dialog*)>& work) {
    QTimer::singleShot(0, [work] {
        auto* d = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        work(d);
        if (d->isVisible()) d->reject();
    });
}

template <typename T>
T* Child(QWidget* d, const char* name) {
    T* w = d->findChild<T*>(QLatin1String(name));
    if (!w) ADD_FAILURE() << "no " << name;
    return w;
}

void Choose(QWidget* d, const QString& format, const QString& path) {
    auto* formats = Child<QComboBox>(d, "cboFormat");
    formats->setCurrentIndex(formats->findData(format));
    Child<QLineEdit>(d, "txtPath")->setText(path);
}

QStringList Rows(QWidget* d) {
    auto* list = Child<QTreeWidget>(d, "lstPreview");
    QStringList rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        rows << list->topLevelItem(i)->text(0) + ": " + list->topLevelItem(i)->text(1);
    return rows;
}

}  // namespace

TEST_F(MainWindowTest, ImportFromPreviewsThenImportsAndCancelTakesItAllBack) {
    MakeDatabase({{"Bash", "Old idea", "print('deleted, in the trash')", "Python"}});
    Start();
    // The File menu's new commands sit after Import Database, with keys of their own.
    QStringList captions;
    for (QAction* a : Find<QMenu>("mnuFile")->actions()) captions << a->text();
    EXPECT_EQ(captions.mid(3, 5), (QStringList{"", "&Export Database...", "&Import Database...", "Import &From...",
                                               "Export &To..."}));
    const QString source = VG_SHARED_DIR "/testdata/formats/masscode-db.json";

    // Preview, then Cancel in the progress window: nothing stored, the dialog stays.
    OnDialog<frmImportFrom>([&](frmImportFrom* d) {
        Choose(d, "masscode", source);
        EXPECT_FALSE(Child<QPushButton>(d, "cmdImport")->isEnabled());
        QTest::mouseClick(Child<QPushButton>(d, "cmdPreview"), Qt::LeftButton);
        EXPECT_EQ(Rows(d), (QStringList{"New: Undo last commit", "New: Read a file two ways", "New: Untitled",
                                        "New: Zählen mit Counter"}));
        EXPECT_EQ(Child<QLabel>(d, "lblCounts")->text(), "4 new, 0 already present, 0 skipped, 1 deleted in the source");
        EXPECT_EQ(ItemCount(), 1);
        prompt->cancelAtUpdate = prompt->progressUpdates + 2;
        QTest::mouseClick(Child<QPushButton>(d, "cmdImport"), Qt::LeftButton);
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(ItemCount(), 1);
        prompt->cancelAtUpdate = 0;
        // Changing the path drops the preview: Import waits for a new one.
        Child<QLineEdit>(d, "txtPath")->setText(source + " ");
        EXPECT_FALSE(Child<QPushButton>(d, "cmdImport")->isEnabled());
        Child<QLineEdit>(d, "txtPath")->setText(source);
        QTest::mouseClick(Child<QPushButton>(d, "cmdPreview"), Qt::LeftButton);
        prompt->answers << CPrompt::vbOK;
        QTest::mouseClick(Child<QPushButton>(d, "cmdImport"), Qt::LeftButton);
        EXPECT_FALSE(d->isVisible());
    });
    Trigger("mnuFileImportFrom");
    EXPECT_EQ(ItemCount(), 5);
    EXPECT_EQ(prompt->Messages().last(), "4 items added, 0 already present, 0 skipped, 1 deleted in the source.");
    EXPECT_EQ(prompt->openProgress, 0);
    // The lists follow.
    EXPECT_TRUE(Entries(Languages()).contains("Python  (2)")) << Entries(Languages()).join(" ").toStdString();

    // The same again: everything is present already, so there is nothing to import.
    OnDialog<frmImportFrom>([&](frmImportFrom* d) {
        Choose(d, "masscode", source);
        QTest::mouseClick(Child<QPushButton>(d, "cmdPreview"), Qt::LeftButton);
        EXPECT_EQ(Rows(d).first(), "Already present: Undo last commit");
        EXPECT_FALSE(Child<QPushButton>(d, "cmdImport")->isEnabled());
    });
    Trigger("mnuFileImportFrom");
    EXPECT_EQ(ItemCount(), 5);

    // A malformed file is named with its line and column.
    const QString bad = env->Path("bad.json");
    WriteFileBytes(bad, "{\n  \"a\": [\n}");
    OnDialog<frmImportFrom>([&](frmImportFrom* d) {
        Choose(d, "vscode", bad);
        prompt->answers << CPrompt::vbOK;
        QTest::mouseClick(Child<QPushButton>(d, "cmdPreview"), Qt::LeftButton);
        EXPECT_TRUE(Rows(d).isEmpty());
    });
    Trigger("mnuFileImportFrom");
    EXPECT_TRUE(prompt->Messages().last().startsWith(bad + ":3:1: ")) << prompt->Messages().last().toStdString();
    prompt->answers << CPrompt::vbNo;
    EXPECT_TRUE(Close());
}

TEST_F(MainWindowTest, ExportToWritesTheFolderAndTheCommandsNeedADatabase) {
    MakeDatabase({{"C++", "Vector", "std::vector<int> v;", "STL"}, {"C++", "Map", "std::map<int, int> m;", "STL"}});
    Start();
    const QString folder = env->Path("snippets-md");
    OnDialog<frmExportTo>([&](frmExportTo* d) {
        Choose(d, "markdown", folder);
        prompt->answers << CPrompt::vbOK;
        QTest::mouseClick(Child<QPushButton>(d, "cmdExport"), Qt::LeftButton);
        EXPECT_FALSE(d->isVisible());
    });
    Trigger("mnuFileExportTo");
    EXPECT_EQ(prompt->Messages().last(), "2 items exported: 2 files written, 0 unchanged, 0 removed.");
    EXPECT_TRUE(QFile::exists(folder + "/C++/STL/Vector.md"));
    EXPECT_TRUE(QFile::exists(folder + "/C++/STL/Map.md"));

    // Without a database neither command is offered.
    Restart({{"LastDatabase", QString()}});
    for (const char* command : {"mnuFileImportFrom", "mnuFileExportTo"}) EXPECT_FALSE(Find<QAction>(command)->isEnabled());
    EXPECT_TRUE(Close());
}
