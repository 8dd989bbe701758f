#pragma once
// Two machines (each a snippet database and its sync folder) and one bare repository between
// them, all in a temporary folder; ways to edit items and compare what each machine holds.
#include "db/CSQLite.h"
#include "db/basDB.h"
#include "db/basDBItemAttributes.h"
#include "db/basDBItems.h"
#include "formats/CStoredItems.h"
#include "support/TestEnv.h"
#include "sync/CGitRepository.h"
#include "sync/CSync.h"
#include "sync/CSyncConflicts.h"

#include <QMap>
#include <memory>

struct Machine {
    QString name, dbPath, folder;
    std::unique_ptr<CSQLite> db = std::make_unique<CSQLite>();
};

class SyncTest : public ::testing::Test {
protected:
    void SetUp() override {
        remote = env.Path("remote.git");
        QString error;
        ASSERT_TRUE(CGitRepository::InitBare(remote, &error)) << error.toStdString();
        Open(a, "a");
        Open(b, "b");
    }
    void Open(Machine& m, const QString& name) {
        m.name = name;
        m.dbPath = env.Path(name + ".db");
        m.folder = env.Path(name + "-sync");
        StoreError e;
        ASSERT_TRUE(OpenDatabase(*m.db, m.dbPath, &e)) << e.text.toStdString();
    }
    CSyncSummary Sync(Machine& m, const std::function<void()>& beforePush = {}) {
        CSyncOptions o;
        o.folder = m.folder;
        o.remote = remote;
        o.machine = m.name;
        o.beforePush = beforePush;
        CSyncSummary s;
        EXPECT_TRUE(CSync::Run(*m.db, o, s)) << s.error.toStdString();
        return s;
    }
    static int Add(Machine& m, const QString& title, const QString& body, const QStringList& categories = {"Misc"}) {
        CItem item;
        item.title = title;
        item.body = body;
        item.language = QStringLiteral("C++");
        item.categories = categories;
        QString error;
        const int id = SaveItem(*m.db, item, {}, &error);
        EXPECT_GT(id, 0) << error.toStdString();
        return id;
    }
    static void Change(Machine& m, const QString& title, const std::function<void(CItem&)>& change) {
        CItem item;
        QString error;
        ASSERT_TRUE(LoadItem(*m.db, IdOf(m, title), item, &error)) << error.toStdString();
        change(item);
        item.lastUpdate = QDateTime();
        ASSERT_GT(SaveItem(*m.db, item, {}, &error), 0) << error.toStdString();
    }
    // The same item edited on both machines, synced a then b: b holds it in conflict, its own
    // body "b's" kept and a's "a's" on the other side.
    void EditOnBothSides(const QString& title, const QStringList& categories = {"Misc"}) {
        Add(a, title, "base", categories);
        Sync(a);
        Sync(b);
        Change(a, title, [](CItem& i) { i.body = "a's"; });
        Change(b, title, [](CItem& i) { i.body = "b's"; });
        Sync(a);
        ASSERT_EQ(Sync(b).conflicts, 1);
    }
    static int IdOf(Machine& m, const QString& title) {
        int id = 0;
        m.db->ForEachRow(QStringLiteral("SELECT docid FROM ftsItem WHERE Title = '%1'").arg(title), [&](const CSQLite::Row& r) {
            id = int(r.Int(0));
            return false;
        });
        return id;
    }
    // Identity -> content, what must agree between machines.
    static QMap<QString, QString> Snapshot(Machine& m) {
        QMap<QString, QString> out;
        QString error;
        EXPECT_TRUE(CStoredItems::ForEach(
            *m.db,
            [&](const CItem& i, const ItemAttributes& attributes) {
                QStringList cats = i.categories;
                cats.sort();
                out.insert(attributes.value(ItemUuidAttribute(), QStringLiteral("none %1").arg(i.id)),
                           QStringList{i.title, i.language, cats.join(','), i.body, i.fileName}.join('|'));
                return true;
            },
            &error));
        return out;
    }
    static QString Body(Machine& m, const QString& title) {
        CItem item;
        LoadItem(*m.db, IdOf(m, title), item, nullptr);
        return item.body;
    }

    TestEnv env;
    QString remote;
    Machine a, b;
};
