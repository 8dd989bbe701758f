// Runs the whole import on arbitrary file contents against a real snippet database: nothing may
// crash, a failed or refused import must leave the database as it was, and a committed one must
// leave every item with its full-text row. The first byte picks new items or kept numbers.
#include "db/basDB.h"
#include "exchange/basImport.h"
#include "util/basProgram.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdlib>

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

qint64 count(const char* sql) {
    ResultTable t;
    QString error;
    return gDB->Exec(QLatin1String(sql), t, error, true).toLongLong();
}

struct World {
    QTemporaryDir dir;
    QString file;
    int runs = 0;
    World() {
        // settings.db (the schema) lies in bin/ beside the fuzz folder.
        SetProgramFolder(QCoreApplication::applicationDirPath() + QStringLiteral("/../bin"));
        InitGlobals(CSettings::Store::Memory);
        QString db = dir.filePath(QStringLiteral("fuzz.db"));
        check(!OpenDatabase(db).isEmpty());
        gDB->Run(QStringLiteral("PRAGMA synchronous=OFF; PRAGMA journal_mode=MEMORY;"));
        file = dir.filePath(QStringLiteral("in.tab"));
        // One attachment the file may name.
        QFile a(dir.filePath(QStringLiteral("a.txt")));
        check(a.open(QIODevice::WriteOnly));
        a.write("attached");
    }
};

World& world() {
    static int argc = 1;
    static char name[] = "import_database_fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static World w;
    return w;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    World& w = world();
    if (size == 0) return 0;
    const bool keepIds = data[0] & 1;
    {
        QFile f(w.file);
        check(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(reinterpret_cast<const char*>(data + 1), qint64(size - 1));
    }
    // Start small now and then, so the database does not grow without end.
    if (++w.runs % 200 == 0)
        gDB->Run(QStringLiteral("DELETE FROM tblItem; DELETE FROM ftsItem; DELETE FROM "
                                "tblItemCategory; DELETE FROM tblCategory; DELETE FROM tblType;"));

    const qint64 items = count("SELECT Count(*) FROM tblItem");
    const qint64 links = count("SELECT Count(*) FROM tblItemCategory");
    ImportSummary s;
    const bool ok = ImportDatabase(*gDB, w.file, keepIds, &s);
    check(ok == s.completed);
    if (!ok) {
        check(count("SELECT Count(*) FROM tblItem") == items);
        check(count("SELECT Count(*) FROM tblItemCategory") == links);
    } else if (!keepIds) {
        check(count("SELECT Count(*) FROM tblItem") == items + s.items);
    }
    check(count("SELECT Count(*) FROM tblItem") == count("SELECT Count(*) FROM ftsItem"));
    // The connection is left outside any transaction.
    check(gDB->Run(QStringLiteral("BEGIN TRANSACTION; COMMIT TRANSACTION;")).isEmpty());
    return 0;
}
