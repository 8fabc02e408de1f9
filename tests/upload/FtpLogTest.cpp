#include "upload/FtpLog.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {
QString entry(int number, qsizetype bodyLength)
{
    return FtpLog::kEntryStart + QString::number(number) + "]---\r\nConnecting..." + QString(bodyLength, 'x');
}

TEST(FtpLogTest, AppendsAsGivenResetsAndSignals)
{
    FtpLog log;
    QSignalSpy changed(&log, &FtpLog::changed);
    log.append("\r\n\r\n---[a]---");
    log.append("\r\nServer: 550 <b>not</b> &amp;");
    EXPECT_EQ(log.text(), "\r\n\r\n---[a]---\r\nServer: 550 <b>not</b> &amp;");
    EXPECT_EQ(changed.count(), 2);
    log.reset();
    EXPECT_TRUE(log.text().isEmpty());
    EXPECT_EQ(changed.count(), 3);
}

TEST(FtpLogTest, DropsWholeOldestEntriesPastTheOneMegabyteLimit)
{
    FtpLog log;
    int number = 0;
    while (log.text().size() <= 1024 * 1024 - 5000)
        log.append(entry(++number, 999));
    const QString before = log.text();
    log.append(entry(++number, 9999));
    EXPECT_LE(log.text().size(), 1024 * 1024);
    EXPECT_TRUE(log.text().endsWith(entry(number, 9999)));
    // What is left is the tail of what was there, starting at an entry.
    const QString kept = log.text().left(log.text().size() - entry(number, 9999).size());
    EXPECT_TRUE(kept.startsWith(FtpLog::kEntryStart));
    EXPECT_TRUE(before.endsWith(kept));
    EXPECT_FALSE(log.text().contains(FtpLog::kEntryStart + "1]---"));
    EXPECT_TRUE(log.text().contains(FtpLog::kEntryStart + QString::number(number - 1) + "]---"));
}

TEST(FtpLogTest, AnOversizedSingleEntryKeepsItsNewestLines)
{
    FtpLog log(100);
    log.append(entry(1, 10));
    for (int i = 0; i < 30; ++i)
        log.append("\r\nline " + QString::number(i));
    EXPECT_LE(log.text().size(), 100);
    EXPECT_TRUE(log.text().startsWith("\r\nline "));
    EXPECT_TRUE(log.text().endsWith("\r\nline 29"));
    log.append(entry(2, 5));
    EXPECT_EQ(log.text(), entry(2, 5));
}
} // namespace
