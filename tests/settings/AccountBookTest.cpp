#include "settings/AccountBook.h"
#include "EnvScope.h"
#include "RawDatabase.h"
#include "ScriptedPrompter.h"
#include "StoreDump.h"
#include "TempDir.h"
#include "settings/IntervalTable.h"
#include "settings/Regedit.h"

#include <QRegularExpression>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {
const QString kProduct = QStringLiteral("Software\\Velmora");
const char* const kTaken = "There is already an Account with this name. Please choose another name.";
const char* const kLong = "Please keep the name shorter than 20 characters.";
const char* const kSlash = "Please choose a name without a backslash (\\).";

QString key(const QString& account)
{
    return kProduct + QLatin1Char('\\') + account;
}

// Every field of a loaded account in one line, so a whole record is checked at once.
QString describe(const Account& a)
{
    const auto n = [](auto v) { return QString::number(v); };
    return QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8|%9|%10|%11|%12|%13|%14|%15|%16|%17|%18|%19|%20|%21|%22")
        .arg(a.host, a.user, a.password, a.folder, a.fileName, n(a.rememberPassword), n(a.intervalItem),
             a.seconds, n(a.between), a.dateFrom.toString(Qt::ISODate), a.dateTo.toString(Qt::ISODate),
             n(a.timestamp), n(a.textTime), n(a.backColor), n(a.foreColor), n(a.fontBold), n(a.fontItalic),
             a.fontName, n(a.fontSize), n(a.locally), n(a.onlyLocally), a.localFolder);
}

// The record of an account with nothing (or nothing readable) stored; dates are today.
QString defaults(const QString& host = {}, const QString& item = "-1", const QString& seconds = {})
{
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    return QStringLiteral("%1||||webcam|0|%2|%3|0|%4|%4|0|0|0|16777215|1|0|Tahoma|10|0|0|")
        .arg(host, item, seconds, today);
}

class AccountBookTest : public ::testing::Test
{
protected:
    std::optional<QString> get(const QString& keyPath, const QString& name)
    {
        return store.GetString(HKEY_LOCAL_MACHINE, keyPath, name);
    }
    // Values as "Name=text".
    void put(const QString& keyPath, const QStringList& values)
    {
        for (const QString& value : values)
            store.SaveString(HKEY_LOCAL_MACHINE, keyPath, value.section('=', 0, 0), value.section('=', 1));
    }
    // A long list of values as one "Name=text;Name=text" text.
    void put(const QString& keyPath, const char* values) { put(keyPath, QString(values).split(';')); }
    // The stored values of a key as "folded name=text", in name order.
    QStringList valuesOf(const QString& keyPath)
    {
        QStringList list;
        for (const auto& [name, text] : store.Values(HKEY_LOCAL_MACHINE, keyPath))
            list << name + '=' + text;
        return list;
    }
    // Accounts in the list, in order, each with a host so that they have values.
    void makeAccounts(const QStringList& names)
    {
        for (int n = 0; n < names.size(); ++n) {
            put(kProduct, {QStringLiteral("Account%1=%2").arg(n + 1).arg(names[n])});
            put(key(names[n]), {"Host Name/Adress:=host-" + names[n]});
        }
    }
    QStringList listValues()
    {
        QStringList names;
        for (int n = 1; n < 50; ++n)
            if (auto text = get(kProduct, QStringLiteral("Account%1").arg(n)))
                names << QStringLiteral("%1=%2").arg(n).arg(*text);
        return names;
    }
    QStringList rows(const AccountBook& b)
    {
        QStringList names;
        for (int row = 0; row < b.rowCount(); ++row)
            names << b.rowName(row) + (b.isChecked(row) ? "+" : "");
        return names;
    }
    QStringList rows() { return rows(book); }

    TempDir dir;
    Regedit store{dir.file("store.db")};
    ScriptedPrompter prompter;
    AccountBook book{store, prompter};
};
} // namespace

