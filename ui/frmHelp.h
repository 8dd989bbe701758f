#pragma once
// The About window: title, version and web address over the help text that settings.db
// carries. Releasing Q with exactly Ctrl and Alt held in the help text opens the query tester.
#include <QDialog>

class QLabel;
class QPlainTextEdit;

class frmHelp : public QDialog {
    Q_OBJECT

public:
    explicit frmHelp(QWidget* parent = nullptr);

    // "Version 1.0.0 " and the version comment.
    static QString VersionText();
    static QString Website();

    // True after the chord hid the window for the tester: the window stays loaded for the next
    // About. Cleared when it is shown again.
    bool HiddenForTester() const { return m_hiddenForTester; }
    // How many times the help text was read from settings.db.
    int Loads() const { return m_loads; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void Form_Load();
    void OpenTester();

    QLabel* lblVersion = nullptr;
    QLabel* lblWebsite = nullptr;
    QPlainTextEdit* txtHelp = nullptr;
    bool m_hiddenForTester = false;
    int m_loads = 0;
};
