#include "app/ConsolePrompter.h"

#include <cstdio>

Prompter::Answer ConsolePrompter::message(const QString& text, Icon, Buttons, const QString& title,
                                          Answer defaultAnswer)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
    return defaultAnswer;
}

std::optional<QString> ConsolePrompter::inputBox(const QString&, const QString&, const QString&)
{
    return std::nullopt;
}
