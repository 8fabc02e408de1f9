#pragma once

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <optional>

// Starts an asynchronous job and serves events until its signal brings the result, or until the
// limit has passed (then absent).
template <typename Result, typename Sender, typename Signal, typename Start>
std::optional<Result> untilSignal(Sender* sender, Signal signal, Start start, int limitMs = 30000)
{
    std::optional<Result> result;
    QEventLoop loop;
    const QMetaObject::Connection connection = QObject::connect(sender, signal, &loop, [&](const Result& r) {
        result = r;
        loop.quit();
    });
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    start();
    if (!result)
        loop.exec();
    QObject::disconnect(connection);
    return result;
}
