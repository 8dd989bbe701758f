#include "app/frmQuickFill.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

frmQuickFill::frmQuickFill(const QList<CPlaceholders::Field>& fields, const QString& title, QWidget* parent)
    : QDialog(parent), m_fields(fields) {
    setObjectName(QStringLiteral("frmQuickFill"));
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);
    for (const CPlaceholders::Field& f : fields) {
        QWidget* editor = nullptr;
        if (!f.choices.isEmpty()) {
            auto* box = new QComboBox(this);
            box->setEditable(true);
            box->setInsertPolicy(QComboBox::NoInsert);
            box->addItems(f.choices);
            // An editable list keeps Enter for itself; here it copies, as in the other fields.
            box->installEventFilter(this);
            box->lineEdit()->installEventFilter(this);
            editor = box;
        } else if (f.defaultValue.contains(QLatin1Char('\n'))) {
            auto* text = new QPlainTextEdit(f.defaultValue, this);
            text->setTabChangesFocus(true);
            editor = text;
        } else {
            auto* line = new QLineEdit(f.defaultValue, this);
            line->selectAll();
            editor = line;
        }
        editor->setObjectName(QStringLiteral("fld") + f.key);
        const bool number = !f.key.isEmpty() && f.key.front().isDigit();
        form->addRow(number ? QStringLiteral("$") + f.key : f.key, editor);
        m_editors << editor;
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&Copy"));
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // A field of several lines takes Enter as a line break.
    for (const QKeySequence& key : {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)})
        connect(new QShortcut(key, this), &QShortcut::activated, this, &QDialog::accept);
    if (!m_editors.isEmpty()) m_editors.first()->setFocus();
}

bool frmQuickFill::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

QWidget* frmQuickFill::Editor(const QString& key) const {
    for (int i = 0; i < m_fields.size(); ++i)
        if (m_fields[i].key == key) return m_editors[i];
    return nullptr;
}

QHash<QString, QString> frmQuickFill::Values() const {
    QHash<QString, QString> values;
    for (int i = 0; i < m_fields.size(); ++i) {
        QWidget* e = m_editors[i];
        QString text;
        if (auto* box = qobject_cast<QComboBox*>(e)) text = box->currentText();
        else if (auto* plain = qobject_cast<QPlainTextEdit*>(e)) text = plain->toPlainText();
        else if (auto* line = qobject_cast<QLineEdit*>(e)) text = line->text();
        values.insert(m_fields[i].key, text);
    }
    return values;
}
