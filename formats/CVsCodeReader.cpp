#include "formats/CVsCodeReader.h"

#include "formats/CJsonFile.h"
#include "formats/CLanguageMap.h"
#include "formats/CSnippetSyntax.h"
#include "formats/basFormatText.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

namespace {

bool isCodeSnippets(const QString& file) { return file.endsWith(QLatin1String(".code-snippets"), Qt::CaseInsensitive); }

// The language a snippets file is named after: its name when the table knows it, else the last
// part of the name that it knows ("vscode-go" -> "go", "my.python" -> "python"), else the name.
QString fileLanguageId(const QString& base) {
    if (CLanguageMap::IsKnown(base)) return base;
    const QStringList parts = base.split(QRegularExpression(QStringLiteral("[-_. ]")), Qt::SkipEmptyParts);
    for (qsizetype i = parts.size() - 1; i >= 0; --i)
        if (CLanguageMap::IsKnown(parts[i])) return parts[i];
    return base;
}

QString jsonText(const rapidjson::Value& v) {
    rapidjson::StringBuffer out;
    rapidjson::Writer<rapidjson::StringBuffer> writer(out);
    v.Accept(writer);
    return QString::fromUtf8(out.GetString(), qsizetype(out.GetSize()));
}

}  // namespace

bool CVsCodeReader::Read(const QString& path, const Sink& sink, CReadReport& report, QString* error) {
    const QFileInfo info(path);
    if (!info.exists()) {
        if (error) *error = QStringLiteral("No such file or folder: ") + path;
        return false;
    }
    QStringList files;
    if (info.isDir()) {
        const QDir dir(path);
        for (const QString& name : dir.entryList({QStringLiteral("*.json"), QStringLiteral("*.code-snippets")},
                                                 QDir::Files | QDir::Readable, QDir::Name))
            files << dir.filePath(name);
    } else {
        files << path;
    }
    report.total = 0;
    for (const QString& f : files) report.total += QFileInfo(f).size();
    qint64 done = 0;
    for (const QString& f : files) {
        if (!ReadFile(f, sink, report, done, error)) return false;
        done += QFileInfo(f).size();
        report.done = done;
    }
    return true;
}

bool CVsCodeReader::ReadFile(const QString& file, const Sink& sink, CReadReport& report, qint64 doneBefore,
                             QString* error) {
    CJsonFile json;
    if (!json.Load(file, error)) return false;
    const rapidjson::Value& root = json.Root();
    if (root.IsNull()) return true;  // comments only
    if (!root.IsObject()) {
        if (error) *error = PositionError(file, 1, 1, QStringLiteral("expected an object of snippets"));
        return false;
    }
    const QFileInfo info(file);
    const bool project = isCodeSnippets(file);
    const QString base = info.completeBaseName();
    const QString category = project ? base : QStringLiteral("VS Code");
    const QDateTime time = FileTime(file);
    const qint64 size = info.size();
    const qint64 count = qMax<qint64>(1, root.MemberCount());
    qint64 index = 0;
    for (auto it = root.MemberBegin(); it != root.MemberEnd(); ++it, ++index) {
        report.done = doneBefore + size * index / count;
        const QString name = CJsonFile::Text(it->name);
        const rapidjson::Value& s = it->value;
        if (!s.IsObject()) {
            report.skipped.append({name, QStringLiteral("not a snippet (an object with a body)")});
            continue;
        }
        const rapidjson::Value* bodyValue = CJsonFile::Member(s, "body");
        QString body;
        bool readable = bodyValue && (bodyValue->IsString() || bodyValue->IsArray());
        if (readable && bodyValue->IsString()) {
            body = CJsonFile::Text(bodyValue);
        } else if (readable) {
            QStringList lines;
            for (const auto& line : bodyValue->GetArray()) {
                if (!line.IsString()) {
                    readable = false;
                    break;
                }
                lines << CJsonFile::Text(line);
            }
            body = lines.join(QLatin1Char('\n'));
        }
        if (!readable) {
            report.skipped.append({name, bodyValue ? QStringLiteral("the body is neither a text nor a list of lines")
                                                   : QStringLiteral("no body")});
            continue;
        }
        CImportEntry e;
        e.origin = file;
        body = NormalizeLineEnds(body);
        // Plain text is stored as VS Code would insert it; snippet syntax as written, marked so
        // that the export writes it back unchanged.
        if (CSnippetSyntax::HasSyntax(body)) e.attributes.insert(SyntaxAttribute(), QStringLiteral("1"));
        else body = CSnippetSyntax::Unescape(body);

        if (const rapidjson::Value* prefix = CJsonFile::Member(s, "prefix")) {
            if (prefix->IsArray()) e.attributes.insert(PrefixesAttribute(), jsonText(*prefix));
            else if (prefix->IsString()) e.attributes.insert(PrefixAttribute(), CJsonFile::Text(prefix));
        }
        const QString description = NormalizeLineEnds(CJsonFile::Text(s, "description"));
        if (!description.isEmpty()) e.attributes.insert(DescriptionAttribute(), description);
        const QString scope = CJsonFile::Text(s, "scope").trimmed();
        if (!scope.isEmpty()) e.attributes.insert(ScopeAttribute(), scope);
        if (CJsonFile::Flag(s, "isFileTemplate")) e.attributes.insert(FileTemplateAttribute(), QStringLiteral("true"));

        // A project file names languages in each snippet's scope (the first one gives the
        // language); a user file is named after its language and ignores scope, as VS Code does.
        QString languageId;
        if (project) languageId = scope.section(QLatin1Char(','), 0, 0).trimmed();
        if (languageId.isEmpty()) {
            languageId = fileLanguageId(base);
            if (project && !CLanguageMap::IsKnown(languageId)) languageId.clear();
        }
        e.item.language = CLanguageMap::Name(languageId);
        e.item.title = ItemTitle(name);
        e.item.body = AppendDescription(body, description);
        e.item.categories = CleanCategories({category}, QStringLiteral("VS Code"));
        e.item.lastUpdate = time;
        if (!sink(e)) return false;
    }
    return true;
}
