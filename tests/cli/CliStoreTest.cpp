#include "CliFixture.h"

#include <QFile>
#include <QRegularExpression>
#include <sys/resource.h>

namespace {

class CliStore : public CliTest {
protected:
    // A listing of names and counts: each line ends with the name and its count.
    static void ExpectTails(const ProcessResult& r, const QStringList& tails) {
        const QStringList lines = Lines(r);
        EXPECT_EQ(r.status, 0);
        ASSERT_EQ(lines.size(), tails.size());
        for (int i = 0; i < tails.size(); ++i) EXPECT_TRUE(lines[i].endsWith(tails[i])) << lines[i].toStdString();
    }
};

TEST_F(CliStore, SaveShowListAndSearch) {
    const QString bodyFile = env.Path("body.txt");
    WriteFileBytes(bodyFile, "int main() { return 'x'; }\n// it's done;\tDROP TABLE tblItem;");
    const int a = Save({"-l", "C++", "-c", " Sorting , Files", "-t", "Quick sort", "--body", bodyFile});
    ASSERT_GT(a, 0);
    // Each line of a body is UTF-8 or Windows-1252 on its own; a title's TAB and line ends are
    // shown escaped, so a record stays one line.
    const int b = Save({"-l", "c++", "-c", "sorting", "-t", "Bubble\tsort\r\nv2", "--body", "-"},
                       "from stdin caf\xc3\xa9\ncaf\xe9\n");
    const int c = Save({"--language", "VB", "--category", "Sorting", "--title", "O'Brien's pivot"});
    EXPECT_EQ(b, a + 1);
    EXPECT_EQ(c, a + 2);

    ProcessResult r = Run({"show", db, QString::number(a)});
    ASSERT_EQ(r.status, 0) << r.err.toStdString();
    const QRegularExpression head(QString("^Item#\\t%1\\nTitle\\tQuick sort\\nCategories\\tSorting,Files\\n"
                                          "Updated\\t\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d\\n\\n").arg(a));
    EXPECT_TRUE(head.match(QString::fromUtf8(r.out)).hasMatch()) << r.out.toStdString();
    // The code text exactly as stored, nothing added.
    EXPECT_TRUE(r.out.endsWith("\n\nint main() { return 'x'; }\n// it's done;\tDROP TABLE tblItem;"));

    r = Run({"show", db, QString::number(b)});
    EXPECT_EQ(r.out.split('\n')[1], "Title\tBubble\\tsort\\r\\nv2");
    EXPECT_TRUE(r.out.endsWith("\n\nfrom stdin caf\xc3\xa9\ncaf\xc3\xa9\n"));

    ExpectTails(Run({"languages", db}), {"\tC++\t2", "\tVB\t1"});
    ExpectTails(Run({"categories", db, "-l", "c++"}), {"\tFiles\t1", "\tSorting\t2"});
    EXPECT_EQ(Lines(Run({"categories", db})).size(), 3);

    const QString la = QString::number(a) + "\tQuick sort", lb = QString::number(b) + "\tBubble\\tsort\\r\\nv2",
                  lc = QString::number(c) + "\tO'Brien's pivot";
    EXPECT_EQ(Lines(Run({"list", db})), QStringList({lb, lc, la}));
    EXPECT_EQ(Lines(Run({"list", db, "-o", "created", "-l", "C++", "-c", "SORTING"})), QStringList({la, lb}));
    EXPECT_EQ(Lines(Run({"list", db, "--order=size"})).size(), 3);
    EXPECT_EQ(Lines(Run({"list", db, "-o", "modified", "-c", "files"})).size(), 1);

    EXPECT_EQ(Lines(Run({"search", db, "sort"})).size(), 2);
    EXPECT_EQ(Lines(Run({"search", db, "O'Brien"})), QStringList({lc}));
    r = Run({"search", db, "sort", "-l", "vb"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(Lines(r).isEmpty());
    r = Run({"search", db, "\"sort"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.startsWith("Search error: ")) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
}

TEST_F(CliStore, AnEndlessBodyFailsWithAMessage) {
    // Under a memory limit the body runs out of memory before it reaches the content limit.
    rlimit old{};
    getrlimit(RLIMIT_AS, &old);
    rlimit cap = old;
    cap.rlim_cur = rlim_t(768) << 20;
    setrlimit(RLIMIT_AS, &cap);
    ProcessResult r = Run({"save", db, "-l", "C", "-c", "X", "--body", "/dev/zero"});
    setrlimit(RLIMIT_AS, &old);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Not enough memory for save\n");
}

TEST_F(CliStore, SaveUpdatesMergesOnlyWhenAskedAndFailsOnReadOnlyFiles) {
    const int a = Save({"-l", "C++", "-c", "Sorting", "-t", "Quick sort"});
    // Without --merge the same title makes a second item.
    const int b = Save({"-l", "C++", "-c", "Files", "-t", "Quick sort"});
    EXPECT_NE(a, b);
    const int merged = Save({"-l", "C++", "-c", "Algorithms", "-t", "Quick sort", "--merge"});
    EXPECT_TRUE(merged == a || merged == b);
    EXPECT_TRUE(QString::fromUtf8(Run({"show", db, QString::number(merged)}).out).contains("Algorithms"));
    EXPECT_EQ(Lines(Run({"list", db})).size(), 2);

    EXPECT_EQ(Save({"-l", "C++", "-c", "Files", "-t", "Renamed", "--id", QString::number(a)}), a);
    EXPECT_TRUE(Run({"show", db, QString::number(a)}).out.contains("Title\tRenamed\nCategories\tFiles\n"));
    EXPECT_EQ(Save({"-l", "C++", "-c", "Files", "-t", "Numbered", "--id", "900"}), 900);

    EXPECT_EQ(Run({"save", db, "-c", "Files"}).status, 2);
    EXPECT_EQ(Run({"save", db, "-l", "C++"}).status, 2);
    EXPECT_EQ(Run({"save", db, "-l", "C++", "-c", "x", "--id", "abc"}).status, 2);
    EXPECT_EQ(Run({"save", db, "-l", "C++", "-c", "x", "--body", env.Path("missing.txt")}).status, 1);
    EXPECT_EQ(Lines(Run({"list", db})).size(), 3);

    QFile::setPermissions(db, QFileDevice::ReadOwner);
    const ProcessResult r = Run({"save", db, "-l", "C++", "-c", "Files", "-t", "Refused"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.startsWith("Unable to save the item: ")) << r.err.toStdString();
    EXPECT_EQ(Run({"delete", db, QString::number(a)}).status, 1);
    EXPECT_EQ(Run({"rename-category", db, "C++", "Files", "Other"}).status, 1);
    EXPECT_EQ(Run({"vacuum", db}).status, 1);
    EXPECT_EQ(Lines(Run({"list", db})).size(), 3);
}

TEST_F(CliStore, DeleteRenameVacuumAndBackup) {
    Save({"-l", "C++", "-c", "Sorting", "-t", "One"});
    Save({"-l", "C++", "-c", "Sorting,Files", "-t", "Two"});
    const int c = Save({"-l", "VB", "-c", "Old", "-t", "Three"});

    ProcessResult r = Run({"rename-category", db, "c++", "sorting", "FILES"});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
    ExpectTails(Run({"categories", db, "-l", "C++"}), {"\tFiles\t2"});
    EXPECT_EQ(Run({"rename-category", db, "C++", "Nope", "X"}).status, 1);
    EXPECT_EQ(Run({"rename-category", db, "Cobol", "Files", "X"}).err, "No such language: Cobol\n");
    EXPECT_EQ(Run({"rename-category", db, "C++", "Files", "  "}).status, 2);

    r = Run({"delete", db, QString::number(c)});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.isEmpty());
    r = Run({"delete", db, QString::number(c)});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "No such item: " + QByteArray::number(c) + "\n");
    EXPECT_EQ(Run({"delete", db, "x"}).status, 2);
    EXPECT_EQ(Run({"show", db, QString::number(c)}).status, 1);
    EXPECT_EQ(Run({"show", db, "x"}).status, 2);

    EXPECT_EQ(Run({"sql", db, "SELECT Count(*) FROM tblType"}).out, "0.\tCount(*)\t\n1.\t2\t\n");
    r = Run({"vacuum", db});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(Run({"sql", db, "SELECT Count(*) FROM tblType"}).out, "0.\tCount(*)\t\n1.\t1\t\n");

    const QString target = env.Path("copy.db");
    WriteFileBytes(target, "old");
    r = Run({"backup", db, target});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
    EXPECT_EQ(Lines(Run({"list", target})).size(), 2);
    r = Run({"backup", db, env.Path("missing/dir/copy.db")});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.startsWith("Unable to create backup.")) << r.err.toStdString();
    EXPECT_EQ(Lines(Run({"list", db})).size(), 2);

    EXPECT_EQ(Run({"list", env.Path("nothere.db")}).status, 1);
    EXPECT_EQ(Run({"list", db, "-o", "bogus"}).status, 2);
    EXPECT_EQ(Run({"list", db, "-l", "Cobol"}).err, "No such language: Cobol\n");
    EXPECT_EQ(Run({"list", db, "-c", "Nope"}).err, "No such category: Nope\n");
    EXPECT_EQ(Run({"backup", db}).status, 2);
}

// Titles another program stored as raw bytes: `list` prints each one as `show` does (a leading
// byte order mark dropped, Windows-1252 converted, a NUL kept).
TEST_F(CliStore, ListShowsStoredTitlesAsShowDoes) {
    for (const char* bytes : {"EFBBBF414243", "41E99342", "410042", "EFBBBFEFBBBF41"}) {
        const int id = Save({"-l", "C", "-c", "raw", "-t", "x"});
        ASSERT_EQ(Run({"sql", db, QString("UPDATE ftsItem SET Title = CAST(X'%1' AS TEXT) WHERE docid = %2")
                                      .arg(bytes).arg(id)}).status, 0);
        QByteArray shown;
        for (const QByteArray& line : Run({"show", db, QString::number(id)}).out.split('\n'))
            if (line.startsWith("Title\t")) shown = line.mid(6);
        QByteArray listed;
        for (const QByteArray& line : Run({"list", db}).out.split('\n'))
            if (line.startsWith(QByteArray::number(id) + '\t')) listed = line.mid(line.indexOf('\t') + 1);
        EXPECT_EQ(listed, shown) << bytes;
    }
}

}  // namespace
