#include "db/CSQLite.h"

#include "db/CItemLinks.h"

#include "util/basProgram.h"
#include "util/basText.h"
#include "util/basVariableTools.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <charconv>
#include <climits>
#include <cstring>
#include <sqlite3.h>
#include <utility>

CSQLite::CSQLite() = default;
CSQLite::~CSQLite() { CloseFile(); }

int CSQLite::AddChangeWriter(ChangeWriter writer, const QString& name) {
    if (!name.isEmpty()) m_handlers.removeIf([&](const Handler& h) { return h.name == name; });
    m_handlers.append({++m_nextToken, name, std::move(writer), {}, {}});
    return m_nextToken;
}

int CSQLite::AddChangeListener(ChangeListener listener) {
    m_handlers.append({++m_nextToken, QString(), {}, std::move(listener), {}});
    return m_nextToken;
}

int CSQLite::AddCommitWriter(CommitWriter writer, const QString& name) {
    m_handlers.removeIf([&](const Handler& h) { return h.name == name; });
    m_handlers.append({++m_nextToken, name, {}, {}, std::move(writer)});
    return m_nextToken;
}

bool CSQLite::BeforeCommit(QString* error) {
    if (m_pending.isEmpty()) return true;
    for (const Handler& h : std::as_const(m_handlers)) {
        if (!h.beforeCommit) continue;
        QString why;
        if (!h.beforeCommit(*this, &why)) {
            if (error) *error = why.isEmpty() ? QStringLiteral("The change could not be recorded") : why;
            return false;
        }
    }
    return true;
}

void CSQLite::RemoveChangeHandler(int token) {
    m_handlers.removeIf([token](const Handler& h) { return h.token == token; });
}

bool CSQLite::Record(const CChange& change, QString* error) {
    for (const Handler& h : std::as_const(m_handlers)) {
        if (!h.writer) continue;
        QString why;
        if (!h.writer(*this, change, &why)) {
            // The write fails with a reason even when the writer gave none.
            if (error) *error = why.isEmpty() ? QStringLiteral("The change could not be recorded") : why;
            return false;
        }
    }
    // A transaction that changed thousands of items tells its listeners the numbers only.
    m_pendingItems += change.items.size();
    if (m_pendingItems <= CChange::kValuesUpTo || change.valuesOmitted) {
        m_pending.append(change);
    } else {
        CChange light = change;
        light.valuesOmitted = true;
        for (CItemChange& item : light.items) item.before = item.after = std::nullopt;
        m_pending.append(light);
    }
    // A write outside any transaction has committed already.
    if (m_transactionDepth == 0) {
        if (!BeforeCommit(error)) return false;
        DeliverChanges();
    }
    return true;
}

void CSQLite::TransactionBegun(const Stamp& before) {
    m_stampBefore = before;
    m_pending.clear();
    m_pendingItems = 0;
}

void CSQLite::DropChanges(qsizetype from) {
    if (from < m_pending.size()) m_pending.resize(from);
}

void CSQLite::DeliverChanges() {
    if (m_pending.isEmpty()) return;
    const QList<CChange> changes = std::exchange(m_pending, {});
    m_pendingItems = 0;
    const Stamp before = m_stampBefore;
    // A listener may unsubscribe another (a window closing): walk a copy.
    const QList<Handler> handlers = m_handlers;
    for (const Handler& h : handlers)
        if (h.listener) h.listener(*this, changes, before);
}

namespace {

// The kept lists take the new state of the items this connection changed, as long as nothing
// else wrote in between; otherwise their stamp no longer matches and the next list reads it all.
void followChanges(CItemLinks& links, CSQLite& db, const QList<CChange>& changes, const CSQLite::Stamp& before) {
    const CSQLite::Stamp now = db.ChangeStamp();
    if (!links.IsLoaded() || !(links.Stamp() == before) || !now.IsValid() || now.open != before.open ||
        now.others != before.others)
        return;
    QList<int> ids;
    for (const CChange& c : changes) {
        const bool oneItem = c.kind == CChange::Kind::Save || c.kind == CChange::Kind::Delete ||
                             c.kind == CChange::Kind::Attach || c.kind == CChange::Kind::ClearAttachment;
        if (!oneItem || c.items.size() != 1) {
            links.Clear();
            return;
        }
        ids << c.items.first().id;
    }
    for (int id : std::as_const(ids))
        if (!links.Refresh(db, id)) return;
}

}  // namespace

