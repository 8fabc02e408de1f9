#include "upload/WorkerCall.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>

TEST(WorkerCallTest, RunsOnAnotherThreadWhileEventsGoOnAndPassesExceptionsBack)
{
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, &timer, [&ticks] { ++ticks; });
    timer.start(5);

    std::thread::id worker;
    const int result = WorkerCall::run([&worker] {
        worker = std::this_thread::get_id();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return 42;
    });
    EXPECT_EQ(result, 42);
    EXPECT_NE(worker, std::this_thread::get_id());
    EXPECT_GT(ticks, 0);

    bool ran = false;
    WorkerCall::run([&ran] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_THROW(WorkerCall::run([]() -> int { throw std::runtime_error("x"); }), std::runtime_error);
}
