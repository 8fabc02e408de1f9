#pragma once

#include <deque>
#include <optional>

// Scripted answers for a test double's dialogs, taken in order; an empty script cancels.
template <typename T> class AnswerQueue final
{
public:
    void push(std::optional<T> answer) { m_script.push_back(std::move(answer)); }
    std::optional<T> next()
    {
        if (m_script.empty())
            return std::nullopt;
        std::optional<T> answer = std::move(m_script.front());
        m_script.pop_front();
        return answer;
    }

private:
    std::deque<std::optional<T>> m_script;
};
