#include "formats/CJsonLists.h"

#include "formats/CJsonFile.h"
#include "formats/basFormatText.h"

#include <rapidjson/reader.h>

// Follows the parser through the text. Only the root object, the members on the way to a wanted
// list and the lists themselves get a frame; everything below is counted, not kept.
class JsonListsHandler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, JsonListsHandler> {
public:
    JsonListsHandler(CJsonLists& target, const QStringList& lists, const rapidjson::StringStream& stream, qsizetype base)
        : m_target(target), m_stream(stream), m_base(base) {
        for (const QString& l : lists) {
            const QByteArray path = l.toUtf8();
            m_wanted.insert(path);
            for (qsizetype slash = path.indexOf('/'); slash >= 0; slash = path.indexOf('/', slash + 1))
                m_holders.insert(path.left(slash));
        }
    }

    bool Default() { return Value(false, false); }
    bool String(const char*, rapidjson::SizeType, bool) { return Value(false, false); }
    bool StartObject() { return Value(true, true); }
    bool StartArray() { return Value(true, false); }
    bool EndObject(rapidjson::SizeType) { return End(); }
    bool EndArray(rapidjson::SizeType) { return End(); }
    bool Key(const char* s, rapidjson::SizeType n, bool) {
        if (m_inert == 0 && !m_frames.empty() && m_frames.back().addressable) m_frames.back().key = QByteArray(s, n);
        return true;
    }

private:
    struct Frame {
        bool addressable = false;  // an object whose members may be wanted
        QByteArray path;           // of this object ("" for the root)
        QByteArray key;            // the member being read
        std::vector<qsizetype>* list = nullptr;  // a wanted list: its elements are noted
    };

    bool Value(bool container, bool object) {
        if (m_inert > 0) {
            if (container) ++m_inert;
            return true;
        }
        if (m_frames.empty()) {  // the root
            if (object) m_frames.push_back({true, {}, {}, nullptr});
            else if (container) ++m_inert;
            return true;
        }
        Frame& parent = m_frames.back();
        if (parent.list) parent.list->push_back(container ? m_base + qsizetype(m_stream.Tell()) - 1 : -1);
        Frame child;
        if (parent.addressable) {
            const QByteArray path = parent.path.isEmpty() ? parent.key : parent.path + '/' + parent.key;
            const bool wanted = m_wanted.contains(path), holder = m_holders.contains(path);
            if ((wanted || holder) && !m_target.m_present.contains(path)) {
                m_target.m_present.insert(path);
                if (wanted && container && !object) child.list = &m_target.m_lists[path];
                if (holder && object) {
                    child.addressable = true;
                    child.path = path;
                }
            }
        }
        if (!container) return true;
        if (child.addressable || child.list) m_frames.push_back(child);
        else ++m_inert;
        return true;
    }
    bool End() {
        if (m_inert > 0) --m_inert;
        else if (!m_frames.empty()) m_frames.pop_back();
        return true;
    }

    CJsonLists& m_target;
    const rapidjson::StringStream& m_stream;
    const qsizetype m_base;
    QSet<QByteArray> m_wanted, m_holders;
    std::vector<Frame> m_frames;
    int m_inert = 0;  // containers open below the last frame
};

bool CJsonLists::Scan(const QByteArray& bytes, const QString& file, const QStringList& lists, QString* error) {
    m_bytes = bytes;
    m_present.clear();
    m_lists.clear();
    const qsizetype skip = m_bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    rapidjson::StringStream stream(m_bytes.constData() + skip);
    JsonListsHandler handler(*this, lists, stream, skip);
    rapidjson::Reader reader;
    reader.Parse<CJsonFile::kFlags>(stream, handler);
    if (!reader.HasParseError()) return true;
    m_present.clear();
    m_lists.clear();
    if (reader.GetParseErrorCode() == rapidjson::kParseErrorDocumentEmpty) return true;
    int line = 0, column = 0;
    LineColumnAt(m_bytes, qsizetype(reader.GetErrorOffset()) + skip, line, column);
    if (error) *error = PositionError(file, line, column, CJsonFile::ErrorText(reader.GetParseErrorCode()));
    return false;
}

qsizetype CJsonLists::Count(const QString& path) const {
    const auto it = m_lists.find(path.toUtf8());
    return it == m_lists.end() ? 0 : qsizetype(it->second.size());
}

bool CJsonLists::ForEach(const QString& path, const Take& take) const {
    const auto it = m_lists.find(path.toUtf8());
    if (it == m_lists.end()) return true;
    for (const qsizetype start : it->second) {
        rapidjson::Document element;
        // The text was checked whole by Scan; the element ends where its value closes.
        if (start >= 0) element.Parse<CJsonFile::kFlags | rapidjson::kParseStopWhenDoneFlag>(m_bytes.constData() + start);
        if (element.HasParseError()) element.SetNull();
        if (!take(element)) return false;
    }
    return true;
}
