#pragma once

#include <QEventLoop>
#include <QMetaObject>

#include <exception>
#include <optional>
#include <thread>
#include <type_traits>
#include <utility>

// Runs one blocking call on a worker thread while the calling thread keeps processing its events,
// and returns the call's result there. The windows stay responsive during a transfer, and whatever
// the caller does between two calls (log lines, message boxes) keeps its order.
class WorkerCall final
{
public:
    template <typename Call> static std::invoke_result_t<Call&> run(Call&& call)
    {
        using Result = std::invoke_result_t<Call&>;
        QEventLoop loop;
        std::exception_ptr failure;
        std::optional<std::conditional_t<std::is_void_v<Result>, bool, Result>> result;
        std::thread worker([&] {
            try {
                if constexpr (std::is_void_v<Result>) {
                    call();
                    result = true;
                } else {
                    result = call();
                }
            } catch (...) {
                failure = std::current_exception();
            }
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
        worker.join();
        if (failure)
            std::rethrow_exception(failure);
        if constexpr (!std::is_void_v<Result>)
            return std::move(*result);
    }
};
