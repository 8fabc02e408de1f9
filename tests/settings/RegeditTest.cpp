#include "settings/Regedit.h"
#include "FullDisk.h"
#include "QtPrinters.h"
#include "RawDatabase.h"
#include "TempDir.h"
#include "VelmoraProcess.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

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

// The same, for work during which no file may grow.
std::string stderrThroughPipe(const std::function<void()>& work)
{
    int ends[2] = {-1, -1};
    if (::pipe(ends) != 0)
        return "<no pipe>";
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(ends[1], STDERR_FILENO);
    ::close(ends[1]);
    work();
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    // A few lines at most: far less than the pipe holds, so the work never waited for a reader.
    std::string text;
    char buffer[4096];
    for (ssize_t got; (got = ::read(ends[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(got));
    ::close(ends[0]);
    return text;
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

TEST_F(RegeditTest, KeysAreMadeOnWriteAndDeleteKeyRemovesOnlyTheKeysOwnValues)
{
    Regedit store(path);
    store.SaveString(kRoot, "A\\B\\C", "v", "1");
    EXPECT_TRUE(store.CreateKey(kRoot, "A\\B\\New\\Deeper"));
    store.CreateKey(kRoot, "a\\b\\c"); // exists already: kept with its value
    EXPECT_EQ(store.GetString(kRoot, "A\\B\\C", "v"), QString("1"));
    RawDatabase raw(path);
    EXPECT_EQ(raw.scalar("SELECT group_concat(fold, ',') FROM (SELECT fold FROM keys WHERE fold LIKE 'a%' "
                         "ORDER BY fold)"),
              QString("a,a\\b,a\\b\\c,a\\b\\new,a\\b\\new\\deeper"));

    // An account, one below it (a name with a backslash in an old list), siblings, the other root.
    store.SaveString(kRoot, kAccount, "User ID:", "me");
    store.SaveString(kRoot, kAccount + "\\Back", "Password:", "below");
    store.SaveString(kRoot, kProduct + "\\My", "User ID:", "prefix sibling");
    store.SaveString(kRoot, kProduct + "\\My Account2", "User ID:", "longer sibling");
    store.SaveString(kRoot, kProduct, "Account1", "My Account");
    store.SaveString(RegRoot::CurrentUser, kAccount, "User ID:", "other root");
    EXPECT_TRUE(store.DeleteKey(kRoot, "software\\VELMORA\\my account\\"));
    EXPECT_TRUE(store.Values(kRoot, kAccount).empty());
    // What lies below, beside and above stays; the key stays too while a key lies below it.
    EXPECT_EQ(store.GetString(kRoot, kAccount + "\\Back", "Password:"), QString("below"));
    EXPECT_EQ(store.GetString(kRoot, kProduct + "\\My", "User ID:"), QString("prefix sibling"));
    EXPECT_EQ(store.GetString(kRoot, kProduct + "\\My Account2", "User ID:"), QString("longer sibling"));
    EXPECT_EQ(store.GetString(kRoot, kProduct, "Account1"), QString("My Account"));
    EXPECT_EQ(store.GetString(RegRoot::CurrentUser, kAccount, "User ID:"), QString("other root"));
    EXPECT_EQ(raw.scalar("SELECT count(*) FROM keys WHERE root=0 AND fold='software\\velmora\\my account'"),
              "1");
    // A key with nothing below goes with its values.
    EXPECT_TRUE(store.DeleteKey(kRoot, kAccount + "\\BACK"));
    EXPECT_TRUE(store.DeleteKey(kRoot, kAccount));
    EXPECT_EQ(
        raw.scalar("SELECT count(*) FROM keys WHERE root=0 AND fold IN ('software\\velmora\\my account',"
                   " 'software\\velmora\\my account\\back')"),
        "0");
    EXPECT_EQ(raw.scalar("SELECT count(*) FROM vals WHERE key_id NOT IN (SELECT id FROM keys)"), "0");
    // A recreated key starts empty.
    store.CreateKey(kRoot, kAccount);
    EXPECT_TRUE(store.Values(kRoot, kAccount).empty());

    // Deleting what does not exist is silent; the root stays.
    EXPECT_EQ(stderrOf([&] {
                  EXPECT_TRUE(store.DeleteKey(kRoot, "Software\\Nowhere"));
                  EXPECT_TRUE(store.DeleteValue(kRoot, "Software\\Nowhere", "Min"));
                  EXPECT_TRUE(store.DeleteValue(kRoot, kProduct, "Max"));
                  for (const char* root : {"", "\\"}) {
                      const Result<void> deleted = store.DeleteKey(kRoot, root);
                      ASSERT_FALSE(deleted) << root;
                      EXPECT_EQ(deleted.failure().kind, Failure::Kind::Invalid);
                      EXPECT_EQ(deleted.failure().sentence, "the root key cannot be deleted");
                  }
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
    // Two connections, as two processes would have, created together on a new file in new folders,
    // under a umask that would let everybody read.
    const QString nested = dir.file("sub/folder/store.db");
    constexpr int kWrites = 150;
    auto writeMany = [&nested](const QString& key) {
        Regedit store(nested);
        for (int i = 0; i < kWrites; ++i)
            store.SaveString(kRoot, key, QStringLiteral("V%1").arg(i), QString::number(i));
    };
    const mode_t umaskBefore = ::umask(0);
    std::thread first(writeMany, kProduct + "\\First");
    std::thread second(writeMany, kProduct + "\\Second");
    first.join();
    second.join();

    Regedit writer(nested);
    Regedit reader(nested);
    ::umask(umaskBefore);
    EXPECT_EQ(reader.Values(kRoot, kProduct + "\\First").size(), std::size_t{kWrites});
    EXPECT_EQ(reader.Values(kRoot, kProduct + "\\Second").size(), std::size_t{kWrites});
    EXPECT_TRUE(writer.SaveString(kRoot, kAccount, "Password:", "one"));
    EXPECT_EQ(reader.GetString(kRoot, kAccount, "Password:"), QString("one"));
    writer.DeleteValue(kRoot, kAccount, "Password:");
    EXPECT_EQ(reader.GetString(kRoot, kAccount, "Password:"), std::nullopt);
    EXPECT_TRUE(writer.isWritable());
    EXPECT_EQ(writer.writeProblem(), "");
    EXPECT_EQ(RawDatabase(nested).scalar("PRAGMA journal_mode"), QString("wal"));
    ASSERT_TRUE(QFileInfo::exists(nested + "-wal"));
    for (const char* suffix : {"", "-wal", "-shm"})
        EXPECT_EQ(fileMode(nested + suffix), 0600) << suffix;
    EXPECT_EQ(fileMode(dir.file("sub")), 0700);
    EXPECT_EQ(fileMode(dir.file("sub/folder")), 0700);

    // A store an earlier version left readable for others becomes private once opened for writing.
    Regedit(path).SaveString(kRoot, kProduct, "Min", "1");
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0644), 0);
    Regedit shared(path);
    shared.SaveString(kRoot, kAccount, "Password:", "secret");
    for (const char* suffix : {"", "-wal", "-shm"})
        EXPECT_EQ(fileMode(path + suffix), 0600) << suffix;
}

// A write the disk does not take fails with SQLite's and the system's reason, says so once on
// standard error, and leaves the earlier value; the next write that arrives clears the problem.
TEST_F(RegeditTest, AWriteThatDoesNotArriveFailsWithItsReasonAndLeavesTheEarlierValue)
{
    Regedit store(path);
    ASSERT_TRUE(store.SaveString(kRoot, kProduct, "Min", "1"));
    ASSERT_TRUE(store.writable());
    std::vector<Result<void>> writes;
    // Through a pipe: a file that captured it could not grow either.
    const std::string err = stderrThroughPipe([&] {
        const FullDisk full;
        writes.push_back(store.SaveString(kRoot, kProduct, "Min", "0"));
        writes.push_back(store.CreateKey(kRoot, kAccount));
        writes.push_back(store.SaveString(kRoot, kAccount, "User ID:", "me"));
    });
    ASSERT_EQ(writes.size(), 3u);
    const QString first = writes.front() ? QString() : writes.front().failure().sentence;
    EXPECT_TRUE(first.startsWith("the last change could not be saved (disk I/O error"))
        << first.toStdString();
    for (const Result<void>& write : writes) {
        ASSERT_FALSE(write);
        // SQLite does not always pass the system's reason on: then it is a failure to write.
        EXPECT_TRUE(write.failure().kind == Failure::Kind::Io ||
                    write.failure().kind == Failure::Kind::TooLarge);
        EXPECT_EQ(write.failure().sentence, first);
    }
    EXPECT_EQ(store.writeProblem(), first);
    const QString because = first.mid(first.indexOf('(') + 1).chopped(1);
    EXPECT_EQ(err, QStringLiteral("velmora: settings store %1: SaveString failed (%2); the change is lost\n")
                       .arg(path, because)
                       .toStdString());
    EXPECT_EQ(store.GetString(kRoot, kProduct, "Min"), QString("1"));
    EXPECT_EQ(store.GetString(kRoot, kAccount, "User ID:"), std::nullopt);
    EXPECT_TRUE(store.writable());

    EXPECT_TRUE(store.SaveString(kRoot, kProduct, "Min", "0"));
    EXPECT_EQ(store.writeProblem(), "");
    EXPECT_EQ(store.GetString(kRoot, kProduct, "Min"), QString("0"));
}

TEST_F(RegeditTest, FileThatIsNoStoreIsReportedOnceNeverTouchedAndReadsAsEmpty)
{
    // A text file, another program's database, one with tables named like ours but other
    // columns, ours with a version that is no number, a folder and a FIFO where the file should be.
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("These are my notes, not a database.\n");
    }
    const QString other = dir.file("other.db");
    ASSERT_TRUE(
        RawDatabase(other).exec("CREATE TABLE notes(text TEXT); INSERT INTO notes VALUES('keep me')"));
    const QString lookalike = dir.file("lookalike.db");
    ASSERT_TRUE(RawDatabase(lookalike).exec(
        "CREATE TABLE store_meta(name TEXT, value TEXT); CREATE TABLE keys(id INTEGER PRIMARY KEY, path "
        "TEXT);"
        " CREATE TABLE vals(k INTEGER, v TEXT); INSERT INTO store_meta VALUES('schema_version', '1');"
        " INSERT INTO vals VALUES(1, 'keep me')"));
    const QString unversioned = dir.file("unversioned.db");
    Regedit(unversioned).SaveString(kRoot, kProduct, "Min", "1");
    ASSERT_TRUE(RawDatabase(unversioned).exec("UPDATE store_meta SET value='one'"));
    const QString folder = dir.file("folder.db");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString fifo = dir.file("fifo.db");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    std::map<QString, QByteArray> before;
    for (const QString& file : {path, other, lookalike, unversioned})
        before[file] = fileBytes(file);

    for (const QString& file : {path, other, lookalike, unversioned, folder, fifo}) {
        const std::string err = stderrOf([&] {
            Regedit store(file);
            EXPECT_FALSE(store.isWritable());
            EXPECT_FALSE(store.isReadable());
            EXPECT_FALSE(store.writeProblem().isEmpty());
            for (const Result<void>& write :
                 {store.SaveString(kRoot, kProduct, "Min", "1"), store.CreateKey(kRoot, kAccount),
                  store.DeleteKey(kRoot, kProduct), store.DeleteValue(kRoot, kProduct, "Min"),
                  store.writable()}) {
                ASSERT_FALSE(write);
                EXPECT_EQ(write.failure().kind, Failure::Kind::NoAccess);
                EXPECT_EQ(write.failure().sentence, store.writeProblem());
            }
            EXPECT_EQ(store.GetString(kRoot, kProduct, "Min"), std::nullopt);
            EXPECT_TRUE(store.List(kRoot, QString()).empty());
        });
        EXPECT_NE(err.find(file.toStdString()), std::string::npos) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
    EXPECT_TRUE(QFileInfo(folder).isDir());
    struct stat info
    {
    };
    EXPECT_TRUE(::stat(QFile::encodeName(fifo).constData(), &info) == 0 && S_ISFIFO(info.st_mode));
    for (const auto& [file, bytes] : before) {
        EXPECT_EQ(fileBytes(file), bytes) << file.toStdString();
        EXPECT_FALSE(QFileInfo::exists(file + "-wal")) << file.toStdString();
    }
    EXPECT_EQ(RawDatabase(other).scalar("SELECT text FROM notes"), QString("keep me"));
    EXPECT_EQ(RawDatabase(lookalike).scalar("PRAGMA journal_mode"), QString("delete"));
}

TEST_F(RegeditTest, StoreOfANewerVersionIsReadButNotWritten)
{
    Regedit(path).SaveString(kRoot, kProduct, "Min", "1");
    ASSERT_TRUE(RawDatabase(path).exec("UPDATE store_meta SET value='99' WHERE name='schema_version'"));
    const QByteArray before = fileBytes(path);
    const std::string err = stderrOf([&] {
        Regedit store(path);
        EXPECT_TRUE(store.isReadable());
        EXPECT_FALSE(store.isWritable());
        EXPECT_EQ(store.GetString(kRoot, kProduct, "Min"), QString("1"));
        const QString why = "the settings store was written by a newer version of Velmora";
        for (const Result<void>& write :
             {store.SaveString(kRoot, kProduct, "Min", "0"), store.DeleteValue(kRoot, kProduct, "Min")}) {
            ASSERT_FALSE(write);
            EXPECT_EQ(write.failure().kind, Failure::Kind::NoAccess);
            EXPECT_EQ(write.failure().sentence, why);
        }
        EXPECT_EQ(store.writeProblem(), why);
    });
    EXPECT_NE(err.find(path.toStdString() + ": was written by a newer version of Velmora (store version 99, "
                                            "this version knows 1); its settings are read"),
              std::string::npos)
        << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(fileBytes(path), before);
}

namespace {
// A store made by this process and handed with its folder to an ordinary user.
struct UserStore
{
    OrdinaryUser user;
    RunWith asUser{{}, {}, &user};

    UserStore(const QString& folder, const QString& file)
    {
        Regedit(file).SaveString(kRoot, kProduct, "Min", "1");
        EXPECT_TRUE(user.give(folder) && user.give(file));
    }
    ProgramRun reg(const QString& file, const QStringList& arguments) const
    {
        return runVelmora(QStringList{"--store", file, "reg"} + arguments, asUser);
    }
};

// What "reg get", "set" and "delete" do with a store that can be read but not written: the value
// is read, nothing is written, and each run says why in one line naming the file.
void expectReadButNotWritten(const std::function<ProgramRun(const QStringList&)>& reg, const QString& file,
                             const QString& cause)
{
    const QByteArray before = fileBytes(file);
    const ProgramRun get = reg({"get", kProduct, "Min"});
    EXPECT_EQ(get.status, 0) << get.err.toStdString();
    EXPECT_EQ(get.out, "1\n");
    EXPECT_EQ(get.err, QStringLiteral("velmora: settings store %1: cannot be written (%2); its settings are "
                                      "read, changes will not be saved\n")
                           .arg(file, cause));
    for (const QStringList& write : {QStringList{"set", kProduct, "Min", "0"}, {"delete", kProduct, "Min"}}) {
        const ProgramRun run = reg(write);
        EXPECT_EQ(run.status, 1) << write.join(' ').toStdString();
        EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
    }
    EXPECT_EQ(fileBytes(file), before);
}
} // namespace

TEST_F(RegeditTest, WriteProtectedStoreIsReadButNotWritten)
{
    // File modes bind only ordinary users, so "velmora reg" runs as one.
    const UserStore store(dir.path(), path);
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner));
    expectReadButNotWritten([&](const QStringList& a) { return store.reg(path, a); }, path,
                            QString::fromLocal8Bit(std::strerror(EACCES)));

    // The read-only sessions leave no journal file that its owner cannot write, so once the store
    // may be written again, the next write arrives.
    for (const char* suffix : {"-wal", "-shm"}) {
        const QFileInfo journal(path + suffix);
        if (journal.exists()) {
            EXPECT_TRUE(journal.permissions() & QFileDevice::WriteOwner) << suffix;
        }
    }
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    const ProgramRun set = store.reg(path, {"set", kProduct, "Min", "0"});
    EXPECT_EQ(set.status, 0) << set.err.toStdString();
    EXPECT_EQ(store.reg(path, {"get", kProduct, "Min"}).out, "0\n");
}

// Journal files that an earlier session left write-protected are made writable for their owner
// before the store is opened.
TEST_F(RegeditTest, WriteProtectedJournalFilesLeftBehindAreRepaired)
{
    const UserStore store(dir.path(), path);
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner));
    EXPECT_EQ(store.reg(path, {"get", kProduct, "Min"}).status, 0);
    // As an earlier version left them, and as a session that was killed leaves them.
    ASSERT_TRUE(QFileInfo::exists(path + "-shm")) << "SQLite leaves its journal files after reading";
    for (const char* suffix : {"-wal", "-shm"}) {
        if (QFileInfo::exists(path + suffix)) {
            ASSERT_TRUE(QFile::setPermissions(path + suffix, QFileDevice::ReadOwner));
        }
    }
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    const ProgramRun set = store.reg(path, {"set", kProduct, "Min", "0"});
    EXPECT_EQ(set.status, 0) << set.err.toStdString();
    EXPECT_EQ(store.reg(path, {"get", kProduct, "Min"}).out, "0\n");
}

TEST_F(RegeditTest, StoreInAFolderTheUserCannotWriteIsRead)
{
    const UserStore store(dir.path(), path);
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    expectReadButNotWritten([&](const QStringList& a) { return store.reg(path, a); }, path,
                            QStringLiteral("its folder %1 cannot be written: %2")
                                .arg(dir.path(), QString::fromLocal8Bit(std::strerror(EACCES))));
    QFile::setPermissions(dir.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

TEST_F(RegeditTest, StoreOnAFullDiskIsRead)
{
    // A file size limit of 0 fails every write that would grow a file, as a full disk does.
    Regedit(path).SaveString(kRoot, kProduct, "Min", "1");
    RunWith full;
    full.childSetup = [] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit none{0, 0};
        ::setrlimit(RLIMIT_FSIZE, &none);
    };
    expectReadButNotWritten(
        [&](const QStringList& a) {
            return runVelmora(QStringList{"--store", path, "reg"} + a, full);
        },
        path, QString::fromLocal8Bit(std::strerror(EFBIG)));
}

TEST_F(RegeditTest, StoreSurvivesAFileDialogListingItsFolderWhileAnotherProcessWrites)
{
    Regedit store(path);
    ASSERT_TRUE(store.SaveString(kRoot, kProduct, "Mine", "before"));

    // A real file dialog lists the store's folder; to tell each file's type it opens and closes the
    // store and its journal files in this process.
    QFileDialog dialog(nullptr, QStringLiteral("Choose Picture..."), dir.path());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    auto* model = dialog.findChild<QFileSystemModel*>();
    ASSERT_NE(model, nullptr);
    QSignalSpy loaded(model, &QFileSystemModel::directoryLoaded);
    dialog.show();
    ASSERT_TRUE(loaded.wait(10000));
    EXPECT_FALSE(model->type(model->index(path)).isEmpty());

    // Meanwhile another process writes, and ends.
    const QString theirs(60000, QLatin1Char('t'));
    const ProgramRun other = runVelmora({"--store", path, "reg", "set", kProduct, "Theirs", theirs});
    ASSERT_EQ(other.status, 0) << other.err.toStdString();

    // Its value is here, the journal files this process uses are still in place, and what this
    // process writes now reaches the next process.
    EXPECT_EQ(store.GetString(kRoot, kProduct, "Theirs"), theirs);
    EXPECT_TRUE(QFileInfo::exists(path + "-wal"));
    EXPECT_TRUE(QFileInfo::exists(path + "-shm"));
    const QString mine(60000, QLatin1Char('m'));
    ASSERT_TRUE(store.SaveString(kRoot, kProduct, "Mine", mine));
    const ProgramRun next = runVelmora({"--store", path, "reg", "get", kProduct, "Mine"});
    EXPECT_EQ(next.out, mine + "\n") << next.err.toStdString();
    dialog.close();
    EXPECT_EQ(RawDatabase(path).scalar("PRAGMA integrity_check"), "ok");
}
