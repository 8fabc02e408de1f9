#include "settings/AccountBook.h"
#include "RawDatabase.h"
#include "ScriptedPrompter.h"
#include "TempDir.h"
#include "settings/IntervalTable.h"
#include "settings/Regedit.h"

#include <QLocale>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {
const QString kProduct = QStringLiteral("Software\\Velmora");

QString key(const QString& account)
{
    return kProduct + QLatin1Char('\\') + account;
}

// The whole store as text lines, to see that an operation wrote nothing.
QStringList dump(Regedit& store)
{
    QStringList lines;
    for (const Regedit::Entry& e : store.List(HKEY_LOCAL_MACHINE, QString()))
        lines << e.key + '|' + e.name + '|' + e.text;
    return lines;
}

class AccountBookTest : public ::testing::Test
{
protected:
    std::optional<QString> get(const QString& keyPath, const QString& name)
    {
        return store.GetString(HKEY_LOCAL_MACHINE, keyPath, name);
    }
    void put(const QString& keyPath, const QString& name, const QString& text)
    {
        store.SaveString(HKEY_LOCAL_MACHINE, keyPath, name, text);
    }
    // Accounts in the list, in order, each with a host so that they have values.
    void makeAccounts(const QStringList& names)
    {
        int n = 1;
        for (const QString& name : names) {
            put(kProduct, QStringLiteral("Account%1").arg(n++), name);
            put(key(name), "Host Name/Adress:", "host-" + name);
        }
    }
    QStringList listValues()
    {
        QStringList names;
        for (int n = 1; n < 50; ++n) {
            if (auto text = get(kProduct, QStringLiteral("Account%1").arg(n)))
                names << QStringLiteral("%1=%2").arg(n).arg(*text);
        }
        return names;
    }
    QStringList rows()
    {
        QStringList names;
        for (int row = 0; row < book.rowCount(); ++row)
            names << book.rowName(row);
        return names;
    }

    TempDir dir;
    Regedit store{dir.file("store.db")};
    ScriptedPrompter prompter;
    AccountBook book{store, prompter};
};
} // namespace

TEST_F(AccountBookTest, FreshInstallationStartsWithTheDefaultAccount)
{
    QSignalSpy rowsSpy(&book, &AccountBook::rowsChanged);
    QSignalSpy loadedSpy(&book, &AccountBook::loadedChanged);
    book.loadList();

    ASSERT_EQ(book.rowCount(), 1);
    EXPECT_EQ(book.rowName(0), QString("My Account"));
    EXPECT_TRUE(book.isChecked(0));
    EXPECT_EQ(book.currentRow(), 0);
    EXPECT_EQ(listValues(), QStringList{"1=My Account"});
    EXPECT_EQ(get(key("My Account"), "Name"), QString("My Account"));
    // The check box is stored by the next confirmation, not now.
    EXPECT_EQ(get(key("My Account"), "Selected"), std::nullopt);
    EXPECT_GE(rowsSpy.count(), 1);
    EXPECT_GE(loadedSpy.count(), 1);

    const Account& a = book.loaded();
    EXPECT_EQ(a.fileName, QString("webcam"));
    EXPECT_EQ(a.backColor, 0u);
    EXPECT_EQ(a.foreColor, 0xFFFFFFu);
    EXPECT_TRUE(a.fontBold);
    EXPECT_FALSE(a.fontItalic);
    EXPECT_EQ(a.fontName, QString("Tahoma"));
    EXPECT_EQ(a.fontSize, 10.0);
    EXPECT_EQ(a.dateFrom, QDate::currentDate());
    EXPECT_EQ(a.dateTo, QDate::currentDate());
    EXPECT_EQ(a.intervalItem, -1);
    EXPECT_TRUE(a.seconds.isEmpty());
    EXPECT_TRUE(a.host.isEmpty() && a.user.isEmpty() && a.password.isEmpty() && a.folder.isEmpty());
    EXPECT_FALSE(a.rememberPassword || a.between || a.timestamp || a.textTime || a.locally || a.onlyLocally);
}

