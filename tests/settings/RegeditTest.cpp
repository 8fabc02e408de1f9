#include "settings/Regedit.h"
#include "RawDatabase.h"
#include "TempDir.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {
const QString kProduct = QStringLiteral("Software\\Velmora");
const QString kAccount = QStringLiteral("Software\\Velmora\\My Account");

int fileMode(const QString& path)
{
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return static_cast<int>(info.st_mode & 07777);
}

QByteArray fileHash(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

class RegeditTest : public ::testing::Test
{
protected:
    TempDir dir;
    QString path = dir.file(QStringLiteral("store.db"));
};
} // namespace

TEST_F(RegeditTest, ReadsBackWhatItWroteWithNamesAndPathsInAnyCase)
{
    Regedit store(path);
    store.SaveString(HKEY_LOCAL_MACHINE, kProduct, "Min", "1");
    EXPECT_EQ(store.GetString(HKEY_LOCAL_MACHINE, "software\\velmora", "MIN"), QString("1"));
    EXPECT_EQ(store.GetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\VELMORA\\", "min"), QString("1"));

    // Replacing under another spelling keeps one value.
    store.SaveString(HKEY_LOCAL_MACHINE, "SOFTWARE\\velmora", "mIN", "0");
    EXPECT_EQ(store.GetString(HKEY_LOCAL_MACHINE, kProduct, "Min"), QString("0"));
    EXPECT_EQ(store.Values(HKEY_LOCAL_MACHINE, kProduct).size(), 1u);
}

TEST_F(RegeditTest, TrailingSeparatorAddressesTheSameKey)
{
    Regedit store(path);
    store.SaveString(HKEY_LOCAL_MACHINE, kProduct, "Account1", "My Account");
    EXPECT_EQ(store.GetString(HKEY_LOCAL_MACHINE, kProduct + "\\", "Account1"), QString("My Account"));
    store.SaveString(HKEY_LOCAL_MACHINE, kProduct + "\\", "Account2", "Second");
    EXPECT_EQ(store.GetString(HKEY_LOCAL_MACHINE, kProduct, "Account2"), QString("Second"));
}

TEST_F(RegeditTest, AbsentKeysAndValuesReadAsAbsentAndEmptyTextIsNotAbsent)
{
    Regedit store(path);
    EXPECT_EQ(store.GetString(HKEY_LOCAL_MACHINE, "Software\\Nowhere", "Min"), std::nullopt);
    store.SaveString(HKEY_LOCAL_MACHINE, kProduct, "Min", "1");
    EXPECT_EQ(store.GetString(HKEY_LOCAL_MACHINE, kProduct, "Max"), std::nullopt);

    store.SaveString(HKEY_LOCAL_MACHINE, kProduct, "Empty", "");
    const std::optional<QString> empty = store.GetString(HKEY_LOCAL_MACHINE, kProduct, "Empty");
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->isEmpty());
}

TEST_F(RegeditTest, TextsSurviveCharacterForCharacter)
{
    Regedit store(path);
    const QString texts[] = {QStringLiteral("päss wörd €"), QStringLiteral("  padded  "),
                             QStringLiteral("line\r\nbreak\ttab"), QStringLiteral("back\\slash"),
                             QString(5000, QLatin1Char('x'))};
    int n = 0;
    for (const QString& text : texts)
        store.SaveString(HKEY_LOCAL_MACHINE, kAccount, QStringLiteral("V%1").arg(n++), text);
    n = 0;
    for (const QString& text : texts)
        EXPECT_EQ(store.GetString(HKEY_LOCAL_MACHINE, kAccount, QStringLiteral("V%1").arg(n++)), text);

    // Account names (key path components) survive as well.
    store.SaveString(HKEY_LOCAL_MACHINE, kProduct + "\\Kamera Süd", "User ID:", "ü");
    EXPECT_EQ(store.GetString(HKEY_LOCAL_MACHINE, kProduct + "\\kamera süd", "user id:"), QString("ü"));
    EXPECT_EQ(store.List(HKEY_LOCAL_MACHINE, kProduct + "\\kamera SÜD").at(0).key, kProduct + "\\Kamera Süd");
}

