#pragma once
// Small helpers of the main window: number and date texts as the settings keep them, and the
// file dialogs' filter.
#include <QString>
#include <QStringList>
#include <stdexcept>

// A failure inside a start-up or closing step, with the number and text the user is shown.
class VbError : public std::runtime_error {
public:
    VbError(int number, const QString& description)
        : std::runtime_error(description.toStdString()), m_number(number), m_description(description) {}
    int Number() const { return m_number; }
    QString Description() const { return m_description; }

private:
    int m_number;
    QString m_description;
};

// A setting read as a whole number ("-1", "0", " 2 ", "1.6" -> 2); empty text is 0.
// Anything else throws VbError 13 "Type mismatch".
long long WholeNumber(const QString& text);
// A date-time serial number as the settings keep it (days since 30 December 1899, the
// fraction being the time of day); throws VbError 13 for text that is no number.
double DateSerial(const QString& text);

QString DatabaseFilter();  // "Snippet Databases (*.db)|*.db|All Files|*.*|"

// The name in a language or category entry: "SQL  (12)" -> "SQL". Any other text, such as a
// name typed into the language combo, is the name as it stands, parentheses and all.
QString EntryName(const QString& text);

// The words of a search to mark in the shown text (CSearchQuery::MarkWords): operators, filters,
// excluded terms and column names left out, phrases split into words; "wid*" stays a prefix.
QStringList SearchWords(const QString& query);
