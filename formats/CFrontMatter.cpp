#include "formats/CFrontMatter.h"

#include "formats/basFormatText.h"

#include <QVariantList>
#include <yaml-cpp/yaml.h>

namespace {

QVariant toVariant(const YAML::Node& node) {
    switch (node.Type()) {
    case YAML::NodeType::Scalar: return QString::fromStdString(node.Scalar());
    case YAML::NodeType::Sequence: {
        QVariantList list;
        for (const YAML::Node& n : node) list << toVariant(n);
        return list;
    }
    case YAML::NodeType::Map: {
        QVariantMap map;
        for (const auto& kv : node) map.insert(QString::fromStdString(kv.first.as<std::string>("")), toVariant(kv.second));
        return map;
    }
    default: return {};  // null, undefined
    }
}

// A line of bytes without its line end.
QByteArrayView lineAt(const QByteArray& bytes, qsizetype start, qsizetype* next) {
    qsizetype end = bytes.indexOf('\n', start);
    if (end < 0) end = bytes.size();
    *next = end < bytes.size() ? end + 1 : end;
    QByteArrayView line(bytes.constData() + start, end - start);
    if (line.endsWith('\r')) line.chop(1);
    return line;
}

bool isDelimiter(QByteArrayView line, bool closing) {
    QByteArray t = line.toByteArray().trimmed();
    return t == "---" || (closing && t == "...");
}

}  // namespace

bool CFrontMatter::ParseYaml(const QByteArray& yaml, const QString& file, int firstLine, QVariantMap& values,
                             QString* error) {
    try {
        const YAML::Node node = YAML::Load(yaml.toStdString());
        if (node.IsNull()) {
            values.clear();
            return true;
        }
        if (!node.IsMap()) {
            if (error) *error = PositionError(file, firstLine, 1, QStringLiteral("the front matter is not a mapping of keys"));
            return false;
        }
        values = toVariant(node).toMap();
        return true;
    } catch (const YAML::Exception& e) {
        const int line = e.mark.is_null() ? 0 : e.mark.line;
        const int column = e.mark.is_null() ? 0 : e.mark.column;
        if (error) *error = PositionError(file, firstLine + line, column + 1, QString::fromStdString(e.msg));
        return false;
    }
}

bool CFrontMatter::Parse(const QByteArray& raw, const QString& file, QString* error) {
    m_present = false;
    m_values.clear();
    m_bodyLine = 1;
    QByteArray bytes = raw.startsWith("\xEF\xBB\xBF") ? raw.mid(3) : raw;
    const qsizetype firstEnd = bytes.indexOf('\n');
    if (firstEnd > 0 && bytes[firstEnd - 1] == '\r') bytes.replace("\r\n", "\n");
    qsizetype next = 0;
    if (!isDelimiter(lineAt(bytes, 0, &next), false)) {
        m_body = QString::fromUtf8(bytes);
        return true;
    }
    const qsizetype yamlStart = next;
    int line = 2;
    for (qsizetype pos = yamlStart; pos < bytes.size(); ++line) {
        const qsizetype lineStart = pos;
        if (isDelimiter(lineAt(bytes, lineStart, &pos), true)) {
            if (!ParseYaml(bytes.mid(yamlStart, lineStart - yamlStart), file, 2, m_values, error)) return false;
            m_present = true;
            m_body = QString::fromUtf8(bytes.constData() + pos, bytes.size() - pos);
            m_bodyLine = line + 1;
            return true;
        }
    }
    if (error) *error = PositionError(file, 1, 1, QStringLiteral("the front matter is never closed by a \"---\" line"));
    return false;
}
