#include "sync/CSyncedItem.h"

#include "formats/CFrontMatter.h"
#include "formats/CMarkdownReader.h"
#include "formats/CMarkdownWriter.h"
#include "formats/CSafeFileName.h"
#include "formats/basFormatText.h"

#include <QCryptographicHash>
#include <QFileInfo>

namespace {
void feed(QCryptographicHash& h, const QString& text) {
    const QByteArray b = text.toUtf8();
    h.addData(QByteArray::number(b.size()) + ':');
    h.addData(b);
}
}  // namespace

QString CSyncedItem::Fingerprint() const {
    QCryptographicHash h(QCryptographicHash::Sha1);
    feed(h, item.title);
    feed(h, item.body);
    feed(h, item.language);
    QStringList cats = item.categories;
    cats.sort();
    feed(h, cats.join(QChar(0)));
    feed(h, item.fileName);
    feed(h, attachmentBlob);
    for (auto it = attributes.cbegin(); it != attributes.cend(); ++it) {
        feed(h, it.key());
        feed(h, it.value());
    }
    return QString::fromLatin1(h.result().toHex());
}

QString CSyncedItem::NaturalFolder() const {
    return CSafeFileName::Make(item.language, QStringLiteral("Text")) + QLatin1Char('/') +
           CSafeFileName::Make(item.categories.value(0), QStringLiteral("Uncategorized"));
}

QString CSyncedItem::NaturalName() const { return CSafeFileName::Make(item.title); }

QString CSyncedItem::PathFor(const QString& previous, const std::function<bool(const QString&)>& taken) const {
    const QString folder = NaturalFolder(), name = NaturalName();
    if (!previous.isEmpty()) {
        const QFileInfo p(previous);
        const QString base = p.fileName().chopped(3);
        if (p.path() == folder && (base == name || (base.startsWith(name + QStringLiteral(" (")) && base.endsWith(QLatin1Char(')')))))
            return previous;
    }
    QString path = folder + QLatin1Char('/') + name + QStringLiteral(".md");
    // Two items of one name in one folder are told apart by the identity's start, which every
    // machine sees the same.
    for (int n = 8; taken(path) && n <= 36; n += 4)
        path = folder + QLatin1Char('/') + name + QStringLiteral(" (%1).md").arg(Uuid().left(n));
    return path;
}

QString CSyncedItem::AttachmentPathFor(const QString& mdPath) const {
    if (!item.HasAttachment()) return {};
    return mdPath.chopped(3) + QLatin1Char('.') + CSafeFileName::Make(item.fileName, QStringLiteral("attachment"));
}

QByteArray CSyncedItem::Compose(const QString& mdPath, int number) const {
    CItem shown = item;
    shown.id = number;
    const QString att = AttachmentPathFor(mdPath);
    return CMarkdownWriter::Compose(shown, attributes, att.isEmpty() ? QString() : QFileInfo(att).fileName());
}

bool CSyncedItem::Parse(const QByteArray& bytes, const QString& path, CSyncedItem& out, QString* reason,
                        bool* foreign) {
    if (foreign) *foreign = false;
    CFrontMatter fm;
    QString error;
    if (!fm.Parse(bytes, path, &error)) {
        if (reason) *reason = error;
        return false;
    }
    const QVariantMap& v = fm.Values();
    if (!fm.Present() || !v.contains(CMarkdownWriter::MarkKey())) {
        if (foreign) *foreign = true;
        if (reason) *reason = path + QStringLiteral(": not an item's file");
        return false;
    }
    const QString uuid = v.value(QStringLiteral("uuid")).toString().trimmed();
    if (uuid.isEmpty()) {
        if (reason) *reason = path + QStringLiteral(": no uuid");
        return false;
    }
    const QStringList lines = fm.Body().split(QLatin1Char('\n'));
    qsizetype open = -1, close = -1;
    FindCodeBlock(lines, open, close);
    if (open < 0 || close < 0) {
        if (reason) *reason = PositionError(path, fm.BodyLine(), 1, QStringLiteral("no closed code block"));
        return false;
    }
    CSyncedItem s;
    s.item.body = lines.mid(open + 1, close - open - 1).join(QLatin1Char('\n'));
    CMarkdownReader::FillItem(v, QString(), s.item);
    s.item.id = v.value(QStringLiteral("number")).toString().toInt();
    const QVariantMap attributes = v.value(QStringLiteral("attributes")).toMap();
    for (auto it = attributes.cbegin(); it != attributes.cend(); ++it) s.attributes.insert(it.key(), it.value().toString());
    s.attributes.insert(ItemUuidAttribute(), uuid);
    s.attachmentFile = v.value(QStringLiteral("attachment_file")).toString();
    if (!s.attachmentFile.isEmpty()) {
        if (!CSafeFileName::IsSafe(s.attachmentFile)) {
            if (reason) *reason = path + QStringLiteral(": attachment name with a folder part");
            return false;
        }
        s.item.fileName = v.value(QStringLiteral("attachment"), s.attachmentFile).toString();
        if (s.item.fileName.isEmpty()) s.item.fileName = s.attachmentFile;
    }
    out = std::move(s);
    return true;
}
