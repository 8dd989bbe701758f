#include "db/CChange.h"

QString CChange::KindName(Kind kind) {
    switch (kind) {
    case Kind::Save: return QStringLiteral("Save");
    case Kind::Delete: return QStringLiteral("Delete");
    case Kind::RenameCategory: return QStringLiteral("Rename Category");
    case Kind::Attach: return QStringLiteral("Attach");
    case Kind::ClearAttachment: return QStringLiteral("Clear Attachment");
    case Kind::Import: return QStringLiteral("Import");
    case Kind::Compact: return QStringLiteral("Compact");
    }
    return {};
}

QList<int> CChange::ItemIds() const {
    QList<int> ids;
    ids.reserve(items.size());
    for (const CItemChange& c : items) ids << c.id;
    return ids;
}
