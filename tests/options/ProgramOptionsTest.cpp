#include "options/ProgramOptions.h"
#include "EnvScope.h"
#include "QtPrinters.h"
#include "RawDatabase.h"
#include "StoreDump.h"
#include "TempDir.h"
#include "options/AutostartEntry.h"
#include "options/OptionFields.h"
#include "settings/Regedit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

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

using Reader = std::function<QString(const ProgramOptions&)>;
Reader flag(bool (ProgramOptions::*getter)() const)
{
    return [getter](const ProgramOptions& o) { return QString::number(int((o.*getter)())); };
}
Reader text(QString (ProgramOptions::*getter)() const)
{
    return [getter](const ProgramOptions& o) { return (o.*getter)(); };
}
QString colour(const ProgramOptions& o)
{
    return o.bgColor() ? QString::number(*o.bgColor()) : QStringLiteral("none");
}

using Texts = std::vector<std::pair<const char*, const char*>>;
const Texts kFlagTexts{{"1", "1"},   {" 1 ", "1"}, {"0", "0"},    {"2", "0"},
                       {"yes", "0"}, {"", "0"},    {"True", "0"}, {"-1", "0"}};
const Texts kFreeTexts{{"", ""}, {"/home/me/a b.bmp", "/home/me/a b.bmp"}, {"  x  ", "  x  "}};

// Each option as a person sees it, independent of the program's table: its value name in the
// order the options are stored, how its loaded value reads as text, what nothing stored gives,
// what storing then writes (nullptr: nothing), and stored texts with the value each loads as.
struct Option
{
    const char* name;
    Reader read;
    const char* absent;
    const char* storedDefault;
    Texts loads;
};

const std::vector<Option>& optionTable()
{
    static const std::vector<Option> table{
        {"Min", flag(&ProgramOptions::min), "0", "0", kFlagTexts},
        {"Motion", flag(&ProgramOptions::motion), "0", "0", kFlagTexts},
        {"Print", flag(&ProgramOptions::print), "0", "0", kFlagTexts},
        {"Suc", flag(&ProgramOptions::suc), "0", "0", kFlagTexts},
        {"Systray", flag(&ProgramOptions::systray), "0", "0", kFlagTexts},
        {"Sound", flag(&ProgramOptions::sound), "0", "0", kFlagTexts},
        {"Close", flag(&ProgramOptions::close), "0", "0", kFlagTexts},
        {"Ask", flag(&ProgramOptions::ask), "0", "0", kFlagTexts},
        {"Keep", flag(&ProgramOptions::keep), "0", "0", kFlagTexts},
        {"Autostart", flag(&ProgramOptions::autostart), "0", "0", kFlagTexts},
        // Notifications are on unless turned off.
        {"Notify", flag(&ProgramOptions::notify), "1", "1", {{"0", "0"}, {"1", "1"}, {"x", "0"}, {"", "0"}}},
        {"Image Quality (JPEG):",
         text(&ProgramOptions::quality),
         "100",
         "100",
         {{"250", "100"},
          {"abc", "100"},
          {"-5", "100"},
          {"", "100"},
          {"0", "0"},
          {"100", "100"},
          {"75", "75"},
          {" 80 ", " 80 "}}},
        {"BGPic", text(&ProgramOptions::bgPic), "", "", kFreeTexts},
        {"TextTimeName", text(&ProgramOptions::textTimeName), "", "", kFreeTexts},
        {"SoundSec",
         text(&ProgramOptions::soundSec),
         "",
         "",
         {{"-3", "0"}, {"15", "10"}, {"abc", "0"}, {"", "0"}, {"10", "10"}, {"0", "0"}, {"7", "7"}}},
        {"SoundSrc", text(&ProgramOptions::soundSrc), "", "", kFreeTexts},
        {"Close#", text(&ProgramOptions::closeCount), "", "", {{"12", "12"}, {"abc", "abc"}, {"", ""}}},
        // The main window stays white: no colour is stored until one is chosen.
        {"ProgramBGColor",
         colour,
         "none",
         nullptr,
         {{"3368601", "3368601"},
          {"0", "0"},
          {"abc", "none"},
          {"-1", "none"},
          {"16777216", "none"},
          {"1.5", "none"},
          {"", "none"}}},
    };
    return table;
}

