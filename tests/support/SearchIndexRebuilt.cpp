#include "support/SearchIndexRebuilt.h"

#include "db/CSQLite.h"
#include "search/CSearchIndex.h"

#include <QDir>
#include <QFile>

namespace {

// Every token instance of the index and every state row, one line each, in a fixed order.
QStringList indexRows(CSQLite& db, QString* error) {
    QStringList rows;
    QString e = db.Run(QStringLiteral("DROP TABLE IF EXISTS temp.vgTestVocab; CREATE VIRTUAL TABLE temp.vgTestVocab "
                                      "USING fts5vocab(main, ftsSearch, instance);"));
    const auto collect = [&](const QString& sql) {
        return e.isEmpty() && db.ForEachRow(sql,
                                            [&](const CSQLite::Row& r) {
                                                QStringList cells;
                                                for (int c = 0; c < 4; ++c) cells << r.Value(c).toString();
                                                rows << cells.join(QLatin1Char('|'));
                                                return true;
                                            },
                                            &e);
    };
    collect(QStringLiteral("SELECT term, doc, col, offset FROM temp.vgTestVocab ORDER BY doc, col, offset, term"));
    rows << QStringLiteral("--");
    collect(QStringLiteral("SELECT ItemID, Hash, hex(Indexed), '' FROM tblSearchState ORDER BY ItemID"));
    rows << QStringLiteral("--");
    collect(QStringLiteral("SELECT ItemID, typeof(Title), Title, '' FROM tblSearchTitle ORDER BY ItemID"));
    db.Run(QStringLiteral("DROP TABLE IF EXISTS temp.vgTestVocab"));
    if (error) *error = e;
    return rows;
}

}  // namespace

QString SearchIndexDifference(CSQLite& db, const QString& work) {
    if (!CSearchIndex::Exists(db)) return QStringLiteral("no index");
    QString e;
    const QStringList live = indexRows(db, &e);
    if (!e.isEmpty()) return QStringLiteral("reading the index: ") + e;
    const QString copy = QDir(work).filePath(QStringLiteral("rebuilt.db"));
    QFile::remove(copy);
    e = db.RunBound(QStringLiteral("VACUUM INTO ?1"), {copy});
    if (!e.isEmpty()) return QStringLiteral("copying: ") + e;
    CSQLite fresh;
    if (fresh.OpenFile(copy) != 0) return QStringLiteral("cannot open the copy");
    e = fresh.Run(QStringLiteral("DROP TABLE ftsSearch; DROP TABLE tblSearchState; DROP TABLE tblSearchInfo; "
                                 "DROP TABLE tblSearchTitle;"));
    if (e.isEmpty()) CSearchIndex::CatchUp(fresh, &e);
    if (!e.isEmpty()) return QStringLiteral("rebuilding: ") + e;
    const QStringList rebuilt = indexRows(fresh, &e);
    fresh.CloseFile();
    QFile::remove(copy);
    if (!e.isEmpty()) return QStringLiteral("reading the rebuilt index: ") + e;
    for (qsizetype i = 0; i < qMax(live.size(), rebuilt.size()); ++i)
        if (live.value(i) != rebuilt.value(i))
            return QStringLiteral("row %1: live '%2', rebuilt '%3' (%4 against %5 rows)")
                .arg(i)
                .arg(live.value(i), rebuilt.value(i))
                .arg(live.size())
                .arg(rebuilt.size());
    return {};
}
