#include "formats/CMassCodeReader.h"

#include "formats/CFrontMatter.h"
#include "formats/CJsonFile.h"
#include "formats/CJsonLists.h"
#include "formats/CLanguageMap.h"
#include "formats/CVsCodeReader.h"
#include "formats/basFormatText.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <optional>

namespace {

const QString kInbox = QStringLiteral("Inbox");

bool truthy(const QVariant& v) {
    const QString t = v.toString().trimmed().toLower();
    return t == QLatin1String("true") || t == QLatin1String("1") || t == QLatin1String("yes");
}

// The fragments of a vault file's body: each a heading "## Fragment: LABEL" and one fenced
// block. Files of older versions fenced with three backticks even around code holding such a
// line, so a block ends at the last fence line before the next declared fragment's heading.
bool readFragments(const QString& body, const QStringList& labels, QList<QPair<QString, QString>>& fragments,
                   QStringList& infoStrings) {
    const QStringList lines = body.split(QLatin1Char('\n'));
    auto headingLabel = [&](qsizetype i) -> std::optional<QString> {
        const QString t = lines[i].trimmed();
        if (!t.startsWith(QLatin1String("## Fragment:"))) return std::nullopt;
        return t.mid(12).trimmed();
    };
    // Where each fragment's heading is: the declared labels in order, or every heading.
    QList<qsizetype> starts;
    qsizetype from = 0;
    for (qsizetype l = 0; l < labels.size(); ++l) {
        qsizetype found = -1;
        for (qsizetype i = from; i < lines.size() && found < 0; ++i)
            if (headingLabel(i) == labels[l].trimmed()) found = i;
        if (found < 0) break;
        starts << found;
        from = found + 1;
    }
    if (starts.size() != labels.size() || labels.isEmpty()) {
        starts.clear();
        for (qsizetype i = 0; i < lines.size(); ++i)
            if (headingLabel(i)) starts << i;
    }
    const bool headings = !starts.isEmpty();
    if (!headings) starts << -1;  // a file of one block without a heading
    for (qsizetype f = 0; f < starts.size(); ++f) {
        const qsizetype end = f + 1 < starts.size() ? starts[f + 1] : lines.size();
        qsizetype open = -1;
        int fence = 0;
        for (qsizetype i = starts[f] + 1; i < end && open < 0; ++i)
            if ((fence = FenceLength(lines[i])) > 0) open = i;
        if (open < 0) {
            if (!headings) return true;  // no code at all
            return false;
        }
        qsizetype close = -1;
        for (qsizetype i = end - 1; i > open && close < 0; --i)
            if (IsClosingFence(lines[i], fence)) close = i;
        if (close < 0) return false;
        const QString label = headings ? headingLabel(starts[f]).value_or(QString()) : QString();
        fragments.append({label, lines.mid(open + 1, close - open - 1).join(QLatin1Char('\n'))});
        infoStrings << lines[open].trimmed().mid(fence).trimmed();
    }
    return true;
}

}  // namespace

bool CMassCodeReader::Read(const QString& path, const Sink& sink, CReadReport& report, QString* error) {
    const QFileInfo info(path);
    if (!info.exists()) {
        if (error) *error = QStringLiteral("No such file or folder: ") + path;
        return false;
    }
    if (info.isDir()) {
        // A folder holding db.json is massCode's storage folder of the older versions.
        const QString db = path + QStringLiteral("/db.json");
        if (QFileInfo(db).isFile()) return ReadDatabase(db, sink, report, error);
        return ReadVault(path, sink, report, error);
    }
    return ReadDatabase(path, sink, report, error);
}

