#pragma once

#include "common/Prompter.h"

// Messages of a run without windows go to standard error; questions take their default answer,
// since nobody is there to answer them.
class ConsolePrompter final : public Prompter
{
public:
    Answer message(const QString& text, Icon icon, Buttons buttons, const QString& title,
                   Answer defaultAnswer) override;
    std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                    const QString& defaultText) override;
};
