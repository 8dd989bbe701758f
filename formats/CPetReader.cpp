#include "formats/CPetReader.h"

#include "formats/CLanguageMap.h"
#include "formats/basFormatText.h"

#include <string_view>
#include <toml++/toml.h>

namespace {

QString text(const toml::node* node) {
    if (!node) return {};
    if (const auto* s = node->as_string()) return QString::fromStdString(s->get());
    if (const auto* i = node->as_integer()) return QString::number(i->get());
    if (const auto* f = node->as_floating_point()) return QString::number(f->get());
    if (const auto* b = node->as_boolean()) return b->get() ? QStringLiteral("true") : QStringLiteral("false");
    return {};
}

}  // namespace

bool CPetReader::Read(const QString& path, const Sink& sink, CReadReport& report, QString* error) {
    QByteArray bytes;
    if (!ReadSourceFile(path, bytes, error)) return false;
    toml::table doc;
    try {
        doc = toml::parse(std::string_view(bytes.constData(), size_t(bytes.size())), path.toStdString());
    } catch (const toml::parse_error& e) {
        const auto& where = e.source().begin;
        if (error)
            *error = PositionError(path, int(where.line), int(where.column), QString::fromUtf8(e.description().data(), qsizetype(e.description().size())));
        return false;
    }
    const toml::array* snippets = doc["snippets"].as_array();
    if (!snippets) return true;  // a file without snippets
    const QDateTime time = FileTime(path);
    report.total = qint64(snippets->size());
    for (const toml::node& node : *snippets) {
        ++report.done;
        const toml::table* s = node.as_table();
        const QString name = s ? text(s->get("description")) : QString();
        if (!s) {
            report.skipped.append({name, QStringLiteral("not a snippet table")});
            continue;
        }
        QString body;
        bool readable = true;
        if (const toml::node* command = s->get("command"); command && command->is_string()) {
            body = text(command);
        } else if (const toml::array* commands = s->get_as<toml::array>("commands")) {
            QStringList lines;
            for (const toml::node& c : *commands) {
                if (!c.is_string()) readable = false;
                lines << text(&c);
            }
            body = lines.join(QLatin1Char('\n'));
        } else {
            readable = false;
        }
        if (!readable) {
            report.skipped.append({name, QStringLiteral("the command is neither a text nor a list of texts")});
            continue;
        }
        QStringList tags;
        if (const toml::array* t = s->get_as<toml::array>("tag")) {
            for (const toml::node& tag : *t) tags << text(&tag);
        } else if (const toml::node* one = s->get("tag")) {
            tags << text(one);
        }
        CImportEntry e;
        e.origin = path;
        e.item.title = ItemTitle(name);
        e.item.body = NormalizeLineEnds(body);
        e.item.language = CLanguageMap::Name(QStringLiteral("bash"));
        e.item.categories = CleanCategories(tags, QStringLiteral("pet"));
        e.item.lastUpdate = time;
        const QString output = text(s->get("output"));
        if (!output.isEmpty()) e.attributes.insert(OutputAttribute(), output);
        if (!sink(e)) return false;
    }
    return true;
}