TEST_F(AccountBookTest, LegacyValuesAreTakenOverOnce)
{
    put(kProduct, "Enable FTP", "1");
    put(kProduct, "Host Name/Adress:", "old.example.org");
    put(kProduct, "User ID:", "olduser");
    put(kProduct, "Upload image every:", "5 minutes");
    put(kProduct, "Font Size", "12");
    book.loadList();

    const QString mine = key("My Account");
    EXPECT_EQ(get(mine, "Host Name/Adress:"), QString("old.example.org"));
    EXPECT_EQ(get(mine, "User ID:"), QString("olduser"));
    EXPECT_EQ(get(mine, "Font Size"), QString("12"));
    // Absent legacy values arrive as empty texts; values outside the fourteen do not arrive.
    EXPECT_EQ(get(mine, "Password:"), QString(""));
    EXPECT_EQ(get(mine, "Font Italic"), QString(""));
    EXPECT_EQ(get(mine, "Custom"), std::nullopt);
    EXPECT_EQ(get(mine, "Enable FTP"), std::nullopt);
    EXPECT_EQ(store.Values(HKEY_LOCAL_MACHINE, mine).size(), 15u); // fourteen and "Name"
    EXPECT_EQ(get(kProduct, "Implanted"), QString("True"));
    EXPECT_EQ(get(kProduct, "Host Name/Adress:"), QString("old.example.org"));
    EXPECT_EQ(listValues(), QStringList{"1=My Account"});
    EXPECT_EQ(book.loaded().host, QString("old.example.org"));
    EXPECT_EQ(book.loaded().intervalItem, 10);
    EXPECT_EQ(book.loaded().seconds, QString("300"));

    // A second start takes nothing over again.
    put(mine, "Host Name/Adress:", "edited.example.org");
    AccountBook again(store, prompter);
    again.loadList();
    EXPECT_EQ(get(mine, "Host Name/Adress:"), QString("edited.example.org"));
}

TEST_F(AccountBookTest, TakeOverRunsOnlyForAnOldOnOffSwitch)
{
    put(kProduct, "Enable FTP", "0");
    put(kProduct, "User ID:", "zero");
    book.loadList();
    EXPECT_EQ(get(key("My Account"), "User ID:"), QString("zero"));

    TempDir otherDir;
    for (const char* enable : std::initializer_list<const char*>{"", "yes", nullptr}) {
        Regedit other(otherDir.file(QStringLiteral("s%1.db").arg(enable ? enable : "absent")));
        if (enable)
            other.SaveString(HKEY_LOCAL_MACHINE, kProduct, "Enable FTP", enable);
        other.SaveString(HKEY_LOCAL_MACHINE, kProduct, "User ID:", "legacy");
        AccountBook otherBook(other, prompter);
        otherBook.loadList();
        EXPECT_EQ(other.GetString(HKEY_LOCAL_MACHINE, key("My Account"), "User ID:"), std::nullopt) << enable;
        EXPECT_EQ(other.GetString(HKEY_LOCAL_MACHINE, kProduct, "Implanted"), std::nullopt) << enable;
    }
}

TEST_F(AccountBookTest, ListLoadsInOrderWithFlagsAndStopsAtTheFirstGap)
{
    makeAccounts({"One", "Two", "Three"});
    put(key("One"), "Selected", "True");
    put(key("Two"), "Selected", "false");
    put(key("Three"), "Selected", "perhaps");
    put(kProduct, "Account5", "Five");
    book.loadList();
    EXPECT_EQ(rows(), (QStringList{"One", "Two", "Three"}));
    EXPECT_TRUE(book.isChecked(0));
    EXPECT_FALSE(book.isChecked(1));
    EXPECT_FALSE(book.isChecked(2));
    EXPECT_EQ(book.currentRow(), 0);
    EXPECT_EQ(book.loaded().host, QString("host-One"));

    put(kProduct, "Account2", "");
    AccountBook again(store, prompter);
    again.loadList();
    EXPECT_EQ(again.rowCount(), 1);
}

TEST_F(AccountBookTest, ListWithAGapAtTwoLoadsOnlyTheFirst)
{
    put(kProduct, "Account1", "One");
    put(kProduct, "Account3", "Three");
    book.loadList();
    EXPECT_EQ(rows(), QStringList{"One"});
    // Loading writes nothing: the third list value stays as it was.
    EXPECT_EQ(get(kProduct, "Account3"), QString("Three"));
}

