#include "settings/AccountBook.h"
#include "EnvScope.h"
#include "FullDisk.h"
#include "QtPrinters.h"
#include "RawDatabase.h"
#include "ScriptedPrompter.h"
#include "StoreDump.h"
#include "TempDir.h"
#include "settings/AccountFields.h"
#include "settings/IntervalTable.h"
#include "settings/Regedit.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <type_traits>
#include <variant>

namespace {
using AccountFields::Field;
using AccountFields::Rule;

const QString kProduct = QStringLiteral("Software\\Velmora");
const char* const kTaken = "There is already an Account with this name. Please choose another name.";
const char* const kLong = "Please keep the name shorter than 20 characters.";
const char* const kSlash = "Please choose a name without a backslash (\\).";

QString key(const QString& account)
{
    return kProduct + QLatin1Char('\\') + account;
}

// Every value of a loaded account as "name=text" in the table's order, so a whole record is
// checked at once (the row's own "Selected" is no part of it).
QString describe(const Account& a)
{
    QStringList values;
    for (const Field& field : AccountFields::all()) {
        if (field.group != AccountFields::Group::Row)
            values << field.name + '=' + AccountFields::text(field, a);
    }
    return values.join('|');
}

// The record of an account with nothing (or nothing readable) stored, with some values changed.
QString expected(const std::map<QString, QString>& changed = {})
{
    QString record = describe(Account());
    for (const auto& [name, text] : changed) {
        const QString from = name + '=' + AccountFields::text(*AccountFields::find(name), Account());
        record.replace(from, name + '=' + text);
    }
    return record;
}

// A stored text that each rule reads as a value other than the field's default.
QString sampleText(const Field& field)
{
    switch (field.rule) {
    case Rule::Text:
        return "sample " + field.name;
    case Rule::Flag:
        return field.defaultText == "1" ? "0" : "1";
    case Rule::Truth:
    case Rule::RowFlag:
        return field.defaultText == "True" ? "False" : "True";
    case Rule::Color:
        return "197121";
    case Rule::FontSize:
        return "12.5";
    case Rule::Date:
        return "2030-01-02";
    case Rule::Protocol:
        return "SFTP";
    case Rule::Interval:
        return "Custom"; // so that the seconds are the account's own
    case Rule::Seconds:
        return "45";
    case Rule::Percent:
        return "37";
    case Rule::Count:
        return "250";
    case Rule::Time:
        return "21:45";
    }
    return {};
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
    // A new account starts in passive mode with a safe replace, both stored with it.
    EXPECT_EQ(describe(book.loaded()), expected({{"Passive", "1"}, {"Safe replace", "1"}}));
    EXPECT_EQ(get(key("My Account"), "Passive"), QString("1"));
    EXPECT_EQ(get(key("My Account"), "Safe replace"), QString("1"));
    // The documented defaults: "webcam", black on white, bold "Tahoma" 10, FTP.
    const Account& a = book.loaded();
    EXPECT_EQ(QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8|%9")
                  .arg(a.fileName)
                  .arg(a.backColor)
                  .arg(a.foreColor)
                  .arg(a.fontBold)
                  .arg(a.fontItalic)
                  .arg(a.fontName)
                  .arg(a.fontSize)
                  .arg(int(a.protocol))
                  .arg(a.verifyCertificate),
              QStringLiteral("webcam|0|16777215|1|0|Tahoma|10|%1|1").arg(int(Account::Protocol::Ftp)));
    EXPECT_EQ(a.dateFrom, QDate::currentDate());
    EXPECT_EQ(a.intervalItem, -1);
}

// Each row is found by its name in any case and by its member, so an edit of a field always
// writes its own value; the row standing in for a field without one has no name to write under.
TEST(AccountFieldsTable, EveryRowIsFoundByItsNameAndByItsMember)
{
    QStringList names;
    for (const Field& field : AccountFields::all()) {
        EXPECT_FALSE(names.contains(field.name, Qt::CaseInsensitive)) << field.name.toStdString();
        names << field.name;
        EXPECT_EQ(AccountFields::find(field.name.toUpper()), &field) << field.name.toStdString();
        std::visit(
            [&field](auto member) {
                if constexpr (!std::is_same_v<decltype(member), std::monostate>) {
                    EXPECT_EQ(&AccountFields::of(member), &field) << field.name.toStdString();
                }
            },
            field.member);
    }
    EXPECT_TRUE(AccountFields::unlisted().name.isEmpty());
    EXPECT_EQ(AccountFields::find(QString()), nullptr);
}

TEST_F(AccountBookTest, LegacyValuesAreTakenOverOnceAndOnlyForAnOldOnSwitch)
{
    put(kProduct, {"Enable FTP=1", "Host Name/Adress:=old.example.org", "User ID:=olduser",
                   "Upload image every:=5 minutes", "Font Size=12"});
    book.loadList();
    const QString mine = key("My Account");
    // Absent legacy values arrive as empty texts; values outside the fourteen do not arrive.
    const auto values = store.Values(HKEY_LOCAL_MACHINE, mine);
    EXPECT_EQ(values.size(), 17u); // fourteen, "Name", and passive mode and safe replace of a new account
    EXPECT_EQ(std::count_if(AccountFields::all().begin(), AccountFields::all().end(),
                            [](const Field& field) { return field.legacy; }),
              14);
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
    using Changed = std::map<QString, QString>;
    const QString host = "host-Cam";
    // Stored values, and what the loaded record holds besides the host.
    const std::pair<const char*, Changed> cases[] = {
        {"User ID:=me;Password:=pw;Remember password= 1 ;Upload image every:=custom;Custom=45;Between=1;"
         "DateFrom=2026-03-01;DateTo=2026-04-30;Destination filename:=door;Backcolor=255;Forecolor=65280;"
         "Font Bold=false;Font Italic=TRUE;Font Name=DejaVu Sans;Font Size=10.5;Protocol=ftps;Passive=1;"
         "Verify certificate=0",
         {{"User ID:", "me"},
          {"Password:", "pw"},
          {"Remember password", "1"},
          {"Upload image every:", "Custom"},
          {"Custom", "45"},
          {"Between", "1"},
          {"DateFrom", "2026-03-01"},
          {"DateTo", "2026-04-30"},
          {"Destination filename:", "door"},
          {"Backcolor", "255"},
          {"Forecolor", "65280"},
          {"Font Bold", "False"},
          {"Font Italic", "True"},
          {"Font Name", "DejaVu Sans"},
          {"Font Size", "10.5"},
          {"Protocol", "FTPS"},
          {"Passive", "1"},
          {"Verify certificate", "0"}}},
        // Damaged texts give the defaults; a damaged interval never means "Constantly" (0).
        {"Upload image every:=Custom;Custom=-20;Between=;Font Size=abc;Font Bold=maybe;Font Italic=;"
         "Font Name=;Backcolor=abc;Forecolor=99999999;DateFrom=32/13/xx;DateTo=;Remember password=2;"
         "Locally=;Only Locally=yes;Enable timestamp=True;Destination filename:=;Protocol=Gopher;"
         "Verify certificate=2",
         {{"Upload image every:", "Custom"}, {"Custom", "0"}, {"Between", "0"}}},
        // Whole numbers in their range and times of day; seconds are dropped.
        {"Change threshold= 12 ;Archive keep=0;Archive days=1000000;TimeFrom=7:05;TimeTo=23:59:30",
         {{"Change threshold", "12"},
          {"Archive keep", "0"},
          {"Archive days", "1000000"},
          {"TimeFrom", "07:05"},
          {"TimeTo", "23:59"}}},
        {"Change threshold=101;Archive keep=-1;Archive days=1000001;TimeFrom=25:00;TimeTo=noon;"
         "Only when changed=yes;Only hours=2",
         {}},
        {"Change threshold=7.5;Archive keep=;TimeFrom=;TimeTo=12", {}},
        // WebDAV in any letter case; its stored text is always "WebDAV".
        {"Protocol=webdav", {{"Protocol", "WebDAV"}}},
        {"Protocol= WEBDAV ", {{"Protocol", "WebDAV"}}},
        {"Protocol=WebDAV-S", {}},
        // S3 likewise; its values read as typed, an empty region is the default one.
        {"Protocol=s3;Bucket=webcam;Region=eu-central-1;Path style=0;Public read=1",
         {{"Protocol", "S3"},
          {"Bucket", "webcam"},
          {"Region", "eu-central-1"},
          {"Path style", "0"},
          {"Public read", "1"}}},
        {"Protocol= S3 ;Region=;Path style=yes;Public read=2", {{"Protocol", "S3"}}},
        {"Font Size=0", {}},
        {"Font Size=-3", {}},
        {"Font Size=1e9", {}},
        {"Font Size=nan", {}},
        {"Font Size=inf", {}},
        // The item fills the seconds.
        {"Upload image every:=10 minutes;Custom=999",
         {{"Upload image every:", "10 minutes"}, {"Custom", "600"}, {"Between", "0"}}},
        {"Upload image every:=Never", {{"Upload image every:", "Never"}, {"Between", "0"}}},
        {"Upload image every:=Custom;Custom=abc", {{"Upload image every:", "Custom"}, {"Between", "0"}}},
        {"Upload image every:=Custom;Custom=12.9",
         {{"Upload image every:", "Custom"}, {"Custom", "12"}, {"Between", "0"}}}};
    int n = 0;
    for (const auto& [values, changed] : cases) {
        Regedit fresh(dir.file(QStringLiteral("case%1.db").arg(n++)));
        fresh.SaveString(HKEY_LOCAL_MACHINE, kProduct, "Account1", "Cam");
        fresh.SaveString(HKEY_LOCAL_MACHINE, key("Cam"), "Host Name/Adress:", host);
        for (const QString& value : QString(values).split(';'))
            fresh.SaveString(HKEY_LOCAL_MACHINE, key("Cam"), value.section('=', 0, 0), value.section('=', 1));
        const QStringList before = storeDump(fresh);
        AccountBook loaded(fresh, prompter);
        loaded.loadList();
        Changed all = changed;
        all["Host Name/Adress:"] = host;
        EXPECT_EQ(describe(loaded.loaded()), expected(all)) << values;
        EXPECT_EQ(storeDump(fresh), before) << values;
    }
}

// A stored text that is there but cannot be read is listed with the load, with what it is not and
// the default that stands in for it; absent and empty texts are not damaged, nor is any text of a
// field that takes every text.
TEST_F(AccountBookTest, DamagedValuesAreListedWithWhatStandsInForThem)
{
    const QString today = QDate::currentDate().toString("yyyy-MM-dd");
    const std::pair<const char*, QStringList> cases[] = {
        {"TimeFrom=25:99", {"TimeFrom|25:99|is not a time|08:00"}},
        {"TimeTo=noon", {"TimeTo|noon|is not a time|20:00"}},
        {"TimeFrom=;TimeTo=7:05", {}},
        {"Change threshold=101", {"Change threshold|101|is not a whole number from 0 to 100|5"}},
        {"Archive keep=-1", {"Archive keep|-1|is not a whole number from 0 to 1000000|100"}},
        {"Font Size=abc", {"Font Size|abc|is not a font size|10"}},
        {"Font Bold=maybe", {"Font Bold|maybe|is not True or False|True"}},
        {"Locally=yes;Only Locally=1", {"Locally|yes|is not 1 or 0|0"}},
        {"Backcolor=abc", {"Backcolor|abc|is not a colour|0"}},
        {"DateFrom=32/13/xx", {"DateFrom|32/13/xx|is not a date|" + today}},
        {"Protocol=Gopher", {"Protocol|Gopher|is not FTP, FTPS, SFTP, WebDAV or S3|FTP"}},
        {"Protocol= sftp ;Destination filename:=;Font Name=", {}},
        {"Protocol=wEbDaV", {}},
        {"Protocol=s3;Region=;Bucket=", {}},
        {"Path style=yes;Public read=1", {"Path style|yes|is not 1 or 0|1"}},
        {"Protocol=DAV", {"Protocol|DAV|is not FTP, FTPS, SFTP, WebDAV or S3|FTP"}},
        {"Upload image every:=Custom;Custom=abc", {"Custom|abc|is not a number of seconds|"}},
        {"Upload image every:=Sometimes;Custom=abc", {}},
    };
    int n = 0;
    for (const auto& [values, damaged] : cases) {
        SCOPED_TRACE(values);
        Regedit fresh(dir.file(QStringLiteral("damaged%1.db").arg(n++)));
        fresh.SaveString(HKEY_LOCAL_MACHINE, kProduct, "Account1", "Cam");
        for (const QString& value : QString(values).split(';'))
            fresh.SaveString(HKEY_LOCAL_MACHINE, key("Cam"), value.section('=', 0, 0), value.section('=', 1));
        AccountBook loaded(fresh, prompter);
        loaded.loadList();
        QStringList listed;
        for (const UnusableValue& value : loaded.loaded().unusable)
            listed << QStringList{value.name, value.stored, value.why, value.used}.join('|');
        EXPECT_EQ(listed, damaged);
    }
    // A load of a sound record lists nothing any more.
    Regedit fresh(dir.file("damaged.db"));
    fresh.SaveString(HKEY_LOCAL_MACHINE, kProduct, "Account1", "Cam");
    fresh.SaveString(HKEY_LOCAL_MACHINE, key("Cam"), "TimeFrom", "25:99");
    AccountBook loaded(fresh, prompter);
    loaded.loadList();
    EXPECT_EQ(loaded.loaded().unusable.size(), 1u);
    fresh.SaveString(HKEY_LOCAL_MACHINE, key("Cam"), "TimeFrom", "09:00");
    loaded.ValdItem();
    EXPECT_TRUE(loaded.loaded().unusable.empty());
}

TEST_F(AccountBookTest, EveryAccountValueLoadsIsStoredByItsEditAndTravelsWithRename)
{
    // Each value of the table, stored as a text its rule reads as no default.
    makeAccounts({"Old", "Edited"});
    for (const Field& field : AccountFields::all())
        put(key("Old"), {field.name + '=' + sampleText(field)});
    put(key("Old"), {"Name=Old", "Extra=not carried"});
    book.loadList();
    for (const Field& field : AccountFields::all()) {
        if (field.group != AccountFields::Group::Row) {
            EXPECT_EQ(AccountFields::text(field, book.loaded()), sampleText(field))
                << field.name.toStdString();
        }
    }
    EXPECT_TRUE(book.isChecked(0));

    // Each edit stores its value's text in the current account.
    const Account sample = book.loaded();
    book.selectRow(1);
    for (const Field& field : AccountFields::all()) {
        std::visit(
            [&](auto member) {
                if constexpr (!std::is_same_v<decltype(member), std::monostate>)
                    book.set(member, sample.*member);
            },
            field.member);
    }
    QStringList stored;
    for (const auto& [name, text] : store.Values(HKEY_LOCAL_MACHINE, key("Edited")))
        stored << name + '=' + text;
    QStringList samples{"host name/adress:=host-Edited"};
    for (const Field& field : AccountFields::all()) {
        if (field.group != AccountFields::Group::Row)
            samples << Regedit::fold(field.name) + '=' + sampleText(field);
    }
    samples.removeAll("host name/adress:=host-Edited"); // replaced by the edit
    samples.sort();
    stored.sort(); // the store orders by name alone ("Timelapse" before "Timelapse keep")
    EXPECT_EQ(stored, samples);

    // Rename carries every value, absent ones as empty texts, and nothing else.
    book.selectRow(0);
    prompter.inputNext(QStringLiteral("New"));
    book.renameAccount();
    EXPECT_EQ(rows(), (QStringList{"New+", "Edited"}));
    EXPECT_TRUE(store.List(HKEY_LOCAL_MACHINE, key("Old")).empty());
    const auto copied = store.Values(HKEY_LOCAL_MACHINE, key("New"));
    EXPECT_EQ(copied.size(), AccountFields::all().size());
    for (const Field& field : AccountFields::all())
        EXPECT_EQ(copied.at(Regedit::fold(field.name)), sampleText(field)) << field.name.toStdString();
    prompter.inputNext(QStringLiteral("Empty"));
    book.selectRow(1);
    put(key("Edited"), {"Password:="});
    store.DeleteValue(HKEY_LOCAL_MACHINE, key("Edited"), "Font Size");
    book.renameAccount();
    EXPECT_EQ(store.GetString(HKEY_LOCAL_MACHINE, key("Empty"), "Font Size"), QString(""));
    EXPECT_EQ(store.Values(HKEY_LOCAL_MACHINE, key("Empty")).size(), AccountFields::all().size());
}

// An account without a known interval item has no interval: it does not take the one loaded
// before it (it would upload on another account's timer while the window showed that timer).
TEST_F(AccountBookTest, AccountWithoutAKnownIntervalItemHasNoIntervalOfItsOwn)
{
    makeAccounts({"Preset", "New", "Odd"});
    put(key("Preset"), {"Upload image every:=10 minutes", "Between=1"});
    put(key("New"), {"Between=0"});
    put(key("Odd"), {"Upload image every:=Fortnight", "Custom=45"});
    book.loadList();
    for (int row : {1, 2}) {
        book.selectRow(0);
        book.selectRow(row);
        EXPECT_EQ(QStringLiteral("%1:%2").arg(book.loaded().intervalItem).arg(book.loaded().seconds),
                  QString("-1:"))
            << row;
        EXPECT_EQ(book.loaded().host, "host-" + book.rowName(row));
        EXPECT_FALSE(book.loaded().between) << row;
        book.loadRowOnly(0);
        book.loadRowOnly(row);
        EXPECT_EQ(book.loaded().seconds, "") << "the scheduler reads the same";
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
    book.set(&Account::dateFrom, QDate(2025, 1, 2));
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
    // The new account is the one edited next.
    EXPECT_EQ(book.currentRow(), 1);
    EXPECT_EQ(book.loaded().host, "");
    book.set(&Account::host, "second.example.net");
    EXPECT_EQ(get(key("Nineteen characters"), "Host Name/Adress:"), QString("second.example.net"));
    EXPECT_EQ(get(key("One"), "Host Name/Adress:"), QString("host-One"));
    EXPECT_EQ(listValues(), (QStringList{"1=One", "2=Nineteen characters"}));
    EXPECT_EQ(valuesOf(key("Nineteen characters")),
              (QStringList{"host name/adress:=second.example.net", "passive=1", "safe replace=1"}));
    RawDatabase raw(dir.file("store.db"));
    EXPECT_EQ(raw.scalar("SELECT count(*) FROM keys WHERE fold='software\\velmora\\nineteen characters'"),
              "1");
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

TEST_F(AccountBookTest, EditsWithRulesOfTheirOwn)
{
    makeAccounts({"One", "Two"});
    book.loadList();
    const QString k = key("One");
    book.set(&Account::folder, "pub");
    EXPECT_EQ(get(k, "Initial Remote Site Folder:"), QString("pub"));
    book.finishFolderEdit();
    book.finishFolderEdit(); // the slash is added once
    EXPECT_EQ(get(k, "Initial Remote Site Folder:"), QString("pub/"));

    // The font writes only what differs from the loaded style: confirming the defaults writes nothing.
    book.setFont(true, false, "Tahoma", 10);
    EXPECT_EQ(valuesOf(k), (QStringList{"host name/adress:=host-One", "initial remote site folder:=pub/"}));
    book.setFont(true, true, "Tahoma", 13.5);
    EXPECT_EQ(valuesOf(k).filter("font"), (QStringList{"font italic=True", "font size=13.5"}));
    EXPECT_EQ(store.Values(HKEY_LOCAL_MACHINE, key("Two")).size(), 1u);

    // Unchecking "Remember password" removes the stored one; the typed one serves until the end.
    book.setRememberPassword(true);
    book.setPassword("secret");
    EXPECT_EQ(get(k, "Password:"), QString("secret"));
    book.setRememberPassword(false);
    EXPECT_EQ(get(k, "Password:"), std::nullopt);
    EXPECT_EQ(book.loaded().password, QString("secret"));
    book.selectRow(1);
    book.selectRow(0);
    EXPECT_EQ(book.loaded().password, QString("secret"));
    // Typed first, ticked after: the box stores what the field holds.
    book.setPassword("other");
    EXPECT_EQ(get(k, "Password:"), std::nullopt);
    book.setRememberPassword(true);
    EXPECT_EQ(get(k, "Password:"), QString("other"));
    // An emptied field is stored empty and forgotten for the session as well.
    book.setRememberPassword(false);
    book.setPassword("");
    book.ValdItem();
    EXPECT_EQ(book.loaded().password, QString(""));
    // Another book over the same store (the next start) knows no password that was not stored.
    book.setPassword("typed only");
    AccountBook nextStart(store, prompter);
    nextStart.loadList();
    EXPECT_EQ(nextStart.loaded().password, QString(""));
    // It goes with a rename, and not to another account.
    prompter.inputNext(QStringLiteral("Renamed"));
    book.renameAccount();
    book.selectRow(1);
    EXPECT_EQ(book.loaded().password, QString(""));
    book.selectRow(0);
    EXPECT_EQ(book.currentName(), QString("Renamed"));
    EXPECT_EQ(book.loaded().password, QString("typed only"));

    // Without a current row edits change only the loaded account.
    book.setCurrentRow(-1);
    const QStringList before = storeDump(store);
    QSignalSpy spy(&book, &AccountBook::loadedChanged);
    book.set(&Account::host, "elsewhere");
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

TEST_F(AccountBookTest, NoAccountLosesItsValuesThroughAnothersRenameOrRemoval)
{
    // An older list: case twins sharing one key, and an account named below another.
    put(kProduct, {"Account1=Cam", "Account2=cam", "Account3=Cam\\Back", "Account4=Door"});
    put(key("Cam"), {"Password:=front"});
    put(key("Cam\\Back"), {"Password:=back"});
    book.loadList();
    EXPECT_EQ(rows(), (QStringList{"Cam", "cam", "Cam\\Back", "Door"}));

    // Renaming one twin copies the shared values; the other twin keeps them.
    book.selectRow(1);
    prompter.inputNext(QStringLiteral("Other"));
    book.renameAccount();
    EXPECT_EQ(get(key("Other"), "Password:"), QString("front"));
    EXPECT_EQ(get(key("Cam"), "Password:"), QString("front"));

    // Renaming and removing the account above another leave the one below alone.
    book.selectRow(0);
    prompter.inputNext(QStringLiteral("Front"));
    book.renameAccount();
    EXPECT_EQ(get(key("Front"), "Password:"), QString("front"));
    EXPECT_EQ(get(key("Cam"), "Password:"), std::nullopt);
    prompter.inputNext(QStringLiteral("Cam"));
    book.addAccount();
    book.selectRow(4);
    prompter.answerNext(Prompter::Answer::Yes);
    book.removeAccount();
    EXPECT_EQ(rows(), (QStringList{"Front", "Other", "Cam\\Back", "Door"}));
    EXPECT_EQ(listValues(), (QStringList{"1=Front", "2=Other", "3=Cam\\Back", "4=Door"}));
    book.selectRow(2);
    EXPECT_EQ(book.loaded().password, QString("back"));
}

TEST_F(AccountBookTest, AStoreThatTakesNoChangeKeepsTheRowsAsStoredAndSaysWhy)
{
    makeAccounts({"One", "Two"});
    book.loadList();
    const QStringList before = storeDump(store);
    {
        const FullDisk full;
        prompter.inputNext(QStringLiteral("Three"));
        book.addAccount();
        prompter.inputNext(QStringLiteral("Renamed"));
        book.renameAccount();
    }
    const QString problem = book.storeProblem();
    EXPECT_TRUE(problem.startsWith("the last change could not be saved (disk I/O error"))
        << problem.toStdString();
    const QString why = problem + ".";
    EXPECT_EQ(prompter.texts(), (QStringList{"The account could not be added: " + why,
                                             "The account could not be renamed: " + why}));
    EXPECT_EQ(prompter.shown().back().icon, Prompter::Icon::Exclamation);
    EXPECT_EQ(rows(), (QStringList{"One", "Two"}));
    EXPECT_EQ(storeDump(store), before);
    // The next write that arrives clears the problem.
    book.set(&Account::user, "me");
    EXPECT_EQ(book.storeProblem(), "");

    // A store that is only read is not asked to take anything.
    prompter.clear();
    const auto newer = newerVersionStore(dir.file("store.db"), kProduct, "Account1", "One");
    AccountBook readOnly(*newer, prompter);
    readOnly.loadList();
    readOnly.addAccount();
    readOnly.renameAccount();
    readOnly.removeAccount();
    const QString reason = "the settings store was written by a newer version of Velmora.";
    EXPECT_EQ(prompter.texts(), (QStringList{"The account could not be added: " + reason,
                                             "The account could not be renamed: " + reason,
                                             "The account could not be removed: " + reason}));
    EXPECT_TRUE(prompter.inputPrompts().isEmpty());
    EXPECT_EQ(rows(readOnly), (QStringList{"One", "Two"}));
}
