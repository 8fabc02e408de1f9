#include "ui/CaptureCommands.h"
#include "MovieProbe.h"
#include "QtPrinters.h"
#include "ScriptedCaptureDialogs.h"
#include "ScriptedPrompter.h"
#include "TempDir.h"
#include "capture/GstCaptureComponent.h"
#include "options/ProgramOptions.h"
#include "settings/Regedit.h"
#include "ui/QtCaptureDialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QImageReader>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

constexpr int kFrameWidth = GstCaptureComponent::kTestPatternWidth;
constexpr int kFrameHeight = GstCaptureComponent::kTestPatternHeight;

int videoStreamsIn(const QString& path)
{
    return probeMovie(path).videoStreams;
}

class CaptureCommandsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(out));
        capture.setCaptureAudio(false);
        capture.setDriverIndex(capture.DriverCount() - 1);
    }

    QString outFile(const QString& name) const { return QDir(out).filePath(name); }
    QString workFile(const QString& name) const { return work.file(name); }

    // Runs Capture Movie; the PreRoll handler starts at once and end() stops after stopAfterMs.
    void recordMovie(int stopAfterMs, const std::function<void()>& end)
    {
        QObject context;
        QObject::connect(&capture, &CaptureComponent::PreRoll, &context, [&] {
            capture.StartCaptureNow();
            QTimer::singleShot(stopAfterMs, &context, end);
        });
        commands.save_motion_image_capture_Click(12);
    }

    // Commands on a component with no driver connected.
    struct Idle
    {
        explicit Idle(CaptureCommandsTest& t)
            : capture(t.work.path(), true),
              commands(capture, t.options, t.prompter, t.dialogs, t.work.path(), nullptr)
        {
        }
        GstCaptureComponent capture;
        CaptureCommands commands;
    };

    TempDir work;
    QString out = work.file(QStringLiteral("chosen"));
    Regedit store{work.file(QStringLiteral("store.db"))};
    ProgramOptions options{store};
    ScriptedPrompter prompter;
    ScriptedCaptureDialogs dialogs;
    GstCaptureComponent capture{work.path(), true};
    CaptureCommands commands{capture, options, prompter, dialogs, work.path(), nullptr};
};

// ---- Capture Image ----

TEST_F(CaptureCommandsTest, BmpEndingSavesTheFrameThere)
{
    const QString path = outFile(QStringLiteral("still.bmp"));
    dialogs.imageNext(path);
    commands.save_image_capture_Click();

    EXPECT_EQ(dialogs.asked(), QStringList{QStringLiteral("image")});
    QImageReader reader(path);
    EXPECT_EQ(reader.format(), QByteArray("bmp"));
    EXPECT_EQ(reader.size(), QSize(kFrameWidth, kFrameHeight));
    EXPECT_FALSE(QFile::exists(workFile(CaptureCommands::kCaptureBmp)));
    EXPECT_TRUE(prompter.texts().isEmpty()) << prompter.texts().join(' ').toStdString();
}

