#include "app/frmQuick.h"

#include "app/CodeEditor.h"
#include "app/frmQuickFill.h"
#include "db/basDB.h"
#include "search/CPlaceholders.h"
#include "search/CQuickQuery.h"
#include "search/CQuickSearcher.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QCursor>
#include <QDateTime>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QSplitter>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

// The result rows: title, language, categories.
class QuickListModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;
    // In place rather than reset: the view then repaints only the rows that changed and keeps
    // its layout, which matters on every typed letter.
    void SetRows(const QList<CQuickIndex::Row>& rows) {
        const int old = int(m_rows.size());
        const int now = int(rows.size());
        if (now < old) {
            beginRemoveRows(QModelIndex(), now, old - 1);
            m_rows.resize(now);
            endRemoveRows();
        }
        int first = -1, last = -1;
        for (int r = 0; r < std::min(old, now); ++r) {
            if (m_rows[r] == rows[r]) continue;
            m_rows[r] = rows[r];
            if (first < 0) first = r;
            last = r;
        }
        if (first >= 0) emit dataChanged(index(first, 0), index(last, 2));
        if (now > old) {
            beginInsertRows(QModelIndex(), old, now - 1);
            m_rows.append(rows.mid(old));
            endInsertRows();
        }
    }
    const QList<CQuickIndex::Row>& Rows() const { return m_rows; }
    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : int(m_rows.size()); }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 3; }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_rows.size()) return {};
        const CQuickIndex::Row& r = m_rows[index.row()];
        switch (index.column()) {
        case 0: return r.title;
        case 1: return r.language;
        default: return r.categories.join(QStringLiteral(", "));
        }
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (o != Qt::Horizontal || role != Qt::DisplayRole) return {};
        static const char* const names[] = {"Title", "Language", "Categories"};
        return QLatin1String(names[section]);
    }

private:
    QList<CQuickIndex::Row> m_rows;
};

frmQuick::frmQuick(QWidget* parent) : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("frmQuick"));
    setWindowTitle(QStringLiteral("Quick Find"));
    // Closing the palette never ends the program; the main window decides that.
    setAttribute(Qt::WA_QuitOnClose, false);

    txtQuick = new QLineEdit(this);
    txtQuick->setObjectName(QStringLiteral("txtQuick"));
    txtQuick->setPlaceholderText(QStringLiteral("Type part of a title or words of the code  (lang:NAME  cat:NAME)"));
    txtQuick->setClearButtonEnabled(true);

    m_model = new QuickListModel(this);
    lstQuick = new QTreeView(this);
    lstQuick->setObjectName(QStringLiteral("lstQuick"));
    lstQuick->setModel(m_model);
    lstQuick->setRootIsDecorated(false);
    lstQuick->setUniformRowHeights(true);
    lstQuick->setItemsExpandable(false);
    lstQuick->setAllColumnsShowFocus(true);
    lstQuick->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstQuick->setSelectionMode(QAbstractItemView::SingleSelection);
    lstQuick->header()->setStretchLastSection(true);
    lstQuick->setColumnWidth(0, 260);
    lstQuick->setColumnWidth(1, 80);

    txtQuickPreview = new CodeEditor(this);
    txtQuickPreview->setObjectName(QStringLiteral("txtQuickPreview"));
    txtQuickPreview->setReadOnly(true);
    txtQuickPreview->setFocusPolicy(Qt::ClickFocus);

    lblQuickStatus = new QLabel(this);
    lblQuickStatus->setObjectName(QStringLiteral("lblQuickStatus"));

    auto* split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(lstQuick);
    split->addWidget(txtQuickPreview);
    split->setStretchFactor(0, 5);
    split->setStretchFactor(1, 6);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(txtQuick);
    layout->addWidget(split, 1);
    layout->addWidget(lblQuickStatus);
    resize(900, 480);

    m_searcher = new CQuickSearcher(this);
    connect(m_searcher, &CQuickSearcher::Found, this, &frmQuick::ShowResults);
    connect(m_searcher, &CQuickSearcher::IndexLoaded, this, [this](int, const QString& error) {
        if (!error.isEmpty()) lblQuickStatus->setText(QStringLiteral("Cannot read the database: ") + error);
    });
    connect(txtQuick, &QLineEdit::textChanged, this, &frmQuick::StartSearch);
    m_previewTimer = new QTimer(this);
    m_previewTimer->setSingleShot(true);
    m_previewTimer->setInterval(kPreviewPauseMs);
    connect(m_previewTimer, &QTimer::timeout, this, &frmQuick::ShowPreview);
    connect(lstQuick->selectionModel(), &QItemSelectionModel::currentRowChanged, m_previewTimer,
            qOverload<>(&QTimer::start));
    connect(lstQuick, &QAbstractItemView::activated, this, [this] { CopyCurrent(true); });
    for (QWidget* w : std::initializer_list<QWidget*>{txtQuick, lstQuick, txtQuickPreview}) w->installEventFilter(this);
}

