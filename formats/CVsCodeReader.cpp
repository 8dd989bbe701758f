#include "formats/CVsCodeReader.h"

#include "formats/CJsonFile.h"
#include "formats/CLanguageMap.h"
#include "formats/CSnippetSyntax.h"
#include "formats/basFormatText.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <functional>
#include <rapidjson/reader.h>
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

namespace {

// What one snippet entry held, gathered while the parser streams through it.
struct RawSnippet {
    QString name;
    bool isObject = true;
    bool hasBody = false, bodyReadable = true;
    QStringList bodyLines;
    bool bodyIsText = false;
    QStringList prefixes;
    bool prefixIsList = false, hasPrefix = false;
    QString description, scope;
    bool fileTemplate = false;
};

// Streams a snippets file: the parser hands over keys and values and only the current snippet is
// held, so a large file costs little more than its own bytes.
class SnippetHandler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, SnippetHandler> {
public:
    std::function<bool(RawSnippet&)> take;  // false stops the parse
    bool stopped = false;
    bool rootIsObject = true;

    bool Default() { return Scalar(Kind::Other, {}); }
    bool Bool(bool b) { return Scalar(Kind::Bool, b ? QStringLiteral("true") : QString()); }
    bool String(const char* s, rapidjson::SizeType n, bool) {
        return Scalar(Kind::Text, QString::fromUtf8(s, qsizetype(n)));
    }
    bool StartObject() { return Open(true); }
    bool StartArray() { return Open(false); }
    bool EndObject(rapidjson::SizeType) { return Close(); }
    bool EndArray(rapidjson::SizeType) { return Close(); }
    bool Key(const char* s, rapidjson::SizeType n, bool) {
        const QString key = QString::fromUtf8(s, qsizetype(n));
        if (m_skip > 0) return true;
        if (m_depth == 1) {
            m_snippet = RawSnippet();
            m_snippet.name = key;
        }
        else if (m_depth == 2) m_field = key;
        return true;
    }

private:
    enum class Kind { Text, Bool, Other };

    bool Scalar(Kind kind, const QString& text) {
        if (m_skip > 0) return true;
        switch (m_depth) {
        case 0: rootIsObject = false; return true;
        case 1:  // a snippet that is not an object
            m_snippet.isObject = false;
            return Emit();
        case 2:
            if (m_field == QLatin1String("body")) {
                m_snippet.hasBody = true;
                m_snippet.bodyReadable = kind == Kind::Text;
                m_snippet.bodyIsText = true;
                m_snippet.bodyLines = {text};
            } else if (m_field == QLatin1String("prefix") && kind == Kind::Text) {
                m_snippet.hasPrefix = true;
                m_snippet.prefixes = {text};
            } else if (m_field == QLatin1String("description") && kind == Kind::Text) {
                m_snippet.description = text;
            } else if (m_field == QLatin1String("scope") && kind == Kind::Text) {
                m_snippet.scope = text;
            } else if (m_field == QLatin1String("isFileTemplate")) {
                m_snippet.fileTemplate = kind == Kind::Bool && !text.isEmpty();
            }
            return true;
        case 3:  // an element of a list at a snippet's field
            if (m_field == QLatin1String("body")) {
                if (kind == Kind::Text) m_snippet.bodyLines << text;
                else m_snippet.bodyReadable = false;
            } else if (m_field == QLatin1String("prefix") && kind == Kind::Text) {
                m_snippet.prefixes << text;
            }
            return true;
        default: return true;
        }
    }
    bool Open(bool object) {
        if (m_skip > 0) {
            ++m_skip;
            return true;
        }
        switch (m_depth) {
        case 0:
            if (!object) rootIsObject = false;
            break;
        case 1:
            if (!object) {  // a list where a snippet should be: skipped whole
                m_snippet.isObject = false;
                m_skip = 1;
                return true;
            }
            break;
        case 2:
            if (!object && m_field == QLatin1String("body")) {
                m_snippet.hasBody = true;
                m_snippet.bodyReadable = true;
                m_snippet.bodyIsText = false;
                m_snippet.bodyLines.clear();
            } else if (!object && m_field == QLatin1String("prefix")) {
                m_snippet.hasPrefix = true;
                m_snippet.prefixIsList = true;
                m_snippet.prefixes.clear();
            } else {
                if (m_field == QLatin1String("body")) {
                    m_snippet.hasBody = true;
                    m_snippet.bodyReadable = false;
                }
                m_skip = 1;
                return true;
            }
            break;
        default:  // nested deeper: a body line that is no text
            if (m_field == QLatin1String("body")) m_snippet.bodyReadable = false;
            m_skip = 1;
            return true;
        }
        ++m_depth;
        return rootIsObject;
    }
    bool Close() {
        if (m_skip > 0) {
            if (--m_skip == 0 && m_depth == 1) return Emit();
            return true;
        }
        --m_depth;
        if (m_depth == 1) return Emit();
        return true;
    }
    bool Emit() {
        if (take(m_snippet)) return true;
        stopped = true;
        return false;
    }