TEST_F(AccountBookTest, ValdItemLoadsEveryField)
{
    makeAccounts({"Cam"});
    const QString k = key("Cam");
    put(k, "User ID:", "me");
    put(k, "Password:", "pw");
    put(k, "Initial Remote Site Folder:", "/pub/");
    put(k, "Remember password", "1");
    put(k, "Upload image every:", "Custom");
    put(k, "Custom", "45");
    put(k, "Between", "1");
    put(k, "DateFrom", "2026-03-01");
    put(k, "DateTo", "2026-04-30");
    put(k, "Destination filename:", "door");
    put(k, "Enable timestamp", "1");
    put(k, "TextTime", "1");
    put(k, "Backcolor", "255");
    put(k, "Forecolor", "65280");
    put(k, "Font Bold", "False");
    put(k, "Font Italic", "True");
    put(k, "Font Name", "DejaVu Sans");
    put(k, "Font Size", "10.5");
    put(k, "Locally", "1");
    put(k, "Only Locally", "1");
    put(k, "LocallySource", "/home/me/pics");
    const QStringList before = dump(store);
    book.loadList();
    EXPECT_EQ(dump(store), before);

    const Account& a = book.loaded();
    EXPECT_EQ(a.host, QString("host-Cam"));
    EXPECT_EQ(a.user, QString("me"));
    EXPECT_EQ(a.password, QString("pw"));
    EXPECT_EQ(a.folder, QString("/pub/"));
    EXPECT_TRUE(a.rememberPassword);
    EXPECT_EQ(a.intervalItem, IntervalTable::kCustom);
    EXPECT_EQ(a.seconds, QString("45"));
    EXPECT_TRUE(a.between);
    EXPECT_EQ(a.dateFrom, QDate(2026, 3, 1));
    EXPECT_EQ(a.dateTo, QDate(2026, 4, 30));
    EXPECT_EQ(a.fileName, QString("door"));
    EXPECT_TRUE(a.timestamp);
    EXPECT_TRUE(a.textTime);
    EXPECT_EQ(a.backQColor(), QColor(255, 0, 0));
    EXPECT_EQ(a.foreQColor(), QColor(0, 255, 0));
    EXPECT_FALSE(a.fontBold);
    EXPECT_TRUE(a.fontItalic);
    EXPECT_EQ(a.fontName, QString("DejaVu Sans"));
    EXPECT_DOUBLE_EQ(a.fontSize, 10.5);
    EXPECT_TRUE(a.locally);
    EXPECT_TRUE(a.onlyLocally);
    EXPECT_EQ(a.localFolder, QString("/home/me/pics"));
}

TEST_F(AccountBookTest, IntervalItemsFillTheSecondsField)
{
    makeAccounts({"Preset", "Never", "Custom", "Fraction"});
    put(key("Preset"), "Upload image every:", "10 minutes");
    put(key("Preset"), "Custom", "999");
    put(key("Never"), "Upload image every:", "Never");
    put(key("Custom"), "Upload image every:", "Custom");
    put(key("Custom"), "Custom", "abc");
    put(key("Fraction"), "Upload image every:", "Custom");
    put(key("Fraction"), "Custom", "12.9");
    book.loadList();
    EXPECT_EQ(book.loaded().intervalItem, 11);
    EXPECT_EQ(book.loaded().seconds, QString("600"));
    book.selectRow(1);
    EXPECT_EQ(book.loaded().intervalItem, IntervalTable::kNever);
    EXPECT_EQ(book.loaded().seconds, QString(""));
    book.selectRow(2);
    EXPECT_EQ(book.loaded().seconds, QString("")); // a damaged interval never means "Constantly"
    book.selectRow(3);
    EXPECT_EQ(book.loaded().seconds, QString("12"));
    // Normalising on load changes nothing stored.
    EXPECT_EQ(get(key("Fraction"), "Custom"), QString("12.9"));
}

TEST_F(AccountBookTest, AccountWithoutIntervalKeepsThePreviousOne)
{
    makeAccounts({"Timed", "New", "Odd"});
    put(key("Timed"), "Upload image every:", "5 minutes");
    put(key("Timed"), "Between", "1");
    put(key("New"), "Between", "0");
    put(key("Odd"), "Upload image every:", "Fortnight");
    book.loadList();
    book.selectRow(1);
    EXPECT_EQ(book.loaded().intervalItem, 10);
    EXPECT_EQ(book.loaded().seconds, QString("300"));
    EXPECT_TRUE(book.loaded().between);
    EXPECT_EQ(book.loaded().host, QString("host-New"));
    // An item text the table does not know is treated as none.
    book.selectRow(2);
    EXPECT_EQ(book.loaded().intervalItem, 10);
}