CItemLinks& CSQLite::KeptLinks() {
    if (!m_links) {
        m_links = std::make_unique<CItemLinks>();
        AddChangeListener([this](CSQLite& db, const QList<CChange>& changes, const Stamp& before) {
            followChanges(*m_links, db, changes, before);
        });
    }
    return *m_links;
}

void CSQLite::SetKeepItemLists(bool keep) {
    m_keepLists = keep;
    if (!keep && m_links) m_links->Clear();
}

static const QString& busyPrefix() {
    static const QString prefix = QStringLiteral("The database is busy in another program: ");
    return prefix;
}

QString CSQLite::BusyText(const QString& engineText) {
    return IsBusyText(engineText) ? engineText : busyPrefix() + engineText;
}

bool CSQLite::IsBusyText(const QString& text) { return text.startsWith(busyPrefix()); }

QString CSQLite::failureText() const {
    const QString text = DecodeUtf8OrCp1252(sqlite3_errmsg(m_db));
    // Every write waits out another program's lock (the busy timeout) and then fails like this;
    // whichever statement met the lock, the text says so.
    const int code = sqlite3_errcode(m_db) & 0xff;
    return code == SQLITE_BUSY || code == SQLITE_LOCKED ? BusyText(text) : text;
}

QString CSQLite::Version() { return QString::fromLatin1(sqlite3_libversion()); }

QString CSQLite::FilePath(const QString& sFile) {
    if (sFile.contains(QLatin1Char('/')) || sFile.contains(QDir::separator())) return sFile;
    // A bare name is one of the program's files (settings.db), installed or not.
    return ProgramFile(sFile);
}

int CSQLite::OpenFile(const QString& sFile) {
    CloseFile();
    const QString path = FilePath(sFile);
    // A file with no write bit at all is read-only, even for users the system would let write.
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    QFileInfo fi(path);
    constexpr auto anyWrite = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    if (fi.exists() && fi.isFile() && !(fi.permissions() & anyWrite))
        flags = SQLITE_OPEN_READONLY;
    // A connection is only ever used by the thread that opened it: no lock around every call.
    flags |= SQLITE_OPEN_NOMUTEX;
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        if (db) sqlite3_close(db);
        return rc;
    }
    m_db = db;
    m_file = path;
    // Another program's transaction is waited out instead of failing the first read.
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    // A file can come from anywhere: no writes to the schema tables behind the engine's back,
    // no tokenizer pointers from SQL, no extensions. The schema's own views qryItem and
    // qryItems read the FTS3 table, which the engine does not mark innocuous, so with
    // SQLITE_DBCONFIG_TRUSTED_SCHEMA off both fail ("unsafe use of virtual table"): it stays on.
    static constexpr std::pair<int, int> kConfig[] = {{SQLITE_DBCONFIG_DEFENSIVE, 1},
                                                      {SQLITE_DBCONFIG_TRUSTED_SCHEMA, 1},
                                                      {SQLITE_DBCONFIG_ENABLE_FTS3_TOKENIZER, 0},
                                                      {SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0}};
    for (const auto& [op, value] : kConfig) sqlite3_db_config(m_db, op, value, nullptr);
    // Serial across connections: a new connection at a freed address is still another file.
    static quint64 serial = 0;
    m_openSerial = ++serial;
    sqlite3_commit_hook(
        m_db,
        [](void* self) {
            ++static_cast<CSQLite*>(self)->m_commits;
            return 0;
        },
        this);
    return 0;
}

void CSQLite::SetProgressHandler(std::function<bool()> poll) {
    m_progress = std::move(poll);
    if (!m_db) return;
    if (!m_progress) {
        sqlite3_progress_handler(m_db, 0, nullptr, nullptr);
        return;
    }
    // About a millisecond of work between polls: often enough for a prompt Cancel, rare
    // enough to cost nothing.
    sqlite3_progress_handler(
        m_db, 4000,
        [](void* self) { return static_cast<CSQLite*>(self)->m_progress() ? 1 : 0; }, this);
}

