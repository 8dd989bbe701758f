#include "formats/CSnippetsLabReader.h"

#include "formats/CJsonFile.h"
#include "formats/CJsonLists.h"
#include "formats/CLanguageMap.h"
#include "formats/CMassCodeReader.h"
#include "formats/CVsCodeReader.h"
#include "formats/basFormatText.h"

#include <QHash>
#include <functional>

bool CSnippetsLabReader::Read(const QString& path, const Sink& sink, CReadReport& report, QString* error) {
    QByteArray bytes;
    if (!ReadSourceFile(path, bytes, error)) return false;
    CJsonLists json;
    QStringList lists;
    for (const char* list : {"folders", "tags", "snippets"})
        lists << QString::fromLatin1(list) << QStringLiteral("contents/") + QLatin1String(list);
    if (!json.Scan(bytes, path, lists, error)) return false;
    bytes.clear();  // the lists hold the text now
    // The export wraps everything in "contents"; a bare object of the same lists reads too.
    const QString in = json.Has(QStringLiteral("contents")) ? QStringLiteral("contents/") : QString();
    if (!json.IsList(in + QStringLiteral("snippets"))) {
        if (error) *error = PositionError(path, 1, 1, QStringLiteral("not a SnippetsLab export (no list of snippets)"));
        return false;
    }
    QHash<QString, QString> folders;  // uuid -> "Parent/Child"
    std::function<void(const rapidjson::Value&, const QString&, int)> walk = [&](const rapidjson::Value& f,
                                                                                const QString& parent, int depth) {
        if (depth > 64) return;
        QString title = CJsonFile::Text(f, "title").trimmed();
        if (title.isEmpty()) title = QStringLiteral("Untitled");
        const QString p = parent.isEmpty() ? title : parent + QLatin1Char('/') + title;
        folders.insert(CJsonFile::Text(f, "uuid"), p);
        if (const rapidjson::Value* children = CJsonFile::Member(f, "children"); children && children->IsArray())
            for (const auto& c : children->GetArray()) walk(c, p, depth + 1);
    };
    json.ForEach(in + QStringLiteral("folders"), [&](const rapidjson::Value& f) {
        walk(f, QString(), 0);
        return true;
    });
    QHash<QString, QString> tags;
    json.ForEach(in + QStringLiteral("tags"), [&](const rapidjson::Value& t) {
        tags.insert(CJsonFile::Text(t, "uuid"), CJsonFile::Text(t, "title"));
        return true;
    });

    const QDateTime fileTime = FileTime(path);
    report.total = json.Count(in + QStringLiteral("snippets"));
    return json.ForEach(in + QStringLiteral("snippets"), [&](const rapidjson::Value& s) {
        ++report.done;
        const QString name = CJsonFile::Text(s, "title");
        const rapidjson::Value* list = CJsonFile::Member(s, "fragments");
        QList<QPair<QString, QString>> fragments;
        QStringList notes;
        QString language;
        bool readable = s.IsObject() && list && list->IsArray() && !list->Empty();
        if (readable) {
            for (const auto& f : list->GetArray()) {
                const rapidjson::Value* content = CJsonFile::Member(f, "content");
                if (content && !content->IsString() && !content->IsNull()) readable = false;
                fragments.append({CJsonFile::Text(f, "title"), NormalizeLineEnds(CJsonFile::Text(content))});
                const QString note = NormalizeLineEnds(CJsonFile::Text(f, "note"));
                if (!note.trimmed().isEmpty()) notes << note;
                if (language.isEmpty()) language = CJsonFile::Text(f, "language");
            }
        }
        if (!readable) {
            report.skipped.append({name, QStringLiteral("no fragment with a text")});
            return true;
        }
        QStringList categories{folders.value(CJsonFile::Text(s, "folder"))};
        for (const QString& t : CJsonFile::Texts(s, "tags")) categories << tags.value(t, t);
        CImportEntry e;
        e.origin = path;
        e.item.title = ItemTitle(name);
        e.item.language = CLanguageMap::Name(language);
        const QString description = notes.join(QLatin1Char('\n'));
        e.item.body = AppendDescription(JoinFragments(fragments), description);
        e.item.categories = CleanCategories(categories, QStringLiteral("SnippetsLab"));
        QDateTime time = ParseSourceTime(CJsonFile::Text(s, "dateModified"));
        if (!time.isValid()) time = ParseSourceTime(CJsonFile::Text(s, "dateCreated"));
        e.item.lastUpdate = time.isValid() ? time : fileTime;
        if (!description.isEmpty()) e.attributes.insert(CVsCodeReader::DescriptionAttribute(), description);
        const QString uuid = CJsonFile::Text(s, "uuid");
        if (!uuid.isEmpty()) e.attributes.insert(UuidAttribute(), uuid);
        if (CJsonFile::Flag(s, "pinned")) e.attributes.insert(CMassCodeReader::FavoriteAttribute(), QStringLiteral("1"));
        return sink(e);
    });
}
