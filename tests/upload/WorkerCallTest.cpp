#include "upload/WorkerCall.h"

#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>

TEST(WorkerCallTest, RunsOnAnotherThreadWhileEventsGoOn)
{
    int ticks = 0;
    QTimer timer;
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, &timer, [&ticks] { ++ticks; });
    timer.start();

    const auto caller = std::this_thread::get_id();
    std::thread::id worker;
    const int result = WorkerCall::run([&worker] {
        worker = std::this_thread::get_id();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return 42;
    });
    EXPECT_EQ(result, 42);
    EXPECT_NE(worker, caller);
    EXPECT_GT(ticks, 0);

    bool ran = false;
    WorkerCall::run([&ran] { ran = true; });
    EXPECT_TRUE(ran);
}

TEST(WorkerCallTest, PassesExceptionsBack)
{
    EXPECT_THROW(WorkerCall::run([]() -> int { throw std::runtime_error("x"); }), std::runtime_error);
}