void CSQLite::CloseFile() {
    m_progress = nullptr;
    m_pending.clear();
    m_transactionDepth = 0;
    if (m_links) m_links->Clear();
    for (sqlite3_stmt* st : std::as_const(m_kept)) sqlite3_finalize(st);
    m_kept.clear();
    m_slots.clear();
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        m_openSerial = 0;
        m_file.clear();
    }
}

bool CSQLite::IsReadOnly() const { return m_db && sqlite3_db_readonly(m_db, "main") == 1; }

static QVariant columnValue(sqlite3_stmt* st, int i) {
    switch (sqlite3_column_type(st, i)) {
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(st, i)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(st, i));
    case SQLITE_TEXT: {
        const char* p = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
        return QVariant(DecodeUtf8OrCp1252(QByteArrayView(p, sqlite3_column_bytes(st, i))));
    }
    case SQLITE_BLOB: {
        const char* p = static_cast<const char*>(sqlite3_column_blob(st, i));
        return QVariant(QByteArray(p, sqlite3_column_bytes(st, i)));
    }
    default:
        return QVariant();
    }
}

QVariant CSQLite::Exec(const QString& sql, ResultTable& data, QString& error,
                       bool returnFirstRec) {
    if (!m_db) return QVariant();
    data.Clear();
    const QByteArray utf8 = sql.toUtf8();
    const char* tail = utf8.constData();
    // The text ends at a NUL character, as C text does: the engine stops there and reports no
    // progress, so reading on would never end.
    const char* end = tail + std::strlen(tail);
    int cols = 0;  // columns of the table being filled, 0 until a statement yields a row
    while (tail < end) {
        sqlite3_stmt* st = nullptr;
        const char* next = nullptr;
        int rc = sqlite3_prepare_v2(m_db, tail, int(end - tail), &st, &next);
        if (rc != SQLITE_OK) {
            error = failureText();
            data.Clear();
            return returnFirstRec ? QVariant() : QVariant(0);
        }
        tail = next;
        if (!st) continue;  // only white space or a comment was left
        const int n = sqlite3_column_count(st);
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            if (!cols) {
                QStringList names;
                for (int i = 0; i < n; ++i)
                    names << DecodeUtf8OrCp1252(sqlite3_column_name(st, i));
                data.SetHeader(names);
                cols = n;
            } else if (cols != n) {
                sqlite3_finalize(st);
                error = QStringLiteral(
                    "sqlite3_get_table() called with two or more incompatible queries");
                data.Clear();
                return returnFirstRec ? QVariant() : QVariant(0);
            }
            for (int i = 0; i < n; ++i) data.Append(columnValue(st, i));
        }
        if (rc != SQLITE_DONE) {
            error = failureText();
            sqlite3_finalize(st);
            data.Clear();
            return returnFirstRec ? QVariant() : QVariant(0);
        }
        sqlite3_finalize(st);
    }
    const int rows = data.RowCount();
    if (returnFirstRec) return rows > 0 ? data.At(1, 0) : QVariant();
    return QVariant(rows);
}

QString CSQLite::Run(const QString& sql) {
    ResultTable data;
    QString error;
    if (!m_db) return NoDatabaseText();
    Exec(sql, data, error);
    return error;
}

QString CSQLite::RunLarge(const char* sql, const std::function<void()>& textDone) {
    if (!m_db) return NoDatabaseText();
    // The length includes the terminating zero, so the engine parses the text in place; the
    // legacy prepare keeps no copy of it (the newer ones do, for re-preparing).
    const size_t n = std::strlen(sql) + 1;
    if (n > size_t(INT_MAX)) return QStringLiteral("string or blob too big");
    sqlite3_stmt* st = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare(m_db, sql, int(n), &st, &tail) != SQLITE_OK)
        return failureText();
    for (const char* p = tail; p && *p; ++p) {
        if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n') {
            if (st) sqlite3_finalize(st);
            return QStringLiteral("Only one statement is allowed here");
        }
    }
    if (textDone) textDone();
    if (!st) return QString();
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    }
    // The legacy step reports only a generic error; finalizing brings out the real one.
    const int frc = sqlite3_finalize(st);
    if (rc != SQLITE_DONE) {
        QString error = failureText();
        if (frc == SQLITE_OK || error.isEmpty()) error = QString::fromLatin1(sqlite3_errstr(rc));
        return error;
    }
    return QString();
}

