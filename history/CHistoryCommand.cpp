#include "history/CHistoryCommand.h"

#include "db/CSQLite.h"
#include "history/CHistoryState.h"

#include <QJsonDocument>
#include <QJsonObject>

CHistoryCommand::CHistoryCommand(CSQLite& db, const QString& name, const QString& kind, Undo undo) : m_db(db) {
    CHistoryState& s = CHistoryState::Of(db);
    if (s.command) return;
    s.command = std::make_unique<CHistoryState::Command>();
    s.command->name = name;
    s.command->kind = kind;
    s.command->undo = int(undo);
    m_command = s.command.get();
    if (undo != Undo::Entry) return;
    // Languages and categories numbered above these are the command's own: its undo lets those
    // go that nothing uses by then.
    QString e;
    db.ForEachRow(QStringLiteral("SELECT (SELECT Coalesce(Max(ID), 0) FROM tblCategory), (SELECT Coalesce(Max(ID), 0) "
                                 "FROM tblType)"),
                  [&](const CSQLite::Row& r) {
                      s.command->detail = QString::fromUtf8(
                          QJsonDocument(QJsonObject{{QStringLiteral("categoriesAbove"), r.Int(0)},
                                                    {QStringLiteral("languagesAbove"), r.Int(1)}})
                              .toJson(QJsonDocument::Compact));
                      return false;
                  },
                  &e);
}

CHistoryCommand::~CHistoryCommand() {
    if (!m_command) return;
    // The file may have closed (and its state gone) while the scope lived.
    CHistoryState& s = CHistoryState::Of(m_db);
    if (s.command.get() == m_command) s.command.reset();
}

qint64 CHistoryCommand::UndoId() const {
    const CHistoryState& s = CHistoryState::Of(m_db);
    return s.command ? s.command->undoId : 0;
}
