#include "ui/ProgramConfigWindow.h"
#include "EnvScope.h"
#include "ScriptedDialogs.h"
#include "ScriptedPrompter.h"
#include "TempDir.h"
#include "help/Help.h"
#include "options/AutostartEntry.h"
#include "options/ProgramOptions.h"
#include "settings/Regedit.h"
#include "ui/ColorSwatch.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>

#include <gtest/gtest.h>

namespace {
const QString kProduct = QStringLiteral("Software\\Velmora");

class ProgramConfigWindowTest : public ::testing::Test
{
protected:
    ProgramConfigWindow& window()
    {
        if (!m_window)
            m_window = std::make_unique<ProgramConfigWindow>(options, prompter, help, dialogs, programPath);
        return *m_window;
    }
    template <typename T> T* child(const QString& name)
    {
        T* found = window().findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }
    std::optional<QString> get(const QString& name)
    {
        return store.GetString(HKEY_LOCAL_MACHINE, kProduct, name);
    }

    TempDir dir;
    EnvScope home{"XDG_CONFIG_HOME", dir.file("config").toLocal8Bit()};
    Regedit store{dir.file("store.db")};
    ScriptedPrompter prompter;
    ProgramOptions options{store};
    Help help{dir.path()};
    ScriptedDialogs dialogs;
    QString programPath = dir.file("bin/velmora");
    std::unique_ptr<ProgramConfigWindow> m_window;
};

TEST_F(ProgramConfigWindowTest, FirstRunShowsTheUnstoredOptions)
{
    ProgramConfigWindow& w = window();
    EXPECT_EQ(w.objectName(), "prcoForm");
    EXPECT_EQ(w.windowTitle(), "Program configuration");
    EXPECT_FALSE(w.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(w.isVisible());

    auto* tabs = child<QTabWidget>("TabStripConf");
    ASSERT_EQ(tabs->count(), 5);
    const QStringList frames{"frameProgram", "frameVarious", "frameBackground", "frameSound", "frameQuality"};
    const QStringList captions{"Program Running", "Various Options", "Program Interface", "Premonition",
                               "Uploaded"};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(tabs->widget(i)->objectName() + '|' + tabs->tabText(i), frames[i] + '|' + captions[i]);
    EXPECT_EQ(tabs->currentIndex(), 0);

    for (const char* name : {"chkSystray", "chkMin", "chkAutostart", "chkClose", "chkKeepUpload", "chkSuc",
                             "chkPrint", "chkMotion", "chkAsk", "chkSound"})
        EXPECT_FALSE(child<QCheckBox>(name)->isChecked()) << name;
    EXPECT_EQ(child<QLineEdit>("txtQuality")->text(), "100");
    EXPECT_EQ(child<QSlider>("Slider1")->value(), 100);
    for (const char* name : {"txtTextTime", "txtSound", "txtSoundSource", "txtPicSource", "txtClose"})
        EXPECT_EQ(child<QLineEdit>(name)->text(), "") << name;
    EXPECT_EQ(child<ColorSwatch>("piccolor")->color(), QColor(Qt::black));
    EXPECT_EQ(child<QCheckBox>("chkMin")->text(), "&Start program &minimized in systray");
    EXPECT_EQ(child<QSpinBox>("UpDown1")->minimum(), 0);
    EXPECT_EQ(child<QSpinBox>("UpDown1")->maximum(), 10);
}

TEST_F(ProgramConfigWindowTest, ConfirmingAtOnceStoresTheFirstRunSet)
{
    ProgramConfigWindow& w = window();
    w.showWindow();
    QSignalSpy picture(&w, &ProgramConfigWindow::backgroundPictureChanged);
    QSignalSpy confirmed(&w, &ProgramConfigWindow::confirmed);
    AutostartEntry::write(programPath);

    child<QPushButton>("Command1")->click();
    ASSERT_EQ(picture.count(), 1);
    EXPECT_EQ(picture.at(0).at(0).toString(), "");
    EXPECT_EQ(confirmed.count(), 1);
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(prompter.shown().empty());
    for (const char* flag :
         {"Min", "Motion", "Print", "Suc", "Systray", "Sound", "Close", "Ask", "Keep", "Autostart"})
        EXPECT_EQ(get(flag), "0") << flag;
    EXPECT_EQ(get("Image Quality (JPEG):"), "100");
    EXPECT_EQ(get("TextTimeName"), "");
    EXPECT_EQ(get("SoundSec"), "");
    EXPECT_EQ(get("ProgramBGColor"), "0");
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
    EXPECT_EQ(get("Ask"), std::nullopt) << "nothing is stored before OK";

    options.setAsk(false);
    window().showWindow();
    EXPECT_FALSE(child<QCheckBox>("chkAsk")->isChecked());
}

TEST_F(ProgramConfigWindowTest, QualityAndSoundSecondsBoxesFollowTheirRules)
{
    auto* quality = child<QLineEdit>("txtQuality");
    auto* slider = child<QSlider>("Slider1");
    // typed, then shown, slider, option
    const std::tuple<const char*, const char*, int, const char*> qualities[] = {
        {"250", "100", 100, "100"}, {"40", "40", 40, "40"}, {"-5", "", 40, ""},
        {"40", "40", 40, "40"},     {"abc", "", 40, ""},    {"", "", 40, ""}};
    for (const auto& [typed, shown, position, option] : qualities) {
        quality->setText(typed);
        EXPECT_EQ(quality->text() + '|' + QString::number(slider->value()) + '|' + options.quality(),
                  QStringLiteral("%1|%2|%3").arg(shown).arg(position).arg(option))
            << typed;
    }
    slider->setValue(55);
    EXPECT_EQ(quality->text(), "55");
    EXPECT_EQ(options.quality(), "55");
    quality->setText("");
    child<QPushButton>("Command1")->click();
    EXPECT_EQ(get("Image Quality (JPEG):"), "");
    // The JPEG writer's rule turns the empty quality into 100, and the box shows it.
    EXPECT_EQ(options.jpegQuality(), 100);
    EXPECT_EQ(quality->text(), "100");
    EXPECT_EQ(slider->value(), 100);

    auto* box = child<QLineEdit>("txtSound");
    auto* spin = child<QSpinBox>("UpDown1");
    const std::tuple<const char*, const char*, int> delays[] = {
        {"12", "10", 10}, {"-1", "0", 0}, {"x", "0", 0}, {"", "", 0}};
    for (const auto& [typed, shown, value] : delays) {
        box->setText(typed);
        EXPECT_EQ(box->text() + '|' + QString::number(spin->value()),
                  QStringLiteral("%1|%2").arg(shown).arg(value))
            << typed;
    }
    spin->setValue(7);
    EXPECT_EQ(box->text(), "7");
    EXPECT_EQ(options.soundSec(), "7");
    box->setText("x");
    EXPECT_EQ(box->text(), "7");
    box->setText("");
    EXPECT_EQ(options.soundSec(), "");
    spin->stepBy(1);
    EXPECT_EQ(box->text(), "8");
}

TEST_F(ProgramConfigWindowTest, MissingPictureOrSoundIsReportedAndStillStored)
{
    ProgramConfigWindow& w = window();
    QSignalSpy picture(&w, &ProgramConfigWindow::backgroundPictureChanged);
    const QString missing = dir.file("missing.bmp");
    child<QLineEdit>("txtPicSource")->setText(missing);
    child<QLineEdit>("txtSoundSource")->setText(dir.path()); // a folder is no sound file
    child<QPushButton>("Command1")->click();

    ASSERT_EQ(prompter.shown().size(), 2u);
    EXPECT_EQ(prompter.shown()[0].text, "Picture not found");
    EXPECT_EQ(prompter.shown()[0].icon, Prompter::Icon::Critical);
    EXPECT_EQ(prompter.shown()[0].title, "Velmora 2001");
    EXPECT_EQ(prompter.shown()[1].text, "Sound file not found");
    EXPECT_EQ(prompter.shown()[1].icon, Prompter::Icon::Critical);
    ASSERT_EQ(picture.count(), 1);
    EXPECT_EQ(picture.at(0).at(0).toString(), "");
    EXPECT_EQ(get("BGPic"), missing);
    EXPECT_EQ(get("SoundSrc"), dir.path());

    prompter.clear();
    child<QLineEdit>("txtPicSource")->setText(dir.path());
    child<QPushButton>("Command1")->click();
    EXPECT_EQ(prompter.texts(), (QStringList{"Picture not found", "Sound file not found"}));

    const QString existing = dir.file("bg.bmp");
    QFile file(existing);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    prompter.clear();
    child<QLineEdit>("txtPicSource")->setText(existing);
    child<QLineEdit>("txtSoundSource")->setText("");
    child<QPushButton>("Command1")->click();
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
    EXPECT_EQ(picture->text(), "/pictures/a.jpg");
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

TEST_F(ProgramConfigWindowTest, SwatchColourGoesToTheMainWindowAtOnce)
{
    ProgramConfigWindow& w = window();
    QSignalSpy chosen(&w, &ProgramConfigWindow::backgroundColorChosen);
    dialogs.colorNext(QColor(0, 128, 255));
    emit child<ColorSwatch>("piccolor")->clicked();
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen.at(0).at(0).value<QColor>(), QColor(0, 128, 255));
    EXPECT_EQ(options.bgColor(), 0u + 128u * 256u + 255u * 65536u);
    EXPECT_EQ(get("ProgramBGColor"), std::nullopt);

    emit child<ColorSwatch>("piccolor")->clicked(); // cancelled: the colour is applied again
    ASSERT_EQ(chosen.count(), 2);
    EXPECT_EQ(chosen.at(1).at(0).value<QColor>(), QColor(0, 128, 255));
    EXPECT_EQ(dialogs.asked().last(), "color|#0080ff");

    child<QPushButton>("Command1")->click();
    EXPECT_EQ(get("ProgramBGColor"), QString::number(128 * 256 + 255 * 65536));
}

TEST_F(ProgramConfigWindowTest, AutostartEntryFollowsTheCheckBoxOnOk)
{
    child<QCheckBox>("chkAutostart")->click();
    child<QPushButton>("Command1")->click();
    QFile entry(AutostartEntry::path());
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(entry.readAll()).contains(AutostartEntry::execArgument(programPath)));
    entry.close();
    EXPECT_EQ(get("Autostart"), "1");

    child<QCheckBox>("chkAutostart")->click();
    child<QPushButton>("Command1")->click();
    EXPECT_FALSE(QFile::exists(AutostartEntry::path()));
    EXPECT_EQ(get("Autostart"), "0");
}
} // namespace
