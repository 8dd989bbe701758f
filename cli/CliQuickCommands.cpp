// vgcli get: the body of the best match for a quick query, placeholders filled in, for shells.
#include "cli/CliCommand.h"
#include "db/basDB.h"
#include "search/CPlaceholders.h"
#include "search/CQuickIndex.h"
#include "search/CQuickQuery.h"

#include <QDateTime>

namespace {

const QString kGetUsage = QStringLiteral("get DB QUERY [--set NAME=VALUE ...]");

int cmdGet(const CliArgs& a) {
    QHash<QString, QString> values;
    for (const QString& pair : a.Values(QStringLiteral("set"))) {
        const qsizetype eq = pair.indexOf(QLatin1Char('='));
        if (eq <= 0) {
            CliErr(QStringLiteral("vgcli: --set needs NAME=VALUE: ") + pair);
            CliErr(QStringLiteral("usage: vgcli ") + kGetUsage);
            return 2;
        }
        values.insert(pair.left(eq), pair.mid(eq + 1));
    }
    if (!CliOpenDatabase(a.positional[0])) return 1;
    // The whole query is given at once: no word of it is unfinished.
    CQuickQuery query = CQuickQuery::Parse(a.positional[1]);
    query.typing = false;
    if (!query.HasWords() && !query.HasFilters()) return CliFail(QStringLiteral("No item matches"));

    CQuickIndex index;
    QString error;
    if (!index.Load(CliDB(), &error)) return CliFail(EngineFailureMessage(CliDB(), error));
    QSet<int> bodies;
    const QString match = query.FullTextQuery();
    if (!match.isEmpty()) {
        // Titles still match when the full-text read fails; only its hits are missing then.
        const ResultTable hits = SearchItems(CliDB(), match, -1, -1, &error);
        for (int r = 1; r <= hits.RowCount(); ++r) bodies.insert(int(hits.Int(r, 0)));
    }
    const QList<CQuickIndex::Row> best = index.Search(query, bodies, 1);
    if (best.isEmpty()) return CliFail(QStringLiteral("No item matches"));

    ItemRecord item;
    if (!LoadItem(CliDB(), best.first().id, item, &error)) return CliFail(error);
    const CPlaceholders fields(item.body, CPlaceholders::SyntaxFor(best.first().language),
                               CPlaceholders::ClockVariables(QDateTime::currentDateTime()));
    QString text = fields.Fill(values);
    if (!text.endsWith(QLatin1Char('\n'))) text += QLatin1Char('\n');
    CliOutRaw(text.toUtf8());
    return 0;
}

CliRegistrar regGet({QStringLiteral("get"), kGetUsage,
                     QStringLiteral("Print the body of the best match (titles matched fuzzily, bodies by "
                                    "full text), placeholders filled from --set or their defaults."),
                     2, 2, {QStringLiteral("set")}, {}, cmdGet});

}  // namespace