TEST_F(RegeditTest, TextWithNulReadsUpToIt)
{
    Regedit store(path);
    store.SaveString(HKEY_LOCAL_MACHINE, kProduct, "Nul",
                     QStringLiteral("abc") + QChar(0) + QStringLiteral("def"));
    EXPECT_EQ(store.GetString(HKEY_LOCAL_MACHINE, kProduct, "Nul"), QString("abc"));
    EXPECT_EQ(store.Values(HKEY_LOCAL_MACHINE, kProduct).at("nul"), QString("abc"));

    // Data written by another writer with a terminating NUL read back without it.
    RawDatabase raw(path);
    ASSERT_TRUE(raw.putRaw("software\\velmora", "terminated", Regedit::kStringType, QByteArray("text\0", 5)));
    EXPECT_EQ(store.GetString(HKEY_LOCAL_MACHINE, kProduct, "Terminated"), QString("text"));
}

TEST_F(RegeditTest, ValuesOfAnotherTypeReadAsAbsentEverywhere)
{
    Regedit store(path);
    store.SaveString(HKEY_LOCAL_MACHINE, kAccount, "Host Name/Adress:", "ftp.example.org");
    {
        RawDatabase raw(path);
        constexpr int kDword = 4;
        ASSERT_TRUE(
            raw.putRaw("software\\velmora\\my account", "font size", kDword, QByteArray("\x0a\0\0\0", 4)));
        ASSERT_TRUE(raw.putRaw("software\\velmora\\my account", "custom", 3, QByteArray("60")));
    }
    EXPECT_EQ(store.GetString(HKEY_LOCAL_MACHINE, kAccount, "Font Size"), std::nullopt);
    EXPECT_EQ(store.GetString(HKEY_LOCAL_MACHINE, kAccount, "Custom"), std::nullopt);
    EXPECT_EQ(store.Values(HKEY_LOCAL_MACHINE, kAccount).size(), 1u);
    const auto sub = store.SubkeyValues(HKEY_LOCAL_MACHINE, kProduct, {"Custom", "Host Name/Adress:"});
    EXPECT_EQ(sub.at("my account").size(), 1u);
    EXPECT_EQ(store.List(HKEY_LOCAL_MACHINE, kAccount).size(), 1u);

    // Writing a string replaces the value of the other type.
    store.SaveString(HKEY_LOCAL_MACHINE, kAccount, "Font Size", "12");
    EXPECT_EQ(store.GetString(HKEY_LOCAL_MACHINE, kAccount, "font size"), QString("12"));
}

TEST_F(RegeditTest, WritesCreateMissingKeysAndCreateKeyKeepsExistingOnes)
{
    {
        Regedit store(path);
        store.SaveString(HKEY_LOCAL_MACHINE, "A\\B\\C", "v", "1");
        store.CreateKey(HKEY_LOCAL_MACHINE, "A\\B\\New\\Deeper");
        store.CreateKey(HKEY_LOCAL_MACHINE, "a\\b\\c");
        EXPECT_EQ(store.GetString(HKEY_LOCAL_MACHINE, "A\\B\\C", "v"), QString("1"));
    }
    RawDatabase raw(path);
    EXPECT_EQ(
        raw.scalar(
            "SELECT count(*) FROM keys WHERE fold IN ('a','a\\b','a\\b\\c','a\\b\\new','a\\b\\new\\deeper')"),
        QString("5"));
    EXPECT_EQ(raw.scalar("SELECT count(*) FROM keys WHERE fold='a\\b\\c'"), QString("1"));
}