QString CSQLite::RunWithBlob(const QString& sql, QByteArrayView blob) {
    if (!m_db) return NoDatabaseText();
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(m_db, utf8.constData(), int(utf8.size()) + 1, &st, nullptr) != SQLITE_OK)
        return failureText();
    if (!st) return QString();
    // An empty view has no data pointer; the engine needs one to store an empty blob, not NULL.
    static const char empty = 0;
    int rc = sqlite3_bind_blob64(st, 1, blob.data() ? blob.data() : &empty, sqlite3_uint64(blob.size()),
                                 SQLITE_STATIC);
    if (rc == SQLITE_OK) {
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        }
    }
    QString error;
    if (rc != SQLITE_DONE) error = failureText();
    sqlite3_finalize(st);
    return error;
}

QString CSQLite::RunBound(const QString& sql, const QVariantList& values) {
    if (!m_db) return NoDatabaseText();
    sqlite3_stmt* st = m_kept.value(sql);
    if (!st) {
        const QByteArray utf8 = sql.toUtf8();
        const char* tail = nullptr;
        if (sqlite3_prepare_v3(m_db, utf8.constData(), int(utf8.size()), SQLITE_PREPARE_PERSISTENT, &st,
                               &tail) != SQLITE_OK)
            return failureText();
        if (!st) return QString();
        m_kept.insert(sql, st);
    }
    // The texts live until the statement has run, so the engine need not copy them.
    QList<QByteArray> texts;
    texts.reserve(values.size());
    int rc = SQLITE_OK;
    for (int i = 0; i < values.size() && rc == SQLITE_OK; ++i) {
        const QVariant& v = values[i];
        switch (v.isNull() ? QMetaType::UnknownType : v.typeId()) {
        case QMetaType::UnknownType:
            rc = sqlite3_bind_null(st, i + 1);
            break;
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::Bool:
            rc = sqlite3_bind_int64(st, i + 1, v.toLongLong());
            break;
        case QMetaType::Double:
            rc = sqlite3_bind_double(st, i + 1, v.toDouble());
            break;
        case QMetaType::QByteArray:
            texts << v.toByteArray();
            rc = sqlite3_bind_blob64(st, i + 1, texts.last().constData(), sqlite3_uint64(texts.last().size()),
                                     SQLITE_STATIC);
            break;
        default:
            texts << v.toString().toUtf8();
            rc = sqlite3_bind_text64(st, i + 1, texts.last().constData(), sqlite3_uint64(texts.last().size()),
                                     SQLITE_STATIC, SQLITE_UTF8);
            break;
        }
    }
    if (rc == SQLITE_OK) {
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        }
    }
    QString error;
    if (rc != SQLITE_DONE) error = failureText();
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    return error;
}

bool CSQLite::ReadFirstValue(const QString& sql,
                             const std::function<void(QByteArrayView, bool)>& sink,
                             QString& error) {
    return ForEachRow(
        sql,
        [&](const Row& row) {
            if (row.Columns() > 0) sink(row.IsNull(0) ? QByteArrayView() : row.Bytes(0), row.IsNull(0));
            return false;
        },
        &error);
}

int CSQLite::Row::Columns() const { return sqlite3_column_count(m_st); }

bool CSQLite::Row::IsNull(int c) const { return sqlite3_column_type(m_st, c) == SQLITE_NULL; }

int CSQLite::Row::Type(int c) const { return sqlite3_column_type(m_st, c); }

qint64 CSQLite::Row::Int(int c) const { return sqlite3_column_int64(m_st, c); }

double CSQLite::Row::Real(int c) const { return sqlite3_column_double(m_st, c); }