TEST_F(AccountBookTest, FreshInstallationStartsWithTheDefaultAccount)
{
    QSignalSpy rowsSpy(&book, &AccountBook::rowsChanged);
    book.loadList();

    EXPECT_EQ(rows(), QStringList{"My Account+"});
    EXPECT_EQ(book.currentRow(), 0);
    EXPECT_EQ(listValues(), QStringList{"1=My Account"});
    EXPECT_EQ(get(key("My Account"), "Name"), QString("My Account"));
    // The check box is stored by the next confirmation, not now.
    EXPECT_EQ(get(key("My Account"), "Selected"), std::nullopt);
    EXPECT_GE(rowsSpy.count(), 1);
    EXPECT_EQ(describe(book.loaded()), defaults());
}

TEST_F(AccountBookTest, LegacyValuesAreTakenOverOnceAndOnlyForAnOldOnSwitch)
{
    put(kProduct, {"Enable FTP=1", "Host Name/Adress:=old.example.org", "User ID:=olduser",
                   "Upload image every:=5 minutes", "Font Size=12"});
    book.loadList();
    const QString mine = key("My Account");
    // Absent legacy values arrive as empty texts; values outside the fourteen do not arrive.
    const auto values = store.Values(HKEY_LOCAL_MACHINE, mine);
    EXPECT_EQ(values.size(), 15u); // fourteen and "Name"
    EXPECT_EQ(QStringList({values.at("host name/adress:"), values.at("user id:"), values.at("font size"),
                           values.at("password:"), values.at("font italic")}),
              (QStringList{"old.example.org", "olduser", "12", "", ""}));
    EXPECT_EQ(values.count("custom") + values.count("enable ftp"), 0u);
    EXPECT_EQ(get(kProduct, "Implanted"), QString("True"));
    EXPECT_EQ(get(kProduct, "Host Name/Adress:"), QString("old.example.org"));
    EXPECT_EQ(listValues(), QStringList{"1=My Account"});
    EXPECT_EQ(QStringLiteral("%1|%2|%3")
                  .arg(book.loaded().host)
                  .arg(book.loaded().intervalItem)
                  .arg(book.loaded().seconds),
              QString("old.example.org|10|300"));

    // A second start takes nothing over again.
    put(mine, {"Host Name/Adress:=edited.example.org"});
    AccountBook(store, prompter).loadList();
    EXPECT_EQ(get(mine, "Host Name/Adress:"), QString("edited.example.org"));

    // "0" is an old switch too; an empty, unknown or missing one is not.
    int n = 0;
    for (const char* enable : {"0", "", "yes", static_cast<const char*>(nullptr)}) {
        Regedit other(dir.file(QStringLiteral("s%1.db").arg(n++)));
        if (enable)
            other.SaveString(HKEY_LOCAL_MACHINE, kProduct, "Enable FTP", enable);
        other.SaveString(HKEY_LOCAL_MACHINE, kProduct, "User ID:", "legacy");
        AccountBook(other, prompter).loadList();
        const bool taken = enable && QByteArray(enable) == "0";
        EXPECT_EQ(other.GetString(HKEY_LOCAL_MACHINE, key("My Account"), "User ID:"),
                  taken ? std::optional<QString>("legacy") : std::nullopt)
            << enable;
        EXPECT_EQ(other.GetString(HKEY_LOCAL_MACHINE, kProduct, "Implanted").has_value(), taken) << enable;
    }
}

TEST_F(AccountBookTest, ListLoadsInOrderWithFlagsAndStopsAtTheFirstGap)
{
    makeAccounts({"One", "Two", "Three"});
    put(key("One"), {"Selected=True"});
    put(key("Two"), {"Selected=false"});
    put(key("Three"), {"Selected=perhaps"});
    put(kProduct, {"Account5=Five"});
    book.loadList();
    EXPECT_EQ(rows(), (QStringList{"One+", "Two", "Three"}));
    EXPECT_EQ(book.currentRow(), 0);
    EXPECT_EQ(book.loaded().host, QString("host-One"));

    // An empty list value is a gap as well; loading writes nothing, so the values after it stay.
    put(kProduct, {"Account2="});
    const QStringList before = storeDump(store);
    AccountBook again(store, prompter);
    again.loadList();
    EXPECT_EQ(rows(again), QStringList{"One+"});
    EXPECT_EQ(storeDump(store), before);
}

