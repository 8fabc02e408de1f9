#pragma once

#include "ui/AccountTab.h"

class NumberField;
class QCheckBox;
class QLabel;
class QLineEdit;

// "Ar&chive" (frameArchive): dated copies of the picture on the server and in the local folder,
// their names, and how many are kept.
class ArchiveTab final : public AccountTab
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ArchiveTab)

public:
    static constexpr int kMaxCount = 1'000'000;

    explicit ArchiveTab(AccountBook& book, QWidget* parent = nullptr);

    void finishEdits() override;

protected:
    void showAccount(const Account& account) override;

private:
    // The archive name as typed: stored when it can name copies, otherwise refused with the reason
    // under the field (the stored name stays).
    void editName(const QString& pattern);
    void showNameProblem(const QString& pattern);

    QCheckBox* m_server;
    QCheckBox* m_local;
    QLineEdit* m_name;
    QLabel* m_nameProblem;
    QLineEdit* m_keep;
    NumberField* m_keepField;
    QLineEdit* m_days;
    NumberField* m_daysField;
};