TEST_F(RegeditTest, DeleteKeyRemovesTheWholeBranchAndNothingBeside)
{
    Regedit store(path);
    store.SaveString(HKEY_LOCAL_MACHINE, kAccount, "User ID:", "me");
    store.SaveString(HKEY_LOCAL_MACHINE, kAccount + "\\Nested\\Deep", "x", "1");
    store.SaveString(HKEY_LOCAL_MACHINE, kProduct + "\\My", "User ID:", "prefix sibling");
    store.SaveString(HKEY_LOCAL_MACHINE, kProduct + "\\My Account2", "User ID:", "longer sibling");
    store.SaveString(HKEY_LOCAL_MACHINE, kProduct, "Account1", "My Account");

    store.DeleteKey(HKEY_LOCAL_MACHINE, "software\\VELMORA\\my account\\");
    EXPECT_EQ(store.GetString(HKEY_LOCAL_MACHINE, kAccount, "User ID:"), std::nullopt);
    EXPECT_EQ(store.GetString(HKEY_LOCAL_MACHINE, kAccount + "\\Nested\\Deep", "x"), std::nullopt);
    EXPECT_EQ(store.GetString(HKEY_LOCAL_MACHINE, kProduct + "\\My", "User ID:"), QString("prefix sibling"));
    EXPECT_EQ(store.GetString(HKEY_LOCAL_MACHINE, kProduct + "\\My Account2", "User ID:"),
              QString("longer sibling"));
    EXPECT_EQ(store.GetString(HKEY_LOCAL_MACHINE, kProduct, "Account1"), QString("My Account"));

    RawDatabase raw(path);
    EXPECT_EQ(raw.scalar("SELECT count(*) FROM vals WHERE key_id NOT IN (SELECT id FROM keys)"),
              QString("0"));
    EXPECT_EQ(raw.scalar("SELECT count(*) FROM keys WHERE fold LIKE 'software\\velmora\\my account%'"),
              QString("1"));

    // A recreated key starts empty.
    store.CreateKey(HKEY_LOCAL_MACHINE, kAccount);
    EXPECT_TRUE(store.Values(HKEY_LOCAL_MACHINE, kAccount).empty());
}

TEST_F(RegeditTest, DeletingWhatDoesNotExistIsSilentAndTheRootStays)
{
    Regedit store(path);
    store.SaveString(HKEY_LOCAL_MACHINE, kProduct, "Min", "1");
    testing::internal::CaptureStderr();
    store.DeleteKey(HKEY_LOCAL_MACHINE, "Software\\Nowhere");
    store.DeleteValue(HKEY_LOCAL_MACHINE, "Software\\Nowhere", "Min");
    store.DeleteValue(HKEY_LOCAL_MACHINE, kProduct, "Max");
    store.DeleteKey(HKEY_LOCAL_MACHINE, "");
    store.DeleteKey(HKEY_LOCAL_MACHINE, "\\");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(store.GetString(HKEY_LOCAL_MACHINE, kProduct, "Min"), QString("1"));

    store.DeleteValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velmora\\", "MIN");
    EXPECT_EQ(store.GetString(HKEY_LOCAL_MACHINE, kProduct, "Min"), std::nullopt);
}

TEST_F(RegeditTest, RootsAreSeparateTrees)
{
    Regedit store(path);
    store.SaveString(HKEY_LOCAL_MACHINE, kProduct, "Min", "1");
    EXPECT_EQ(store.GetString(RegRoot::CurrentUser, kProduct, "Min"), std::nullopt);
    store.SaveString(RegRoot::CurrentUser, kProduct, "Min", "0");
    store.DeleteKey(RegRoot::CurrentUser, kProduct);
    EXPECT_EQ(store.GetString(HKEY_LOCAL_MACHINE, kProduct, "Min"), QString("1"));
}