TEST_F(AccountBookTest, StoredTextsLoadIntoEveryFieldDamagedOnesAsDefaultsAndNothingIsWritten)
{
    const QString host = "host-Cam";
    // Stored values, and the loaded record.
    const std::pair<const char*, QString> cases[] = {
        {"User ID:=me;Password:=pw;Initial Remote Site Folder:=/pub/;Remember password=1;"
         "Upload image every:=Custom;Custom=45;Between=1;DateFrom=2026-03-01;DateTo=2026-04-30;"
         "Destination filename:=door;Enable timestamp=1;TextTime=1;Backcolor=255;Forecolor=65280;"
         "Font Bold=False;Font Italic=True;Font Name=DejaVu Sans;Font Size=10.5;Locally=1;Only Locally=1;"
         "LocallySource=/home/me/pics",
         "host-Cam|me|pw|/pub/|door|1|0|45|1|2026-03-01|2026-04-30|1|1|255|65280|0|1|DejaVu Sans|10.5|1|1|"
         "/home/me/pics"},
        {"Upload image every:=Custom;Custom=-20;Between=;Font Size=abc;Font Bold=maybe;Font Italic=;Font "
         "Name=;"
         "Backcolor=abc;Forecolor=99999999;DateFrom=32/13/xx;DateTo=;Remember password=2;Locally=;"
         "Only Locally=yes;Enable timestamp=True;Destination filename:=",
         defaults(host, "0", "0")},
        {"Font Size=0", defaults(host)},
        {"Font Size=-3", defaults(host)},
        {"Font Size=1e9", defaults(host)},
        {"Font Size=nan", defaults(host)},
        {"Font Size=inf", defaults(host)},
        // The item fills the seconds; a damaged interval never means "Constantly".
        {"Upload image every:=10 minutes;Custom=999", defaults(host, "11", "600")},
        {"Upload image every:=Never", defaults(host, QString::number(IntervalTable::kNever))},
        {"Upload image every:=Custom;Custom=abc", defaults(host, "0")},
        {"Upload image every:=Custom;Custom=12.9", defaults(host, "0", "12")}};
    for (const auto& [values, loaded] : cases) {
        store.DeleteKey(HKEY_LOCAL_MACHINE, key("Cam"));
        makeAccounts({"Cam"});
        put(key("Cam"), values);
        const QStringList before = storeDump(store);
        AccountBook fresh(store, prompter);
        fresh.loadList();
        EXPECT_EQ(describe(fresh.loaded()), loaded) << values;
        EXPECT_EQ(storeDump(store), before) << values;
        if (QByteArray(values).startsWith("User ID:")) {
            EXPECT_EQ(fresh.loaded().backQColor(), QColor(255, 0, 0));
            EXPECT_EQ(fresh.loaded().foreQColor(), QColor(0, 255, 0));
        }
    }
}

TEST_F(AccountBookTest, AccountWithoutAKnownIntervalItemKeepsThePreviousOne)
{
    makeAccounts({"Preset", "New", "Odd"});
    put(key("Preset"), {"Upload image every:=10 minutes", "Between=1"});
    put(key("New"), {"Between=0"});
    put(key("Odd"), {"Upload image every:=Fortnight"});
    book.loadList();
    for (int row : {1, 2}) {
        book.selectRow(0);
        book.selectRow(row);
        EXPECT_EQ(QStringLiteral("%1:%2").arg(book.loaded().intervalItem).arg(book.loaded().seconds),
                  QString("11:600"))
            << row;
        EXPECT_EQ(book.loaded().host, "host-" + book.rowName(row));
        EXPECT_TRUE(book.loaded().between) << row; // kept with the item, even over a stored "0"
    }
}