TEST_F(AccountBookTest, DamagedTextsGiveTheirDefaultsAndStayStored)
{
    makeAccounts({"Bad"});
    const QString k = key("Bad");
    put(k, "Upload image every:", "Custom");
    put(k, "Custom", "-20");
    put(k, "Between", "");
    put(k, "Font Size", "abc");
    put(k, "Font Bold", "maybe");
    put(k, "Font Italic", "");
    put(k, "Font Name", "");
    put(k, "Backcolor", "abc");
    put(k, "Forecolor", "99999999");
    put(k, "DateFrom", "32/13/xx");
    put(k, "DateTo", "");
    put(k, "Remember password", "2");
    put(k, "Locally", "");
    put(k, "Only Locally", "yes");
    put(k, "Enable timestamp", "True");
    put(k, "Destination filename:", "");
    const QStringList before = dump(store);
    book.loadList();
    EXPECT_EQ(dump(store), before);

    const Account& a = book.loaded();
    EXPECT_EQ(a.seconds, QString("0"));
    EXPECT_FALSE(a.between);
    EXPECT_EQ(a.fontSize, 10.0);
    EXPECT_TRUE(a.fontBold);
    EXPECT_FALSE(a.fontItalic);
    EXPECT_EQ(a.fontName, QString("Tahoma"));
    EXPECT_EQ(a.backColor, 0u);
    EXPECT_EQ(a.foreColor, 0xFFFFFFu);
    EXPECT_EQ(a.dateFrom, QDate::currentDate());
    EXPECT_EQ(a.dateTo, QDate::currentDate());
    EXPECT_FALSE(a.rememberPassword);
    EXPECT_FALSE(a.locally);
    EXPECT_FALSE(a.onlyLocally);
    EXPECT_FALSE(a.timestamp);
    EXPECT_EQ(a.fileName, QString("webcam"));

    for (const char* size : {"0", "-3", "1e9", "nan", "inf"}) {
        put(k, "Font Size", size);
        book.ValdItem();
        EXPECT_EQ(book.loaded().fontSize, 10.0) << size;
    }
}

TEST_F(AccountBookTest, DatesAndSizesInTheLocaleFormStillRead)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    makeAccounts({"Old"});
    put(key("Old"), "DateFrom", QLocale().toString(QDate(2024, 12, 24), QLocale::ShortFormat));
    put(key("Old"), "DateTo", "31.12.2024");
    put(key("Old"), "Font Size", "10,5");
    book.loadList();
    EXPECT_EQ(book.loaded().dateFrom, QDate(2024, 12, 24));
    EXPECT_EQ(book.loaded().dateTo, QDate(2024, 12, 31));
    EXPECT_DOUBLE_EQ(book.loaded().fontSize, 10.5);

    // Written back in the one fixed form, whatever the locale.
    book.setDateFrom(QDate(2025, 1, 2));
    book.setFont(true, false, "Tahoma", 11.5);
    QLocale::setDefault(saved);
    EXPECT_EQ(get(key("Old"), "DateFrom"), QString("2025-01-02"));
    EXPECT_EQ(get(key("Old"), "Font Size"), QString("11.5"));
}

TEST_F(AccountBookTest, DetailColumnsOfEveryRowAreRefreshed)
{
    makeAccounts({"One", "Two"});
    put(key("Two"), "Upload image every:", "1 hour");
    book.loadList();
    EXPECT_EQ(book.hostColumn(0), QString("host-One"));
    EXPECT_EQ(book.everyColumn(0), QString(""));
    EXPECT_EQ(book.hostColumn(1), QString("host-Two"));
    EXPECT_EQ(book.everyColumn(1), QString("1 hour"));

    put(key("One"), "Host Name/Adress:", "changed");
    put(key("Two"), "Host Name/Adress:", "");
    book.selectRow(1);
    EXPECT_EQ(book.hostColumn(0), QString("changed"));
    EXPECT_EQ(book.hostColumn(1), QString(""));
    EXPECT_EQ(book.hostColumn(5), QString());
}

TEST_F(AccountBookTest, AddAsksForANameAndRewritesTheList)
{
    makeAccounts({"One"});
    book.loadList();
    prompter.inputNext(QStringLiteral("Nineteen characters"));
    book.addAccount();
    EXPECT_EQ(prompter.inputPrompts(),
              QStringList{"New Account...|Please choose a name for your new Account..."});
    EXPECT_EQ(rows(), (QStringList{"One", "Nineteen characters"}));
    EXPECT_FALSE(book.isChecked(1));
    EXPECT_EQ(book.currentRow(), 0);
    EXPECT_EQ(listValues(), (QStringList{"1=One", "2=Nineteen characters"}));
    EXPECT_TRUE(store.Values(HKEY_LOCAL_MACHINE, key("Nineteen characters")).empty());
    RawDatabase raw(dir.file("store.db"));
    EXPECT_EQ(raw.scalar("SELECT count(*) FROM keys WHERE fold='software\\velmora\\nineteen characters'"),
              "1");
    EXPECT_TRUE(prompter.shown().empty());
}

