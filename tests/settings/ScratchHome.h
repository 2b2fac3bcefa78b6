#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kelpie::test {

// Points HOME and XDG_CONFIG_HOME into a fresh temporary folder for one test,
// so no test ever reads or writes the real user's settings.
class ScratchHome : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        savedHome = qgetenv("HOME");
        savedConfig = qgetenv("XDG_CONFIG_HOME");
        hadConfig = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
        qputenv("HOME", QFile::encodeName(home()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config()));
    }
    void TearDown() override
    {
        qputenv("HOME", savedHome);
        if (hadConfig)
            qputenv("XDG_CONFIG_HOME", savedConfig);
        else
            qunsetenv("XDG_CONFIG_HOME");
    }

    QString home() const { return folder.path(); }
    QString config() const { return folder.path() + QStringLiteral("/config"); }

    // Puts bytes in place of a settings file, making its folder if need be.
    static void writeFile(const QString& path, const QByteArray& bytes)
    {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(bytes), bytes.size());
    }
    // The bytes of a file; empty when it cannot be read.
    static QByteArray readFile(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir folder;

private:
    QByteArray savedHome;
    QByteArray savedConfig;
    bool hadConfig = false;
};

} // namespace kelpie::test
