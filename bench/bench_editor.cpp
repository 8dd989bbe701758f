// The code pane with large items (offscreen): from the click on a title to the painted pane,
// highlighting included, and from a typed character to the repainted pane.
// Usage: bench_editor [--runs R]   (default 5; medians are shown)
// Figures only; nothing is asserted.
#include "BenchDatabase.h"
#include "BenchStats.h"
#include "BenchWindow.h"

#include "app/CodeEditor.h"
#include "app/frmMain.h"
#include "db/basDB.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

void Settle() {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

void ClickRow(QAbstractItemView* list, int row) {
    const QModelIndex index = list->model()->index(row, 0);
    list->scrollTo(index);
    const QPoint at = list->visualRect(index).center();
    QWidget* w = list->viewport();
    QMouseEvent press(QEvent::MouseButtonPress, at, w->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, {});
    QApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), Qt::LeftButton, {}, {});
    QApplication::sendEvent(w, &release);
}

// C++ of about the given size, lines of about 60 characters with a mix of tokens.
QString Code(qint64 bytes) {
    static const char* lines[] = {
        "    for (int i = 0; i < count; ++i) { total += values[i]; } // sum",
        "    const std::string name = \"item\" + std::to_string(index);",
        "    /* keep the order */ if (a < b && (c || d)) return {a, b};",
        "static int Lookup(const Table& t, int key) { return t.at(key); }",
    };
    QString s;
    s.reserve(int(bytes) + 100);
    for (int i = 0; s.size() < bytes; ++i) s += QLatin1String(lines[i % 4]) + QLatin1Char('\n');
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = RunsArgument(app.arguments(), 5);
    BenchSpec none;
    none.items = 0;
    none.languages = 0;
    const QString empty = BenchDatabaseOrExit(none);
    BenchWindowEnv env;
    env.StartWith(BenchWorkCopy(empty, env.Path(QStringLiteral("editor.db"))));
    BenchProgram win;
    win->resize(1000, 700);
    win->show();
    Settle();

    struct Size {
        const char* title;
        qint64 bytes;
    };
    // Titles sort as listed: the small item first.
    const Size sizes[] = {{"a small", 200}, {"b 10,000 lines", 640 * 1000}, {"c 5 MB", 5 * 1000 * 1000}};
    for (const Size& s : sizes) {
        int id = -1;
        QString error;
        if (!SaveItem(QStringLiteral("C++"), id, QLatin1String(s.title), Code(s.bytes), QStringLiteral("Bench"),
                      QStringLiteral("2024-01-31 13:05:09"), false, TimeBase::Local, &error)) {
            std::fprintf(stderr, "cannot save: %s\n", qPrintable(error));
            return 1;
        }
    }
    win->findChild<QAction*>(QStringLiteral("mnuEditFindClear"))->trigger();
    Settle();
    auto* languages = win->findChild<QComboBox*>(QStringLiteral("cboLanguage"));
    languages->setCurrentIndex(1);  // C++, so that the pane highlights
    Settle();
    auto* titles = win->findChild<QAbstractItemView*>(QStringLiteral("lstItem"));
    auto* code = win->findChild<CodeEditor*>(QStringLiteral("txtItem"));
    std::printf("Code pane, %s, C++ highlighting, median of %d runs, wall ms\n",
                qPrintable(languages->currentText()), runs);
    // Leaving an edited item does not save it.
    env.prompt.answer = CPrompt::vbNo;
    std::printf("%-34s %9s %9s %14s\n", "item", "lines", "click", "typed char");
    for (int row = 1; row <= 2; ++row) {
        std::vector<double> click, typed;
        int lines = 0;
        for (int r = 0; r < runs; ++r) {
            ClickRow(titles, 0);
            Settle();
            QElapsedTimer t;
            t.start();
            ClickRow(titles, row);
            Settle();
            code->repaint();
            click.push_back(t.nsecsElapsed() / 1e6);
            lines = code->lines();
            // A character typed in the middle of the text.
            code->setFocus();
            code->setCursorPosition(lines / 2, 10);
            Settle();
            t.restart();
            QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
            QApplication::sendEvent(code, &press);
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
            QApplication::sendEvent(code, &release);
            Settle();
            code->repaint();
            typed.push_back(t.nsecsElapsed() / 1e6);
        }
        std::printf("%-34s %9d %9.1f %14.2f\n", qPrintable(titles->model()->index(row, 0).data().toString()), lines,
                    median(click), median(typed));
    }
    std::printf("peak memory %lld KB\n", static_cast<long long>(peakKb()));
    win->close();
    return 0;
}