TEST_F(AccountBookTest, AddRefusesEmptyLongBackslashAndDuplicateNames)
{
    makeAccounts({"One"});
    book.loadList();
    const QStringList before = dump(store);
    prompter.inputNext(std::nullopt);
    book.addAccount();
    prompter.inputNext(QString());
    book.addAccount();
    EXPECT_TRUE(prompter.shown().empty());

    prompter.inputNext(QStringLiteral("Twenty characters!!!"));
    book.addAccount();
    ASSERT_EQ(prompter.shown().size(), 1u);
    EXPECT_EQ(prompter.shown()[0].text, QString("Please keep the name shorter than 20 characters."));
    EXPECT_EQ(prompter.shown()[0].icon, Prompter::Icon::None);
    EXPECT_EQ(prompter.shown()[0].buttons, Prompter::Buttons::Ok);
    EXPECT_EQ(prompter.shown()[0].title, QString("Velmora 2001"));

    prompter.inputNext(QStringLiteral("Sub\\Key"));
    book.addAccount();
    prompter.inputNext(QStringLiteral("ONE"));
    book.addAccount();
    ASSERT_EQ(prompter.shown().size(), 3u);
    EXPECT_TRUE(prompter.shown()[1].text.contains("backslash"));
    EXPECT_TRUE(prompter.shown()[2].text.contains("already"));
    EXPECT_EQ(rows(), QStringList{"One"});
    EXPECT_EQ(dump(store), before);
}

TEST_F(AccountBookTest, RenameCopiesTheValuesAndDropsTheOldKey)
{
    makeAccounts({"First", "Old", "Last"});
    put(key("Old"), "Upload image every:", "Custom");
    put(key("Old"), "Custom", "45");
    put(key("Old"), "Selected", "True");
    put(key("Old"), "Name", "Old");
    put(key("Old"), "Extra", "not carried");
    book.loadList();
    book.setChecked(1, true);
    book.selectRow(1);

    prompter.inputNext(QStringLiteral("New"));
    book.renameAccount();
    EXPECT_EQ(prompter.inputPrompts(), QStringList{"Rename...|Please choose a new name for your Account..."});
    EXPECT_EQ(rows(), (QStringList{"First", "New", "Last"}));
    EXPECT_TRUE(book.isChecked(1));
    EXPECT_EQ(book.currentRow(), 1);
    EXPECT_EQ(listValues(), (QStringList{"1=First", "2=New", "3=Last"}));
    EXPECT_TRUE(store.List(HKEY_LOCAL_MACHINE, key("Old")).empty());

    const auto copied = store.Values(HKEY_LOCAL_MACHINE, key("New"));
    EXPECT_EQ(copied.size(), 28u); // the 23 of old and the five connection values
    EXPECT_EQ(copied.at("host name/adress:"), QString("host-Old"));
    EXPECT_EQ(copied.at("custom"), QString("45"));
    EXPECT_EQ(copied.at("selected"), QString("True"));
    EXPECT_EQ(copied.at("password:"), QString(""));
    EXPECT_EQ(copied.at("datefrom"), QString(""));
    EXPECT_EQ(copied.count("name"), 0u);
    EXPECT_EQ(copied.count("extra"), 0u);

    // The empty texts load with the defaults; empty flags read as clear.
    book.ValdItem();
    EXPECT_EQ(book.loaded().seconds, QString("45"));
    EXPECT_EQ(book.loaded().fileName, QString("webcam"));
    EXPECT_FALSE(book.loaded().between);
    EXPECT_TRUE(book.loaded().fontBold);
    // Emptied connection values are the plain active FTP of old.
    EXPECT_EQ(copied.at("protocol"), QString(""));
    EXPECT_EQ(book.loaded().protocol, Account::Protocol::Ftp);
    EXPECT_FALSE(book.loaded().passive);
    EXPECT_TRUE(book.loaded().verifyCertificate);
    EXPECT_FALSE(book.loaded().safeReplace);
}

TEST_F(AccountBookTest, ConnectionValuesLoadWithOldDefaultsAndTravelWithRename)
{
    makeAccounts({"Cam"});
    book.loadList();
    EXPECT_EQ(book.loaded().protocol, Account::Protocol::Ftp);
    EXPECT_FALSE(book.loaded().passive);
    EXPECT_TRUE(book.loaded().verifyCertificate);
    EXPECT_TRUE(book.loaded().keyFile.isEmpty());
    EXPECT_FALSE(book.loaded().safeReplace);

    book.setProtocol(Account::Protocol::Sftp);
    book.setPassive(true);
    book.setVerifyCertificate(false);
    book.setKeyFile(QStringLiteral("/keys/cam"));
    book.setSafeReplace(true);
    const auto stored = store.Values(HKEY_LOCAL_MACHINE, key("Cam"));
    EXPECT_EQ(stored.at("protocol"), QString("SFTP"));
    EXPECT_EQ(stored.at("passive"), QString("1"));
    EXPECT_EQ(stored.at("verify certificate"), QString("0"));
    EXPECT_EQ(stored.at("key file"), QString("/keys/cam"));
    EXPECT_EQ(stored.at("safe replace"), QString("1"));

    put(key("Cam"), "Protocol", "ftps");
    prompter.inputNext(QStringLiteral("Roof"));
    book.renameAccount();
    book.ValdItem();
    EXPECT_EQ(book.loaded().protocol, Account::Protocol::Ftps);
    EXPECT_TRUE(book.loaded().passive);
    EXPECT_FALSE(book.loaded().verifyCertificate);
    EXPECT_EQ(book.loaded().keyFile, QString("/keys/cam"));
    EXPECT_TRUE(book.loaded().safeReplace);

    put(key("Roof"), "Protocol", "Gopher");
    book.ValdItem();
    EXPECT_EQ(book.loaded().protocol, Account::Protocol::Ftp);
}

