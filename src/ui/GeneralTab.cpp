#include "ui/GeneralTab.h"

#include "capture/CaptureComponent.h"
#include "settings/AccountBook.h"
#include "ui/ConnectionTestRunner.h"
#include "ui/SettingsDialogs.h"
#include "ui/WindowParts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

using WindowParts::label;
using WindowParts::named;
using WindowParts::showText;

GeneralTab::GeneralTab(AccountBook& book, SettingsDialogs& dialogs, QWidget* parent)
    : AccountTab(book, QStringLiteral("Frame1"), parent), m_dialogs(dialogs),
      m_tester(new ConnectionTestRunner(book.prompter(), this))
{
    m_host = named(new QLineEdit, QStringLiteral("Text1"));
    m_user = named(new QLineEdit, QStringLiteral("Text2"));
    m_password = named(new QLineEdit, QStringLiteral("Text3"));
    m_password->setEchoMode(QLineEdit::Password);
    m_remember = named(new QCheckBox(QStringLiteral("Remember my password")), QStringLiteral("rem_pass"));
    m_protocol = named(new QComboBox, QStringLiteral("cboProtocol"));
    m_protocol->addItem(QStringLiteral("FTP"), static_cast<int>(Account::Protocol::Ftp));
    m_protocol->addItem(QStringLiteral("FTPS (explicit TLS)"), static_cast<int>(Account::Protocol::Ftps));
    m_protocol->addItem(QStringLiteral("SFTP"), static_cast<int>(Account::Protocol::Sftp));
    m_protocol->addItem(QStringLiteral("WebDAV"), static_cast<int>(Account::Protocol::WebDav));
    m_protocol->addItem(QStringLiteral("S3"), static_cast<int>(Account::Protocol::S3));
    m_passive = named(new QCheckBox(QStringLiteral("&Passive mode")), QStringLiteral("chkPassive"));
    m_passive->setToolTip(QStringLiteral("For servers behind NAT or a firewall; FTP and FTPS only"));
    m_verify = named(new QCheckBox(QStringLiteral("&Verify certificate")), QStringLiteral("chkVerify"));
    m_verify->setToolTip(QStringLiteral("Clear it to accept a self-signed certificate (FTPS, WebDAV over "
                                        "https)"));
    m_keyFile = named(new QLineEdit, QStringLiteral("txtKeyFile"));
    m_keyFile->setToolTip(QStringLiteral("SFTP: a private key used instead of the password; the password "
                                         "then unlocks the key"));
    m_keyBrowse = named(new QPushButton(QStringLiteral("&Key...")), QStringLiteral("cmdKeyFile"));
    m_test = named(new QPushButton(QStringLiteral("&Test")), QStringLiteral("cmdTest"));
    m_bucket = named(new QLineEdit, QStringLiteral("txtBucket"));
    m_bucket->setToolTip(
        QStringLiteral("S3: the bucket the pictures go into; the host field is the endpoint, "
                       "the user ID the access key and the password the secret key"));
    m_region = named(new QLineEdit, QStringLiteral("txtRegion"));
    m_region->setToolTip(QStringLiteral("S3: the bucket's region, which every request is signed for"));
    m_pathStyle =
        named(new QCheckBox(QStringLiteral("Path-st&yle addressing")), QStringLiteral("chkPathStyle"));
    m_pathStyle->setToolTip(QStringLiteral("S3: the bucket in the path (endpoint/bucket/key) rather than in "
                                           "the host name (bucket.endpoint/key)"));
    m_publicRead = named(new QCheckBox(QStringLiteral("P&ublic read")), QStringLiteral("chkPublicRead"));
    m_publicRead->setToolTip(
        QStringLiteral("S3: uploaded pictures readable by anyone (ACL \"public-read\")"));

    m_camera = named(new QComboBox, QStringLiteral("cboCamera"));
    m_camera->setToolTip(QStringLiteral("The camera this account's pictures come from; the program's camera "
                                        "is the one the main window connects"));
    fillCameras(QString());

    auto* flags = new QHBoxLayout;
    flags->addWidget(m_passive);
    flags->addWidget(m_verify);
    flags->addStretch();
    auto* key = new QHBoxLayout;
    key->addWidget(m_keyFile, 1);
    key->addWidget(m_keyBrowse);
    auto* s3Flags = new QHBoxLayout;
    s3Flags->addWidget(m_pathStyle);
    s3Flags->addWidget(m_publicRead);
    s3Flags->addStretch();
    auto* rememberAndTest = new QHBoxLayout;
    rememberAndTest->addWidget(m_remember);
    rememberAndTest->addStretch();
    rememberAndTest->addWidget(m_test);
    auto* form = new QFormLayout(this);
    form->addRow(label(QStringLiteral("lblHost"), QStringLiteral("Host Name/Adress:")), m_host);
    form->addRow(label(QStringLiteral("lblUser"), QStringLiteral("User ID:")), m_user);
    form->addRow(label(QStringLiteral("lblPass"), QStringLiteral("Password:")), m_password);
    form->addRow(QString(), rememberAndTest);
    form->addRow(label(QStringLiteral("lblProtocol"), QStringLiteral("Protocol:")), m_protocol);
    form->addRow(QString(), flags);
    form->addRow(label(QStringLiteral("lblKeyFile"), QStringLiteral("Key file:")), key);
    form->addRow(label(QStringLiteral("lblBucket"), QStringLiteral("Bucket:")), m_bucket);
    form->addRow(label(QStringLiteral("lblRegion"), QStringLiteral("Region:")), m_region);
    form->addRow(QString(), s3Flags);
    form->addRow(label(QStringLiteral("lblCamera"), QStringLiteral("Camera:")), m_camera);

    AccountBook& b = m_book;
    onEdit(m_host, &QLineEdit::textChanged, [&b](const QString& text) { b.set(&Account::host, text); });
    onEdit(m_user, &QLineEdit::textChanged, [&b](const QString& text) { b.set(&Account::user, text); });
    onEdit(m_password, &QLineEdit::textChanged, [&b](const QString& text) { b.setPassword(text); });
    onEdit(m_remember, &QCheckBox::toggled, [&b](bool on) { b.setRememberPassword(on); });
    onEdit(m_protocol, &QComboBox::currentIndexChanged, [this](int index) {
        m_book.set(&Account::protocol, static_cast<Account::Protocol>(m_protocol->itemData(index).toInt()));
    });
    onEdit(m_passive, &QCheckBox::toggled, [&b](bool on) { b.set(&Account::passive, on); });
    onEdit(m_verify, &QCheckBox::toggled, [&b](bool on) { b.set(&Account::verifyCertificate, on); });
    onEdit(m_keyFile, &QLineEdit::textChanged, [&b](const QString& text) { b.set(&Account::keyFile, text); });
    onEdit(m_bucket, &QLineEdit::textChanged, [&b](const QString& text) { b.set(&Account::bucket, text); });
    onEdit(m_region, &QLineEdit::textChanged, [&b](const QString& text) { b.set(&Account::region, text); });
    onEdit(m_pathStyle, &QCheckBox::toggled, [&b](bool on) { b.set(&Account::pathStyle, on); });
    onEdit(m_publicRead, &QCheckBox::toggled, [&b](bool on) { b.set(&Account::publicRead, on); });
    onEdit(m_camera, &QComboBox::activated,
           [this](int index) { m_book.set(&Account::camera, m_camera->itemData(index).toString()); });
    connect(m_keyBrowse, &QPushButton::clicked, this, &GeneralTab::chooseKeyFile);
    connect(m_test, &QPushButton::clicked, this, [this] {
        m_test->setEnabled(false);
        m_tester->start(m_book.loaded());
    });
    connect(m_tester, &ConnectionTestRunner::finished, m_test, [this] { m_test->setEnabled(true); });
}

