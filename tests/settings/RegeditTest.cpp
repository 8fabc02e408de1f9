#include "settings/Regedit.h"
#include "RawDatabase.h"
#include "TempDir.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {
const QString kProduct = QStringLiteral("Software\\Velmora");
const QString kAccount = QStringLiteral("Software\\Velmora\\My Account");
constexpr RegRoot kRoot = HKEY_LOCAL_MACHINE;

int fileMode(const QString& path)
{
    struct stat info
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? static_cast<int>(info.st_mode & 07777)
                                                                   : -1;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Runs work and returns what it wrote to standard error.
std::string stderrOf(const std::function<void()>& work)
{
    testing::internal::CaptureStderr();
    work();
    return testing::internal::GetCapturedStderr();
}

class RegeditTest : public ::testing::Test
{
protected:
    TempDir dir;
    QString path = dir.file(QStringLiteral("store.db"));
};
} // namespace

TEST_F(RegeditTest, NamesInAnyCaseTrailingSeparatorEmptyVersusAbsentAndTextsUpToANul)
{
    Regedit store(path);
    store.SaveString(kRoot, kProduct, "Min", "1");
    EXPECT_EQ(store.GetString(kRoot, "software\\velmora", "MIN"), QString("1"));
    EXPECT_EQ(store.GetString(kRoot, "SOFTWARE\\VELMORA\\", "min"), QString("1"));
    store.SaveString(kRoot, kProduct + "\\", "Account2", "Second");
    EXPECT_EQ(store.GetString(kRoot, kProduct, "Account2"), QString("Second"));

    // Replacing under another spelling keeps one value.
    store.SaveString(kRoot, "SOFTWARE\\velmora", "mIN", "0");
    EXPECT_EQ(store.GetString(kRoot, kProduct, "Min"), QString("0"));
    EXPECT_EQ(store.Values(kRoot, kProduct).size(), 2u);

    // Absent keys and values read as absent; an empty text is not absent.
    EXPECT_EQ(store.GetString(kRoot, "Software\\Nowhere", "Min"), std::nullopt);
    EXPECT_EQ(store.GetString(kRoot, kProduct, "Max"), std::nullopt);
    store.SaveString(kRoot, kProduct, "Empty", "");
    EXPECT_EQ(store.GetString(kRoot, kProduct, "Empty"), QString(""));

    // Texts survive character for character up to a NUL.
    const QString texts[] = {QStringLiteral("päss wörd €"), QStringLiteral("  padded  "),
                             QStringLiteral("line\r\nbreak\ttab"), QStringLiteral("back\\slash"),
                             QString(5000, QLatin1Char('x'))};
    for (const QString& text : texts) {
        store.SaveString(kRoot, kAccount, "V", text);
        EXPECT_EQ(store.GetString(kRoot, kAccount, "V"), text);
    }
    // Account names (key path components) survive as well.
    store.SaveString(kRoot, kProduct + "\\Kamera Süd", "User ID:", "ü");
    EXPECT_EQ(store.GetString(kRoot, kProduct + "\\kamera süd", "user id:"), QString("ü"));
    EXPECT_EQ(store.List(kRoot, kProduct + "\\kamera SÜD").at(0).key, kProduct + "\\Kamera Süd");

    store.SaveString(kRoot, kProduct, "Nul", QStringLiteral("abc") + QChar(0) + QStringLiteral("def"));
    EXPECT_EQ(store.GetString(kRoot, kProduct, "Nul"), QString("abc"));
    EXPECT_EQ(store.Values(kRoot, kProduct).at("nul"), QString("abc"));
    // Data written by another writer with a terminating NUL read back without it.
    RawDatabase raw(path);
    ASSERT_TRUE(raw.putRaw("software\\velmora", "terminated", Regedit::kStringType, QByteArray("text\0", 5)));
    EXPECT_EQ(store.GetString(kRoot, kProduct, "Terminated"), QString("text"));
}

TEST_F(RegeditTest, ValuesOfAnotherTypeReadAsAbsentEverywhere)
{
    Regedit store(path);
    store.SaveString(kRoot, kAccount, "Host Name/Adress:", "ftp.example.org");
    {
        RawDatabase raw(path);
        constexpr int kDword = 4;
        ASSERT_TRUE(
            raw.putRaw("software\\velmora\\my account", "font size", kDword, QByteArray("\x0a\0\0\0", 4)));
        ASSERT_TRUE(raw.putRaw("software\\velmora\\my account", "custom", 3, QByteArray("60")));
    }
    EXPECT_EQ(store.GetString(kRoot, kAccount, "Font Size"), std::nullopt);
    EXPECT_EQ(store.GetString(kRoot, kAccount, "Custom"), std::nullopt);
    EXPECT_EQ(store.Values(kRoot, kAccount).size(), 1u);
    EXPECT_EQ(store.SubkeyValues(kRoot, kProduct, {"Custom", "Host Name/Adress:"}).at("my account").size(),
              1u);
    EXPECT_EQ(store.List(kRoot, kAccount).size(), 1u);

    // Writing a string replaces the value of the other type.
    store.SaveString(kRoot, kAccount, "Font Size", "12");
    EXPECT_EQ(store.GetString(kRoot, kAccount, "font size"), QString("12"));
}

