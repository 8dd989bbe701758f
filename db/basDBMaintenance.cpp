#include "db/basDBMaintenance.h"

#include "db/basDB.h"
#include "util/CPrompt.h"
#include "util/basVariableTools.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool storeOpen() { return gDB && gDB->IsOpen(); }

QString trimSpaces(const QString& text) {
    qsizetype start = 0, end = text.size();
    while (start < end && text[start] == QLatin1Char(' ')) ++start;
    while (end > start && text[end - 1] == QLatin1Char(' ')) --end;
    return text.mid(start, end - start);
}

struct CopyFailure {
    int code = 0;
    QString text;
};

bool failWith(CopyFailure& f, int code) {
    f.code = code;
    f.text = qt_error_string(code);
    return false;
}

bool writeAll(int fd, const char* p, ssize_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, size_t(n));
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += w;
        n -= w;
    }
    return true;
}

// Copies source to a fresh temporary file in the target's folder and renames it over the
// target only once every byte is on disk, so a failed copy leaves an older backup intact.
bool copyThroughTemp(const QString& source, const QString& target, CopyFailure& f) {
    const QFileInfo ti(target);
    if (ti.isDir()) return failWith(f, EISDIR);
    QByteArray temp = QFile::encodeName(ti.absolutePath() + QStringLiteral("/.") + ti.fileName() +
                                        QStringLiteral(".XXXXXX"));
    const int in = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return failWith(f, errno);
    struct stat st {};
    if (::fstat(in, &st) != 0) {
        const int e = errno;
        ::close(in);
        return failWith(f, e);
    }
    const int out = ::mkstemp(temp.data());
    if (out < 0) {
        const int e = errno;
        ::close(in);
        return failWith(f, e);
    }
    int e = 0;
    char buf[1 << 16];
    for (;;) {
        const ssize_t r = ::read(in, buf, sizeof buf);
        if (r < 0) {
            if (errno == EINTR) continue;
            e = errno;
            break;
        }
        if (r == 0) break;
        if (!writeAll(out, buf, r)) {
            e = errno;
            break;
        }
    }
    ::close(in);
    if (!e && ::fchmod(out, st.st_mode & 07777) != 0) e = errno;
    if (!e && ::fsync(out) != 0) e = errno;
    if (::close(out) != 0 && !e) e = errno;
    if (!e && ::rename(temp.constData(), QFile::encodeName(target).constData()) != 0) e = errno;
    if (e) {
        ::unlink(temp.constData());
        return failWith(f, e);
    }
    return true;
}

}  // namespace

bool RenameCategory(int categoryId, const QString& newName, QString* error) {
    if (error) error->clear();
    if (!storeOpen()) {
        if (error) *error = QStringLiteral("No database is open");
        return false;
    }
    const QString name = trimSpaces(newName);
    // An item's categories travel as one text with commas between the names (the editor, the
    // exchange file): a name holding a comma would come apart at the item's next save.
    if (name.contains(QLatin1Char(','))) {
        if (error) *error = QStringLiteral("A category name cannot contain a comma");
        return false;
    }
    // Blanks alone would leave a category that no list entry or categories text can name.
    if (name.isEmpty()) {
        if (error) *error = QStringLiteral("A category name cannot be empty");
        return false;
    }
    QString why = gDB->Run(QStringLiteral("BEGIN TRANSACTION;"));
    if (!why.isEmpty()) {
        if (error) *error = why;
        return false;
    }
    const QString c = QString::number(categoryId);
    auto run = [&](const QString& sql) {
        if (why.isEmpty()) why = gDB->Run(sql);
    };
    const QString type = gDB->LookupField(QStringLiteral("tblCategory"), QStringLiteral("TypeID"),
                                          {QStringLiteral("ID"), categoryId});
    // A category that is not there would otherwise leave an empty new one behind.
    if (type.isEmpty()) why = QStringLiteral("No such category: ") + c;
    qint64 target = 0;
    if (why.isEmpty()) {
        const QString d = gDB->LookupCreate(QStringLiteral("tblCategory"), QStringLiteral("ID"),
                                            {QStringLiteral("Name"), name, QStringLiteral("TypeID"),
                                             type.toLongLong()});
        if (d.isEmpty()) why = QStringLiteral("Unable to store category '") + name + QLatin1Char('\'');
        target = d.toLongLong();
    }
    if (why.isEmpty() && target == categoryId) {
        run(QStringLiteral("UPDATE tblCategory SET Name = '") + SqlEscape(name) + QStringLiteral("' ") +
            QStringLiteral("WHERE ID = ") + QString::number(target));
    } else {
        run(QStringLiteral("UPDATE tblItemCategory ") + QStringLiteral("SET CategoryID = ") +
            QString::number(target) + QLatin1Char(' ') + QStringLiteral("WHERE CategoryID = ") + c +
            QLatin1Char(';'));
        run(QStringLiteral("DELETE FROM tblCategory WHERE ID = ") + c + QLatin1Char(';'));
    }
    run(QStringLiteral("COMMIT TRANSACTION;"));
    if (!why.isEmpty()) {
        gDB->Run(QStringLiteral("ROLLBACK TRANSACTION;"));
        if (error) *error = why;
        return false;
    }
    return true;
}

bool VacuumDatabase(QString* error) {
    if (error) error->clear();
    if (!storeOpen()) {
        if (error) *error = QStringLiteral("No database is open");
        return false;
    }
    QString first;
    for (const char* sql :
         {"DELETE FROM tblItemCategory WHERE ItemID NOT IN (SELECT ID FROM tblItem);",
          "DELETE FROM tblCategory WHERE ID NOT IN (SELECT DISTINCT CategoryID FROM tblItemCategory);",
          "DELETE FROM tblType WHERE ID NOT IN (SELECT DISTINCT TypeID FROM tblCategory);",
          "VACUUM"}) {
        const QString e = gDB->Run(QLatin1String(sql));
        if (first.isEmpty()) first = e;
    }
    if (error) *error = first;
    return first.isEmpty();
}

double BackupTimeNow() {
    const QDateTime now = QDateTime::currentDateTime();
    return double(QDate(1899, 12, 30).daysTo(now.date())) +
           double(now.time().msecsSinceStartOfDay()) / 86400000.0;
}

bool BackupDatabase(const QString& backupFile) {
    auto report = [](int code, const QString& text) {
        Prompt().MsgBox(QStringLiteral("Unable to create backup.\r\nError: ") + QString::number(code) +
                            QLatin1Char(' ') + text,
                        CPrompt::vbCritical | CPrompt::vbOKOnly);
        return false;
    };
    if (!storeOpen()) return report(ENOENT, QStringLiteral("No database is open"));
    if (backupFile.isEmpty()) return report(ENOENT, qt_error_string(ENOENT));
    const QString source = gDB->Filename();
    // Closed, the file is complete and nothing writes to it while it is copied.
    CloseDatabase();
    CopyFailure failure;
    const bool copied = copyThroughTemp(source, backupFile, failure);
    QString reopen = source;
    const bool reopened = !OpenDatabase(reopen).isEmpty();
    if (!copied) return report(failure.code, failure.text);
    if (!reopened) return false;  // the open has said why
    if (gSettings) {
        gSettings->SaveSetting(QStringLiteral("BackupFile"), backupFile);
        gSettings->SaveSetting(QStringLiteral("BackupTime"), BackupTimeNow());
    }
    return true;
}
