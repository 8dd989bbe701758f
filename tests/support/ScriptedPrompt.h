#pragma once
// A prompt for tests: answers from a script in order and records every text shown.
#include "util/CPrompt.h"

#include <QList>
#include <QString>
#include <QStringList>

struct PromptRecord {
    QString kind;   // "msgbox", "input", "open", "save", "progress"
    QString text;   // message, input prompt or dialog title; progress line 0
    int style = 0;  // message-box style, or dialog flags
    QString title;  // message-box title, or dialog filter
    QString value;  // an input box's default; a file dialog's proposed path
};

class ScriptedPrompt : public CPrompt {
public:
    ScriptedPrompt();
    ~ScriptedPrompt() override;

    // Answers given in order. Message boxes take the next int; input boxes and file dialogs the
    // next text (an empty text cancels). A question without a scripted answer fails the test.
    QList<int> answers;
    QStringList texts;
    // Cancel at the n-th progress update (1-based); 0 never.
    int cancelAtUpdate = 0;

    QList<PromptRecord> shown;
    QStringList progressLines;  // every text set on a progress line
    int progressUpdates = 0;
    int progressShows = 0;
    int openProgress = 0;  // shows minus closes, to find a window left open
    int beeps = 0;

    int MsgBox(const QString& text, int style, const QString& title) override;
    bool InputBox(const QString& prompt, const QString& title, QString& value) override;
    QString FileDialog(bool save, const QString& title, const QString& initialFile,
                       const QString& initialFolder, const QString& filter, int flags) override;
    void ProgressShow() override;
    void ProgressText(int line, const QString& text) override;
    bool ProgressUpdate(int percent) override;
    void ProgressClose() override;
    void Beep() override { ++beeps; }

    // Every message-box text, in order.
    QStringList Messages() const;

private:
    CPrompt* m_previous;
};
