#include "ui/CommonDialog.h"
#include "UiDrive.h"
#include "support/TestEnv.h"
#include "util/CPrompt.h"

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <gtest/gtest.h>

using namespace CommonDialog;

namespace {
const QString kFilterA = "All Files|*.*|";
const QString kFilterT = "Tab Separated Values (*.tab)|*.tab|All Files|*.*|";

QString Nul(const char* s, int n) { return QString::fromLatin1(s, n); }
}  // namespace

TEST(CommonDialogFilter, NormalisesToANulSeparatedListAndFindsEachTypesExtension) {
    EXPECT_EQ(NormalizeFilter("A|*.a|"), Nul("A\0*.a\0\0", 7));
    // Without the closing "|" the result is the same.
    EXPECT_EQ(NormalizeFilter("Text|*.txt"), NormalizeFilter("Text|*.txt|"));
    EXPECT_EQ(NormalizeFilter(QString()), Nul("\0\0", 2));

    // The extension of each file type.
    const QString t = NormalizeFilter(kFilterT);
    EXPECT_EQ(GetFilterExtension(t, 1), "tab");
    EXPECT_EQ(GetFilterExtension(t, 2), "*");
    // No such type: nothing, not a crash.
    for (int index : {0, 3, -1}) EXPECT_EQ(GetFilterExtension(t, index), QString()) << index;
    EXPECT_EQ(GetFilterExtension(NormalizeFilter(QString()), 1), QString());
    // Several patterns: after the last dot of the whole part; no dot, no extension.
    EXPECT_EQ(GetFilterExtension(NormalizeFilter("Text|*.txt;*.log"), 1), "log");
    EXPECT_EQ(GetFilterExtension(NormalizeFilter("Any|*|"), 1), QString());
}

TEST(CommonDialogFilter, TranslatesToQtNameFiltersAndAppendsTheChosenTypesExtensionOnlyToNamesWithout) {
    EXPECT_EQ(NameFilters(NormalizeFilter(kFilterT)),
              QStringList({"Tab Separated Values (*.tab)", "All Files (*)"}));
    EXPECT_EQ(NameFilters(NormalizeFilter("Text|*.txt;*.log")), QStringList({"Text (*.txt *.log)"}));
    // A description whose own pattern list differs gets the real one.
    EXPECT_EQ(NameFilters(NormalizeFilter("Everything (*.*)|*.*|")), QStringList({"Everything (*)"}));
    // Parentheses that are not patterns stay part of the description.
    EXPECT_EQ(NameFilters(NormalizeFilter("Text (plain)|*.txt|")), QStringList({"Text (plain) (*.txt)"}));
    EXPECT_TRUE(NameFilters(NormalizeFilter(QString())).isEmpty());

    // The chosen type's extension goes only on names without one.
    const QString t = NormalizeFilter(kFilterT);
    EXPECT_EQ(AppendFilterExtension("/out/data", t, 1), "/out/data.tab");
    EXPECT_EQ(AppendFilterExtension("/out/data.txt", t, 1), "/out/data.txt");
    // A dot in a folder name is not the file's extension.
    EXPECT_EQ(AppendFilterExtension("/my.dir/data", t, 1), "/my.dir/data.tab");
    // A leading dot alone is no extension.
    EXPECT_EQ(AppendFilterExtension("/out/.profile", t, 1), "/out/.profile.tab");
    // No type chosen, or a wildcard extension: unchanged.
    EXPECT_EQ(AppendFilterExtension("/out/data", t, 0), "/out/data");
    EXPECT_EQ(AppendFilterExtension("/out/data", NormalizeFilter("Logs|log*.t?t|"), 1), "/out/data");
    EXPECT_EQ(AppendFilterExtension(QString(), t, 1), QString());
}

TEST(CommonDialogFilter, OpeningAnExistingFileWithoutExtensionKeepsItsName) {
    TestEnv env;
    const QString t = NormalizeFilter(kFilterT);
    const QString readme = env.Path("README");
    WriteFileBytes(readme, {});
    EXPECT_EQ(ChosenPath(readme, t, 1, false), readme);
    // Saving under that name still gets the type's extension.
    EXPECT_EQ(ChosenPath(readme, t, 1, true), readme + ".tab");
    const QString missing = env.Path("missing");
    EXPECT_EQ(ChosenPath(missing, t, 1, false), missing + ".tab");
}

