#include "ui/ProgramConfigWindow.h"
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

// Points the user's config folder (and with it the autostart entry) at a temporary one.
class ConfigHome final
{
public:
    explicit ConfigHome(const QString& path) : m_saved(qgetenv("XDG_CONFIG_HOME"))
    {
        qputenv("XDG_CONFIG_HOME", path.toLocal8Bit());
    }
    ~ConfigHome() { qputenv("XDG_CONFIG_HOME", m_saved); }
    ConfigHome(const ConfigHome&) = delete;
    ConfigHome& operator=(const ConfigHome&) = delete;

private:
    QByteArray m_saved;
};

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
    ConfigHome home{dir.file("config")};
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
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(tabs->widget(i)->objectName(), frames[i]);
        EXPECT_EQ(tabs->tabText(i), captions[i]);
    }
    EXPECT_EQ(tabs->currentIndex(), 0);

    for (const char* name : {"chkSystray", "chkMin", "chkAutostart", "chkClose", "chkKeepUpload", "chkSuc",
                             "chkPrint", "chkMotion", "chkAsk", "chkSound"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(child<QCheckBox>(name)->isChecked());
    }
    EXPECT_EQ(child<QLineEdit>("txtQuality")->text(), "100");
    EXPECT_EQ(child<QSlider>("Slider1")->value(), 100);
    for (const char* name : {"txtTextTime", "txtSound", "txtSoundSource", "txtPicSource", "txtClose"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(child<QLineEdit>(name)->text(), "");
    }
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

TEST_F(ProgramConfigWindowTest, QualityBoxAndSliderRules)
{
    auto* quality = child<QLineEdit>("txtQuality");
    auto* slider = child<QSlider>("Slider1");

    quality->setText("250");
    EXPECT_EQ(quality->text(), "100");
    EXPECT_EQ(slider->value(), 100);

    slider->setValue(40);
    EXPECT_EQ(quality->text(), "40");
    EXPECT_EQ(options.quality(), "40");

    for (const char* bad : {"-5", "abc"}) {
        SCOPED_TRACE(bad);
        quality->setText(bad);
        EXPECT_EQ(quality->text(), "");
        EXPECT_EQ(slider->value(), 40);
        EXPECT_EQ(options.quality(), "");
        quality->setText("40");
    }

    quality->setText("");
    EXPECT_EQ(quality->text(), "");
    child<QPushButton>("Command1")->click();
    EXPECT_EQ(get("Image Quality (JPEG):"), "");
    // The JPEG writer's rule turns the empty quality into 100, and the box shows it.
    EXPECT_EQ(options.jpegQuality(), 100);
    EXPECT_EQ(quality->text(), "100");
    EXPECT_EQ(slider->value(), 100);
}

TEST_F(ProgramConfigWindowTest, SoundSecondsBoxAndSpinRules)
{
    auto* box = child<QLineEdit>("txtSound");
    auto* spin = child<QSpinBox>("UpDown1");

    box->setText("12");
    EXPECT_EQ(box->text(), "10");
    EXPECT_EQ(spin->value(), 10);
    box->setText("-1");
    EXPECT_EQ(box->text(), "0");
    spin->setValue(7);
    EXPECT_EQ(box->text(), "7");
    EXPECT_EQ(options.soundSec(), "7");
    box->setText("x");
    EXPECT_EQ(box->text(), "7");
    box->setText("");
    EXPECT_EQ(box->text(), "");
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