bool CMassCodeReader::ReadDatabase(const QString& file, const Sink& sink, CReadReport& report, QString* error) {
    QByteArray bytes;
    if (!ReadSourceFile(file, bytes, error)) return false;
    CJsonLists json;
    if (!json.Scan(bytes, file, {QStringLiteral("folders"), QStringLiteral("tags"), QStringLiteral("snippets")}, error))
        return false;
    bytes.clear();  // the lists hold the text now
    if (!json.IsList(QStringLiteral("snippets"))) {
        if (error) *error = PositionError(file, 1, 1, QStringLiteral("not a massCode database (no list of snippets)"));
        return false;
    }
    struct Folder {
        QString name, parent, language;
    };
    QHash<QString, Folder> folders;
    json.ForEach(QStringLiteral("folders"), [&](const rapidjson::Value& f) {
        folders.insert(CJsonFile::Text(f, "id"),
                       {CJsonFile::Text(f, "name"), CJsonFile::Text(f, "parentId"), CJsonFile::Text(f, "defaultLanguage")});
        return true;
    });
    QHash<QString, QString> tags;
    json.ForEach(QStringLiteral("tags"), [&](const rapidjson::Value& t) {
        tags.insert(CJsonFile::Text(t, "id"), CJsonFile::Text(t, "name"));
        return true;
    });
    // "Linux/Git": the names from the top down; a loop in the parents ends the path.
    auto folderPath = [&](const QString& id) {
        QStringList names;
        QSet<QString> seen;
        for (QString f = id; !f.isEmpty() && folders.contains(f) && !seen.contains(f); f = folders[f].parent) {
            seen.insert(f);
            names.prepend(folders[f].name.trimmed().isEmpty() ? QStringLiteral("Untitled") : folders[f].name.trimmed());
        }
        return names.join(QLatin1Char('/'));
    };

    const QDateTime fileTime = FileTime(file);
    report.total = json.Count(QStringLiteral("snippets"));
    return json.ForEach(QStringLiteral("snippets"), [&](const rapidjson::Value& s) {
        ++report.done;
        const QString name = CJsonFile::Text(s, "name");
        if (!s.IsObject()) {
            report.skipped.append({name, QStringLiteral("not a snippet (an object)")});
            return true;
        }
        if (CJsonFile::Flag(s, "isDeleted")) {
            ++report.deleted;
            return true;
        }
        QList<QPair<QString, QString>> fragments;
        QString language;
        bool readable = true;
        if (const rapidjson::Value* content = CJsonFile::Member(s, "content"); content && content->IsArray()) {
            for (const auto& f : content->GetArray()) {
                const rapidjson::Value* value = CJsonFile::Member(f, "value");
                if (value && !value->IsString() && !value->IsNull()) readable = false;
                fragments.append({CJsonFile::Text(f, "label"), NormalizeLineEnds(CJsonFile::Text(value))});
                if (language.isEmpty()) language = CJsonFile::Text(f, "language");
            }
        } else if (CJsonFile::Member(s, "content")) {
            readable = false;
        }
        if (!readable) {
            report.skipped.append({name, QStringLiteral("a fragment's value is not a text")});
            return true;
        }
        const QString folderId = CJsonFile::Text(s, "folderId");
        if (language.isEmpty() && folders.contains(folderId)) language = folders[folderId].language;
        const QString path = folderPath(folderId);
        QStringList categories{path.isEmpty() ? kInbox : path};
        for (const QString& t : CJsonFile::Texts(s, "tagsIds")) categories << tags.value(t, t);

        CImportEntry e;
        e.origin = file;
        e.item.title = ItemTitle(name);
        e.item.language = CLanguageMap::Name(language);
        const QString description = NormalizeLineEnds(CJsonFile::Text(s, "description"));
        e.item.body = AppendDescription(fragments.isEmpty() ? QString() : JoinFragments(fragments), description);
        e.item.categories = CleanCategories(categories, kInbox);
        const QDateTime updated = ParseSourceTime(CJsonFile::Text(s, "updatedAt"));
        e.item.lastUpdate = updated.isValid() ? updated : fileTime;
        const QString id = CJsonFile::Text(s, "id");
        if (!id.isEmpty()) e.attributes.insert(IdAttribute(), id);
        if (!description.isEmpty()) e.attributes.insert(CVsCodeReader::DescriptionAttribute(), description);
        if (CJsonFile::Flag(s, "isFavorites")) e.attributes.insert(FavoriteAttribute(), QStringLiteral("1"));
        return sink(e);
    });
}

