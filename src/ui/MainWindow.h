#pragma once

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>

class AboutBox;
class CaptureCommands;
class CaptureComponent;
class CaptureDialogs;
class FtpLogWindow;
class Help;
class MainMenus;
class MovieFrameRateWindow;
class NewsWindow;
class ProgramConfigWindow;
class Prompter;
class QAction;
class QLabel;
class QMenu;
class QToolButton;
class SelectDriverWindow;
class SettingsDialogs;
class StatusBarView;
class StatusPanels;
class UploadEngine;
class UploadSettingsWindow;
class VideoView;
class WindowGeometry;

// "Velmora 2001" (Form1): the live picture with the menu bar, toolbar and four status panels.
// Its load (on the first showing) connects the capture device, fills the driver list, readies
// the FTP session and arms the scheduler. Closing hides it to the tray unless the "Systray"
// option is set; File > Exit always ends the program. The windows it opens are created on first
// use and kept.
class MainWindow final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    // A start without any camera says what can be done about it.
    static inline const QString kNoCameraText = QStringLiteral(
        "No Video Capture Device!\n\nPlug in a webcam and choose it in Configuration > Picture > "
        "Driver..., add a network camera there with \"Add network camera...\", or start the "
        "program with --test-pattern to see a moving test picture.");

    struct Dependencies
    {
        UploadEngine& engine;
        Prompter& prompter;
        Help& help;
        SettingsDialogs& dialogs;
        CaptureDialogs& captureDialogs;
        StatusPanels& status;
        QString programPath;   // the program file the autostart entry starts
        QString programFolder; // where "Help/HTML" lies
        // Ends the program at once; the program passes QCoreApplication::exit, tests a recorder.
        std::function<void()> endProgram;
    };

    explicit MainWindow(const Dependencies& dependencies);
    ~MainWindow() override;

    // Shows the window; the first call runs the load first.
    void showWindow();
    bool isLoaded() const { return m_loaded; }
    // Writes the outer size as "Width" and "Height" in twips.
    void storeSize();
    // Whether the notification area shows the program's icon (by default: whether the desktop has
    // a notification area). Without it, closing or "Hide In Systray" minimises the window instead
    // of hiding it, so the program never runs with neither window nor icon.
    void setTrayPresence(std::function<bool()> present);

    // The menu and toolbar commands, callable by name.
    void save_image_capture_Click();
    void save_motion_image_capture_Click();
    void mnuupload_now_Click();
    void mnuPrint_Click();
    void systray_Click();
    void exit_Click();
    void motion_preview_Click();
    void mnuAudio_Click();
    void mnuFtpError_Click();
    void ftp_Click();
    void prco_Click();
    void driver_Click();
    void vformat_Click();
    void display_Click();
    void source_Click();
    void mnuMovieFrameRate_Click();
    void mnuMC_Click();
    void mnuAF_Click();
    void velmora_help_Click();
    void news_Click();
    void about_Click();
    // Toolbar buttons and the "Picture" drop-down, by key.
    void toolbarButton_Click(const QString& key);
    void pictureMenu_Click(const QString& key);

    // The windows, created on first use.
    SelectDriverWindow& selectDriverWindow();
    MovieFrameRateWindow& movieFrameRateWindow();
    FtpLogWindow& ftpLogWindow();
    UploadSettingsWindow& uploadSettingsWindow();
    ProgramConfigWindow& programConfigWindow();
    VideoView& videoView() const { return *m_video; }
    // Shows another camera in use (by identity), or the program's camera for an empty one or a
    // camera not in use; what the accounts upload does not change.
    void showCamera(const QString& identity);
    QString shownCamera() const { return m_shownCamera; }

    // Pixels for twips and back, at the screen's logical resolution.
    int pixelsX(int twips) const;
    int pixelsY(int twips) const;
    int twipsX(int pixels) const;
    int twipsY(int pixels) const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void load();
    void fitFrame();
    void setBackgroundPicture(const QString& path);
    void setBackgroundColor(const QColor& color);
    void setDialogAvailability();
    void fillDriverList();
    void openInternetSession();
    void showVideoSize();
    void armScheduler();
    void connectCaptureEvents();
    // Tells the capture component whether the live picture is on screen.
    void updatePictureShown();
    // "Show Camera" lists the program's camera and the other cameras in use.
    void fillShowCameraMenu();
    void runDriverDialog(QDialog& dialog);
    void endProgram();
    void leaveForTray();

    UploadEngine& m_engine;
    Prompter& m_prompter;
    Help& m_help;
    SettingsDialogs& m_dialogs;
    CaptureDialogs& m_captureDialogs;
    StatusPanels& m_status;
    QString m_programPath;
    QString m_programFolder;
    std::function<void()> m_endProgram;
    std::function<bool()> m_trayPresent;

    bool m_loaded = false;
    bool m_ended = false;
    std::unique_ptr<WindowGeometry> m_geometry;
    std::unique_ptr<MainMenus> m_menus;

    QWidget* m_background;
    VideoView* m_video;
    // The camera the picture shows: the program's (empty identity) or another camera in use.
    QString m_shownCamera;
    QPointer<CaptureComponent> m_shownFeed;
    StatusBarView* m_statusBar;
    QAction* m_format = nullptr;
    QAction* m_display = nullptr;
    QAction* m_source = nullptr;
    QAction* m_motionPreview = nullptr;
    QAction* m_audio = nullptr;

    std::unique_ptr<SelectDriverWindow> m_selectDriver;
    std::unique_ptr<MovieFrameRateWindow> m_movieFrameRate;
    std::unique_ptr<FtpLogWindow> m_ftpLog;
    std::unique_ptr<UploadSettingsWindow> m_uploadSettings;
    std::unique_ptr<ProgramConfigWindow> m_programConfig;
    std::unique_ptr<AboutBox> m_about;
    CaptureCommands* m_captureCommands;
    QPointer<NewsWindow> m_news;
};