QByteArrayView CSQLite::Row::Bytes(int c) const {
    // Blob first so the engine does not convert; text comes back as stored.
    const char* p = sqlite3_column_type(m_st, c) == SQLITE_BLOB
                        ? static_cast<const char*>(sqlite3_column_blob(m_st, c))
                        : reinterpret_cast<const char*>(sqlite3_column_text(m_st, c));
    return QByteArrayView(p, sqlite3_column_bytes(m_st, c));
}

QVariant CSQLite::Row::Value(int c) const { return columnValue(m_st, c); }

QByteArrayView CSQLite::Row::Utf8(int c, QByteArray& scratch) const {
    switch (sqlite3_column_type(m_st, c)) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER: {
        scratch.resize(24);
        const auto end = std::to_chars(scratch.data(), scratch.data() + scratch.size(), sqlite3_column_int64(m_st, c)).ptr;
        return QByteArrayView(scratch.constData(), end - scratch.constData());
    }
    case SQLITE_TEXT:
        if (const QByteArrayView bytes = Bytes(c); IsValidUtf8(bytes)) {
            // Exec's text drops a leading byte order mark (the decoder does); a list printed
            // from here must not show one that the window and every other command hide.
            return bytes.startsWith("\xEF\xBB\xBF") ? bytes.sliced(3) : bytes;
        }
        scratch = DecodeCp1252(Bytes(c)).toUtf8();
        return scratch;
    default:
        scratch = columnValue(m_st, c).toString().toUtf8();
        return scratch;
    }
}

bool CSQLite::ForEachRow(const QString& sql, const std::function<bool(const Row&)>& fn,
                         QString* error) {
    if (!m_db) {
        if (error) *error = NoDatabaseText();
        return false;
    }
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(m_db, utf8.constData(), int(utf8.size()) + 1, &st, nullptr) !=
        SQLITE_OK) {
        if (error) *error = failureText();
        return false;
    }
    if (!st) return true;  // nothing but white space
    const Row row(st);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW)
        if (!fn(row)) {
            rc = SQLITE_DONE;
            break;
        }
    if (rc != SQLITE_DONE && error) *error = failureText();
    sqlite3_finalize(st);
    return rc == SQLITE_DONE;
}

CSQLite::Stamp CSQLite::ChangeStamp() const {
    if (!m_db || !sqlite3_get_autocommit(m_db)) return {};
    Stamp stamp{m_openSerial, m_commits, 0};
    // Other connections' commits, including other programs'.
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(m_db, "PRAGMA data_version", -1, &st, nullptr) != SQLITE_OK) return {};
    if (sqlite3_step(st) == SQLITE_ROW) stamp.others = sqlite3_column_int64(st, 0);
    else stamp = {};
    sqlite3_finalize(st);
    return stamp;
}

int CSQLite::LastErrorCode() const { return m_db ? sqlite3_errcode(m_db) & 0xff : 0; }

QString CSQLite::LastError() const {
    if (!m_db) return NoDatabaseText();
    const int code = sqlite3_errcode(m_db);
    if (code == SQLITE_OK || code == SQLITE_ROW || code == SQLITE_DONE) return {};
    return DecodeUtf8OrCp1252(sqlite3_errmsg(m_db));
}

int CSQLite::LastSystemErrno() const { return m_db ? sqlite3_system_errno(m_db) : 0; }

bool CSQLite::InTransaction() const { return m_db && !sqlite3_get_autocommit(m_db); }

qint64 CSQLite::LastInsertRowID() const { return m_db ? sqlite3_last_insert_rowid(m_db) : 0; }

int CSQLite::Changes() const { return m_db ? sqlite3_changes(m_db) : 0; }