frmQuick::~frmQuick() = default;

void frmQuick::Popup() {
    if (!isVisible()) {
        // The store's file may have changed since the last time (File, Open).
        const QString file = IsDatabaseOpen() ? gDB->Filename() : QString();
        if (file != m_searcher->Database()) m_searcher->SetDatabase(file);
        QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
        if (!screen) screen = QGuiApplication::primaryScreen();
        if (screen) {
            const QRect area = screen->availableGeometry();
            QSize size = this->size().boundedTo(area.size());
            resize(size);
            move(area.center() - QPoint(size.width() / 2, size.height() / 2));
        }
        m_previewId = 0;  // the item may have been edited since
        txtQuick->blockSignals(true);
        txtQuick->clear();
        txtQuick->blockSignals(false);
        StartSearch();
        show();
    }
    raise();
    activateWindow();
    txtQuick->setFocus();
}

int frmQuick::ItemAt(int row) const {
    return row >= 0 && row < m_model->Rows().size() ? m_model->Rows()[row].id : 0;
}

int frmQuick::CurrentItem() const { return ItemAt(lstQuick->currentIndex().row()); }

void frmQuick::StartSearch() {
    const QString text = txtQuick->text();
    m_markWords = CQuickQuery::Parse(text).MarkWords();
    m_generation = m_searcher->Search(text);
    lblQuickStatus->setText(QStringLiteral("Searching..."));
}

void frmQuick::ShowResults(int generation, const QList<CQuickIndex::Row>& rows, int indexed) {
    if (generation != m_generation) return;
    m_model->SetRows(rows);
    if (!rows.isEmpty()) lstQuick->setCurrentIndex(m_model->index(0, 0));
    m_previewTimer->start();  // the marks follow the words even when the item stays
    if (rows.isEmpty())
        lblQuickStatus->setText(indexed == 0 && !IsDatabaseOpen() ? QStringLiteral("No database is open")
                                                                  : QStringLiteral("No item matches"));
    else
        lblQuickStatus->setText(QStringLiteral("%1 of %2 items%3")
                                    .arg(rows.size())
                                    .arg(indexed)
                                    .arg(rows.size() >= CQuickSearcher::kLimit ? QStringLiteral(" (best shown)")
                                                                               : QString()));
    emit ResultsShown(int(rows.size()));
}

void frmQuick::ShowPreview() {
    const int row = lstQuick->currentIndex().row();
    const int id = ItemAt(row);
    if (id == 0) {
        m_previewId = 0;
        txtQuickPreview->SetCode(QString());
        return;
    }
    ItemRecord rec;
    QString error;
    if (id != m_previewId) {
        if (!IsDatabaseOpen() || !LoadItem(*gDB, id, rec, &error)) rec.body.clear();
        txtQuickPreview->SetLanguage(m_model->Rows()[row].language);
        txtQuickPreview->SetCode(rec.body);
        m_previewId = id;
    }
    if (!m_markWords.isEmpty()) txtQuickPreview->MarkWords(m_markWords);
    else txtQuickPreview->ClearMarks();
}