TEST_F(RegeditTest, KeysAreMadeOnWriteAndDeleteKeyRemovesTheWholeBranchAndNothingBeside)
{
    Regedit store(path);
    store.SaveString(kRoot, "A\\B\\C", "v", "1");
    store.CreateKey(kRoot, "A\\B\\New\\Deeper");
    store.CreateKey(kRoot, "a\\b\\c"); // exists already: kept with its value
    EXPECT_EQ(store.GetString(kRoot, "A\\B\\C", "v"), QString("1"));
    RawDatabase raw(path);
    EXPECT_EQ(raw.scalar("SELECT group_concat(fold, ',') FROM (SELECT fold FROM keys WHERE fold LIKE 'a%' "
                         "ORDER BY fold)"),
              QString("a,a\\b,a\\b\\c,a\\b\\new,a\\b\\new\\deeper"));

    store.SaveString(kRoot, kAccount, "User ID:", "me");
    store.SaveString(kRoot, kAccount + "\\Nested\\Deep", "x", "1");
    store.SaveString(kRoot, kProduct + "\\My", "User ID:", "prefix sibling");
    store.SaveString(kRoot, kProduct + "\\My Account2", "User ID:", "longer sibling");
    store.SaveString(kRoot, kProduct, "Account1", "My Account");
    store.SaveString(RegRoot::CurrentUser, kAccount, "User ID:", "other root");
    store.DeleteKey(kRoot, "software\\VELMORA\\my account\\");
    EXPECT_TRUE(store.List(kRoot, kAccount).empty());
    // Siblings whose names share a prefix, the parent and the other root stay.
    EXPECT_EQ(store.List(kRoot, kProduct).size(), 3u);
    EXPECT_EQ(store.GetString(kRoot, kProduct + "\\My", "User ID:"), QString("prefix sibling"));
    EXPECT_EQ(store.GetString(kRoot, kProduct + "\\My Account2", "User ID:"), QString("longer sibling"));
    EXPECT_EQ(store.GetString(RegRoot::CurrentUser, kAccount, "User ID:"), QString("other root"));
    EXPECT_EQ(store.GetString(RegRoot::CurrentUser, kProduct, "Account1"), std::nullopt);
    EXPECT_EQ(raw.scalar("SELECT count(*) FROM vals WHERE key_id NOT IN (SELECT id FROM keys)"),
              QString("0"));
    EXPECT_EQ(raw.scalar("SELECT count(*) FROM keys WHERE fold LIKE 'software\\velmora\\my account\\%'"),
              QString("0"));
    // A recreated key starts empty.
    store.CreateKey(kRoot, kAccount);
    EXPECT_TRUE(store.Values(kRoot, kAccount).empty());

    // Deleting what does not exist is silent, and the root stays.
    EXPECT_EQ(stderrOf([&] {
                  store.DeleteKey(kRoot, "Software\\Nowhere");
                  store.DeleteValue(kRoot, "Software\\Nowhere", "Min");
                  store.DeleteValue(kRoot, kProduct, "Max");
                  store.DeleteKey(kRoot, "");
                  store.DeleteKey(kRoot, "\\");
              }),
              "");
    EXPECT_EQ(store.GetString(kRoot, kProduct, "Account1"), QString("My Account"));
    store.DeleteValue(kRoot, "SOFTWARE\\Velmora\\", "ACCOUNT1");
    EXPECT_EQ(store.GetString(kRoot, kProduct, "Account1"), std::nullopt);
}

TEST_F(RegeditTest, BulkReadsReturnFoldedNamesOfTheAskedScope)
{
    Regedit store(path);
    store.SaveString(kRoot, kProduct, "Account1", "One");
    store.SaveString(kRoot, kProduct + "\\One", "Host Name/Adress:", "h1");
    store.SaveString(kRoot, kProduct + "\\One", "Password:", "secret");
    store.SaveString(kRoot, kProduct + "\\Two", "Upload image every:", "Never");
    store.SaveString(kRoot, kProduct + "\\Two\\Deeper", "Host Name/Adress:", "not direct");
    store.SaveString(kRoot, "Software\\VelmoraOther", "Min", "1");

    EXPECT_EQ(store.Values(kRoot, kProduct), (std::map<QString, QString>{{"account1", "One"}}));
    using Sub = std::map<QString, std::map<QString, QString>>;
    EXPECT_EQ(store.SubkeyValues(kRoot, kProduct, {"HOST NAME/ADRESS:", "Upload image every:"}),
              (Sub{{"one", {{"host name/adress:", "h1"}}}, {"two", {{"upload image every:", "Never"}}}}));
    EXPECT_TRUE(store.SubkeyValues(kRoot, "Software\\Nowhere", {"Min"}).empty());

    const auto listed = store.List(kRoot, kProduct);
    ASSERT_EQ(listed.size(), 5u);
    EXPECT_EQ(listed[0].key, kProduct);
    EXPECT_EQ(listed[1].key, kProduct + "\\One");
    EXPECT_EQ(listed[1].name, QString("Host Name/Adress:"));
    EXPECT_EQ(listed[4].key, kProduct + "\\Two\\Deeper");
    EXPECT_EQ(store.List(kRoot, QString()).size(), 6u);
}

