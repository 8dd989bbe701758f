// The item pane's own language: the browse combo filters, the item keeps where it is filed.
#include "MainWindowFixture.h"
#include "app/frmMainTools.h"

#include <Qsci/qscilexer.h>

namespace {

struct ItemLanguageTest : MainWindowTest {
    QComboBox* ItemLanguage() { return Find<QComboBox>("cboItemLanguage"); }
    // Every link of item id as "Language/Category", in stored order.
    QStringList Links(int id) {
        return Scalar(QStringLiteral("SELECT group_concat(x, '|') FROM (SELECT t.Name || '/' || c.Name AS x FROM "
                                     "tblItemCategory AS ic JOIN tblCategory AS c ON c.ID = ic.CategoryID JOIN tblType "
                                     "AS t ON t.ID = c.TypeID WHERE ic.ItemID = %1 ORDER BY ic.ROWID)").arg(id))
            .toString().split('|', Qt::SkipEmptyParts);
    }
    int CategoryCount(const char* language) {
        return Scalar(QStringLiteral("SELECT Count(*) FROM tblCategory WHERE TypeID = (SELECT ID FROM tblType "
                                     "WHERE Name = '%1')").arg(language)).toInt();
    }
    // The browse entry that starts with prefix (its count changes as items are saved).
    void Browse(const QString& prefix) {
        for (const QString& entry : Entries(Languages()))
            if (entry.startsWith(prefix)) return PickLanguage(entry);
        ADD_FAILURE() << prefix.toStdString();
    }
    QString Lexer() { return Body()->lexer() ? QString::fromLatin1(Body()->lexer()->language()) : QString(); }
};

}  // namespace

// Opened under one browse language, edited and saved under another or under all of them: the
// item stays where it is filed and is coloured as its own language.
TEST_F(ItemLanguageTest, SavingKeepsTheItemsLanguageWhateverTheBrowseComboShows) {
    StartWithFourItems();
    const int sqlCategories = CategoryCount("SQL");
    const struct {
        const char* openUnder;  // browse entry when the item is opened
        const char* saveUnder;  // browse entry when it is saved
    } cases[] = {
        {"Python  (2)", "SQL  (2)"},
        {"<All Languages>  (4)", "<All Languages>  (4)"},
        {"Python  (2)", "<All Languages>  (4)"},
    };
    int n = 0;
    for (const auto& c : cases) {
        PickLanguage(c.openUnder);
        ClickEntry(Titles(), "Alpha");
        EXPECT_EQ(ItemLanguage()->currentText(), "Python") << c.openUnder;
        PickLanguage(c.saveUnder);
        EXPECT_EQ(ItemLanguage()->currentText(), "Python") << c.saveUnder;
        const QString code = QStringLiteral("print(%1)").arg(++n);
        Type(Body(), code);
        EXPECT_EQ(Lexer(), "Python");
        Click("cmdSave");
        EXPECT_EQ(Stored("Code", 3), code) << c.saveUnder;
        EXPECT_EQ(Links(3), QStringList{"Python/Queries"}) << c.saveUnder;
        EXPECT_FALSE(win->ItemChanged());
    }
    EXPECT_EQ(CategoryCount("SQL"), sqlCategories);
    EXPECT_TRUE(prompt->Messages().isEmpty()) << prompt->Messages().join('|').toStdString();
}

// Links under other languages stay unless the user moves the item to another language.
TEST_F(ItemLanguageTest, OtherLanguagesLinksStayUntilTheItemIsMoved) {
    StartWithFourItems();
    // Alpha is also filed under SQL/Paging (as another program may have done).
    ASSERT_EQ(gDB->Run("INSERT INTO tblItemCategory (ItemID, CategoryID) SELECT 3, c.ID FROM tblCategory AS c "
                       "JOIN tblType AS t ON t.ID = c.TypeID WHERE t.Name = 'SQL' AND c.Name = 'Paging'"),
              QString());
    PickLanguage("Python  (2)");
    ClickEntry(Titles(), "Alpha");
    EXPECT_EQ(ItemCategories()->text(), "Queries");
    Type(ItemCategories(), "Queries,Lists");
    Click("cmdSave");
    EXPECT_EQ(Links(3), (QStringList{"SQL/Paging", "Python/Queries", "Python/Lists"}));

    // Moved to a new language: the Python links go, the SQL one stays.
    Type(ItemLanguage()->lineEdit(), "Ruby");
    EXPECT_TRUE(win->ItemChanged());
    EXPECT_EQ(Lexer(), "Ruby");
    Click("cmdSave");
    EXPECT_EQ(Links(3), (QStringList{"SQL/Paging", "Ruby/Queries", "Ruby/Lists"}));
    EXPECT_TRUE(Entries(ItemLanguage()).contains("Ruby"));
}

// A new item starts with the browsed language, and asks for one under all languages.
TEST_F(ItemLanguageTest, ANewItemTakesTheBrowsedLanguageOrAsksForOne) {
    StartWithFourItems();
    const struct {
        const char* browse;
        const char* typed;  // typed into the item's language combo; nullptr leaves it
        QString message;    // last message after Save; empty when it saved
        QString link;
    } cases[] = {
        {"SQL ", nullptr, {}, "SQL/Notes"},
        {"<All Languages>", nullptr, "Please select a language before saving", {}},
        {"<All Languages>", "python", {}, "Python/Notes"},
        {"SQL ", "Go", {}, "Go/Notes"},
    };
    int n = 0;
    for (const auto& c : cases) {
        Browse(c.browse);
        if (win->ItemChanged()) prompt->answers << CPrompt::vbNo;
        Click("cmdNew");
        EXPECT_EQ(ItemLanguage()->currentText(), c.browse[0] == '<' ? "" : "SQL") << c.browse;
        QTest::keyClicks(Title(), QStringLiteral("New %1").arg(++n));
        Type(ItemCategories(), "Notes");
        if (c.typed) Type(ItemLanguage()->lineEdit(), c.typed);
        prompt->shown.clear();
        Click("cmdSave");
        EXPECT_EQ(prompt->Messages().isEmpty() ? QString() : prompt->Messages().last(), c.message) << c.browse;
        EXPECT_EQ(Links(win->CurrentItemID()), c.link.isEmpty() ? QStringList() : QStringList{c.link}) << c.browse;
    }
}

// A language's exact name, typed or pasted in any case, selects that language.
TEST_F(ItemLanguageTest, AnExactLanguageNameSelectsIt) {
    StartWithFourItems();
    for (const auto& [typed, selected] : {std::pair{"sql", "SQL"}, {"SQL", "SQL"}, {"  Python ", "Python"}}) {
        TypeLanguage(typed);
        EXPECT_EQ(EntryName(Languages()->currentText()), selected) << typed;
        EXPECT_GT(Languages()->currentIndex(), 0) << typed;
    }
    EXPECT_EQ(Entries(Categories()), (QStringList{"<All Categories>  (2)", "Files  (1)", "Queries  (1)"}));
}
