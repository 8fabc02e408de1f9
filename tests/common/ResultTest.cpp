#include "common/Result.h"

#include <QByteArray>

#include <gtest/gtest.h>

namespace {
Result<int> half(int n)
{
    if (n % 2 != 0)
        return Failure::of(Failure::Kind::Invalid, QStringLiteral("%1 is odd").arg(n));
    return n / 2;
}

Result<void> write(bool full)
{
    if (full)
        return Failure::of(Failure::Kind::NoSpace, QStringLiteral("No space left on device"), 28);
    return Result<void>::success();
}

TEST(ResultTest, AValueOrAFailureWithItsKindSentenceAndCode)
{
    const Result<int> four = half(8);
    ASSERT_TRUE(four);
    EXPECT_EQ(*four, 4);
    const Result<int> odd = half(7);
    ASSERT_FALSE(odd);
    EXPECT_EQ(odd.failure().kind, Failure::Kind::Invalid);
    EXPECT_EQ(odd.failure().sentence, "7 is odd");
    EXPECT_EQ(odd.valueOr(-1), -1);

    EXPECT_TRUE(write(false).ok());
    const Result<void> full = write(true);
    ASSERT_FALSE(full);
    EXPECT_EQ(full.failure().kind, Failure::Kind::NoSpace);
    EXPECT_EQ(full.failure().code, 28);

    // Values that only move, and moving the value out.
    Result<std::unique_ptr<QByteArray>> owned = std::make_unique<QByteArray>("jpeg");
    ASSERT_TRUE(owned);
    const std::unique_ptr<QByteArray> taken = std::move(owned).value();
    EXPECT_EQ(*taken, "jpeg");
}
} // namespace