TEST_F(AccountBookTest, DatesAndSizesInTheLocaleFormStillRead)
{
    std::optional<LocaleScope> german(std::in_place, QLocale(QLocale::German, QLocale::Germany));
    makeAccounts({"Old"});
    put(key("Old"), {"DateFrom=" + QLocale().toString(QDate(2024, 12, 24), QLocale::ShortFormat),
                     "DateTo=31.12.2024", "Font Size=10,5"});
    book.loadList();
    EXPECT_EQ(book.loaded().dateFrom, QDate(2024, 12, 24));
    EXPECT_EQ(book.loaded().dateTo, QDate(2024, 12, 31));
    EXPECT_DOUBLE_EQ(book.loaded().fontSize, 10.5);

    // Written back in the one fixed form, whatever the locale.
    book.setDateFrom(QDate(2025, 1, 2));
    book.setFont(true, false, "Tahoma", 11.5);
    german.reset();
    EXPECT_EQ(get(key("Old"), "DateFrom"), QString("2025-01-02"));
    EXPECT_EQ(get(key("Old"), "Font Size"), QString("11.5"));
}

TEST_F(AccountBookTest, AddAsksForANameUpToNineteenCharactersAndRewritesTheList)
{
    makeAccounts({"One"});
    book.loadList();
    const QStringList before = storeDump(store);
    for (const char* refused : {"", "Twenty characters!!!", "Sub\\Key", "ONE"}) {
        prompter.inputNext(QString::fromUtf8(refused));
        book.addAccount();
    }
    prompter.inputNext(std::nullopt);
    book.addAccount();
    EXPECT_EQ(prompter.texts(), (QStringList{kLong, kSlash, kTaken}));
    EXPECT_EQ(prompter.shown()[0].icon, Prompter::Icon::None);
    EXPECT_EQ(prompter.shown()[0].buttons, Prompter::Buttons::Ok);
    EXPECT_EQ(prompter.shown()[0].title, QString("Velmora 2001"));
    EXPECT_EQ(rows(), QStringList{"One"});
    EXPECT_EQ(storeDump(store), before);

    prompter.clear();
    prompter.inputNext(QStringLiteral("Nineteen characters"));
    book.addAccount();
    EXPECT_EQ(prompter.inputPrompts(),
              QStringList{"New Account...|Please choose a name for your new Account..."});
    EXPECT_TRUE(prompter.shown().empty());
    EXPECT_EQ(rows(), (QStringList{"One", "Nineteen characters"}));
    EXPECT_EQ(book.currentRow(), 0);
    EXPECT_EQ(listValues(), (QStringList{"1=One", "2=Nineteen characters"}));
    EXPECT_TRUE(store.Values(HKEY_LOCAL_MACHINE, key("Nineteen characters")).empty());
    RawDatabase raw(dir.file("store.db"));
    EXPECT_EQ(raw.scalar("SELECT count(*) FROM keys WHERE fold='software\\velmora\\nineteen characters'"),
              "1");
}

