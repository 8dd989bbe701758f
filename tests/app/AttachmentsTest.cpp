// The attachment commands and file drops, through the real widgets: buttons, a double-click
// and a drag on txtFileName, and QDropEvents carrying file URLs.
#include "MainWindowFixture.h"

#include "util/basFileTools.h"

#include <QDesktopServices>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QDrag>
#include <QDropEvent>
#include <QMimeData>
#include <QPixmap>
#include <QUrl>

namespace {

// Stands in for the desktop's program: records what it was asked to open.
class OpenRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

class AttachmentWindowTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        tempDir = env->Path("tmp");
        QDir().mkpath(tempDir);
        oldTmp = qgetenv("TMPDIR");
        qputenv("TMPDIR", tempDir.toUtf8());
        MakeDatabase(FourItems());
        Start();
        PickLanguage("SQL  (2)");
        ClickEntry(Titles(), "Bravo");
    }
    void TearDown() override {
        QDesktopServices::unsetUrlHandler("file");
        MainWindowTest::TearDown();
        qputenv("TMPDIR", oldTmp);
    }
    QString File(const QString& name, const QByteArray& bytes) {
        QDir().mkpath(env->Path("files"));
        const QString path = env->Path(QStringLiteral("files/") + name);
        WriteFileBytes(path, bytes);
        return path;
    }
    QLineEdit* FileName() { return Find<QLineEdit>("txtFileName"); }
    // The names of the files under the temporary folder, sorted.
    QStringList TempEntries() const {
        QStringList names;
        QDirIterator it(tempDir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) names << QFileInfo(it.next()).fileName();
        names.sort();
        return names;
    }
    QStringList TempFolders() const { return QDir(tempDir).entryList(QDir::Dirs | QDir::NoDotAndDotDot); }
    // Attaches through the Attach button on the item shown (no attachment yet).
    void Attach(const QString& path) {
        prompt->texts << path;
        Click("cmdFileAttach");
        ASSERT_EQ(FileName()->text(), GetFileName(path));
    }
    // A drag entering w at pos and, when w takes it, the drop; true when it was taken.
    bool Drop(QWidget* w, QMimeData& data, QPoint pos = {-1, -1}) {
        if (pos.x() < 0) pos = w->rect().center();
        QDragEnterEvent enter(pos, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(w, &enter);
        if (!enter.isAccepted()) return false;
        QDropEvent drop(QPointF(pos), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(w, &drop);
        QApplication::processEvents();
        return drop.isAccepted();
    }
    static void SetFiles(QMimeData& data, const QStringList& paths) {
        QList<QUrl> urls;
        for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
        data.setUrls(urls);
    }

    QString tempDir;
    QByteArray oldTmp;
};

}  // namespace

TEST_F(AttachmentWindowTest, AttachOnANewItemSavesFirstAndAFailedSaveOrAttachKeepsWhatWasThere) {
    const QString notes = File("notes.txt", "some notes");
    Click("cmdNew");
    QTest::keyClicks(Title(), "Echo");
    // Cancel at the question: nothing saved, no dialog.
    prompt->answers << CPrompt::vbCancel;
    Click("cmdFileAttach");
    EXPECT_EQ(prompt->Messages(), QStringList{QStringLiteral(
                                      "You must save this new item before attaching a file.\nClick OK to save now.")});
    // OK, but the save is refused (no category): the edits stay, no dialog.
    prompt->answers << CPrompt::vbOK;
    Click("cmdFileAttach");
    EXPECT_EQ(prompt->Messages().last(),
              "Please select a category or enter one or more categories separated by commas");
    EXPECT_EQ(Title()->text(), "Echo");
    EXPECT_TRUE(win->ItemChanged());
    EXPECT_EQ(ItemCount(), 4);
    // With a category the save gives number 5 and the file lands there.
    Type(ItemCategories(), "Queries");
    prompt->answers << CPrompt::vbOK;
    prompt->texts << notes;
    Click("cmdFileAttach");
    EXPECT_EQ(win->CurrentItemID(), 5);
    EXPECT_EQ(Stored("File", 5), "notes.txt");
    EXPECT_EQ(FileName()->text(), "notes.txt");
    EXPECT_EQ(LabelText("lblFileSize"), "10 bytes");
    EXPECT_EQ(prompt->shown.last().text, "Select a file to attach");

    // Cancel at the replace question and a vanished file keep the stored attachment.
    prompt->answers << CPrompt::vbCancel;
    Click("cmdFileAttach");
    EXPECT_EQ(prompt->Messages().last(), "Replace the existing file attachment?");
    EXPECT_EQ(Stored("File", 5), "notes.txt");

    const QString gone = env->Path("files/gone.txt");
    prompt->answers << CPrompt::vbOK;
    prompt->texts << gone;
    Click("cmdFileAttach");
    EXPECT_TRUE(prompt->Messages().last().startsWith("Unable to attach the file.\n"));
    EXPECT_TRUE(prompt->Messages().last().contains(gone));
    EXPECT_EQ(Stored("File", 5), "notes.txt");
    EXPECT_EQ(FileName()->text(), "notes.txt");
}

