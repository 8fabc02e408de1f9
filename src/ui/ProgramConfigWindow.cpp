#include "ui/ProgramConfigWindow.h"

#include "common/Prompter.h"
#include "common/TypedNumber.h"
#include "help/Help.h"
#include "help/ScreenPlacement.h"
#include "options/ProgramOptions.h"
#include "settings/Account.h"
#include "ui/ColorSwatch.h"
#include "ui/NumberField.h"
#include "ui/SettingsDialogs.h"
#include "ui/SpinTextBox.h"
#include "ui/WindowParts.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFocusEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

using WindowParts::label;
using WindowParts::named;
using WindowParts::showText;

namespace {
// True when the path names an existing file (not a folder).
bool isFile(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}
} // namespace

ProgramConfigWindow::ProgramConfigWindow(ProgramOptions& options, Prompter& prompter, Help& help,
                                         SettingsDialogs& dialogs, AutostartEntry::Command autostart,
                                         QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_options(options), m_prompter(prompter), m_help(help), m_dialogs(dialogs),
      m_autostart(std::move(autostart))
{
    setObjectName(QStringLiteral("prcoForm"));
    setWindowTitle(QStringLiteral("Program configuration"));

    m_tabs = named(new QTabWidget, QStringLiteral("TabStripConf"));
    m_tabs->addTab(buildProgram(), QStringLiteral("Program Running"));
    m_tabs->addTab(buildVarious(), QStringLiteral("Various Options"));
    m_tabs->addTab(buildBackground(), QStringLiteral("Program Interface"));
    m_tabs->addTab(buildSound(), QStringLiteral("Premonition"));
    m_tabs->addTab(buildQuality(), QStringLiteral("Uploaded"));
    m_helpButton = named(new QPushButton(QStringLiteral("&Help")), QStringLiteral("cmdHelp"));
    m_ok = named(new QPushButton(QStringLiteral("&OK")), QStringLiteral("Command1"));
    m_ok->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_helpButton);
    buttons->addStretch();
    buttons->addWidget(m_ok);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs, 1);
    layout->addLayout(buttons);
    // Wide enough for all five tabs side by side.
    resize(std::max(520, m_tabs->tabBar()->sizeHint().width() + 40), 300);

    ScreenPlacement::centreOnScreen(*this);
    m_tabs->setCurrentIndex(0);
    connectControls();
    refresh();
}

QWidget* ProgramConfigWindow::buildProgram()
{
    auto* page = named(new QFrame, QStringLiteral("frameProgram"));
    m_systray = named(new QCheckBox(QStringLiteral("Don't minimize program to Sys&tray")),
                      QStringLiteral("chkSystray"));
    m_min = named(new QCheckBox(QStringLiteral("&Start program &minimized in systray")),
                  QStringLiteral("chkMin"));
    m_autostartBox =
        named(new QCheckBox(QStringLiteral("&Autostart program at login")), QStringLiteral("chkAutostart"));
    m_close = named(new QCheckBox, QStringLiteral("chkClose"));
    m_closeCount = named(new QLineEdit, QStringLiteral("txtClose"));
    m_closeCount->setMaximumWidth(90);
    m_closeField = new NumberField(
        *m_closeCount, {0, kMaxCloseCount, true}, [this] { return m_options.closeCount(); },
        [this](const QString& text) { m_options.setCloseCount(text); }, this);

    auto* closeLine = new QHBoxLayout;
    closeLine->addWidget(m_close);
    closeLine->addWidget(label(QStringLiteral("lblCloseProgram"), QStringLiteral("Close program after")));
    closeLine->addWidget(m_closeCount);
    closeLine->addWidget(label(QStringLiteral("lblCloseuploads"), QStringLiteral("upload(s)")));
    closeLine->addStretch();
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(m_systray);
    layout->addWidget(m_min);
    layout->addWidget(m_autostartBox);
    layout->addLayout(closeLine);
    layout->addWidget(m_closeField->note());
    layout->addStretch();
    return page;
}

