#include "ui/UploadSettingsWindow.h"

#include "common/Prompter.h"
#include "help/Help.h"
#include "help/ScreenPlacement.h"
#include "settings/AccountBook.h"
#include "settings/DestinationName.h"
#include "settings/IntervalTable.h"
#include "ui/NumberField.h"
#include "ui/SettingsDialogs.h"
#include "ui/StampPreview.h"
#include "upload/ArchiveName.h"
#include "upload/ConnectionTest.h"
#include "upload/FtpClient.h"
#include "upload/WorkerThread.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QFocusEvent>
#include <QFontInfo>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTabWidget>
#include <QTimeEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
QLabel* label(const QString& name, const QString& caption)
{
    auto* l = new QLabel(caption);
    l->setObjectName(name);
    return l;
}

template <typename W> W* named(W* widget, const QString& name)
{
    widget->setObjectName(name);
    return widget;
}

QFrame* frame(const QString& name)
{
    return named(new QFrame, name);
}

QFont stampFont(const Account& a)
{
    QFont font(a.fontName);
    font.setPointSizeF(a.fontSize);
    font.setBold(a.fontBold);
    font.setItalic(a.fontItalic);
    return font;
}

// Sets a line edit only when its text differs, so the cursor stays put while the user types.
void showText(QLineEdit* edit, const QString& text)
{
    if (edit->text() != text)
        edit->setText(text);
}
} // namespace

UploadSettingsWindow::~UploadSettingsWindow()
{
    // A test that still talks to its server is cut off rather than waited for.
    if (m_testClient)
        m_testClient->cancel();
}

UploadSettingsWindow::UploadSettingsWindow(AccountBook& book, Help& help, SettingsDialogs& dialogs,
                                           QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_book(book), m_help(help), m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Upload Settings"));

    m_ftps = named(new QTreeWidget, QStringLiteral("ftps"));
    m_ftps->setColumnCount(3);
    m_ftps->setHeaderLabels(
        {QStringLiteral("FTP Account"), QStringLiteral("Host Name"), QStringLiteral("Every")});
    m_ftps->setRootIsDecorated(false);
    m_ftps->setUniformRowHeights(true);
    m_ftps->header()->setStretchLastSection(true);
    m_ftps->setColumnWidth(0, 160);
    m_ftps->setColumnWidth(1, 170);
    m_add = named(new QPushButton(QStringLiteral("&Add")), QStringLiteral("cmdAdd"));
    m_remove = named(new QPushButton(QStringLiteral("&Remove")), QStringLiteral("cmdRemove"));
    m_rename = named(new QPushButton(QStringLiteral("Re&name")), QStringLiteral("cmdRename"));
    m_ftps->viewport()->installEventFilter(this);
    m_storeProblem = label(QStringLiteral("lblStoreProblem"), QString());
    m_storeProblem->setWordWrap(true);
    m_storeProblem->setStyleSheet(QStringLiteral("color: #b00000"));
    m_storeProblem->hide();

    m_tabs = named(new QTabWidget, QStringLiteral("TabStripFTP"));
    m_tabs->addTab(buildGeneral(), QStringLiteral("&General"));
    m_tabs->addTab(buildDestination(), QStringLiteral("&Destination"));
    m_tabs->addTab(buildInterval(), QStringLiteral("&Interval"));
    m_tabs->addTab(buildTimestamp(), QStringLiteral("&Timestamp"));
    m_tabs->addTab(buildArchive(), QStringLiteral("Ar&chive"));

    m_helpButton = named(new QPushButton(QStringLiteral("&Help")), QStringLiteral("cmdHelp"));
    m_ok = named(new QPushButton(QStringLiteral("&OK")), QStringLiteral("Command1"));
    m_ok->setDefault(true);

    auto* listButtons = new QVBoxLayout;
    listButtons->addWidget(m_add);
    listButtons->addWidget(m_remove);
    listButtons->addWidget(m_rename);
    listButtons->addStretch();
    auto* list = new QHBoxLayout;
    list->addWidget(m_ftps, 1);
    list->addLayout(listButtons);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_helpButton);
    bottom->addStretch();
    bottom->addWidget(m_ok);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_storeProblem);
    layout->addWidget(label(QStringLiteral("cmdUpload_to"), QStringLiteral("My Accounts:")));
    layout->addLayout(list, 1);
    layout->addWidget(m_tabs);
    layout->addLayout(bottom);
    resize(560, 520);

    ScreenPlacement::centreOnScreen(*this);
    m_tabs->setCurrentIndex(0);
    connectControls();
    if (m_book.rowCount() == 0)
        m_book.loadList();
    refreshRows();
    refreshControls();
}

