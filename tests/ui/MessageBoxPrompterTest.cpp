#include "ui/MessageBoxPrompter.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {
// Runs `answer` on the box once it is up; a second timer ends a box the answer failed to close.
template <typename Box> void whenModal(const std::function<void(Box&)>& answer)
{
    QTimer::singleShot(0, qApp, [answer] {
        auto* box = qobject_cast<Box*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        answer(*box);
    });
    QTimer::singleShot(5000, qApp, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
}

TEST(MessageBoxPrompterTest, MessageCarriesTitleIconDefaultButtonAndAnswer)
{
    MessageBoxPrompter prompter;
    QString seen;
    whenModal<QMessageBox>([&](QMessageBox& box) {
        seen = QStringList{box.windowTitle(), box.text(), QString::number(box.icon()),
                           box.defaultButton() == box.button(QMessageBox::No) ? "No" : "?"}
                   .join('|');
        box.button(QMessageBox::Yes)->click();
    });
    EXPECT_EQ(prompter.message("Sure?", Prompter::Icon::Exclamation, Prompter::Buttons::YesNo, "Remove 'x'?",
                               Prompter::Answer::No),
              Prompter::Answer::Yes);
    EXPECT_EQ(seen, QStringLiteral("Remove 'x'?|Sure?|%1|No").arg(QMessageBox::Warning));

    // The program's title by default.
    whenModal<QMessageBox>([&](QMessageBox& box) {
        seen = box.windowTitle() + '|' + QString::number(box.icon());
        box.button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(prompter.message("Picture not found", Prompter::Icon::Critical), Prompter::Answer::Ok);
    EXPECT_EQ(seen, QStringLiteral("Velmora 2001|%1").arg(QMessageBox::Critical));

    // Closing a Yes/No box answers No.
    whenModal<QMessageBox>([](QMessageBox& box) { box.close(); });
    EXPECT_EQ(prompter.message("Sure?", Prompter::Icon::Question, Prompter::Buttons::YesNo),
              Prompter::Answer::No);
}

TEST(MessageBoxPrompterTest, InputBoxReturnsTheTextOrNothingWhenCancelled)
{
    MessageBoxPrompter prompter;
    QString seen;
    whenModal<QInputDialog>([&](QInputDialog& dialog) {
        seen = dialog.windowTitle() + '|' + dialog.textValue();
        dialog.setTextValue("Garden");
        dialog.accept();
    });
    EXPECT_EQ(prompter.inputBox("Please choose a new name for your Account...", "Rename...", "Old"),
              "Garden");
    EXPECT_EQ(seen, "Rename...|Old");

    whenModal<QInputDialog>([](QInputDialog& dialog) { dialog.reject(); });
    EXPECT_EQ(prompter.inputBox("Name?", "New Account...", ""), std::nullopt);
}
} // namespace
