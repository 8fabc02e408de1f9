#include "ui/UploadSettingsWindow.h"
#include "FtpServer.h"
#include "ScriptedDialogs.h"
#include "ScriptedPrompter.h"
#include "TempDir.h"
#include "common/DateTimeText.h"
#include "help/Help.h"
#include "help/HelpWindow.h"
#include "settings/AccountBook.h"
#include "settings/Regedit.h"
#include "ui/StampPreview.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFocusEvent>
#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {
const QString kProduct = QStringLiteral("Software\\Velmora");

QString key(const QString& account)
{
    return kProduct + QLatin1Char('\\') + account;
}

QStringList dump(Regedit& store)
{
    QStringList lines;
    for (const Regedit::Entry& e : store.List(HKEY_LOCAL_MACHINE, QString()))
        lines << e.key + '|' + e.name + '|' + e.text;
    return lines;
}

class UploadSettingsWindowTest : public ::testing::Test
{
protected:
    // Builds the window over the store as it stands; tests that need accounts put them first.
    UploadSettingsWindow& window()
    {
        if (!m_window)
            m_window = std::make_unique<UploadSettingsWindow>(book, help, dialogs);
        return *m_window;
    }
    template <typename T> T* child(const QString& name)
    {
        T* found = window().findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }
    std::optional<QString> get(const QString& account, const QString& name)
    {
        return store.GetString(HKEY_LOCAL_MACHINE, key(account), name);
    }
    void put(const QString& keyPath, const QString& name, const QString& text)
    {
        store.SaveString(HKEY_LOCAL_MACHINE, keyPath, name, text);
    }
    void makeAccounts(const QStringList& names)
    {
        int n = 1;
        for (const QString& name : names) {
            put(kProduct, QStringLiteral("Account%1").arg(n++), name);
            put(key(name), "Host Name/Adress:", "host-" + name);
        }
    }
    void clickRow(int row)
    {
        auto* ftps = child<QTreeWidget>("ftps");
        ftps->setCurrentItem(ftps->topLevelItem(row));
    }
    void leaveField(QWidget* field)
    {
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(field, &out);
    }
    QStringList rowTexts()
    {
        QStringList rows;
        auto* ftps = child<QTreeWidget>("ftps");
        for (int i = 0; i < ftps->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = ftps->topLevelItem(i);
            rows << QStringLiteral("%1|%2|%3|%4")
                        .arg(item->text(0), item->text(1), item->text(2),
                             item->checkState(0) == Qt::Checked ? "x" : "-");
        }
        return rows;
    }

    TempDir dir;
    Regedit store{dir.file("store.db")};
    ScriptedPrompter prompter;
    AccountBook book{store, prompter};
    Help help{dir.path()};
    ScriptedDialogs dialogs;
    std::unique_ptr<UploadSettingsWindow> m_window;
};

