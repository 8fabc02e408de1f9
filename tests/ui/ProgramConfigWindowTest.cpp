#include "ui/ProgramConfigWindow.h"
#include "EnvScope.h"
#include "QtPrinters.h"
#include "RawDatabase.h"
#include "Typing.h"
#include "WindowFixture.h"
#include "options/AutostartEntry.h"
#include "options/ProgramOptions.h"
#include "ui/ColorSwatch.h"
#include "ui/SpinTextBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QWindow>

#include <functional>

namespace {
class ProgramConfigWindowTest : public WindowFixture
{
protected:
    Regedit& store() override { return m_store; }
    ProgramConfigWindow& window() override
    {
        if (!m_window)
            m_window = std::make_unique<ProgramConfigWindow>(options, prompter, help, dialogs, autostart);
        return *m_window;
    }
    void ok() { child<QPushButton>("Command1")->click(); }

    EnvScope home{"XDG_CONFIG_HOME", dir.file("config").toLocal8Bit()};
    Regedit m_store{dir.file("store.db")};
    ProgramOptions options{m_store};
    QString programPath = dir.file("bin/velmora");
    AutostartEntry::Command autostart{programPath, dir.file("store.db"), dir.file("work")};
    std::unique_ptr<ProgramConfigWindow> m_window;
};

TEST_F(ProgramConfigWindowTest, FirstRunShowsTheUnstoredOptionsAndOkStoresThem)
{
    ProgramConfigWindow& w = window();
    for (const char* name : {"chkSystray", "chkMin", "chkAutostart", "chkClose", "chkKeepUpload", "chkSuc",
                             "chkPrint", "chkMotion", "chkAsk", "chkSound"})
        EXPECT_FALSE(child<QCheckBox>(name)->isChecked()) << name;
    EXPECT_EQ(child<QLineEdit>("txtQuality")->text(), "100");
    EXPECT_EQ(child<QSlider>("Slider1")->value(), 100);
    for (const char* name : {"txtTextTime", "txtSound", "txtSoundSource", "txtPicSource", "txtClose"})
        EXPECT_EQ(child<QLineEdit>(name)->text(), "") << name;
    // The swatch shows the colour in use: the main window's white.
    EXPECT_EQ(child<ColorSwatch>("piccolor")->color(), QColor(Qt::white));
    EXPECT_EQ(child<QLineEdit>("txtTextTime")->placeholderText(), "time.txt");

    w.showWindow();
    QSignalSpy picture(&w, &ProgramConfigWindow::backgroundPictureChanged);
    QSignalSpy confirmed(&w, &ProgramConfigWindow::confirmed);
    AutostartEntry::write(autostart); // the unchecked box removes an entry left from before
    ok();
    ASSERT_EQ(picture.count(), 1);
    EXPECT_EQ(picture.at(0).at(0).toString(), "");
    EXPECT_EQ(confirmed.count(), 1);
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(prompter.shown().empty());
    for (const char* flag :
         {"Min", "Motion", "Print", "Suc", "Systray", "Sound", "Close", "Ask", "Keep", "Autostart"})
        EXPECT_EQ(stored(flag), "0") << flag;
    EXPECT_EQ(stored("Image Quality (JPEG):"), "100");
    EXPECT_EQ(stored("TextTimeName"), "");
    EXPECT_EQ(stored("SoundSec"), "");
    EXPECT_EQ(stored("ProgramBGColor"), std::nullopt) << "nothing chosen, nothing stored";
    EXPECT_FALSE(QFile::exists(AutostartEntry::path()));
}

TEST_F(ProgramConfigWindowTest, EditsAreLiveAndReopeningShowsThemAsTheyStand)
{
    window().showWindow();
    child<QTabWidget>("TabStripConf")->setCurrentIndex(3);
    Typing::tick(child<QCheckBox>("chkAsk"));
    Typing::retype(child<QLineEdit>("txtClose"), "5");
    Typing::retype(child<QLineEdit>("txtTextTime"), "stamp.txt");
    EXPECT_TRUE(options.ask());
    EXPECT_EQ(options.closeCount(), "5");
    EXPECT_EQ(options.textTimeName(), "stamp.txt");
    EXPECT_EQ(stored("Ask"), std::nullopt) << "nothing is stored before OK";

    options.setAsk(false);
    window().showWindow();
    EXPECT_FALSE(child<QCheckBox>("chkAsk")->isChecked());
}

// Every number box follows one rule: typed text that is a number is kept (its whole part, within
// the box's range) and text that is not keeps what the box held, with a note saying why; once left,
// the box shows exactly what is kept, and OK stores that.
TEST_F(ProgramConfigWindowTest, NumberBoxesKeepWhatTheyShowAndSayWhyWhenThatDiffersFromWhatWasTyped)
{
    struct Box
    {
        const char* name;
        const char* stored;
        std::function<QString()> option;
        std::vector<Typing::NumberCase> cases;
    };
    const Box boxes[] = {
        {"txtQuality",
         "Image Quality (JPEG):",
         [this] { return options.quality(); },
         {{"40", "40", false},
          {"250", "100", true},
          {"55", "55", false},
          {"-4", "0", true},
          {"55", "55", false},
          {"abc", "55", true},
          {"3e2", "55", true},
          {"", "55", true},
          {"12.9", "12", true},
          {"+70", "70", false}}},
        {"txtSound",
         "SoundSec",
         [this] { return options.soundSec(); },
         {{"7", "7", false},
          {"12", "10", true},
          {"-1", "0", true},
          {"3", "3", false},
          {"x", "3", true},
          {"99999999999", "10", true},
          {"", "", false}}},
        {"txtClose",
         "Close#",
         [this] { return options.closeCount(); },
         {{"25", "25", false},
          {"abc", "25", true},
          {"99999999999", "2147483647", true},
          {"-3", "0", true},
          {"4.5", "4", true},
          {"", "", false}}},
    };
    for (const Box& box : boxes) {
        auto* field = child<QLineEdit>(box.name);
        for (const auto& c : box.cases) {
            SCOPED_TRACE(std::string(box.name) + " " + c.typed);
            Typing::retype(field, c.typed);
            EXPECT_EQ(field->text(), QString(c.typed)) << "the text stays as typed while in the box";
            Typing::leave(field);
            EXPECT_EQ(field->text(), QString(c.shown));
            EXPECT_EQ(box.option(), QString(c.shown));
            EXPECT_EQ(!Typing::note(field).isEmpty(), c.noted) << Typing::note(field).toStdString();
        }
        // OK stores what the box shows, also when Enter confirms while the box is being typed in.
        Typing::retype(field, "abc");
        QTest::keyClick(field, Qt::Key_Return);
        ok();
        EXPECT_EQ(stored(box.stored), field->text()) << box.name;
    }
    EXPECT_EQ(Typing::note(child<QLineEdit>("txtQuality")),
              "\"abc\" is not a number from 0 to 100: 70 is kept.");
    EXPECT_EQ(child<QSlider>("Slider1")->value(), 70);
}

TEST_F(ProgramConfigWindowTest, TheSliderAndTheArrowsPutTheirNumberIntoTheBox)
{
    auto* quality = child<QLineEdit>("txtQuality");
    auto* slider = child<QSlider>("Slider1");
    Typing::retype(quality, "abc");
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_End);
    QTest::keyClick(slider, Qt::Key_PageDown);
    EXPECT_EQ(quality->text() + '|' + options.quality(), "90|90");
    EXPECT_EQ(Typing::note(quality), "") << "the slider's number needs no note";
    Typing::retype(quality, "12.5");
    EXPECT_EQ(slider->value(), 12);
    // A stored fraction of an older version stays as it is and puts the slider on its nearest step.
    options.setQuality("33.6");
    EXPECT_EQ(quality->text() + '|' + QString::number(slider->value()), "33.6|34");