void GeneralTab::setKnownHostsFile(const QString& path)
{
    m_tester->setKnownHostsFile(path);
}

void GeneralTab::showAccount(const Account& a)
{
    showText(m_host, a.host);
    showText(m_user, a.user);
    showText(m_password, a.password);
    m_remember->setChecked(a.rememberPassword);
    m_protocol->setCurrentIndex(m_protocol->findData(static_cast<int>(a.protocol)));
    m_passive->setChecked(a.passive);
    m_verify->setChecked(a.verifyCertificate);
    showText(m_keyFile, a.keyFile);
    showText(m_bucket, a.bucket);
    showText(m_region, a.region);
    m_pathStyle->setChecked(a.pathStyle);
    m_publicRead->setChecked(a.publicRead);
    fillCameras(a.camera);
    // Each control shows what the chosen protocol uses; the values stay stored either way.
    const bool ftp = a.protocol == Account::Protocol::Ftp || a.protocol == Account::Protocol::Ftps;
    m_passive->setEnabled(ftp);
    const bool s3 = a.protocol == Account::Protocol::S3;
    m_verify->setEnabled(a.protocol == Account::Protocol::Ftps || a.protocol == Account::Protocol::WebDav ||
                         s3);
    m_keyFile->setEnabled(a.protocol == Account::Protocol::Sftp);
    m_keyBrowse->setEnabled(a.protocol == Account::Protocol::Sftp);
    for (QWidget* control : {static_cast<QWidget*>(m_bucket), static_cast<QWidget*>(m_region),
                             static_cast<QWidget*>(m_pathStyle), static_cast<QWidget*>(m_publicRead)})
        control->setEnabled(s3);
}

void GeneralTab::chooseKeyFile()
{
    if (const std::optional<QString> file =
            m_dialogs.chooseFile(QStringLiteral("Choose the private key"), QStringLiteral("All Files (*)"),
                                 m_book.loaded().keyFile, this))
        m_book.set(&Account::keyFile, *file);
}

void GeneralTab::setCameras(const CaptureComponent* capture)
{
    if (m_capture)
        disconnect(m_capture, nullptr, this, nullptr);
    m_capture = capture;
    if (m_capture)
        connect(m_capture, &CaptureComponent::driversChanged, this,
                [this] { fillCameras(m_book.loaded().camera); });
    fillCameras(m_book.loaded().camera);
}

void GeneralTab::fillCameras(const QString& current)
{
    const QSignalBlocker quiet(m_camera);
    m_camera->clear();
    m_camera->addItem(kProgramCamera, QString());
    const QString absent = QStringLiteral("%1 (not plugged in)");
    for (int i = 0; m_capture && i < m_capture->DriverCount(); ++i)
        m_camera->addItem(m_capture->DriverPresent(i) ? m_capture->DriverName(i)
                                                      : absent.arg(m_capture->DriverName(i)),
                          m_capture->DriverIdentity(i));
    int shown = m_camera->findData(current);
    if (shown < 0) {
        // A camera that is not here now stays the account's camera until someone chooses another.
        const QString name =
            m_capture ? m_capture->cameraNameOf(current) : current.section(QLatin1Char('|'), -1);
        m_camera->addItem(absent.arg(name), current);
        shown = m_camera->count() - 1;
    }
    m_camera->setCurrentIndex(shown);
}