TEST_F(AccountBookTest, RenameToTheSameNameOrOnlyAnotherCaseKeepsTheValues)
{
    makeAccounts({"Cam"});
    put(key("Cam"), "Password:", "pw");
    put(key("Cam"), "Name", "Cam");
    book.loadList();
    const QStringList before = dump(store);
    prompter.inputNext(QStringLiteral("Cam"));
    book.renameAccount();
    EXPECT_EQ(dump(store), before);

    prompter.inputNext(QStringLiteral("CAM"));
    book.renameAccount();
    EXPECT_TRUE(prompter.shown().empty());
    EXPECT_EQ(book.rowName(0), QString("CAM"));
    EXPECT_EQ(get(kProduct, "Account1"), QString("CAM"));
    EXPECT_EQ(get(key("cam"), "Password:"), QString("pw"));
    EXPECT_EQ(get(key("Cam"), "Name"), QString("Cam"));
    EXPECT_EQ(store.Values(HKEY_LOCAL_MACHINE, key("CAM")).size(), 3u);
}

TEST_F(AccountBookTest, RenameRefusesNamesThatWouldLoseValues)
{
    makeAccounts({"One", "Two"});
    put(key("One"), "Password:", "one-pw");
    put(key("Two"), "Password:", "two-pw");
    book.loadList();
    const QStringList before = dump(store);
    for (const char* name : {"two", "Twenty characters!!!", "a\\b"}) {
        prompter.inputNext(QString::fromUtf8(name));
        book.renameAccount();
    }
    prompter.inputNext(std::nullopt);
    book.renameAccount();
    EXPECT_EQ(prompter.shown().size(), 3u);
    EXPECT_EQ(prompter.shown()[1].text, QString("Please keep the name shorter than 20 characters."));
    EXPECT_EQ(dump(store), before);
    EXPECT_EQ(rows(), (QStringList{"One", "Two"}));

    // With no current row nothing is asked.
    book.setCurrentRow(-1);
    prompter.inputNext(QStringLiteral("Three"));
    book.renameAccount();
    EXPECT_EQ(prompter.inputPrompts().size(), 4);
}

TEST_F(AccountBookTest, RemoveAsksAndCompactsTheList)
{
    makeAccounts({"One", "Two", "Three"});
    book.loadList();
    book.selectRow(1);

    prompter.answerNext(Prompter::Answer::No);
    book.removeAccount();
    ASSERT_EQ(prompter.shown().size(), 1u);
    const auto& asked = prompter.shown()[0];
    EXPECT_EQ(asked.text, QString("Are you sure you want to remove this \nAccount and all of its settings."));
    EXPECT_EQ(asked.title, QString("Remove 'Two'?"));
    EXPECT_EQ(asked.icon, Prompter::Icon::Exclamation);
    EXPECT_EQ(asked.buttons, Prompter::Buttons::YesNo);
    EXPECT_EQ(book.rowCount(), 3);
    EXPECT_EQ(get(key("Two"), "Host Name/Adress:"), QString("host-Two"));

    // Closing the box (the default answer) is No as well.
    book.removeAccount();
    EXPECT_EQ(book.rowCount(), 3);

    prompter.answerNext(Prompter::Answer::Yes);
    book.removeAccount();
    EXPECT_EQ(rows(), (QStringList{"One", "Three"}));
    EXPECT_EQ(listValues(), (QStringList{"1=One", "2=Three"}));
    EXPECT_TRUE(store.List(HKEY_LOCAL_MACHINE, key("Two")).empty());
    EXPECT_EQ(book.currentRow(), -1);
    EXPECT_EQ(get(key("Three"), "Host Name/Adress:"), QString("host-Three"));

    // No current row: nothing is asked or removed.
    book.removeAccount();
    EXPECT_EQ(prompter.shown().size(), 3u);
}