TEST_F(RegeditTest, BulkReadsReturnFoldedNamesOfTheAskedScope)
{
    Regedit store(path);
    store.SaveString(HKEY_LOCAL_MACHINE, kProduct, "Account1", "One");
    store.SaveString(HKEY_LOCAL_MACHINE, kProduct + "\\One", "Host Name/Adress:", "h1");
    store.SaveString(HKEY_LOCAL_MACHINE, kProduct + "\\One", "Password:", "secret");
    store.SaveString(HKEY_LOCAL_MACHINE, kProduct + "\\Two", "Upload image every:", "Never");
    store.SaveString(HKEY_LOCAL_MACHINE, kProduct + "\\Two\\Deeper", "Host Name/Adress:", "not direct");
    store.SaveString(HKEY_LOCAL_MACHINE, "Software\\VelmoraOther", "Min", "1");

    const auto values = store.Values(HKEY_LOCAL_MACHINE, kProduct);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values.at("account1"), QString("One"));

    const auto sub =
        store.SubkeyValues(HKEY_LOCAL_MACHINE, kProduct, {"HOST NAME/ADRESS:", "Upload image every:"});
    ASSERT_EQ(sub.size(), 2u);
    EXPECT_EQ(sub.at("one").size(), 1u);
    EXPECT_EQ(sub.at("one").at("host name/adress:"), QString("h1"));
    EXPECT_EQ(sub.at("two").at("upload image every:"), QString("Never"));
    EXPECT_TRUE(store.SubkeyValues(HKEY_LOCAL_MACHINE, "Software\\Nowhere", {"Min"}).empty());

    const auto listed = store.List(HKEY_LOCAL_MACHINE, kProduct);
    ASSERT_EQ(listed.size(), 5u);
    EXPECT_EQ(listed[0].key, kProduct);
    EXPECT_EQ(listed[1].key, kProduct + "\\One");
    EXPECT_EQ(listed[1].name, QString("Host Name/Adress:"));
    EXPECT_EQ(listed[4].key, kProduct + "\\Two\\Deeper");
    EXPECT_EQ(store.List(HKEY_LOCAL_MACHINE, QString()).size(), 6u);
}

TEST_F(RegeditTest, EveryWriteIsCommittedWhenTheCallReturns)
{
    Regedit writer(path);
    Regedit reader(path);
    writer.SaveString(HKEY_LOCAL_MACHINE, kAccount, "Password:", "one");
    EXPECT_EQ(reader.GetString(HKEY_LOCAL_MACHINE, kAccount, "Password:"), QString("one"));
    writer.DeleteValue(HKEY_LOCAL_MACHINE, kAccount, "Password:");
    EXPECT_EQ(reader.GetString(HKEY_LOCAL_MACHINE, kAccount, "Password:"), std::nullopt);

    RawDatabase raw(path);
    EXPECT_EQ(raw.scalar("PRAGMA journal_mode"), QString("wal"));
}

TEST_F(RegeditTest, TwoWritersAtOnceLoseNothing)
{
    // Two connections, as two processes would have, created together on a new file.
    constexpr int kWrites = 150;
    auto writeMany = [this](const QString& key) {
        Regedit store(path);
        for (int i = 0; i < kWrites; ++i)
            store.SaveString(HKEY_LOCAL_MACHINE, key, QStringLiteral("V%1").arg(i), QString::number(i));
    };
    std::thread first(writeMany, kProduct + "\\First");
    std::thread second(writeMany, kProduct + "\\Second");
    first.join();
    second.join();

    Regedit store(path);
    EXPECT_EQ(store.Values(HKEY_LOCAL_MACHINE, kProduct + "\\First").size(),
              static_cast<std::size_t>(kWrites));
    EXPECT_EQ(store.Values(HKEY_LOCAL_MACHINE, kProduct + "\\Second").size(),
              static_cast<std::size_t>(kWrites));
}

TEST_F(RegeditTest, StoreAndItsJournalArePrivateToTheUser)
{
    Regedit store(dir.file("sub/folder/store.db"));
    store.SaveString(HKEY_LOCAL_MACHINE, kAccount, "Password:", "secret");
    EXPECT_EQ(fileMode(dir.file("sub/folder/store.db")), 0600);
    ASSERT_TRUE(QFileInfo::exists(dir.file("sub/folder/store.db-wal")));
    EXPECT_EQ(fileMode(dir.file("sub/folder/store.db-wal")), 0600);
    EXPECT_EQ(fileMode(dir.file("sub/folder/store.db-shm")), 0600);
    EXPECT_TRUE(store.isWritable());
}