void frmQuick::MoveSelection(int delta) {
    const int count = m_model->rowCount();
    if (count == 0) return;
    const int row = std::clamp(lstQuick->currentIndex().row() + delta, 0, count - 1);
    lstQuick->setCurrentIndex(m_model->index(row, 0));
}

bool frmQuick::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    const int page = std::max(1, lstQuick->viewport()->height() / std::max(1, lstQuick->sizeHintForRow(0)) - 1);
    switch (key->key()) {
    case Qt::Key_Up: MoveSelection(-1); return true;
    case Qt::Key_Down: MoveSelection(1); return true;
    case Qt::Key_PageUp: MoveSelection(-page); return true;
    case Qt::Key_PageDown: MoveSelection(page); return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (mods == Qt::ShiftModifier) OpenCurrent();
        else if (mods == Qt::NoModifier) CopyCurrent(true);
        return true;
    case Qt::Key_Escape: hide(); return true;
    case Qt::Key_C:
        // In the preview a selection is copied as in any text; elsewhere Ctrl+C means the item.
        if (mods == Qt::ControlModifier && !(watched == txtQuickPreview && txtQuickPreview->hasSelectedText())) {
            CopyCurrent(false);
            return true;
        }
        break;
    default: break;
    }
    return QWidget::eventFilter(watched, event);
}

void frmQuick::closeEvent(QCloseEvent* event) {
    // The window manager's close hides the palette like Esc; it stays ready for the next time.
    event->accept();
    if (m_fill) m_fill->reject();
}

void frmQuick::CopyCurrent(bool close) {
    const int row = lstQuick->currentIndex().row();
    const int id = ItemAt(row);
    if (id == 0 || m_fill || !IsDatabaseOpen()) return;
    ItemRecord rec;
    QString error;
    if (!LoadItem(*gDB, id, rec, &error)) {
        lblQuickStatus->setText(error);
        return;
    }
    QClipboard* clip = QGuiApplication::clipboard();
    QHash<QString, QString> variables = CPlaceholders::ClockVariables(QDateTime::currentDateTime());
    variables.insert(QStringLiteral("CLIPBOARD"), clip->text(QClipboard::Clipboard));
    // What the user selected last anywhere on the desktop, where the system keeps a selection.
    variables.insert(QStringLiteral("TM_SELECTED_TEXT"),
                     clip->supportsSelection() ? clip->text(QClipboard::Selection) : QString());
    const auto fields = std::make_shared<CPlaceholders>(
        rec.body, CPlaceholders::SyntaxFor(m_model->Rows()[row].language), variables);
    if (!fields->HasFields()) {
        Deliver(id, fields->Fill(), close);
        return;
    }
    m_fill = new frmQuickFill(fields->Fields(), rec.title, this);
    m_fill->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_fill, &QDialog::accepted, this, [this, id, fields, close] {
        Deliver(id, fields->Fill(m_fill->Values()), close);
    });
    connect(m_fill, &QDialog::finished, this, [this] {
        if (isVisible()) txtQuick->setFocus();
    });
    m_fill->open();
}

void frmQuick::Deliver(int itemId, const QString& text, bool close) {
    QClipboard* clip = QGuiApplication::clipboard();
    clip->setText(text, QClipboard::Clipboard);
    // X11 pastes the selection with the middle button: both hold the snippet.
    if (clip->supportsSelection()) clip->setText(text, QClipboard::Selection);
    m_searcher->RecordUse(itemId);
    lblQuickStatus->setText(QStringLiteral("Copied"));
    emit Copied(itemId, text);
    if (close) hide();
}

void frmQuick::OpenCurrent() {
    const int id = CurrentItem();
    if (id == 0) return;
    hide();
    emit OpenItemRequested(id);
}
