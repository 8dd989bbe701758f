#pragma once
// A fresh snippet database on gDB, the shared samples of other tools' files, and ways to run an
// import or export and read back what the store holds.
#include "db/basDB.h"
#include "db/basDBItemAttributes.h"
#include "formats/CFormatReader.h"
#include "formats/CFormatWriter.h"
#include "formats/CStoredItems.h"
#include "formats/basImportFrom.h"
#include "support/ScriptedPrompt.h"
#include "support/TestEnv.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <ctime>

inline QString Sample(const QString& name) { return QStringLiteral(VG_SHARED_DIR "/testdata/formats/") + name; }

struct StoredItem {
    CItem item;
    ItemAttributes attributes;
};

class FormatsTest : public StoreTest {
protected:
    void SetUp() override {
        qputenv("TZ", "America/New_York");
        tzset();
        StoreTest::SetUp();
    }

    // Runs an import; nothing may be shown but the progress window.
    ImportFromSummary Import(const QString& format, const QString& path, bool dryRun = false,
                             const QString& language = {}, const QString& category = {}) {
        ImportFromSummary s;
        ImportFrom(*gDB, {format, path, dryRun, language, category}, &s);
        EXPECT_EQ(prompt->Messages(), QStringList());
        return s;
    }
    CExportSummary Export(const QString& format, const QString& folder) {
        CExportSummary s;
        EXPECT_TRUE(CFormatWriter::Create(format)->Write(*gDB, folder, s)) << s.error.toStdString();
        return s;
    }
    std::vector<StoredItem> Items() {
        std::vector<StoredItem> out;
        QString error;
        EXPECT_TRUE(CStoredItems::ForEach(
            *gDB,
            [&](const CItem& i, const ItemAttributes& a) {
                out.push_back({i, a});
                return true;
            },
            &error))
            << error.toStdString();
        return out;
    }
    int ItemCount() { return Scalar("SELECT Count(*) FROM tblItem").toInt(); }
    // The database file's bytes as a digest: a dry run or a failed import must not change it.
    QByteArray FileDigest() {
        return QCryptographicHash::hash(ReadFileBytes(dbPath), QCryptographicHash::Sha256);
    }
    // Opens another fresh database on gDB (the first one stays on disk).
    void OpenFresh(const QString& name) {
        QString file = env->Path(name);
        ASSERT_FALSE(OpenDatabase(file).isEmpty());
        dbPath = env->Path(name);
    }
    void Write(const QString& name, const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(env->Path(name)).absolutePath());
        WriteFileBytes(env->Path(name), bytes);
    }
    static QString Utc(const QDateTime& t) { return t.toUTC().toString("yyyy-MM-ddTHH:mm:ssZ"); }
};