QWidget* UploadSettingsWindow::buildGeneral()
{
    QFrame* page = frame(QStringLiteral("Frame1"));
    m_host = named(new QLineEdit, QStringLiteral("Text1"));
    m_user = named(new QLineEdit, QStringLiteral("Text2"));
    m_password = named(new QLineEdit, QStringLiteral("Text3"));
    m_password->setEchoMode(QLineEdit::Password);
    m_remember = named(new QCheckBox(QStringLiteral("Remember my password")), QStringLiteral("rem_pass"));
    m_protocol = named(new QComboBox, QStringLiteral("cboProtocol"));
    m_protocol->addItem(QStringLiteral("FTP"), static_cast<int>(Account::Protocol::Ftp));
    m_protocol->addItem(QStringLiteral("FTPS (explicit TLS)"), static_cast<int>(Account::Protocol::Ftps));
    m_protocol->addItem(QStringLiteral("SFTP"), static_cast<int>(Account::Protocol::Sftp));
    m_passive = named(new QCheckBox(QStringLiteral("&Passive mode")), QStringLiteral("chkPassive"));
    m_passive->setToolTip(QStringLiteral("For servers behind NAT or a firewall; not used by SFTP"));
    m_verify = named(new QCheckBox(QStringLiteral("&Verify certificate")), QStringLiteral("chkVerify"));
    m_verify->setToolTip(QStringLiteral("Clear it to accept a self-signed certificate (FTPS)"));
    m_keyFile = named(new QLineEdit, QStringLiteral("txtKeyFile"));
    m_keyFile->setToolTip(QStringLiteral("SFTP: a private key used instead of the password; the password "
                                         "then unlocks the key"));
    m_keyBrowse = named(new QPushButton(QStringLiteral("&Key...")), QStringLiteral("cmdKeyFile"));
    m_test = named(new QPushButton(QStringLiteral("&Test")), QStringLiteral("cmdTest"));

    auto* flags = new QHBoxLayout;
    flags->addWidget(m_passive);
    flags->addWidget(m_verify);
    flags->addStretch();
    auto* key = new QHBoxLayout;
    key->addWidget(m_keyFile, 1);
    key->addWidget(m_keyBrowse);
    auto* rememberAndTest = new QHBoxLayout;
    rememberAndTest->addWidget(m_remember);
    rememberAndTest->addStretch();
    rememberAndTest->addWidget(m_test);
    auto* form = new QFormLayout(page);
    form->addRow(label(QStringLiteral("lblHost"), QStringLiteral("Host Name/Adress:")), m_host);
    form->addRow(label(QStringLiteral("lblUser"), QStringLiteral("User ID:")), m_user);
    form->addRow(label(QStringLiteral("lblPass"), QStringLiteral("Password:")), m_password);
    form->addRow(QString(), rememberAndTest);
    form->addRow(label(QStringLiteral("lblProtocol"), QStringLiteral("Protocol:")), m_protocol);
    form->addRow(QString(), flags);
    form->addRow(label(QStringLiteral("lblKeyFile"), QStringLiteral("Key file:")), key);
    return page;
}

bool UploadSettingsWindow::showFileNameProblem(const QString& name)
{
    const QString problem = DestinationName::problem(name);
    m_fileNameProblem->setText(QStringLiteral("The destination file name ") + problem +
                               QStringLiteral(": it is not used. Give a name without a folder."));
    m_fileNameProblem->setVisible(!problem.isEmpty());
    return problem.isEmpty();
}