TEST_F(AccountBookTest, RemovingTheOnlyAccountBringsBackTheDefaultNextTime)
{
    book.loadList();
    prompter.answerNext(Prompter::Answer::Yes);
    book.removeAccount();
    EXPECT_EQ(book.rowCount(), 0);
    EXPECT_TRUE(listValues().isEmpty());
    EXPECT_TRUE(store.List(HKEY_LOCAL_MACHINE, key("My Account")).empty());

    AccountBook again(store, prompter);
    again.loadList();
    EXPECT_EQ(again.rowName(0), QString("My Account"));
    EXPECT_EQ(listValues(), QStringList{"1=My Account"});
}

TEST_F(AccountBookTest, RowsSharingOneKeyInAnOldListKeepTheirValues)
{
    put(kProduct, "Account1", "Cam");
    put(kProduct, "Account2", "cam");
    put(key("Cam"), "Password:", "pw");
    book.loadList();
    prompter.answerNext(Prompter::Answer::Yes);
    book.removeAccount();
    EXPECT_EQ(rows(), QStringList{"cam"});
    EXPECT_EQ(get(key("cam"), "Password:"), QString("pw"));
}

TEST_F(AccountBookTest, FlagsAreStoredOnlyWhenSaved)
{
    makeAccounts({"One", "Two"});
    put(key("Two"), "Selected", "True");
    book.loadList();
    book.setChecked(0, true);
    book.setChecked(1, false);
    EXPECT_EQ(get(key("One"), "Selected"), std::nullopt);
    EXPECT_EQ(get(key("Two"), "Selected"), QString("True"));
    book.saveFlags();
    EXPECT_EQ(get(key("One"), "Selected"), QString("True"));
    EXPECT_EQ(get(key("Two"), "Selected"), QString("False"));
}

TEST_F(AccountBookTest, PasswordIsKeptOnlyWhileRemembered)
{
    book.loadList();
    const QString k = key("My Account");
    book.setPassword("secret");
    EXPECT_EQ(get(k, "Password:"), std::nullopt);
    book.setPassword("");
    EXPECT_EQ(get(k, "Password:"), QString(""));

    book.setRememberPassword(true);
    EXPECT_EQ(get(k, "Remember password"), QString("1"));
    book.setPassword("secret");
    EXPECT_EQ(get(k, "Password:"), QString("secret"));

    book.setRememberPassword(false);
    EXPECT_EQ(get(k, "Remember password"), QString("0"));
    EXPECT_EQ(get(k, "Password:"), std::nullopt);
    EXPECT_EQ(book.loaded().password, QString("secret"));
    book.ValdItem();
    EXPECT_EQ(book.loaded().password, QString(""));
}

TEST_F(AccountBookTest, ChoosingAnIntervalItemSetsAndStoresTheSeconds)
{
    book.loadList();
    const QString k = key("My Account");
    book.setIntervalItem(IntervalTable::positionOf("10 seconds").value());
    EXPECT_EQ(book.loaded().seconds, QString("10"));
    EXPECT_EQ(get(k, "Upload image every:"), QString("10 seconds"));
    EXPECT_EQ(get(k, "Custom"), QString("10"));

    book.setIntervalItem(IntervalTable::kCustom);
    EXPECT_EQ(book.loaded().seconds, QString("10"));
    EXPECT_EQ(get(k, "Upload image every:"), QString("Custom"));

    book.setIntervalItem(IntervalTable::kNever);
    EXPECT_EQ(book.loaded().seconds, QString(""));
    EXPECT_EQ(get(k, "Custom"), QString(""));
    EXPECT_EQ(book.loaded().intervalItem, IntervalTable::kNever);

    book.setIntervalItem(22);
    EXPECT_EQ(get(k, "Custom"), QString("604800"));
    book.setIntervalItem(23);
    EXPECT_EQ(book.loaded().intervalItem, 22);
}

TEST_F(AccountBookTest, TypedSecondsAreNormalisedAndSwitchToCustom)
{
    book.loadList();
    const QString k = key("My Account");
    book.setIntervalItem(IntervalTable::positionOf("5 minutes").value());
    EXPECT_EQ(book.setSecondsText("60"), QString("60"));
    EXPECT_EQ(book.loaded().intervalItem, 10);
    EXPECT_EQ(get(k, "Custom"), QString("60"));

    EXPECT_EQ(book.setSecondsText("45"), QString("45"));
    EXPECT_EQ(book.loaded().intervalItem, IntervalTable::kCustom);
    EXPECT_EQ(get(k, "Upload image every:"), QString("Custom"));
    EXPECT_EQ(get(k, "Custom"), QString("45"));

    EXPECT_EQ(book.setSecondsText("60"), QString("60"));
    EXPECT_EQ(book.loaded().intervalItem, IntervalTable::kCustom);

    EXPECT_EQ(book.setSecondsText("12.9"), QString("12"));
    EXPECT_EQ(book.setSecondsText("-4"), QString("0"));
    EXPECT_EQ(book.setSecondsText("letters"), QString("0"));
    EXPECT_EQ(book.setSecondsText("99999999999"), QString("2147483"));
    EXPECT_EQ(book.setSecondsText(""), QString(""));
    EXPECT_EQ(get(k, "Custom"), QString(""));

    book.setIntervalItem(IntervalTable::kNever);
    EXPECT_EQ(book.setSecondsText("45"), QString("45"));
    EXPECT_EQ(book.loaded().intervalItem, IntervalTable::kNever);
    EXPECT_EQ(get(k, "Upload image every:"), QString("Never"));
}

