#include "db/basDBMaintenance.h"

#include "db/CTransaction.h"
#include "db/basDB.h"
#include "db/basDBItemAttributes.h"
#include "util/basFileTools.h"
#include "util/basVariableTools.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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

// A backup is written to "." + target name + kTempMark + six characters, in the target's
// folder, and holds an flock on it while it runs; one that is not locked was left by a killed
// backup.
constexpr char kTempMark[] = ".vgbackup-";

// The engine's rollback journal of a temporary file, which a killed copy leaves as well.
QByteArray journalOf(const QByteArray& temp) { return temp + "-journal"; }

void removeLeftovers(const QFileInfo& target) {
    const QString prefix = QLatin1Char('.') + target.fileName() + QLatin1String(kTempMark);
    const QDir dir(target.absolutePath());
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (!name.startsWith(prefix)) continue;
        const QByteArray path = QFile::encodeName(dir.filePath(name));
        if (name.size() == prefix.size() + 6) {
            const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
            if (fd < 0) continue;
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                ::unlink(journalOf(path).constData());
                ::unlink(path.constData());
            }
            ::close(fd);
        } else if (name.size() == prefix.size() + 6 + 8 && name.endsWith(QLatin1String("-journal")) &&
                   !QFileInfo::exists(dir.filePath(name.chopped(8)))) {
            ::unlink(path.constData());  // its copy is gone already
        }
    }
}

// The copy's own check, on a connection of its own that only reads.
QString quickCheck(const QByteArray& path) {
    sqlite3* db = nullptr;
    QString result = QStringLiteral("unable to open the copy");
    if (sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA quick_check", -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            result = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        else
            result = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_finalize(st);
    }
    sqlite3_close_v2(db);
    return result;
}

// Writes a consistent copy of the open database through the engine (its committed state,
// whatever other connections are doing, WAL content included) to a temporary file beside the
// target, checks the copy and renames it over the target only then: a failed backup leaves an
// older one intact and its temporary file gone.
bool backupThroughTemp(CSQLite& db, const QString& target, CopyFailure& f) {
    const QFileInfo ti(target);
    if (ti.isDir()) return failWith(f, EISDIR);
    if (SameFile(target, db.Filename())) {
        f.code = EINVAL;
        f.text = QStringLiteral("The backup file is the open database");
        return false;
    }
    removeLeftovers(ti);
    QByteArray temp = QFile::encodeName(ti.absolutePath() + QStringLiteral("/.") + ti.fileName() +
                                        QLatin1String(kTempMark) + QStringLiteral("XXXXXX"));
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return failWith(f, errno);
    int e = ::flock(fd, LOCK_EX) == 0 ? 0 : errno;
    bool engineFailed = false;
    if (!e) {
        const QString engine =
            db.Run(QStringLiteral("VACUUM INTO ") + CSQLite::RenderValue(QFile::decodeName(temp)));
        if (!engine.isEmpty()) {
            engineFailed = true;
            // A full disk or a file size limit is the system's reason, not "disk I/O error".
            const int sys = db.LastSystemErrno();
            const int code = db.LastErrorCode();
            if (sys > 0 && (code == SQLITE_IOERR || code == SQLITE_FULL || code == SQLITE_CANTOPEN)) {
                f.code = sys;
                f.text = qt_error_string(sys);
            } else {
                f.code = code;
                f.text = EngineFailureMessage(db, engine);
            }
        }
    }
    if (!e && !engineFailed) {
        const QString check = quickCheck(temp);
        if (check != QLatin1String("ok")) {
            engineFailed = true;
            f.code = SQLITE_CORRUPT;
            f.text = QStringLiteral("The copy does not pass its check: ") + check;
        }
    }
    const bool going = !e && !engineFailed;
    struct stat st {};
    if (going && ::stat(QFile::encodeName(db.Filename()).constData(), &st) == 0 &&
        ::fchmod(fd, st.st_mode & 07777) != 0)
        e = errno;
    if (going && !e && ::fsync(fd) != 0) e = errno;
    if (going && !e && ::rename(temp.constData(), QFile::encodeName(target).constData()) != 0) e = errno;
    if (e || engineFailed) {
        ::unlink(journalOf(temp).constData());
        ::unlink(temp.constData());
    }
    ::close(fd);
    if (e) return failWith(f, e);
    if (engineFailed) return false;
    // The rename itself is on disk only once the folder is.
    const int dir = ::open(QFile::encodeName(ti.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

}  // namespace

bool RenameCategory(int categoryId, const QString& newName, QString* error) {
    return RenameCategory(StoreDB(), categoryId, newName, error);
}

bool RenameCategory(CSQLite& db, int categoryId, const QString& newName, QString* error) {
    if (error) error->clear();
    if (!db.IsOpen()) {
        if (error) *error = CSQLite::NoDatabaseText();
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
    QString why;
    CTransaction unit(db, &why);
    if (!unit.IsOpen()) {
        if (error) *error = why;
        return false;
    }
    const QString c = QString::number(categoryId);
    auto run = [&](const QString& sql) {
        if (why.isEmpty()) why = db.Run(sql);
    };
    const QString type = db.LookupField(QStringLiteral("tblCategory"), QStringLiteral("TypeID"),
                                        {QStringLiteral("ID"), categoryId});
    // A category that is not there would otherwise leave an empty new one behind.
    if (type.isEmpty()) why = QStringLiteral("No such category: ") + c;
    qint64 target = 0;
    if (why.isEmpty()) {
        const QString d = db.LookupCreate(QStringLiteral("tblCategory"), QStringLiteral("ID"),
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
    if (why.isEmpty()) unit.Commit(&why);
    if (!why.isEmpty()) {
        if (error) *error = why;
        return false;
    }
    return true;
}

bool VacuumDatabase(QString* error) {
    return VacuumDatabase(StoreDB(), error);
}

bool VacuumDatabase(CSQLite& db, QString* error) {
    if (error) error->clear();
    if (!db.IsOpen()) {
        if (error) *error = CSQLite::NoDatabaseText();
        return false;
    }
    QString first;
    PruneItemAttributes(db, &first);
    for (const char* sql :
         {"DELETE FROM tblItemCategory WHERE ItemID NOT IN (SELECT ID FROM tblItem);",
          "DELETE FROM tblCategory WHERE ID NOT IN (SELECT DISTINCT CategoryID FROM tblItemCategory);",
          "DELETE FROM tblType WHERE ID NOT IN (SELECT DISTINCT TypeID FROM tblCategory);",
          "VACUUM"}) {
        const QString e = db.Run(QLatin1String(sql));
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

bool BackupDatabase(CSQLite& db, const QString& backupFile, int* code, QString* error) {
    CopyFailure failure;
    if (!db.IsOpen()) failure = {ENOENT, CSQLite::NoDatabaseText()};
    else if (backupFile.isEmpty()) failWith(failure, ENOENT);
    else if (backupThroughTemp(db, backupFile, failure)) return true;
    if (code) *code = failure.code;
    if (error) *error = failure.text;
    return false;
}