QWidget* UploadSettingsWindow::buildDestination()
{
    QFrame* page = frame(QStringLiteral("Frame3"));
    m_folder = named(new QLineEdit, QStringLiteral("Text4"));
    m_folder->installEventFilter(this);
    m_fileName = named(new QLineEdit(QStringLiteral("webcam")), QStringLiteral("Text8"));
    auto* extension = named(new QLineEdit(QStringLiteral(".jpg")), QStringLiteral("Text9"));
    extension->setReadOnly(true);
    extension->setMaximumWidth(50);
    m_locally =
        named(new QCheckBox(QStringLiteral("&Save picture locally to:")), QStringLiteral("chkLocally"));
    m_localFolder = named(new QLineEdit, QStringLiteral("txtLocallySource"));
    m_browse = named(new QPushButton(QStringLiteral("&Browse")), QStringLiteral("cmdBrowse"));
    m_onlyLocally = named(new QCheckBox(QStringLiteral("&Only locally")), QStringLiteral("chkOnlylo"));
    m_onlyLocally->setToolTip(QStringLiteral("No FTP-Settings required if checked"));
    m_safeReplace =
        named(new QCheckBox(QStringLiteral("Safe &replace (upload under a temporary name, then rename)")),
              QStringLiteral("chkSafeReplace"));

    auto* grid = new QGridLayout(page);
    grid->addWidget(label(QStringLiteral("lblInitial"), QStringLiteral("Folder:")), 0, 0);
    grid->addWidget(m_folder, 0, 1, 1, 2);
    grid->addWidget(label(QStringLiteral("Label5"), QStringLiteral("Destination filename:")), 1, 0);
    grid->addWidget(m_fileName, 1, 1);
    grid->addWidget(extension, 1, 2);
    // Why a typed name is not used, right under it.
    m_fileNameProblem = label(QStringLiteral("lblFileNameProblem"), QString());
    m_fileNameProblem->setWordWrap(true);
    m_fileNameProblem->setStyleSheet(QStringLiteral("color: #b00000"));
    m_fileNameProblem->hide();
    grid->addWidget(m_fileNameProblem, 2, 1, 1, 2);
    grid->addWidget(m_locally, 3, 0, 1, 3);
    grid->addWidget(m_localFolder, 4, 0, 1, 2);
    grid->addWidget(m_browse, 4, 2);
    grid->addWidget(m_onlyLocally, 5, 0, 1, 3);
    grid->addWidget(m_safeReplace, 6, 0, 1, 3);
    grid->setRowStretch(7, 1);
    return page;
}

QWidget* UploadSettingsWindow::buildInterval()
{
    QFrame* page = frame(QStringLiteral("Frame2"));
    m_interval = named(new QComboBox, QStringLiteral("Combo"));
    for (int position = 0; position < IntervalTable::count(); ++position)
        m_interval->addItem(IntervalTable::item(position).text, IntervalTable::item(position).data);
    m_seconds = named(new QLineEdit, QStringLiteral("txtmSec"));
    m_secondsField = new NumberField(
        *m_seconds, {0, IntervalTable::kMaxSeconds, true}, [this] { return m_book.loaded().seconds; },
        [this](const QString& text) { m_book.setSecondsText(text); }, this);
    // A number typed on the way ("3" of "3e2") may have switched the interval to "Custom": text that
    // turns out no number brings back the interval chosen before, not only its seconds.
    connect(m_secondsField, &NumberField::typingStarted, this,
            [this] { m_intervalBeforeTyping = m_book.loaded().intervalItem; });
    connect(m_secondsField, &NumberField::reverted, this, [this] {
        if (m_book.loaded().intervalItem != m_intervalBeforeTyping)
            m_book.setIntervalItem(m_intervalBeforeTyping);
    });
    m_between = named(new QCheckBox(QStringLiteral("Only Between:")), QStringLiteral("chkBetween"));
    m_dateFrom = named(new QDateEdit, QStringLiteral("DTPicker1"));
    m_dateTo = named(new QDateEdit, QStringLiteral("DTPicker2"));
    for (QDateEdit* picker : {m_dateFrom, m_dateTo})
        picker->setCalendarPopup(true);
    m_betweenTimes =
        named(new QCheckBox(QStringLiteral("Only between times:")), QStringLiteral("chkBetweenTimes"));
    m_betweenTimes->setToolTip(QStringLiteral("Timed uploads only from the first time to the second, both "
                                              "included; 22:00 and 06:00 mean the night"));
    m_timeFrom = named(new QTimeEdit, QStringLiteral("tmFrom"));
    m_timeTo = named(new QTimeEdit, QStringLiteral("tmTo"));
    for (QTimeEdit* picker : {m_timeFrom, m_timeTo})
        picker->setDisplayFormat(QStringLiteral("HH:mm"));
    m_onlyChanged = named(new QCheckBox(QStringLiteral("Only when the picture changed by at least")),
                          QStringLiteral("chkOnlyChanged"));
    m_onlyChanged->setToolTip(QStringLiteral("Timed uploads skip a picture that looks like the one last "
                                             "uploaded; Upload Now always uploads"));
    m_changeThreshold = named(new QLineEdit, QStringLiteral("txtChangeThreshold"));
    m_changeThresholdField = numberField(m_changeThreshold, {0, 100, false}, &Account::changeThreshold);

    auto* grid = new QGridLayout(page);
    grid->addWidget(label(QStringLiteral("Label1"), QStringLiteral("Upload image every:")), 0, 0);
    grid->addWidget(m_interval, 0, 1, 1, 2);
    grid->addWidget(m_seconds, 1, 1);
    grid->addWidget(label(QStringLiteral("lblmSec"), QStringLiteral("Seconds")), 1, 2);
    grid->addWidget(m_between, 2, 0);
    grid->addWidget(m_dateFrom, 2, 1);
    grid->addWidget(label(QStringLiteral("lblAnd"), QStringLiteral("and")), 2, 2);
    grid->addWidget(m_dateTo, 2, 3);
    grid->addWidget(m_betweenTimes, 3, 0);
    grid->addWidget(m_timeFrom, 3, 1);
    grid->addWidget(label(QStringLiteral("lblTimeAnd"), QStringLiteral("and")), 3, 2);
    grid->addWidget(m_timeTo, 3, 3);
    grid->addWidget(m_onlyChanged, 4, 0, 1, 2);
    grid->addWidget(m_changeThreshold, 4, 2);
    grid->addWidget(label(QStringLiteral("lblChangePercent"), QStringLiteral("%")), 4, 3);
    // The notes of the number boxes under everything else, so that one appearing moves nothing.
    grid->addWidget(m_secondsField->note(), 5, 0, 1, 4);
    grid->addWidget(m_changeThresholdField->note(), 6, 0, 1, 4);
    grid->setRowStretch(7, 1);
    return page;
}

