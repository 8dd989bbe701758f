// Build-time tool: writes settings.db with the schema for new databases and the help text.
#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

static std::string readAll(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "mksettingsdb: cannot read %s\n", path);
        std::exit(1);
    }
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

static void run(sqlite3* db, const char* sql) {
    char* err = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
        std::fprintf(stderr, "mksettingsdb: %s\n", err ? err : "error");
        std::exit(1);
    }
}

static void insert(sqlite3* db, const char* sql, const std::string& a, const std::string& b) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) != SQLITE_OK) std::exit(1);
    sqlite3_bind_text(st, 1, a.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, b.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(st) != SQLITE_DONE) std::exit(1);
    sqlite3_finalize(st);
}

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: mksettingsdb OUT.db SCHEMA.sql HELP.txt VERSION\n");
        return 2;
    }
    std::string schema = readAll(argv[2]);
    std::string help = readAll(argv[3]);
    std::string tmp = std::string(argv[1]) + ".tmp";
    std::remove(tmp.c_str());
    sqlite3* db = nullptr;
    if (sqlite3_open(tmp.c_str(), &db) != SQLITE_OK) return 1;
    run(db, "BEGIN; CREATE TABLE Settings (Name TEXT, Value TEXT);"
            "CREATE TABLE Help (Name TEXT, Desc TEXT);");
    insert(db, "INSERT INTO Settings (Name, Value) VALUES (?, ?)", "DbSchema", schema);
    insert(db, "INSERT INTO Settings (Name, Value) VALUES (?, ?)", "DbUserVersion", argv[4]);
    insert(db, "INSERT INTO Help (Name, Desc) VALUES (?, ?)", "main", help);
    run(db, "COMMIT;");
    sqlite3_close(db);
    return std::rename(tmp.c_str(), argv[1]) == 0 ? 0 : 1;
}
