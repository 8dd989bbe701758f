#pragma once
// The user's few settings as named text values, kept either in the per-user native store
// (the registry area) or in Settings.ini in the program's folder; vgcli keeps them in memory.
#include <QHash>
#include <QString>
#include <QVariant>

class CSettings {
public:
    enum class Store { Native, Memory };

    explicit CSettings(Store store = Store::Native);
    ~CSettings();
    CSettings(const CSettings&) = delete;
    CSettings& operator=(const CSettings&) = delete;

    bool SaveToINI() const { return m_saveToIni; }
    // Moves the store to the INI file (falling back to the native store when the file cannot
    // be written) or to the native store. Values are not copied across.
    void SetSaveToINI(bool value);

    QString GetSetting(const QString& name, const QVariant& defaultValue = QString()) const;
    // Booleans are stored as "-1" and "0".
    void SaveSetting(const QString& name, const QVariant& value);
    // Removes one key, or the whole "Settings" section when key is empty.
    void DeleteSetting(const QString& key = QString());

    QString AppName() const { return m_appName; }
    QString IniFile() const { return m_iniFile; }

    // Redirects the native store (tests, so they never touch a real user's settings).
    static void SetNativeStoreFolder(const QString& folder);

    static QString ToText(const QVariant& value);

private:
    QString ReadINI(const QString& key, const QString& defaultValue) const;
    bool WriteINI(const QString& key, const QString* value);
    QString ReadNative(const QString& key, const QString& defaultValue) const;
    void WriteNative(const QString& key, const QString& value);
    void RemoveNative(const QString& key);

    Store m_store;
    bool m_saveToIni = false;
    QString m_appName;
    QString m_iniFile;
    QHash<QString, QString> m_memory;
};