QWidget* UploadSettingsWindow::buildTimestamp()
{
    QFrame* page = frame(QStringLiteral("frametimestamp"));
    m_timestamp = named(new QCheckBox(QStringLiteral("Add timestamp to picture")), QStringLiteral("Check1"));
    m_textTime =
        named(new QCheckBox(QStringLiteral("Upload textfile with time")), QStringLiteral("chkTxtTime"));
    m_preview = named(new StampPreview, QStringLiteral("picUnder"));
    m_font = named(new QPushButton(QStringLiteral("&Font")), QStringLiteral("Command3"));
    m_backColor = named(new QPushButton(QStringLiteral("&Background color")), QStringLiteral("Command4"));
    m_foreColor = named(new QPushButton(QStringLiteral("&Text color")), QStringLiteral("Command5"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_font);
    buttons->addWidget(m_backColor);
    buttons->addWidget(m_foreColor);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(m_timestamp);
    layout->addWidget(m_textTime);
    layout->addWidget(label(QStringLiteral("Label7"), QStringLiteral("Preview:")));
    layout->addWidget(m_preview);
    layout->addLayout(buttons);
    layout->addStretch();
    return page;
}

QWidget* UploadSettingsWindow::buildArchive()
{
    QFrame* page = frame(QStringLiteral("frameArchive"));
    m_archiveServer =
        named(new QCheckBox(QStringLiteral("Keep dated copies on the &server, beside the picture")),
              QStringLiteral("chkArchiveServer"));
    m_archiveLocal = named(new QCheckBox(QStringLiteral("Keep dated copies in the &local folder")),
                           QStringLiteral("chkArchiveLocal"));
    m_archiveLocal->setToolTip(
        QStringLiteral("The folder of \"Save picture locally to:\" on the Destination tab"));
    m_archiveName = named(new QLineEdit, QStringLiteral("txtArchiveName"));
    m_archiveName->setToolTip(
        QStringLiteral("%Y year, %y year (2 digits), %m month, %d day, %H hour, %M minute, "
                       "%S second, %% a percent sign"));
    m_archiveProblem = label(QStringLiteral("lblArchiveProblem"), QString());
    m_archiveProblem->setWordWrap(true);
    m_archiveProblem->setStyleSheet(QStringLiteral("color: #b00000"));
    m_archiveProblem->hide();
    m_archiveKeep = named(new QLineEdit, QStringLiteral("txtArchiveKeep"));
    m_archiveKeepField = numberField(m_archiveKeep, {0, kMaxArchiveCount, false}, &Account::archiveKeep);
    m_archiveDays = named(new QLineEdit, QStringLiteral("txtArchiveDays"));
    m_archiveDaysField = numberField(m_archiveDays, {0, kMaxArchiveCount, false}, &Account::archiveDays);

    auto* grid = new QGridLayout(page);
    grid->addWidget(m_archiveServer, 0, 0, 1, 2);
    grid->addWidget(m_archiveLocal, 1, 0, 1, 2);
    grid->addWidget(label(QStringLiteral("lblArchiveName"), QStringLiteral("Archive name:")), 2, 0);
    grid->addWidget(m_archiveName, 2, 1);
    grid->addWidget(m_archiveProblem, 3, 1);
    grid->addWidget(label(QStringLiteral("lblArchiveKeep"), QStringLiteral("Keep locally the newest:")), 4,
                    0);
    const auto withUnit = [](QLineEdit* box, QLabel* unit) {
        auto* line = new QHBoxLayout;
        line->addWidget(box);
        line->addWidget(unit);
        line->addStretch();
        return line;
    };
    grid->addLayout(withUnit(m_archiveKeep, label(QStringLiteral("lblArchiveKeepUnit"),
                                                  QStringLiteral("copies (0 keeps all)"))),
                    4, 1);
    grid->addWidget(
        label(QStringLiteral("lblArchiveDays"), QStringLiteral("Remove server copies older than:")), 5, 0);
    grid->addLayout(withUnit(m_archiveDays, label(QStringLiteral("lblArchiveDaysUnit"),
                                                  QStringLiteral("days (0 keeps all)"))),
                    5, 1);
    grid->addWidget(m_archiveKeepField->note(), 6, 0, 1, 2);
    grid->addWidget(m_archiveDaysField->note(), 7, 0, 1, 2);
    grid->setRowStretch(8, 1);
    return page;
}

NumberField* UploadSettingsWindow::numberField(QLineEdit* edit, const TypedNumber::Range& range,
                                               int Account::*field)
{
    edit->setMaximumWidth(90);
    return new NumberField(
        *edit, range, [this, field] { return QString::number(m_book.loaded().*field); },
        [this, field](const QString& text) { m_book.set(field, text.toInt()); }, this);
}

void UploadSettingsWindow::showNumber(NumberField* field, QLineEdit* edit, int value)
{
    // What another account holds, or what the program put there: no note about earlier typing.
    if (field->isTyping())
        return;
    if (edit->text() != QString::number(value)) {
        edit->setText(QString::number(value));
        field->clearNote();
    }
}

template <typename Sender, typename Signal, typename Handler>
void UploadSettingsWindow::onEdit(Sender* sender, Signal signal, Handler handler)
{
    connect(sender, signal, this, [this, handler](auto&&... args) {
        if (!m_refreshing)
            handler(args...);
    });
}

void UploadSettingsWindow::connectControls()
{
    AccountBook& book = m_book;
    connect(&m_book, &AccountBook::rowsChanged, this, &UploadSettingsWindow::refreshRows);
    connect(&m_book, &AccountBook::loadedChanged, this, &UploadSettingsWindow::refreshControls);

    // Another row became current (a press, the keyboard); moving between the columns of the
    // current row loads nothing.
    onEdit(m_ftps, &QTreeWidget::currentItemChanged, [this](QTreeWidgetItem* item, QTreeWidgetItem*) {
        const int row = m_ftps->indexOfTopLevelItem(item);
        if (item && row != m_book.currentRow())
            m_book.selectRow(row);
    });
    // A press on another row made it current above; a press on the current row reloads it.
    onEdit(m_ftps, &QTreeWidget::itemPressed, [this](QTreeWidgetItem* item, int) {
        const int row = m_ftps->indexOfTopLevelItem(item);
        if (row == m_rowAtPress)
            m_book.selectRow(row);
    });
    onEdit(m_ftps, &QTreeWidget::itemChanged, [this](QTreeWidgetItem* item, int column) {
        if (column == 0)
            m_book.setChecked(m_ftps->indexOfTopLevelItem(item), item->checkState(0) == Qt::Checked);
    });
    connect(m_add, &QPushButton::clicked, &m_book, &AccountBook::addAccount);
    connect(m_remove, &QPushButton::clicked, &m_book, &AccountBook::removeAccount);
    connect(m_rename, &QPushButton::clicked, &m_book, &AccountBook::renameAccount);
    connect(m_helpButton, &QPushButton::clicked, this,
            [this] { m_help.ShowHelpTopic(QStringLiteral("ftp")); });
    connect(m_ok, &QPushButton::clicked, this, &UploadSettingsWindow::confirm);

    onEdit(m_host, &QLineEdit::textChanged, [&book](const QString& text) { book.set(&Account::host, text); });
    onEdit(m_user, &QLineEdit::textChanged, [&book](const QString& text) { book.set(&Account::user, text); });
    onEdit(m_password, &QLineEdit::textChanged, [&book](const QString& text) { book.setPassword(text); });
    onEdit(m_remember, &QCheckBox::toggled, [&book](bool on) { book.setRememberPassword(on); });
    onEdit(m_protocol, &QComboBox::currentIndexChanged, [this](int index) {
        m_book.set(&Account::protocol, static_cast<Account::Protocol>(m_protocol->itemData(index).toInt()));
    });
    onEdit(m_passive, &QCheckBox::toggled, [&book](bool on) { book.set(&Account::passive, on); });
    onEdit(m_verify, &QCheckBox::toggled, [&book](bool on) { book.set(&Account::verifyCertificate, on); });
    onEdit(m_keyFile, &QLineEdit::textChanged,
           [&book](const QString& text) { book.set(&Account::keyFile, text); });
    connect(m_keyBrowse, &QPushButton::clicked, this, &UploadSettingsWindow::chooseKeyFile);
    connect(m_test, &QPushButton::clicked, this, &UploadSettingsWindow::testConnection);
    onEdit(m_safeReplace, &QCheckBox::toggled, [&book](bool on) { book.set(&Account::safeReplace, on); });

    onEdit(m_folder, &QLineEdit::textChanged,
           [&book](const QString& text) { book.set(&Account::folder, text); });
    // A name with a folder in it is not stored: it would put the picture outside the folders the
    // user gave. The stored name stays the last usable one.
    onEdit(m_fileName, &QLineEdit::textChanged, [this, &book](const QString& text) {
        if (showFileNameProblem(text))
            book.set(&Account::fileName, text);
    });
    onEdit(m_localFolder, &QLineEdit::textChanged,
           [&book](const QString& text) { book.set(&Account::localFolder, text); });
    onEdit(m_locally, &QCheckBox::toggled, [&book](bool on) { book.set(&Account::locally, on); });
    onEdit(m_onlyLocally, &QCheckBox::toggled, [&book](bool on) { book.set(&Account::onlyLocally, on); });
    connect(m_browse, &QPushButton::clicked, this, &UploadSettingsWindow::browseLocalFolder);

    onEdit(m_interval, &QComboBox::currentIndexChanged,
           [&book](int position) { book.setIntervalItem(position); });
    onEdit(m_between, &QCheckBox::toggled, [&book](bool on) { book.set(&Account::between, on); });
    onEdit(m_dateFrom, &QDateEdit::dateChanged, [&book](QDate date) { book.set(&Account::dateFrom, date); });
    onEdit(m_dateTo, &QDateEdit::dateChanged, [&book](QDate date) { book.set(&Account::dateTo, date); });
    onEdit(m_betweenTimes, &QCheckBox::toggled, [&book](bool on) { book.set(&Account::betweenTimes, on); });
    onEdit(m_timeFrom, &QTimeEdit::timeChanged, [&book](QTime time) { book.set(&Account::timeFrom, time); });
    onEdit(m_timeTo, &QTimeEdit::timeChanged, [&book](QTime time) { book.set(&Account::timeTo, time); });
    onEdit(m_onlyChanged, &QCheckBox::toggled, [&book](bool on) { book.set(&Account::onlyChanged, on); });

    onEdit(m_archiveServer, &QCheckBox::toggled, [&book](bool on) { book.set(&Account::archiveServer, on); });
    onEdit(m_archiveLocal, &QCheckBox::toggled, [&book](bool on) { book.set(&Account::archiveLocal, on); });
    onEdit(m_archiveName, &QLineEdit::textEdited, [this](const QString& text) { editArchiveName(text); });

    onEdit(m_timestamp, &QCheckBox::toggled, [&book](bool on) { book.set(&Account::timestamp, on); });
    onEdit(m_textTime, &QCheckBox::toggled, [&book](bool on) { book.set(&Account::textTime, on); });
    connect(m_font, &QPushButton::clicked, this, &UploadSettingsWindow::chooseFont);
    connect(m_backColor, &QPushButton::clicked, this, &UploadSettingsWindow::chooseBackColor);
    connect(m_foreColor, &QPushButton::clicked, this, &UploadSettingsWindow::chooseForeColor);
}

void UploadSettingsWindow::showStoreProblem()
{
    const QString problem = m_book.storeProblem();
    m_storeProblem->setText(QStringLiteral("Changes are not saved: %1.").arg(problem));
    m_storeProblem->setVisible(!problem.isEmpty());
}

void UploadSettingsWindow::refreshRows()
{
    const QScopedValueRollback guard(m_refreshing, true);
    showStoreProblem();
    while (m_ftps->topLevelItemCount() > m_book.rowCount())
        delete m_ftps->takeTopLevelItem(m_ftps->topLevelItemCount() - 1);
    while (m_ftps->topLevelItemCount() < m_book.rowCount()) {
        auto* item = new QTreeWidgetItem(m_ftps);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    }
    for (int row = 0; row < m_book.rowCount(); ++row) {
        QTreeWidgetItem* item = m_ftps->topLevelItem(row);
        item->setText(0, m_book.rowName(row));
        item->setText(1, m_book.hostColumn(row));
        item->setText(2, m_book.everyColumn(row));
        item->setCheckState(0, m_book.isChecked(row) ? Qt::Checked : Qt::Unchecked);
    }
    m_ftps->setCurrentItem(m_ftps->topLevelItem(m_book.currentRow()));
}

void UploadSettingsWindow::refreshControls()
{
    const QScopedValueRollback guard(m_refreshing, true);
    showStoreProblem();
    const Account& a = m_book.loaded();
    showText(m_host, a.host);
    showText(m_user, a.user);
    showText(m_password, a.password);
    m_remember->setChecked(a.rememberPassword);
    m_protocol->setCurrentIndex(m_protocol->findData(static_cast<int>(a.protocol)));
    m_passive->setChecked(a.passive);
    m_verify->setChecked(a.verifyCertificate);
    showText(m_keyFile, a.keyFile);
    // Each control shows what the chosen protocol uses; the values stay stored either way.
    m_passive->setEnabled(a.protocol != Account::Protocol::Sftp);
    m_verify->setEnabled(a.protocol == Account::Protocol::Ftps);
    m_keyFile->setEnabled(a.protocol == Account::Protocol::Sftp);
    m_keyBrowse->setEnabled(a.protocol == Account::Protocol::Sftp);
    m_safeReplace->setChecked(a.safeReplace);

    showText(m_folder, a.folder);
    showText(m_fileName, a.fileName);
    showFileNameProblem(a.fileName);
    m_locally->setChecked(a.locally);
    m_onlyLocally->setChecked(a.onlyLocally);
    m_onlyLocally->setEnabled(a.locally);
    showText(m_localFolder, a.localFolder);

    m_interval->setCurrentIndex(a.intervalItem);
    // The rule applies to the text as typed; the field shows its result once it is left, so
    // that "12." followed by "9" is 12.9 and not 129.
    if (!m_secondsField->isTyping() && m_seconds->text() != a.seconds) {
        showText(m_seconds, a.seconds);
        m_secondsField->clearNote();
    }
    m_between->setChecked(a.between);
    m_dateFrom->setDate(a.dateFrom);
    m_dateTo->setDate(a.dateTo);
    m_betweenTimes->setChecked(a.betweenTimes);
    m_timeFrom->setTime(a.timeFrom);
    m_timeTo->setTime(a.timeTo);
    m_onlyChanged->setChecked(a.onlyChanged);
    showNumber(m_changeThresholdField, m_changeThreshold, a.changeThreshold);

    m_archiveServer->setChecked(a.archiveServer);
    m_archiveLocal->setChecked(a.archiveLocal);
    showText(m_archiveName, a.archivePattern);
    showArchiveProblem(a.archivePattern);
    showNumber(m_archiveKeepField, m_archiveKeep, a.archiveKeep);
    showNumber(m_archiveDaysField, m_archiveDays, a.archiveDays);

    m_timestamp->setChecked(a.timestamp);
    m_textTime->setChecked(a.textTime);
    m_preview->setStyle(a.backQColor(), a.foreQColor(), stampFont(a));
    m_preview->redraw();
}

void UploadSettingsWindow::editArchiveName(const QString& pattern)
{
    showArchiveProblem(pattern);
    if (ArchiveName(pattern).isValid())
        m_book.set(&Account::archivePattern, pattern);
}

void UploadSettingsWindow::showArchiveProblem(const QString& pattern)
{
    const QString problem = ArchiveName(pattern).problem();
    m_archiveProblem->setText(problem);
    m_archiveProblem->setVisible(!problem.isEmpty());
}

void UploadSettingsWindow::showWindow()
{
    hide();
    show();
    raise();
    activateWindow();
}

void UploadSettingsWindow::openOnTimestampTab()
{
    m_tabs->setCurrentIndex(kTimestampTab);
    hide();
    exec();
}

void UploadSettingsWindow::confirm()
{
    // Enter confirms without leaving the seconds field: it shows what is stored first.
    m_secondsField->finish();
    m_book.saveFlags();
    m_book.ValdItem();
    // Ends a modal run as well as hiding a modeless window.
    done(QDialog::Accepted);
    emit confirmed();
}

void UploadSettingsWindow::reject()
{
    // Escape leaves the window as "&OK" does: while it is open no timed upload runs, so a window
    // left behind must never stop the webcam unseen. Every edit is stored already.
    if (isVisible())
        confirm();
}

void UploadSettingsWindow::closeEvent(QCloseEvent* event)
{
    // The close box too. The window is only ever hidden, never closed (the end of the program
    // hides every window).
    event->ignore();
    if (isVisible())
        confirm();
}

bool UploadSettingsWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_ftps->viewport() && event->type() == QEvent::MouseButtonPress)
        m_rowAtPress = m_book.currentRow();
    // Only leaving a field finishes its edit; the window losing activation (another window,
    // a menu) leaves the text as it stands, to be typed on.
    if (event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            if (watched == m_folder)
                m_book.finishFolderEdit();
        }
    }
    return QDialog::eventFilter(watched, event);
}

