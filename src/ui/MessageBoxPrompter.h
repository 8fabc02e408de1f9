#pragma once

#include "common/Prompter.h"

#include <QPointer>
#include <QWidget>

// The program's message and input boxes: QMessageBox and QInputDialog, modal, above the window
// the user is working in (or the given parent).
class MessageBoxPrompter final : public Prompter
{
public:
    explicit MessageBoxPrompter(QWidget* parent = nullptr);

    Answer message(const QString& text, Icon icon = Icon::None, Buttons buttons = Buttons::Ok,
                   const QString& title = kProgramTitle, Answer defaultAnswer = Answer::Ok) override;
    std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                    const QString& defaultText) override;

    // A visible window keeps itself above the others.
    static bool staysOnTopWindowShows();

private:
    QWidget* owner() const;

    QPointer<QWidget> m_parent;
};