    // One box holds the sound delay: its text and its arrows.
    auto* spin = child<SpinTextBox>("UpDown1");
    auto* box = child<QLineEdit>("txtSound");
    EXPECT_EQ(box->parentWidget(), spin);
    EXPECT_EQ(window().findChildren<QSpinBox*>().size(), 0);
    EXPECT_EQ(box->text(), "");
    Typing::retype(box, "7");
    Typing::leave(box);
    // The arrows step the last number the box held.
    QTest::keyClick(spin, Qt::Key_Up);
    EXPECT_EQ(box->text() + '|' + options.soundSec(), "8|8");
    spin->stepBy(5);
    EXPECT_EQ(box->text() + '|' + options.soundSec(), "10|10");

    // While the person types, the box keeps the text, also when the window loses activation.
    Typing::retype(box, "-");
    Typing::leave(box, Qt::ActiveWindowFocusReason);
    Typing::type(box, "3");
    EXPECT_EQ(box->text() + '|' + options.soundSec(), "-3|0");
}

// There is no cancel: Escape and the close box leave the window as OK does, storing what changed.
TEST_F(ProgramConfigWindowTest, EscapeAndTheCloseBoxActAsOk)
{
    ProgramConfigWindow& w = window();
    QSignalSpy confirmed(&w, &ProgramConfigWindow::confirmed);
    w.showWindow();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    options.setKeep(true);
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &w, Qt::Key_Escape);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(stored("Keep"), "1");
    w.showWindow();
    options.setKeep(false);
    ASSERT_NE(w.windowHandle(), nullptr);
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    w.windowHandle()->close();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(stored("Keep"), "0");
    EXPECT_EQ(confirmed.count(), 2);
}

