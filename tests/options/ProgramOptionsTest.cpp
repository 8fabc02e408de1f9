#include "options/ProgramOptions.h"
#include "EnvScope.h"
#include "QtPrinters.h"
#include "StoreDump.h"
#include "TempDir.h"
#include "options/AutostartEntry.h"
#include "settings/Regedit.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {
const QString kProduct = QStringLiteral("Software\\Velmora");
const char* const kFlags[] = {"Min",   "Motion", "Print", "Suc",  "Systray",
                              "Sound", "Close",  "Ask",   "Keep", "Autostart"};

// Every option in one line: the ten flags, quality, the five texts and the colour.
QString describe(ProgramOptions& o)
{
    const auto b = [](bool v) { return QString::number(int(v)); };
    return QStringList{b(o.min()),   b(o.motion()), b(o.print()), b(o.suc()),  b(o.systray()),
                       b(o.sound()), b(o.close()),  b(o.ask()),   b(o.keep()), b(o.autostart())}
               .join("") +
           QStringLiteral("|%1/%2|%3|%4|%5|%6|%7|%8")
               .arg(o.quality())
               .arg(o.jpegQuality())
               .arg(o.bgPic(), o.textTimeName(), o.soundSec(), o.soundSrc(), o.closeCount())
               .arg(o.bgColor() ? QString::number(*o.bgColor()) : QStringLiteral("none"));
}

QString readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

class ProgramOptionsTest : public ::testing::Test
{
protected:
    void put(const QString& name, const QString& text)
    {
        store.SaveString(HKEY_LOCAL_MACHINE, kProduct, name, text);
    }
    std::optional<QString> get(const QString& name)
    {
        return store.GetString(HKEY_LOCAL_MACHINE, kProduct, name);
    }

    TempDir dir;
    EnvScope home{"XDG_CONFIG_HOME", dir.file("config").toLocal8Bit()};
    Regedit store{dir.file("store.db")};
    ProgramOptions options{store};
};
} // namespace

TEST_F(ProgramOptionsTest, NothingStoredGivesTheDefaultsAndStoresAllButAColourNobodyChose)
{
    EXPECT_EQ(describe(options), QString("0000000000|100/100||||||none"));
    EXPECT_EQ(options.timeFileName(), "time.txt");
    EXPECT_EQ(options.storeAll({"/opt/velmora/bin/velmora", {}, {}}), "");
    for (const char* flag : kFlags)
        EXPECT_EQ(get(flag), QString("0")) << flag;
    for (const char* text : {"BGPic", "TextTimeName", "SoundSec", "SoundSrc", "Close#"})
        EXPECT_EQ(get(text), QString("")) << text;
    EXPECT_EQ(get("Image Quality (JPEG):"), QString("100"));
    // Notifications are on unless turned off.
    EXPECT_TRUE(options.notify());
    EXPECT_EQ(get("Notify"), QString("1"));
    // The main window stays white: no colour is stored until one is chosen.
    EXPECT_EQ(get("ProgramBGColor"), std::nullopt);
    EXPECT_FALSE(QFile::exists(AutostartEntry::path()));
    EXPECT_EQ(store.Values(HKEY_LOCAL_MACHINE, kProduct).size(), 17u);
    options.setBgColor(0);
    options.storeAll({"/opt/velmora/bin/velmora", {}, {}});
    EXPECT_EQ(get("ProgramBGColor"), QString("0"));
}

TEST_F(ProgramOptionsTest, StoredValuesLoadOnceAtTheFirstRead)
{
    for (const char* flag : kFlags)
        put(flag, "1");
    for (const QString& value : QStringList{
             "Image Quality (JPEG):=75", "BGPic=/home/me/back.bmp", "TextTimeName=time.txt", "SoundSec=7",
             "SoundSrc=/usr/share/sounds/click.wav", "Close#=12", "ProgramBGColor=3368601"})
        put(value.section('=', 0, 0), value.section('=', 1));
    EXPECT_EQ(
        describe(options),
        QString("1111111111|75/75|/home/me/back.bmp|time.txt|7|/usr/share/sounds/click.wav|12|3368601"));
    put("Min", "0");
    EXPECT_TRUE(options.min());
    EXPECT_FALSE(ProgramOptions(store).min());
}

TEST_F(ProgramOptionsTest, DamagedValuesLoadAsTheirDefaultsAndStayStored)
{
    const auto loaded = [this](const char* name, const char* text, const auto& read) {
        put(name, text);
        ProgramOptions fresh(store);
        return read(fresh);
    };
    const auto quality = [](ProgramOptions& o) { return o.quality(); };
    for (const auto& [text, expected] : std::initializer_list<std::pair<const char*, const char*>>{
             {"250", "100"}, {"abc", "100"}, {"-5", "100"}, {"", "100"}, {"0", "0"}, {"100", "100"}})
        EXPECT_EQ(loaded("Image Quality (JPEG):", text, quality), QString(expected)) << text;
    const auto delay = [](ProgramOptions& o) { return o.soundSec(); };
    for (const auto& [text, expected] : std::initializer_list<std::pair<const char*, const char*>>{
             {"-3", "0"}, {"15", "10"}, {"abc", "0"}, {"", "0"}, {"10", "10"}, {"0", "0"}})
        EXPECT_EQ(loaded("SoundSec", text, delay), QString(expected)) << text;
    for (const char* flag : {"2", "yes", "", "True", "-1"})
        EXPECT_FALSE(loaded("Ask", flag, [](ProgramOptions& o) { return o.ask(); })) << flag;
    for (const auto& [text, on] :
         std::initializer_list<std::pair<const char*, bool>>{{"0", false}, {"1", true}, {"x", false}})
        EXPECT_EQ(loaded("Notify", text, [](ProgramOptions& o) { return o.notify(); }), on) << text;
    for (const char* color : {"abc", "-1", "16777216", "1.5", ""})
        EXPECT_EQ(loaded("ProgramBGColor", color, [](ProgramOptions& o) { return o.bgColor(); }),
                  std::nullopt)
            << color;
    for (const auto& [text, name] : std::initializer_list<std::pair<const char*, const char*>>{
             {"", "time.txt"}, {"  ", "time.txt"}, {"stamp.txt", "stamp.txt"}})
        EXPECT_EQ(loaded("TextTimeName", text, [](ProgramOptions& o) { return o.timeFileName(); }),
                  QString(name))
            << text;

    const QStringList before = storeDump(store);
    ProgramOptions(store).min();
    EXPECT_EQ(storeDump(store), before);
}

