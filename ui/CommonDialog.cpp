#include "ui/CommonDialog.h"

#include "util/CPrompt.h"
#include "util/basFileTools.h"
#include "util/basProgram.h"

#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QTreeView>
#include <QFileInfo>
#include <QMessageBox>

namespace CommonDialog {

namespace {

const QChar kNul(u'\0');

bool HasWildcard(const QString& s) {
    return s.contains(u'*') || s.contains(u'?') || s.contains(u'[');
}

// "*.tab;*.*" -> "*.tab *"
QString QtPatterns(const QString& pattern) {
    QStringList out;
    const QStringList parts =
        QString(pattern).replace(u';', u' ').split(u' ', Qt::SkipEmptyParts);
    for (const QString& p : parts) {
        const QString q = p == QLatin1String("*.*") ? QStringLiteral("*") : p;
        if (!out.contains(q)) out << q;
    }
    return out.join(u' ');
}

// Description without a trailing "(*.x)" of its own: the dialog gets the translated patterns.
QString BareDescription(const QString& description) {
    QString d = description.trimmed();
    if (d.endsWith(u')')) {
        const qsizetype open = d.lastIndexOf(u'(');
        if (open >= 0 && HasWildcard(d.mid(open))) d = d.left(open).trimmed();
    }
    return d;
}

}  // namespace

QString NormalizeFilter(const QString& filter) {
    QString f = filter;
    f += filter.endsWith(u'|') ? QStringLiteral("|") : QStringLiteral("||");
    f.replace(u'|', kNul);
    return f;
}

QString GetFilterExtension(const QString& nulFilter, int typeNumber) {
    if (typeNumber < 1) return {};
    const QStringList parts = nulFilter.split(kNul);
    const qsizetype index = 2 * qsizetype(typeNumber) - 1;
    if (index >= parts.size()) return {};
    return GetFileExtension(parts[index]);
}

QStringList NameFilters(const QString& nulFilter) {
    const QStringList parts = nulFilter.split(kNul);
    QStringList out;
    // Pairs up to the first empty description: the list ends with an empty part.
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        const QString patterns = QtPatterns(parts[i + 1]);
        if (description.isEmpty() && patterns.isEmpty()) break;
        const QString shown = patterns.isEmpty() ? QStringLiteral("*") : patterns;
        QString name = BareDescription(description);
        if (name.isEmpty()) name = shown;
        out << name + QStringLiteral(" (") + shown + QLatin1Char(')');
    }
    return out;
}

QString AppendFilterExtension(const QString& path, const QString& nulFilter, int typeNumber) {
    if (path.isEmpty() || !GetFileExtension(path).isEmpty()) return path;
    const QString ext = GetFilterExtension(nulFilter, typeNumber);
    if (ext.isEmpty() || HasWildcard(ext)) return path;
    return path + QLatin1Char('.') + ext;
}

QString ChosenPath(const QString& path, const QString& nulFilter, int typeNumber, bool save) {
    // Opening a file that exists must not turn into opening a name that does not.
    if (!save && QFileInfo(path).isFile()) return path;
    return AppendFilterExtension(path, nulFilter, typeNumber);
}

QString ShowFileDialog(const QString& title, const QString& initialFile,
                       const QString& initialFolder, const QString& filter, int flags,
                       bool& readOnly, bool save) {
    const QString nulFilter = NormalizeFilter(filter);
    const QStringList nameFilters = NameFilters(nulFilter);
    const bool fileMustExist = flags & CPrompt::OFN_FILEMUSTEXIST;
    const bool folderMustExist = fileMustExist || (flags & CPrompt::OFN_PATHMUSTEXIST);

    // No owner, as the callers ask; exec() still keeps the other windows from running commands
    // while the dialog is up.
    QFileDialog dlg(nullptr, title);
    dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dlg.setFileMode(save || !fileMustExist ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The callers ask about replacing a file themselves.
    dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (!nameFilters.isEmpty()) {
        dlg.setNameFilters(nameFilters);
        dlg.selectNameFilter(nameFilters.first());
    }
    if (!initialFolder.isEmpty()) dlg.setDirectory(initialFolder);
    if (!initialFile.isEmpty()) dlg.selectFile(initialFile);
    // Qt's own dialog (no desktop portal) starts with columns too narrow for "14.2 KiB" and
    // dates: they take the width their contents need.
    if (auto* details = dlg.findChild<QTreeView*>(QStringLiteral("treeView"))) {
        for (int column = 1; column < details->header()->count(); ++column)
            details->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    }

    for (;;) {
        if (dlg.exec() != QDialog::Accepted) return {};
        const QStringList files = dlg.selectedFiles();
        if (files.isEmpty() || files.first().isEmpty()) return {};
        const int typeNumber = int(nameFilters.indexOf(dlg.selectedNameFilter())) + 1;
        const QString path =
            QDir::toNativeSeparators(ChosenPath(files.first(), nulFilter, typeNumber, save));
        const QFileInfo info(path);
        QString problem;
        if (folderMustExist && !info.absoluteDir().exists())
            problem = QStringLiteral("The folder does not exist:\n") + info.absolutePath();
        else if (fileMustExist && !info.isFile())
            problem = QStringLiteral("The file does not exist:\n") + path;
        if (problem.isEmpty()) {
            readOnly = false;
            return path;
        }
        QMessageBox::warning(&dlg, title.isEmpty() ? AppTitle() : title, problem);
        dlg.selectFile(path);
    }
}

QString ShowOpen(const QString& title, const QString& initialFile, const QString& initialFolder,
                 const QString& filter, int flags, bool& readOnly) {
    return ShowFileDialog(title, initialFile, initialFolder, filter, flags, readOnly, false);
}

QString ShowSave(const QString& title, const QString& initialFile, const QString& initialFolder,
                 const QString& filter, int flags) {
    bool readOnly = false;
    return ShowFileDialog(title, initialFile, initialFolder, filter, flags, readOnly, true);
}

}  // namespace CommonDialog
