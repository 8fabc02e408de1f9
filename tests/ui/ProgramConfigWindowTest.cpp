#include "ui/ProgramConfigWindow.h"
#include "EnvScope.h"
#include "QtPrinters.h"
#include "RawDatabase.h"
#include "WindowFixture.h"
#include "options/AutostartEntry.h"
#include "options/ProgramOptions.h"
#include "ui/ColorSwatch.h"
#include "ui/SpinTextBox.h"

#include <QCheckBox>
#include <QFile>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

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
    EXPECT_EQ(child<ColorSwatch>("piccolor")->color(), QColor(Qt::black));

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
    EXPECT_EQ(stored("ProgramBGColor"), "0");
    EXPECT_FALSE(QFile::exists(AutostartEntry::path()));
}

TEST_F(ProgramConfigWindowTest, EditsAreLiveAndReopeningShowsThemAsTheyStand)
{
    child<QCheckBox>("chkAsk")->click();
    child<QLineEdit>("txtClose")->setText("5");
    child<QLineEdit>("txtTextTime")->setText("stamp.txt");
    EXPECT_TRUE(options.ask());
    EXPECT_EQ(options.closeCount(), "5");
    EXPECT_EQ(options.textTimeName(), "stamp.txt");
    EXPECT_EQ(stored("Ask"), std::nullopt) << "nothing is stored before OK";

    options.setAsk(false);
    window().showWindow();
    EXPECT_FALSE(child<QCheckBox>("chkAsk")->isChecked());
}

TEST_F(ProgramConfigWindowTest, QualityAndSoundSecondsBoxesApplyTheirRulesToTheTextAsTyped)
{
    // Keys typed into the emptied box, which is then left; the box shows the rule's result only
    // once it is left, so every keystroke counts.
    const auto typeAndLeave = [](QLineEdit* box, const char* keys) {
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClicks(box, keys);
        const QString typed = box->text();
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(box->parentWidget()->inherits("QAbstractSpinBox") ? box->parentWidget() : box,
                                &out);
        return typed;
    };
    auto* quality = child<QLineEdit>("txtQuality");
    auto* slider = child<QSlider>("Slider1");
    // typed, then shown, slider, option
    const std::tuple<const char*, const char*, int, const char*> qualities[] = {
        {"250", "100", 100, "100"}, {"40", "40", 40, "40"}, {"-5", "", 40, ""}, {"12.9", "12.9", 13, "12.9"},
        {"40", "40", 40, "40"},     {"abc", "", 40, ""},    {"", "", 40, ""}};
    for (const auto& [typed, shown, position, option] : qualities) {
        EXPECT_EQ(typeAndLeave(quality, typed), QString(typed));
        EXPECT_EQ(quality->text() + '|' + QString::number(slider->value()) + '|' + options.quality(),
                  QStringLiteral("%1|%2|%3").arg(shown).arg(position).arg(option))
            << typed;
    }
    slider->setValue(55);
    EXPECT_EQ(quality->text() + '|' + options.quality(), "55|55");
    typeAndLeave(quality, "");
    ok();
    EXPECT_EQ(stored("Image Quality (JPEG):"), "");
    // The JPEG writer's rule turns the empty quality into 100, and the box shows it.
    EXPECT_EQ(options.jpegQuality(), 100);
    EXPECT_EQ(quality->text(), "100");
    EXPECT_EQ(slider->value(), 100);

    // One box holds the sound delay: its text and its arrows.
    auto* spin = child<SpinTextBox>("UpDown1");
    auto* box = child<QLineEdit>("txtSound");
    EXPECT_EQ(box->parentWidget(), spin);
    EXPECT_EQ(window().findChildren<QSpinBox*>().size(), 0);
    EXPECT_EQ(box->text(), "");
    const std::tuple<const char*, const char*, int> delays[] = {
        {"12", "10", 10}, {"-1", "0", 0}, {"7", "7", 7}, {"x", "7", 7}, {"", "", 7}};
    for (const auto& [typed, shown, value] : delays) {
        typeAndLeave(box, typed);
        EXPECT_EQ(box->text() + '|' + QString::number(spin->value()) + '|' + options.soundSec(),
                  QStringLiteral("%1|%2|%1").arg(shown).arg(value))
            << typed;
    }
    // The arrows step the last number the box held.
    QTest::keyClick(spin, Qt::Key_Up);
    EXPECT_EQ(box->text() + '|' + options.soundSec(), "8|8");
    spin->stepBy(5);
    EXPECT_EQ(box->text() + '|' + options.soundSec(), "10|10");

    // While the person types, the box keeps the text, also when the window loses activation.
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClicks(box, "-");
    QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(spin, &away);
    QTest::keyClicks(box, "3");
    EXPECT_EQ(box->text() + '|' + options.soundSec(), "-3|0");
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
    dialogs.colorNext(QColor(0, 128, 255));
    emit child<ColorSwatch>("piccolor")->clicked();
    emit child<ColorSwatch>("piccolor")->clicked(); // cancelled: the colour is applied again
    ASSERT_EQ(chosen.count(), 2);
    EXPECT_EQ(chosen.at(0).at(0).value<QColor>(), QColor(0, 128, 255));
    EXPECT_EQ(chosen.at(1).at(0).value<QColor>(), QColor(0, 128, 255));
    EXPECT_EQ(dialogs.asked().last(), "color|#0080ff");
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
