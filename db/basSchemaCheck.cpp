#include "db/basSchemaCheck.h"

#include "db/CSQLite.h"
#include "db/SchemaText.h"
#include "db/basDBAttachmentSums.h"

#include <QHash>
#include <QRegularExpression>
#include <sqlite3.h>

namespace {

struct SchemaObject {
    QString type;
    QString name;   // as the file spells it
    QString table;  // the table it belongs to, lower case
    QString sql;    // evened out (see evenOut)
};
using SchemaObjects = QHash<QString, SchemaObject>;  // by name in lower case

const char kObjectsSql[] = "SELECT type, name, tbl_name, sql FROM sqlite_master";

// The text with blanks, quotes and letter case evened out, so that the same definition written
// another way (an older engine quotes the full-text module's column names otherwise) compares
// equal.
// Views and triggers keep their quotes: there a quoted text and a name differ in what runs.
QString evenOut(const QString& sql, bool keepQuotes) {
    static const QRegularExpression quotes(QStringLiteral("[\"'`\\[\\]]"));
    static const QRegularExpression aroundPunctuation(QStringLiteral("\\s*([(),=])\\s*"));
    QString s = sql.simplified().toLower();
    if (!keepQuotes) s.remove(quotes);
    s.replace(aroundPunctuation, QStringLiteral("\\1"));
    return s;
}

void addObject(SchemaObjects& objects, QByteArrayView type, QByteArrayView name, QByteArrayView table,
               QByteArrayView sql) {
    const QString n = QString::fromUtf8(name);
    const QString t = QString::fromUtf8(type);
    const bool code = t == QLatin1String("view") || t == QLatin1String("trigger");
    objects.insert(n.toLower(), {t, n, QString::fromUtf8(table).toLower(), evenOut(QString::fromUtf8(sql), code)});
}

// What this program makes: the built-in schema and the additional tables, made once in a
// database in memory. Empty only if the engine could not make it (out of memory).
const SchemaObjects& reference() {
    static const SchemaObjects objects = [] {
        SchemaObjects made;
        sqlite3* db = nullptr;
        sqlite3_stmt* st = nullptr;
        const QByteArray extra = AttachmentSumTableSql().toUtf8();
        bool ok = sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK &&
                  sqlite3_exec(db, kBuiltInSchema, nullptr, nullptr, nullptr) == SQLITE_OK &&
                  sqlite3_exec(db, extra.constData(), nullptr, nullptr, nullptr) == SQLITE_OK &&
                  sqlite3_prepare_v2(db, kObjectsSql, -1, &st, nullptr) == SQLITE_OK;
        const auto text = [&](int c) {
            return QByteArrayView(reinterpret_cast<const char*>(sqlite3_column_text(st, c)),
                                  sqlite3_column_bytes(st, c));
        };
        while (ok && sqlite3_step(st) == SQLITE_ROW) addObject(made, text(0), text(1), text(2), text(3));
        sqlite3_finalize(st);
        sqlite3_close(db);
        return made;
    }();
    return objects;
}

// An index the program does not make, on one of its tables: harmless while it indexes plain
// columns of every row; an expression or a condition can run anything on every write.
bool plainIndex(CSQLite& db, const SchemaObject& index, bool* plain, QString* error) {
    *plain = !index.sql.contains(QLatin1String(" where "));
    if (!*plain) return true;
    QString quoted = index.name;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    return db.ForEachRow(
        QStringLiteral("SELECT cid FROM pragma_index_xinfo('") + quoted + QStringLiteral("') WHERE key"),
        [&](const CSQLite::Row& r) {
            if (r.Int(0) == -2) *plain = false;
            return *plain;
        },
        error);
}

}  // namespace

bool CompareSchema(CSQLite& db, SchemaDifferences* differences, QString* error) {
    *differences = {};
    const SchemaObjects& expected = reference();
    if (expected.isEmpty()) {
        if (error) *error = QStringLiteral("Not enough memory to check the database");
        return false;
    }
    SchemaObjects actual;
    QString why;
    if (!db.ForEachRow(
            QLatin1String(kObjectsSql),
            [&](const CSQLite::Row& r) {
                addObject(actual, r.Bytes(0), r.Bytes(1), r.Bytes(2), r.Bytes(3));
                return true;
            },
            &why)) {
        if (error) *error = why;
        return false;
    }
    QStringList& objects = differences->objects;
    QStringList& tables = differences->tables;
    const QString additional = QStringLiteral("vgattachmentsum");
    for (auto it = expected.constBegin(); it != expected.constEnd(); ++it) {
        const auto found = actual.constFind(it.key());
        const bool isTable = it->type == QLatin1String("table");
        const bool isIndex = it->type == QLatin1String("index");
        QStringList& list = isTable || isIndex ? tables : objects;
        if (found == actual.constEnd()) {
            // The additional table comes with the first attachment; the schema's indexes only
            // make lookups fast, and an older file may lack them.
            if (it.key() != additional && !isIndex) list << it->name + QStringLiteral(" (missing)");
        } else if (found->type != it->type || found->sql != it->sql) {
            list << found->name + QStringLiteral(" (changed)");
        }
    }
    QSet<QString> ours;
    for (const SchemaObject& o : expected)
        if (o.type == QLatin1String("table")) ours.insert(o.name.toLower());
    for (auto it = actual.constBegin(); it != actual.constEnd(); ++it) {
        if (expected.contains(it.key())) continue;
        if (it->type == QLatin1String("trigger")) {
            objects << it->name + QStringLiteral(" (a trigger of its own)");
        } else if (it->type == QLatin1String("table") && it.key().startsWith(QLatin1String("ftsitem_"))) {
            // The full-text module of another kind or version keeps other tables.
            tables << it->name + QStringLiteral(" (a full-text table of its own)");
        } else if (it->type == QLatin1String("index") && ours.contains(it->table) && !it->sql.isEmpty() &&
                   it.key() != QLatin1String("tblitem_id")) {
            bool plain = true;
            if (!plainIndex(db, *it, &plain, error)) return false;
            if (!plain) tables << it->name + QStringLiteral(" (an index of its own on an expression or a condition)");
        }
    }
    objects.sort(Qt::CaseInsensitive);
    tables.sort(Qt::CaseInsensitive);
    return true;
}