TEST_F(ProgramOptionsTest, EditsAreLiveAndStoredOnlyByStoreAll)
{
    QSignalSpy spy(&options, &ProgramOptions::changed);
    options.setMin(true);
    options.setKeep(true);
    options.setSound(true);
    options.setSoundSec("3");
    options.setCloseCount("5");
    options.setTextTimeName("t.txt");
    options.setBgColor(0xFF00FF);
    options.setMin(true); // no change, no signal
    EXPECT_EQ(spy.count(), 7);
    // The quality rule turns a non-number into 100, in memory only.
    options.setQuality("85");
    EXPECT_EQ(options.jpegQuality(), 85);
    for (const char* bad : {"", "abc"}) {
        options.setQuality(bad);
        EXPECT_EQ(options.jpegQuality(), 100) << bad;
        EXPECT_EQ(options.quality(), QString("100")) << bad;
    }
    EXPECT_EQ(spy.count(), 12);
    EXPECT_EQ(get("Min"), std::nullopt);
    EXPECT_EQ(get("Image Quality (JPEG):"), std::nullopt);

    options.storeAll({"/opt/velmora/bin/velmora", {}, {}});
    ProgramOptions next(store);
    EXPECT_EQ(describe(next), QString("1000010010|100/100||t.txt|3||5|%1").arg(0xFF00FF));
    EXPECT_EQ(get("ProgramBGColor"), QString::number(0xFF00FF));
}

TEST_F(ProgramOptionsTest, AutostartEntryFollowsTheFlagAndTheProgramsPlace)
{
    options.setAutostart(true);
    ASSERT_EQ(options.storeAll({"/opt/velmora/bin/velmora", {}, {}}), "");
    EXPECT_EQ(AutostartEntry::path(), dir.file("config") + "/autostart/velmora.desktop");
    const QString text = readFile(AutostartEntry::path());
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(text.contains("\nType=Application\n"));
    EXPECT_TRUE(text.contains("\nExec=\"/opt/velmora/bin/velmora\"\n")) << text.toStdString();
    EXPECT_EQ(get("Autostart"), QString("1"));

    // Moved program: storing again points the entry at the new place.
    options.storeAll({"/home/me/apps/velmora", "/home/me/cam.db", "work"});
    // With the store and working folder of the run, a relative one made absolute.
    EXPECT_TRUE(readFile(AutostartEntry::path())
                    .contains("\nExec=\"/home/me/apps/velmora\" --store \"/home/me/cam.db\" --workdir \"" +
                              QDir::currentPath() + "/work\"\n"))
        << readFile(AutostartEntry::path()).toStdString();

    options.setAutostart(false);
    EXPECT_EQ(options.storeAll({"/home/me/apps/velmora", {}, {}}), "");
    EXPECT_FALSE(QFile::exists(AutostartEntry::path()));
    EXPECT_EQ(get("Autostart"), QString("0"));
}

TEST(AutostartEntry, ExecArgumentIsQuotedAndEscapedAndThePlaceFallsBackToTheHomeConfigFolder)
{
    EXPECT_EQ(AutostartEntry::execArgument("/usr/bin/velmora"), QString("\"/usr/bin/velmora\""));
    EXPECT_EQ(AutostartEntry::execArgument("/opt/my apps/velmora"), QString("\"/opt/my apps/velmora\""));
    // ", ` and $ take one backslash inside the quotes; that backslash is doubled by the string escapes.
    EXPECT_EQ(AutostartEntry::execArgument("/a\"b`c$d"), QString("\"/a\\\\\"b\\\\`c\\\\$d\""));
    EXPECT_EQ(AutostartEntry::execArgument("/a\\b"), QString("\"/a\\\\\\\\b\""));
    EXPECT_EQ(AutostartEntry::execArgument("/100%/velmora"), QString("\"/100%%/velmora\""));

    // Without an absolute XDG_CONFIG_HOME the entry goes below the home folder.
    TempDir home;
    EnvScope homeVar("HOME", home.path().toLocal8Bit());
    EnvScope config("XDG_CONFIG_HOME", std::nullopt);
    const QString expected = home.path() + "/.config/autostart/velmora.desktop";
    EXPECT_EQ(AutostartEntry::path(), expected);
    config.set("relative/path");
    EXPECT_EQ(AutostartEntry::path(), expected);
    EXPECT_TRUE(AutostartEntry::write({"/usr/bin/velmora", {}, {}}));
    EXPECT_TRUE(QFile::exists(expected));
    EXPECT_TRUE(AutostartEntry::remove());
    EXPECT_TRUE(AutostartEntry::remove());
}
