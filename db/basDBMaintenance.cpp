#include "db/basDBMaintenance.h"

#include "db/CTransaction.h"
#include "db/basDB.h"
#include "db/basDBCategories.h"
#include "db/basDBAttachmentSums.h"
#include "util/basFileKinds.h"
#include "db/basDBItemAttributes.h"
#include "history/CHistory.h"
#include "history/CHistoryJournal.h"
#include "util/basFileTools.h"
#include "util/basVariableTools.h"

#include <QDateTime>
#include <initializer_list>
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
    // The copy is renamed over the target: a device node or a pipe there would be replaced
    // (as root, /dev/null itself).
    if (QString why; !IsWritableTarget(target, &why)) {
        f.code = EINVAL;
        f.text = why;
        return false;
    }
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
    // A failed read (another program's lock) is told as such, not as a missing category.
    const QString type = db.LookupField(QStringLiteral("tblCategory"), QStringLiteral("TypeID"),
                                        {QStringLiteral("ID"), categoryId}, &why);
    // A category that is not there would otherwise leave an empty new one behind.
    if (why.isEmpty() && type.isEmpty()) why = QStringLiteral("No such category: ") + c;
    if (why.isEmpty()) CHistoryJournal::BeforeRename(db, categoryId, &why);
    // The items the rename touches, for the change record.
    QList<int> touched;
    if (why.isEmpty())
        db.ForEachRow(QStringLiteral("SELECT DISTINCT ItemID FROM tblItemCategory WHERE CategoryID = ") + c,
                      [&](const CSQLite::Row& r) {
                          touched << int(r.Int(0));
                          return true;
                      },
                      &why);
    CChange change;
    change.kind = CChange::Kind::RenameCategory;
    change.newName = name;
    QList<CItem> before;
    // Reading every item twice would cost more than the rename itself: a large one lists numbers.
    change.valuesOmitted = touched.size() > CChange::kValuesUpTo;
    if (why.isEmpty()) {
        change.oldName = db.LookupField(QStringLiteral("tblCategory"), QStringLiteral("Name"), {QStringLiteral("ID"), categoryId});
        change.language = db.LookupField(QStringLiteral("tblType"), QStringLiteral("Name"), {QStringLiteral("ID"), type.toLongLong()});
        if (!change.valuesOmitted) LoadItemsById(db, touched, before, &why);
    }
    qint64 target = 0;
    if (why.isEmpty()) {
        QString engine;
        target = FindOrAddCategory(db, type.toLongLong(), name, &engine);
        if (target == 0)
            why = QStringLiteral("Unable to store category '") + name + QLatin1Char('\'') +
                  (engine.isEmpty() ? QString() : QStringLiteral(": ") + engine);
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
    QList<CItem> after;
    if (why.isEmpty() && !change.valuesOmitted) LoadItemsById(db, touched, after, &why);
    if (why.isEmpty()) {
        QHash<int, CItem> now;
        for (const CItem& item : std::as_const(after)) now.insert(item.id, item);
        for (const CItem& item : std::as_const(before)) change.items.append({item.id, item, now.value(item.id)});
        if (change.valuesOmitted)
            for (int id : std::as_const(touched)) change.items.append({id, std::nullopt, std::nullopt});
        if (db.Record(change, &why)) unit.Commit(&why);
    }
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
    {
        // Each step runs even when one before it failed; together they are one change.
        CTransaction unit(db, &first);
        // The broken items the steps remove, for the change record.
        CChange change;
        change.kind = CChange::Kind::Compact;
        db.ForEachRow(QStringLiteral("SELECT docid FROM ftsItem WHERE docid NOT IN (SELECT ID FROM tblItem) "
                                     "UNION SELECT ID FROM tblItem WHERE FileBLOB IS NULL AND ID NOT IN "
                                     "(SELECT docid FROM ftsItem)"),
                      [&](const CSQLite::Row& r) {
                          change.items.append({int(r.Int(0)), std::nullopt, std::nullopt});
                          return true;
                      });
        for (const char* sql : std::initializer_list<const char*>{
                 // A full-text row without its item (a damaged file, another program) holds its number:
                 // every new item that would get it fails. An item row without its full-text row is
                 // listed nowhere; one with an attachment keeps it under an empty title, for the user
                 // to take out, the others go.
                 "DELETE FROM ftsItem WHERE docid NOT IN (SELECT ID FROM tblItem);",
                 "INSERT INTO ftsItem (docid, Title, Code) SELECT ID, '', '' FROM tblItem WHERE FileBLOB IS NOT NULL "
                 "AND ID NOT IN (SELECT docid FROM ftsItem);",
                 "DELETE FROM tblItem WHERE ID NOT IN (SELECT docid FROM ftsItem);",
                 "DELETE FROM tblItemCategory WHERE ItemID NOT IN (SELECT ID FROM tblItem);",
                 "DELETE FROM tblCategory WHERE ID NOT IN (SELECT DISTINCT CategoryID FROM tblItemCategory);",
                 "DELETE FROM tblType WHERE ID NOT IN (SELECT DISTINCT TypeID FROM tblCategory);",
                 nullptr}) {
            QString e;
            if (sql) e = db.Run(QLatin1String(sql));
            else RemoveStaleAttachmentSums(db, &e);
            if (first.isEmpty()) first = e;
        }
        // History past its retention goes with compaction.
        if (QString e; !CHistory::Purge(db, CHistory::RetentionDays(), &e) && first.isEmpty()) first = e;
        // Attributes of items that are gone would pass to a new item of the same number.
        if (QString e; !PruneItemAttributes(db, &e) && first.isEmpty()) first = e;
        if (unit.IsOpen()) {
            QString e;
            if (db.Record(change, &e)) unit.Commit(&e);
            if (first.isEmpty()) first = e;
        }
    }
    const QString e = db.Run(QStringLiteral("VACUUM"));
    if (first.isEmpty()) first = e;
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
