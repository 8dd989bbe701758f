#include "formats/CJsonFile.h"

#include "formats/basFormatText.h"

#include <rapidjson/error/en.h>

bool CJsonFile::Parse(const QByteArray& bytes, const QString& file, QString* error) {
    m_bytes = QByteArray(bytes.constData(), bytes.size());
    if (ParseBuffer(file, error)) return true;
    Locate(bytes, file, error);
    return false;
}

bool CJsonFile::ParseBuffer(const QString& file, QString* error) {
    m_skip = m_bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    m_doc.ParseInsitu<kFlags>(m_bytes.data() + m_skip);
    if (!m_doc.HasParseError()) return true;
    // Only comments and blanks (VS Code's new snippets file): no value at all.
    if (m_doc.GetParseError() == rapidjson::kParseErrorDocumentEmpty) {
        m_doc.SetNull();
        return true;
    }
    if (error) *error = PositionError(file, 0, 0, ErrorText(m_doc.GetParseError()));
    return false;
}

void CJsonFile::Locate(const QByteArray& pristine, const QString& file, QString* error) const {
    int line = 0, column = 0;
    LineColumnAt(pristine, qsizetype(m_doc.GetErrorOffset()) + m_skip, line, column);
    if (error) *error = PositionError(file, line, column, ErrorText(m_doc.GetParseError()));
}

const rapidjson::Value* CJsonFile::Member(const rapidjson::Value& object, const char* name) {
    if (!object.IsObject()) return nullptr;
    const auto it = object.FindMember(name);
    return it == object.MemberEnd() ? nullptr : &it->value;
}

QString CJsonFile::Text(const rapidjson::Value* v) {
    if (!v) return {};
    if (v->IsString()) return QString::fromUtf8(v->GetString(), qsizetype(v->GetStringLength()));
    if (v->IsInt64()) return QString::number(v->GetInt64());
    if (v->IsUint64()) return QString::number(v->GetUint64());
    if (v->IsNumber()) return QString::number(v->GetDouble(), 'g', 17);
    if (v->IsBool()) return v->GetBool() ? QStringLiteral("true") : QStringLiteral("false");
    return {};
}

bool CJsonFile::Flag(const rapidjson::Value& object, const char* name) {
    const rapidjson::Value* v = Member(object, name);
    if (!v) return false;
    if (v->IsBool()) return v->GetBool();
    if (v->IsNumber()) return v->GetDouble() != 0;
    const QString t = Text(v).trimmed().toLower();
    return t == QLatin1String("true") || t == QLatin1String("1");
}

QStringList CJsonFile::Texts(const rapidjson::Value& object, const char* name) {
    const rapidjson::Value* v = Member(object, name);
    QStringList out;
    if (!v) return out;
    if (v->IsArray()) {
        for (const auto& e : v->GetArray())
            if (e.IsString() || e.IsNumber()) out << Text(e);
    } else if (v->IsString()) {
        out << Text(v);
    }
    return out;
}

QString CJsonFile::ErrorText(rapidjson::ParseErrorCode code) {
    return QString::fromUtf8(rapidjson::GetParseError_En(code));
}