TEST_F(ProgramConfigWindowTest, MissingPictureOrSoundIsReportedAndStillStored)
{
    QSignalSpy picture(&window(), &ProgramConfigWindow::backgroundPictureChanged);
    const QString missing = dir.file("missing.bmp");
    child<QLineEdit>("txtPicSource")->setText(missing);
    child<QLineEdit>("txtSoundSource")->setText(dir.path()); // a folder is no sound file
    ok();
    ASSERT_EQ(prompter.shown().size(), 2u);
    EXPECT_EQ(prompter.shown()[0].text, "Picture not found");
    EXPECT_EQ(prompter.shown()[0].icon, Prompter::Icon::Critical);
    EXPECT_EQ(prompter.shown()[0].title, "Velmora 2001");
    EXPECT_EQ(prompter.shown()[1].text, "Sound file not found");
    EXPECT_EQ(prompter.shown()[1].icon, Prompter::Icon::Critical);
    ASSERT_EQ(picture.count(), 1);
    EXPECT_EQ(picture.at(0).at(0).toString(), "");
    EXPECT_EQ(stored("BGPic"), missing);
    EXPECT_EQ(stored("SoundSrc"), dir.path());

    // A folder is no picture either.
    prompter.clear();
    child<QLineEdit>("txtPicSource")->setText(dir.path());
    ok();
    EXPECT_EQ(prompter.texts(), (QStringList{"Picture not found", "Sound file not found"}));

    const QString existing = dir.file("bg.bmp");
    ASSERT_TRUE(QFile(existing).open(QIODevice::WriteOnly));
    prompter.clear();
    child<QLineEdit>("txtPicSource")->setText(existing);
    child<QLineEdit>("txtSoundSource")->setText("");
    ok();
    EXPECT_TRUE(prompter.shown().empty());
    EXPECT_EQ(picture.last().at(0).toString(), existing);
}

