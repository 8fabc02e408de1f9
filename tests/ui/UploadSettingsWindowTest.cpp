#include "ui/UploadSettingsWindow.h"
#include "FtpServer.h"
#include "QtPrinters.h"
#include "RawDatabase.h"
#include "S3Server.h"
#include "SetClock.h"
#include "Typing.h"
#include "UploadRig.h"
#include "VelmoraProcess.h"
#include "WebDavServer.h"
#include "WindowFixture.h"
#include "common/DateTimeText.h"
#include "help/HelpWindow.h"
#include "settings/AccountBook.h"
#include "ui/QtSettingsDialogs.h"
#include "ui/StampPreview.h"
#include "upload/FtpLog.h"
#include "upload/TimelapseService.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFocusEvent>
#include <QFontDialog>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <QTreeWidget>
#include <QWindow>

namespace {
class UploadSettingsWindowTest : public WindowFixture
{
protected:
    Regedit& store() override { return m_store; }
    // Built over the store as it stands; tests that need accounts put them first.
    UploadSettingsWindow& window() override
    {
        if (!m_window)
            m_window = std::make_unique<UploadSettingsWindow>(book, help, dialogs);
        return *m_window;
    }
    std::optional<QString> mine(const QString& name) { return stored(name, key("My Account")); }
    // Several stored values of the default account as "a|b|c", "-" for an absent one.
    QString mine(const QStringList& names)
    {
        QStringList values;
        for (const QString& name : names)
            values << mine(name).value_or("-");
        return values.join('|');
    }
    void clickRow(int row)
    {
        auto* ftps = child<QTreeWidget>("ftps");
        ftps->setCurrentItem(ftps->topLevelItem(row));
    }
    // The field loses the focus: to another field (Tab), or because the window is no longer active.
    void leaveField(QWidget* field, Qt::FocusReason reason = Qt::TabFocusReason)
    {
        QFocusEvent out(QEvent::FocusOut, reason);
        QApplication::sendEvent(field, &out);
    }
    // Keys typed at the end of the field's text; "" types nothing.
    void type(QLineEdit* field, const QString& keys)
    {
        field->end(false);
        QTest::keyClicks(field, keys);
    }
    // Empties the field with keys and types the text.
    void retype(QLineEdit* field, const QString& keys)
    {
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Delete);
        type(field, keys);
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

