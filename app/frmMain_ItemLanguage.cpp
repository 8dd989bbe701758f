// Main window: the item's own language. The browse combo only filters the lists; the item pane
// shows, saves and colours the item under the language it is filed under, so that saving never
// moves it elsewhere.
#include "app/frmMain.h"
#include "app/CodeEditor.h"
#include "app/frmMainTools.h"

#include "db/basDB.h"
#include "util/ResultTable.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include <utility>

void frmMain::BuildItemLanguage() {
    lblItemLanguage = new QLabel(QStringLiteral("Item lang&uage"), fraItems);
    lblItemLanguage->setObjectName(QStringLiteral("lblItemLanguage"));
    cboItemLanguage = new QComboBox(fraItems);
    cboItemLanguage->setObjectName(QStringLiteral("cboItemLanguage"));
    cboItemLanguage->setEditable(true);
    cboItemLanguage->setInsertPolicy(QComboBox::NoInsert);
    cboItemLanguage->setToolTip(QStringLiteral("The language this item is filed under; type a name for a new one"));
    lblItemLanguage->setBuddy(cboItemLanguage);
    connect(cboItemLanguage, &QComboBox::editTextChanged, this, [this](const QString& text) {
        txtItem->SetLanguage(text.trimmed());
        ItemText_Change();
    });
}

void frmMain::FillItemLanguages() {
    ResultTable rows;
    QString error;
    if (IsDatabaseOpen()) StoreDB().Exec(QStringLiteral("SELECT Name FROM tblType ORDER BY Name"), rows, error);
    const QString shown = cboItemLanguage->currentText();
    m_activity |= Filling;
    {
        const QSignalBlocker block(cboItemLanguage);
        cboItemLanguage->clear();
        for (int r = 1; r <= rows.RowCount(); ++r)
            if (!rows.Text(r, 0).trimmed().isEmpty()) cboItemLanguage->addItem(rows.Text(r, 0));
        cboItemLanguage->setEditText(shown);
    }
    m_activity &= ~Filling;
}

QString frmMain::ItemLanguage() const { return cboItemLanguage->currentText().trimmed(); }

QString frmMain::BrowseLanguage() const {
    const QString text = cboLanguage->currentText();
    if (text.startsWith(QLatin1String("<All Languages>"))) return {};
    return EntryName(text).trimmed();
}

void frmMain::SetItemLanguage(const QString& language) {
    m_activity |= Filling;
    {
        const QSignalBlocker block(cboItemLanguage);
        cboItemLanguage->setEditText(language);
        cboItemLanguage->lineEdit()->setCursorPosition(0);
    }
    m_activity &= ~Filling;
    txtItem->SetLanguage(language);
}

void frmMain::ShowItemLanguage() {
    // The item's links by language, in stored order. An item filed under several languages
    // shows the one being browsed when it has links there, else the first.
    ResultTable rows;
    QString error;
    StoreDB().Exec(QStringLiteral("SELECT t.Name, c.Name FROM tblItemCategory AS ic "
                                  "JOIN tblCategory AS c ON c.ID = ic.CategoryID "
                                  "JOIN tblType AS t ON t.ID = c.TypeID WHERE ic.ItemID = ") +
                       QString::number(m_itemId) + QStringLiteral(" ORDER BY ic.ROWID"),
                   rows, error);
    QString language = rows.IsFilled() ? rows.Text(1, 0) : QString();
    // After a save, the language saved under; else the browsed one.
    const QString preferred = std::exchange(m_savedLanguage, QString());
    for (const QString& wanted : {BrowseLanguage(), preferred}) {
        for (int r = 1; r <= rows.RowCount(); ++r)
            if (!wanted.isEmpty() && rows.Text(r, 0).compare(wanted, Qt::CaseInsensitive) == 0) language = rows.Text(r, 0);
    }
    QStringList categories;
    for (int r = 1; r <= rows.RowCount(); ++r)
        if (rows.Text(r, 0).compare(language, Qt::CaseInsensitive) == 0) categories << rows.Text(r, 1);
    m_loadedLanguage = language;
    SetItemLanguage(language);
    // Categories under other languages stay stored; the box holds this language's only.
    if (!rows.IsFilled()) return;
    m_activity |= Filling;
    txtItemCategories->setText(categories.join(QLatin1Char(',')));
    m_activity &= ~Filling;
}

void frmMain::StartItemLanguage() {
    m_loadedLanguage.clear();
    SetItemLanguage(BrowseLanguage());
}

bool frmMain::SelectLanguageNamed(const QString& text) {
    const QString name = text.trimmed();
    if (name.isEmpty()) return false;
    for (int i = 1; i < cboLanguage->count(); ++i) {
        if (EntryName(cboLanguage->itemText(i)).compare(name, Qt::CaseInsensitive) != 0) continue;
        cboLanguage->setCurrentIndex(i);
        cboLanguage->setEditText(cboLanguage->itemText(i));
        return true;
    }
    return false;
}
