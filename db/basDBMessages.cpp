// The store operations of the window program: each runs its silent form on gDB and shows the
// outcome through the prompt, word for word as the window always has, and keeps the settings
// that remember the last database and backup.
#include "db/basDB.h"
#include "util/CPrompt.h"

#include <QDir>
#include <QFileInfo>

static void show(const StoreError& error) {
    Prompt().MsgBox(error.text, error.critical ? CPrompt::vbCritical | CPrompt::vbOKOnly : CPrompt::vbOKOnly);
}

QString OpenDatabase(QString& sFile) {
    if (sFile.isEmpty() && gSettings) sFile = gSettings->GetSetting(QStringLiteral("LastDatabase"));
    if (sFile.isEmpty()) return {};
    StoreError error;
    bool created = false;
    if (!OpenDatabase(StoreDB(), sFile, &error, &created)) {
        // Which file was refused, so that it is not mistaken for the one that was open.
        if (!created && !error.text.contains(sFile)) error.text += QLatin1Char('\n') + QDir::toNativeSeparators(sFile);
        show(error);
        // A new file whose schema could not be written stays open, as it always has.
        if (!created) return {};
    }
    if (gSettings) gSettings->SaveSetting(QStringLiteral("LastDatabase"), sFile);
    return QFileInfo(sFile).fileName();
}

bool CreateDatabase() {
    StoreError error;
    if (CreateDatabase(StoreDB(), &error)) return true;
    show(error);
    return false;
}

bool LoadItem(int itemId, ItemRecord& rec) {
    QString error;
    if (LoadItem(StoreDB(), itemId, rec, &error)) return true;
    Prompt().MsgBox(QStringLiteral("Unable to open item. Error: ") + error, CPrompt::vbOKOnly);
    return false;
}

static MergeDecision mergeQuestion(bool ask) {
    if (!ask) return {};
    return [](int existing) {
        return Prompt().MsgBox(QStringLiteral("Merge this with existing item #") + QString::number(existing) +
                                   QLatin1Char('?'),
                               CPrompt::vbYesNo) == CPrompt::vbYes;
    };
}

int SaveItem(CItem item, bool checkDuplicate, QString* error, const QStringList& replaceLinksOf) {
    SaveOptions options;
    options.merge = mergeQuestion(checkDuplicate);
    options.replaceLinksOf = replaceLinksOf;
    return SaveItem(StoreDB(), item, options, error);
}

int SaveItem(const QString& language, int& itemId, const QString& title, const QString& body,
             const QString& categories, const QString& timeText, bool checkDuplicate, TimeBase timeBase,
             QString* error) {
    return SaveItem(StoreDB(), language, itemId, title, body, categories, timeText, mergeQuestion(checkDuplicate),
                    timeBase, error);
}

ResultTable SearchItems(const QString& search, int categoryId, int typeId, QString* error, const QString& orderBy,
                        bool* ranked) {
    QString engineError;
    ResultTable rows = SearchItems(StoreDB(), search, categoryId, typeId, &engineError, orderBy, ranked);
    if (!engineError.isEmpty())
        Prompt().MsgBox(QStringLiteral("Search error: ") + engineError, CPrompt::vbCritical | CPrompt::vbOKOnly);
    if (error) *error = engineError;
    return rows;
}

bool BackupDatabase(const QString& backupFile) {
    int code = 0;
    QString why;
    if (!BackupDatabase(StoreDB(), backupFile, &code, &why)) {
        Prompt().MsgBox(QStringLiteral("Unable to create backup.\r\nError: ") + QString::number(code) +
                            QLatin1Char(' ') + why,
                        CPrompt::vbCritical | CPrompt::vbOKOnly);
        return false;
    }
    if (gSettings) {
        gSettings->SaveSetting(QStringLiteral("BackupFile"), backupFile);
        gSettings->SaveSetting(QStringLiteral("BackupTime"), BackupTimeNow());
    }
    return true;
}
