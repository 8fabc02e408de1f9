#pragma once

#include <QString>
#include <optional>

// The title every message box of the program carries unless a window names another.
inline const QString kProgramTitle = QStringLiteral("Velmora 2001");

// Questions and messages to the user. The program implements it with message boxes; tests use a
// scripted fake, so the account rules and the upload cycle run without windows.
class Prompter
{
public:
    enum class Icon { None, Information, Question, Exclamation, Critical };
    enum class Buttons { Ok, OkCancel, YesNo };
    enum class Answer { Ok, Cancel, Yes, No };

    virtual ~Prompter() = default;

    // Shows a message box and waits for the answer. Closing the box answers Cancel (or No).
    virtual Answer message(const QString& text, Icon icon = Icon::None, Buttons buttons = Buttons::Ok,
                           const QString& title = kProgramTitle, Answer defaultAnswer = Answer::Ok) = 0;

    // An input box; absent when cancelled.
    virtual std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                            const QString& defaultText) = 0;
};
