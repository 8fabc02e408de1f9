#include "common/FileWriter.h"
#include "FailDevice.h"
#include "TempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {
QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void put(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QStringList entries(const TempDir& dir)
{
    return QDir(dir.path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
}
} // namespace

TEST(FileWriter, ReplacesWholeAndKeepsTheModeOfTheFileItReplaces)
{
    TempDir dir;
    const QString path = dir.file("time.txt");
    ASSERT_TRUE(FileWriter().write(path, "first\r\n"));
    EXPECT_EQ(readAll(path), "first\r\n");
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);
    ASSERT_TRUE(FileWriter().write(path, "second\r\n"));
    EXPECT_EQ(readAll(path), "second\r\n");
    struct stat status = {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640u);
    EXPECT_EQ(entries(dir), QStringList{"time.txt"});
}

// A disk that fills up in the middle of the write, at its first byte, or only at the end: the
// old file stays as it was and nothing else is left in the folder.
TEST(FileWriter, AFullDiskLeavesTheOldFileAndNoTrace)
{
    const QByteArray data(5000, 'x');
    for (const qint64 failAfter : {qint64(0), qint64(1), qint64(4000), qint64(4999)}) {
        SCOPED_TRACE(failAfter);
        TempDir dir;
        const QString path = dir.file("webcam.jpg");
        put(path, "the good one");
        const Result<void> result = FailDevice::writer(failAfter).write(path, data);
        ASSERT_FALSE(result);
        EXPECT_EQ(FileWriter::stepOf(result), FileWriter::Step::Write);
        EXPECT_EQ(result.failure().kind, Failure::Kind::NoSpace);
        EXPECT_EQ(result.failure().sentence, FailDevice::kDiskFull);
        EXPECT_EQ(readAll(path), "the good one");
        EXPECT_EQ(entries(dir), QStringList{"webcam.jpg"});
    }
    TempDir dir;
    EXPECT_TRUE(FailDevice::writer(5000).write(dir.file("exact"), data));
    EXPECT_EQ(readAll(dir.file("exact")), data);
    EXPECT_FALSE(FailDevice::writer(10).write(dir.file("new"), data));
    EXPECT_EQ(entries(dir), QStringList{"exact"});
}

// A disk that takes every byte but fails to flush them to the disk, or a file system that reports
// the failure only at the close (NFS, a full quota): the new file is not put in place.
TEST(FileWriter, AFailedFlushOrCloseLeavesTheOldFileAndNoTrace)
{
    const struct
    {
        FailDevice::Fault fault;
        QString sentence;
        Failure::Kind kind;
    } cases[] = {{FailDevice::Fault::Flush, FailDevice::kIoError, Failure::Kind::Io},
                 {FailDevice::Fault::Close, FailDevice::kQuotaExceeded, Failure::Kind::NoSpace}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sentence.toStdString());
        TempDir dir;
        const QString path = dir.file("webcam.jpg");
        put(path, "the good one");
        const Result<void> result = FailDevice::writer({c.fault, 0, {}}).write(path, QByteArray(5000, 'x'));
        ASSERT_FALSE(result);
        EXPECT_EQ(FileWriter::stepOf(result), FileWriter::Step::Write);
        EXPECT_EQ(result.failure().kind, c.kind);
        EXPECT_EQ(result.failure().sentence, c.sentence);
        EXPECT_EQ(readAll(path), "the good one");
        EXPECT_EQ(entries(dir), QStringList{"webcam.jpg"});
    }
}

// The bytes are flushed to the disk and the file closed while the target still holds the old
// file: a power cut can leave the old file or the new one, never an empty one under the name.
TEST(FileWriter, TheBytesReachTheDiskBeforeTheyTakeTheName)
{
    TempDir dir;
    const QString path = dir.file("time.txt");
    put(path, "old");
    QStringList steps;
    const auto observe = [&](const QString& step) { steps << step + "=" + readAll(path); };
    ASSERT_TRUE(FailDevice::writer({FailDevice::Fault::None, 0, observe}).write(path, "new\r\n"));
    EXPECT_EQ(steps, (QStringList{"write=old", "flush=old", "close=old"}));
    EXPECT_EQ(readAll(path), "new\r\n");
    EXPECT_EQ(entries(dir), QStringList{"time.txt"});
}

// A link planted under one of the program's own names is replaced by the file; what it points at
// is never touched. A link the user chose (Follow) gets its target replaced.
TEST(FileWriter, PlantedLinksAreReplacedNotWrittenThrough)
{
    TempDir dir;
    TempDir elsewhere;
    const QString victim = elsewhere.file("victim");
    put(victim, "precious");
    const QString link = dir.file("time.txt");
    ASSERT_TRUE(QFile::link(victim, link));
    ASSERT_TRUE(FileWriter().write(link, "12:00\r\n"));
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    EXPECT_EQ(readAll(link), "12:00\r\n");
    EXPECT_EQ(readAll(victim), "precious");

    // A dangling link does not create its target either.
    const QString dangling = dir.file("capture.bmp");
    ASSERT_TRUE(QFile::link(elsewhere.file("created"), dangling));
    ASSERT_TRUE(FileWriter().write(dangling, "BM"));
    EXPECT_FALSE(QFileInfo::exists(elsewhere.file("created")));

    const QString chosen = dir.file("chosen.bmp");
    ASSERT_TRUE(QFile::link(victim, chosen));
    ASSERT_TRUE(FileWriter().write(chosen, "BM new", FileWriter::Links::Follow));
    EXPECT_TRUE(QFileInfo(chosen).isSymLink());
    EXPECT_EQ(readAll(victim), "BM new");
}

TEST(FileWriter, FoldersAndMissingFoldersAreRefusedWithTheReason)
{
    TempDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("webcam.jpg"));
    const Result<void> onFolder = FileWriter().write(dir.file("webcam.jpg"), "x");
    ASSERT_FALSE(onFolder);
    EXPECT_EQ(FileWriter::stepOf(onFolder), FileWriter::Step::Replace);
    EXPECT_EQ(onFolder.failure().sentence, "Is a directory");
    const Result<void> nowhere = FileWriter().write(dir.file("gone/webcam.jpg"), "x");
    ASSERT_FALSE(nowhere);
    EXPECT_EQ(FileWriter::stepOf(nowhere), FileWriter::Step::Create);
    EXPECT_EQ(nowhere.failure().kind, Failure::Kind::NotFound);
    EXPECT_EQ(nowhere.failure().sentence, "No such file or directory");
    EXPECT_EQ(entries(dir), QStringList{"webcam.jpg"});
}