    Regedit m_store{dir.file("store.db")};
    AccountBook book{m_store, prompter};
    std::unique_ptr<UploadSettingsWindow> m_window;
};

TEST_F(UploadSettingsWindowTest, FirstStartShowsTheDefaultAccountAndStoresOnlyItsNewAccountValues)
{
    EXPECT_EQ(rowTexts(), QStringList{"My Account|||x"});
    EXPECT_EQ(child<QTreeWidget>("ftps")->currentItem(), child<QTreeWidget>("ftps")->topLevelItem(0));
    EXPECT_EQ(child<QLineEdit>("Text8")->text(), "webcam");
    EXPECT_FALSE(child<QCheckBox>("chkOnlylo")->isEnabled());
    auto* preview = child<StampPreview>("picUnder");
    EXPECT_EQ(preview->backColor(), QColor(Qt::black));
    EXPECT_EQ(preview->foreColor(), QColor(Qt::white));
    EXPECT_EQ(preview->stampFont().family(), QFont("Tahoma").family());
    EXPECT_TRUE(preview->stampFont().bold());
    EXPECT_FALSE(preview->text().isEmpty());
    EXPECT_EQ(mine("Destination filename:"), std::nullopt);
    EXPECT_EQ(child<QComboBox>("cboProtocol")->currentText(), "FTP");
    EXPECT_TRUE(child<QCheckBox>("chkVerify")->isChecked());
    // The first account starts in passive mode with a safe replace, stored with it.
    EXPECT_TRUE(child<QCheckBox>("chkPassive")->isChecked());
    EXPECT_TRUE(child<QCheckBox>("chkSafeReplace")->isChecked());
    EXPECT_EQ(mine({"Passive", "Safe replace"}), "1|1");
}

TEST_F(UploadSettingsWindowTest, IntervalItemAndSecondsFieldFollowEachOtherAndAreStored)
{
    auto* combo = child<QComboBox>("Combo");
    auto* seconds = child<QLineEdit>("txtmSec");
    struct Step
    {
        const char* item;  // chosen in the list, or
        const char* typed; // typed into the emptied seconds field, which is then left
        const char* after; // list|field|stored item|stored seconds
    };
    // "3" of "3e2" would choose "Custom": text that is no number brings back no interval at all.
    retype(seconds, "3e2");
    leaveField(seconds);
    EXPECT_EQ(combo->currentIndex(), -1);
    EXPECT_EQ(seconds->text(), "");
    EXPECT_EQ(mine({"Upload image every:", "Custom"}), "-|-");
    const Step steps[] = {
        {"10 seconds", nullptr, "10 seconds|10|10 seconds|10"},
        {"Never", nullptr, "Never||Never|"},
        {"5 minutes", nullptr, "5 minutes|300|5 minutes|300"},
        {nullptr, "45", "Custom|45|Custom|45"},
        // Text that is no number keeps the seconds the field held (with a note beside it).
        {nullptr, "3e2", "Custom|45|Custom|45"},
        {nullptr, "abc", "Custom|45|Custom|45"},
        {nullptr, "12.9", "Custom|12|Custom|12"},
        {nullptr, "-4", "Custom|0|Custom|0"},
        {nullptr, "", "Custom||Custom|"},
        {nullptr, "99999999", "Custom|2147483|Custom|2147483"},
        {nullptr, "60", "Custom|60|Custom|60"}, // a preset's seconds under Custom keep Custom
        {"Week", nullptr, "Week|604800|Week|604800"},
        {"Never", nullptr, "Never||Never|"},
        {nullptr, "45", "Never|45|Never|45"}, // under Never a typed number brings no timer back
    };
    for (const Step& step : steps) {
        if (step.item) {
            combo->setCurrentIndex(combo->findText(step.item));
        } else {
            retype(seconds, step.typed);
            leaveField(seconds);
        }
        EXPECT_EQ(combo->currentText() + '|' + seconds->text() + '|' +
                      mine({"Upload image every:", "Custom"}),
                  QString(step.after))
            << (step.item ? step.item : step.typed);
        if (step.typed && QString(step.typed) == "abc") {
            EXPECT_EQ(Typing::note(seconds), "\"abc\" is not a number from 0 to 2147483: 45 is kept.");
        }
        if (step.typed && QString(step.typed) == "45") {
            EXPECT_EQ(Typing::note(seconds), "");
        }
        if (step.item) {
            EXPECT_EQ(Typing::note(seconds), "") << "a chosen item leaves no note of earlier typing";
        }
    }

    // While typing the field keeps the text as typed, also when the window loses activation.
    retype(seconds, "12.");
    EXPECT_EQ(seconds->text() + '|' + mine("Custom").value_or("-"), "12.|12");
    leaveField(seconds, Qt::ActiveWindowFocusReason);
    type(seconds, "9");
    EXPECT_EQ(seconds->text() + '|' + mine("Custom").value_or("-"), "12.9|12");
    QTest::keyClick(seconds, Qt::Key_Return);
    EXPECT_EQ(seconds->text(), "12");
}

TEST_F(UploadSettingsWindowTest, FolderSlashLocalSavingAndPasswordRules)
{
    // The folder gets its slash once when the field is left; an empty one stays empty.
    auto* folder = child<QLineEdit>("Text4");
    for (const auto& [typed, stored] : {std::pair{"pub", "pub/"}, {"", ""}}) {
        retype(folder, typed);
        EXPECT_EQ(mine("Initial Remote Site Folder:"), typed);
        leaveField(folder);
        leaveField(folder);
        EXPECT_EQ(folder->text(), stored);
        EXPECT_EQ(mine("Initial Remote Site Folder:"), stored);
    }
    // Switching to another window or opening a menu is no leaving: typing goes on.
    retype(folder, "pub");
    leaveField(folder, Qt::ActiveWindowFocusReason);
    leaveField(folder, Qt::PopupFocusReason);
    type(folder, "lic");
    EXPECT_EQ(mine("Initial Remote Site Folder:"), "public");
    leaveField(folder, Qt::MouseFocusReason);
    EXPECT_EQ(mine("Initial Remote Site Folder:"), "public/");

    // "Only locally" is usable only while saving locally, and keeps its value.
    auto* locally = child<QCheckBox>("chkLocally");
    auto* only = child<QCheckBox>("chkOnlylo");
    locally->click();
    EXPECT_TRUE(only->isEnabled());
    only->click();
    locally->click();
    EXPECT_FALSE(only->isEnabled());
    EXPECT_TRUE(only->isChecked());
    EXPECT_EQ(mine({"Locally", "Only Locally"}), "0|1");

    // Browse fills the folder; cancelled, it changes nothing.
    auto* source = child<QLineEdit>("txtLocallySource");
    dialogs.folderNext(dir.path());
    child<QPushButton>("cmdBrowse")->click();
    EXPECT_EQ(dialogs.asked().last(), "folder|Choose where to save picture locally|");
    EXPECT_EQ(mine("LocallySource"), dir.path());
    EXPECT_EQ(source->text(), dir.path());
    child<QPushButton>("cmdBrowse")->click();
    EXPECT_EQ(dialogs.asked().last(), "folder|Choose where to save picture locally|" + dir.path())
        << "it opens where the folder is";
    EXPECT_EQ(mine("LocallySource"), dir.path());
    EXPECT_EQ(source->text(), dir.path());

    // The password is stored only while remembered.
    auto* password = child<QLineEdit>("Text3");
    auto* remember = child<QCheckBox>("rem_pass");
    password->setText("secret");
    EXPECT_EQ(mine("Password:"), std::nullopt);
    remember->click();
    EXPECT_EQ(mine("Remember password"), "1");
    password->setText("secret2");
    EXPECT_EQ(mine("Password:"), "secret2");
    remember->click();
    EXPECT_EQ(mine("Remember password"), "0");
    EXPECT_EQ(mine("Password:"), std::nullopt);
    EXPECT_EQ(password->text(), "secret2");
    password->setText("");
    EXPECT_EQ(mine("Password:"), "");
}

// A destination file name with a folder in it is refused where it is typed, with the reason, and
// the stored name stays the last usable one; a stored one from elsewhere shows the reason too.
TEST_F(UploadSettingsWindowTest, DestinationNamesWithFoldersAreRefusedWithTheReason)
{
    auto* name = child<QLineEdit>("Text8");
    auto* problem = child<QLabel>("lblFileNameProblem");
    EXPECT_FALSE(!problem->isHidden());
    retype(name, "cam");
    EXPECT_EQ(mine("Destination filename:"), "cam");
    type(name, "/../x");
    EXPECT_EQ(mine("Destination filename:"), "cam");
    EXPECT_TRUE(!problem->isHidden());
    EXPECT_EQ(
        problem->text(),
        "The destination file name contains \"/\" or \"\\\": it is not used. Give a name without a folder.");
    name->setText("..");
    EXPECT_EQ(problem->text(),
              "The destination file name is \"..\": it is not used. Give a name without a folder.");
    EXPECT_EQ(mine("Destination filename:"), "cam");
    retype(name, "cam 2");
    EXPECT_FALSE(!problem->isHidden());
    EXPECT_EQ(mine("Destination filename:"), "cam 2");

    store().SaveString(HKEY_LOCAL_MACHINE, key("My Account"), "Destination filename:", "a\\b");
    book.ValdItem();
    EXPECT_EQ(name->text(), "a\\b");
    EXPECT_TRUE(!problem->isHidden());
    EXPECT_EQ(mine("Destination filename:"), "a\\b") << "loading writes nothing";
}

TEST_F(UploadSettingsWindowTest, EditsGoToTheAccountThatWasCurrentWhenMade)
{
    makeAccounts({"Roof", "Garden"});
    put(key("Garden"), "Upload image every:", "1 hour");
    auto* host = child<QLineEdit>("Text1");
    EXPECT_EQ(host->text(), "host-Roof");
    host->setText("roof.example");
    const QStringList before = storeDump(store());
    clickRow(1);
    EXPECT_EQ(storeDump(store()), before) << "loading an account writes nothing";
    EXPECT_EQ(host->text(), "host-Garden");
    EXPECT_EQ(child<QComboBox>("Combo")->currentText(), "1 hour");
    EXPECT_EQ(child<QLineEdit>("txtmSec")->text(), "3600");
    host->setText("garden.example");
    EXPECT_EQ(stored("Host Name/Adress:", key("Roof")), "roof.example");
    EXPECT_EQ(stored("Host Name/Adress:", key("Garden")), "garden.example");
    // The list's columns follow the edits at once.
    EXPECT_EQ(rowTexts(), (QStringList{"Roof|roof.example||-", "Garden|garden.example|1 hour|-"}));
    child<QComboBox>("Combo")->setCurrentIndex(child<QComboBox>("Combo")->findText("5 minutes"));
    EXPECT_EQ(rowTexts().last(), "Garden|garden.example|5 minutes|-");

    // An account made current elsewhere is shown, again without writing.
    const QStringList after = storeDump(store());
    book.selectRow(0);
    EXPECT_EQ(host->text(), "roof.example");
    EXPECT_EQ(child<QTreeWidget>("ftps")->currentItem(), child<QTreeWidget>("ftps")->topLevelItem(0));
    EXPECT_EQ(storeDump(store()), after);
}

TEST_F(UploadSettingsWindowTest, AddRenameAndRemoveFromTheWindow)
{
    window();
    prompter.inputNext(QStringLiteral("Garden"));
    child<QPushButton>("cmdAdd")->click();
    EXPECT_EQ(rowTexts(), (QStringList{"My Account|||x", "Garden|||-"}));
    EXPECT_EQ(stored("Account2"), "Garden");

    clickRow(1);
    child<QLineEdit>("Text1")->setText("garden.example");
    prompter.inputNext(QStringLiteral("Backyard"));
    child<QPushButton>("cmdRename")->click();
    EXPECT_EQ(rowTexts().at(1), "Backyard|garden.example||-");
    EXPECT_EQ(stored("Host Name/Adress:", key("Backyard")), "garden.example");

    prompter.answerNext(Prompter::Answer::Yes);
    child<QPushButton>("cmdRemove")->click();
    EXPECT_EQ(prompter.shown().back().title, "Remove 'Backyard'?");
    EXPECT_EQ(rowTexts(), QStringList{"My Account|||x"});
    EXPECT_EQ(child<QTreeWidget>("ftps")->currentItem(), nullptr);
    EXPECT_EQ(stored("Account2"), std::nullopt);

    // With no account current, edits change the controls only.
    const QStringList before = storeDump(store());
    child<QLineEdit>("Text2")->setText("nobody");
    EXPECT_EQ(storeDump(store()), before);
}

TEST_F(UploadSettingsWindowTest, OkStoresTheFlagsHidesAndConfirms)
{
    makeAccounts({"Roof", "Garden"});
    UploadSettingsWindow& w = window();
    w.showWindow();
    QSignalSpy confirmed(&w, &UploadSettingsWindow::confirmed);
    child<QTreeWidget>("ftps")->topLevelItem(1)->setCheckState(0, Qt::Checked);
    EXPECT_TRUE(book.isChecked(1));
    EXPECT_EQ(stored("Selected", key("Garden")), std::nullopt);

    QTest::mouseClick(child<QPushButton>("Command1"), Qt::LeftButton);
    EXPECT_EQ(stored("Selected", key("Roof")), "False");
    EXPECT_EQ(stored("Selected", key("Garden")), "True");
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(confirmed.count(), 1);

    // Escape and the close box leave the window as OK does: a window left open would stop the
    // timed uploads unseen.
    w.showWindow();
    child<QTreeWidget>("ftps")->topLevelItem(0)->setCheckState(0, Qt::Checked);
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(confirmed.count(), 2);
    EXPECT_EQ(stored("Selected", key("Roof")), "True");
    w.showWindow();
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    ASSERT_NE(w.windowHandle(), nullptr);
    w.windowHandle()->close(); // as the window manager's close box asks
    w.windowHandle()->close();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(confirmed.count(), 3) << "once, however often the box is pressed";
}

TEST_F(UploadSettingsWindowTest, StampCheckBoxesDatesFontAndColours)
{
    child<QCheckBox>("Check1")->click();
    child<QCheckBox>("chkTxtTime")->click();
    child<QDateEdit>("DTPicker1")->setDate(QDate(2030, 1, 2));
    child<QDateEdit>("DTPicker2")->setDate(QDate(2030, 3, 4));
    EXPECT_EQ(mine({"Enable timestamp", "TextTime"}), "1|1");
    EXPECT_EQ(parseStoredDate(mine("DateFrom").value_or("")), QDate(2030, 1, 2));
    EXPECT_EQ(parseStoredDate(mine("DateTo").value_or("")), QDate(2030, 3, 4));

    auto* preview = child<StampPreview>("picUnder");
    QFont chosen("DejaVu Serif");
    chosen.setPointSizeF(14.5);
    chosen.setBold(false);
    chosen.setItalic(true);
    dialogs.fontNext(chosen);
    child<QPushButton>("Command3")->click();
    child<QPushButton>("Command3")->click(); // cancelled: nothing changes
    EXPECT_EQ(dialogs.lastFont.family(), "DejaVu Serif") << "primed with the current style";
    EXPECT_EQ(mine({"Font Name", "Font Bold", "Font Italic", "Font Size"}), "DejaVu Serif|False|True|14.5");
    EXPECT_TRUE(preview->stampFont().italic());

    // Back and fore colour chosen, then both cancelled.
    dialogs.colorNext(QColor(255, 0, 0));
    dialogs.colorNext(QColor(0, 0, 255));
    for (const char* button : {"Command4", "Command5", "Command4", "Command5"})
        child<QPushButton>(button)->click();
    EXPECT_EQ(mine({"Backcolor", "Forecolor"}), "255|16711680");
    EXPECT_EQ(preview->backColor(), QColor(255, 0, 0));
    EXPECT_EQ(preview->foreColor(), QColor(0, 0, 255));
}

TEST_F(UploadSettingsWindowTest, FontDialogOpensOnTheStoredStyleAndStoresOnlyWhatChanged)
{
    window();
    put(key("My Account"), "Font Size", "13.5");
    book.ValdItem();
    const QStringList before = storeDump(store());

    // The desktop's own font dialog, confirmed as it opened, on a window that uses it.
    QtSettingsDialogs desktop;
    UploadSettingsWindow real(book, help, desktop);
    QFont opened;
    QTimer::singleShot(0, &real, [&opened] {
        if (auto* dialog = qobject_cast<QFontDialog*>(QApplication::activeModalWidget())) {
            opened = dialog->currentFont();
            dialog->accept();
        }
    });
    QTimer::singleShot(5000, &real, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    real.findChild<QPushButton*>("Command3")->click();
    // Bold "Tahoma" is not installed: the dialog shows the family standing in for it, bold, at
    // the whole size it can show; confirming that changes nothing.
    EXPECT_EQ(opened.family(), QFontInfo(QFont("Tahoma")).family());
    EXPECT_TRUE(opened.bold());
    EXPECT_FALSE(opened.italic());
    EXPECT_EQ(opened.pointSize(), 14);
    EXPECT_EQ(storeDump(store()), before);
    EXPECT_EQ(book.loaded().fontName, "Tahoma");

    // A person who changes only the size stores only the size.
    QFont bigger = opened;
    bigger.setPointSize(20);
    dialogs.fontNext(bigger);
    child<QPushButton>("Command3")->click();
    EXPECT_EQ(mine({"Font Name", "Font Bold", "Font Italic", "Font Size"}), "-|-|-|20");
}

TEST_F(UploadSettingsWindowTest, ClickingARowLoadsItOnceAndTheCurrentRowAgain)
{
    makeAccounts({"Roof", "Garden"});
    window().showWindow();
    auto* ftps = child<QTreeWidget>("ftps");
    const auto click = [ftps](int row) {
        QTest::mouseClick(ftps->viewport(), Qt::LeftButton, {},
                          ftps->visualItemRect(ftps->topLevelItem(row)).center());
    };
    auto* host = child<QLineEdit>("Text1");
    QSignalSpy loads(&book, &AccountBook::loadedChanged);
    click(1);
    EXPECT_EQ(host->text(), "host-Garden");
    EXPECT_EQ(loads.count(), 1);

    // Another process changes the account shown; a click on its row shows the change.
    const ProgramRun other = runVelmora({"--store", dir.file("store.db"), "reg", "set", key("Garden"),
                                         "Host Name/Adress:", "garden.example"});
    ASSERT_EQ(other.status, 0) << other.err.toStdString();
    EXPECT_EQ(host->text(), "host-Garden");
    click(1);
    EXPECT_EQ(host->text(), "garden.example");
    EXPECT_EQ(loads.count(), 2);
}

TEST_F(UploadSettingsWindowTest, AStoreThatCannotBeWrittenIsNamedAboveTheListAndAddChangesNothing)
{
    EXPECT_TRUE(child<QLabel>("lblStoreProblem")->isHidden());

    const auto newer = newerVersionStore(dir.file("newer.db"), kProduct, "Account1", "Roof");
    AccountBook lockedBook(*newer, prompter);
    UploadSettingsWindow locked(lockedBook, help, dialogs);
    auto* banner = locked.findChild<QLabel*>("lblStoreProblem");
    ASSERT_NE(banner, nullptr);
    EXPECT_FALSE(banner->isHidden());
    EXPECT_EQ(banner->text(),
              "Changes are not saved: the settings store was written by a newer version of Velmora.");
    locked.findChild<QPushButton*>("cmdAdd")->click();
    EXPECT_EQ(prompter.texts(),
              QStringList{"The account could not be added: the settings store was written by a newer "
                          "version of Velmora."});
    EXPECT_EQ(locked.findChild<QTreeWidget*>("ftps")->topLevelItemCount(), 1);
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

TEST_F(UploadSettingsWindowTest, ConnectionControlsSaveTheirValuesAtOnce)
{
    auto* protocol = child<QComboBox>("cboProtocol");
    auto* passive = child<QCheckBox>("chkPassive");
    auto* keyFile = child<QLineEdit>("txtKeyFile");
    protocol->setCurrentIndex(2);
    EXPECT_EQ(mine("Protocol"), "SFTP");
    EXPECT_FALSE(passive->isEnabled());
    EXPECT_TRUE(keyFile->isEnabled());
    keyFile->setText("/home/cam/.ssh/id_ed25519");
    EXPECT_EQ(mine("Key file"), "/home/cam/.ssh/id_ed25519");
    protocol->setCurrentIndex(1);
    passive->setChecked(true);
    child<QCheckBox>("chkVerify")->setChecked(false);
    child<QCheckBox>("chkSafeReplace")->setChecked(true);
    EXPECT_EQ(mine({"Protocol", "Passive", "Verify certificate", "Safe replace"}), "FTPS|1|0|1");
}

// WebDAV is picked with the keyboard like any protocol: the controls it does not use are disabled,
// the certificate check stays, and Test reaches a real WebDAV server with the typed address.
TEST_F(UploadSettingsWindowTest, WebDavIsPickedWithKeysAndTestReachesItsServer)
{
    auto* protocol = child<QComboBox>("cboProtocol");
    auto* passive = child<QCheckBox>("chkPassive");
    auto* verify = child<QCheckBox>("chkVerify");
    auto* keyFile = child<QLineEdit>("txtKeyFile");
    ASSERT_EQ(protocol->currentText(), "FTP");
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(protocol, Qt::Key_Down);
    EXPECT_EQ(protocol->currentText(), "WebDAV");
    EXPECT_EQ(mine("Protocol"), "WebDAV");
    EXPECT_FALSE(passive->isEnabled());
    EXPECT_TRUE(verify->isEnabled());
    EXPECT_FALSE(keyFile->isEnabled());
    EXPECT_FALSE(child<QPushButton>("cmdKeyFile")->isEnabled());
    QTest::keyClick(protocol, Qt::Key_Up);
    EXPECT_EQ(mine("Protocol"), "SFTP");
    EXPECT_FALSE(verify->isEnabled());
    // A typed letter picks the protocol that starts with it.
    QTest::keyClicks(protocol, "W");
    EXPECT_EQ(protocol->currentText(), "WebDAV");
    EXPECT_EQ(mine("Protocol"), "WebDAV");

    WebDavServer server;
    ASSERT_TRUE(server.start()) << server.startError().toStdString();
    ASSERT_TRUE(server.putFile("www/keep.jpg", "kept"));
    retype(child<QLineEdit>("Text1"), server.baseUrl());
    retype(child<QLineEdit>("Text2"), WebDavServer::kUser);
    retype(child<QLineEdit>("Text3"), WebDavServer::kPassword);
    retype(child<QLineEdit>("Text4"), "www/");
    EXPECT_EQ(mine("Host Name/Adress:"), server.baseUrl());
    auto* test = child<QPushButton>("cmdTest");
    QTest::mouseClick(test, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([this] { return prompter.shown().size() == 1; }, 10000));
    EXPECT_EQ(prompter.shown().back().icon, Prompter::Icon::Information);
    EXPECT_TRUE(prompter.shown().back().text.startsWith("Connected to " + server.baseUrl() +
                                                        " and logged in.\nWrote and removed a test file"))
        << prompter.shown().back().text.toStdString();
    EXPECT_EQ(QDir(server.homeFile("www")).entryList(QDir::Files | QDir::Hidden), QStringList{"keep.jpg"});
    const QList<HttpRequestLog::Entry> requests = server.requests();
    EXPECT_TRUE(std::any_of(requests.begin(), requests.end(), [](const HttpRequestLog::Entry& e) {
        return e.method == "PUT" && e.target == "/dav/www/.velmora-test.tmp";
    }));

    // The stored text comes back as the same choice.
    m_window.reset();
    book.loadList();
    EXPECT_EQ(child<QComboBox>("cboProtocol")->currentText(), "WebDAV");
    EXPECT_TRUE(child<QCheckBox>("chkVerify")->isEnabled());
}

// S3 is picked with the keyboard too: its bucket, region and addressing controls are the only
// ones that come alive for it, the typed values are stored, and Test reaches a real S3 endpoint.
TEST_F(UploadSettingsWindowTest, S3IsPickedWithKeysItsValuesAreTypedAndTestReachesItsServer)
{
    auto* protocol = child<QComboBox>("cboProtocol");
    auto* bucket = child<QLineEdit>("txtBucket");
    auto* region = child<QLineEdit>("txtRegion");
    auto* pathStyle = child<QCheckBox>("chkPathStyle");
    auto* publicRead = child<QCheckBox>("chkPublicRead");
    EXPECT_EQ(region->text(), "us-east-1");
    EXPECT_TRUE(pathStyle->isChecked());
    EXPECT_FALSE(publicRead->isChecked());
    for (QWidget* control : std::initializer_list<QWidget*>{bucket, region, pathStyle, publicRead})
        EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(protocol, Qt::Key_Down);
    EXPECT_EQ(protocol->currentText(), "S3");
    EXPECT_EQ(mine("Protocol"), "S3");
    for (QWidget* control : std::initializer_list<QWidget*>{bucket, region, pathStyle, publicRead})
        EXPECT_TRUE(control->isEnabled()) << control->objectName().toStdString();
    EXPECT_FALSE(child<QCheckBox>("chkPassive")->isEnabled());
    EXPECT_TRUE(child<QCheckBox>("chkVerify")->isEnabled());
    EXPECT_FALSE(child<QLineEdit>("txtKeyFile")->isEnabled());

    retype(bucket, "holiday-cam");
    retype(region, "eu-central-1");
    QTest::keyClick(pathStyle, Qt::Key_Space);
    QTest::keyClick(publicRead, Qt::Key_Space);
    EXPECT_EQ(mine({"Bucket", "Region", "Path style", "Public read"}), "holiday-cam|eu-central-1|0|1");

    S3Server server;
    ASSERT_TRUE(server.start()) << server.startError().toStdString();
    ASSERT_TRUE(server.putObject("www/keep.jpg", "kept"));
    retype(child<QLineEdit>("Text1"), server.endpoint());
    retype(child<QLineEdit>("Text2"), S3Server::kAccessKey);
    retype(child<QLineEdit>("Text3"), S3Server::kSecretKey);
    retype(child<QLineEdit>("Text4"), "www/");
    retype(bucket, S3Server::kBucket);
    retype(region, S3Server::kRegion);
    QTest::keyClick(pathStyle, Qt::Key_Space);
    EXPECT_EQ(mine({"Host Name/Adress:", "Bucket", "Region", "Path style", "Public read"}),
              server.endpoint() + "|webcam|us-east-1|1|1");
    QTest::mouseClick(child<QPushButton>("cmdTest"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([this] { return prompter.shown().size() == 1; }, 10000));
    EXPECT_EQ(prompter.shown().back().icon, Prompter::Icon::Information);
    EXPECT_EQ(prompter.shown().back().text,
              "Connected to " + server.endpoint() +
                  " and logged in.\nWrote and removed a test file in the folder.\nThe server replaces a "
                  "file whole at each upload: \"Safe replace\" needs no rename here.")
        << prompter.shown().back().text.toStdString();
    EXPECT_EQ(server.keys(), QStringList{"www/keep.jpg"});
    const QList<HttpRequestLog::Entry> requests = server.requests();
    EXPECT_TRUE(std::any_of(requests.begin(), requests.end(), [](const HttpRequestLog::Entry& e) {
        return e.method == "PUT" && e.target == "/webcam/www/.velmora-test.tmp" &&
               e.fields.value("x-amz-acl") == "public-read";
    }));

    // The stored values come back; another protocol leaves them stored but out of use.
    m_window.reset();
    book.loadList();
    EXPECT_EQ(child<QComboBox>("cboProtocol")->currentText(), "S3");
    EXPECT_EQ(child<QLineEdit>("txtBucket")->text(), "webcam");
    EXPECT_TRUE(child<QCheckBox>("chkPublicRead")->isChecked());
    QTest::keyClick(child<QComboBox>("cboProtocol"), Qt::Key_Home);
    EXPECT_EQ(mine("Protocol"), "FTP");
    EXPECT_FALSE(child<QLineEdit>("txtBucket")->isEnabled());
    EXPECT_EQ(mine("Bucket"), "webcam");
}

TEST_F(UploadSettingsWindowTest, TestLogsInWritesAndRemovesAFileAndSaysSo)
{
    FtpServer server;
    ASSERT_TRUE(server.start()) << server.startError().toStdString();
    child<QLineEdit>("Text1")->setText(server.hostField());
    child<QLineEdit>("Text2")->setText(FtpServer::kUser);
    child<QLineEdit>("Text3")->setText(FtpServer::kPassword);
    child<QCheckBox>("chkPassive")->setChecked(true);
    // The test runs while the window goes on; the button waits for its report.
    auto* test = child<QPushButton>("cmdTest");
    const auto testAndWait = [this, test](size_t reports) {
        test->click();
        EXPECT_FALSE(test->isEnabled());
        EXPECT_TRUE(QTest::qWaitFor([this, reports] { return prompter.shown().size() == reports; }, 10000));
        EXPECT_TRUE(test->isEnabled());
    };
    testAndWait(1);
    ASSERT_EQ(prompter.shown().size(), 1u);
    EXPECT_EQ(prompter.shown().back().icon, Prompter::Icon::Information);
    EXPECT_EQ(
        prompter.shown().back().text,
        "Connected to " + server.hostField() +
            " and logged in.\nWrote and removed a test file in the folder.\nReplaced it by a rename, as "
            "\"Safe replace\" does.");
    EXPECT_TRUE(server.commands().contains("DELE .velmora-test.tmp"));
    EXPECT_TRUE(QDir(server.home()).entryList(QDir::Files | QDir::Hidden).isEmpty());

    child<QLineEdit>("Text4")->setText("/ro/");
    testAndWait(2);
    ASSERT_EQ(prompter.shown().size(), 2u);
    EXPECT_EQ(prompter.shown().back().icon, Prompter::Icon::Critical);
    EXPECT_TRUE(prompter.shown().back().text.endsWith("Server: 550 Not enough privileges."))
        << prompter.shown().back().text.toStdString();

    child<QLineEdit>("Text3")->setText("wrong");
    testAndWait(3);
    ASSERT_EQ(prompter.shown().size(), 3u);
    EXPECT_TRUE(prompter.shown().back().text.startsWith("Couldn't connect to " + server.hostField()));
    EXPECT_TRUE(prompter.shown().back().text.contains("Server: 530"));
}
} // namespace

TEST_F(UploadSettingsWindowTest, TimeWindowAndChangeOptionsShowTheirDefaultsAndSaveAtOnce)
{
    auto* from = child<QTimeEdit>("tmFrom");
    auto* to = child<QTimeEdit>("tmTo");
    auto* threshold = child<QLineEdit>("txtChangeThreshold");
    EXPECT_EQ(QStringList({from->time().toString("HH:mm"), to->time().toString("HH:mm"), threshold->text()}),
              QStringList({"08:00", "20:00", "5"}));
    EXPECT_EQ(mine({"Only hours", "TimeFrom", "Only when changed", "Change threshold"}), "-|-|-|-");
    child<QCheckBox>("chkBetweenTimes")->setChecked(true);
    from->setTime(QTime(22, 0));
    to->setTime(QTime(6, 30));
    child<QCheckBox>("chkOnlyChanged")->setChecked(true);
    retype(threshold, "12");
    EXPECT_EQ(mine({"Only hours", "TimeFrom", "TimeTo", "Only when changed", "Change threshold"}),
              "1|22:00|06:30|1|12");
    // Another account shows its own values; back again shows these.
    prompter.inputNext("Other");
    book.addAccount();
    clickRow(1);
    EXPECT_FALSE(child<QCheckBox>("chkOnlyChanged")->isChecked());
    EXPECT_EQ(to->time(), QTime(20, 0));
    clickRow(0);
    EXPECT_EQ(to->time(), QTime(6, 30));
    EXPECT_EQ(threshold->text(), "12");
}

// The number boxes of an account follow the rule of every number box: typed keys are never
// dropped, a fraction keeps its whole part (not its digits run together), text that is no number
// keeps the value, a note says why, and leaving the box shows what is stored.
TEST_F(UploadSettingsWindowTest, TheAccountsNumberBoxesKeepWhatTheyShow)
{
    window().show();
    const struct
    {
        const char* box;
        const char* stored;
        std::vector<Typing::NumberCase> cases;
    } boxes[] = {
        {"txtChangeThreshold",
         "Change threshold",
         {{"12.9", "12", true},
          {"3e2", "12", true},
          {"-4", "0", true},
          {"99999999999", "100", true},
          {"abc", "100", true},
          {"40", "40", false}}},
        {"txtArchiveKeep",
         "Archive keep",
         {{"12.9", "12", true},
          {"3e2", "12", true},
          {"-4", "0", true},
          {"99999999999", "1000000", true},
          {"30", "30", false}}},
        {"txtArchiveDays",
         "Archive days",
         {{"12.9", "12", true}, {"abc", "12", true}, {"", "12", true}, {"0", "0", false}}},
    };
    for (const auto& box : boxes) {
        auto* field = child<QLineEdit>(box.box);
        for (const auto& c : box.cases) {
            SCOPED_TRACE(std::string(box.box) + " " + c.typed);
            retype(field, c.typed);
            EXPECT_EQ(field->text(), c.typed);
            leaveField(field);
            EXPECT_EQ(field->text(), c.shown);
            EXPECT_EQ(mine(box.stored), c.shown);
            EXPECT_EQ(!Typing::note(field).isEmpty(), c.noted) << Typing::note(field).toStdString();
        }
    }
}

TEST_F(UploadSettingsWindowTest, ArchiveNamesThatWouldMakeAPathAreRefusedInTheWindow)
{
    window().show();
    child<QTabWidget>("TabStripFTP")->setCurrentIndex(UploadSettingsWindow::kArchiveTab);
    auto* name = child<QLineEdit>("txtArchiveName");
    auto* problem = child<QLabel>("lblArchiveProblem");
    EXPECT_EQ(name->text(), "cam-%Y%m%d-%H%M%S.jpg");
    EXPECT_FALSE(problem->isVisible());
    retype(name, "old/%H.jpg");
    EXPECT_TRUE(problem->isVisible());
    EXPECT_TRUE(problem->text().startsWith("The archive name contains \"/\""))
        << problem->text().toStdString();
    EXPECT_EQ(mine("Archive name"), std::nullopt) << "a refused name is not stored";
    retype(name, "door-%d-%H.jpg");
    EXPECT_FALSE(problem->isVisible());
    child<QCheckBox>("chkArchiveServer")->setChecked(true);
    child<QCheckBox>("chkArchiveLocal")->setChecked(true);
    retype(child<QLineEdit>("txtArchiveKeep"), "30");
    retype(child<QLineEdit>("txtArchiveDays"), "0");
    EXPECT_EQ(mine({"Archive name", "Archive on server", "Archive locally", "Archive keep", "Archive days"}),
              "door-%d-%H.jpg|1|1|30|0");
    EXPECT_EQ(child<QLabel>("lblArchiveDaysUnit")->text(), "days (0 keeps all)");
}

namespace {
// A new user fills in the window with keys and clicks, in the order a person does, and the next
// timed upload goes to a real server on the loopback interface.
class FirstHourTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start()) << server.startError().toStdString();
        rig.load();
        window.showWindow();
    }
    template <typename T> T* child(const char* name) { return window.findChild<T*>(name); }
    // A click into the field, then the keys.
    void typeInto(const char* field, const QString& keys)
    {
        auto* edit = child<QLineEdit>(field);
        QTest::mouseClick(edit, Qt::LeftButton);
        Typing::type(edit, keys);
    }
    void fillInServer()
    {
        window.findChild<QTabWidget*>("TabStripFTP")->setCurrentIndex(0);
        typeInto("Text1", server.hostField());
        typeInto("Text2", FtpServer::kUser);
        typeInto("Text3", FtpServer::kPassword);
    }
    std::optional<QString> stored(const QString& account, const QString& name)
    {
        return rig.store.GetString(HKEY_LOCAL_MACHINE, UploadRig::kProductKey + '\\' + account, name);
    }

    FtpServer server;
    UploadRig rig;
    TempDir helpDir;
    Help help{helpDir.path()};
    ScriptedDialogs dialogs;
    UploadSettingsWindow window{rig.accounts, help, dialogs};
};

TEST_F(FirstHourTest, APasswordTypedBeforeRememberIsTickedIsStoredAndUploads)
{
    fillInServer();
    EXPECT_EQ(stored("My Account", "Password:"), std::nullopt);
    Typing::tick(child<QCheckBox>("rem_pass"));
    EXPECT_EQ(stored("My Account", "Remember password"), "1");
    EXPECT_EQ(stored("My Account", "Password:"), FtpServer::kPassword);
    QTest::mouseClick(child<QPushButton>("Command1"), Qt::LeftButton);
    EXPECT_EQ(rig.runCycle(true), UploadCycle::Outcome::Delivered);
    EXPECT_TRUE(QFile::exists(server.homeFile("webcam.jpg")));
}

TEST_F(FirstHourTest, APasswordNotRememberedServesThisRunOnlyAndTheNextRunSaysItIsMissing)
{
    fillInServer();
    QTest::mouseClick(child<QPushButton>("Command1"), Qt::LeftButton);
    EXPECT_EQ(stored("My Account", "Password:"), std::nullopt);
    EXPECT_EQ(rig.runCycle(true), UploadCycle::Outcome::Delivered);
    EXPECT_TRUE(QFile::exists(server.homeFile("webcam.jpg")));

    // The next start has no password: one clear line, no login tried.
    const qsizetype commands = server.commands().size();
    AccountBook nextRun(rig.store, rig.prompter);
    nextRun.loadList();
    EXPECT_TRUE(UploadCycle::lacksPassword(nextRun.loaded()));
    FtpLog log;
    UploadCycle cycle(UploadCycle::Dependencies{nextRun, rig.options, rig.capture.get(), *rig.ftp,
                                                rig.prompter, rig.status, rig.sound, rig.work.path(), &log});
    const std::optional<UploadCycle::Result> result = untilSignal<UploadCycle::Result>(
        &cycle, &UploadCycle::finished, [&cycle] { cycle.upload_now(true); }, 10000);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->outcome, UploadCycle::Outcome::Failed);
    EXPECT_TRUE(log.text().endsWith(UploadCycle::kNoPassword)) << log.text().toStdString();
    EXPECT_EQ(server.commands().size(), commands);
}

