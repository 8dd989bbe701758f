#pragma once
// The SQL query tester: runs typed SQL, or the caret's line of it, on the open database and
// lists the rows as tab-separated text. Reached from the help window only.
#include <QDialog>

class QPushButton;
class TextEx;

class frmSQL : public QDialog {
    Q_OBJECT

public:
    // A long statement shows the progress window after this long; its Cancel interrupts it.
    static constexpr int kProgressAfterMs = 500;

    explicit frmSQL(QWidget* parent = nullptr);

    // Runs sSQL on gDB and fills txtResult; an engine error is shown under "SQL Error".
    void RunQuery(const QString& sSQL);
    bool Running() const { return m_running; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void done(int result) override;

private:
    void Form_Load();
    void Form_Unload();
    void LayoutControls();
    void cmdExec_Click();
    void cmdExecLine_Click();
    void cmdSchema_Click();

    TextEx* txtSQL = nullptr;
    TextEx* txtResult = nullptr;
    QPushButton* cmdExec = nullptr;
    QPushButton* cmdExecLine = nullptr;
    QPushButton* cmdSchema = nullptr;
    bool m_running = false;
    bool m_cancel = false;  // a close asked for while a statement runs
};
