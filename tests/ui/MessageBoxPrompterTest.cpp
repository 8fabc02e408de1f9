#include "ui/MessageBoxPrompter.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {
// Runs `answer` on the box once it is up; a second timer ends a box the answer failed to close.
void whenModal(const std::function<void(QWidget*)>& answer)
{
    QTimer::singleShot(0, qApp, [answer] { answer(QApplication::activeModalWidget()); });
    QTimer::singleShot(5000, qApp, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
}

TEST(MessageBoxPrompterTest, MessageCarriesTitleIconButtonsAndAnswer)
{
    MessageBoxPrompter prompter;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString defaultText;
    whenModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        defaultText = box->defaultButton() ? box->defaultButton()->text() : QString();
        box->button(QMessageBox::Yes)->click();
    });
    const Prompter::Answer answer = prompter.message(
        "Sure?", Prompter::Icon::Exclamation, Prompter::Buttons::YesNo, "Remove 'x'?", Prompter::Answer::No);
    EXPECT_EQ(answer, Prompter::Answer::Yes);
    EXPECT_EQ(title, "Remove 'x'?");
    EXPECT_EQ(text, "Sure?");
    EXPECT_EQ(icon, QMessageBox::Warning);
    EXPECT_EQ(defaultText,
              QMessageBox(QMessageBox::NoIcon, "", "", QMessageBox::No).button(QMessageBox::No)->text());
}

TEST(MessageBoxPrompterTest, DefaultTitleAndCriticalIcon)
{
    MessageBoxPrompter prompter;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    whenModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        icon = box->icon();
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(prompter.message("Picture not found", Prompter::Icon::Critical), Prompter::Answer::Ok);
    EXPECT_EQ(title, "Velmora 2001");
    EXPECT_EQ(icon, QMessageBox::Critical);
}

TEST(MessageBoxPrompterTest, ClosingAYesNoBoxAnswersNo)
{
    MessageBoxPrompter prompter;
    whenModal([](QWidget* modal) {
        ASSERT_NE(modal, nullptr);
        modal->close();
    });
    EXPECT_EQ(prompter.message("Sure?", Prompter::Icon::Question, Prompter::Buttons::YesNo),
              Prompter::Answer::No);
}

TEST(MessageBoxPrompterTest, InputBoxReturnsTheTextOrNothingWhenCancelled)
{
    MessageBoxPrompter prompter;
    QString title;
    whenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QInputDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        EXPECT_EQ(dialog->textValue(), "Old");
        dialog->setTextValue("Garden");
        dialog->accept();
    });
    EXPECT_EQ(prompter.inputBox("Please choose a new name for your Account...", "Rename...", "Old"),
              "Garden");
    EXPECT_EQ(title, "Rename...");

    whenModal([](QWidget* modal) {
        auto* dialog = qobject_cast<QInputDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->reject();
    });
    EXPECT_EQ(prompter.inputBox("Name?", "New Account...", ""), std::nullopt);
}
} // namespace
