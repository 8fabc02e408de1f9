#include "ui/ArchiveTab.h"

#include "common/Prompter.h"
#include "settings/AccountBook.h"
#include "ui/AccountNumberBox.h"
#include "ui/NumberField.h"
#include "ui/WindowParts.h"
#include "upload/ArchiveName.h"
#include "upload/TimelapseService.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimeEdit>

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

    m_timelapse = named(new QCheckBox(QStringLiteral("Make a &timelapse movie of each day at")),
                        QStringLiteral("chkTimelapse"));
    m_timelapse->setToolTip(
        QStringLiteral("A WebM movie of the previous day's local archive copies, sent like "
                       "the picture and kept in the local folder"));
    m_timelapseTime = named(new QTimeEdit, QStringLiteral("tmTimelapse"));
    m_timelapseTime->setDisplayFormat(QStringLiteral("HH:mm"));
    m_timelapseRate = named(new QLineEdit, QStringLiteral("txtTimelapseRate"));
    m_timelapseRateField = AccountNumberBox::make(m_book, m_timelapseRate,
                                                  {TimelapseMaker::kMinRate, TimelapseMaker::kMaxRate, false},
                                                  &Account::timelapseRate, this);
    m_timelapseName = named(new QLineEdit, QStringLiteral("txtTimelapseName"));
    m_timelapseName->setToolTip(m_name->toolTip());
    m_timelapseKeep = named(new QLineEdit, QStringLiteral("txtTimelapseKeep"));
    m_timelapseKeepField =
        AccountNumberBox::make(m_book, m_timelapseKeep, {0, kMaxCount, false}, &Account::timelapseKeep, this);
    m_timelapseWhy = WindowParts::problemLabel(QStringLiteral("lblTimelapseWhy"));
    m_timelapseDay = named(new QDateEdit, QStringLiteral("dtTimelapseDay"));
    m_timelapseDay->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    m_timelapseDay->setDate(QDate::currentDate().addDays(-1));
    m_timelapseNow =
        named(new QPushButton(QStringLiteral("Make timelapse &now")), QStringLiteral("cmdTimelapseNow"));
    m_timelapseProgress = named(new QProgressBar, QStringLiteral("barTimelapse"));
    m_timelapseProgress->setVisible(false);
    m_timelapseResult = named(new QLabel, QStringLiteral("lblTimelapseResult"));
    m_timelapseResult->setWordWrap(true);

    auto* timelapse = named(new QGroupBox(QStringLiteral("Timelapse")), QStringLiteral("fraTimelapse"));
    auto* movie = new QGridLayout(timelapse);
    auto* when = new QHBoxLayout;
    when->addWidget(m_timelapse);
    when->addWidget(m_timelapseTime);
    when->addStretch();
    movie->addLayout(when, 0, 0, 1, 2);
    movie->addWidget(label(QStringLiteral("lblTimelapseRate"), QStringLiteral("Pictures a second:")), 1, 0);
    movie->addWidget(m_timelapseRate, 1, 1);
    movie->addWidget(label(QStringLiteral("lblTimelapseName"), QStringLiteral("Movie name:")), 2, 0);
    movie->addWidget(m_timelapseName, 2, 1);
    movie->addWidget(label(QStringLiteral("lblTimelapseKeep"), QStringLiteral("Keep locally the newest:")), 3,
                     0);
    movie->addLayout(withUnit(m_timelapseKeep, label(QStringLiteral("lblTimelapseKeepUnit"),
                                                     QStringLiteral("movies (0 keeps all)"))),
                     3, 1);
    movie->addWidget(m_timelapseWhy, 4, 0, 1, 2);
    movie->addWidget(m_timelapseRateField->note(), 5, 0, 1, 2);
    movie->addWidget(m_timelapseKeepField->note(), 6, 0, 1, 2);
    auto* now = new QHBoxLayout;
    now->addWidget(m_timelapseDay);
    now->addWidget(m_timelapseNow);
    now->addWidget(m_timelapseProgress, 1);
    movie->addLayout(now, 7, 0, 1, 2);
    movie->addWidget(m_timelapseResult, 8, 0, 1, 2);
    grid->addWidget(timelapse, 8, 0, 1, 2);
    grid->setRowStretch(9, 1);

    AccountBook& b = m_book;
    onEdit(m_server, &QCheckBox::toggled, [&b](bool on) { b.set(&Account::archiveServer, on); });
    onEdit(m_local, &QCheckBox::toggled, [&b](bool on) { b.set(&Account::archiveLocal, on); });
    onEdit(m_name, &QLineEdit::textEdited, [this](const QString& text) { editName(text); });
    onEdit(m_timelapse, &QCheckBox::toggled, [&b](bool on) { b.set(&Account::timelapse, on); });
    onEdit(m_timelapseTime, &QTimeEdit::timeChanged,
           [&b](QTime time) { b.set(&Account::timelapseTime, time); });
    onEdit(m_timelapseName, &QLineEdit::textEdited, [this](const QString& text) { editMovieName(text); });
    connect(m_timelapseNow, &QPushButton::clicked, this, &ArchiveTab::makeTimelapseNow);
    m_timelapseNow->setEnabled(false);
}