TEST_F(FirstHourTest, AfterAddTheNewAccountIsCurrentAndTypingGoesToIt)
{
    fillInServer();
    rig.prompter.inputNext(QStringLiteral("second"));
    QTest::mouseClick(child<QPushButton>("cmdAdd"), Qt::LeftButton);
    auto* list = child<QTreeWidget>("ftps");
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->currentItem(), list->topLevelItem(1));
    EXPECT_EQ(child<QLineEdit>("Text1")->text(), "");
    typeInto("Text1", "second.example.net");
    EXPECT_EQ(stored("second", "Host Name/Adress:"), "second.example.net");
    EXPECT_EQ(stored("My Account", "Host Name/Adress:"), server.hostField());
    EXPECT_EQ(list->topLevelItem(0)->text(1), server.hostField());
    // A new account starts in passive mode with a safe replace, stored with it.
    EXPECT_TRUE(child<QCheckBox>("chkPassive")->isChecked());
    EXPECT_TRUE(child<QCheckBox>("chkSafeReplace")->isChecked());
    EXPECT_EQ(stored("second", "Passive"), "1");
    EXPECT_EQ(stored("second", "Safe replace"), "1");
}
} // namespace

// "Camera" lists the program's camera first, then every camera by name, and stores the chosen
// camera's identity; a stored camera that is not plugged in stays chosen and stays stored.
TEST_F(UploadSettingsWindowTest, TheAccountsCameraIsChosenWithKeysAndStoredByIdentity)
{
    FakeCapture capture({QStringLiteral("Desk"), QStringLiteral("Yard")});
    window().setCameras(&capture);
    auto* camera = child<QComboBox>("cboCamera");
    EXPECT_EQ(camera->currentText(), "The program's camera");
    EXPECT_EQ(camera->count(), 3);
    QTest::keyClick(camera, Qt::Key_Down);
    QTest::keyClick(camera, Qt::Key_Down);
    EXPECT_EQ(camera->currentText(), "Yard");
    EXPECT_EQ(mine("Camera"), capture.DriverIdentity(1));
    QTest::keyClick(camera, Qt::Key_Home);
    EXPECT_EQ(mine("Camera"), "");

    // A camera plugged in later is offered at once; one that went away says so.
    capture.unplugged << QStringLiteral("Yard");
    capture.addDriver(QStringLiteral("Door"));
    EXPECT_EQ(camera->itemText(2), "Yard (not plugged in)");
    QTest::keyClick(camera, Qt::Key_End);
    EXPECT_EQ(camera->currentText(), "Door");
    EXPECT_EQ(mine("Camera"), capture.DriverIdentity(2));

    // Another account names a camera that is not here.
    prompter.inputNext(QStringLiteral("Garden"));
    child<QPushButton>("cmdAdd")->click();
    clickRow(0);
    m_store.SaveString(HKEY_LOCAL_MACHINE, key("Garden"), "Camera", "Fake|Shed|Shed");
    clickRow(1);
    EXPECT_EQ(camera->currentText(), "Shed (not plugged in)");
    EXPECT_EQ(camera->count(), 5);
    retype(child<QLineEdit>("Text1"), "garden.example");
    EXPECT_EQ(stored("Camera", key("Garden")), "Fake|Shed|Shed");
    clickRow(0);
    EXPECT_EQ(camera->currentText(), "Door");
}