bool CMassCodeReader::ReadVault(const QString& folder, const Sink& sink, CReadReport& report, QString* error) {
    const QString root = QDir(folder).absolutePath();
    // Every Markdown file under the vault, in a fixed order; the hidden .masscode folder holds
    // the inbox and the trash, other hidden folders are not massCode's.
    QStringList files;
    QDirIterator it(root, {QStringLiteral("*.md")}, QDir::Files | QDir::Hidden | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QString rel = QDir(root).relativeFilePath(file);
        const QStringList parts = rel.split(QLatin1Char('/'));
        bool hidden = false;
        for (qsizetype i = 0; i + 1 < parts.size(); ++i)
            if (parts[i].startsWith(QLatin1Char('.')) && !(i == 0 && parts[i] == QLatin1String(".masscode")))
                hidden = true;
        if (!hidden) files << file;
    }
    files.sort();
    report.total = files.size();
    // A folder's name as its metadata gives it (the folder's own name otherwise).
    QHash<QString, QString> names;
    auto folderName = [&](const QString& dir) {
        if (names.contains(dir)) return names[dir];
        QString name = QFileInfo(dir).fileName();
        for (const char* meta : {"/.meta.yaml", "/.masscode-folder.yml"}) {
            QByteArray bytes;
            if (!QFileInfo(dir + QLatin1String(meta)).isFile() || !ReadWholeFile(dir + QLatin1String(meta), bytes, nullptr))
                continue;
            QVariantMap map;
            if (CFrontMatter::ParseYaml(bytes, dir + QLatin1String(meta), 1, map, nullptr) &&
                !map.value(QStringLiteral("name")).toString().trimmed().isEmpty())
                name = map.value(QStringLiteral("name")).toString().trimmed();
            break;
        }
        names.insert(dir, name);
        return name;
    };

    for (const QString& file : std::as_const(files)) {
        ++report.done;
        const QString rel = QDir(root).relativeFilePath(file);
        const bool inTrash = rel.startsWith(QLatin1String(".masscode/trash/"));
        const bool inSystem = rel.startsWith(QLatin1String(".masscode/"));
        QByteArray bytes;
        if (!ReadWholeFile(file, bytes, error)) return false;
        CFrontMatter fm;
        if (!fm.Parse(bytes, file, error)) return false;
        const QVariantMap& meta = fm.Values();
        const QString name = meta.contains(QStringLiteral("name")) ? meta.value(QStringLiteral("name")).toString()
                                                                   : QFileInfo(file).completeBaseName();
        if (inTrash || truthy(meta.value(QStringLiteral("isDeleted")))) {
            ++report.deleted;
            continue;
        }
        if (!fm.Present()) {
            report.skipped.append({rel, QStringLiteral("not a massCode snippet (no front matter)")});
            continue;
        }
        // The declared fragments, in order; the body's headings and fences give their texts.
        QStringList labels, languages;
        for (const QVariant& c : meta.value(QStringLiteral("contents")).toList()) {
            const QVariantMap m = c.toMap();
            labels << m.value(QStringLiteral("label")).toString();
            languages << m.value(QStringLiteral("language")).toString();
        }
        QList<QPair<QString, QString>> fragments;
        QStringList infoStrings;
        if (!readFragments(fm.Body(), labels, fragments, infoStrings)) {
            report.skipped.append({name, QStringLiteral("a fragment's code block is not closed")});
            continue;
        }
        QString language = languages.value(0);
        if (language.isEmpty()) language = infoStrings.value(0);

        QStringList categories;
        const QString dirRel = QFileInfo(rel).path();
        if (!inSystem && dirRel != QLatin1String(".")) {
            QStringList path;
            QString dir = root;
            for (const QString& part : dirRel.split(QLatin1Char('/'))) {
                dir += QLatin1Char('/') + part;
                path << folderName(dir);
            }
            categories << path.join(QLatin1Char('/'));
        } else {
            categories << kInbox;
        }
        for (const QVariant& t : meta.value(QStringLiteral("tags")).toList()) categories << t.toString();

        CImportEntry e;
        e.origin = file;
        e.item.title = ItemTitle(name);
        e.item.language = CLanguageMap::Name(language);
        QString description = meta.value(QStringLiteral("description")).toString();
        description = NormalizeLineEnds(description);
        e.item.body = AppendDescription(fragments.isEmpty() ? QString() : JoinFragments(fragments), description);
        e.item.categories = CleanCategories(categories, kInbox);
        const QDateTime updated = ParseSourceTime(meta.value(QStringLiteral("updatedAt")).toString());
        e.item.lastUpdate = updated.isValid() ? updated : FileTime(file);
        const QString id = meta.value(QStringLiteral("id")).toString();
        if (!id.isEmpty()) e.attributes.insert(IdAttribute(), id);
        if (!description.isEmpty()) e.attributes.insert(CVsCodeReader::DescriptionAttribute(), description);
        if (truthy(meta.value(QStringLiteral("isFavorites")))) e.attributes.insert(FavoriteAttribute(), QStringLiteral("1"));
        if (!sink(e)) return false;
    }
    return true;
}