void ArchiveTab::setTimelapse(TimelapseService* service)
{
    if (m_service)
        disconnect(m_service, nullptr, this, nullptr);
    m_service = service;
    if (m_service) {
        connect(m_service, &TimelapseService::progress, this,
                [this](const QString& account, int done, int total) {
                    if (account != m_book.currentName())
                        return;
                    m_timelapseProgress->setRange(0, total);
                    m_timelapseProgress->setValue(done);
                    m_timelapseProgress->setVisible(true);
                });
        connect(m_service, &TimelapseService::finished, this,
                [this](const QString& account, bool, const QString& text) {
                    if (account != m_book.currentName())
                        return;
                    m_timelapseProgress->setVisible(false);
                    m_timelapseResult->setText(text);
                });
    }
    showTimelapseState(m_book.loaded());
}

void ArchiveTab::makeTimelapseNow()
{
    if (!m_service)
        return;
    m_timelapseResult->clear();
    if (const Result<void> started = m_service->makeNow(m_book.currentName(), m_timelapseDay->date());
        !started)
        m_book.prompter().message(started.failure().sentence);
}

void ArchiveTab::editMovieName(const QString& pattern)
{
    const ArchiveName name(pattern);
    if (name.isValid()) {
        // The account shown anew says what still keeps the movie from being made, if anything.
        m_book.set(&Account::timelapsePattern, pattern);
        return;
    }
    m_timelapseWhy->setText(QStringLiteral("The timelapse name cannot be used: ") + name.problem());
    m_timelapseWhy->setVisible(true);
}

void ArchiveTab::showTimelapseState(const Account& account)
{
    const QString why = TimelapseService::whyNot(account);
    // Why the movie cannot be made, while it is asked for.
    m_timelapseWhy->setText(account.timelapse ? why : QString());
    m_timelapseWhy->setVisible(account.timelapse && !why.isEmpty());
    m_timelapseNow->setEnabled(m_service && m_book.currentRow() >= 0 && why.isEmpty());
    for (QWidget* control : {static_cast<QWidget*>(m_timelapseTime), static_cast<QWidget*>(m_timelapseRate),
                             static_cast<QWidget*>(m_timelapseName), static_cast<QWidget*>(m_timelapseKeep)})
        control->setEnabled(account.timelapse);
}

void ArchiveTab::finishEdits()
{
    m_keepField->finish();
    m_daysField->finish();
    m_timelapseRateField->finish();
    m_timelapseKeepField->finish();
}

void ArchiveTab::showAccount(const Account& a)
{
    m_server->setChecked(a.archiveServer);
    m_local->setChecked(a.archiveLocal);
    showText(m_name, a.archivePattern);
    showNameProblem(a.archivePattern);
    AccountNumberBox::show(m_keepField, m_keep, QString::number(a.archiveKeep));
    AccountNumberBox::show(m_daysField, m_days, QString::number(a.archiveDays));
    m_timelapse->setChecked(a.timelapse);
    m_timelapseTime->setTime(a.timelapseTime);
    AccountNumberBox::show(m_timelapseRateField, m_timelapseRate, QString::number(a.timelapseRate));
    showText(m_timelapseName, a.timelapsePattern);
    AccountNumberBox::show(m_timelapseKeepField, m_timelapseKeep, QString::number(a.timelapseKeep));
    showTimelapseState(a);
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
