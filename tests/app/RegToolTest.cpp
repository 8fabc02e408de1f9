#include "TempDir.h"
#include "settings/Regedit.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {
struct Result
{
    int status = -1;
    QString out;
    QString err;
};

class RegToolTest : public ::testing::Test
{
protected:
    // Runs the program with the arguments, VELMORA_STORE set or removed as asked.
    Result run(const QStringList& arguments, const QString& environmentStore = QString())
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("VELMORA_STORE");
        env.insert("XDG_CONFIG_HOME", dir.file("config"));
        if (!environmentStore.isEmpty())
            env.insert("VELMORA_STORE", environmentStore);
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(VELMORA_BINARY_DIR "/bin/velmora"), arguments);
        Result result;
        if (!process.waitForFinished(20000)) {
            process.kill();
            process.waitForFinished(2000);
            return result;
        }
        result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }
    Result reg(const QStringList& arguments) { return run(QStringList{"--store", path, "reg"} + arguments); }

    TempDir dir;
    QString path = dir.file("store.db");
};
} // namespace

TEST_F(RegToolTest, SetThenGetPrintsTheText)
{
    EXPECT_EQ(reg({"set", "Software\\Velmora\\My Account", "Host Name/Adress:", "ftp.example.org"}).status,
              0);
    const Result got = reg({"get", "software\\velmora\\MY ACCOUNT\\", "host name/adress:"});
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.out, QString("ftp.example.org\n"));

    EXPECT_EQ(reg({"set", "Software\\Velmora", "Empty", ""}).status, 0);
    const Result empty = reg({"get", "Software\\Velmora", "Empty"});
    EXPECT_EQ(empty.status, 0);
    EXPECT_EQ(empty.out, QString("\n"));

    EXPECT_EQ(reg({"set", "Software\\Velmora\\Kamera Süd", "Password:", "pä -ss"}).status, 0);
    EXPECT_EQ(reg({"get", "Software\\Velmora\\Kamera Süd", "Password:"}).out, QString("pä -ss\n"));

    // The program's own store reads what the tool wrote.
    Regedit store(path);
    EXPECT_EQ(store.GetString(HKEY_LOCAL_MACHINE, "Software\\Velmora\\My Account", "Host Name/Adress:"),
              QString("ftp.example.org"));
}

