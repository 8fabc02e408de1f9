#include "upload/ArchiveName.h"

#include <gtest/gtest.h>

namespace {
const QDateTime kTime(QDate(2026, 3, 4), QTime(5, 6, 7));
const QString kPattern = QStringLiteral("cam-%Y%m%d-%H%M%S.jpg");
} // namespace

TEST(ArchiveName, PatternsThatWouldMakeAPathOrOneNameOnlyAreRefused)
{
    const char* const refused[] = {
        "",           "  ",      "www/cam-%H.jpg", "..%H.jpg", "cam\\%H.jpg", "cam-%H\t.jpg", "cam-%H\n.jpg",
        "cam-%Q.jpg", "cam-%H%", "cam.jpg",        "100%%.jpg"};
    for (const char* pattern : refused)
        EXPECT_FALSE(ArchiveName(pattern).problem().isEmpty()) << pattern;
    EXPECT_EQ(ArchiveName("a/%H").problem(),
              "The archive name contains \"/\" or \"\\\": copies stay in the picture's folder.");
    EXPECT_EQ(ArchiveName("..%H").problem(),
              "The archive name contains \"..\": copies stay in the picture's folder.");
    EXPECT_TRUE(ArchiveName("cam-%Q").problem().contains("unknown field %Q"));

    struct Named
    {
        const char* pattern;
        const char* name;
    };
    const Named named[] = {{"cam-%Y%m%d-%H%M%S.jpg", "cam-20260304-050607.jpg"},
                           {"%y.%m.%d", "26.03.04"},
                           {"100%% at %H-%M.jpg", "100% at 05-06.jpg"},
                           {"cam (1)+[%S].jpg", "cam (1)+[07].jpg"}};
    for (const auto& [pattern, name] : named) {
        const ArchiveName archive(pattern);
        EXPECT_EQ(archive.problem(), "") << pattern;
        EXPECT_EQ(archive.nameAt(kTime), name) << pattern;
        EXPECT_TRUE(archive.matches(name)) << pattern;
    }
}

TEST(ArchiveName, OnlyNamesOfThePatternsShapeAreCopiesAndTheirAgeComesFromTheName)
{
    const ArchiveName archive(kPattern);
    EXPECT_EQ(archive.timeOf("cam-20260304-050607.jpg"), kTime);
    for (const char* other : {"webcam.jpg", "cam-2026034-050607.jpg", "xcam-20260304-050607.jpg",
                              "cam-20260304-050607.jpg.part", "cam-2026030a-050607.jpg"}) {
        EXPECT_FALSE(archive.matches(other)) << other;
        EXPECT_FALSE(archive.timeOf(other).isValid()) << other;
    }
    // The shape fits, the date does not exist: a copy of no known age, never removed.
    EXPECT_TRUE(archive.matches("cam-20261304-050607.jpg"));
    EXPECT_FALSE(archive.timeOf("cam-20261304-050607.jpg").isValid());

    const QStringList names{"cam-20260225-050607.jpg", "cam-20260224-050606.jpg", "cam-20260101-000000.jpg",
                            "cam-20261304-050607.jpg", "notes-20200101.txt",      "webcam.jpg"};
    // Seven days before 2026-03-04 05:06:07 is 2026-02-25 05:06:07: that copy is not older.
    EXPECT_EQ(archive.olderThan(names, kTime, 7),
              QStringList({"cam-20260224-050606.jpg", "cam-20260101-000000.jpg"}));
    EXPECT_EQ(archive.olderThan(names, kTime, 0), QStringList());
    EXPECT_EQ(ArchiveName("cam-%H%M%S.jpg").olderThan({"cam-050607.jpg"}, kTime, 1), QStringList())
        << "without a date in the name no age is known";
}

TEST(ArchiveName, TheNewestCopiesAreKeptByTheirNameOrElseByTheirFileTime)
{
    const QDateTime old(QDate(2020, 1, 1), QTime(0, 0));
    const std::vector<std::pair<QString, QDateTime>> files{{"cam-20260304-050607.jpg", old},
                                                           {"cam-20260304-050609.jpg", old.addSecs(-9)},
                                                           {"cam-20260304-050608.jpg", old.addSecs(9)},
                                                           {"cam-20260101-000000.jpg", kTime},
                                                           {"webcam.jpg", old}};
    const ArchiveName archive(kPattern);
    EXPECT_EQ(archive.beyondNewest(files, 2),
              QStringList({"cam-20260304-050607.jpg", "cam-20260101-000000.jpg"}));
    EXPECT_EQ(archive.beyondNewest(files, 4), QStringList());
    EXPECT_EQ(archive.beyondNewest(files, 0), QStringList()) << "0 keeps all";
    const std::vector<std::pair<QString, QDateTime>> undated{
        {"cam-050607.jpg", old}, {"cam-050609.jpg", old.addSecs(-9)}, {"cam-050608.jpg", old.addSecs(9)}};
    EXPECT_EQ(ArchiveName("cam-%H%M%S.jpg").beyondNewest(undated, 1),
              QStringList({"cam-050607.jpg", "cam-050609.jpg"}));
}
