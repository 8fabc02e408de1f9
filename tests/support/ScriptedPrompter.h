#pragma once

#include "common/Prompter.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <optional>

// A Prompter for tests: records every message and input box and answers from a script.
// Without a scripted answer a message box answers its default and an input box is cancelled.
class ScriptedPrompter final : public Prompter
{
public:
    struct Shown
    {
        QString text;
        Icon icon;
        Buttons buttons;
        QString title;
    };

    void answerNext(Answer answer) { m_answers.push_back(answer); }
    void inputNext(std::optional<QString> text)
    {
        m_inputs.push_back({!text.has_value(), text.value_or(QString())});
    }

    Answer message(const QString& text, Icon icon, Buttons buttons, const QString& title,
                   Answer defaultAnswer) override
    {
        m_shown.push_back({text, icon, buttons, title});
        if (m_answers.empty())
            return defaultAnswer;
        const Answer answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }

    std::optional<QString> inputBox(const QString& prompt, const QString& title, const QString&) override
    {
        m_inputPrompts.push_back(title + QLatin1Char('|') + prompt);
        if (m_inputs.empty())
            return std::nullopt;
        const ScriptedInput input = m_inputs.front();
        m_inputs.pop_front();
        if (input.cancelled)
            return std::nullopt;
        return input.text;
    }

    const std::deque<Shown>& shown() const { return m_shown; }
    QStringList texts() const
    {
        QStringList list;
        for (const Shown& s : m_shown)
            list << s.text;
        return list;
    }
    const QStringList& inputPrompts() const { return m_inputPrompts; }
    void clear()
    {
        m_shown.clear();
        m_inputPrompts.clear();
    }

private:
    struct ScriptedInput
    {
        bool cancelled;
        QString text;
    };

    std::deque<Answer> m_answers;
    std::deque<ScriptedInput> m_inputs;
    std::deque<Shown> m_shown;
    QStringList m_inputPrompts;
};
