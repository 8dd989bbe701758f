#include "settings/CSettings.h"

#include "util/basProgram.h"

#include <QDir>
#include <QSettings>

static const QString kSection = QStringLiteral("Settings");

static QString sectionKey(const QString& key) { return kSection + QLatin1Char('/') + key; }

void CSettings::SetNativeStoreFolder(const QString& folder) {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
}

CSettings::CSettings(Store store) : m_store(store) {
    m_appName = AppTitle();
    m_iniFile = QDir(ProgramFolder()).filePath(QStringLiteral("Settings.ini"));
    if (m_store == Store::Memory) return;
    const QString flag = ReadNative(QStringLiteral("SaveToINI"), QStringLiteral("-1"));
    SetSaveToINI(flag.toInt() != 0 || flag.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0);
}

CSettings::~CSettings() {
    if (m_store == Store::Native) SaveSetting(QStringLiteral("SaveToINI"), m_saveToIni);
}

void CSettings::SetSaveToINI(bool value) {
    if (m_store == Store::Memory) {
        m_saveToIni = value;
        return;
    }
    if (value) {
        const QString on = QStringLiteral("-1");
        if (WriteINI(QStringLiteral("SaveToINI"), &on)) {
            RemoveNative(QStringLiteral("SaveToINI"));
            m_saveToIni = true;
            return;
        }
    }
    WriteNative(QStringLiteral("SaveToINI"), QStringLiteral("0"));
    m_saveToIni = false;
}

QString CSettings::ToText(const QVariant& value) {
    if (value.metaType().id() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("-1") : QStringLiteral("0");
    if (value.metaType().id() == QMetaType::Double) return QString::number(value.toDouble(), 'g', 17);
    return value.toString();
}

QString CSettings::GetSetting(const QString& name, const QVariant& defaultValue) const {
    const QString def = ToText(defaultValue);
    if (m_store == Store::Memory) return m_memory.value(name, def);
    return m_saveToIni ? ReadINI(name, def) : ReadNative(name, def);
}

void CSettings::SaveSetting(const QString& name, const QVariant& value) {
    const QString text = ToText(value);
    if (m_store == Store::Memory) {
        m_memory.insert(name, text);
        return;
    }
    if (m_saveToIni) WriteINI(name, &text);
    else WriteNative(name, text);
}

void CSettings::DeleteSetting(const QString& key) {
    if (m_store == Store::Memory) {
        if (key.isEmpty()) m_memory.clear();
        else m_memory.remove(key);
        return;
    }
    if (m_saveToIni) {
        if (key.isEmpty()) {
            QSettings ini(m_iniFile, QSettings::IniFormat);
            ini.remove(kSection);
        } else {
            WriteINI(key, nullptr);
        }
    } else {
        RemoveNative(key.isEmpty() ? QString() : key);
    }
}

QString CSettings::ReadINI(const QString& key, const QString& defaultValue) const {
    // The whole value comes back: a long saved query must not be cut.
    QSettings ini(m_iniFile, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError) return {};
    return ini.value(sectionKey(key), defaultValue).toString();
}

bool CSettings::WriteINI(const QString& key, const QString* value) {
    if (InstalledLayout()) return false;
    QSettings ini(m_iniFile, QSettings::IniFormat);
    if (value) ini.setValue(sectionKey(key), *value);
    else ini.remove(sectionKey(key));
    ini.sync();
    return ini.status() == QSettings::NoError;
}

QString CSettings::ReadNative(const QString& key, const QString& defaultValue) const {
    QSettings native(QSettings::NativeFormat, QSettings::UserScope, m_appName, m_appName);
    return native.value(sectionKey(key), defaultValue).toString();
}

void CSettings::WriteNative(const QString& key, const QString& value) {
    QSettings native(QSettings::NativeFormat, QSettings::UserScope, m_appName, m_appName);
    native.setValue(sectionKey(key), value);
}

void CSettings::RemoveNative(const QString& key) {
    QSettings native(QSettings::NativeFormat, QSettings::UserScope, m_appName, m_appName);
    native.remove(key.isEmpty() ? kSection : sectionKey(key));
}
