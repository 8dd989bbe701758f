#include "formats/CVsCodeWriter.h"

#include "db/CSQLite.h"
#include "formats/CJsonFile.h"
#include "formats/CLanguageMap.h"
#include "formats/CSafeFileName.h"
#include "formats/CSnippetSyntax.h"
#include "formats/CVsCodeReader.h"
#include "formats/basExportItems.h"
#include "formats/basFormatText.h"
#include "util/CPrompt.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QSet>
#include <map>
#include <memory>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

namespace {

using Writer = rapidjson::PrettyWriter<rapidjson::StringBuffer>;

// One language's file while it is written.
struct LanguageFile {
    rapidjson::StringBuffer buffer;
    Writer writer{buffer};
    QSet<QString> keys;  // lower case: VS Code shows the names side by side
    LanguageFile() {
        writer.SetIndent('\t', 1);
        writer.StartObject();
    }
};

void putString(Writer& w, const QString& text) {
    const QByteArray b = text.toUtf8();
    w.String(b.constData(), rapidjson::SizeType(b.size()));
}

}  // namespace

QString CVsCodeWriter::StripDescription(const QString& body, const QString& description) {
    if (description.trimmed().isEmpty() || !body.endsWith(description)) return body;
    if (body == description) return QString();
    const QString head = body.chopped(description.size());
    for (const int cut : {2, 1}) {
        if (head.size() < cut || !head.endsWith(QString(cut, QLatin1Char('\n')))) continue;
        const QString code = head.chopped(cut);
        if (AppendDescription(code, description) == body) return code;
    }
    return body;
}

QString CVsCodeWriter::SnippetBody(const CItem& item, const ItemAttributes& attributes) {
    const QString code = StripDescription(item.body, attributes.value(CVsCodeReader::DescriptionAttribute()));
    if (attributes.value(CVsCodeReader::SyntaxAttribute()) == QLatin1String("1")) return code;
    return CSnippetSyntax::Escape(code);
}

QString CVsCodeWriter::PrefixFromTitle(const QString& title) {
    QString prefix;
    bool gap = false;
    for (const QChar c : title.toLower()) {
        if (c.isLetterOrNumber()) {
            if (gap && !prefix.isEmpty()) prefix += QLatin1Char('-');
            prefix += c;
            gap = false;
        } else {
            gap = true;
        }
    }
    return prefix.isEmpty() ? QStringLiteral("snippet") : prefix;
}

bool CVsCodeWriter::Write(CSQLite& db, const QString& folder, CExportSummary& s) {
    s = CExportSummary();
    if (!db.IsOpen()) {
        s.error = CSQLite::NoDatabaseText();
        return false;
    }
    const QString root = QDir::cleanPath(QDir(folder).absolutePath());
    if ((QFileInfo(root).exists() && !QFileInfo(root).isDir()) || !QDir().mkpath(root)) {
        s.error = QStringLiteral("Not a folder: ") + folder;
        return false;
    }
    CProgressScope progress;
    progress.Text(0, QStringLiteral("Exporting to VS Code..."));
    progress.Text(1, folder);

    std::map<QString, std::unique_ptr<LanguageFile>> files;  // by file name, in order
    // The files are written once every item is in them: the last tenth of the bar.
    if (!ExportEachItem(db, progress, 90, s, [&](const CItem& item, const ItemAttributes& a, QString*) {
            const QString name = CSafeFileName::Make(CLanguageMap::VsCodeId(item.language), QStringLiteral("plaintext")) +
                                 QStringLiteral(".json");
            std::unique_ptr<LanguageFile>& f = files[name];
            if (!f) f = std::make_unique<LanguageFile>();
            QString key = item.title;
            for (int n = 2; f->keys.contains(key.toLower()); ++n) key = item.title + QStringLiteral(" (%1)").arg(n);
            f->keys.insert(key.toLower());

            Writer& w = f->writer;
            putString(w, key);
            w.StartObject();
            w.Key("prefix");
            CJsonFile prefixes;
            if (a.contains(CVsCodeReader::PrefixesAttribute()) &&
                prefixes.Parse(a.value(CVsCodeReader::PrefixesAttribute()).toUtf8(), QString(), nullptr) &&
                prefixes.Root().IsArray()) {
                w.StartArray();
                for (const auto& p : prefixes.Root().GetArray()) putString(w, CJsonFile::Text(p));
                w.EndArray();
            } else {
                putString(w, a.value(CVsCodeReader::PrefixAttribute(), PrefixFromTitle(item.title)));
            }
            w.Key("body");
            w.StartArray();
            for (const QString& line : SnippetBody(item, a).split(QLatin1Char('\n'))) putString(w, line);
            w.EndArray();
            const QString description = a.value(CVsCodeReader::DescriptionAttribute());
            if (!description.isEmpty()) {
                w.Key("description");
                putString(w, description);
            }
            if (a.contains(CVsCodeReader::ScopeAttribute())) {
                w.Key("scope");
                putString(w, a.value(CVsCodeReader::ScopeAttribute()));
            }
            if (a.contains(CVsCodeReader::FileTemplateAttribute())) {
                w.Key("isFileTemplate");
                w.Bool(true);
            }
            w.EndObject();
            return true;
        }))
        return false;
    QString error;
    for (auto& [name, f] : files) {
        f->writer.EndObject();
        QByteArray bytes(f->buffer.GetString(), qsizetype(f->buffer.GetSize()));
        bytes += '\n';
        switch (WriteIfChanged(root + QLatin1Char('/') + name, bytes, &error)) {
        case FileWrite::Written: ++s.written; break;
        case FileWrite::Unchanged: ++s.unchanged; break;
        case FileWrite::Failed: s.error = error; return false;
        }
    }
    s.completed = true;
    return true;
}
