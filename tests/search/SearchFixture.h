#pragma once
// A small database of realistic snippets saved through the store, and shorthand for searching
// it and reading the search index.
#include "db/StoreFixture.h"
#include "search/CSearch.h"
#include "search/CSearchIndex.h"

#include <sqlite3.h>

class SearchTest : public ItemStoreTest {
protected:
    struct Snippet {
        const char* language;
        const char* categories;
        const char* title;
        const char* body;
    };
    // Saves the snippets; their numbers by title.
    void SaveAll(std::initializer_list<Snippet> snippets) {
        for (const Snippet& s : snippets)
            ids.insert(QString::fromUtf8(s.title),
                       Save(QString::fromUtf8(s.language), QString::fromUtf8(s.title), QString::fromUtf8(s.categories),
                            QString::fromUtf8(s.body)));
    }
    // The titles found, in order; a malformed search fails the test.
    QStringList Titles(const QString& query, int cat = -1, int type = -1, const QString& order = {}) {
        QString error;
        const ResultTable t = CSearch::Run(db, query, cat, type, order, &error, &lastRanked);
        EXPECT_EQ(error, QString()) << query.toStdString();
        return Column(t, 1);
    }
    QString ErrorOf(const QString& query) {
        QString error;
        const ResultTable t = CSearch::Run(db, query, -1, -1, {}, &error);
        EXPECT_FALSE(t.IsFilled()) << query.toStdString();
        return error;
    }
    // Runs sql on a connection of its own, as another program would.
    void OtherProgram(const QString& sql) {
        sqlite3* other = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(dbPath).constData(), &other), SQLITE_OK);
        char* message = nullptr;
        const int rc = sqlite3_exec(other, sql.toUtf8().constData(), nullptr, nullptr, &message);
        EXPECT_EQ(rc, SQLITE_OK) << (message ? message : "") << " " << sql.toStdString();
        sqlite3_free(message);
        sqlite3_close(other);
    }
    // The index rows agree with the state rows and the items; the engine's own check.
    void ExpectIndexSound() {
        EXPECT_EQ(Count("tblSearchState"), Count("ftsItem_content"));
        EXPECT_EQ(Count("tblSearchState WHERE ItemID NOT IN (SELECT docid FROM ftsItem_content)"), 0);
        EXPECT_EQ(Count("tblSearchTitle"), Count("ftsItem_content"));
        EXPECT_EQ(Count("tblSearchTitle AS t WHERE NOT EXISTS (SELECT 1 FROM ftsItem_content AS c WHERE c.docid = "
                        "t.ItemID AND c.c0Title IS t.Title)"),
                  0);
        EXPECT_EQ(db.Run("INSERT INTO ftsSearch (ftsSearch) VALUES ('integrity-check')"), QString());
        EXPECT_EQ(Scalar("PRAGMA integrity_check").toString(), "ok");
    }

    QHash<QString, int> ids;
    bool lastRanked = false;
};
