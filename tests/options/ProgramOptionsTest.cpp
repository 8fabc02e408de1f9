#include "options/ProgramOptions.h"
#include "TempDir.h"
#include "options/AutostartEntry.h"
#include "settings/Regedit.h"

#include <QFile>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {
const QString kProduct = QStringLiteral("Software\\Velmora");

// Points the user's config folder at a temporary one for the length of a test.
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

QStringList dump(Regedit& store)
{
    QStringList lines;
    for (const Regedit::Entry& e : store.List(HKEY_LOCAL_MACHINE, QString()))
        lines << e.key + '|' + e.name + '|' + e.text;
    return lines;
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
    ConfigHome home{dir.file("config")};
    Regedit store{dir.file("store.db")};
    ProgramOptions options{store};
};

const char* const kFlags[] = {"Min",   "Motion", "Print", "Suc",  "Systray",
                              "Sound", "Close",  "Ask",   "Keep", "Autostart"};
const char* const kTexts[] = {"BGPic", "TextTimeName", "SoundSec", "SoundSrc", "Close#"};
} // namespace

TEST_F(ProgramOptionsTest, NothingStoredGivesTheDefaultsAndStoresThemAll)
{
    EXPECT_FALSE(options.min() || options.systray() || options.autostart() || options.close() ||
                 options.keep() || options.suc() || options.print() || options.motion() || options.ask() ||
                 options.sound());
    EXPECT_EQ(options.quality(), QString("100"));
    EXPECT_EQ(options.jpegQuality(), 100);
    EXPECT_EQ(options.textTimeName(), QString(""));
    EXPECT_EQ(options.soundSec(), QString(""));
    EXPECT_EQ(options.soundSrc(), QString(""));
    EXPECT_EQ(options.bgPic(), QString(""));
    EXPECT_EQ(options.closeCount(), QString(""));
    EXPECT_EQ(options.bgColor(), 0u);

    QFile::remove(AutostartEntry::path());
    EXPECT_TRUE(options.storeAll("/opt/velmora/bin/velmora"));
    for (const char* flag : kFlags)
        EXPECT_EQ(get(flag), QString("0")) << flag;
    for (const char* text : kTexts)
        EXPECT_EQ(get(text), QString("")) << text;
    EXPECT_EQ(get("Image Quality (JPEG):"), QString("100"));
    EXPECT_EQ(get("ProgramBGColor"), QString("0"));
    EXPECT_FALSE(QFile::exists(AutostartEntry::path()));
    EXPECT_EQ(store.Values(HKEY_LOCAL_MACHINE, kProduct).size(), 17u);
}

TEST_F(ProgramOptionsTest, LoadsOnceAtTheFirstRead)
{
    EXPECT_FALSE(options.min());
    put("Min", "1");
    ProgramOptions late(store);
    put("Systray", "1"); // still before the first read
    EXPECT_TRUE(late.min());
    EXPECT_TRUE(late.systray());
    put("Min", "0");
    EXPECT_TRUE(late.min());
    EXPECT_FALSE(options.min());
}

TEST_F(ProgramOptionsTest, StoredFlagsTextsAndColourLoad)
{
    for (const char* flag : kFlags)
        put(flag, "1");
    put("Image Quality (JPEG):", "75");
    put("BGPic", "/home/me/back.bmp");
    put("TextTimeName", "time.txt");
    put("SoundSec", "7");
    put("SoundSrc", "/usr/share/sounds/click.wav");
    put("Close#", "12");
    put("ProgramBGColor", QString::number(0x336699));
    EXPECT_TRUE(options.min() && options.systray() && options.autostart() && options.close() &&
                options.keep() && options.suc() && options.print() && options.motion() && options.ask() &&
                options.sound());
    EXPECT_EQ(options.quality(), QString("75"));
    EXPECT_EQ(options.jpegQuality(), 75);
    EXPECT_EQ(options.bgPic(), QString("/home/me/back.bmp"));
    EXPECT_EQ(options.textTimeName(), QString("time.txt"));
    EXPECT_EQ(options.soundSec(), QString("7"));
    EXPECT_EQ(options.soundSrc(), QString("/usr/share/sounds/click.wav"));
    EXPECT_EQ(options.closeCount(), QString("12"));
    EXPECT_EQ(options.bgColor(), 0x336699u);
}

TEST_F(ProgramOptionsTest, DamagedValuesLoadAsTheirDefaultsAndStayStored)
{
    const struct
    {
        const char* quality;
        const char* expected;
    } qualities[] = {{"250", "100"}, {"abc", "100"}, {"-5", "100"}, {"", "100"}, {"0", "0"}, {"100", "100"}};
    for (const auto& q : qualities) {
        put("Image Quality (JPEG):", q.quality);
        ProgramOptions fresh(store);
        EXPECT_EQ(fresh.quality(), QString(q.expected)) << q.quality;
    }
    const struct
    {
        const char* delay;
        const char* expected;
    } delays[] = {{"-3", "0"}, {"15", "10"}, {"abc", "0"}, {"", "0"}, {"10", "10"}, {"0", "0"}};
    for (const auto& d : delays) {
        put("SoundSec", d.delay);
        ProgramOptions fresh(store);
        EXPECT_EQ(fresh.soundSec(), QString(d.delay == QString() ? "0" : d.expected)) << d.delay;
    }
    for (const char* flag : {"2", "yes", "", "True", "-1"}) {
        put("Ask", flag);
        ProgramOptions fresh(store);
        EXPECT_FALSE(fresh.ask()) << flag;
    }
    for (const char* color : {"abc", "-1", "16777216", "1.5", ""}) {
        put("ProgramBGColor", color);
        ProgramOptions fresh(store);
        EXPECT_EQ(fresh.bgColor(), 0u) << color;
    }

    const QStringList before = dump(store);
    ProgramOptions fresh(store);
    fresh.min();
    EXPECT_EQ(dump(store), before);
}