TEST_F(RegeditTest, EveryWriteIsCommittedPrivateToTheUserAndSafeBesideASecondWriter)
{
    // Two connections, as two processes would have, created together on a new file in new folders.
    const QString nested = dir.file("sub/folder/store.db");
    constexpr int kWrites = 150;
    auto writeMany = [&nested](const QString& key) {
        Regedit store(nested);
        for (int i = 0; i < kWrites; ++i)
            store.SaveString(kRoot, key, QStringLiteral("V%1").arg(i), QString::number(i));
    };
    std::thread first(writeMany, kProduct + "\\First");
    std::thread second(writeMany, kProduct + "\\Second");
    first.join();
    second.join();

    Regedit writer(nested);
    Regedit reader(nested);
    EXPECT_EQ(reader.Values(kRoot, kProduct + "\\First").size(), std::size_t{kWrites});
    EXPECT_EQ(reader.Values(kRoot, kProduct + "\\Second").size(), std::size_t{kWrites});
    writer.SaveString(kRoot, kAccount, "Password:", "one");
    EXPECT_EQ(reader.GetString(kRoot, kAccount, "Password:"), QString("one"));
    writer.DeleteValue(kRoot, kAccount, "Password:");
    EXPECT_EQ(reader.GetString(kRoot, kAccount, "Password:"), std::nullopt);
    EXPECT_TRUE(writer.isWritable());
    EXPECT_EQ(RawDatabase(nested).scalar("PRAGMA journal_mode"), QString("wal"));
    ASSERT_TRUE(QFileInfo::exists(nested + "-wal"));
    for (const char* suffix : {"", "-wal", "-shm"})
        EXPECT_EQ(fileMode(nested + suffix), 0600) << suffix;
}

TEST_F(RegeditTest, FileThatIsNoStoreIsReportedOnceNeverTouchedAndReadsAsEmpty)
{
    // A text file, another program's database, and a folder where the file should be.
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("These are my notes, not a database.\n");
    }
    const QString other = dir.file("other.db");
    ASSERT_TRUE(
        RawDatabase(other).exec("CREATE TABLE notes(text TEXT); INSERT INTO notes VALUES('keep me')"));
    const QString folder = dir.file("folder.db");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QByteArray notes = fileBytes(path);
    const QByteArray database = fileBytes(other);

    for (const QString& file : {path, other, folder}) {
        const std::string err = stderrOf([&] {
            Regedit store(file);
            EXPECT_FALSE(store.isWritable());
            EXPECT_FALSE(store.isReadable());
            store.SaveString(kRoot, kProduct, "Min", "1");
            store.CreateKey(kRoot, kAccount);
            store.DeleteKey(kRoot, kProduct);
            EXPECT_EQ(store.GetString(kRoot, kProduct, "Min"), std::nullopt);
            EXPECT_TRUE(store.List(kRoot, QString()).empty());
        });
        EXPECT_NE(err.find(file.toStdString()), std::string::npos) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_EQ(fileBytes(path), notes);
    EXPECT_FALSE(QFileInfo::exists(path + "-wal"));
    EXPECT_EQ(fileBytes(other), database);
    RawDatabase raw(other);
    EXPECT_EQ(raw.scalar("SELECT text FROM notes"), QString("keep me"));
    EXPECT_EQ(raw.scalar("PRAGMA journal_mode"), QString("delete"));
}

TEST_F(RegeditTest, WriteProtectedStoreIsReadButNotWritten)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "file modes do not bind the superuser";
    Regedit(path).SaveString(kRoot, kProduct, "Min", "1");
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner));
    const QByteArray before = fileBytes(path);
    const std::string err = stderrOf([&] {
        Regedit store(path);
        EXPECT_FALSE(store.isWritable());
        EXPECT_EQ(store.GetString(kRoot, kProduct, "Min"), QString("1"));
        store.SaveString(kRoot, kProduct, "Min", "0");
    });
    EXPECT_NE(err.find(path.toStdString()), std::string::npos);
    EXPECT_EQ(fileBytes(path), before);
}
