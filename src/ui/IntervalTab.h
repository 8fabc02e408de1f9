#pragma once

#include "ui/AccountTab.h"

class NumberField;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QTimeEdit;

// "&Interval" (Frame2): how often timed uploads run, on which days and hours, and only when the
// picture changed.
class IntervalTab final : public AccountTab
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(IntervalTab)

public:
    explicit IntervalTab(AccountBook& book, QWidget* parent = nullptr);

    void finishEdits() override;

protected:
    void showAccount(const Account& account) override;

private:
    QComboBox* m_interval;
    QLineEdit* m_seconds;
    NumberField* m_secondsField;
    int m_intervalBeforeTyping = -1;
    QCheckBox* m_between;
    QDateEdit* m_dateFrom;
    QDateEdit* m_dateTo;
    QCheckBox* m_betweenTimes;
    QTimeEdit* m_timeFrom;
    QTimeEdit* m_timeTo;
    QCheckBox* m_onlyChanged;
    QLineEdit* m_changeThreshold;
    NumberField* m_changeThresholdField;
};
