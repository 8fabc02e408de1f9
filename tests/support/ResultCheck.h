#pragma once

#include "common/Result.h"

#include <gtest/gtest.h>

#include <ostream>
#include <utility>

// Readable failures in GoogleTest messages: the kind's number, the code and the sentence.
inline void PrintTo(const Failure& failure, std::ostream* out)
{
    *out << "failure (kind " << int(failure.kind) << ", code " << failure.code << "): \""
         << failure.sentence.toStdString() << '"';
}

// For ASSERT_TRUE(succeeded(call())): a failure prints its sentence.
template <typename T>::testing::AssertionResult succeeded(const Result<T>& result)
{
    if (result.ok())
        return ::testing::AssertionSuccess();
    ::testing::AssertionResult failed = ::testing::AssertionFailure();
    failed << "failed with code " << result.failure().code << ": \""
           << result.failure().sentence.toStdString() << '"';
    return failed;
}

// The value of a call that is expected to succeed; a failure is reported, and fallback stands in.
template <typename T> T expectValue(const Result<T>& result, T fallback)
{
    EXPECT_TRUE(succeeded(result));
    return result.valueOr(std::move(fallback));
}

// The failure's sentence; empty when the call succeeded.
template <typename T> QString sentenceOf(const Result<T>& result)
{
    return result.ok() ? QString() : result.failure().sentence;
}

// For EXPECT_TRUE(failedWith(call(), code)): the call failed, and with this code.
template <typename T>::testing::AssertionResult failedWith(const Result<T>& result, int code)
{
    if (result.ok())
        return ::testing::AssertionFailure() << "succeeded, expected a failure with code " << code;
    if (result.failure().code != code)
        return ::testing::AssertionFailure()
               << "failed with code " << result.failure().code << " instead of " << code << ": \""
               << result.failure().sentence.toStdString() << '"';
    if (result.failure().sentence.isEmpty())
        return ::testing::AssertionFailure() << "failed with code " << code << " but without a sentence";
    return ::testing::AssertionSuccess();
}
