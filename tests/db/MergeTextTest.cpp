// A merge keeps every text: the stored one first, the joining one below under a marker line.
#include "db/basMergeText.h"

#include <gtest/gtest.h>

TEST(MergedBody, NothingTypedIsLost) {
    const QDateTime when(QDate(2026, 12, 8), QTime(17, 5), Qt::UTC);
    const QString marker = "\n\n--- Added by merge on " + when.toLocalTime().toString("yyyy-MM-dd HH:mm") + " ---\n";
    const struct { const char* stored; const char* joining; QString merged; } cases[] = {
        {"select 1", "select 2", "select 1" + marker + "select 2"},
        {"select 1\n\n  \n", "select 2", "select 1" + marker + "select 2"},
        // The first code line keeps its indentation; only blank lines before it go.
        {"def f():", "\n  \n    return 1\n", "def f():" + marker + "    return 1\n"},
        {"    pass", "    x = 1", "    pass" + marker + "    x = 1"},
        // Nothing new: the stored text stays as it is.
        {"select 1", "", "select 1"},
        {"select 1", " \n\t", "select 1"},
        {"a\nselect 1\nb", "select 1\n", "a\nselect 1\nb"},
        // Nothing stored: the joining text is the text.
        {"", "select 2", "select 2"},
        {"  \n", "select 2", "select 2"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MergedBody(c.stored, c.joining, when), c.merged) << c.stored << " + " << c.joining;
}
