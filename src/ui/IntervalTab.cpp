#include "ui/IntervalTab.h"

#include "settings/AccountBook.h"
#include "settings/IntervalTable.h"
#include "ui/AccountNumberBox.h"
#include "ui/NumberField.h"
#include "ui/WindowParts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTimeEdit>

using WindowParts::label;
using WindowParts::named;

IntervalTab::IntervalTab(AccountBook& book, QWidget* parent)
    : AccountTab(book, QStringLiteral("Frame2"), parent)
{
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
    m_changeThresholdField =
        AccountNumberBox::make(m_book, m_changeThreshold, {0, 100, false}, &Account::changeThreshold, this);

    auto* grid = new QGridLayout(this);
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

    AccountBook& b = m_book;
    onEdit(m_interval, &QComboBox::currentIndexChanged, [&b](int position) { b.setIntervalItem(position); });
    onEdit(m_between, &QCheckBox::toggled, [&b](bool on) { b.set(&Account::between, on); });
    onEdit(m_dateFrom, &QDateEdit::dateChanged, [&b](QDate date) { b.set(&Account::dateFrom, date); });
    onEdit(m_dateTo, &QDateEdit::dateChanged, [&b](QDate date) { b.set(&Account::dateTo, date); });
    onEdit(m_betweenTimes, &QCheckBox::toggled, [&b](bool on) { b.set(&Account::betweenTimes, on); });
    onEdit(m_timeFrom, &QTimeEdit::timeChanged, [&b](QTime time) { b.set(&Account::timeFrom, time); });
    onEdit(m_timeTo, &QTimeEdit::timeChanged, [&b](QTime time) { b.set(&Account::timeTo, time); });
    onEdit(m_onlyChanged, &QCheckBox::toggled, [&b](bool on) { b.set(&Account::onlyChanged, on); });
}

void IntervalTab::finishEdits()
{
    m_secondsField->finish();
    m_changeThresholdField->finish();
}

void IntervalTab::showAccount(const Account& a)
{
    m_interval->setCurrentIndex(a.intervalItem);
    // The rule applies to the text as typed; the field shows its result once it is left, so
    // that "12." followed by "9" is 12.9 and not 129.
    AccountNumberBox::show(m_secondsField, m_seconds, a.seconds);
    m_between->setChecked(a.between);
    m_dateFrom->setDate(a.dateFrom);
    m_dateTo->setDate(a.dateTo);
    m_betweenTimes->setChecked(a.betweenTimes);
    m_timeFrom->setTime(a.timeFrom);
    m_timeTo->setTime(a.timeTo);
    m_onlyChanged->setChecked(a.onlyChanged);
    AccountNumberBox::show(m_changeThresholdField, m_changeThreshold, QString::number(a.changeThreshold));
}
