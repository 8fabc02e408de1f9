#include "TempDir.h"
#include "VelmoraProcess.h"
#include "settings/Regedit.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <memory>
#include <sys/stat.h>
#include <vector>

namespace {
class RegToolTest : public ::testing::Test
{
protected:
    // Runs the program with the arguments, VELMORA_STORE set or removed as asked.
    ProgramRun run(const QStringList& arguments, const QString& environmentStore = QString())
    {
        RunWith with;
        with.environment["XDG_CONFIG_HOME"] = dir.file("config");
        if (!environmentStore.isEmpty())
            with.environment["VELMORA_STORE"] = environmentStore;
        return runVelmora(arguments, with);
    }
    ProgramRun reg(const QStringList& arguments)
    {
        return run(QStringList{"--store", path, "reg"} + arguments);
    }

    TempDir dir;
    QString path = dir.file("store.db");
};
} // namespace

TEST_F(RegToolTest, SetGetDeleteAndListInOrder)
{
    struct Step
    {
        QStringList arguments;
        int status;
        const char* out;
    };
    const Step steps[] = {
        {{"set", "Software\\Velmora\\My Account", "Host Name/Adress:", "ftp.example.org"}, 0, ""},
        // Keys and names in any case, a trailing backslash allowed.
        {{"get", "software\\velmora\\MY ACCOUNT\\", "host name/adress:"}, 0, "ftp.example.org\n"},
        {{"set", "Software\\Velmora", "Empty", ""}, 0, ""},
        {{"get", "Software\\Velmora", "Empty"}, 0, "\n"},
        {{"get", "Software\\Velmora", "Min"}, 1, ""},
        {{"set", "Software\\Velmora\\Kamera Süd", "Password:", "pä -ss"}, 0, ""},
        {{"get", "Software\\Velmora\\Kamera Süd", "Password:"}, 0, "pä -ss\n"},
        {{"list", "Software\\Velmora\\Kamera Süd"}, 0, "Software\\Velmora\\Kamera Süd\tPassword:\tpä -ss\n"},
        {{"delete", "Software\\Velmora\\Kamera Süd", "Password:"}, 0, ""},
        {{"get", "Software\\Velmora\\Kamera Süd", "Password:"}, 1, ""},
        {{"set", "Software\\Velmora\\Cam", "User ID:", "me"}, 0, ""},
        {{"set", "Software\\Other", "X", "y"}, 0, ""},
        {{"list"},
         0,
         "Software\\Other\tX\ty\n"
         "Software\\Velmora\tEmpty\t\n"
         "Software\\Velmora\\Cam\tUser ID:\tme\n"
         "Software\\Velmora\\My Account\tHost Name/Adress:\tftp.example.org\n"},
        // Deleting a key takes its values and leaves the key above; deleting nothing is no error.
        {{"delete", "software\\velmora\\cam"}, 0, ""},
        {{"get", "Software\\Velmora\\Cam", "User ID:"}, 1, ""},
        {{"get", "Software\\Velmora", "Empty"}, 0, "\n"},
        {{"delete", "Software\\Velmora\\Cam"}, 0, ""},
        {{"delete", "Software\\Nowhere", "x"}, 0, ""},
        {{"list", "Software\\Nowhere"}, 0, ""},
    };
    for (const Step& step : steps) {
        const ProgramRun result = reg(step.arguments);
        const std::string trace = step.arguments.join(' ').toStdString();
        EXPECT_EQ(result.status, step.status) << trace;
        EXPECT_EQ(result.out, QString::fromUtf8(step.out)) << trace;
        EXPECT_TRUE(result.err.isEmpty()) << trace << ": " << result.err.toStdString();
    }
    // The program's own store reads what the tool wrote.
    EXPECT_EQ(
        Regedit(path).GetString(HKEY_LOCAL_MACHINE, "Software\\Velmora\\My Account", "Host Name/Adress:"),
        QString("ftp.example.org"));
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
        const ProgramRun result = reg(arguments);
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
    EXPECT_EQ(run({"--store", path, "reg", "set", "K", "N", "option"}, fromEnvironment).status, 0);
    EXPECT_EQ(Regedit(fromEnvironment).GetString(HKEY_LOCAL_MACHINE, "K", "N"), QString("env"));
    EXPECT_EQ(run({"--store=" + path, "reg", "get", "K", "N"}).out, QString("option\n"));

    EXPECT_EQ(run({"reg", "set", "K", "N", "default"}).status, 0);
    EXPECT_EQ(Regedit(dir.file("config/velmora/velmora.db")).GetString(HKEY_LOCAL_MACHINE, "K", "N"),
              QString("default"));
}

TEST_F(RegToolTest, SeveralProcessesWriteAtOnce)
{
    std::vector<std::unique_ptr<QProcess>> processes;
    for (int i = 0; i < 6; ++i) {
        processes.push_back(std::make_unique<QProcess>());
        processes.back()->start(QStringLiteral(VELMORA_BINARY_DIR "/bin/velmora"),
                                {"--store", path, "reg", "set", "K", QString::number(i), "x"});
    }
    for (auto& process : processes) {
        ASSERT_TRUE(process->waitForFinished(20000));
        EXPECT_EQ(process->exitCode(), 0) << process->readAllStandardError().toStdString();
    }
    EXPECT_EQ(Regedit(path).Values(HKEY_LOCAL_MACHINE, "K").size(), 6u);
}

TEST_F(RegToolTest, StoreThatCannotBeOpenedFailsEveryCommandOnOneLineAndIsLeftAlone)
{
    // A text file, and a FIFO, whose opening would wait for a writer for ever.
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("not a database\n");
    }
    const QString fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& store : {path, fifo}) {
        for (const QStringList& command : {QStringList{"set", "Software\\Velmora", "Min", "1"},
                                           {"get", "Software\\Velmora", "Min"},
                                           {"delete", "Software\\Velmora", "Min"},
                                           {"delete", "Software\\Velmora"},
                                           {"list"}}) {
            const ProgramRun result = run(QStringList{"--store", store, "reg"} + command);
            const std::string trace = store.toStdString() + ": " + command.join(' ').toStdString();
            EXPECT_EQ(result.status, 1) << trace;
            EXPECT_TRUE(result.err.contains(store)) << trace << result.err.toStdString();
            EXPECT_EQ(result.err.count('\n'), 1) << trace << result.err.toStdString();
        }
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("not a database\n"));
}
