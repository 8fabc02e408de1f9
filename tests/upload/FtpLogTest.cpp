#include "upload/FtpLog.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {
QString entry(int number, qsizetype bodyLength)
{
    return FtpLog::kEntryStart + QString::number(number) + QStringLiteral("]---\r\nConnecting...") +
           QString(bodyLength, QLatin1Char('x'));
}
} // namespace

TEST(FtpLogTest, AppendsResetsAndSignals)
{
    FtpLog log;
    QSignalSpy changed(&log, &FtpLog::changed);
    log.append(QStringLiteral("\r\n\r\n---[a]---"));
    log.append(QStringLiteral("\r\nServer: 550 <b>not</b> &amp;"));
    EXPECT_EQ(log.text(), QStringLiteral("\r\n\r\n---[a]---\r\nServer: 550 <b>not</b> &amp;"));
    EXPECT_EQ(changed.count(), 2);
    log.reset();
    EXPECT_TRUE(log.text().isEmpty());
    EXPECT_EQ(changed.count(), 3);
    log.append(entry(1, 0));
    EXPECT_TRUE(log.text().startsWith(QStringLiteral("\r\n\r\n---[")));
}

TEST(FtpLogTest, DropsWholeOldestEntriesPastTheLimit)
{
    FtpLog log;
    ASSERT_EQ(log.limit(), 1024 * 1024);
    int number = 0;
    while (log.text().size() <= 1024 * 1024 - 5000)
        log.append(entry(++number, 999));
    const QString before = log.text();
    log.append(entry(++number, 9999));
    EXPECT_LE(log.text().size(), 1024 * 1024);
    EXPECT_TRUE(log.text().startsWith(FtpLog::kEntryStart));
    EXPECT_TRUE(log.text().endsWith(entry(number, 9999)));
    // What is left is the tail of what was there, starting at an entry.
    const QString kept = log.text().left(log.text().size() - entry(number, 9999).size());
    EXPECT_TRUE(before.endsWith(kept));
    EXPECT_FALSE(log.text().contains(FtpLog::kEntryStart + QStringLiteral("1]---")));
    EXPECT_TRUE(
        log.text().contains(FtpLog::kEntryStart + QString::number(number - 1) + QStringLiteral("]---")));
}

TEST(FtpLogTest, AnOversizedSingleEntryKeepsItsNewestLines)
{
    FtpLog log(100);
    log.append(entry(1, 10));
    for (int i = 0; i < 30; ++i)
        log.append(QStringLiteral("\r\nline ") + QString::number(i));
    EXPECT_LE(log.text().size(), 100);
    EXPECT_TRUE(log.text().startsWith(QStringLiteral("\r\nline ")));
    EXPECT_TRUE(log.text().endsWith(QStringLiteral("\r\nline 29")));
    log.append(entry(2, 5));
    EXPECT_EQ(log.text(), entry(2, 5));
}
