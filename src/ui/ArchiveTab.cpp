#include "ui/ArchiveTab.h"

#include "settings/AccountBook.h"
#include "ui/AccountNumberBox.h"
#include "ui/NumberField.h"
#include "ui/WindowParts.h"
#include "upload/ArchiveName.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

using WindowParts::label;
using WindowParts::named;
using WindowParts::showText;

ArchiveTab::ArchiveTab(AccountBook& book, QWidget* parent)
    : AccountTab(book, QStringLiteral("frameArchive"), parent)
{
    m_server = named(new QCheckBox(QStringLiteral("Keep dated copies on the &server, beside the picture")),
                     QStringLiteral("chkArchiveServer"));
    m_local = named(new QCheckBox(QStringLiteral("Keep dated copies in the &local folder")),
                    QStringLiteral("chkArchiveLocal"));
    m_local->setToolTip(QStringLiteral("The folder of \"Save picture locally to:\" on the Destination tab"));
    m_name = named(new QLineEdit, QStringLiteral("txtArchiveName"));
    m_name->setToolTip(QStringLiteral("%Y year, %y year (2 digits), %m month, %d day, %H hour, %M minute, "
                                      "%S second, %% a percent sign"));
    m_nameProblem = WindowParts::problemLabel(QStringLiteral("lblArchiveProblem"));
    m_keep = named(new QLineEdit, QStringLiteral("txtArchiveKeep"));
    m_keepField = AccountNumberBox::make(m_book, m_keep, {0, kMaxCount, false}, &Account::archiveKeep, this);
    m_days = named(new QLineEdit, QStringLiteral("txtArchiveDays"));
    m_daysField = AccountNumberBox::make(m_book, m_days, {0, kMaxCount, false}, &Account::archiveDays, this);

    const auto withUnit = [](QLineEdit* box, QLabel* unit) {
        auto* line = new QHBoxLayout;
        line->addWidget(box);
        line->addWidget(unit);
        line->addStretch();
        return line;
    };
    auto* grid = new QGridLayout(this);
    grid->addWidget(m_server, 0, 0, 1, 2);
    grid->addWidget(m_local, 1, 0, 1, 2);
    grid->addWidget(label(QStringLiteral("lblArchiveName"), QStringLiteral("Archive name:")), 2, 0);
    grid->addWidget(m_name, 2, 1);
    grid->addWidget(m_nameProblem, 3, 1);
    grid->addWidget(label(QStringLiteral("lblArchiveKeep"), QStringLiteral("Keep locally the newest:")), 4,
                    0);
    grid->addLayout(
        withUnit(m_keep, label(QStringLiteral("lblArchiveKeepUnit"), QStringLiteral("copies (0 keeps all)"))),
        4, 1);
    grid->addWidget(
        label(QStringLiteral("lblArchiveDays"), QStringLiteral("Remove server copies older than:")), 5, 0);
    grid->addLayout(
        withUnit(m_days, label(QStringLiteral("lblArchiveDaysUnit"), QStringLiteral("days (0 keeps all)"))),
        5, 1);
    grid->addWidget(m_keepField->note(), 6, 0, 1, 2);
    grid->addWidget(m_daysField->note(), 7, 0, 1, 2);
    grid->setRowStretch(8, 1);

    AccountBook& b = m_book;
    onEdit(m_server, &QCheckBox::toggled, [&b](bool on) { b.set(&Account::archiveServer, on); });
    onEdit(m_local, &QCheckBox::toggled, [&b](bool on) { b.set(&Account::archiveLocal, on); });
    onEdit(m_name, &QLineEdit::textEdited, [this](const QString& text) { editName(text); });
}

void ArchiveTab::finishEdits()
{
    m_keepField->finish();
    m_daysField->finish();
}

void ArchiveTab::showAccount(const Account& a)
{
    m_server->setChecked(a.archiveServer);
    m_local->setChecked(a.archiveLocal);
    showText(m_name, a.archivePattern);
    showNameProblem(a.archivePattern);
    AccountNumberBox::show(m_keepField, m_keep, QString::number(a.archiveKeep));
    AccountNumberBox::show(m_daysField, m_days, QString::number(a.archiveDays));
}

void ArchiveTab::editName(const QString& pattern)
{
    showNameProblem(pattern);
    if (ArchiveName(pattern).isValid())
        m_book.set(&Account::archivePattern, pattern);
}

void ArchiveTab::showNameProblem(const QString& pattern)
{
    const QString problem = ArchiveName(pattern).problem();
    m_nameProblem->setText(problem);
    m_nameProblem->setVisible(!problem.isEmpty());
}
