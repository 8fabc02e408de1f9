#include "app/ConsolePrompter.h"

#include "common/OutsideText.h"

#include <cstdio>

Prompter::Answer ConsolePrompter::message(const QString& text, Icon, Buttons, const QString& title,
                                          Answer defaultAnswer)
{
    // A message may carry text from outside (a camera's or a server's words): it cannot steer the
    // terminal. One line a message, so that each line of standard error says where it comes from.
    QStringList lines = OutsideText::lines(text);
    lines.removeAll(QString());
    std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(lines.join(QLatin1Char(' '))));
    return defaultAnswer;
}

std::optional<QString> ConsolePrompter::inputBox(const QString&, const QString&, const QString&)
{
    return std::nullopt;
}