TEST_F(UploadSettingsWindowTest, FirstStartShowsTheDefaultAccountOnTheGeneralTab)
{
    UploadSettingsWindow& w = window();
    EXPECT_EQ(w.objectName(), "Form3");
    EXPECT_EQ(w.windowTitle(), "Upload Settings");
    EXPECT_FALSE(w.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(w.windowFlags() & Qt::CustomizeWindowHint);
    EXPECT_FALSE(w.isVisible());

    auto* tabs = child<QTabWidget>("TabStripFTP");
    ASSERT_EQ(tabs->count(), 4);
    const QStringList frames{"Frame1", "Frame3", "Frame2", "frametimestamp"};
    const QStringList captions{"&General", "&Destination", "&Interval", "&Timestamp"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(tabs->widget(i)->objectName(), frames[i]);
        EXPECT_EQ(tabs->tabText(i), captions[i]);
    }
    EXPECT_EQ(tabs->currentIndex(), 0);

    auto* ftps = child<QTreeWidget>("ftps");
    EXPECT_EQ(ftps->headerItem()->text(0), "FTP Account");
    EXPECT_EQ(ftps->headerItem()->text(1), "Host Name");
    EXPECT_EQ(ftps->headerItem()->text(2), "Every");
    EXPECT_EQ(rowTexts(), QStringList{"My Account|||x"});
    EXPECT_EQ(ftps->currentItem(), ftps->topLevelItem(0));

    EXPECT_EQ(child<QLineEdit>("Text8")->text(), "webcam");
    EXPECT_EQ(child<QLineEdit>("Text9")->text(), ".jpg");
    EXPECT_FALSE(child<QCheckBox>("chkOnlylo")->isEnabled());
    EXPECT_EQ(child<QCheckBox>("chkOnlylo")->toolTip(), "No FTP-Settings required if checked");
    EXPECT_EQ(child<QCheckBox>("chkOnlylo")->text(), "&Only locally");
    EXPECT_EQ(child<QComboBox>("Combo")->count(), 23);
    EXPECT_EQ(child<QComboBox>("Combo")->itemData(1).toInt(), -3);
    EXPECT_EQ(child<QPushButton>("Command1")->text(), "&OK");
    EXPECT_EQ(child<QPushButton>("cmdRename")->text(), "Re&name");
    EXPECT_TRUE(child<QDateEdit>("DTPicker1")->calendarPopup());

    auto* preview = child<StampPreview>("picUnder");
    EXPECT_EQ(preview->backColor(), QColor(Qt::black));
    EXPECT_EQ(preview->foreColor(), QColor(Qt::white));
    EXPECT_EQ(preview->stampFont().family(), QFont("Tahoma").family());
    EXPECT_TRUE(preview->stampFont().bold());
    EXPECT_FALSE(preview->text().isEmpty());

    // Loading wrote only the default account, nothing of its fields.
    EXPECT_EQ(get("My Account", "Destination filename:"), std::nullopt);
}

TEST_F(UploadSettingsWindowTest, IntervalItemsFillTheSecondsFieldAndAreStored)
{
    auto* combo = child<QComboBox>("Combo");
    auto* seconds = child<QLineEdit>("txtmSec");

    combo->setCurrentIndex(combo->findText("10 seconds"));
    EXPECT_EQ(seconds->text(), "10");
    EXPECT_EQ(get("My Account", "Upload image every:"), "10 seconds");
    EXPECT_EQ(get("My Account", "Custom"), "10");

    combo->setCurrentIndex(combo->findText("Never"));
    EXPECT_EQ(seconds->text(), "");
    EXPECT_EQ(combo->currentText(), "Never");
    EXPECT_EQ(get("My Account", "Upload image every:"), "Never");
    EXPECT_EQ(get("My Account", "Custom"), "");
}

TEST_F(UploadSettingsWindowTest, SecondsFieldRules)
{
    auto* combo = child<QComboBox>("Combo");
    auto* seconds = child<QLineEdit>("txtmSec");

    combo->setCurrentIndex(combo->findText("5 minutes"));
    seconds->setText("45");
    EXPECT_EQ(combo->currentText(), "Custom");
    EXPECT_EQ(seconds->text(), "45");
    EXPECT_EQ(get("My Account", "Upload image every:"), "Custom");
    EXPECT_EQ(get("My Account", "Custom"), "45");

    const std::vector<std::pair<QString, QString>> cases{
        {"12.9", "12"}, {"-4", "0"}, {"abc", "0"}, {"", ""}, {"99999999", "2147483"}, {"2147483", "2147483"}};
    for (const auto& [typed, shown] : cases) {
        SCOPED_TRACE(typed.toStdString());
        seconds->setText(typed);
        EXPECT_EQ(seconds->text(), shown);
        EXPECT_EQ(get("My Account", "Custom"), shown);
    }

    // A preset number under "Custom" keeps "Custom".
    seconds->setText("60");
    EXPECT_EQ(combo->currentText(), "Custom");
    EXPECT_EQ(get("My Account", "Upload image every:"), "Custom");
    EXPECT_EQ(get("My Account", "Custom"), "60");

    // Under "Never" a typed number does not bring a timer back.
    combo->setCurrentIndex(combo->findText("Never"));
    seconds->setText("45");
    EXPECT_EQ(combo->currentText(), "Never");
    EXPECT_EQ(get("My Account", "Custom"), "45");
}

TEST_F(UploadSettingsWindowTest, FolderGetsItsSlashWhenTheFieldIsLeft)
{
    auto* folder = child<QLineEdit>("Text4");
    folder->setText("pub");
    EXPECT_EQ(get("My Account", "Initial Remote Site Folder:"), "pub");
    leaveField(folder);
    EXPECT_EQ(folder->text(), "pub/");
    EXPECT_EQ(get("My Account", "Initial Remote Site Folder:"), "pub/");
    leaveField(folder);
    EXPECT_EQ(folder->text(), "pub/");

    folder->setText("");
    leaveField(folder);
    EXPECT_EQ(folder->text(), "");
    EXPECT_EQ(get("My Account", "Initial Remote Site Folder:"), "");
}

TEST_F(UploadSettingsWindowTest, LocalSavingEnablesOnlyLocallyAndBrowseFillsTheFolder)
{
    auto* locally = child<QCheckBox>("chkLocally");
    auto* only = child<QCheckBox>("chkOnlylo");
    auto* source = child<QLineEdit>("txtLocallySource");

    locally->click();
    EXPECT_TRUE(only->isEnabled());
    EXPECT_EQ(get("My Account", "Locally"), "1");
    only->click();
    EXPECT_EQ(get("My Account", "Only Locally"), "1");
    locally->click();
    EXPECT_FALSE(only->isEnabled());
    EXPECT_TRUE(only->isChecked());
    EXPECT_EQ(get("My Account", "Locally"), "0");
    EXPECT_EQ(get("My Account", "Only Locally"), "1");

    dialogs.folderNext(dir.path());
    child<QPushButton>("cmdBrowse")->click();
    EXPECT_EQ(dialogs.asked().last(), "folder|Choose where to save picture locally");
    EXPECT_EQ(source->text(), dir.path());
    EXPECT_EQ(get("My Account", "LocallySource"), dir.path());

    child<QPushButton>("cmdBrowse")->click(); // cancelled
    EXPECT_EQ(source->text(), "");
    EXPECT_EQ(get("My Account", "LocallySource"), "");
}

TEST_F(UploadSettingsWindowTest, PasswordIsStoredOnlyWhileRemembered)
{
    auto* password = child<QLineEdit>("Text3");
    auto* remember = child<QCheckBox>("rem_pass");

    password->setText("secret");
    EXPECT_EQ(get("My Account", "Password:"), std::nullopt);
    remember->click();
    EXPECT_EQ(get("My Account", "Remember password"), "1");
    password->setText("secret2");
    EXPECT_EQ(get("My Account", "Password:"), "secret2");

    remember->click();
    EXPECT_EQ(get("My Account", "Remember password"), "0");
    EXPECT_EQ(get("My Account", "Password:"), std::nullopt);
    EXPECT_EQ(password->text(), "secret2");

    password->setText("");
    EXPECT_EQ(get("My Account", "Password:"), "");
}

TEST_F(UploadSettingsWindowTest, EditsGoToTheAccountThatWasCurrentWhenMade)
{
    makeAccounts({"Roof", "Garden"});
    put(key("Garden"), "Upload image every:", "1 hour");
    auto* host = child<QLineEdit>("Text1");
    EXPECT_EQ(host->text(), "host-Roof");

    host->setText("roof.example");
    const QStringList before = dump(store);
    clickRow(1);
    EXPECT_EQ(dump(store), before) << "loading an account writes nothing";
    EXPECT_EQ(host->text(), "host-Garden");
    EXPECT_EQ(child<QComboBox>("Combo")->currentText(), "1 hour");
    EXPECT_EQ(child<QLineEdit>("txtmSec")->text(), "3600");
    host->setText("garden.example");

    EXPECT_EQ(get("Roof", "Host Name/Adress:"), "roof.example");
    EXPECT_EQ(get("Garden", "Host Name/Adress:"), "garden.example");
    EXPECT_EQ(rowTexts(), (QStringList{"Roof|roof.example||-", "Garden|host-Garden|1 hour|-"}));
}

TEST_F(UploadSettingsWindowTest, AnAccountMadeCurrentElsewhereIsShownWithoutBeingSaved)
{
    makeAccounts({"Roof", "Garden"});
    window();
    const QStringList before = dump(store);
    book.selectRow(1);
    EXPECT_EQ(child<QLineEdit>("Text1")->text(), "host-Garden");
    EXPECT_EQ(child<QTreeWidget>("ftps")->currentItem(), child<QTreeWidget>("ftps")->topLevelItem(1));
    EXPECT_EQ(dump(store), before);
}

TEST_F(UploadSettingsWindowTest, AddRenameAndRemoveFromTheWindow)
{
    window();
    prompter.inputNext(QStringLiteral("Garden"));
    child<QPushButton>("cmdAdd")->click();
    EXPECT_EQ(rowTexts(), (QStringList{"My Account|||x", "Garden|||-"}));
    EXPECT_EQ(store.GetString(HKEY_LOCAL_MACHINE, kProduct, "Account2"), "Garden");

    prompter.inputNext(QStringLiteral("A name far too long for it"));
    child<QPushButton>("cmdAdd")->click();
    EXPECT_EQ(prompter.texts().last(), "Please keep the name shorter than 20 characters.");
    EXPECT_EQ(child<QTreeWidget>("ftps")->topLevelItemCount(), 2);

    clickRow(1);
    child<QLineEdit>("Text1")->setText("garden.example");
    prompter.inputNext(QStringLiteral("Backyard"));
    child<QPushButton>("cmdRename")->click();
    EXPECT_EQ(rowTexts().at(1), "Backyard|||-");
    EXPECT_EQ(get("Backyard", "Host Name/Adress:"), "garden.example");
    EXPECT_EQ(get("Garden", "Host Name/Adress:"), std::nullopt);

    prompter.answerNext(Prompter::Answer::Yes);
    child<QPushButton>("cmdRemove")->click();
    EXPECT_EQ(prompter.shown().back().title, "Remove 'Backyard'?");
    EXPECT_EQ(rowTexts(), QStringList{"My Account|||x"});
    EXPECT_EQ(child<QTreeWidget>("ftps")->currentItem(), nullptr);
    EXPECT_EQ(store.GetString(HKEY_LOCAL_MACHINE, kProduct, "Account2"), std::nullopt);

    // With no account current, edits change the controls only.
    const QStringList before = dump(store);
    child<QLineEdit>("Text2")->setText("nobody");
    EXPECT_EQ(dump(store), before);
}

TEST_F(UploadSettingsWindowTest, OkStoresTheFlagsHidesAndConfirms)
{
    makeAccounts({"Roof", "Garden"});
    UploadSettingsWindow& w = window();
    w.showWindow();
    EXPECT_TRUE(w.isVisible());
    QSignalSpy confirmed(&w, &UploadSettingsWindow::confirmed);

    child<QTreeWidget>("ftps")->topLevelItem(1)->setCheckState(0, Qt::Checked);
    EXPECT_TRUE(book.isChecked(1));
    EXPECT_EQ(get("Garden", "Selected"), std::nullopt);

    // Neither Escape nor the window manager's close command leaves the window.
    w.reject();
    EXPECT_TRUE(w.isVisible());

    child<QPushButton>("Command1")->click();
    EXPECT_EQ(get("Roof", "Selected"), "False");
    EXPECT_EQ(get("Garden", "Selected"), "True");
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(confirmed.count(), 1);
}

TEST_F(UploadSettingsWindowTest, StampCheckBoxesDatesFontAndColours)
{
    child<QCheckBox>("Check1")->click();
    child<QCheckBox>("chkTxtTime")->click();
    EXPECT_EQ(get("My Account", "Enable timestamp"), "1");
    EXPECT_EQ(get("My Account", "TextTime"), "1");

    child<QDateEdit>("DTPicker1")->setDate(QDate(2030, 1, 2));
    child<QDateEdit>("DTPicker2")->setDate(QDate(2030, 3, 4));
    EXPECT_EQ(parseStoredDate(get("My Account", "DateFrom").value_or("")), QDate(2030, 1, 2));
    EXPECT_EQ(parseStoredDate(get("My Account", "DateTo").value_or("")), QDate(2030, 3, 4));

    auto* preview = child<StampPreview>("picUnder");
    QFont chosen("DejaVu Sans");
    chosen.setPointSizeF(14.5);
    chosen.setBold(false);
    chosen.setItalic(true);
    dialogs.fontNext(chosen);
    child<QPushButton>("Command3")->click();
    EXPECT_EQ(dialogs.lastFont.family(), QFont("Tahoma").family()) << "primed with the current style";
    EXPECT_EQ(get("My Account", "Font Name"), "DejaVu Sans");
    EXPECT_EQ(get("My Account", "Font Bold"), "False");
    EXPECT_EQ(get("My Account", "Font Italic"), "True");
    EXPECT_EQ(get("My Account", "Font Size"), "14.5");
    EXPECT_TRUE(preview->stampFont().italic());

    child<QPushButton>("Command3")->click(); // cancelled
    EXPECT_EQ(get("My Account", "Font Name"), "DejaVu Sans");
    EXPECT_TRUE(preview->stampFont().italic());

    dialogs.colorNext(QColor(255, 0, 0));
    child<QPushButton>("Command4")->click();
    EXPECT_EQ(get("My Account", "Backcolor"), "255");
    EXPECT_EQ(preview->backColor(), QColor(255, 0, 0));
    dialogs.colorNext(QColor(0, 0, 255));
    child<QPushButton>("Command5")->click();
    EXPECT_EQ(get("My Account", "Forecolor"), "16711680");
    EXPECT_EQ(preview->foreColor(), QColor(0, 0, 255));

    child<QPushButton>("Command4")->click(); // cancelled
    child<QPushButton>("Command5")->click(); // cancelled
    EXPECT_EQ(get("My Account", "Backcolor"), "255");
    EXPECT_EQ(get("My Account", "Forecolor"), "16711680");
    EXPECT_EQ(preview->backColor(), QColor(255, 0, 0));
}

TEST_F(UploadSettingsWindowTest, ImageButtonOpensModalOnTheTimestampTabWithHelpOnTop)
{
    UploadSettingsWindow& w = window();
    bool checked = false;
    QTimer::singleShot(0, &w, [&] {
        checked = true;
        EXPECT_EQ(QApplication::activeModalWidget(), &w);
        EXPECT_EQ(child<QTabWidget>("TabStripFTP")->currentWidget()->objectName(), "frametimestamp");
        child<QPushButton>("cmdHelp")->click();
        ASSERT_NE(help.window(), nullptr);
        EXPECT_TRUE(help.window()->isVisible());
        EXPECT_EQ(help.window()->windowModality(), Qt::ApplicationModal);
        help.window()->hide();
        child<QPushButton>("Command1")->click();
    });
    // A safety net: the modal run must end even if a check above failed before "&OK".
    QTimer::singleShot(5000, &w, [&w] { w.done(QDialog::Accepted); });
    w.openOnTimestampTab();
    EXPECT_TRUE(checked);
    EXPECT_FALSE(w.isVisible());
}
} // namespace

