#include "settings/CSettings.h"
#include "support/TestEnv.h"
#include "util/basProgram.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <gtest/gtest.h>

namespace {

QString NativeValue(const QString& key) {
    QSettings native(QSettings::NativeFormat, QSettings::UserScope, "VellumGranary", "VellumGranary");
    return native.value("Settings/" + key, "<absent>").toString();
}

QString IniValue(const QString& iniFile, const QString& key) {
    QSettings ini(iniFile, QSettings::IniFormat);
    return ini.value("Settings/" + key, "<absent>").toString();
}

TEST(CSettings, MemoryStoreTouchesNoFileAndANewUserGetsTheIniFile) {
    TestEnv env;
    {
        CSettings s(CSettings::Store::Memory);
        s.SaveSetting("LastDatabase", "/x.db");
        EXPECT_EQ(s.GetSetting("LastDatabase"), "/x.db");
    }
    EXPECT_FALSE(QFile::exists(env.ProgramDir() + "/Settings.ini"));
    EXPECT_EQ(NativeValue("LastDatabase"), "<absent>");
    EXPECT_EQ(NativeValue("SaveToINI"), "<absent>");

    {
        CSettings s;
        EXPECT_TRUE(s.SaveToINI());
        EXPECT_EQ(s.IniFile(), env.ProgramDir() + "/Settings.ini");
        EXPECT_EQ(IniValue(s.IniFile(), "SaveToINI"), "-1");
        EXPECT_EQ(NativeValue("SaveToINI"), "<absent>");
        s.SaveSetting("LastDatabase", "/data/snippets.db");
    }
    CSettings again;
    EXPECT_TRUE(again.SaveToINI());
    EXPECT_EQ(again.GetSetting("LastDatabase"), "/data/snippets.db");
}

TEST(CSettings, UnwritableOrInstalledProgramFolderFallsBackToNativeStoreForGood) {
    // A program "folder" that is a plain file cannot hold Settings.ini, whoever runs the test;
    // an installed program's folder (settings.db only in ../share) must not, even for root.
    for (bool installed : {false, true}) {
        TestEnv env;
        QString folder = env.Path("blocked");
        if (installed) {
            folder = env.Path("prefix/bin");
            QDir().mkpath(folder);
            QDir().mkpath(env.Path("prefix/share/vellumgranary"));
            WriteFileBytes(env.Path("prefix/share/vellumgranary/settings.db"), "i");
        } else {
            WriteFileBytes(folder, "x");
        }
        SetProgramFolder(folder);
        {
            CSettings s;
            EXPECT_FALSE(s.SaveToINI()) << installed;
            EXPECT_EQ(NativeValue("SaveToINI"), "0");
            s.SaveSetting("LastLanguage", "C++");
        }
        if (installed) {
            EXPECT_FALSE(QFile::exists(folder + "/Settings.ini"));
        }
        SetProgramFolder(env.ProgramDir());  // writable again
        CSettings s;
        EXPECT_FALSE(s.SaveToINI());
        EXPECT_EQ(s.GetSetting("LastLanguage"), "C++");
    }
}

TEST(CSettings, ValuesBooleansDefaultsLongTextSwitchingPlacesAndDeleting) {
    TestEnv env;
    for (bool ini : {true, false}) {
        CSettings s;
        s.SetSaveToINI(ini);
        ASSERT_EQ(s.SaveToINI(), ini);
        s.SaveSetting("BackupDaily", true);
        EXPECT_EQ(s.GetSetting("BackupDaily"), "-1");
        s.SaveSetting("BackupDaily", false);
        EXPECT_EQ(s.GetSetting("BackupDaily"), "0");
        EXPECT_EQ(s.GetSetting("NeverWritten"), "");
        EXPECT_EQ(s.GetSetting("NeverWritten", 5), "5");
        // A long query must come back whole, whichever store holds it.
        const QString sql = "SELECT " + QString("x, ").repeated(200) + "'semi;colon', \"quote\" = 1\nFROM t";
        s.SaveSetting("SQLCommand", sql);
        EXPECT_EQ(s.GetSetting("SQLCommand"), sql);
        s.SaveSetting("BackupTime", 46000.75);
        EXPECT_DOUBLE_EQ(s.GetSetting("BackupTime").toDouble(), 46000.75);
    }
    // Switching places does not move values.
    CSettings s;
    s.SetSaveToINI(true);
    s.SaveSetting("LastLanguage", "Perl");
    s.SetSaveToINI(false);
    EXPECT_EQ(s.GetSetting("LastLanguage"), "");
    s.SaveSetting("LastLanguage", "Go");
    s.SaveSetting("BackupFile", "/b.db");
    s.DeleteSetting("LastLanguage");
    EXPECT_EQ(s.GetSetting("LastLanguage"), "");
    EXPECT_EQ(s.GetSetting("BackupFile"), "/b.db");
    s.DeleteSetting();
    EXPECT_EQ(s.GetSetting("BackupFile"), "");
    s.SetSaveToINI(true);
    EXPECT_EQ(s.GetSetting("LastLanguage"), "Perl");
    s.DeleteSetting("LastLanguage");
    EXPECT_EQ(s.GetSetting("LastLanguage"), "");
}

}  // namespace
