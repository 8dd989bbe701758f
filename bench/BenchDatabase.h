#pragma once
// Builds a large, deterministic snippet database for benchmarks, straight through the engine
// (prepared statements, one transaction), and caches it so a benchmark run pays for it once.
//
//   BenchSpec spec;                      // 100,000 items, 5 languages x 40 categories, ~1 KB code
//   QString cached = BenchDatabase(spec);            // built (or reused) under the build folder
//   QString work = BenchWorkCopy(cached, "work.db"); // a copy to change freely
//
// Every item has 1 to 3 categories of one language; category sizes are skewed (the first
// categories of each language are the largest). Code text mixes common words, code tokens and a
// long tail of rare words: BenchCommonWord() is in most items, BenchRareWord() in a handful,
// BenchPrefix() is a prefix query. An attachment hook can give items blocks (e.g. QuickLZ).
#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sqlite3.h>
#include <string>
#include <vector>

struct BenchAttachment {
    QByteArray block;   // stored as FileBLOB
    qint64 fileSize = 0;
    QString fileName;   // stored as ftsItem.File
};

struct BenchSpec {
    int items = 100000;
    int languages = 5;
    int categoriesPerLanguage = 40;
    int codeBytes = 1024;   // approximate size of each item's code text
    std::uint64_t seed = 20240131;
    // Folder of the cached file; empty: the folder of the running benchmark (the build tree).
    QString cacheFolder;
    // settings.db that supplies the schema; empty: ../bin/settings.db beside the benchmark.
    QString settingsDb;
    // Optional: gives item n (1-based) an attachment when it returns true. Part of the cache key
    // only through attachmentTag, so give each kind of hook its own tag.
    std::function<bool(int item, BenchAttachment& out)> attachment;
    QString attachmentTag;
};

inline const char* BenchCommonWord() { return "return"; }
inline const char* BenchRareWord() { return "quuxalicious"; }
inline const char* BenchPrefix() { return "buff*"; }