void UploadSettingsWindow::browseLocalFolder()
{
    const std::optional<QString> folder = m_dialogs.chooseFolder(
        QStringLiteral("Choose where to save picture locally"), m_book.loaded().localFolder, this);
    // A cancelled browser changes nothing.
    if (folder)
        m_book.set(&Account::localFolder, *folder);
}

void UploadSettingsWindow::chooseFont()
{
    // The dialog opens on the stored style; a family that is not installed shows as the family
    // that stands in for it, which the dialog can select.
    const Account& a = m_book.loaded();
    QFont shown = stampFont(a);
    shown.setFamily(QFontInfo(shown).family());
    const std::optional<QFont> chosen = m_dialogs.chooseFont(shown, this);
    if (!chosen)
        return;
    // Only what the person changed replaces the stored style. The dialog offers whole point
    // sizes, so a stored 13.5 shows as 14 and stays 13.5 unless another size is chosen.
    const bool sizeChanged = chosen->pointSizeF() > 0 && chosen->pointSize() != shown.pointSize();
    m_book.setFont(chosen->bold() != shown.bold() ? chosen->bold() : a.fontBold,
                   chosen->italic() != shown.italic() ? chosen->italic() : a.fontItalic,
                   chosen->family() != shown.family() ? chosen->family() : a.fontName,
                   sizeChanged ? chosen->pointSizeF() : a.fontSize);
}

