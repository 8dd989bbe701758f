#include "formats/CTheWayReader.h"

#include "formats/CJsonFile.h"
#include "formats/CLanguageMap.h"
#include "formats/basFormatText.h"

#include <rapidjson/stream.h>

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

bool CTheWayReader::Read(const QString& path, const Sink& sink, CReadReport& report, QString* error) {
    QByteArray bytes;
    if (!ReadSourceFile(path, bytes, error)) return false;
    const QDateTime fileTime = FileTime(path);
    const char* const begin = bytes.constData();
    qsizetype pos = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    report.total = bytes.size();

    auto take = [&](const rapidjson::Value& o) {
        const QString name = CJsonFile::Text(o, "description");
        const rapidjson::Value* code = CJsonFile::Member(o, "code");
        if (!o.IsObject() || !code || !(code->IsString() || code->IsNull())) {
            report.skipped.append({name, o.IsObject() ? QStringLiteral("the code is not a text")
                                                      : QStringLiteral("not a snippet (an object)")});
            return true;
        }
        CImportEntry e;
        e.origin = path;
        e.item.title = ItemTitle(name);
        e.item.body = NormalizeLineEnds(CJsonFile::Text(code));
        QString language = CJsonFile::Text(o, "language");
        if (language.trimmed().isEmpty()) {
            const QString ext = CJsonFile::Text(o, "extension");
            if (!ext.isEmpty()) language = CLanguageMap::FromFileName(QStringLiteral("x.") + ext.section(QLatin1Char('.'), -1));
        }
        e.item.language = CLanguageMap::Name(language);
        e.item.categories = CleanCategories(CJsonFile::Texts(o, "tags"), QStringLiteral("the-way"));
        QDateTime time = ParseSourceTime(CJsonFile::Text(o, "updated"));
        if (!time.isValid()) time = ParseSourceTime(CJsonFile::Text(o, "date"));
        e.item.lastUpdate = time.isValid() ? time : fileTime;
        const QString index = CJsonFile::Text(o, "index");
        if (!index.isEmpty()) e.attributes.insert(IndexAttribute(), index);
        return sink(e);
    };

    while (true) {
        // Blanks and comments between values.
        while (pos < bytes.size() && isBlank(begin[pos])) ++pos;
        if (pos >= bytes.size()) break;
        rapidjson::StringStream stream(begin + pos);
        rapidjson::Document doc;
        doc.ParseStream<CJsonFile::kFlags | rapidjson::kParseStopWhenDoneFlag>(stream);
        if (doc.HasParseError()) {
            if (doc.GetParseError() == rapidjson::kParseErrorDocumentEmpty) break;  // trailing comments
            int line = 0, column = 0;
            LineColumnAt(bytes, pos + qsizetype(doc.GetErrorOffset()), line, column);
            if (error) *error = PositionError(path, line, column, CJsonFile::ErrorText(doc.GetParseError()));
            return false;
        }
        pos += qsizetype(stream.Tell());
        report.done = pos;
        if (doc.IsArray()) {
            for (const auto& o : doc.GetArray())
                if (!take(o)) return false;
        } else if (!take(doc)) {
            return false;
        }
    }
    return true;
}
