#include "app/ConsolePrompter.h"

#include "common/OutsideText.h"

#include <cstdio>

Prompter::Answer ConsolePrompter::message(const QString& text, Icon, Buttons, const QString& title,
                                          Answer defaultAnswer)
{
    // A message may carry text from outside (a camera's or a server's words): it keeps its lines but
    // cannot steer the terminal.
    std::fprintf(stderr, "%s: %s\n", qPrintable(title),
                 qPrintable(OutsideText::lines(text).join(QLatin1Char('\n'))));
    return defaultAnswer;
}

std::optional<QString> ConsolePrompter::inputBox(const QString&, const QString&, const QString&)
{
    return std::nullopt;
}