QString CSQLite::RenderValue(const QVariant& value, bool allowDate) {
    if (!value.isValid() || IsNullValue(value)) return QStringLiteral("NULL");
    switch (value.metaType().id()) {
    case QMetaType::QString:
    case QMetaType::QByteArray:
    case QMetaType::QChar:
        return SqlQuote(value.toString());
    case QMetaType::QDateTime:
    case QMetaType::QDate:
        if (allowDate)
            return SqlQuote(value.toDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
        return SqlQuote(value.toString());
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("-1") : QStringLiteral("0");
    case QMetaType::Double:
    case QMetaType::Float: {
        // Shortest text that reads back to the same value, always with '.'.
        char buf[64];
        auto r = std::to_chars(buf, buf + sizeof buf, value.toDouble());
        return QString::fromLatin1(buf, r.ptr - buf);
    }
    default:
        if (value.canConvert<qlonglong>()) return QString::number(value.toLongLong());
        return SqlQuote(value.toString());
    }
}

static QString buildCondition(const QVariantList& pairs, bool brackets) {
    QString cond;
    for (qsizetype i = 0; i + 1 < pairs.size(); i += 2) {
        const QString field = pairs[i].toString();
        cond += brackets ? QLatin1Char('[') + field + QLatin1String("]=") : field + QLatin1Char('=');
        cond += CSQLite::RenderValue(pairs[i + 1]) + QLatin1String(" AND ");
    }
    cond.chop(5);
    return cond;
}

QString CSQLite::LookupField(const QString& table, const QString& field,
                             const QVariantList& pairs, QString* failure) {
    QString cond = buildCondition(pairs, true);
    if (!cond.isEmpty()) cond = QLatin1String(" WHERE ") + cond;
    ResultTable data;
    QString error = m_db ? QString() : NoDatabaseText();
    Exec(QLatin1String("SELECT ") + field + QLatin1String(" FROM ") + table + cond, data, error);
    if (failure) *failure = error;
    if (!data.IsFilled()) return {};
    const int col = GetFieldNo(data, field);
    return IfEmpty(data.At(1, col < 0 ? 0 : col), 0).toString();
}

QString CSQLite::LookupCreate(const QString& table, const QString& field,
                              const QVariantList& pairs, QString* failure) {
    const QString sql = QLatin1String("SELECT ") + field + QLatin1String(" FROM ") + table +
                        QLatin1String(" WHERE ") + buildCondition(pairs, false);
    ResultTable data;
    QString error = m_db ? QString() : NoDatabaseText();
    int count = Exec(sql, data, error).toInt();
    if (count == 0 && error.isEmpty()) {
        error = AddRecord(table, pairs);
        if (error.isEmpty()) count = Exec(sql, data, error).toInt();
    }
    if (failure) *failure = error;
    if (count > 0) return IfEmpty(data.At(1, 0), 0).toString();
    return {};
}

QString CSQLite::AddRecord(const QString& table, const QVariantList& pairs) {
    QString fields, values;
    for (qsizetype i = 0; i + 1 < pairs.size(); i += 2) {
        fields += pairs[i].toString() + QLatin1Char(',');
        values += RenderValue(pairs[i + 1], true) + QLatin1Char(',');
    }
    fields.chop(1);
    values.chop(1);
    ResultTable data;
    QString error;
    if (!m_db) return NoDatabaseText();
    Exec(QLatin1String("INSERT INTO ") + table + QLatin1String(" (") + fields +
             QLatin1String(") VALUES (") + values + QLatin1String(");"),
         data, error);
    return error;
}

QString CSQLite::SetFields(const QString& table, qint64 rowId, const QVariantList& pairs) {
    QString sets;
    for (qsizetype i = 0; i + 1 < pairs.size(); i += 2)
        sets += pairs[i].toString() + QLatin1Char('=') + RenderValue(pairs[i + 1]) +
                QLatin1String(", ");
    sets.chop(2);
    if (!m_db) return NoDatabaseText();
    ResultTable data;
    QString error;
    Exec(QLatin1String("UPDATE ") + table + QLatin1String(" SET ") + sets +
             QLatin1String(" WHERE ROWID = ") + QString::number(rowId),
         data, error);
    return error;
}

int CSQLite::GetFieldNo(const ResultTable& data, const QString& field) {
    if (!data.IsFilled()) return -1;
    for (int i = 0; i < data.ColCount(); ++i)
        if (data.Header(i).compare(field, Qt::CaseInsensitive) == 0) return i;
    return -1;
}