TEST_F(CaptureCommandsTest, JpgEndingGoesThroughCaptureBmpAndKeepsIt)
{
    options.setQuality(QStringLiteral("60"));
    const QString path = outFile(QStringLiteral("still.jpg"));
    dialogs.imageNext(path);
    commands.save_image_capture_Click();

    QImageReader reader(path);
    EXPECT_EQ(reader.format(), QByteArray("jpeg"));
    const QImage jpeg = reader.read();
    EXPECT_EQ(jpeg.size(), QSize(kFrameWidth, kFrameHeight));
    const QImage bitmap(workFile(CaptureCommands::kCaptureBmp));
    ASSERT_EQ(bitmap.size(), jpeg.size());
    // The JPEG shows the frame of "capture.bmp", upright: compare a coarse average per quarter.
    for (const QPoint corner : {QPoint(40, 40), QPoint(kFrameWidth - 40, kFrameHeight - 40)}) {
        const QColor a = bitmap.scaled(8, 8, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                             .pixelColor(corner.x() * 8 / kFrameWidth, corner.y() * 8 / kFrameHeight);
        const QColor b = jpeg.scaled(8, 8, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                             .pixelColor(corner.x() * 8 / kFrameWidth, corner.y() * 8 / kFrameHeight);
        EXPECT_NEAR(a.red(), b.red(), 24);
        EXPECT_NEAR(a.green(), b.green(), 24);
        EXPECT_NEAR(a.blue(), b.blue(), 24);
    }
    EXPECT_TRUE(prompter.texts().isEmpty()) << prompter.texts().join(' ').toStdString();
}

TEST_F(CaptureCommandsTest, OtherEndingsAndACancelledDialogWriteNothingAndSayNothing)
{
    for (const char* name : {"still.BMP", "still.jpeg", "still.JPG", "still.png", "still", ""}) {
        dialogs.imageNext(*name ? std::optional(outFile(QString::fromLatin1(name))) : std::nullopt);
        commands.save_image_capture_Click();
    }
    EXPECT_EQ(dialogs.asked().size(), 6);
    EXPECT_TRUE(QDir(out).isEmpty());
    EXPECT_FALSE(QFile::exists(workFile(CaptureCommands::kCaptureBmp)));
    EXPECT_TRUE(prompter.texts().isEmpty()) << prompter.texts().join(' ').toStdString();
}

TEST_F(CaptureCommandsTest, ImageErrorsAreShownAtTheEnd)
{
    // A bitmap into a missing folder: the frame's error, critical.
    dialogs.imageNext(outFile(QStringLiteral("missing/still.bmp")));
    commands.save_image_capture_Click();
    ASSERT_EQ(prompter.shown().size(), 1u);
    EXPECT_EQ(prompter.shown()[0].icon, Prompter::Icon::Critical);
    EXPECT_EQ(prompter.shown()[0].title, kProgramTitle);
    EXPECT_FALSE(prompter.shown()[0].text.isEmpty());

    // A JPEG into a missing folder: the writer's box, then "Failed to save JPEG file".
    prompter.clear();
    dialogs.imageNext(outFile(QStringLiteral("missing/still.jpg")));
    commands.save_image_capture_Click();
    ASSERT_EQ(prompter.shown().size(), 2u);
    EXPECT_TRUE(prompter.shown()[0].text.startsWith(QStringLiteral("IJL ERROR: [")));
    EXPECT_EQ(prompter.shown()[1].text, QStringLiteral("Failed to save JPEG file"));
    EXPECT_EQ(prompter.shown()[1].icon, Prompter::Icon::Critical);
    EXPECT_TRUE(QFile::exists(workFile(CaptureCommands::kCaptureBmp)));
}

TEST_F(CaptureCommandsTest, JpgWithoutAFrameDoesNotReuseAnOlderCaptureBmp)
{
    // An older frame from an earlier capture, and a component with no driver connected.
    capture.SaveFrame(workFile(CaptureCommands::kCaptureBmp));
    Idle idle(*this);
    const QString path = outFile(QStringLiteral("still.jpg"));
    dialogs.imageNext(path);
    idle.commands.save_image_capture_Click();

    EXPECT_FALSE(QFile::exists(path));
    ASSERT_EQ(prompter.shown().size(), 1u);
    EXPECT_EQ(prompter.shown()[0].text, QStringLiteral("No video capture driver is connected"));
    EXPECT_EQ(prompter.shown()[0].icon, Prompter::Icon::Critical);
}

// ---- Capture Movie ----

TEST_F(CaptureCommandsTest, MovieRecordsUntilEscapeWithTheChosenRate)
{
    QSignalSpy status(&commands, &CaptureCommands::movieStatus);
    const QString path = outFile(QStringLiteral("clip.avi"));
    dialogs.movieNext(path);
    recordMovie(1000, [] {
        QCoreApplication::postEvent(qApp, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    });

    EXPECT_EQ(dialogs.asked(), QStringList{QStringLiteral("movie")});
    EXPECT_EQ(capture.CaptureFrameRate(), 12);
    EXPECT_EQ(capture.CaptureFile(), path);
    EXPECT_FALSE(capture.isCapturing());
    EXPECT_EQ(videoStreamsIn(path), 1);
    ASSERT_EQ(status.count(), 2);
    EXPECT_EQ(status[0][0].toString(), CaptureCommands::kPressEscToStop);
    EXPECT_EQ(status[1][0].toString(), QString());
    EXPECT_TRUE(prompter.texts().isEmpty());
}

TEST_F(CaptureCommandsTest, CancelledMovieDialogStillRecordsIntoTheWorkFolder)
{
    QSignalSpy status(&commands, &CaptureCommands::movieStatus);
    dialogs.movieNext(std::nullopt);
    QObject context;
    QObject::connect(&capture, &CaptureComponent::PreRoll, &context, [&] {
        // The panel already asks for Escape when the recording is about to start.
        ASSERT_EQ(status.count(), 1);
        EXPECT_EQ(status[0][0].toString(), CaptureCommands::kPressEscToStop);
        capture.StartCaptureNow();
        QTimer::singleShot(500, &context, [this] { capture.StopCapture(); });
    });
    commands.save_motion_image_capture_Click(30);

    EXPECT_EQ(capture.CaptureFile(), QString());
    EXPECT_EQ(videoStreamsIn(workFile(QStringLiteral("capture.avi"))), 1);
    EXPECT_EQ(status.count(), 2);
}

TEST_F(CaptureCommandsTest, FailingMovieEndsQuietlyAndClearsThePanel)
{
    Idle idle(*this);
    QSignalSpy status(&idle.commands, &CaptureCommands::movieStatus);
    dialogs.movieNext(outFile(QStringLiteral("clip.avi")));
    idle.commands.save_motion_image_capture_Click(30);

    EXPECT_TRUE(prompter.texts().isEmpty());
    ASSERT_EQ(status.count(), 2);
    EXPECT_EQ(status[1][0].toString(), QString());
    EXPECT_TRUE(QDir(out).isEmpty());
}

// ---- Print ----

class PrintTest : public CaptureCommandsTest
{
protected:
    void SetUp() override
    {
        CaptureCommandsTest::SetUp();
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        dialogs.setPrinter(&printer);
    }

    QByteArray pdfBytes() const
    {
        QFile file(pdf);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QString pdf = outFile(QStringLiteral("page.pdf"));
    QPrinter printer{QPrinter::HighResolution};
};

TEST_F(PrintTest, PrintsTheFrameAndDeletesPrintBmp)
{
    commands.mnuPrint_Click();

    const QByteArray bytes = pdfBytes();
    ASSERT_FALSE(bytes.isEmpty());
    EXPECT_TRUE(bytes.startsWith("%PDF"));
    EXPECT_TRUE(bytes.contains("/Width 352")) << "the frame is embedded at its own pixel size";
    EXPECT_TRUE(bytes.contains("/Height 288"));
    EXPECT_EQ(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") + bytes.count("/Type /Page "), 1);
    EXPECT_FALSE(QFile::exists(workFile(CaptureCommands::kPrintBmp)));
    EXPECT_TRUE(prompter.texts().isEmpty());
}

TEST_F(PrintTest, KeepOptionKeepsPrintBmp)
{
    options.setPrint(true);
    commands.mnuPrint_Click();
    EXPECT_FALSE(pdfBytes().isEmpty());
    EXPECT_EQ(QImage(workFile(CaptureCommands::kPrintBmp)).size(), QSize(kFrameWidth, kFrameHeight));
}

TEST_F(PrintTest, UnsavedFrameShowsPrintErrorAndPrintsNoOlderPicture)
{
    options.setPrint(true);
    capture.SaveFrame(workFile(CaptureCommands::kPrintBmp)); // kept from an earlier print
    Idle idle(*this);
    idle.commands.mnuPrint_Click();

    ASSERT_EQ(prompter.shown().size(), 1u);
    EXPECT_EQ(prompter.shown()[0].text, QStringLiteral("Print Error: No video capture driver is connected"));
    EXPECT_EQ(prompter.shown()[0].icon, Prompter::Icon::Information);
    EXPECT_EQ(prompter.shown()[0].title, kProgramTitle);
    EXPECT_TRUE(pdfBytes().isEmpty());
    EXPECT_TRUE(QFile::exists(workFile(CaptureCommands::kPrintBmp)));

    // Without the keep option the stale picture goes as well.
    options.setPrint(false);
    idle.commands.mnuPrint_Click();
    EXPECT_FALSE(QFile::exists(workFile(CaptureCommands::kPrintBmp)));
}

TEST_F(PrintTest, NoPrinterDoesNothingAtAll)
{
    dialogs.setPrinter(nullptr);
    options.setPrint(true);
    commands.mnuPrint_Click();
    EXPECT_EQ(dialogs.asked(), QStringList{QStringLiteral("printer")});
    EXPECT_FALSE(QFile::exists(workFile(CaptureCommands::kPrintBmp)));
    EXPECT_TRUE(pdfBytes().isEmpty());
    EXPECT_TRUE(prompter.texts().isEmpty());
}

// The page layout on a device of known resolution: the picture's box of non-white pixels.
QRect paintedBox(const QImage& page)
{
    QRect box;
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) {
            if (page.pixel(x, y) != qRgb(255, 255, 255))
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

QImage pageAt(int dpi)
{
    QImage page(1200, 1000, QImage::Format_RGB32);
    page.setDotsPerMeterX(qRound(dpi / 0.0254));
    page.setDotsPerMeterY(qRound(dpi / 0.0254));
    page.fill(Qt::white);
    return page;
}

TEST(PrintLayout, PictureSitsTopLeftAtItsScreenSize)
{
    QImage picture(320, 240, QImage::Format_RGB32);
    picture.fill(QColor(200, 30, 30));

    struct Case
    {
        int deviceDpi;
        qreal screenDpi;
        QSize expected;
    };
    // 320 x 240 on a 96 dpi screen is 3.33 x 2.5 inches, about 8.5 x 6.4 cm.
    for (const Case& c : {Case{300, 96, {1000, 750}}, Case{96, 96, {320, 240}}, Case{300, 120, {800, 600}}}) {
        QImage page = pageAt(c.deviceDpi);
        QPainter painter(&page);
        CaptureCommands::printPicture(painter, picture, c.screenDpi, c.screenDpi);
        painter.end();

        const QRect box = paintedBox(page);
        EXPECT_EQ(box.topLeft(), QPoint(0, 0)) << c.deviceDpi << " dpi";
        EXPECT_NEAR(box.width(), c.expected.width(), 1) << c.deviceDpi << " dpi";
        EXPECT_NEAR(box.height(), c.expected.height(), 1) << c.deviceDpi << " dpi";
        EXPECT_EQ(page.pixelColor(box.center()), QColor(200, 30, 30));
    }
}

TEST(PrintLayout, PagedDeviceGetsOnePage)
{
    TempDir dir;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.file(QStringLiteral("one.pdf")));
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    EXPECT_TRUE(CaptureCommands::printPicture(printer, picture, 96, 96));
    EXPECT_GT(QFileInfo(dir.file(QStringLiteral("one.pdf"))).size(), 0);
}

// ---- The Qt dialogs ----

// Closes whatever modal window is still up after a while, so a dialog that waits for an answer
// nobody scripted fails the test instead of hanging it.
class ModalGuard final
{
public:
    ModalGuard()
    {
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                ADD_FAILURE() << "unexpected modal window: " << modal->metaObject()->className();
                modal->close();
            }
        });
        m_timer.start(5000);
    }

private:
    QTimer m_timer;
};

// Runs check on the modal file dialog once it is up, then accepts it with the given name.
void onFileDialog(const std::function<void(QFileDialog&)>& check, const QString& name)
{
    QTimer::singleShot(0, qApp, [=] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        check(*dialog);
        if (name.isEmpty()) {
            dialog->reject();
            return;
        }
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(edit, nullptr);
        edit->setText(name);
        static_cast<QDialog*>(dialog)->accept(); // public as a QDialog
    });
}

TEST(QtCaptureDialogsTest, PictureDialogOffersBitmapAndJpeg)
{
    ModalGuard guard;
    TempDir dir;
    QtCaptureDialogs dialogs;
    onFileDialog(
        [&](QFileDialog& dialog) {
            EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Save Picture As File"));
            EXPECT_EQ(dialog.nameFilters(), (QStringList{QStringLiteral("Bitmap files (*.bmp)"),
                                                         QStringLiteral("JPEG files (*.jpg)")}));
            EXPECT_EQ(dialog.selectedNameFilter(), QStringLiteral("Bitmap files (*.bmp)"));
            EXPECT_EQ(dialog.defaultSuffix(), QStringLiteral("bmp"));
            EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
            EXPECT_FALSE(dialog.testOption(QFileDialog::DontConfirmOverwrite));
        },
        dir.file(QStringLiteral("snap")));
    EXPECT_EQ(dialogs.saveImagePath(nullptr), dir.file(QStringLiteral("snap.bmp")));

    // Choosing the JPEG type makes a bare name a JPEG file.
    onFileDialog(
        [](QFileDialog& dialog) {
            auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            ASSERT_NE(types, nullptr);
            types->setFocus();
            QTest::keyClick(types, Qt::Key_Down);
            EXPECT_EQ(dialog.defaultSuffix(), QStringLiteral("jpg"));
        },
        dir.file(QStringLiteral("snap")));
    EXPECT_EQ(dialogs.saveImagePath(nullptr), dir.file(QStringLiteral("snap.jpg")));

    onFileDialog([](QFileDialog&) {}, QString());
    EXPECT_EQ(dialogs.saveImagePath(nullptr), std::nullopt);
}

TEST(QtCaptureDialogsTest, PictureDialogAsksBeforeOverwriting)
{
    ModalGuard guard;
    TempDir dir;
    QFile existing(dir.file(QStringLiteral("snap.bmp")));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.close();
    QtCaptureDialogs dialogs;
    int questions = 0;
    onFileDialog(
        [&](QFileDialog& dialog) {
            // The question comes up inside accept(); answer it once it is there.
            QTimer::singleShot(0, &dialog, [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                ASSERT_NE(box, nullptr);
                ++questions;
                box->button(QMessageBox::Yes)->click();
            });
        },
        dir.file(QStringLiteral("snap")));
    EXPECT_EQ(dialogs.saveImagePath(nullptr), dir.file(QStringLiteral("snap.bmp")));
    EXPECT_EQ(questions, 1);
}

TEST(QtCaptureDialogsTest, MovieDialogDoesNotAskBeforeOverwriting)
{
    ModalGuard guard;
    TempDir dir;
    QFile existing(dir.file(QStringLiteral("clip.avi")));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.close();
    QtCaptureDialogs dialogs;
    onFileDialog(
        [](QFileDialog& dialog) {
            EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Save AVI File"));
            EXPECT_EQ(dialog.nameFilters(), QStringList{QStringLiteral("AVI files (*.avi)")});
            EXPECT_EQ(dialog.defaultSuffix(), QStringLiteral("avi"));
            EXPECT_TRUE(dialog.testOption(QFileDialog::DontConfirmOverwrite));
        },
        dir.file(QStringLiteral("clip")));
    EXPECT_EQ(dialogs.saveMoviePath(nullptr), dir.file(QStringLiteral("clip.avi")));
}

} // namespace
