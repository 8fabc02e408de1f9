#pragma once

#include "FtpServer.h"
#include "QtPrinters.h"
#include "ScriptedPrompter.h"
#include "SignalWait.h"
#include "TempDir.h"
#include "upload/FtpDial.h"
#include "upload/FtpLog.h"
#include "upload/FtpStage.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <optional>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

// Runs a stage to its end, serving events meanwhile.
inline FtpResult runStage(FtpStage& stage, const FtpJob& job, std::unique_ptr<FtpDial> dial = nullptr,
                          int limitMs = 30000)
{
    const std::optional<FtpResult> result = untilSignal<FtpResult>(
        &stage, &FtpStage::finished, [&] { stage.start(job, std::move(dial)); }, limitMs);
    if (!result)
        ADD_FAILURE() << "the stage did not end";
    return result.value_or(FtpResult());
}

// The lines of the log's last entry after its date header.
inline QStringList lastEntry(const FtpLog& log)
{
    const qsizetype start = log.text().lastIndexOf(FtpLog::kEntryStart);
    QStringList lines = log.text().mid(start + FtpLog::kEntryStart.size()).split("\r\n");
    static const QRegularExpression header("^.+\\]---$");
    if (start < 0 || !header.match(lines.front()).hasMatch())
        return {"<no entry header>"};
    lines.removeFirst();
    return lines;
}

// The entry of a run that got connected; a failing step brings its own lines.
inline QStringList connectedEntry(const QString& host, const QStringList& picture = {"Picture uploaded!"},
                                  const QStringList& textFile = {"Uploading Textfile", "Textfile uploaded"})
{
    return QStringList{"Connecting...", "Connected to " + host, "Uploading..."} + picture + textFile +
           QStringList{"Disconnecting...", "Disconnected"};
}

inline QStringList connectFailureEntry(const QStringList& why = {})
{
    return QStringList{"Connecting...", "Couldn't connect to server"} + why +
           QStringList{"No picture uploaded"};
}

// An FTP stage with short limits, a picture and a time file to send, and a real server to take them.
class StageFixture : public ::testing::Test
{
protected:
    static FtpTimeouts timeouts(std::chrono::milliseconds stage = 15s)
    {
        return {.connect = 1500ms, .response = 1000ms, .stage = stage};
    }

    void SetUp() override
    {
        writeFile(local.file("webcam.jpg"), picture);
        writeFile(local.file("time.txt"), "06.12.2024 07:15:00\r\n");
    }

    void startServer(const FtpServer::Options& options = {})
    {
        ASSERT_TRUE(server.start(options)) << server.startError().toStdString();
        ASSERT_TRUE(QDir(server.home()).mkpath("www"));
    }

    FtpJob job(const QString& folder = "/www/", const QString& name = "cam1") const
    {
        FtpJob job;
        job.host = server.hostField();
        job.user = FtpServer::kUser;
        job.password = FtpServer::kPassword;
        job.remotePicturePath = FtpJob::remotePath(folder, name + ".jpg");
        job.remoteTimePath = FtpJob::remotePath(folder, "time.txt");
        job.localPicturePath = local.file("webcam.jpg");
        job.localTimePath = local.file("time.txt");
        job.textFile = true;
        job.scheduled = true;
        return job;
    }

    QStringList commandNames() const
    {
        QStringList names;
        for (const QString& line : server.commands())
            names << line.section(' ', 0, 0).toUpper();
        return names;
    }

    QStringList wwwFiles() const
    {
        return QDir(server.homeFile("www")).entryList(QDir::Files | QDir::Hidden);
    }

    // Every byte value and line ends of every kind: what an ASCII transfer would spoil.
    static QByteArray binaryPicture(qsizetype size)
    {
        QByteArray bytes;
        for (int i = 0; bytes.size() < size; ++i)
            bytes.append(char(i)).append(i % 5 ? "" : "\r\n\n\r");
        return bytes.left(size);
    }

    const QByteArray picture = binaryPicture(40 * 1024);
    TempDir local;
    FtpServer server;
    FtpLog log;
    ScriptedPrompter prompter;
    FtpStage stage{log, prompter, timeouts()};
};