TEST_F(AccountBookTest, RenameCopiesTheTwentyThreeAndConnectionValuesAndDropsTheOldKey)
{
    makeAccounts({"First", "Old", "Last"});
    put(key("Old"),
        {"Upload image every:=Custom", "Custom=45", "Selected=True", "Name=Old", "Extra=not carried"});
    book.loadList();
    book.setChecked(1, true);
    book.selectRow(1);
    book.setProtocol(Account::Protocol::Sftp);
    book.setPassive(true);
    book.setVerifyCertificate(false);
    book.setKeyFile(QStringLiteral("/keys/cam"));
    book.setSafeReplace(true);
    EXPECT_EQ(valuesOf(key("Old")).filter(QRegularExpression("^(protocol|passive|verify|key|safe)")),
              (QStringList{"key file=/keys/cam", "passive=1", "protocol=SFTP", "safe replace=1",
                           "verify certificate=0"}));
    put(key("Old"), {"Protocol=ftps"}); // read in any case

    prompter.inputNext(QStringLiteral("New"));
    book.renameAccount();
    EXPECT_EQ(prompter.inputPrompts(), QStringList{"Rename...|Please choose a new name for your Account..."});
    EXPECT_EQ(rows(), (QStringList{"First", "New+", "Last"}));
    EXPECT_EQ(book.currentRow(), 1);
    EXPECT_EQ(listValues(), (QStringList{"1=First", "2=New", "3=Last"}));
    EXPECT_TRUE(store.List(HKEY_LOCAL_MACHINE, key("Old")).empty());

    const auto copied = store.Values(HKEY_LOCAL_MACHINE, key("New"));
    EXPECT_EQ(copied.size(), 28u); // the 23 of old and the five connection values
    EXPECT_EQ(QStringList({copied.at("host name/adress:"), copied.at("custom"), copied.at("selected"),
                           copied.at("password:"), copied.at("datefrom")}),
              (QStringList{"host-Old", "45", "True", "", ""}));
    EXPECT_EQ(copied.count("name") + copied.count("extra"), 0u);
    // The empty texts load with the defaults; the connection values travel.
    const auto connection = [this] {
        const Account& a = book.loaded();
        return QStringLiteral("%1|%2|%3|%4|%5")
            .arg(int(a.protocol))
            .arg(a.passive)
            .arg(a.verifyCertificate)
            .arg(a.keyFile)
            .arg(a.safeReplace);
    };
    book.ValdItem();
    EXPECT_EQ(describe(book.loaded()), defaults("host-Old", "0", "45"));
    EXPECT_EQ(connection(), QStringLiteral("%1|1|0|/keys/cam|1").arg(int(Account::Protocol::Ftps)));

    // Emptied connection values are the plain active FTP of old, and so is an unknown protocol.
    for (const char* values : {"Protocol=;Passive=;Verify certificate=;Safe replace=", "Protocol=Gopher"}) {
        put(key("New"), values);
        book.ValdItem();
        EXPECT_EQ(connection(), QStringLiteral("%1|0|1|/keys/cam|0").arg(int(Account::Protocol::Ftp)))
            << values;
    }

    // With no current row nothing is asked.
    book.setCurrentRow(-1);
    book.renameAccount();
    EXPECT_EQ(prompter.inputPrompts().size(), 1);
}

struct RenameCase
{
    const char* typed; // null: the box is cancelled
    const char* message;
    QStringList rows;
    const char* holder; // the key that holds the values afterwards; null: the store is unchanged
};

class AccountBookRenameTest : public AccountBookTest, public ::testing::WithParamInterface<RenameCase>
{
};

TEST_P(AccountBookRenameTest, RefusesNamesThatWouldLoseValuesAndMovesTheRest)
{
    const RenameCase& c = GetParam();
    makeAccounts({"One", "Two"});
    put(key("One"), {"Password:=pw", "Name=One"});
    book.loadList();
    const QStringList before = storeDump(store);
    prompter.inputNext(c.typed ? std::optional(QString::fromUtf8(c.typed)) : std::nullopt);
    book.renameAccount();
    EXPECT_EQ(prompter.texts(), c.message ? QStringList{c.message} : QStringList());
    EXPECT_EQ(rows(), c.rows);
    if (!c.holder) {
        EXPECT_EQ(storeDump(store), before);
        return;
    }
    EXPECT_EQ(get(kProduct, "Account1"), c.rows.first());
    EXPECT_EQ(get(key(c.holder), "Password:"), QString("pw"));
    EXPECT_EQ(get(key(c.holder), "Host Name/Adress:"), QString("host-One"));
    EXPECT_EQ(get(key(c.holder), "Name"),
              QString(c.holder) == "One" ? std::optional<QString>("One") : std::nullopt);
    EXPECT_EQ(get(key("Two"), "Host Name/Adress:"), QString("host-Two"));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Names, AccountBookRenameTest, ::testing::Values(
    RenameCase{"two", kTaken, {"One", "Two"}, nullptr},
    RenameCase{"Twenty characters!!!", kLong, {"One", "Two"}, nullptr},
    RenameCase{"a\\b", kSlash, {"One", "Two"}, nullptr},
    RenameCase{nullptr, nullptr, {"One", "Two"}, nullptr},
    RenameCase{"One", nullptr, {"One", "Two"}, nullptr},
    // Only another case: the same key, so the values stay where they are.
    RenameCase{"ONE", nullptr, {"ONE", "Two"}, "One"},
    RenameCase{"New", nullptr, {"New", "Two"}, "New"}));
// clang-format on

