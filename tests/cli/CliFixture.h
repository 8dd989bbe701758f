#pragma once
// A fresh snippet database made by the built vgcli, and ways to run the program on it.
#include "support/TestEnv.h"

#include <QStringList>
#include <gtest/gtest.h>

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        db = env.Path("cli.db");
        const ProcessResult r = Run({"new", db});
        ASSERT_EQ(r.status, 0) << r.err.toStdString();
        ASSERT_TRUE(r.out.isEmpty());
    }
    static ProcessResult Run(const QStringList& args, const QString& workDir = {},
                             const QByteArray& input = {}) {
        return RunProgram("vgcli", args, workDir, input);
    }
    // Saves an item and returns the number the program printed.
    int Save(const QStringList& args, const QByteArray& input = {}) {
        const ProcessResult r = Run(QStringList{"save", db} + args, {}, input);
        EXPECT_EQ(r.status, 0) << r.err.toStdString();
        return QString::fromUtf8(r.out).trimmed().toInt();
    }
    static QStringList Lines(const ProcessResult& r) {
        return QString::fromUtf8(r.out).split('\n', Qt::SkipEmptyParts);
    }
    // One value of `info`.
    QString Info(const QString& key, const QString& file = {}) {
        for (const QString& line : Lines(Run({"info", file.isEmpty() ? db : file})))
            if (line.startsWith(key + "\t")) return line.mid(key.size() + 1);
        return {};
    }

    TestEnv env;
    QString db;
};
