#include "help/AboutBox.h"

#include "common/ProgramIcon.h"
#include "common/Prompter.h"
#include "help/BuildInfo.h"
#include "help/ScreenPlacement.h"

#include <QDesktopServices>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {
QLabel* makeLabel(const char* name, const QString& text)
{
    auto* label = new QLabel(text);
    label->setObjectName(QLatin1String(name));
    label->setWordWrap(true);
    return label;
}

// A contact label: the address as a link, hidden when the build names none.
QLabel* makeContactLabel(const char* name, const QString& shown, const QString& target)
{
    auto* label = makeLabel(name, QString());
    if (shown.isEmpty()) {
        label->hide();
        return label;
    }
    label->setTextFormat(Qt::RichText);
    label->setText(
        QStringLiteral("<a href=\"%1\">%2</a>").arg(target.toHtmlEscaped(), shown.toHtmlEscaped()));
    label->setOpenExternalLinks(false);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    return label;
}
} // namespace

AboutBox::Contacts AboutBox::Contacts::fromBuild()
{
    return {BuildInfo::webAddress(), BuildInfo::mailAddress()};
}

AboutBox::AboutBox(Prompter& prompter, SystemInfoTool systemInfo, Contacts contacts, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), m_prompter(prompter),
      m_systemInfo(std::move(systemInfo)), m_contacts(std::move(contacts)),
      m_openUrl([](const QUrl& url) { return QDesktopServices::openUrl(url); })
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About - Velmora 2001"));
    setWindowIcon(ProgramIcon::icon());

    auto* picIcon = new QToolButton;
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setAutoRaise(true);
    picIcon->setIconSize(QSize(48, 48));
    picIcon->setIcon(QIcon(QPixmap::fromImage(ProgramIcon::image(48))));
    picIcon->setFocusPolicy(Qt::NoFocus);
    if (!m_contacts.webAddress.isEmpty()) {
        picIcon->setToolTip(m_contacts.webAddress);
        picIcon->setCursor(Qt::PointingHandCursor);
    }

    auto* lbl1 =
        makeLabel("lbl1", tr("Velmora 2001, the webcam picture uploader, by the Velmora developers."));
    auto* lblVersion = makeLabel("lblVersion", QStringLiteral("Version ") + BuildInfo::programVersion());
    auto* lbl2 = makeLabel("lbl2", QStringLiteral("Special thanks to:"));
    auto* lbl3 = makeLabel("lbl3", tr("The Qt, GStreamer, libcurl, libjpeg-turbo and SQLite projects, whose "
                                      "work this program is built on, and everyone who tried it and "
                                      "reported what went wrong."));
    auto* lblDisclaimer =
        makeLabel("lblDisclaimer", tr("This program is provided as it is, without any warranty. You are "
                                      "responsible for the pictures you publish with it and for the use "
                                      "of the servers you upload them to."));
    QFont small = lblDisclaimer->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    lblDisclaimer->setFont(small);
    auto* Label1 = makeContactLabel("Label1", m_contacts.mailAddress,
                                    QStringLiteral("mailto:") + m_contacts.mailAddress);
    auto* Label2 = makeContactLabel("Label2", m_contacts.webAddress, m_contacts.webAddress);

    auto* cmdOK = new QPushButton(QStringLiteral("OK"));
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    auto* cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."));
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));

    auto* text = new QVBoxLayout;
    text->addWidget(lbl1);
    text->addWidget(lblVersion);
    text->addSpacing(8);
    text->addWidget(lbl2);
    text->addWidget(lbl3);
    text->addSpacing(8);
    text->addWidget(Label1);
    text->addWidget(Label2);
    auto* top = new QHBoxLayout;
    top->addWidget(picIcon, 0, Qt::AlignTop);
    top->addLayout(text, 1);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdSysInfo);
    buttons->addStretch();
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lblDisclaimer, 1);
    bottom->addLayout(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(12);
    layout->addLayout(bottom);
    setFixedWidth(460);
    adjustSize();
    ScreenPlacement::centreOnScreen(*this);

    connect(picIcon, &QToolButton::clicked, this, &AboutBox::openWebSite);
    connect(Label1, &QLabel::linkActivated, this, &AboutBox::openAddress);
    connect(Label2, &QLabel::linkActivated, this, &AboutBox::openAddress);
    connect(cmdSysInfo, &QPushButton::clicked, this, &AboutBox::showSystemInformation);
    connect(cmdOK, &QPushButton::clicked, this, [this] {
        accept(); // hides the box and ends its modal run
        emit mainWindowRequested();
    });
}

void AboutBox::setUrlOpener(UrlOpener opener)
{
    m_openUrl = std::move(opener);
}

void AboutBox::showSystemInformation()
{
    if (!m_systemInfo.start())
        m_prompter.message(QStringLiteral("System Information Is Unavailable At This Time"));
}

void AboutBox::openWebSite()
{
    if (!m_contacts.webAddress.isEmpty())
        openAddress(m_contacts.webAddress);
}

void AboutBox::openAddress(const QString& address)
{
    // The desktop reports its own failures; nothing is said here.
    m_openUrl(QUrl(address));
}