TEST_F(ProgramOptionsTest, QualityRuleTurnsANonNumberInto100)
{
    QSignalSpy spy(&options, &ProgramOptions::changed);
    options.setQuality("85");
    EXPECT_EQ(options.jpegQuality(), 85);
    options.setQuality("");
    EXPECT_EQ(options.jpegQuality(), 100);
    EXPECT_EQ(options.quality(), QString("100"));
    options.setQuality("abc");
    EXPECT_EQ(options.jpegQuality(), 100);
    EXPECT_EQ(options.quality(), QString("100"));
    EXPECT_EQ(spy.count(), 5);
    // The rule changes memory only; storing is the window's "&OK".
    EXPECT_EQ(get("Image Quality (JPEG):"), std::nullopt);
}

TEST_F(ProgramOptionsTest, EditsAreLiveAndStoredWithStoreAll)
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
    EXPECT_TRUE(options.min());
    EXPECT_EQ(get("Min"), std::nullopt);

    options.storeAll("/opt/velmora/bin/velmora");
    ProgramOptions next(store);
    EXPECT_TRUE(next.min() && next.keep() && next.sound());
    EXPECT_FALSE(next.ask());
    EXPECT_EQ(next.soundSec(), QString("3"));
    EXPECT_EQ(next.closeCount(), QString("5"));
    EXPECT_EQ(next.textTimeName(), QString("t.txt"));
    EXPECT_EQ(next.bgColor(), 0xFF00FFu);
    EXPECT_EQ(get("ProgramBGColor"), QString::number(0xFF00FF));
}

TEST_F(ProgramOptionsTest, AutostartEntryFollowsTheFlagAndTheProgramsPlace)
{
    options.setAutostart(true);
    ASSERT_TRUE(options.storeAll("/opt/velmora/bin/velmora"));
    EXPECT_EQ(AutostartEntry::path(), dir.file("config") + "/autostart/velmora.desktop");
    QFile entry(AutostartEntry::path());
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(entry.readAll());
    entry.close();
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(text.contains("\nType=Application\n"));
    EXPECT_TRUE(text.contains("\nExec=\"/opt/velmora/bin/velmora\"\n")) << text.toStdString();
    EXPECT_EQ(get("Autostart"), QString("1"));

    // Moved program: storing again points the entry at the new place.
    options.storeAll("/home/me/apps/velmora");
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(entry.readAll()).contains("\nExec=\"/home/me/apps/velmora\"\n"));
    entry.close();

    options.setAutostart(false);
    EXPECT_TRUE(options.storeAll("/home/me/apps/velmora"));
    EXPECT_FALSE(QFile::exists(AutostartEntry::path()));
    EXPECT_EQ(get("Autostart"), QString("0"));
}

TEST(AutostartEntry, ExecArgumentIsQuotedAndEscaped)
{
    EXPECT_EQ(AutostartEntry::execArgument("/usr/bin/velmora"), QString("\"/usr/bin/velmora\""));
    EXPECT_EQ(AutostartEntry::execArgument("/opt/my apps/velmora"), QString("\"/opt/my apps/velmora\""));
    // ", ` and $ take one backslash inside the quotes; that backslash is doubled by the string escapes.
    EXPECT_EQ(AutostartEntry::execArgument("/a\"b`c$d"), QString("\"/a\\\\\"b\\\\`c\\\\$d\""));
    EXPECT_EQ(AutostartEntry::execArgument("/a\\b"), QString("\"/a\\\\\\\\b\""));
    EXPECT_EQ(AutostartEntry::execArgument("/100%/velmora"), QString("\"/100%%/velmora\""));
}

TEST(AutostartEntry, FallsBackToTheHomeConfigFolder)
{
    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    const QByteArray savedHome = qgetenv("HOME");
    TempDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qunsetenv("XDG_CONFIG_HOME");
    const QString unset = AutostartEntry::path();
    qputenv("XDG_CONFIG_HOME", "relative/path");
    const QString relative = AutostartEntry::path();
    EXPECT_TRUE(AutostartEntry::write("/usr/bin/velmora"));
    EXPECT_TRUE(QFile::exists(home.path() + "/.config/autostart/velmora.desktop"));
    EXPECT_TRUE(AutostartEntry::remove());
    EXPECT_TRUE(AutostartEntry::remove());
    qputenv("XDG_CONFIG_HOME", savedConfig);
    qputenv("HOME", savedHome);
    EXPECT_EQ(unset, home.path() + "/.config/autostart/velmora.desktop");
    EXPECT_EQ(relative, unset);
}