// The timelapse is set up on the Archive tab with clicks and keys; the tab says why no movie can
// be made until the account keeps local copies in a folder, and "Make timelapse now" makes the
// chosen day's movie, with its progress, into the local folder.
TEST_F(UploadSettingsWindowTest, TheTimelapseIsSetUpWithKeysAndMadeNowForAChosenDay)
{
    TempDir local;
    SetClock clock(QDateTime(QDate(2026, 12, 7), QTime(12, 0)));
    FtpLog log;
    TimelapseService service(book, log, UploadRig::shortTimeouts(), clock);
    window().setTimelapse(&service);
    window().show();
    child<QTabWidget>("TabStripFTP")->setCurrentIndex(UploadSettingsWindow::kArchiveTab);
    auto* timelapse = child<QCheckBox>("chkTimelapse");
    auto* rate = child<QLineEdit>("txtTimelapseRate");
    auto* why = child<QLabel>("lblTimelapseWhy");
    auto* now = child<QPushButton>("cmdTimelapseNow");
    EXPECT_FALSE(timelapse->isChecked());
    EXPECT_FALSE(rate->isEnabled());
    EXPECT_FALSE(now->isEnabled());

    QTest::mouseClick(timelapse, Qt::LeftButton, {}, QPoint(5, timelapse->height() / 2));
    EXPECT_EQ(mine("Timelapse"), "1");
    EXPECT_TRUE(rate->isEnabled());
    EXPECT_TRUE(why->isVisible());
    EXPECT_TRUE(why->text().startsWith("A timelapse is made of the local archive copies"))
        << why->text().toStdString();
    auto* archive = child<QCheckBox>("chkArchiveLocal");
    QTest::mouseClick(archive, Qt::LeftButton, {}, QPoint(5, archive->height() / 2));
    EXPECT_TRUE(why->text().startsWith("A timelapse needs the local folder")) << why->text().toStdString();

    m_store.SaveString(HKEY_LOCAL_MACHINE, key("My Account"), "LocallySource", local.path() + '/');
    m_store.SaveString(HKEY_LOCAL_MACHINE, key("My Account"), "Locally", "1");
    m_store.SaveString(HKEY_LOCAL_MACHINE, key("My Account"), "Only Locally", "1");
    book.selectRow(0);
    EXPECT_FALSE(why->isVisible()) << why->text().toStdString();
    EXPECT_TRUE(now->isEnabled());

    retype(rate, "90");
    leaveField(rate);
    EXPECT_EQ(mine("Timelapse rate"), "60");
    retype(rate, "10");
    leaveField(rate);
    EXPECT_EQ(mine("Timelapse rate"), "10");
    auto* name = child<QLineEdit>("txtTimelapseName");
    retype(name, "movies/%Y.webm");
    EXPECT_TRUE(why->isVisible());
    EXPECT_EQ(mine("Timelapse name"), std::nullopt) << "a refused name is not stored";
    retype(name, "day-%Y%m%d.webm");
    EXPECT_FALSE(why->isVisible());
    EXPECT_EQ(mine("Timelapse name"), "day-%Y%m%d.webm");
    auto* time = child<QTimeEdit>("tmTimelapse");
    QTest::keyClick(time, Qt::Key_Up);
    EXPECT_EQ(mine("Timelapse time"), "01:10");

    // The day before the one shown (yesterday at first), chosen with the keyboard.
    auto* day = child<QDateEdit>("dtTimelapseDay");
    day->setFocus();
    const QDate shown = day->date();
    QTest::keyClick(day, Qt::Key_End);
    QTest::keyClick(day, Qt::Key_Down);
    ASSERT_EQ(day->date(), shown.addDays(-1));
    QImage picture(96, 64, QImage::Format_RGB32);
    for (int i = 0; i < 50; ++i) {
        picture.fill(QColor::fromHsv(i * 7, 200, 200));
        const QDateTime at(day->date(), QTime(i / 6, (i % 6) * 10));
        ASSERT_TRUE(picture.save(local.file(at.toString("'cam-'yyyyMMdd-HHmmss'.jpg'"))));
    }
    QSignalSpy finished(&service, &TimelapseService::finished);
    QSignalSpy progress(&service, &TimelapseService::progress);
    now->click();
    ASSERT_TRUE(finished.wait(30000));
    EXPECT_FALSE(progress.isEmpty());
    EXPECT_EQ(child<QLabel>("lblTimelapseResult")->text(), "Timelapse saved locally");
    EXPECT_FALSE(child<QProgressBar>("barTimelapse")->isVisible());
    EXPECT_TRUE(QFile::exists(local.file(day->date().toString("'day-'yyyyMMdd'.webm'"))));
    EXPECT_TRUE(prompter.texts().isEmpty()) << prompter.texts().join('|').toStdString();
}
