#pragma once
// Drives the real main window: hermetic folders and settings, a scripted prompt answering the
// questions, databases made through the store, and clicks and keys on the named widgets.
#include "app/CodeEditor.h"
#include "app/CApplication.h"
#include "app/frmMain.h"
#include "db/basDB.h"
#include "settings/CSettings.h"
#include "support/ScriptedPrompt.h"
#include "support/TestEnv.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <memory>
#include <utility>

struct SampleItem {
    QString language;
    QString title;
    QString body;
    QString categories;
};

// The texts the code pane marks as search hits, in order.
inline QStringList MarkedTexts(CodeEditor* code) {
    code->SendScintilla(QsciScintilla::SCI_SETINDICATORCURRENT, CodeEditor::kFindIndicator);
    const long length = code->SendScintilla(QsciScintilla::SCI_GETLENGTH);
    QStringList marked;
    for (long pos = 0; pos < length;) {
        const long end = code->SendScintilla(QsciScintilla::SCI_INDICATOREND, CodeEditor::kFindIndicator, pos);
        if (code->SendScintilla(QsciScintilla::SCI_INDICATORVALUEAT, CodeEditor::kFindIndicator, pos))
            marked << QString::fromUtf8(code->bytes(int(pos), int(end)).left(int(end - pos)));
        if (end <= pos) break;
        pos = end;
    }
    return marked;
}

