#pragma once

#include "options/AutostartEntry.h"

#include <QColor>
#include <QWidget>

class ColorSwatch;
class Help;
class NumberField;
class ProgramOptions;
class Prompter;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QSlider;
class QTabWidget;
class SettingsDialogs;
class SpinTextBox;

// "Program configuration" (prcoForm): a live view of the ProgramOptions. Each control change sets
// its option at once; "&OK" checks the two paths, stores the whole set with the autostart entry
// and hides the window. Created once and kept; "&OK", Escape and the close box leave it.
class ProgramConfigWindow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProgramConfigWindow)

public:
    static inline const QString kPictureFilter = QStringLiteral("Picture Files (*.bmp *.gif *.jpg)");
    static inline const QString kSoundFilter = QStringLiteral("Sound Files (*.wav)");
    static constexpr int kMinSoundSeconds = 0;
    static constexpr int kMaxSoundSeconds = 10;
    static constexpr qint64 kMaxCloseCount = 2'147'483'647;

    // autostart: what the autostart entry starts (this program on this store).
    ProgramConfigWindow(ProgramOptions& options, Prompter& prompter, Help& help, SettingsDialogs& dialogs,
                        AutostartEntry::Command autostart, QWidget* parent = nullptr);

    // The main window's menu entry: shows the options as they stand, non-modal.
    void showWindow();

signals:
    // The swatch's colour, for the main window's background at once (also after a cancelled dialog).
    void backgroundColorChosen(const QColor& color);
    // On "&OK": the picture file to show behind the main window; empty clears it.
    void backgroundPictureChanged(const QString& path);
    // "&OK" stored the options and hid the window: the main window shows itself.
    void confirmed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* buildProgram();
    QWidget* buildVarious();
    QWidget* buildBackground();
    QWidget* buildSound();
    QWidget* buildQuality();
    void connectControls();
    template <typename Sender, typename Signal, typename Handler>
    void onEdit(Sender* sender, Signal signal, Handler handler);

    void refresh();
    void choosePicture();
    void chooseSound();
    void chooseColor();
    void confirm();

    ProgramOptions& m_options;
    Prompter& m_prompter;
    Help& m_help;
    SettingsDialogs& m_dialogs;
    AutostartEntry::Command m_autostart;
    bool m_refreshing = false;
    // The file dialogs keep their last chosen file for the run; a cancel puts it back.
    QString m_pictureDialogFile;
    QString m_soundDialogFile;

    QTabWidget* m_tabs;
    QCheckBox* m_systray;
    QCheckBox* m_min;
    QCheckBox* m_autostartBox;
    QCheckBox* m_close;
    QLineEdit* m_closeCount;
    NumberField* m_closeField;
    QCheckBox* m_keep;
    QCheckBox* m_suc;
    QCheckBox* m_print;
    QCheckBox* m_motion;
    QCheckBox* m_notify;
    QLineEdit* m_picture;
    QPushButton* m_pictureBrowse;
    ColorSwatch* m_swatch;
    QCheckBox* m_ask;
    QCheckBox* m_sound;
    SpinTextBox* m_spin;
    QLineEdit* m_soundSec; // the spin box's own text
    NumberField* m_soundField;
    QLineEdit* m_soundFile;
    QPushButton* m_soundBrowse;
    QSlider* m_slider;
    QLineEdit* m_quality;
    NumberField* m_qualityField;
    QLineEdit* m_textTime;
    QPushButton* m_helpButton;
    QPushButton* m_ok;
};