TEST_F(ProgramConfigWindowTest, FileChoosersKeepTheirLastFile)
{
    auto* picture = child<QLineEdit>("txtPicSource");
    picture->setText("typed.bmp");
    child<QPushButton>("cmdPictureBrowse")->click(); // cancelled before any choice
    EXPECT_EQ(dialogs.asked().last(), "file|Choose Picture...|Picture Files (*.bmp *.gif *.jpg)|");
    EXPECT_EQ(picture->text(), "");

    dialogs.fileNext(QStringLiteral("/pictures/a.jpg"));
    child<QPushButton>("cmdPictureBrowse")->click();
    EXPECT_EQ(options.bgPic(), "/pictures/a.jpg");
    picture->setText("");
    child<QPushButton>("cmdPictureBrowse")->click(); // cancelled: the dialog's last file comes back
    EXPECT_EQ(dialogs.asked().last(),
              "file|Choose Picture...|Picture Files (*.bmp *.gif *.jpg)|/pictures/a.jpg");
    EXPECT_EQ(picture->text(), "/pictures/a.jpg");

    dialogs.fileNext(QStringLiteral("/sounds/bell.wav"));
    child<QPushButton>("cmdSoundBrowse")->click();
    EXPECT_EQ(dialogs.asked().last(), "file|Choose Sound...|Sound Files (*.wav)|");
    EXPECT_EQ(child<QLineEdit>("txtSoundSource")->text(), "/sounds/bell.wav");
    EXPECT_EQ(options.soundSrc(), "/sounds/bell.wav");
}

TEST_F(ProgramConfigWindowTest, SwatchColourGoesToTheMainWindowAtOnceAndIsStoredOnOk)
{
    QSignalSpy chosen(&window(), &ProgramConfigWindow::backgroundColorChosen);
    emit child<ColorSwatch>("piccolor")->clicked(); // cancelled at once: nothing changes
    EXPECT_EQ(dialogs.asked().last(), "color|#ffffff") << "the dialog opens on the colour in use";
    EXPECT_EQ(chosen.count(), 0);
    dialogs.colorNext(QColor(0, 128, 255));
    emit child<ColorSwatch>("piccolor")->clicked();
    emit child<ColorSwatch>("piccolor")->clicked(); // cancelled: the chosen colour stays
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen.at(0).at(0).value<QColor>(), QColor(0, 128, 255));
    EXPECT_EQ(dialogs.asked().last(), "color|#0080ff");
    EXPECT_EQ(child<ColorSwatch>("piccolor")->color(), QColor(0, 128, 255));
    EXPECT_EQ(stored("ProgramBGColor"), std::nullopt);
    ok();
    EXPECT_EQ(stored("ProgramBGColor"), QString::number(128 * 256 + 255 * 65536));
}

TEST_F(ProgramConfigWindowTest, AutostartEntryFollowsTheCheckBoxOnOk)
{
    EXPECT_EQ(child<QCheckBox>("chkAutostart")->text(), "&Autostart program at login");
    child<QCheckBox>("chkAutostart")->click();
    ok();
    QFile entry(AutostartEntry::path());
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    // The entry starts this program on the store and working folder it runs on.
    EXPECT_TRUE(QString::fromUtf8(entry.readAll())
                    .contains(QStringLiteral("\nExec=%1 --store %2 --workdir %3\n")
                                  .arg(AutostartEntry::execArgument(programPath),
                                       AutostartEntry::execArgument(dir.file("store.db")),
                                       AutostartEntry::execArgument(dir.file("work")))));
    EXPECT_EQ(stored("Autostart"), "1");

    child<QCheckBox>("chkAutostart")->click();
    ok();
    EXPECT_FALSE(QFile::exists(AutostartEntry::path()));
    EXPECT_EQ(stored("Autostart"), "0");
}
} // namespace

TEST_F(ProgramConfigWindowTest, OptionsThatCannotBeSavedAreReportedOnOk)
{
    const auto newer = newerVersionStore(dir.file("newer.db"), kProduct, "Min", "1");
    ProgramOptions lockedOptions(*newer);
    ProgramConfigWindow locked(lockedOptions, prompter, help, dialogs, autostart);
    locked.findChild<QCheckBox*>("chkAsk")->click();
    locked.findChild<QPushButton*>("Command1")->click();
    EXPECT_EQ(
        prompter.texts(),
        QStringList{"The options could not be saved: the settings store was written by a newer version of "
                    "Velmora."});
    EXPECT_EQ(prompter.shown().back().icon, Prompter::Icon::Exclamation);
    EXPECT_TRUE(lockedOptions.ask()) << "the options stay in effect for this run";
}
