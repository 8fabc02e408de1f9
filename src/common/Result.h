#pragma once

#include "common/Failure.h"

#include <optional>
#include <utility>
#include <variant>

// What a fallible call returns below the windows: its value, or the Failure that says why there is
// none. No exception crosses a folder; the caller decides what becomes of a failure (a log line,
// the status, the tray, and in the windows a message box).
//
//     Result<QByteArray> encoded = EncodeJpeg(...);
//     if (!encoded)
//         log(encoded.failure().sentence);
// A call whose failure must not go unnoticed says so with [[nodiscard]] on the call itself.
template <typename T> class Result
{
public:
    Result(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    Result(Failure failure) : m_state(std::in_place_index<1>, std::move(failure)) {}

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    // Only when ok().
    const T& value() const& { return std::get<0>(m_state); }
    T& value() & { return std::get<0>(m_state); }
    T&& value() && { return std::get<0>(std::move(m_state)); }
    const T& operator*() const& { return value(); }
    const T* operator->() const { return &value(); }
    T valueOr(T fallback) const { return ok() ? value() : std::move(fallback); }

    // Only when !ok().
    const Failure& failure() const { return std::get<1>(m_state); }

private:
    std::variant<T, Failure> m_state;
};

// For calls that give nothing back but may fail.
template <> class Result<void>
{
public:
    Result() = default;
    Result(Failure failure) : m_failure(std::move(failure)) {}

    static Result success() { return {}; }

    bool ok() const { return !m_failure; }
    explicit operator bool() const { return ok(); }
    // Only when !ok().
    const Failure& failure() const { return *m_failure; }

private:
    std::optional<Failure> m_failure;
};