    int m_depth = 0;
    int m_skip = 0;  // > 0 while inside a value that is skipped whole
    RawSnippet m_snippet;
    QString m_field;
};

}  // namespace

bool CVsCodeReader::ReadFile(const QString& file, const Sink& sink, CReadReport& report, qint64 doneBefore,
                             QString* error) {
    QByteArray bytes;
    if (!ReadWholeFile(file, bytes, error)) return false;
    const QFileInfo info(file);
    const bool project = isCodeSnippets(file);
    const QString base = info.completeBaseName();
    const QString category = project ? base : QStringLiteral("VS Code");
    const QDateTime time = FileTime(file);
    const qsizetype skip = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    rapidjson::StringStream stream(bytes.constData() + skip);

    SnippetHandler handler;
    handler.take = [&](RawSnippet& raw) {
        report.done = doneBefore + qint64(stream.Tell());
        const QString& name = raw.name;
        if (!raw.isObject) {
            report.skipped.append({name, QStringLiteral("not a snippet (an object with a body)")});
            return true;
        }
        if (!raw.hasBody || !raw.bodyReadable) {
            report.skipped.append({name, raw.hasBody ? QStringLiteral("the body is neither a text nor a list of lines")
                                                     : QStringLiteral("no body")});
            return true;
        }
        CImportEntry e;
        e.origin = file;
        QString body = NormalizeLineEnds(raw.bodyLines.join(QLatin1Char('\n')));
        // Plain text is stored as VS Code would insert it; snippet syntax as written, marked so
        // that the export writes it back unchanged.
        if (CSnippetSyntax::HasSyntax(body)) e.attributes.insert(SyntaxAttribute(), QStringLiteral("1"));
        else body = CSnippetSyntax::Unescape(body);
        if (raw.hasPrefix && raw.prefixIsList) {
            rapidjson::StringBuffer out;
            rapidjson::Writer<rapidjson::StringBuffer> writer(out);
            writer.StartArray();
            for (const QString& p : std::as_const(raw.prefixes)) {
                const QByteArray b = p.toUtf8();
                writer.String(b.constData(), rapidjson::SizeType(b.size()));
            }
            writer.EndArray();
            e.attributes.insert(PrefixesAttribute(), QString::fromUtf8(out.GetString(), qsizetype(out.GetSize())));
        } else if (raw.hasPrefix) {
            e.attributes.insert(PrefixAttribute(), raw.prefixes.value(0));
        }
        const QString description = NormalizeLineEnds(raw.description);
        if (!description.isEmpty()) e.attributes.insert(DescriptionAttribute(), description);
        const QString scope = raw.scope.trimmed();
        if (!scope.isEmpty()) e.attributes.insert(ScopeAttribute(), scope);
        if (raw.fileTemplate) e.attributes.insert(FileTemplateAttribute(), QStringLiteral("true"));

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
        return sink(e);
    };
    rapidjson::Reader reader;
    reader.Parse<CJsonFile::kFlags>(stream, handler);
    if (handler.stopped) return false;
    if (!handler.rootIsObject) {
        if (error) *error = PositionError(file, 1, 1, QStringLiteral("expected an object of snippets"));
        return false;
    }
    if (reader.HasParseError() && reader.GetParseErrorCode() != rapidjson::kParseErrorDocumentEmpty) {
        int line = 0, column = 0;
        LineColumnAt(bytes, qsizetype(reader.GetErrorOffset()) + skip, line, column);
        if (error) *error = PositionError(file, line, column, CJsonFile::ErrorText(reader.GetParseErrorCode()));
        return false;
    }
    return true;
}