TEST_F(RegToolTest, AbsentValueExitsWithOne)
{
    const Result missing = reg({"get", "Software\\Velmora", "Min"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.out.isEmpty());
    reg({"set", "Software\\Velmora", "Min", "1"});
    EXPECT_EQ(reg({"get", "Software\\Velmora", "Max"}).status, 1);
}

TEST_F(RegToolTest, DeleteRemovesValuesAndKeysSilently)
{
    reg({"set", "Software\\Velmora", "Account1", "Cam"});
    reg({"set", "Software\\Velmora\\Cam", "User ID:", "me"});
    reg({"set", "Software\\Velmora\\Cam", "Password:", "pw"});
    EXPECT_EQ(reg({"delete", "Software\\Velmora\\Cam", "Password:"}).status, 0);
    EXPECT_EQ(reg({"get", "Software\\Velmora\\Cam", "Password:"}).status, 1);
    EXPECT_EQ(reg({"get", "Software\\Velmora\\Cam", "User ID:"}).status, 0);

    EXPECT_EQ(reg({"delete", "software\\velmora\\cam"}).status, 0);
    EXPECT_EQ(reg({"get", "Software\\Velmora\\Cam", "User ID:"}).status, 1);
    EXPECT_EQ(reg({"get", "Software\\Velmora", "Account1"}).status, 0);

    const Result again = reg({"delete", "Software\\Velmora\\Cam"});
    EXPECT_EQ(again.status, 0);
    EXPECT_TRUE(again.err.isEmpty());
    EXPECT_EQ(reg({"delete", "Software\\Nowhere", "x"}).status, 0);
}

TEST_F(RegToolTest, ListPrintsEveryValueBelowTheKey)
{
    reg({"set", "Software\\Velmora", "Account1", "Cam"});
    reg({"set", "Software\\Velmora\\Cam", "User ID:", "me"});
    reg({"set", "Software\\Other", "X", "y"});
    const Result below = reg({"list", "Software\\Velmora\\Cam"});
    EXPECT_EQ(below.status, 0);
    EXPECT_EQ(below.out, QString("Software\\Velmora\\Cam\tUser ID:\tme\n"));
    const Result all = reg({"list"});
    EXPECT_EQ(all.out, QString("Software\\Other\tX\ty\n"
                               "Software\\Velmora\tAccount1\tCam\n"
                               "Software\\Velmora\\Cam\tUser ID:\tme\n"));
    const Result none = reg({"list", "Software\\Nowhere"});
    EXPECT_EQ(none.status, 0);
    EXPECT_TRUE(none.out.isEmpty());
}

TEST_F(RegToolTest, UsageErrorsExitWithTwo)
{
    const QList<QStringList> wrong = {
        {},
        {"get", "Software\\Velmora"},
        {"get", "Software\\Velmora", "Min", "extra"},
        {"set", "Software\\Velmora", "Min"},
        {"delete"},
        {"delete", "a", "b", "c"},
        {"list", "a", "b"},
        {"rename", "a"},
    };
    for (const QStringList& arguments : wrong) {
        const Result result = reg(arguments);
        EXPECT_EQ(result.status, 2) << arguments.join(' ').toStdString();
        EXPECT_TRUE(result.err.contains("Usage:")) << arguments.join(' ').toStdString();
    }
    EXPECT_EQ(run({"--store"}).status, 2);
    EXPECT_EQ(run({"--bogus", "reg", "list"}).status, 2);
    EXPECT_EQ(run({"frobnicate"}).status, 2);
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(RegToolTest, StoreComesFromTheOptionTheEnvironmentOrTheConfigFolder)
{
    const QString fromEnvironment = dir.file("env.db");
    EXPECT_EQ(run({"reg", "set", "K", "N", "env"}, fromEnvironment).status, 0);
    EXPECT_EQ(Regedit(fromEnvironment).GetString(HKEY_LOCAL_MACHINE, "K", "N"), QString("env"));

    EXPECT_EQ(run({"--store", path, "reg", "set", "K", "N", "option"}, fromEnvironment).status, 0);
    EXPECT_EQ(Regedit(path).GetString(HKEY_LOCAL_MACHINE, "K", "N"), QString("option"));
    EXPECT_EQ(Regedit(fromEnvironment).GetString(HKEY_LOCAL_MACHINE, "K", "N"), QString("env"));

    EXPECT_EQ(run({"--store=" + path, "reg", "get", "K", "N"}).out, QString("option\n"));

    EXPECT_EQ(run({"reg", "set", "K", "N", "default"}).status, 0);
    EXPECT_EQ(Regedit(dir.file("config/velmora/velmora.db")).GetString(HKEY_LOCAL_MACHINE, "K", "N"),
              QString("default"));
}

TEST_F(RegToolTest, SeveralProcessesWriteAtOnce)
{
    constexpr int kProcesses = 6;
    std::vector<std::unique_ptr<QProcess>> processes;
    for (int i = 0; i < kProcesses; ++i) {
        auto process = std::make_unique<QProcess>();
        process->start(
            QStringLiteral(VELMORA_BINARY_DIR "/bin/velmora"),
            {"--store", path, "reg", "set", "Software\\Velmora", QStringLiteral("V%1").arg(i), "x"});
        processes.push_back(std::move(process));
    }
    for (auto& process : processes) {
        ASSERT_TRUE(process->waitForFinished(20000));
        EXPECT_EQ(process->exitCode(), 0) << process->readAllStandardError().toStdString();
    }
    EXPECT_EQ(Regedit(path).Values(HKEY_LOCAL_MACHINE, "Software\\Velmora").size(),
              static_cast<std::size_t>(kProcesses));
}

TEST_F(RegToolTest, InvalidStoreIsReportedAndLeftAlone)
{
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("not a database\n");
    }
    const Result set = reg({"set", "Software\\Velmora", "Min", "1"});
    EXPECT_EQ(set.status, 1);
    EXPECT_TRUE(set.err.contains(path)) << set.err.toStdString();
    EXPECT_EQ(set.err.count('\n'), 1) << set.err.toStdString();
    EXPECT_EQ(reg({"get", "Software\\Velmora", "Min"}).status, 1);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("not a database\n"));
}