namespace {
// What a user typing into the name box does (selectFile leaves the box alone while it has the
// focus).
void TypeName(QFileDialog* dlg, const QString& path) {
    auto* edit = dlg->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(edit, nullptr);
    edit->setText(path);
}

// Chooses filter number typeIndex (0-based), types name and accepts, until the dialog closes.
[[nodiscard]] std::unique_ptr<QTimer> ChooseAndAccept(const QString& path, int typeIndex) {
    return WhileModal<QFileDialog>([path, typeIndex](QFileDialog* dlg) {
        dlg->selectNameFilter(dlg->nameFilters().value(typeIndex));
        TypeName(dlg, path);
        static_cast<QDialog*>(dlg)->accept();
    });
}
}  // namespace

TEST(CommonDialogShow, SaveAppendsTheChosenTypesExtensionAndOpenReturnsTheExistingFile) {
    TestEnv env;
    const struct {
        const char* typed;
        int type;
        const char* expected;
    } cases[] = {{"data", 0, "data.tab"}, {"data", 1, "data"}, {"data.txt", 0, "data.txt"}};
    for (const auto& c : cases) {
        auto driver = ChooseAndAccept(env.Path(QLatin1String(c.typed)), c.type);
        EXPECT_EQ(QDir::fromNativeSeparators(ShowSave("Export to file", {}, {}, kFilterT, 526336)),
                  env.Path(QLatin1String(c.expected)))
            << c.typed << " " << c.type;
    }

    // Open returns the existing file and clears read-only.
    const QString file = env.Path("in.tab");
    WriteFileBytes(file, {});
    auto driver = ChooseAndAccept(file, 0);
    bool readOnly = true;
    EXPECT_EQ(QDir::fromNativeSeparators(ShowOpen("Import from file", {}, {}, kFilterT, 528384, readOnly)),
              file);
    EXPECT_FALSE(readOnly);
}

TEST(CommonDialogShow, DialogGetsTitleFiltersModeAndInitialPlace) {
    TestEnv env;
    QDir().mkpath(env.Path("sub"));
    int shown = 0;
    WhenModal<QFileDialog>([&](QFileDialog* dlg) {
        ++shown;
        EXPECT_EQ(dlg->windowTitle(), "Import from file");
        EXPECT_EQ(dlg->nameFilters().size(), 2);
        EXPECT_EQ(dlg->fileMode(), QFileDialog::ExistingFile);
        EXPECT_EQ(dlg->acceptMode(), QFileDialog::AcceptOpen);
        EXPECT_EQ(dlg->directory().absolutePath(), env.Path("sub"));
        EXPECT_EQ(dlg->selectedFiles(), QStringList{env.Path("sub/in.tab")});
        dlg->reject();
    });
    bool readOnly = true;
    EXPECT_TRUE(ShowOpen("Import from file", "in.tab", env.Path("sub"), kFilterT, 528384, readOnly).isEmpty());
    // Cancel leaves the read-only answer as it was.
    EXPECT_TRUE(readOnly);

    // Save dialogs leave the overwrite question to their callers.
    WhenModal<QFileDialog>([&](QFileDialog* dlg) {
        ++shown;
        EXPECT_EQ(dlg->acceptMode(), QFileDialog::AcceptSave);
        EXPECT_EQ(dlg->fileMode(), QFileDialog::AnyFile);
        EXPECT_TRUE(dlg->testOption(QFileDialog::DontConfirmOverwrite));
        dlg->reject();
    });
    EXPECT_TRUE(ShowSave("Save As", "a.bin", {}, kFilterA, 2048).isEmpty());
    EXPECT_EQ(shown, 2);
}

TEST(CommonDialogShow, MissingFolderIsRefusedAndTheDialogStaysOpen) {
    TestEnv env;
    const QString bad = env.Path("no/such/folder/data");
    QString warning;
    QFileDialog* first = nullptr;
    WhenModal<QFileDialog>([&](QFileDialog* dlg) {
        first = dlg;
        TypeName(dlg, bad);
        // Accepting hands back a path under a folder that does not exist: a warning follows,
        // then the same dialog again, which the user cancels.
        WhenModal<QMessageBox>([&](QMessageBox* box) {
            warning = box->text();
            box->accept();
            WhenModal<QFileDialog>([&](QFileDialog* again) { again->reject(); });
        });
        static_cast<QDialog*>(dlg)->accept();
    });
    EXPECT_TRUE(ShowSave("Export to file", {}, {}, kFilterT, 526336).isEmpty());
    EXPECT_TRUE(warning.contains("folder does not exist"));
    EXPECT_NE(first, nullptr);
}
