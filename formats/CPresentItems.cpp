#include "formats/CPresentItems.h"

#include "db/CSQLite.h"

#include <QCryptographicHash>

bool CPresentItems::Begin(QString* error) {
    m_titles.clear();
    m_taken.clear();
    QByteArray scratch;
    return m_db.ForEachRow(
        QStringLiteral("SELECT DOCID, Title FROM ftsItem"),
        [&](const CSQLite::Row& r) {
            m_titles[QString::fromUtf8(r.Utf8(1, scratch))].append(int(r.Int(0)));
            return true;
        },
        error);
}

quint64 CPresentItems::Key(const QString& title, const QString& language, const QString& body) {
    QCryptographicHash h(QCryptographicHash::Sha256);
    for (const QString& part : {title, language.toLower(), body}) {
        const QByteArray b = part.toUtf8();
        const qint64 size = b.size();
        h.addData(QByteArrayView(reinterpret_cast<const char*>(&size), sizeof size));
        h.addData(b);
    }
    const QByteArray d = h.result();
    quint64 key = 0;
    for (int i = 0; i < 8; ++i) key = key << 8 | uchar(d[i]);
    return key;
}

int CPresentItems::Find(const QString& title, const QString& language, const QString& body, QString* error) {
    if (m_taken.contains(Key(title, language, body))) return -1;
    const auto it = m_titles.constFind(title);
    if (it == m_titles.constEnd()) return 0;
    for (const int id : *it) {
        const QString n = QString::number(id);
        bool sameLanguage = false;
        QByteArray scratch;
        if (!m_db.ForEachRow(QStringLiteral("SELECT t.Name FROM tblItemCategory AS ic JOIN tblCategory AS c ON "
                                            "c.ID = ic.CategoryID JOIN tblType AS t ON t.ID = c.TypeID WHERE ic.ItemID = ") +
                                 n,
                             [&](const CSQLite::Row& r) {
                                 sameLanguage = QString::fromUtf8(r.Utf8(0, scratch)).compare(language, Qt::CaseInsensitive) == 0;
                                 return !sameLanguage;
                             },
                             error))
            return 0;
        if (!sameLanguage) continue;
        bool sameBody = false;
        const QByteArray wanted = body.toUtf8();
        if (!m_db.ForEachRow(QStringLiteral("SELECT Code FROM ftsItem WHERE DOCID = ") + n,
                             [&](const CSQLite::Row& r) {
                                 sameBody = r.Utf8(0, scratch) == QByteArrayView(wanted);
                                 return false;
                             },
                             error))
            return 0;
        if (sameBody) return id;
    }
    return 0;
}

void CPresentItems::Taken(const QString& title, const QString& language, const QString& body) {
    m_taken.insert(Key(title, language, body));
}
