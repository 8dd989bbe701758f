// Main window: the attachment commands (attach, save, open, clear), dragging the attachment out
// of txtFileName, and files dropped onto the item pane.
#include "app/frmMain.h"
#include "app/CodeEditor.h"

#include "attach/basAttachment.h"
#include "util/CPrompt.h"
#include "util/basFileKinds.h"
#include "util/basFileTools.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QDrag>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

namespace {

const QString kAllFiles = QStringLiteral("All Files|*.*|");

// The first dropped entry when it is an existing local file (not a folder); otherwise empty.
QString DroppedFile(const QMimeData* data) {
    if (!data || !data->hasUrls()) return {};
    const QList<QUrl> urls = data->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile()) return {};
    const QString path = QDir::toNativeSeparators(urls.first().toLocalFile());
    return FileExists(path) ? path : QString();
}

// The stored name as a plain file name: a name from a foreign or damaged database must not
// lead an extraction out of the temporary folder.
QString SafeFileName(const QString& stored) {
    QString name = GetFileName(QString(stored).replace(QLatin1Char('\\'), QLatin1Char('/')));
    name.remove(QChar());
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        name = QStringLiteral("attachment");
    return name;
}

}  // namespace

void frmMain::ConnectAttachments() {
    connect(cmdFileAttach, &QPushButton::clicked, this, [this] { cmdFileAttach_Click(); });
    connect(cmdFileSave, &QPushButton::clicked, this, [this] { cmdFileSave_Click(); });
    connect(cmdFileClear, &QPushButton::clicked, this, [this] { cmdFileClear_Click(); });
    txtFileName->installEventFilter(this);

    // Every control of the item pane but lblFileSize takes a dropped file. They handle the drop
    // themselves, so a text box never inserts the dropped text or file name.
    const QList<QWidget*> targets = {
        cmdDelete, cmdFileAttach, cmdFileClear, cmdFileSave, cmdNew, cmdSave, fraItems,
        lblFileName, lblItem, lblItemCategories, lblItemNo, lblLastUpdate, lblTitle, txtItem,
        txtItem->viewport(), txtItemCategories, txtTitle, txtFileName};
    for (QWidget* w : targets) {
        w->setAcceptDrops(true);
        w->installEventFilter(this);
    }
}

bool frmMain::AcceptsFileDrop(QObject* watched, const QPoint& pos) const {
    if (watched == fraItems) {
        // The pane takes drops between its controls, and those that lblFileSize passes on.
        const QWidget* child = fraItems->childAt(pos);
        return child != lblFileSize;
    }
    return watched == cmdDelete || watched == cmdFileAttach || watched == cmdFileClear ||
           watched == cmdFileSave || watched == cmdNew || watched == cmdSave ||
           watched == lblFileName || watched == lblItem || watched == lblItemCategories ||
           watched == lblItemNo || watched == lblLastUpdate || watched == lblTitle ||
           watched == txtItem || watched == txtItem->viewport() || watched == txtItemCategories ||
           watched == txtTitle || watched == txtFileName;
}

bool frmMain::AttachmentEvent(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop: {
        if (!AcceptsFileDrop(watched, static_cast<QDropEvent*>(event)->position().toPoint()))
            return false;
        auto* drop = static_cast<QDropEvent*>(event);
        // The item's own attachment dragged back onto the pane is not attached again.
        const bool wanted = drop->source() != txtFileName && !DroppedFile(drop->mimeData()).isEmpty();
        if (!wanted) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        if (event->type() == QEvent::Drop) AttachDroppedFile(drop->mimeData());
        return true;
    }
    default:
        break;
    }
    if (watched != txtFileName) return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        m_dragArmed = mouse->button() == Qt::LeftButton;
        m_dragStart = mouse->position().toPoint();
        return false;
    }
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (!m_dragArmed || !(mouse->buttons() & Qt::LeftButton)) return false;
        if ((mouse->position().toPoint() - m_dragStart).manhattanLength() <
            QApplication::startDragDistance())
            return false;
        m_dragArmed = false;
        txtFileName_StartDrag();
        return true;
    }
    case QEvent::MouseButtonRelease:
        m_dragArmed = false;
        return false;
    case QEvent::MouseButtonDblClick:
        m_dragArmed = false;
        if (static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton) return false;
        txtFileName_DblClick();
        return true;
    default:
        return false;
    }
}

void frmMain::AttachDroppedFile(const QMimeData* data) {
    const QString file = DroppedFile(data);
    if (file.isEmpty()) return;
    // After the drop has returned: the questions must not hold the program the file came from.
    // A timer is no command the busy switch holds back: it checks for itself.
    QTimer::singleShot(0, this, [this, file] {
        if (!CProgressScope::Active()) AttachFile(file);
    });
}