// A click extracts nothing; a drag extracts once it moves, and each drag or double-click writes
// the file under its own name in a folder of its own. Closing deletes them all.
TEST_F(AttachmentWindowTest, DragOutAndOpeningKeepTheNameInFoldersOfTheirOwnThatCloseDeletes) {
    OpenRecorder desktop;
    QDesktopServices::setUrlHandler("file", &desktop, "open");
    Attach(File("notes.txt", "notes"));
    QTest::mouseClick(FileName(), Qt::LeftButton);
    EXPECT_EQ(TempEntries(), QStringList());
    const QPoint start = FileName()->rect().center();
    QTest::mousePress(FileName(), Qt::LeftButton, {}, start);
    const QPoint far = start + QPoint(QApplication::startDragDistance() + 5, 0);
    QMouseEvent move(QEvent::MouseMove, far, FileName()->mapToGlobal(far), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(FileName(), &move);
    ASSERT_EQ(TempEntries(), QStringList{"notes.txt"});
    // The drag is deleted once control is back in the event loop.
    const QDrag* drag = FileName()->findChild<QDrag*>();
    ASSERT_NE(drag, nullptr);
    EXPECT_EQ(drag->mimeData()->urls(), QList<QUrl>{QUrl::fromLocalFile(win->TempFiles().first())});
    QTest::mouseRelease(FileName(), Qt::LeftButton, {}, far);
    QApplication::processEvents();
    EXPECT_EQ(TempEntries(), QStringList{"notes.txt"});

    QTest::mouseDClick(FileName(), Qt::LeftButton);
    QTest::mouseDClick(FileName(), Qt::LeftButton);
    EXPECT_EQ(TempEntries(), (QStringList{"notes.txt", "notes.txt", "notes.txt"}));
    EXPECT_EQ(TempFolders().size(), 3);
    EXPECT_NE(win->TempFiles()[1], win->TempFiles()[2]);
    ASSERT_EQ(desktop.opened.size(), 2);
    EXPECT_EQ(desktop.opened[1].toLocalFile(), win->TempFiles()[2]);
    EXPECT_EQ(prompt->Messages(), QStringList());

    // Without a program for it (offscreen has none) the user is told; the file is still listed.
    QDesktopServices::unsetUrlHandler("file");
    QTest::mouseDClick(FileName(), Qt::LeftButton);
    EXPECT_EQ(prompt->Messages(), QStringList{"Unable to open the extracted file"});
    // A stored name with folders in it stays inside the temporary folder.
    ASSERT_EQ(gDB->Run("UPDATE ftsItem SET File = '../../evil.txt' WHERE DOCID = 1;"), QString());
    ClickEntry(Titles(), "Delta");
    ClickEntry(Titles(), "Bravo");
    QTest::mouseDClick(FileName(), Qt::LeftButton);
    EXPECT_EQ(TempEntries().size(), 5);
    EXPECT_TRUE(TempEntries().contains("evil.txt"));

    ASSERT_TRUE(Close());
    EXPECT_EQ(TempEntries(), QStringList());
    EXPECT_EQ(TempFolders(), QStringList());
}

TEST_F(AttachmentWindowTest, DropsOnThePaneAttachTheFirstFileAndNothingElseChangesAnything) {
    const QString a = File("a.txt", "a"), b = File("b.txt", "b");
    QMimeData three;
    SetFiles(three, {a, b, File("c.txt", "c")});
    EXPECT_TRUE(Drop(Body()->viewport(), three));
    EXPECT_EQ(Stored("File", 1), "a.txt");
    EXPECT_EQ(Body()->text(), "select 2");

    // On a button the file is attached; the button is not pressed.
    QMimeData one;
    SetFiles(one, {b});
    prompt->answers << CPrompt::vbOK;
    EXPECT_TRUE(Drop(Find<QPushButton>("cmdDelete"), one));
    EXPECT_EQ(Stored("File", 1), "b.txt");
    EXPECT_EQ(ItemCount(), 4);
    EXPECT_EQ(prompt->Messages(), QStringList{"Replace the existing file attachment?"});

    // Refused everywhere, changing nothing: lblFileSize, text, a folder, a remote address.
    QMimeData text, folder, remote;
    text.setText("dropped text");
    SetFiles(folder, {env->Path("files")});
    remote.setUrls({QUrl("https://example.com/x.txt")});
    EXPECT_FALSE(Drop(Find<QLabel>("lblFileSize"), one));
    for (QMimeData* data : {&text, &folder, &remote}) {
        EXPECT_FALSE(Drop(Title(), *data));
        EXPECT_FALSE(Drop(Body()->viewport(), *data));
        EXPECT_FALSE(Drop(ItemCategories(), *data));
    }
    EXPECT_EQ(Title()->text(), "Bravo");
    EXPECT_EQ(Body()->text(), "select 2");
    EXPECT_EQ(ItemCategories()->text(), "Queries");
    EXPECT_EQ(Stored("File", 1), "b.txt");
    EXPECT_EQ(prompt->Messages().size(), 1);

    // Every other control of the pane takes the drop.
    int n = 0;
    for (const char* name : {"cmdFileAttach", "cmdFileClear", "cmdFileSave", "cmdNew", "cmdSave",
                             "lblFileName", "lblItem", "lblItemCategories", "lblItemNo",
                             "lblLastUpdate", "lblTitle", "txtItemCategories", "txtTitle",
                             "txtFileName", "fraItems"}) {
        QWidget* w = Find<QWidget>(name);
        QMimeData data;
        SetFiles(data, {File(QStringLiteral("drop%1.txt").arg(++n), "x")});
        prompt->answers << CPrompt::vbOK;
        EXPECT_TRUE(Drop(w, data, w == Find<QWidget>("fraItems") ? QPoint(2, 2) : QPoint(-1, -1))) << name;
        EXPECT_EQ(Stored("File", 1), QStringLiteral("drop%1.txt").arg(n)) << name;
    }
}

TEST_F(AttachmentWindowTest, SaveWritesExactlyTheChosenNameClearNeedsNoQuestionAndThePictureShowsAnAttachment) {
    Click("cmdFileSave");
    EXPECT_EQ(prompt->Messages(), QStringList{"There is no current attachment to save"});
    const QByteArray bytes = QByteArray(4997, 'q') + QByteArray("\n\x01\x02", 3);
    Attach(File("query-plan.txt", bytes));
    win->resize(860, 560);
    QApplication::processEvents();
    const QPixmap picture = win->grab();
    ASSERT_FALSE(picture.isNull());
    const QString picturePath = qEnvironmentVariable("VG_SCREENSHOT_ATTACHMENT");
    if (!picturePath.isEmpty()) {
        EXPECT_TRUE(picture.save(picturePath));
    }

    // Saving writes exactly the chosen name, after asking before replacing a file.
    const QString out = env->Path("out");
    QDir().mkpath(out);
    const QString target = out + "/saved.txt";
    WriteFileBytes(target, "old");

    prompt->texts << target;
    prompt->answers << CPrompt::vbCancel;
    Click("cmdFileSave");
    EXPECT_EQ(prompt->Messages().last(), "Overwrite the existing file?");
    EXPECT_EQ(ReadFileBytes(target), QByteArray("old"));

    prompt->texts << target;
    prompt->answers << CPrompt::vbOK;
    Click("cmdFileSave");
    EXPECT_EQ(ReadFileBytes(target), bytes);
    EXPECT_EQ(QDir(out).entryList(QDir::Files | QDir::Hidden), QStringList{"saved.txt"});
    EXPECT_EQ(prompt->openProgress, 0);

    // Cancel in the progress window: no file, no error.
    qsizetype messages = prompt->Messages().size();
    prompt->texts << out + "/cancelled.txt";
    prompt->cancelAtUpdate = prompt->progressUpdates + 1;
    Click("cmdFileSave");
    EXPECT_EQ(prompt->Messages().size(), messages);
    EXPECT_FALSE(QFile::exists(out + "/cancelled.txt"));

    // A damaged block is reported with the reason.
    ASSERT_EQ(gDB->Run("UPDATE tblItem SET FileBLOB = x'0011' WHERE ID = 1;"), QString());
    prompt->texts << out + "/damaged.txt";
    Click("cmdFileSave");
    EXPECT_TRUE(prompt->Messages().last().startsWith("Error saving attachment: \n"));
    EXPECT_TRUE(prompt->Messages().last().contains("damaged"));
    EXPECT_FALSE(QFile::exists(out + "/damaged.txt"));

    // Clear asks first: No keeps the attachment, Yes removes it.
    const QString name = FileName()->text();
    ASSERT_FALSE(name.isEmpty());
    prompt->answers << CPrompt::vbNo;
    Click("cmdFileClear");
    EXPECT_EQ(prompt->Messages().last(), "Remove the attachment \"" + name + "\" from this item?");
    EXPECT_EQ(FileName()->text(), name);
    EXPECT_FALSE(Scalar("SELECT FileBLOB FROM tblItem WHERE ID = 1").isNull());
    messages = prompt->Messages().size();
    prompt->answers << CPrompt::vbYes;
    Click("cmdFileClear");
    EXPECT_EQ(FileName()->text(), QString());
    EXPECT_EQ(LabelText("lblFileSize"), QString());
    EXPECT_TRUE(Scalar("SELECT FileBLOB FROM tblItem WHERE ID = 1").isNull());
    EXPECT_EQ(prompt->Messages().size(), messages + 1);
    Click("cmdFileClear");
    EXPECT_EQ(prompt->Messages().last(), "There is no current attachment to clear");
}

#include "AttachmentsTest.moc"
