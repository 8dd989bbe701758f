#pragma once
// The quick palette's placeholder form: one field per placeholder, defaults filled in, Tab from
// field to field, a list to pick from for a choice; Enter (Ctrl+Enter in a field of several
// lines) accepts, Esc cancels.
#include "search/CPlaceholders.h"

#include <QDialog>
#include <QHash>
#include <QList>

class frmQuickFill : public QDialog {
    Q_OBJECT

public:
    frmQuickFill(const QList<CPlaceholders::Field>& fields, const QString& title, QWidget* parent = nullptr);
    // What each field holds now, by placeholder key.
    QHash<QString, QString> Values() const;
    // The editor of a field (QLineEdit, QComboBox or QPlainTextEdit), named "fld" + its key.
    QWidget* Editor(const QString& key) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QList<CPlaceholders::Field> m_fields;
    QList<QWidget*> m_editors;
};
