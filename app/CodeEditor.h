#pragma once
// The code pane: a QScintilla editor that highlights by language, numbers its lines and marks
// search hits. Lines end with LF inside; a loaded text comes back as it was stored unless edited.
#include <Qsci/qsciscintilla.h>

#include <QFont>
#include <QStringList>

class CodeEditor : public QsciScintilla {
    Q_OBJECT

public:
    static constexpr int kTabWidth = 4;
    static constexpr int kFindIndicator = 8;  // the first indicator left to containers

    explicit CodeEditor(QWidget* parent = nullptr);

    // Shows a stored text: no undo reaches back before it, and the search marks go.
    void SetCode(const QString& stored);
    // The text to store: the loaded one unchanged when the shown text was not edited.
    QString Code() const;

    // Picks the highlighting for a language name; unknown names show plain text.
    void SetLanguage(const QString& language);
    void SetCodeFont(const QFont& font);

    // Marks where the words of a search match (CSearchMarks): identifier parts included,
    // case-insensitively; "wid*" marks parts starting so.
    void MarkWords(const QStringList& words);
    void ClearMarks();
    bool HasMarks() const { return m_marked; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void ApplyColours();
    void RepeatIndentation();  // after a line break: the indentation of the line above
    void FitLineNumbers();

    QString m_stored;  // as loaded
    QString m_shown;   // as loaded, with LF line ends
    QString m_lexerKey;
    QFont m_font;
    bool m_loading = false;
    bool m_marked = false;
    int m_digits = 0;
};