TEST_F(AccountBookTest, RemoveAsksAndCompactsTheListAndTheOnlyAccountComesBackAsTheDefault)
{
    makeAccounts({"One", "Two", "Three"});
    book.loadList();
    book.selectRow(1);

    // No, and closing the box (the default answer), keep everything.
    prompter.answerNext(Prompter::Answer::No);
    book.removeAccount();
    book.removeAccount();
    ASSERT_EQ(prompter.shown().size(), 2u);
    const auto& asked = prompter.shown()[0];
    EXPECT_EQ(asked.text, QString("Are you sure you want to remove this \nAccount and all of its settings."));
    EXPECT_EQ(asked.title, QString("Remove 'Two'?"));
    EXPECT_EQ(asked.icon, Prompter::Icon::Exclamation);
    EXPECT_EQ(asked.buttons, Prompter::Buttons::YesNo);
    EXPECT_EQ(book.rowCount(), 3);
    EXPECT_EQ(get(key("Two"), "Host Name/Adress:"), QString("host-Two"));

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

    // Removing every account leaves an empty list; the next start brings back the default.
    for (int row : {0, 0}) {
        book.selectRow(row);
        prompter.answerNext(Prompter::Answer::Yes);
        book.removeAccount();
    }
    EXPECT_EQ(book.rowCount(), 0);
    EXPECT_TRUE(listValues().isEmpty());
    EXPECT_TRUE(store.List(HKEY_LOCAL_MACHINE, key("One")).empty());
    AccountBook again(store, prompter);
    again.loadList();
    EXPECT_EQ(rows(again), QStringList{"My Account+"});
    EXPECT_EQ(listValues(), QStringList{"1=My Account"});

    // Rows sharing one key in an old list: removing one keeps the other's values.
    put(kProduct, {"Account1=Cam", "Account2=cam"});
    put(key("Cam"), {"Password:=pw"});
    book.loadList();
    prompter.answerNext(Prompter::Answer::Yes);
    book.removeAccount();
    EXPECT_EQ(rows(), QStringList{"cam"});
    EXPECT_EQ(get(key("cam"), "Password:"), QString("pw"));
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
    book.finishFolderEdit(); // the slash is added once
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

    EXPECT_EQ(
        valuesOf(k),
        (QStringList{"backcolor=197121", "between=1", "datefrom=2026-01-05", "dateto=2026-12-31",
                     "destination filename:=door", "enable timestamp=1", "font bold=False",
                     "font italic=True", "font name=DejaVu Sans", "font size=10.5", "forecolor=1193046",
                     "host name/adress:=ftp.example.org", "initial remote site folder:=pub/", "locally=0",
                     "locallysource=/tmp/pics", "only locally=1", "texttime=1", "user id:=me"}));
    EXPECT_EQ(store.Values(HKEY_LOCAL_MACHINE, key("Two")).size(), 1u);

    // What was saved loads back the same.
    book.selectRow(1);
    book.selectRow(0);
    EXPECT_EQ(describe(book.loaded()),
              QString("ftp.example.org|me||pub/|door|0|-1||1|2026-01-05|2026-12-31|1|1|197121|1193046|0|1|"
                      "DejaVu Sans|10.5|0|1|/tmp/pics"));

    // Unchecking "Remember password" keeps the typed one loaded until the next load.
    book.setRememberPassword(true);
    book.setPassword("secret");
    book.setRememberPassword(false);
    EXPECT_EQ(get(k, "Password:"), std::nullopt);
    EXPECT_EQ(book.loaded().password, QString("secret"));
    book.ValdItem();
    EXPECT_EQ(book.loaded().password, QString(""));

    // Without a current row edits change only the loaded account.
    book.setCurrentRow(-1);
    const QStringList before = storeDump(store);
    QSignalSpy spy(&book, &AccountBook::loadedChanged);
    book.setHost("elsewhere");
    book.setIntervalItem(3);
    book.setSecondsText("45");
    book.setRememberPassword(true);
    EXPECT_EQ(storeDump(store), before);
    EXPECT_EQ(book.loaded().host, QString("elsewhere"));
    EXPECT_EQ(book.loaded().intervalItem, IntervalTable::kCustom);
    EXPECT_GE(spy.count(), 4);
    book.setCurrentRow(7);
    EXPECT_EQ(book.currentRow(), -1);
}
