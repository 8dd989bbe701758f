#include "ui/CVersionDiff.h"

#include <dtl/dtl.hpp>
#include <algorithm>
#include <vector>

namespace {

struct Line {
    char mark;  // ' ', '-', '+'
    QString text;
};

std::vector<Line> diff(const CItem& from, const CItem& to) {
    const QStringList a = CVersionDiff::Lines(from), b = CVersionDiff::Lines(to);
    std::vector<QString> va(a.cbegin(), a.cend()), vb(b.cbegin(), b.cend());
    dtl::Diff<QString, std::vector<QString>> d(va, vb);
    d.compose();
    std::vector<Line> out;
    for (const auto& [text, info] : d.getSes().getSequence()) {
        const char mark = info.type == dtl::SES_DELETE ? '-' : info.type == dtl::SES_ADD ? '+' : ' ';
        out.push_back({mark, text});
    }
    // Within each run of changed lines the removed ones come first, as a reader expects.
    for (size_t i = 0; i < out.size();) {
        size_t end = i;
        while (end < out.size() && out[end].mark != ' ') ++end;
        std::stable_partition(out.begin() + i, out.begin() + end, [](const Line& l) { return l.mark == '-'; });
        i = end == i ? i + 1 : end;
    }
    return out;
}

// The words of a changed line that differ, in bold, when the two lines share most words.
QString words(const QString& removed, const QString& added) {
    const QStringList a = removed.split(QLatin1Char(' ')), b = added.split(QLatin1Char(' '));
    std::vector<QString> va(a.cbegin(), a.cend()), vb(b.cbegin(), b.cend());
    dtl::Diff<QString, std::vector<QString>> d(va, vb);
    d.compose();
    QStringList parts;
    for (const auto& [word, info] : d.getSes().getSequence()) {
        const QString w = word.toHtmlEscaped();
        if (info.type == dtl::SES_COMMON) parts << w;
        else if (info.type == dtl::SES_ADD) parts << QStringLiteral("<b style=\"background:#9f9\">") + w + QStringLiteral("</b>");
        else parts << QStringLiteral("<s style=\"background:#f99\">") + w + QStringLiteral("</s>");
    }
    return parts.join(QLatin1Char(' '));
}

}  // namespace

QStringList CVersionDiff::Lines(const CItem& item) {
    QStringList lines{QStringLiteral("Title: ") + item.title, QStringLiteral("Language: ") + item.language,
                      QStringLiteral("Categories: ") + item.CategoriesText()};
    if (item.HasAttachment())
        lines << QStringLiteral("Attachment: %1 (%2 bytes)").arg(item.fileName).arg(item.fileSize);
    lines << QString();
    lines << item.body.split(QLatin1Char('\n'));
    return lines;
}

QStringList CVersionDiff::Plain(const CItem& from, const CItem& to) {
    QStringList out;
    for (const Line& l : diff(from, to)) out << QString(QLatin1Char(l.mark)) + QLatin1Char(' ') + l.text;
    return out;
}

QString CVersionDiff::Html(const CItem& from, const CItem& to) {
    const std::vector<Line> lines = diff(from, to);
    QString html = QStringLiteral("<div style=\"font-family:monospace\">");
    for (size_t i = 0; i < lines.size(); ++i) {
        const Line& l = lines[i];
        // One line removed and one added in its place: the words that changed.
        const bool pair = l.mark == '-' && i + 1 < lines.size() && lines[i + 1].mark == '+' &&
                          (i + 2 >= lines.size() || lines[i + 2].mark != '+') && (i == 0 || lines[i - 1].mark != '-');
        if (pair && l.text.count(QLatin1Char(' ')) > 1) {
            html += QStringLiteral("<p style=\"margin:0; white-space:pre\">~ ") + words(l.text, lines[i + 1].text) + QStringLiteral("</p>");
            ++i;
            continue;
        }
        const QString background = l.mark == '-'   ? QStringLiteral("; background:#fdd")
                                   : l.mark == '+' ? QStringLiteral("; background:#dfd")
                                                   : QString();
        html += QStringLiteral("<p style=\"margin:0; white-space:pre") + background + QStringLiteral("\">") +
                QString(QLatin1Char(l.mark)) + QLatin1Char(' ') + l.text.toHtmlEscaped() + QStringLiteral("</p>");
    }
    return html + QStringLiteral("</div>");
}
