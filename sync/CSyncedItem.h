#pragma once
// One item as the sync folder holds it: its Markdown file (the export's layout and bytes), its
// attachment beside it, and a fingerprint of its content that leaves out what differs between
// machines without being an edit (the item number, the order categories are listed in, where
// the file lies).
#include "db/CItem.h"
#include "db/basDBItemAttributes.h"

#include <QByteArray>
#include <QString>
#include <functional>

struct CSyncedItem {
    CItem item;                 // id: the number the file names (not this database's)
    ItemAttributes attributes;  // with the identity
    QString attachmentBlob;     // the attachment's blob id; empty without one
    QString attachmentFile;     // its file name beside the Markdown file (from the file)

    QString Uuid() const { return attributes.value(ItemUuidAttribute()); }
    // Content fingerprint (hex); equal for the same content on any machine.
    QString Fingerprint() const;

    // The Markdown file's folder and base name (without ".md") for this content.
    QString NaturalFolder() const;
    QString NaturalName() const;
    // path when it still suits this content (same folder, name of this title with or without a
    // number told apart), else the natural path; taken(path) says a path belongs to another item.
    QString PathFor(const QString& previous, const std::function<bool(const QString&)>& taken) const;
    // The attachment's path beside the Markdown file at mdPath.
    QString AttachmentPathFor(const QString& mdPath) const;
    // The file's bytes at mdPath, with number as the item number it names.
    QByteArray Compose(const QString& mdPath, int number) const;

    // Reads a file of ours. False with the reason when the bytes are not one (unreadable front
    // matter, no identity, a code block never closed); foreign set when the file is plainly not
    // ours (no front matter with our mark), which is no fault.
    static bool Parse(const QByteArray& bytes, const QString& path, CSyncedItem& out, QString* reason,
                      bool* foreign = nullptr);
};
