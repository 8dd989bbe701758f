// vgcli search: best first by default, --order title for the old order, --context with a marked
// line per hit, and the plain reason of a malformed query.
#include "cli/CliFixture.h"

namespace {

class SearchCliTest : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        body = env.Path("body.txt");
        first = SaveWith("Zip helpers", "def read_zip_entry(name):\n    return zipfile.ZipFile(name).read(name)\n");
        second = SaveWith("Read zip entries", "entries = archive.namelist()");
        third = SaveWith("Unrelated", "nothing to see");
    }
    int SaveWith(const QString& title, const QByteArray& code) {
        WriteFileBytes(body, code);
        return Save({"-l", "Python", "-c", "Files", "-t", title, "--body", body});
    }
    QString body;
    int first = 0, second = 0, third = 0;
};

TEST_F(SearchCliTest, HitsComeBestFirstOrByTitleWithALineOfContext) {
    const QString a = QString::number(first), b = QString::number(second);
    EXPECT_EQ(Lines(Run({"search", db, "zipEntry"})), QStringList({a + "\tZip helpers"}));
    EXPECT_EQ(Lines(Run({"search", db, "zip"})), QStringList({b + "\tRead zip entries", a + "\tZip helpers"}));
    EXPECT_EQ(Lines(Run({"search", db, "zip", "--order", "title"})),
              QStringList({b + "\tRead zip entries", a + "\tZip helpers"}));
    EXPECT_EQ(Lines(Run({"search", db, "zipfile", "--context"})),
              QStringList({a + "\tZip helpers", "\treturn [zipfile].[ZipFile](name).read(name)"}));
    EXPECT_EQ(Lines(Run({"search", db, "read_zip", "--context"})),
              QStringList({b + "\tRead zip entries", "\t[Read zip] entries", a + "\tZip helpers",
                           "\tdef [read_zip]_entry(name):"}));
    EXPECT_EQ(Run({"search", db, "--", "-zip"}).status, 1);
    const ProcessResult bad = Run({"search", db, "\"zip"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(QString::fromUtf8(bad.err).trimmed(), "Search error: unbalanced quote");
    EXPECT_EQ(Run({"search", db, "zip", "--order", "size"}).status, 2);
}

}  // namespace