namespace benchdb {

struct Rng {
    std::uint64_t s;
    std::uint64_t Next() {  // splitmix64: fast, deterministic everywhere
        std::uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int Below(int n) { return int(Next() % std::uint64_t(n)); }
    double Unit() { return double(Next() >> 11) / double(1ull << 53); }
};

inline std::vector<std::string> Vocabulary(Rng& rng, int count) {
    static const char* const syllables[] = {"ka", "lo", "mi", "ten", "ra", "sub", "dex", "vor", "pi",
                                            "zan", "qu", "el", "tor", "ba", "fin", "gro", "nu", "wix"};
    std::vector<std::string> words;
    words.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        std::string w;
        const int n = 2 + rng.Below(3);
        for (int k = 0; k < n; ++k) w += syllables[rng.Below(int(std::size(syllables)))];
        w += std::to_string(i % 97);
        words.push_back(w);
    }
    return words;
}

inline QString CacheName(const BenchSpec& spec) {
    return QStringLiteral("bench-store-%1i-%2x%3c-%4b-s%5%6-v1.db")
        .arg(spec.items)
        .arg(spec.languages)
        .arg(spec.categoriesPerLanguage)
        .arg(spec.codeBytes)
        .arg(spec.seed)
        .arg(spec.attachmentTag.isEmpty() ? QString() : QLatin1Char('-') + spec.attachmentTag);
}

inline bool Check(int rc, sqlite3* db, QString* error) {
    if (rc == SQLITE_OK || rc == SQLITE_DONE || rc == SQLITE_ROW) return true;
    if (error) *error = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    return false;
}

inline QString ReadSchema(const QString& settingsDb, QString* error) {
    sqlite3* s = nullptr;
    QString schema;
    if (sqlite3_open_v2(QFile::encodeName(settingsDb).constData(), &s, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(s, "SELECT Value FROM Settings WHERE Name = 'DbSchema'", -1, &st, nullptr) ==
                SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            schema = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        sqlite3_finalize(st);
    }
    sqlite3_close(s);
    if (schema.isEmpty() && error) *error = QStringLiteral("no schema in ") + settingsDb;
    return schema;
}

inline bool Build(const BenchSpec& spec, const QString& path, QString* error) {
    QString settings = spec.settingsDb;
    if (settings.isEmpty())
        settings = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/settings.db");
    const QString schema = ReadSchema(settings, error);
    if (schema.isEmpty()) return false;
    QFile::remove(path);
    sqlite3* db = nullptr;
    if (!Check(sqlite3_open(QFile::encodeName(path).constData(), &db), db, error)) return false;
    auto exec = [&](const char* sql) { return Check(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), db, error); };
    bool ok = exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA cache_size=-200000;") &&
              exec(schema.toUtf8().constData()) && exec("PRAGMA user_version = 2;") &&
              exec("BEGIN TRANSACTION;");

    static const char* const languages[] = {"C++", "Python", "SQL", "Visual Basic", "JavaScript",
                                            "Go", "Rust", "Perl", "Shell", "Java"};
    static const char* const categories[] = {
        "Sorting", "Files", "Strings", "Networking", "Threads", "Memory", "Math", "Dates",
        "Regex", "Database", "GUI", "Printing", "Registry", "Errors", "Testing", "Parsing",
        "XML", "JSON", "Graphics", "Sound", "Security", "Crypto", "Compression", "Arrays",
        "Collections", "Sockets", "HTTP", "Email", "Logging", "Config", "Build", "Debugging",
        "Performance", "Reflection", "Templates", "Events", "Timers", "Processes", "Services",
        "Installers"};
    Rng rng{spec.seed};
    const std::vector<std::string> vocab = Vocabulary(rng, 5000);
    static const char* const tokens[] = {"int", "if", "for", "while", "const", "auto", "void", "=",
                                         "+", "(", ")", "{", "}", ";", "->", "::", "[", "]", "0", "1"};

    // Languages and categories with fixed ids: language l is l + 1, its category c is
    // l * categoriesPerLanguage + c + 1.
    std::string sql;
    for (int l = 0; ok && l < spec.languages; ++l) {
        QString name = QString::fromLatin1(languages[l % int(std::size(languages))]);
        if (l >= int(std::size(languages))) name += QString::number(l);
        sql = "INSERT INTO tblType (ID, Name) VALUES (" + std::to_string(l + 1) + ", '" + name.toStdString() + "');";
        ok = exec(sql.c_str());
        for (int c = 0; ok && c < spec.categoriesPerLanguage; ++c) {
            QString cat = QString::fromLatin1(categories[c % int(std::size(categories))]);
            if (c >= int(std::size(categories))) cat += QString::number(c);
            sql = "INSERT INTO tblCategory (ID, TypeID, Name) VALUES (" +
                  std::to_string(l * spec.categoriesPerLanguage + c + 1) + ", " + std::to_string(l + 1) + ", '" +
                  cat.toStdString() + "');";
            ok = exec(sql.c_str());
        }
    }

    sqlite3_stmt* item = nullptr;
    sqlite3_stmt* fts = nullptr;
    sqlite3_stmt* link = nullptr;
    ok = ok &&
         Check(sqlite3_prepare_v2(db, "INSERT INTO tblItem (ID, FileSize, FileBLOB, LastUpdate) VALUES (?,?,?,?)",
                                  -1, &item, nullptr), db, error) &&
         Check(sqlite3_prepare_v2(db, "INSERT INTO ftsItem (DOCID, Title, Code, File) VALUES (?,?,?,?)", -1, &fts,
                                  nullptr), db, error) &&
         Check(sqlite3_prepare_v2(db, "INSERT INTO tblItemCategory (ItemID, CategoryID) VALUES (?,?)", -1, &link,
                                  nullptr), db, error);

    // Zipf-like pick from the vocabulary: low indexes are frequent.
    auto word = [&]() -> const std::string& {
        const double u = rng.Unit();
        return vocab[size_t(double(vocab.size()) * u * u * u)];
    };
    const double start = 2455197.5;  // 2010-01-01, spread over about twelve years
    std::string title, code;
    for (int n = 1; ok && n <= spec.items; ++n) {
        title.clear();
        const int words = 2 + rng.Below(5);
        for (int k = 0; k < words; ++k) {
            if (k) title += ' ';
            title += word();
        }
        if (n % 7 == 0) title += " buffer";
        if (n % 11 == 0) title += " buffered";
        code.clear();
        while (int(code.size()) < spec.codeBytes) {
            const int kind = rng.Below(10);
            if (kind < 4) code += word();
            else if (kind < 8) code += tokens[rng.Below(int(std::size(tokens)))];
            else if (kind == 8) code += rng.Below(3) == 0 ? BenchCommonWord() : "value";
            else code += std::to_string(rng.Below(1000));
            code += rng.Below(8) == 0 ? "\r\n" : " ";
        }
        if (n % 2 == 0) code += std::string(" ") + BenchCommonWord() + " 0;";
        if (n % 14000 == 0) code += std::string(" ") + BenchRareWord();

        BenchAttachment att;
        const bool hasAtt = spec.attachment && spec.attachment(n, att);
        sqlite3_reset(item);
        sqlite3_bind_int(item, 1, n);
        if (hasAtt) {
            sqlite3_bind_int64(item, 2, att.fileSize);
            sqlite3_bind_blob(item, 3, att.block.constData(), int(att.block.size()), SQLITE_TRANSIENT);
        } else {
            sqlite3_bind_null(item, 2);
            sqlite3_bind_null(item, 3);
        }
        sqlite3_bind_double(item, 4, start + rng.Unit() * 4380.0);
        ok = Check(sqlite3_step(item), db, error);

        sqlite3_reset(fts);
        sqlite3_bind_int(fts, 1, n);
        sqlite3_bind_text(fts, 2, title.c_str(), int(title.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(fts, 3, code.c_str(), int(code.size()), SQLITE_TRANSIENT);
        const QByteArray file = att.fileName.toUtf8();
        if (hasAtt) sqlite3_bind_text(fts, 4, file.constData(), int(file.size()), SQLITE_TRANSIENT);
        else sqlite3_bind_null(fts, 4);
        ok = ok && Check(sqlite3_step(fts), db, error);

        const int lang = rng.Below(spec.languages);
        const int cats = 1 + rng.Below(3);
        for (int k = 0; ok && k < cats; ++k) {
            const double u = rng.Unit();
            const int c = int(double(spec.categoriesPerLanguage) * u * u);
            sqlite3_reset(link);
            sqlite3_bind_int(link, 1, n);
            sqlite3_bind_int(link, 2, lang * spec.categoriesPerLanguage + c + 1);
            ok = Check(sqlite3_step(link), db, error);
        }
    }
    sqlite3_finalize(item);
    sqlite3_finalize(fts);
    sqlite3_finalize(link);
    ok = ok && exec("COMMIT TRANSACTION;") && exec("PRAGMA journal_mode=DELETE;");
    sqlite3_close(db);
    if (!ok) QFile::remove(path);
    return ok;
}

}  // namespace benchdb

// The cached database for spec, built on first use. Empty text (and error) when it cannot be made.
inline QString BenchDatabase(const BenchSpec& spec = {}, QString* error = nullptr) {
    QString folder = spec.cacheFolder;
    if (folder.isEmpty()) folder = QCoreApplication::applicationDirPath();
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(benchdb::CacheName(spec));
    if (QFileInfo(path).size() > 0) return path;
    // Built under another name and renamed, so an interrupted build is never taken for a cache.
    const QString partial = path + QStringLiteral(".partial");
    if (!benchdb::Build(spec, partial, error)) return {};
    QFile::remove(path);
    if (!QFile::rename(partial, path)) {
        if (error) *error = QStringLiteral("cannot rename ") + partial;
        return {};
    }
    return path;
}

// BenchDatabase for a benchmark's main: the program ends with the reason when it cannot be made.
inline QString BenchDatabaseOrExit(const BenchSpec& spec = {}) {
    QString error;
    const QString path = BenchDatabase(spec, &error);
    if (path.isEmpty()) {
        std::fprintf(stderr, "cannot build the database: %s\n", qPrintable(error));
        std::exit(1);
    }
    return path;
}

// A fresh copy of a cached database to change freely; empty text on failure.
inline QString BenchWorkCopy(const QString& cached, const QString& target) {
    QFile::remove(target);
    return QFile::copy(cached, target) ? target : QString();
}
