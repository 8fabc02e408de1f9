#pragma once

#include "ui/AccountTab.h"

class NumberField;
class QCheckBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimeEdit;
class TimelapseService;

// "Ar&chive" (frameArchive): dated copies of the picture on the server and in the local folder,
// their names, and how many are kept; the daily timelapse movie made of the local copies, and
// "Make timelapse now" for a chosen day with its progress.
class ArchiveTab final : public AccountTab
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ArchiveTab)

public:
    static constexpr int kMaxCount = 1'000'000;

    explicit ArchiveTab(AccountBook& book, QWidget* parent = nullptr);

    void finishEdits() override;
    // Where "Make timelapse now" goes and whose progress the tab shows; without it the button is off.
    void setTimelapse(TimelapseService* service);

protected:
    void showAccount(const Account& account) override;

private:
    // The archive name as typed: stored when it can name copies, otherwise refused with the reason
    // under the field (the stored name stays).
    void editName(const QString& pattern);
    void showNameProblem(const QString& pattern);
    void editMovieName(const QString& pattern);
    void showTimelapseState(const Account& account);
    void makeTimelapseNow();

    QCheckBox* m_server;
    QCheckBox* m_local;
    QLineEdit* m_name;
    QLabel* m_nameProblem;
    QLineEdit* m_keep;
    NumberField* m_keepField;
    QLineEdit* m_days;
    NumberField* m_daysField;
    QCheckBox* m_timelapse;
    QTimeEdit* m_timelapseTime;
    QLineEdit* m_timelapseRate;
    NumberField* m_timelapseRateField;
    QLineEdit* m_timelapseName;
    QLineEdit* m_timelapseKeep;
    NumberField* m_timelapseKeepField;
    QLabel* m_timelapseWhy;
    QDateEdit* m_timelapseDay;
    QPushButton* m_timelapseNow;
    QProgressBar* m_timelapseProgress;
    QLabel* m_timelapseResult;
    TimelapseService* m_service = nullptr;
};
