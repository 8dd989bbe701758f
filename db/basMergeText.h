#pragma once
// What a merge does with the text of the item that joins a stored one: nothing typed is lost.
#include <QDateTime>
#include <QString>

// The stored body with the joining body added below it under a line saying where it came from
// ("--- Added by merge on 2026-12-08 17:05 ---"). The stored body alone when the joining one is
// blank or already in it; the joining body alone when the stored one is blank.
QString MergedBody(const QString& stored, const QString& joining, const QDateTime& when);
