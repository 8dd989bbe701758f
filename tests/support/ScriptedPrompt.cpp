#include "ScriptedPrompt.h"

#include <QDir>
#include <gtest/gtest.h>

ScriptedPrompt::ScriptedPrompt() { m_previous = SetPrompt(this); }

ScriptedPrompt::~ScriptedPrompt() { SetPrompt(m_previous); }

int ScriptedPrompt::MsgBox(const QString& text, int style, const QString& title) {
    shown.append({QStringLiteral("msgbox"), text, style, title, {}});
    if ((style & 7) == vbOKOnly) {
        if (!answers.isEmpty() && answers.first() == vbOK) answers.removeFirst();
        return vbOK;
    }
    if (answers.isEmpty()) {
        ADD_FAILURE() << "unscripted question: " << text.toStdString();
        return vbCancel;
    }
    return answers.takeFirst();
}

bool ScriptedPrompt::InputBox(const QString& prompt, const QString& title, QString& value) {
    shown.append({QStringLiteral("input"), prompt, 0, title, value});
    if (texts.isEmpty()) {
        ADD_FAILURE() << "unscripted input box: " << prompt.toStdString();
        return false;
    }
    const QString answer = texts.takeFirst();
    if (answer.isNull()) return false;
    value = answer;
    return true;
}

QString ScriptedPrompt::FileDialog(bool save, const QString& title, const QString& initialFile,
                                   const QString& initialFolder, const QString& filter, int flags) {
    const QString proposed = initialFolder.isEmpty() ? initialFile : QDir(initialFolder).filePath(initialFile);
    shown.append({save ? QStringLiteral("save") : QStringLiteral("open"), title, flags, filter, proposed});
    if (texts.isEmpty()) {
        ADD_FAILURE() << "unscripted file dialog: " << title.toStdString();
        return {};
    }
    return texts.takeFirst();
}

void ScriptedPrompt::ProgressShow() {
    ++progressShows;
    ++openProgress;
}

void ScriptedPrompt::ProgressText(int line, const QString& text) {
    if (line == 0) shown.append({QStringLiteral("progress"), text, 0, {}, {}});
    progressLines.append(text);
}

bool ScriptedPrompt::ProgressUpdate(int) {
    ++progressUpdates;
    return cancelAtUpdate > 0 && progressUpdates == cancelAtUpdate;
}

void ScriptedPrompt::ProgressClose() { --openProgress; }

QStringList ScriptedPrompt::Messages() const {
    QStringList out;
    for (const PromptRecord& r : shown)
        if (r.kind == QLatin1String("msgbox")) out << r.text;
    return out;
}