class ProgramOptionsTest : public ::testing::Test
{
protected:
    void put(const QString& name, const QString& text)
    {
        ASSERT_TRUE(store.SaveString(HKEY_LOCAL_MACHINE, kProduct, name, text));
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

TEST(OptionFields, TheTableHoldsEveryOptionOnceInTheOrderTheyAreStored)
{
    QStringList expected;
    for (const Option& option : optionTable())
        expected << option.name;
    QStringList names;
    for (const OptionFields::Field& field : OptionFields::all()) {
        names << field.name;
        EXPECT_EQ(OptionFields::find(field.name.toUpper()), &field) << field.name.toStdString();
    }
    EXPECT_EQ(names, expected);
    EXPECT_EQ(OptionFields::find("Account1"), nullptr);
}

TEST_F(ProgramOptionsTest, NothingStoredGivesTheDefaultsAndStoresAllButAColourNobodyChose)
{
    for (const Option& option : optionTable())
        EXPECT_EQ(option.read(options), QString(option.absent)) << option.name;
    EXPECT_EQ(options.timeFileName(), "time.txt");
    EXPECT_TRUE(options.storeAll({"/opt/velmora/bin/velmora", {}, {}}));
    std::size_t stored = 0;
    for (const Option& option : optionTable()) {
        const std::optional<QString> expected =
            option.storedDefault ? std::optional<QString>(option.storedDefault) : std::nullopt;
        EXPECT_EQ(get(option.name), expected) << option.name;
        stored += expected ? 1 : 0;
    }
    EXPECT_EQ(store.Values(HKEY_LOCAL_MACHINE, kProduct).size(), stored);
    EXPECT_FALSE(QFile::exists(AutostartEntry::path()));
    options.setBgColor(0);
    EXPECT_TRUE(options.storeAll({"/opt/velmora/bin/velmora", {}, {}}));
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

// Every stored text of every option's table loads as the table says; loading writes nothing.
TEST_F(ProgramOptionsTest, StoredTextsLoadByTheirRulesAndDamagedOnesAsTheirDefaultsAndStayStored)
{
    for (const Option& option : optionTable()) {
        for (const auto& [stored, loaded] : option.loads) {
            put(option.name, stored);
            const QStringList before = storeDump(store);
            const ProgramOptions fresh(store);
            EXPECT_EQ(option.read(fresh), QString(loaded)) << option.name << " stored as '" << stored << "'";
            EXPECT_EQ(storeDump(store), before) << option.name;
        }
    }
    for (const auto& [text, name] : std::initializer_list<std::pair<const char*, const char*>>{
             {"", "time.txt"}, {"  ", "time.txt"}, {"stamp.txt", "stamp.txt"}}) {
        put("TextTimeName", text);
        EXPECT_EQ(ProgramOptions(store).timeFileName(), QString(name)) << text;
    }
}

// What cannot be stored is said in one sentence per part: the options, then the entry.
TEST_F(ProgramOptionsTest, WhatCouldNotBeSavedIsSaidAndTheRestIsSaved)
{
    // An autostart folder that is a file: the entry can be neither written nor removed.
    ASSERT_TRUE(QDir().mkpath(dir.file("config")));
    {
        QFile blocker(dir.file("config/autostart"));
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    options.setAutostart(true);
    options.setQuality("80");
    const Result<void> entryOnly = options.storeAll({"/usr/bin/velmora", {}, {}});
    ASSERT_FALSE(entryOnly);
    EXPECT_EQ(entryOnly.failure().sentence,
              "The autostart entry " + AutostartEntry::path() + " could not be written.");
    EXPECT_EQ(get("Image Quality (JPEG):"), QString("80"));
    EXPECT_EQ(get("Autostart"), QString("1"));

    // A folder in place of the entry cannot be removed either.
    ASSERT_TRUE(QFile::remove(dir.file("config/autostart")));
    ASSERT_TRUE(QDir().mkpath(AutostartEntry::path() + "/inside"));
    options.setAutostart(false);
    const Result<void> removal = options.storeAll({"/usr/bin/velmora", {}, {}});
    ASSERT_FALSE(removal);
    EXPECT_EQ(removal.failure().sentence,
              "The autostart entry " + AutostartEntry::path() + " could not be removed.");

    // A store that takes no changes: both lines, the store's first.
    const auto newer = newerVersionStore(dir.file("newer.db"), kProduct, "Min", "1");
    ProgramOptions readOnly(*newer);
    readOnly.setAutostart(true);
    const Result<void> both = readOnly.storeAll({"/usr/bin/velmora", {}, {}});
    ASSERT_FALSE(both);
    EXPECT_EQ(both.failure().kind, Failure::Kind::NoAccess);
    EXPECT_EQ(both.failure().sentence,
              "The options could not be saved: the settings store was written by a newer version of "
              "Velmora.\nThe autostart entry " +
                  AutostartEntry::path() + " could not be written.");
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

    EXPECT_TRUE(options.storeAll({"/opt/velmora/bin/velmora", {}, {}}));
    ProgramOptions next(store);
    EXPECT_EQ(describe(next), QString("1000010010|100/100||t.txt|3||5|%1").arg(0xFF00FF));
    EXPECT_EQ(get("ProgramBGColor"), QString::number(0xFF00FF));
}

TEST_F(ProgramOptionsTest, AutostartEntryFollowsTheFlagAndTheProgramsPlace)
{
    options.setAutostart(true);
    ASSERT_TRUE(options.storeAll({"/opt/velmora/bin/velmora", {}, {}}));
    EXPECT_EQ(AutostartEntry::path(), dir.file("config") + "/autostart/velmora.desktop");
    const QString text = readFile(AutostartEntry::path());
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(text.contains("\nType=Application\n"));
    EXPECT_TRUE(text.contains("\nExec=\"/opt/velmora/bin/velmora\"\n")) << text.toStdString();
    EXPECT_EQ(get("Autostart"), QString("1"));

    // Moved program: storing again points the entry at the new place.
    ASSERT_TRUE(options.storeAll({"/home/me/apps/velmora", "/home/me/cam.db", "work"}));
    // With the store and working folder of the run, a relative one made absolute.
    EXPECT_TRUE(readFile(AutostartEntry::path())
                    .contains("\nExec=\"/home/me/apps/velmora\" --store \"/home/me/cam.db\" --workdir \"" +
                              QDir::currentPath() + "/work\"\n"))
        << readFile(AutostartEntry::path()).toStdString();

    options.setAutostart(false);
    EXPECT_TRUE(options.storeAll({"/home/me/apps/velmora", {}, {}}));
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

    // An entry kept elsewhere and linked to is written where it is kept.
    const QString kept = home.path() + "/dotfiles/velmora.desktop";
    ASSERT_TRUE(QDir().mkpath(home.path() + "/dotfiles"));
    ASSERT_TRUE(QFile::link(kept, expected));
    EXPECT_TRUE(AutostartEntry::write({"/usr/bin/velmora", {}, {}}));
    EXPECT_TRUE(QFileInfo(expected).isSymLink());
    EXPECT_TRUE(readFile(kept).contains("\nExec=\"/usr/bin/velmora\"\n")) << readFile(kept).toStdString();
}
