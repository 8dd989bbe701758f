#include "ui/frmSQL.h"

#include "db/CSQLite.h"
#include "db/basDB.h"
#include "db/basSqlResult.h"
#include "settings/CSettings.h"
#include "ui/DesignFont.h"
#include "ui/TextEx.h"
#include "util/CPrompt.h"
#include "util/ResultTable.h"
#include "util/basFileTools.h"

#include <QElapsedTimer>
#include <QPushButton>

#include <algorithm>
#include <optional>

namespace {

const QRect kSQL(120, 120, 6495, 1455), kResult(120, 1680, 7095, 4215);
const QRect kExec(6600, 120, 735, 495), kExecLine(6600, 600, 735, 495), kSchema(6600, 1080, 735, 495);
constexpr int kMargin = 120;

QRect Px(const QRect& twips) {
    return QRect(TwipsToPixels(twips.left()), TwipsToPixels(twips.top()),
                 TwipsToPixels(twips.width()), TwipsToPixels(twips.height()));
}


}  // namespace

frmSQL::frmSQL(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmSQL"));
    setWindowTitle(QStringLiteral("SQL Query Tester"));
    setSizeGripEnabled(true);
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    resize(TwipsToPixels(7425), TwipsToPixels(6060));

    auto text = [this](const char* name, const QRect& twips) {
        auto* t = new TextEx(this);
        t->setObjectName(QLatin1String(name));
        t->setFont(DesignFont(font(), 8.25));
        t->SetMultiLine(true);
        t->SetScrollBars(3);
        t->setGeometry(Px(twips));
        return t;
    };
    txtSQL = text("txtSQL", kSQL);
    txtResult = text("txtResult", kResult);
    txtResult->SetTabStops(QStringLiteral("32,44"));
    auto button = [this](const char* name, const QString& caption, const QRect& twips) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        b->setFont(DesignFont(font(), 8.25));
        // The design's width unless this platform's font needs more for the caption.
        QRect r = Px(twips);
        r.setWidth(qMax(r.width(), b->sizeHint().width()));
        b->setGeometry(r);
        return b;
    };
    cmdExec = button("cmdExec", QStringLiteral("&Exec"), kExec);
    cmdExecLine = button("cmdExecLine", QStringLiteral("Exec &Line"), kExecLine);
    cmdSchema = button("cmdSchema", QStringLiteral("&Schema"), kSchema);
    const int column = std::max({cmdExec->width(), cmdExecLine->width(), cmdSchema->width()});
    for (QPushButton* b : {cmdExec, cmdExecLine, cmdSchema}) b->resize(column, b->height());
    // Room beside the column as the design had it.
    resize(qMax(width(), txtResult->x() + txtResult->width() + TwipsToPixels(kMargin)), height());
    setTabOrder(txtSQL, txtResult);
    setTabOrder(txtResult, cmdExec);
    setTabOrder(cmdExec, cmdExecLine);
    setTabOrder(cmdExecLine, cmdSchema);
    setMinimumSize(1, 1);

    connect(cmdExec, &QPushButton::clicked, this, [this] { cmdExec_Click(); });
    connect(cmdExecLine, &QPushButton::clicked, this, [this] { cmdExecLine_Click(); });
    connect(cmdSchema, &QPushButton::clicked, this, [this] { cmdSchema_Click(); });
    Form_Load();
    txtSQL->setFocus();
}

void frmSQL::Form_Load() {
    txtSQL->SetText(gSettings ? gSettings->GetSetting(QStringLiteral("SQLCommand"), QString()) : QString());
    txtResult->SetText(QString());
}

void frmSQL::Form_Unload() {
    // Saved also when empty: a cleared text stays cleared next time.
    if (gSettings) gSettings->SaveSetting(QStringLiteral("SQLCommand"), txtSQL->Text());
}

// Every way of closing (the close button, Escape) ends here. While a statement runs the window
// stays: the request stops the statement, and the next one closes.
void frmSQL::done(int result) {
    if (m_running) {
        m_cancel = true;
        return;
    }
    Form_Unload();
    QDialog::done(result);
}

void frmSQL::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    LayoutControls();
}

void frmSQL::LayoutControls() {
    const int margin = TwipsToPixels(kMargin);
    const int w = width(), h = height();
    const int left = w - margin - cmdExec->width();
    for (QPushButton* b : {cmdExec, cmdExecLine, cmdSchema}) b->move(left, b->y());
    // A window made smaller than the controls squeezes them to nothing, never below.
    txtSQL->resize(qMax(0, left - txtSQL->x()), txtSQL->height());
    txtResult->resize(qMax(0, w - margin - txtResult->x()), qMax(0, h - margin - txtResult->y()));
}

void frmSQL::cmdExec_Click() { RunQuery(txtSQL->Text()); }

void frmSQL::cmdExecLine_Click() {
    const int line = txtSQL->CurrentLine();
    RunQuery(txtSQL->Text().mid(txtSQL->LineStart(line), txtSQL->LineLength(line)));
}

void frmSQL::cmdSchema_Click() {
    RunQuery(QStringLiteral("SELECT type, name, sql FROM sqlite_master"));
}

void frmSQL::RunQuery(const QString& sSQL) {
    if (m_running) return;  // a click let through by the progress window's events
    if (!IsDatabaseOpen()) {
        Prompt().MsgBox(CSQLite::NoDatabaseText(), CPrompt::vbOKOnly | CPrompt::vbExclamation,
                        QStringLiteral("SQL Error"));
        txtResult->SetText(QString());
        return;
    }
    m_running = true;
    m_cancel = false;
    for (QPushButton* b : {cmdExec, cmdExecLine, cmdSchema}) b->setEnabled(false);

    // The progress window comes only for a statement that takes a while; its Cancel (or a
    // close of this window) interrupts the engine.
    QElapsedTimer clock;
    clock.start();
    std::optional<CProgressScope> progress;
    qint64 lastUpdate = 0;
    gDB->SetProgressHandler([&] {
        const qint64 ms = clock.elapsed();
        if (ms < kProgressAfterMs || ms - lastUpdate < 50) return m_cancel;
        lastUpdate = ms;
        if (!progress) {
            progress.emplace();
            progress->Text(0, QStringLiteral("Running the query"));
        }
        progress->Text(1, QString::number(ms / 1000.0, 'f', 1) + QStringLiteral(" s"));
        if (progress->Update(int(ms / 100 % 101))) m_cancel = true;
        return m_cancel;
    });
    ResultTable vData;
    QString sError;
    gDB->Exec(sSQL, vData, sError, false);
    gDB->SetProgressHandler({});

    if (sError.isEmpty()) {
        // The rows go before the text is handed over: a large result is held once, not twice.
        const QString text = FormatResult(vData, QStringLiteral("\n"));
        vData.Clear();
        // A large text goes in in pieces under the progress window, whose Cancel leaves the
        // result empty.
        txtResult->SetLargeText(text, [&](int percent) {
            if (!progress) progress.emplace();
            progress->Text(0, QStringLiteral("Showing the result"));
            progress->Text(1, QString());
            return progress->Update(percent) || m_cancel;
        });
    }
    progress.reset();
    for (QPushButton* b : {cmdExec, cmdExecLine, cmdSchema}) b->setEnabled(true);
    m_running = false;
    if (!sError.isEmpty()) {
        txtResult->SetText(QString());
        Prompt().MsgBox(sError, CPrompt::vbOKOnly | CPrompt::vbExclamation, QStringLiteral("SQL Error"));
    }
}
