#include "search/CQuickSearcher.h"

#include "db/CSQLite.h"
#include "util/basVariableTools.h"

#include <QDateTime>
#include <QList>
#include <QMetaObject>
#include <QPointer>

// What the caller asked for since the worker last looked; guarded by m_mutex.
struct CQuickSearcher::Request {
    bool stop = false;
    bool reopen = false;
    QString path;
    bool search = false;
    QString text;
    int generation = 0;
    QList<int> uses;
    // The worker's own state, touched by the worker only.
    CSQLite db;
    CQuickIndex index;
    QString openPath;
    CSQLite::Stamp stamp;
    bool loaded = false;
    bool reading = false;  // the full-text read of a search runs: a newer query may interrupt it
    // The last finished search: a query that only narrows it looks at its rows alone.
    CQuickIndex::Matched last;
    // While letters are typed, the next search's lists are kept from one letter to the next.
    CQuickIndex::Matched next;
    CQuickIndex::Scratch scratch;
    bool warm = false;
};

CQuickSearcher::CQuickSearcher(QObject* parent) : QObject(parent), m_request(std::make_unique<Request>()) {
    m_thread = std::thread([this] { Run(); });
}

CQuickSearcher::~CQuickSearcher() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_request->stop = true;
    }
    ++m_latest;  // stops a search under way
    m_wake.notify_all();
    m_thread.join();
}

void CQuickSearcher::SetDatabase(const QString& path) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_request->reopen = true;
        m_request->path = path;
    }
    m_path = path;
    m_wake.notify_all();
}

int CQuickSearcher::Search(const QString& text) {
    const int generation = ++m_latest;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_request->search = true;
        m_request->text = text;
        m_request->generation = generation;
    }
    m_wake.notify_all();
    return generation;
}

void CQuickSearcher::RecordUse(int itemId) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_request->uses << itemId;
    }
    m_wake.notify_all();
}

bool CQuickSearcher::Refresh() {
    Request& w = *m_request;
    if (w.openPath.isEmpty()) return false;
    if (!w.db.IsOpen()) {
        w.loaded = false;
        if (w.db.OpenFile(w.openPath) != 0) {
            const QString why = w.db.LastError();
            w.db.CloseFile();
            QMetaObject::invokeMethod(this, [this, why] { emit IndexLoaded(0, why); }, Qt::QueuedConnection);
            return false;
        }
        // The items are read once and then held by the index; the full-text reads of body hits
        // go through the system's file cache as well, so the engine's own cache stays small.
        w.db.Run(QStringLiteral("PRAGMA cache_size = -64"));
        // A newer query interrupts a full-text read of an older one.
        w.db.SetProgressHandler([this, &w] { return w.reading && m_latest.load() != w.generation; });
    }
    const CSQLite::Stamp now = w.db.ChangeStamp();
    if (w.loaded && now.IsValid() && now == w.stamp) return true;
    QString error;
    w.last = {};
    w.loaded = w.index.Load(w.db, &error);
    w.stamp = w.db.ChangeStamp();
    const int items = w.index.Size();
    QMetaObject::invokeMethod(this, [this, items, error] { emit IndexLoaded(items, error); }, Qt::QueuedConnection);
    return w.loaded;
}

void CQuickSearcher::Run() {
    Request& w = *m_request;
    for (;;) {
        bool reopen = false;
        bool search = false;
        QString text;
        int generation = 0;
        QList<int> uses;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            const auto work = [&w] { return w.stop || w.reopen || w.search || !w.uses.isEmpty(); };
            if (w.warm && !m_wake.wait_for(lock, std::chrono::milliseconds(kKeepListsMs), work)) {
                // Typing has stopped: the lists go back to the system.
                w.next = {};
                w.scratch = {};
                w.warm = false;
                continue;
            }
            m_wake.wait(lock, work);
            if (w.stop) return;
            reopen = w.reopen;
            w.reopen = false;
            if (reopen) w.openPath = w.path;
            search = w.search;
            w.search = false;
            text = w.text;
            generation = w.generation;
            uses.swap(w.uses);
        }
        if (reopen) {
            w.db.CloseFile();
            w.index = CQuickIndex();
            w.loaded = false;
            if (!Refresh()) continue;
        }
        for (int id : uses) {
            if (!Refresh()) break;
            const QDateTime when = QDateTime::currentDateTimeUtc();
            // A read-only file or another program's lock: the use is not counted, nothing else.
            if (CRecentUse::Record(w.db, id, when)) {
                w.stamp = w.db.ChangeStamp();  // our own write needs no reload
                w.index.NoteUse(id, CRecentUse::JulianDay(when));
            }
            w.last = {};  // the uses change the order
        }
        if (!search || generation != m_latest.load()) continue;
        w.generation = generation;
        if (!Refresh()) {
            QMetaObject::invokeMethod(this, [this, generation] { emit Found(generation, {}, 0); },
                                      Qt::QueuedConnection);
            continue;
        }
        const CQuickQuery query = CQuickQuery::Parse(text);
        const auto cancelled = [this, generation] { return m_latest.load() != generation; };
        QSet<int> bodies;
        const QString match = m_bodyHits ? query.FullTextQuery() : QString();
        if (!match.isEmpty()) {
            w.reading = true;
            w.db.ForEachRow(QStringLiteral("SELECT docid FROM ftsItem WHERE ftsItem MATCH '%1' LIMIT %2")
                                .arg(SqlEscape(match))
                                .arg(kBodyHitLimit),
                            [&](const CSQLite::Row& row) {
                                bodies.insert(int(row.Int(0)));
                                return true;
                            });
            w.reading = false;
        }
        if (cancelled()) continue;
        QList<CQuickIndex::Row> rows = w.index.Search(query, bodies, kLimit, cancelled, &w.last, &w.next, &w.scratch);
        w.warm = true;
        if (cancelled()) continue;
        std::swap(w.last, w.next);
        const int items = w.index.Size();
        QMetaObject::invokeMethod(
            this,
            [this, generation, rows = std::move(rows), items] {
                if (generation == m_latest.load()) emit Found(generation, rows, items);
            },
            Qt::QueuedConnection);
    }
}