namespace {
class ConnectionControlsTest : public UploadSettingsWindowTest
{
};

TEST_F(ConnectionControlsTest, TheConnectionControlsSaveTheirValuesAtOnce)
{
    window();
    auto* protocol = child<QComboBox>(QStringLiteral("cboProtocol"));
    auto* passive = child<QCheckBox>(QStringLiteral("chkPassive"));
    auto* verify = child<QCheckBox>(QStringLiteral("chkVerify"));
    auto* keyFile = child<QLineEdit>(QStringLiteral("txtKeyFile"));
    auto* safe = child<QCheckBox>(QStringLiteral("chkSafeReplace"));
    ASSERT_TRUE(protocol && passive && verify && keyFile && safe);
    EXPECT_EQ(protocol->currentText(), QStringLiteral("FTP"));
    EXPECT_FALSE(passive->isChecked());
    EXPECT_TRUE(verify->isChecked());
    EXPECT_FALSE(safe->isChecked());
    const QStringList before = dump(store);

    protocol->setCurrentIndex(2);
    EXPECT_EQ(get(QStringLiteral("My Account"), QStringLiteral("Protocol")), QStringLiteral("SFTP"));
    EXPECT_FALSE(passive->isEnabled());
    EXPECT_TRUE(keyFile->isEnabled());
    keyFile->setText(QStringLiteral("/home/cam/.ssh/id_ed25519"));
    EXPECT_EQ(get(QStringLiteral("My Account"), QStringLiteral("Key file")),
              QStringLiteral("/home/cam/.ssh/id_ed25519"));
    protocol->setCurrentIndex(1);
    EXPECT_EQ(get(QStringLiteral("My Account"), QStringLiteral("Protocol")), QStringLiteral("FTPS"));
    passive->setChecked(true);
    verify->setChecked(false);
    safe->setChecked(true);
    EXPECT_EQ(get(QStringLiteral("My Account"), QStringLiteral("Passive")), QStringLiteral("1"));
    EXPECT_EQ(get(QStringLiteral("My Account"), QStringLiteral("Verify certificate")), QStringLiteral("0"));
    EXPECT_EQ(get(QStringLiteral("My Account"), QStringLiteral("Safe replace")), QStringLiteral("1"));
    EXPECT_NE(dump(store), before);
}

TEST_F(ConnectionControlsTest, TestLogsInWritesAndRemovesAFileAndSaysSo)
{
    FtpServer server;
    ASSERT_TRUE(server.start()) << server.startError().toStdString();
    window();
    child<QLineEdit>(QStringLiteral("Text1"))->setText(server.hostField());
    child<QLineEdit>(QStringLiteral("Text2"))->setText(FtpServer::kUser);
    child<QLineEdit>(QStringLiteral("Text3"))->setText(FtpServer::kPassword);
    child<QCheckBox>(QStringLiteral("chkPassive"))->setChecked(true);
    child<QPushButton>(QStringLiteral("cmdTest"))->click();
    ASSERT_EQ(prompter.shown().size(), 1u);
    EXPECT_EQ(prompter.shown().back().icon, Prompter::Icon::Information);
    EXPECT_EQ(prompter.shown().back().text,
              QStringLiteral("Connected to ") + server.hostField() +
                  QStringLiteral(" and logged in.\nWrote and removed a test file in the folder."));
    EXPECT_TRUE(server.commands().contains(QStringLiteral("DELE .velmora-test.tmp")));
    EXPECT_TRUE(QDir(server.home()).entryList(QDir::Files | QDir::Hidden).isEmpty());

    child<QLineEdit>(QStringLiteral("Text4"))->setText(QStringLiteral("/ro/"));
    child<QPushButton>(QStringLiteral("cmdTest"))->click();
    ASSERT_EQ(prompter.shown().size(), 2u);
    EXPECT_EQ(prompter.shown().back().icon, Prompter::Icon::Critical);
    EXPECT_TRUE(prompter.shown().back().text.endsWith(QStringLiteral("Server: 550 Not enough privileges.")))
        << prompter.shown().back().text.toStdString();

    child<QLineEdit>(QStringLiteral("Text3"))->setText(QStringLiteral("wrong"));
    child<QPushButton>(QStringLiteral("cmdTest"))->click();
    ASSERT_EQ(prompter.shown().size(), 3u);
    EXPECT_TRUE(
        prompter.shown().back().text.startsWith(QStringLiteral("Couldn't connect to ") + server.hostField()));
    EXPECT_TRUE(prompter.shown().back().text.contains(QStringLiteral("Server: 530")));
}
} // namespace