// SQL (Queries, Paging) and Python (Queries, Files), four items numbered 1 to 4.
inline QList<SampleItem> FourItems() {
    return {
        {QStringLiteral("SQL"), QStringLiteral("Bravo"), QStringLiteral("select 2"), QStringLiteral("Queries")},
        {QStringLiteral("SQL"), QStringLiteral("Delta"), QStringLiteral("select 4"), QStringLiteral("Queries,Paging")},
        {QStringLiteral("Python"), QStringLiteral("Alpha"), QStringLiteral("print(1)"), QStringLiteral("Queries")},
        {QStringLiteral("Python"), QStringLiteral("Charlie"), QStringLiteral("print(3)"), QStringLiteral("Files")},
    };
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        env = std::make_unique<TestEnv>();
        prompt = std::make_unique<ScriptedPrompt>();
        dbPath = env->Path(QStringLiteral("snippets.db"));
    }

    void TearDown() override {
        win.reset();
        app.reset();
        ReleaseGlobals();
        prompt.reset();
        env.reset();
    }

    // A setting the next start of the window finds (or, while a window runs, its store).
    void Preset(const QString& name, const QString& value) {
        if (gSettings) {
            gSettings->SaveSetting(name, value);
            return;
        }
        CSettings s;
        s.SaveSetting(name, value);
    }
    QString Setting(const QString& name) {
        if (gSettings) return gSettings->GetSetting(name);
        CSettings s;
        return s.GetSetting(name);
    }

    // Makes dbPath with the items (saved in order, so item numbers count from 1) and remembers
    // it as the last database. The daily backup is switched off unless a test wants it.
    void MakeDatabase(const QList<SampleItem>& items, bool backupDaily = false) {
        InitGlobals();
        QString file = dbPath;
        ASSERT_FALSE(OpenDatabase(file).isEmpty());
        for (const SampleItem& it : items) {
            int id = -1;
            QString error;
            ASSERT_GT(SaveItem(it.language, id, it.title, it.body, it.categories,
                               QStringLiteral("2024-01-31 13:05:09"), false, TimeBase::Local, &error),
                      0)
                << error.toStdString();
        }
        ReleaseGlobals();
        Preset(QStringLiteral("LastDatabase"), dbPath);
        Preset(QStringLiteral("BackupDaily"), backupDaily ? QStringLiteral("-1") : QStringLiteral("0"));
    }

    // Works on a database with no window running, as another session would (creating it if
    // missing).
    void OnDatabase(QString file, const std::function<void()>& work) {
        InitGlobals();
        EXPECT_FALSE(OpenDatabase(file).isEmpty());
        work();
        ReleaseGlobals();
    }

    frmMain& Start() {
        // One application at a time: the one before goes first, with its connection.
        win.reset();
        app.reset();
        app = std::make_unique<CApplication>();
        win = std::make_unique<frmMain>(*app);
        win->show();
        QApplication::processEvents();
        return *win;
    }
    frmMain& StartWithFourItems() {
        MakeDatabase(FourItems());
        return Start();
    }
    // Closes the window (unless it already closed) and starts it again, as the next run of the
    // program would, finding the given settings.
    void Restart(std::initializer_list<std::pair<QString, QString>> presets = {}) {
        if (win->isVisible()) {
            ASSERT_TRUE(Close());
        }
        win.reset();
        app.reset();
        ReleaseGlobals();
        for (const auto& [name, value] : presets) Preset(name, value);
        Start();
    }
    // After the window closed its database: opens dbPath again to read what was stored.
    void Reopen() {
        InitGlobals();
        QString file = dbPath;
        OpenDatabase(file);
    }
    // Runs the closing sequence; true when the window closed.
    bool Close() {
        const bool closed = win->close();
        QApplication::processEvents();
        return closed;
    }

    // The item numbers and titles of a database file, read through a connection of its own: a
    // backup is the same database, not the same bytes.
    static QString Contents(const QString& path) {
        CSQLite db;
        if (db.OpenFile(path) != 0) return {};
        return db.LookupField(QStringLiteral("(SELECT docid || ':' || Title AS x FROM ftsItem ORDER BY docid)"),
                              QStringLiteral("group_concat(x, '|')"));
    }

    QVariant Scalar(const QString& sql) {
        ResultTable t;
        QString error;
        QVariant v = gDB->Exec(sql, t, error, true);
        EXPECT_EQ(error, QString()) << sql.toStdString();
        return v;
    }
    int ItemCount() { return Scalar(QStringLiteral("SELECT Count(*) FROM tblItem")).toInt(); }
    // A column of item id as stored in ftsItem (Title, Code, File).
    QString Stored(const char* column, int id) {
        return Scalar(QStringLiteral("SELECT %1 FROM ftsItem WHERE DOCID = %2").arg(QLatin1String(column)).arg(id))
            .toString();
    }

    template <typename T>
    T* Find(const char* name) {
        T* w = win->findChild<T*>(QLatin1String(name));
        if (!w) ADD_FAILURE() << "no " << name;
        return w;
    }
    QComboBox* Languages() { return Find<QComboBox>("cboLanguage"); }
    QListWidget* Categories() { return Find<QListWidget>("lstCategory"); }
    QListView* Titles() { return Find<QListView>("lstItem"); }
    QLineEdit* Title() { return Find<QLineEdit>("txtTitle"); }
    CodeEditor* Body() { return Find<CodeEditor>("txtItem"); }
    QStringList Marked() { return MarkedTexts(Body()); }

    QLineEdit* ItemCategories() { return Find<QLineEdit>("txtItemCategories"); }
    QString LabelText(const char* name) { return Find<QLabel>(name)->text(); }

    static QStringList Entries(const QAbstractItemView* list) {
        QStringList out;
        for (int i = 0; i < list->model()->rowCount(); ++i) out << list->model()->index(i, 0).data().toString();
        return out;
    }
    static QStringList Entries(const QComboBox* combo) {
        QStringList out;
        for (int i = 0; i < combo->count(); ++i) out << combo->itemText(i);
        return out;
    }
    static QString Selected(const QAbstractItemView* list) {
        const QModelIndex current = list->currentIndex();
        return current.isValid() && list->selectionModel()->isSelected(current) ? current.data().toString() : QString();
    }

    void Click(const char* button) { QTest::mouseClick(Find<QPushButton>(button), Qt::LeftButton); }
    void Trigger(const char* action) { Find<QAction>(action)->trigger(); }
    void ClickRow(QAbstractItemView* list, int row) {
        ASSERT_LT(row, list->model()->rowCount());
        const QModelIndex index = list->model()->index(row, 0);
        list->scrollTo(index);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(index).center());
        QApplication::processEvents();
    }
    void ClickEntry(QAbstractItemView* list, const QString& text) {
        const int row = Entries(list).indexOf(text);
        ASSERT_GE(row, 0) << text.toStdString();
        ClickRow(list, row);
    }
    void PickLanguage(const QString& text) {
        const int i = Entries(Languages()).indexOf(text);
        ASSERT_GE(i, 0) << text.toStdString();
        Languages()->setCurrentIndex(i);
    }
    // Replaces a text box's text by typing, as a user would.
    template <typename Box>
    void Type(Box* box, const QString& text) {
        box->setFocus();
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClicks(box, text);
    }
    // Typing, then the pause after which the lists follow the typed name.
    void TypeLanguage(const QString& text) {
        Type(Languages()->lineEdit(), text);
        QTest::qWait(frmMain::kTypingPauseMs + 50);
    }
    // A new item typed in and saved, as a user would.
    void AddItem(const QString& language, const QString& title, const QString& code, const QString& categories) {
        TypeLanguage(language);
        Click("cmdNew");
        QTest::keyClicks(Title(), title);
        Type(Body(), code);
        Type(ItemCategories(), categories);
        Click("cmdSave");
    }
    int CountMessages(const QString& text) const { return prompt->Messages().count(text); }

    std::unique_ptr<TestEnv> env;
    std::unique_ptr<ScriptedPrompt> prompt;
    std::unique_ptr<CApplication> app;
    std::unique_ptr<frmMain> win;
    QString dbPath;
};