TEST_F(RegeditTest, ValuesPersistAcrossOpenings)
{
    {
        Regedit store(path);
        store.SaveString(HKEY_LOCAL_MACHINE, kAccount, "User ID:", "me");
    }
    Regedit store(path);
    EXPECT_TRUE(store.isWritable());
    EXPECT_EQ(store.GetString(HKEY_LOCAL_MACHINE, kAccount, "User ID:"), QString("me"));
}

TEST_F(RegeditTest, FileThatIsNoStoreIsNeverTouched)
{
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("These are my notes, not a database.\n");
    }
    const QByteArray before = fileHash(path);

    testing::internal::CaptureStderr();
    {
        Regedit store(path);
        EXPECT_FALSE(store.isWritable());
        store.SaveString(HKEY_LOCAL_MACHINE, kProduct, "Min", "1");
        store.CreateKey(HKEY_LOCAL_MACHINE, kAccount);
        store.DeleteKey(HKEY_LOCAL_MACHINE, kProduct);
        EXPECT_EQ(store.GetString(HKEY_LOCAL_MACHINE, kProduct, "Min"), std::nullopt);
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(path.toStdString()), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;

    EXPECT_EQ(fileHash(path), before);
    EXPECT_FALSE(QFileInfo::exists(path + "-wal"));
}

TEST_F(RegeditTest, DatabaseOfAnotherProgramIsNeverTouched)
{
    {
        RawDatabase other(path);
        ASSERT_TRUE(other.exec("CREATE TABLE notes(text TEXT); INSERT INTO notes VALUES('keep me')"));
    }
    const QByteArray before = fileHash(path);
    testing::internal::CaptureStderr();
    {
        Regedit store(path);
        store.SaveString(HKEY_LOCAL_MACHINE, kProduct, "Min", "1");
        EXPECT_EQ(store.GetString(HKEY_LOCAL_MACHINE, kProduct, "Min"), std::nullopt);
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(path.toStdString()), std::string::npos) << err;
    EXPECT_EQ(fileHash(path), before);
    RawDatabase other(path);
    EXPECT_EQ(other.scalar("SELECT text FROM notes"), QString("keep me"));
    EXPECT_EQ(other.scalar("PRAGMA journal_mode"), QString("delete"));
}

TEST_F(RegeditTest, StoreThatCannotBeOpenedRunsOnDefaults)
{
    // A folder stands where the file should be.
    ASSERT_TRUE(QDir().mkpath(path));
    testing::internal::CaptureStderr();
    {
        Regedit store(path);
        EXPECT_FALSE(store.isReadable());
        store.SaveString(HKEY_LOCAL_MACHINE, kProduct, "Min", "1");
        EXPECT_EQ(store.GetString(HKEY_LOCAL_MACHINE, kProduct, "Min"), std::nullopt);
        EXPECT_TRUE(store.List(HKEY_LOCAL_MACHINE, QString()).empty());
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(path.toStdString()), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_TRUE(QFileInfo(path).isDir());
}

TEST_F(RegeditTest, WriteProtectedStoreIsReadButNotWritten)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "file modes do not bind the superuser";
    {
        Regedit store(path);
        store.SaveString(HKEY_LOCAL_MACHINE, kProduct, "Min", "1");
    }
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner));
    const QByteArray before = fileHash(path);
    testing::internal::CaptureStderr();
    {
        Regedit store(path);
        EXPECT_FALSE(store.isWritable());
        EXPECT_EQ(store.GetString(HKEY_LOCAL_MACHINE, kProduct, "Min"), QString("1"));
        store.SaveString(HKEY_LOCAL_MACHINE, kProduct, "Min", "0");
    }
    EXPECT_NE(testing::internal::GetCapturedStderr().find(path.toStdString()), std::string::npos);
    EXPECT_EQ(fileHash(path), before);
}