QWidget* ProgramConfigWindow::buildVarious()
{
    auto* page = named(new QFrame, QStringLiteral("frameVarious"));
    m_keep = named(new QCheckBox(QStringLiteral("&Keep uploaded picture in program folder")),
                   QStringLiteral("chkKeepUpload"));
    m_suc = named(new QCheckBox(QStringLiteral("&Show message after successful upload")),
                  QStringLiteral("chkSuc"));
    m_print = named(new QCheckBox(QStringLiteral("Keep &printed picture in program folder")),
                    QStringLiteral("chkPrint"));
    m_motion = named(new QCheckBox(QStringLiteral("Turn 'Motion Preview' on &while uploading")),
                     QStringLiteral("chkMotion"));
    m_notify = named(new QCheckBox(QStringLiteral("Show a &notification when uploads keep failing")),
                     QStringLiteral("chkNotify"));
    m_notify->setToolTip(QStringLiteral("After three failed uploads of an account in a row, and once more "
                                        "when it works again"));
    auto* layout = new QVBoxLayout(page);
    for (QCheckBox* box : {m_keep, m_suc, m_print, m_motion, m_notify})
        layout->addWidget(box);
    layout->addStretch();
    return page;
}

QWidget* ProgramConfigWindow::buildBackground()
{
    auto* page = named(new QFrame, QStringLiteral("frameBackground"));
    m_picture = named(new QLineEdit, QStringLiteral("txtPicSource"));
    m_pictureBrowse = named(new QPushButton(QStringLiteral("...")), QStringLiteral("cmdPictureBrowse"));
    m_pictureBrowse->setMaximumWidth(40);
    m_swatch = named(new ColorSwatch, QStringLiteral("piccolor"));

    auto* grid = new QGridLayout(page);
    grid->addWidget(label(QStringLiteral("lblBackground"), QStringLiteral("Program background:")), 0, 0, 1,
                    3);
    grid->addWidget(label(QStringLiteral("lblPic"), QStringLiteral("Picture:")), 1, 0);
    grid->addWidget(m_picture, 1, 1);
    grid->addWidget(m_pictureBrowse, 1, 2);
    grid->addWidget(label(QStringLiteral("lblColor"), QStringLiteral("Color:")), 2, 0);
    grid->addWidget(m_swatch, 2, 1, Qt::AlignLeft);
    grid->setRowStretch(3, 1);
    return page;
}

QWidget* ProgramConfigWindow::buildSound()
{
    auto* page = named(new QFrame, QStringLiteral("frameSound"));
    m_ask =
        named(new QCheckBox(QStringLiteral("&Ask every time before uploading")), QStringLiteral("chkAsk"));
    m_sound = named(new QCheckBox(QStringLiteral("&Play sound ")), QStringLiteral("chkSound"));
    // One box: the text is "txtSound", the arrows beside it "UpDown1".
    m_spin = named(new SpinTextBox(kMinSoundSeconds, kMaxSoundSeconds), QStringLiteral("UpDown1"));
    m_soundSec = named(m_spin->edit(), QStringLiteral("txtSound"));
    m_soundField = new NumberField(
        *m_soundSec, {kMinSoundSeconds, kMaxSoundSeconds, true}, [this] { return m_options.soundSec(); },
        [this](const QString& text) { m_options.setSoundSec(text); }, this);
    m_soundFile = named(new QLineEdit, QStringLiteral("txtSoundSource"));
    m_soundBrowse = named(new QPushButton(QStringLiteral("...")), QStringLiteral("cmdSoundBrowse"));
    m_soundBrowse->setMaximumWidth(40);
    auto* note =
        label(QStringLiteral("beep"), QStringLiteral("If you don't specify a .wav file, you will only hear a "
                                                     "single beep when 'Play sound' is checked"));
    note->setWordWrap(true);

    auto* soundLine = new QHBoxLayout;
    soundLine->addWidget(m_sound);
    soundLine->addWidget(m_spin);
    soundLine->addWidget(label(QStringLiteral("lblSound"), QStringLiteral("seconds before uploading")));
    soundLine->addStretch();
    auto* soundNote = new QHBoxLayout;
    soundNote->addWidget(m_soundField->note());
    auto* fileLine = new QHBoxLayout;
    fileLine->addWidget(m_soundFile, 1);
    fileLine->addWidget(m_soundBrowse);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(m_ask);
    layout->addLayout(soundLine);
    layout->addLayout(soundNote);
    layout->addLayout(fileLine);
    layout->addWidget(note);
    layout->addStretch();
    return page;
}

