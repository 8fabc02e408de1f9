#pragma once

#include "ui/AccountTab.h"

class QCheckBox;
class QPushButton;
class SettingsDialogs;
class StampPreview;

// "&Timestamp" (frametimestamp): the stamp below the picture and its look, and the time file.
class TimestampTab final : public AccountTab
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TimestampTab)

public:
    TimestampTab(AccountBook& book, SettingsDialogs& dialogs, QWidget* parent = nullptr);

protected:
    void showAccount(const Account& account) override;

private:
    void chooseFont();
    void chooseBackColor();
    void chooseForeColor();

    SettingsDialogs& m_dialogs;
    QCheckBox* m_timestamp;
    QCheckBox* m_textTime;
    StampPreview* m_preview;
    QPushButton* m_font;
    QPushButton* m_backColor;
    QPushButton* m_foreColor;
};