void UploadSettingsWindow::chooseBackColor()
{
    if (const std::optional<QColor> color = m_dialogs.chooseColor(m_book.loaded().backQColor(), this))
        m_book.set(&Account::backColor, storedFromColor(*color));
}

void UploadSettingsWindow::chooseForeColor()
{
    if (const std::optional<QColor> color = m_dialogs.chooseColor(m_book.loaded().foreQColor(), this))
        m_book.set(&Account::foreColor, storedFromColor(*color));
}

void UploadSettingsWindow::chooseKeyFile()
{
    if (const std::optional<QString> file =
            m_dialogs.chooseFile(QStringLiteral("Choose the private key"), QStringLiteral("All Files (*)"),
                                 m_book.loaded().keyFile, this))
        m_book.set(&Account::keyFile, *file);
}

void UploadSettingsWindow::testConnection()
{
    if (!m_testWorker)
        m_testWorker = std::make_unique<WorkerThread>();
    m_test->setEnabled(false);
    runTest(m_book.loaded(), QString());
}

void UploadSettingsWindow::runTest(const Account& account, const QString& trustedKey)
{
    // The test talks to the server on a worker; the window stays responsive and reports after.
    m_testClient = std::make_shared<FtpClient>(
        FtpTimeouts(), ConnectionTest::settingsFor(account, trustedKey, m_knownHostsFile));
    m_testWorker->post([this, client = m_testClient, account, trustedKey] {
        const ConnectionTest::Report report = ConnectionTest::run(*client, account);
        return [this, account, trustedKey, report] {
            m_testClient.reset();
            Prompter& prompter = m_book.prompter();
            if (report.unknownHostKey && trustedKey.isEmpty()) {
                const Prompter::Answer trust = prompter.message(
                    QStringLiteral("The server's host key is not known yet. Its fingerprint is\n") +
                        report.hostKeyFingerprint +
                        QStringLiteral("\nTrust this key only if it is the fingerprint of your server. Trust "
                                       "it and go on?"),
                    Prompter::Icon::Question, Prompter::Buttons::YesNo, kProgramTitle, Prompter::Answer::No);
                if (trust == Prompter::Answer::Yes) {
                    runTest(account, report.hostKeyFingerprint);
                    return;
                }
                m_test->setEnabled(true);
                return;
            }
            m_test->setEnabled(true);
            prompter.message(report.text,
                             report.passed ? Prompter::Icon::Information : Prompter::Icon::Critical);
        };
    });
}