QWidget* ProgramConfigWindow::buildQuality()
{
    auto* page = named(new QFrame, QStringLiteral("frameQuality"));
    m_slider = named(new QSlider(Qt::Horizontal), QStringLiteral("Slider1"));
    m_slider->setRange(0, 100);
    m_slider->setValue(100);
    m_quality = named(new QLineEdit(QStringLiteral("100")), QStringLiteral("txtQuality"));
    m_quality->setMaximumWidth(50);
    m_qualityField = new NumberField(
        *m_quality, {0, 100, false}, [this] { return m_options.quality(); },
        [this](const QString& text) { m_options.setQuality(text); }, this);
    m_textTime = named(new QLineEdit(QStringLiteral("time.txt")), QStringLiteral("txtTextTime"));
    // An empty name means this one.
    m_textTime->setPlaceholderText(ProgramOptions::kDefaultTimeFileName);

    auto* grid = new QGridLayout(page);
    grid->addWidget(label(QStringLiteral("Label5"), QStringLiteral("Image Quality (JPEG):")), 0, 0, 1, 4);
    grid->addWidget(label(QStringLiteral("Label2"), QStringLiteral("Smallest file")), 1, 0);
    grid->addWidget(m_slider, 1, 1);
    grid->addWidget(label(QStringLiteral("Label1"), QStringLiteral("Best quality")), 1, 2);
    grid->addWidget(m_quality, 1, 3);
    grid->addWidget(m_qualityField->note(), 2, 1, 1, 3);
    grid->addWidget(label(QStringLiteral("Label3"), QStringLiteral("Time textfile name:")), 3, 0);
    grid->addWidget(m_textTime, 3, 1, 1, 3);
    grid->setRowStretch(4, 1);
    return page;
}

template <typename Sender, typename Signal, typename Handler>
void ProgramConfigWindow::onEdit(Sender* sender, Signal signal, Handler handler)
{
    connect(sender, signal, this, [this, handler](auto&&... args) {
        if (!m_refreshing)
            handler(args...);
    });
}

void ProgramConfigWindow::connectControls()
{
    ProgramOptions& o = m_options;
    connect(&m_options, &ProgramOptions::changed, this, &ProgramConfigWindow::refresh);

    onEdit(m_systray, &QCheckBox::toggled, [&o](bool on) { o.setSystray(on); });
    onEdit(m_min, &QCheckBox::toggled, [&o](bool on) { o.setMin(on); });
    onEdit(m_autostartBox, &QCheckBox::toggled, [&o](bool on) { o.setAutostart(on); });
    onEdit(m_close, &QCheckBox::toggled, [&o](bool on) { o.setClose(on); });
    onEdit(m_keep, &QCheckBox::toggled, [&o](bool on) { o.setKeep(on); });
    onEdit(m_suc, &QCheckBox::toggled, [&o](bool on) { o.setSuc(on); });
    onEdit(m_print, &QCheckBox::toggled, [&o](bool on) { o.setPrint(on); });
    onEdit(m_motion, &QCheckBox::toggled, [&o](bool on) { o.setMotion(on); });
    onEdit(m_notify, &QCheckBox::toggled, [&o](bool on) { o.setNotify(on); });
    onEdit(m_picture, &QLineEdit::textChanged, [&o](const QString& text) { o.setBgPic(text); });
    onEdit(m_ask, &QCheckBox::toggled, [&o](bool on) { o.setAsk(on); });
    onEdit(m_sound, &QCheckBox::toggled, [&o](bool on) { o.setSound(on); });
    onEdit(m_soundFile, &QLineEdit::textChanged, [&o](const QString& text) { o.setSoundSrc(text); });
    onEdit(m_textTime, &QLineEdit::textChanged, [&o](const QString& text) { o.setTextTimeName(text); });

    // The slider and the arrows put their number into the box.
    onEdit(m_slider, &QSlider::valueChanged, [this](int value) {
        m_qualityField->clearNote();
        m_options.setQuality(QString::number(value));
    });
    onEdit(m_spin, &SpinTextBox::stepped, [this](int value) {
        m_soundField->clearNote();
        m_options.setSoundSec(QString::number(value));
    });

    connect(m_pictureBrowse, &QPushButton::clicked, this, &ProgramConfigWindow::choosePicture);
    connect(m_soundBrowse, &QPushButton::clicked, this, &ProgramConfigWindow::chooseSound);
    connect(m_swatch, &ColorSwatch::clicked, this, &ProgramConfigWindow::chooseColor);
    connect(m_helpButton, &QPushButton::clicked, this,
            [this] { m_help.ShowHelpTopic(QStringLiteral("configuration")); });
    connect(m_ok, &QPushButton::clicked, this, &ProgramConfigWindow::confirm);
    WindowParts::closeWithEscape(*this, m_ok);
}