TEST_F(AccountBookTest, FieldEditsAreStoredInTheCurrentAccountAtOnce)
{
    makeAccounts({"One", "Two"});
    book.loadList();
    const QString k = key("One");
    book.setHost("ftp.example.org");
    book.setUser("me");
    book.setFolder("pub");
    EXPECT_EQ(get(k, "Initial Remote Site Folder:"), QString("pub"));
    book.finishFolderEdit();
    EXPECT_EQ(get(k, "Initial Remote Site Folder:"), QString("pub/"));
    book.finishFolderEdit();
    EXPECT_EQ(book.loaded().folder, QString("pub/"));
    book.setFileName("door");
    book.setLocally(true);
    book.setOnlyLocally(true);
    book.setLocally(false);
    book.setLocalFolder("/tmp/pics");
    book.setBetween(true);
    book.setDateFrom(QDate(2026, 1, 5));
    book.setDateTo(QDate(2026, 12, 31));
    book.setTimestamp(true);
    book.setTextTime(true);
    book.setBackColor(storedFromColor(QColor(1, 2, 3)));
    book.setForeColor(0x123456);
    book.setFont(false, true, "DejaVu Sans", 10.5);

    const auto v = store.Values(HKEY_LOCAL_MACHINE, k);
    EXPECT_EQ(v.at("host name/adress:"), QString("ftp.example.org"));
    EXPECT_EQ(v.at("user id:"), QString("me"));
    EXPECT_EQ(v.at("destination filename:"), QString("door"));
    EXPECT_EQ(v.at("locally"), QString("0"));
    EXPECT_EQ(v.at("only locally"), QString("1"));
    EXPECT_EQ(v.at("locallysource"), QString("/tmp/pics"));
    EXPECT_EQ(v.at("between"), QString("1"));
    EXPECT_EQ(v.at("datefrom"), QString("2026-01-05"));
    EXPECT_EQ(v.at("dateto"), QString("2026-12-31"));
    EXPECT_EQ(v.at("enable timestamp"), QString("1"));
    EXPECT_EQ(v.at("texttime"), QString("1"));
    EXPECT_EQ(v.at("backcolor"), QString::number(1 + 2 * 256 + 3 * 65536));
    EXPECT_EQ(v.at("forecolor"), QString::number(0x123456));
    EXPECT_EQ(v.at("font bold"), QString("False"));
    EXPECT_EQ(v.at("font italic"), QString("True"));
    EXPECT_EQ(v.at("font name"), QString("DejaVu Sans"));
    EXPECT_EQ(v.at("font size"), QString("10.5"));
    EXPECT_TRUE(store.Values(HKEY_LOCAL_MACHINE, key("Two")).size() == 1u);

    // What was saved loads back the same.
    book.selectRow(1);
    book.selectRow(0);
    EXPECT_EQ(book.loaded().backQColor(), QColor(1, 2, 3));
    EXPECT_EQ(book.loaded().dateFrom, QDate(2026, 1, 5));
    EXPECT_DOUBLE_EQ(book.loaded().fontSize, 10.5);
    EXPECT_TRUE(book.loaded().onlyLocally);
}

TEST_F(AccountBookTest, WithoutACurrentRowEditsChangeOnlyTheLoadedAccount)
{
    makeAccounts({"One"});
    book.loadList();
    book.setCurrentRow(-1);
    const QStringList before = dump(store);
    QSignalSpy spy(&book, &AccountBook::loadedChanged);
    book.setHost("elsewhere");
    book.setIntervalItem(3);
    book.setSecondsText("45");
    book.setRememberPassword(false);
    EXPECT_EQ(dump(store), before);
    EXPECT_EQ(book.loaded().host, QString("elsewhere"));
    EXPECT_EQ(book.loaded().intervalItem, IntervalTable::kCustom);
    EXPECT_GE(spy.count(), 4);
    book.setCurrentRow(7);
    EXPECT_EQ(book.currentRow(), -1);
}
