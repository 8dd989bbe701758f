#pragma once
// What one sync did.
#include <QString>
#include <QStringList>

struct CSyncSummary {
    int in = 0;         // items changed here from the other side
    int out = 0;        // items this database gave the other side
    int conflicts = 0;  // items changed on both sides; the other side kept as a conflict
    int rounds = 0;     // fetch-merge-push rounds (more than one when the remote moved meanwhile)
    QStringList skipped;  // files that could not be read, with the reason
    QString commit;     // the commit both sides now agree on
    QString error;
    bool completed = false;

    QString Text() const {
        return QStringLiteral("Synced: %1 in, %2 out, %3 conflicts").arg(in).arg(out).arg(conflicts);
    }
};