void ProgramConfigWindow::refresh()
{
    const QScopedValueRollback guard(m_refreshing, true);
    const ProgramOptions& o = m_options;
    m_systray->setChecked(o.systray());
    m_min->setChecked(o.min());
    m_autostartBox->setChecked(o.autostart());
    m_close->setChecked(o.close());
    if (!m_closeField->isTyping())
        showText(m_closeCount, o.closeCount());
    m_keep->setChecked(o.keep());
    m_suc->setChecked(o.suc());
    m_print->setChecked(o.print());
    m_motion->setChecked(o.motion());
    m_notify->setChecked(o.notify());
    showText(m_picture, o.bgPic());
    // The colour in use: white until one is chosen.
    m_swatch->setColor(colorFromStored(o.bgColor().value_or(ProgramOptions::kDefaultBgColor)));
    m_ask->setChecked(o.ask());
    m_sound->setChecked(o.sound());
    showText(m_soundFile, o.soundSrc());
    showText(m_textTime, o.textTimeName());

    // A box being typed in keeps its text until it is left; the slider and the arrows follow the
    // number it holds (a stored fraction such as 12.5 puts the slider on the nearest step).
    if (!m_qualityField->isTyping())
        showText(m_quality, o.quality());
    if (const std::optional<double> quality = TypedNumber::parse(o.quality()))
        m_slider->setValue(static_cast<int>(std::lround(std::clamp(*quality, 0.0, 100.0))));
    if (!m_soundField->isTyping())
        showText(m_soundSec, o.soundSec());
    if (const std::optional<double> seconds = TypedNumber::parse(o.soundSec()))
        m_spin->setValue(static_cast<int>(std::floor(std::clamp(*seconds, 0.0, 10.0))));
}

void ProgramConfigWindow::showWindow()
{
    hide();
    show();
    raise();
    activateWindow();
}

void ProgramConfigWindow::choosePicture()
{
    if (const std::optional<QString> file = m_dialogs.chooseFile(QStringLiteral("Choose Picture..."),
                                                                 kPictureFilter, m_pictureDialogFile, this))
        m_pictureDialogFile = *file;
    m_picture->setText(m_pictureDialogFile);
}

void ProgramConfigWindow::chooseSound()
{
    if (const std::optional<QString> file =
            m_dialogs.chooseFile(QStringLiteral("Choose Sound..."), kSoundFilter, m_soundDialogFile, this))
        m_soundDialogFile = *file;
    m_soundFile->setText(m_soundDialogFile);
}

void ProgramConfigWindow::chooseColor()
{
    // A cancelled dialog changes nothing, and nothing is stored for it.
    const std::optional<QColor> chosen = m_dialogs.chooseColor(m_swatch->color(), this);
    if (!chosen)
        return;
    const QColor color = *chosen;
    m_options.setBgColor(storedFromColor(color));
    m_swatch->setColor(color);
    emit backgroundColorChosen(color);
}

void ProgramConfigWindow::confirm()
{
    // Enter confirms without leaving the box typed in: it shows what is kept first.
    for (NumberField* field : {m_closeField, m_soundField, m_qualityField})
        field->finish();
    const QString picture = m_options.bgPic();
    if (picture.isEmpty()) {
        emit backgroundPictureChanged(QString());
    } else if (!isFile(picture)) {
        m_prompter.message(QStringLiteral("Picture not found"), Prompter::Icon::Critical);
        emit backgroundPictureChanged(QString());
    } else {
        emit backgroundPictureChanged(picture);
    }

    const QString sound = m_options.soundSrc();
    if (!sound.isEmpty() && !isFile(sound))
        m_prompter.message(QStringLiteral("Sound file not found"), Prompter::Icon::Critical);

    if (const Result<void> stored = m_options.storeAll(m_autostart); !stored)
        m_prompter.message(stored.failure().sentence, Prompter::Icon::Exclamation);

    hide();
    emit confirmed();
}

void ProgramConfigWindow::closeEvent(QCloseEvent* event)
{
    // The close box acts as "&OK": there is no cancel, what was changed is stored on the way out.
    // The window is only ever hidden, never closed (the end of the program hides every window).
    event->ignore();
    if (isVisible())
        confirm();
}