void frmMain::AttachFile(const QString& path) {
    if (m_itemId == -1 || m_itemChanged) {
        if (Prompt().MsgBox(QStringLiteral("You must save this new item before attaching a file.\n"
                                           "Click OK to save now."),
                            CPrompt::vbOKCancel) != CPrompt::vbOK)
            return;
        // A failed save has told why and keeps the edits.
        if (!SaveCurrentItem()) return;
    }
    if (!txtFileName->text().isEmpty() &&
        Prompt().MsgBox(QStringLiteral("Replace the existing file attachment?"),
                        CPrompt::vbOKCancel) != CPrompt::vbOK)
        return;
    QString file = path;
    if (file.isEmpty()) {
        file = Prompt().FileDialog(false, QStringLiteral("Select a file to attach"), QString(),
                                   QString(), kAllFiles, CPrompt::OFN_FILEMUSTEXIST);
        if (file.isEmpty()) return;
    }
    QString error;
    bool attached = false;
    {
        // A large file takes a while to read and compress; there is no progress to show.
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        attached = SaveAttachment(m_itemId, file, &error);
        QGuiApplication::restoreOverrideCursor();
    }
    if (!attached) {
        // The stored attachment is unchanged.
        Prompt().MsgBox(QStringLiteral("Unable to attach the file.\n") + error, CPrompt::vbExclamation);
        return;
    }
    ShowCurrentItem();
}

void frmMain::cmdFileAttach_Click() {
    AttachFile(QString());
}

void frmMain::cmdFileClear_Click() {
    if (txtFileName->text().isEmpty() || m_itemId == -1) {
        Prompt().MsgBox(QStringLiteral("There is no current attachment to clear"), CPrompt::vbOKOnly);
        return;
    }
    // The stored file goes for good: ask first, as the Help says.
    if (Prompt().MsgBox(QStringLiteral("Remove the attachment \"") + txtFileName->text() +
                            QStringLiteral("\" from this item?"),
                        CPrompt::vbYesNo | CPrompt::vbQuestion) != CPrompt::vbYes)
        return;
    QString error;
    if (!ClearAttachment(m_itemId, &error)) {
        Prompt().MsgBox(QStringLiteral("Unable to clear the attachment.\n") + error, CPrompt::vbExclamation);
        return;
    }
    ShowFileName(QString());
    lblFileSize->setText(QString());
    lblFileSize->setToolTip(QString());
}

void frmMain::cmdFileSave_Click() {
    if (txtFileName->text().isEmpty()) {
        Prompt().MsgBox(QStringLiteral("There is no current attachment to save"), CPrompt::vbOKOnly);
        return;
    }
    const QString chosen = Prompt().FileDialog(true, QStringLiteral("Save As"), txtFileName->text(),
                                               QString(), kAllFiles, CPrompt::OFN_PATHMUSTEXIST);
    if (chosen.isEmpty()) return;
    // Replacing means removing: a device node or a pipe would be destroyed.
    if (QString why; !IsWritableTarget(chosen, &why)) {
        Prompt().MsgBox(QStringLiteral("Error saving attachment: \n") + why, CPrompt::vbOKOnly);
        return;
    }
    if (FileExists(chosen)) {
        if (Prompt().MsgBox(QStringLiteral("Overwrite the existing file?"), CPrompt::vbOKCancel) !=
            CPrompt::vbOK)
            return;
        // Writing beside a file that stays would save under another name than the one chosen.
        QFile old(chosen);
        if (!old.remove()) {
            Prompt().MsgBox(QStringLiteral("Unable to replace ") + chosen + QStringLiteral("\n") +
                                old.errorString(),
                            CPrompt::vbExclamation);
            return;
        }
    }
    QString written = chosen;
    QString error;
    bool cancelled = false;
    if (!ExtractAttachment(m_itemId, written, true, &error, &cancelled)) {
        if (!cancelled)
            Prompt().MsgBox(QStringLiteral("Error saving attachment: \n") + error, CPrompt::vbOKOnly);
        return;
    }
    // Only when another program took the name between the delete and the write.
    if (written != chosen)
        Prompt().MsgBox(QStringLiteral("The attachment was saved as ") + written, CPrompt::vbOKOnly);
}

QString frmMain::ExtractToTemp() {
    if (txtFileName->text().isEmpty()) return {};
    // A folder of its own for each copy: the file keeps its name however often it goes out.
    QTemporaryDir folder(JoinPath(GetTempFolder(), QStringLiteral("vellumgranary-XXXXXX")));
    if (!folder.isValid()) return {};
    folder.setAutoRemove(false);
    QString path = JoinPath(folder.path(), SafeFileName(txtFileName->text()));
    if (!ExtractAttachment(m_itemId, path, true)) {
        QDir(folder.path()).removeRecursively();
        return {};
    }
    m_tempFiles << path;
    return path;
}

void frmMain::RemoveTempCopy(const QString& path) {
    QFile::remove(path);
    QDir().rmdir(QFileInfo(path).absolutePath());
    m_tempFiles.removeAll(path);
}

void frmMain::txtFileName_DblClick() {
    const QString path = ExtractToTemp();
    if (path.isEmpty()) return;
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        Prompt().MsgBox(QStringLiteral("Unable to open the extracted file"), CPrompt::vbOKOnly);
}

void frmMain::txtFileName_StartDrag() {
    const QString path = ExtractToTemp();
    if (path.isEmpty()) return;
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(path)});
    auto* drag = new QDrag(txtFileName);
    drag->setMimeData(data);
    // File managers on Linux may open the file only after exec has returned: the copy goes a
    // while after the drag ended (or at exit); one the target moved away is simply gone.
    drag->exec(Qt::MoveAction | Qt::CopyAction, Qt::MoveAction);
    QTimer::singleShot(kDragCopyKeepMs, this, [this, path] { RemoveTempCopy(path); });
}
