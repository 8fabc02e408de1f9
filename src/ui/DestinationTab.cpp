#include "ui/DestinationTab.h"

#include "settings/AccountBook.h"
#include "settings/DestinationName.h"
#include "ui/SettingsDialogs.h"
#include "ui/WindowParts.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using WindowParts::label;
using WindowParts::named;
using WindowParts::showText;

DestinationTab::DestinationTab(AccountBook& book, SettingsDialogs& dialogs, QWidget* parent)
    : AccountTab(book, QStringLiteral("Frame3"), parent), m_dialogs(dialogs)
{
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
    m_fileNameProblem = WindowParts::problemLabel(QStringLiteral("lblFileNameProblem"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(label(QStringLiteral("lblInitial"), QStringLiteral("Folder:")), 0, 0);
    grid->addWidget(m_folder, 0, 1, 1, 2);
    grid->addWidget(label(QStringLiteral("Label5"), QStringLiteral("Destination filename:")), 1, 0);
    grid->addWidget(m_fileName, 1, 1);
    grid->addWidget(extension, 1, 2);
    // Why a typed name is not used, right under it.
    grid->addWidget(m_fileNameProblem, 2, 1, 1, 2);
    grid->addWidget(m_locally, 3, 0, 1, 3);
    grid->addWidget(m_localFolder, 4, 0, 1, 2);
    grid->addWidget(m_browse, 4, 2);
    grid->addWidget(m_onlyLocally, 5, 0, 1, 3);
    grid->addWidget(m_safeReplace, 6, 0, 1, 3);
    grid->setRowStretch(7, 1);

    AccountBook& b = m_book;
    onEdit(m_folder, &QLineEdit::textChanged, [&b](const QString& text) { b.set(&Account::folder, text); });
    // A name with a folder in it is not stored: it would put the picture outside the folders the
    // user gave. The stored name stays the last usable one.
    onEdit(m_fileName, &QLineEdit::textChanged, [this](const QString& text) {
        if (showFileNameProblem(text))
            m_book.set(&Account::fileName, text);
    });
    onEdit(m_localFolder, &QLineEdit::textChanged,
           [&b](const QString& text) { b.set(&Account::localFolder, text); });
    onEdit(m_locally, &QCheckBox::toggled, [&b](bool on) { b.set(&Account::locally, on); });
    onEdit(m_onlyLocally, &QCheckBox::toggled, [&b](bool on) { b.set(&Account::onlyLocally, on); });
    onEdit(m_safeReplace, &QCheckBox::toggled, [&b](bool on) { b.set(&Account::safeReplace, on); });
    connect(m_browse, &QPushButton::clicked, this, &DestinationTab::browseLocalFolder);
}

void DestinationTab::showAccount(const Account& a)
{
    showText(m_folder, a.folder);
    showText(m_fileName, a.fileName);
    showFileNameProblem(a.fileName);
    m_locally->setChecked(a.locally);
    m_onlyLocally->setChecked(a.onlyLocally);
    m_onlyLocally->setEnabled(a.locally);
    showText(m_localFolder, a.localFolder);
    m_safeReplace->setChecked(a.safeReplace);
}

bool DestinationTab::showFileNameProblem(const QString& name)
{
    const QString problem = DestinationName::problem(name);
    m_fileNameProblem->setText(QStringLiteral("The destination file name ") + problem +
                               QStringLiteral(": it is not used. Give a name without a folder."));
    m_fileNameProblem->setVisible(!problem.isEmpty());
    return problem.isEmpty();
}

bool DestinationTab::eventFilter(QObject* watched, QEvent* event)
{
    // Only leaving the folder field finishes its edit; the window losing activation (another
    // window, a menu) leaves the text as it stands, to be typed on.
    if (watched == m_folder && event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            m_book.finishFolderEdit();
    }
    return AccountTab::eventFilter(watched, event);
}

void DestinationTab::browseLocalFolder()
{
    const std::optional<QString> folder = m_dialogs.chooseFolder(
        QStringLiteral("Choose where to save picture locally"), m_book.loaded().localFolder, this);
    // A cancelled browser changes nothing.
    if (folder)
        m_book.set(&Account::localFolder, *folder);
}
