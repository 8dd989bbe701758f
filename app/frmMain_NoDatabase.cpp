// Main window: with no database open the item pane says so and offers to create or open one,
// instead of letting the user type a whole item that cannot be saved. A new item typed all the
// same is offered to the database that File > New Database creates.
#include "app/frmMain.h"
#include "app/CodeEditor.h"

#include "db/basDB.h"
#include "util/CPrompt.h"

#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

void frmMain::BuildNoDatabasePanel() {
    fraNoDatabase = new QFrame(fraItems);
    fraNoDatabase->setObjectName(QStringLiteral("fraNoDatabase"));
    fraNoDatabase->setAutoFillBackground(true);
    auto* v = new QVBoxLayout(fraNoDatabase);
    v->addStretch(1);
    auto* text = new QLabel(QStringLiteral("No snippet database is open.\n\n"
                                           "Create a new database, or open one you have, to add and find snippets."),
                            fraNoDatabase);
    text->setObjectName(QStringLiteral("lblNoDatabase"));
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignCenter);
    v->addWidget(text);
    v->addSpacing(12);
    // No access keys: the pane's own New and Save keep theirs.
    const auto button = [&](const char* name, const QString& caption, QAction* command) {
        auto* b = new QPushButton(caption, fraNoDatabase);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, command, &QAction::trigger);
        v->addWidget(b, 0, Qt::AlignHCenter);
    };
    button("cmdNoDatabaseNew", QStringLiteral("New Database..."), mnuFileNew);
    button("cmdNoDatabaseOpen", QStringLiteral("Open Database..."), mnuFileOpen);
    v->addStretch(2);
    fraItems->installEventFilter(this);
}

void frmMain::ShowNoDatabasePanel() {
    if (!fraNoDatabase) return;
    fraNoDatabase->setGeometry(fraItems->rect());
    fraNoDatabase->raise();
    fraNoDatabase->setVisible(!IsDatabaseOpen());
}

bool frmMain::NoDatabaseEvent(QObject* watched, QEvent* event) {
    if (watched == fraItems && event->type() == QEvent::Resize && fraNoDatabase)
        fraNoDatabase->setGeometry(fraItems->rect());
    return false;
}

bool frmMain::KeepTypedItemForNewDatabase(CItem& kept) {
    // Only a new item typed in is carried over; edits of a stored item belong to its database.
    if (!m_itemChanged || m_itemId != -1) return false;
    // The language it would have been saved under here; the new database's lists have none.
    kept = EditedItem(ItemLanguage().isEmpty() ? BrowseLanguage() : ItemLanguage());
    return true;
}

void frmMain::PutBackKeptItem(const CItem& kept, bool save) {
    txtTitle->setText(kept.title);
    txtItem->setText(kept.body);
    txtItemCategories->setText(kept.CategoriesText());
    SetItemLanguage(kept.language);
    m_itemChanged = true;
    if (!save) return;
    // A failed save (no language or category yet) says why and leaves the item to finish.
    SaveCurrentItem();
}
