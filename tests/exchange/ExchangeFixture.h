#pragma once
// A snippet database with a few awkward items, and ways to compare databases, for the export
// and import tests. Runs in New York time so that local and UTC times differ.
#include "attach/basAttachment.h"
#include "db/basDB.h"
#include "exchange/basExport.h"
#include "exchange/basImport.h"
#include "support/ScriptedPrompt.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QMap>
#include <ctime>

class ExchangeTest : public StoreTest {
protected:
    void SetUp() override {
        qputenv("TZ", "America/New_York");
        tzset();
        StoreTest::SetUp();
    }

    // A new item saved as the editor saves it (local time text).
    int AddItem(const QString& language, const QString& title, const QString& body,
                const QString& categories, const QString& localTime = "2021-06-15 04:30:00") {
        int id = -1;
        QString error;
        const int saved = SaveItem(*gDB, language, id, title, body, categories, localTime, MergeDecision(),
                                   TimeBase::Local, &error);
        EXPECT_GT(saved, 0) << error.toStdString();
        return saved;
    }

    // The silent cores: nothing may be shown but the progress window.
    bool Export(const QString& file, bool attachments, ExportSummary* summary = nullptr) {
        const bool ok = ExportDatabase(*gDB, file, attachments, summary);
        EXPECT_EQ(prompt->Messages(), QStringList());
        return ok;
    }
    bool Import(const QString& file, bool keepIds, ImportSummary* summary = nullptr) {
        const bool ok = ImportDatabase(*gDB, file, keepIds, summary);
        EXPECT_EQ(prompt->Messages(), QStringList());
        return ok;
    }

    void Attach(int id, const QString& name, const QByteArray& bytes) {
        const QString folder = env->Path("sources/" + QString::number(id));
        QDir().mkpath(folder);
        const QString path = folder + "/" + name;
        WriteFileBytes(path, bytes);
        QString error;
        EXPECT_TRUE(SaveAttachment(id, path, &error)) << error.toStdString();
    }

    static QByteArray AllBytes() {
        QByteArray b;
        for (int i = 0; i < 256; ++i) b.append(char(i));
        return b.repeated(7);
    }

    // The sample: control characters, backslash sequences, quotes, non-Latin text, several
    // categories and languages, two attachments of the same name, and an item without category.
    // With distinctNames the two attachments have different names: an exchange file names
    // each file beside it once, so equal names come back numbered.
    void FillSample(bool distinctNames = false) {
        ids << AddItem("C++", "Quick sort", "int a;\r\n\tb = \"\\TAB\";\\lfloor \\cr\\", "Sorting,Algorithms",
                       "2021-06-15 04:30:00");
        Attach(ids[0], "notes.txt", AllBytes());
        ids << AddItem("SQL", "It's a 'quote'", QString::fromUtf8("Grüße ✓ 日本\nline"), "Queries",
                       "2020-01-02 23:59:59");
        Attach(ids[1], distinctNames ? "second.txt" : "notes.txt", "second notes");
        ids << AddItem("Python", "Tab\there", "", "Files,IO,Misc", "2019-03-10 03:30:00");
        ids << AddItem("sql", "lower language", "x", "paging", "2022-11-07 01:30:00");
        // Attaching counts as a change; the items get their times back.
        SetLocalTime(ids[0], "2021-06-15 04:30:00");
        SetLocalTime(ids[1], "2020-01-02 23:59:59");
        uncategorised = AddItem("C++", "No category", "gone", "Temp");
        Query("DELETE FROM tblItemCategory WHERE ItemID = " + QString::number(uncategorised));
    }

    void SetLocalTime(int id, const QString& localTime) {
        Query("UPDATE tblItem SET LastUpdate = JulianDay('" + localTime + "', 'utc') WHERE ID = " +
              QString::number(id));
    }

    // Every table as text, blobs in hex and times to the last bit.
    QString Snapshot() {
        const char* queries[] = {
            "SELECT ID, FileSize, Hex(FileBLOB), printf('%.17g', LastUpdate) FROM tblItem ORDER BY ID",
            "SELECT DOCID, Title, Code, File FROM ftsItem ORDER BY DOCID",
            "SELECT ItemID, CategoryID FROM tblItemCategory ORDER BY ItemID, CategoryID",
            "SELECT ID, TypeID, Name FROM tblCategory ORDER BY ID",
            "SELECT ID, Name FROM tblType ORDER BY ID",
        };
        QString out;
        for (const char* q : queries) {
            const ResultTable t = Query(q);
            out += QString(q) + "\n";
            for (int r = 1; r <= t.RowCount(); ++r) {
                for (int c = 0; c < t.ColCount(); ++c)
                    out += (t.At(r, c).isValid() ? t.Text(r, c) : QString("<null>")) + "|";
                out += "\n";
            }
        }
        return out;
    }

    // Reports the lines in which two snapshots differ.
    static void ExpectSame(const QString& actual, const QString& expected) {
        const QStringList a = actual.split('\n'), e = expected.split('\n');
        for (qsizetype i = 0; i < qMax(a.size(), e.size()); ++i)
            EXPECT_EQ(a.value(i), e.value(i)) << "line " << i;
    }

    // Each item as what a user sees of it, without its number: language, categories (sorted),
    // title, code, UTC time and attachment. Counts how often each occurs.
    QMap<QString, int> Contents() {
        const ResultTable items =
            Query("SELECT ID, Title, Code, File, FileSize, Hex(FileBLOB), "
                  "printf('%.17g', LastUpdate) FROM qryItem ORDER BY ID");
        QMap<QString, int> out;
        for (int r = 1; r <= items.RowCount(); ++r) {
            const ResultTable cats = Query(
                "SELECT tblType.Name || '/' || tblCategory.Name FROM tblItemCategory "
                "JOIN tblCategory ON tblItemCategory.CategoryID = tblCategory.ID "
                "JOIN tblType ON tblCategory.TypeID = tblType.ID WHERE ItemID = " +
                items.Text(r, 0) + " ORDER BY 1");
            QStringList names;
            for (int c = 1; c <= cats.RowCount(); ++c) names << cats.Text(c, 0);
            QString key = names.join(",");
            for (int c = 1; c < items.ColCount(); ++c) key += "|" + items.Text(r, c);
            ++out[key];
        }
        return out;
    }

    QList<int> ids;
    int uncategorised = 0;
};
