#include "ui/CaptureCommands.h"
#include "FakeCapture.h"
#include "ResultCheck.h"
#include "ScriptedCaptureDialogs.h"
#include "ScriptedPrompter.h"
#include "TempDir.h"
#include "options/ProgramOptions.h"
#include "settings/Regedit.h"
#include "ui/QtCaptureDialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
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

namespace {
const QSize kFrame(CaptureComponent::kDefaultWidth, CaptureComponent::kDefaultHeight);

// The commands on the capture double: a still comes on the next turn of the event loop, each one
// a new picture; a movie writes a small file when it is stopped.
class CaptureCommandsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(out));
        ASSERT_TRUE(succeeded(capture.setDriverIndex(0)));
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(outFile("page.pdf"));
        dialogs.setPrinter(&printer);
    }
    QByteArray pdfBytes() const
    {
        QFile file(outFile("page.pdf"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QString outFile(const QString& name) const { return QDir(out).filePath(name); }
    bool inWork(const QString& name) const { return QFile::exists(work.file(name)); }
    // Runs a Capture Image or Print command until it has done its work.
    void run(void (CaptureCommands::*command)())
    {
        QSignalSpy handled(&commands, &CaptureCommands::stillHandled);
        (commands.*command)();
        ASSERT_TRUE(handled.count() == 1 || handled.wait(5000));
    }

    TempDir work;
    QString out = work.file("chosen");
    Regedit store{work.file("store.db")};
    ProgramOptions options{store};
    ScriptedPrompter prompter;
    ScriptedCaptureDialogs dialogs;
    FakeCapture capture;
    CaptureCommands commands{capture, options, prompter, dialogs, work.path(), nullptr};
    QPrinter printer{QPrinter::HighResolution};
};

// ---- Capture Image ----

TEST_F(CaptureCommandsTest, TheEndingDecidesTheFormatAndOnlyBmpAndJpgAreWritten)
{
    dialogs.imageNext(outFile("still.bmp"));
    run(&CaptureCommands::save_image_capture_Click);
    QImageReader bmp(outFile("still.bmp"));
    EXPECT_EQ(bmp.format(), QByteArray("bmp"));
    EXPECT_EQ(bmp.size(), kFrame);
    EXPECT_EQ(capture.stillRequests, 1);
    EXPECT_FALSE(inWork("capture.bmp"));

    // Other endings, another case, or a cancelled dialog: nothing written, asked for or said.
    for (const char* name : {"still.BMP", "still.jpeg", "still.JPG", "still.png", "still", ""}) {
        dialogs.imageNext(*name ? std::optional(outFile(name)) : std::nullopt);
        commands.save_image_capture_Click();
    }
    QTest::qWait(50);
    EXPECT_EQ(capture.stillRequests, 1);
    EXPECT_EQ(QDir(out).entryList(QDir::Files), QStringList{"still.bmp"});
    EXPECT_FALSE(inWork("capture.bmp"));

    // A JPEG goes through "capture.bmp", which stays, and shows its frame upright.
    options.setQuality("60");
    dialogs.imageNext(outFile("still.jpg"));
    run(&CaptureCommands::save_image_capture_Click);
    EXPECT_EQ(dialogs.asked().size(), 8);
    QImageReader jpegReader(outFile("still.jpg"));
    EXPECT_EQ(jpegReader.format(), QByteArray("jpeg"));
    const QImage jpeg = jpegReader.read().scaled(8, 8, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QImage bitmap = QImage(work.file("capture.bmp"));
    ASSERT_EQ(bitmap.size(), kFrame);
    const QImage coarse = bitmap.scaled(8, 8, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    for (const QPoint at : {QPoint(0, 0), QPoint(7, 7)}) {
        const QColor a = coarse.pixelColor(at), b = jpeg.pixelColor(at);
        EXPECT_LE(std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                            std::abs(a.blue() - b.blue())}),
                  24);
    }
    EXPECT_TRUE(prompter.texts().isEmpty()) << prompter.texts().join(' ').toStdString();
}

TEST_F(CaptureCommandsTest, ImageErrorsAreShownAtTheEnd)
{
    // A bitmap into a missing folder: the writer's error, critical.
    dialogs.imageNext(outFile("missing/still.bmp"));
    run(&CaptureCommands::save_image_capture_Click);
    ASSERT_EQ(prompter.shown().size(), 1u);
    EXPECT_EQ(prompter.shown()[0].icon, Prompter::Icon::Critical);
    EXPECT_EQ(prompter.shown()[0].title, "Velmora 2001");
    EXPECT_FALSE(prompter.shown()[0].text.isEmpty());

    // A JPEG into a missing folder: the writer's box, then "Failed to save JPEG file".
    prompter.clear();
    dialogs.imageNext(outFile("missing/still.jpg"));
    run(&CaptureCommands::save_image_capture_Click);
    ASSERT_EQ(prompter.shown().size(), 2u);
    EXPECT_TRUE(prompter.shown()[0].text.startsWith("IJL ERROR: ["));
    EXPECT_EQ(prompter.shown()[1].text, "Failed to save JPEG file");
    EXPECT_EQ(prompter.shown()[1].icon, Prompter::Icon::Critical);
    EXPECT_TRUE(inWork("capture.bmp"));

    // Without a fresh frame the "capture.bmp" left from above is not made into a JPEG, and the
    // reason stands as a sentence of its own.
    prompter.clear();
    capture.delivering = false;
    dialogs.imageNext(outFile("still.jpg"));
    run(&CaptureCommands::save_image_capture_Click);
    EXPECT_FALSE(QFile::exists(outFile("still.jpg")));
    ASSERT_EQ(prompter.shown().size(), 1u);
    EXPECT_EQ(prompter.shown()[0].text, "No picture from the camera");
    EXPECT_EQ(prompter.shown()[0].icon, Prompter::Icon::Critical);
}

// A link planted at "capture.bmp" or "print.bmp" is replaced by the program's own file; the file it
// points at keeps its bytes. A working folder that was removed is made again.
TEST_F(CaptureCommandsTest, WorkingFilesReplacePlantedLinksAndTheWorkingFolderIsMadeAgain)
{
    TempDir elsewhere;
    for (const char* name : {"capture.bmp", "print.bmp"}) {
        QFile victim(elsewhere.file(name));
        ASSERT_TRUE(victim.open(QIODevice::WriteOnly));
        victim.write("precious");
        victim.close();
        ASSERT_TRUE(QFile::link(victim.fileName(), work.file(name)));
    }
    dialogs.imageNext(outFile("still.jpg"));
    run(&CaptureCommands::save_image_capture_Click);
    run(&CaptureCommands::mnuPrint_Click);
    EXPECT_FALSE(QFileInfo(work.file("capture.bmp")).isSymLink());
    EXPECT_EQ(QImage(work.file("capture.bmp")).size(), kFrame);
    for (const char* name : {"capture.bmp", "print.bmp"}) {
        QFile victim(elsewhere.file(name));
        ASSERT_TRUE(victim.open(QIODevice::ReadOnly));
        EXPECT_EQ(victim.readAll(), "precious") << name;
    }
    EXPECT_EQ(pdfBytes().left(4), "%PDF");

    TempDir other;
    const QString gone = other.file("work");
    CaptureCommands inGone{capture, options, prompter, dialogs, gone, nullptr};
    dialogs.imageNext(outFile("again.jpg"));
    QSignalSpy handled(&inGone, &CaptureCommands::stillHandled);
    inGone.save_image_capture_Click();
    ASSERT_TRUE(handled.wait(5000));
    EXPECT_EQ(QImageReader(outFile("again.jpg")).size(), kFrame);
    EXPECT_TRUE(QFile::exists(gone + "/capture.bmp"));
    EXPECT_TRUE(prompter.texts().isEmpty()) << prompter.texts().join(' ').toStdString();
}

// ---- Capture Movie ----

// The command returns at once; panel 3 asks for Escape until the component reports the end.
TEST_F(CaptureCommandsTest, MoviePanelAsksForEscapeUntilTheMovieEnds)
{
    QSignalSpy status(&commands, &CaptureCommands::movieStatus);
    QObject context;
    QObject::connect(&capture, &CaptureComponent::PreRoll, &context, [&] { capture.StartCaptureNow(); });
    const QString path = outFile("clip.avi");
    dialogs.movieNext(path);
    commands.save_motion_image_capture_Click(12);
    EXPECT_EQ(capture.CaptureFrameRate(), 12);
    EXPECT_EQ(capture.CaptureFile(), path);
    EXPECT_TRUE(capture.isCapturing());
    ASSERT_EQ(status.count(), 1);
    EXPECT_EQ(status[0][0].toString(), "Press <Esc> to stop");
    // A second start while it records does nothing.
    commands.save_motion_image_capture_Click(12);
    EXPECT_EQ(dialogs.asked(), QStringList{"movie"});

    capture.StopCapture();
    ASSERT_EQ(status.count(), 2);
    EXPECT_EQ(status[1][0].toString(), QString());
    EXPECT_TRUE(QFile::exists(path));

    // A cancelled dialog still records, into the component's default file.
    dialogs.movieNext(std::nullopt);
    commands.save_motion_image_capture_Click(30);
    EXPECT_EQ(capture.CaptureFile(), QString());
    capture.abandonMovie();
    EXPECT_EQ(status.count(), 4);
    EXPECT_EQ(status.last()[0].toString(), QString());

    // A movie that cannot start: the panel is cleared, nothing is said.
    FakeCapture idle;
    CaptureCommands idleCommands(idle, options, prompter, dialogs, work.path(), nullptr);
    QSignalSpy idleStatus(&idleCommands, &CaptureCommands::movieStatus);
    dialogs.movieNext(outFile("idle.avi"));
    idleCommands.save_motion_image_capture_Click(30);
    ASSERT_EQ(idleStatus.count(), 2);
    EXPECT_EQ(idleStatus[1][0].toString(), QString());
    EXPECT_TRUE(prompter.texts().isEmpty());
}

// ---- Print ----

TEST_F(CaptureCommandsTest, PrintPutsTheFrameOnOnePageKeepsPrintBmpOnlyWhenAskedAndNeverPrintsAnOldOne)
{
    // No printer: the person is told, nothing is taken.
    dialogs.setPrinter(nullptr);
    options.setPrint(true);
    run(&CaptureCommands::mnuPrint_Click);
    EXPECT_EQ(prompter.texts(), QStringList{CaptureCommands::kNoPrinter});
    EXPECT_EQ(prompter.shown()[0].icon, Prompter::Icon::Information);
    EXPECT_EQ(capture.stillRequests, 0);
    EXPECT_FALSE(inWork("print.bmp"));
    EXPECT_TRUE(pdfBytes().isEmpty());
    prompter.clear();

    dialogs.setPrinter(&printer);
    for (const bool keep : {false, true}) {
        options.setPrint(keep);
        run(&CaptureCommands::mnuPrint_Click);
        const QByteArray bytes = pdfBytes();
        EXPECT_TRUE(bytes.startsWith("%PDF")) << keep;
        // The frame is embedded at its own pixel size.
        EXPECT_TRUE(bytes.contains("/Width 352") && bytes.contains("/Height 288")) << keep;
        EXPECT_EQ(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") + bytes.count("/Type /Page "),
                  1);
        EXPECT_EQ(QImage(work.file("print.bmp")).size(), keep ? kFrame : QSize(0, 0)) << keep;
    }
    EXPECT_TRUE(prompter.texts().isEmpty());

    // No fresh frame: "Print Error", and no older picture printed.
    QFile::remove(outFile("page.pdf"));
    capture.delivering = false;
    run(&CaptureCommands::mnuPrint_Click);
    ASSERT_EQ(prompter.shown().size(), 1u);
    EXPECT_EQ(prompter.shown()[0].text, "Print Error: no picture from the camera");
    EXPECT_EQ(prompter.shown()[0].icon, Prompter::Icon::Information);
    EXPECT_EQ(prompter.shown()[0].title, "Velmora 2001");
    EXPECT_TRUE(pdfBytes().isEmpty());
    EXPECT_TRUE(inWork("print.bmp"));

    // Without the keep option the stale picture goes as well.
    options.setPrint(false);
    run(&CaptureCommands::mnuPrint_Click);
    EXPECT_FALSE(inWork("print.bmp"));
}

TEST(PrintLayout, PictureSitsTopLeftAtItsScreenSize)
{
    QImage picture(320, 240, QImage::Format_RGB32);
    picture.fill(QColor(200, 30, 30));
    // device dpi, screen dpi, painted size: 320 x 240 on a 96 dpi screen is 3.33 x 2.5 inches.
    for (const auto& [deviceDpi, screenDpi, size] : {std::tuple{300, 96.0, QSize(1000, 750)},
                                                     {96, 96.0, QSize(320, 240)},
                                                     {300, 120.0, QSize(800, 600)}}) {
        QImage page(1200, 1000, QImage::Format_RGB32);
        page.setDotsPerMeterX(qRound(deviceDpi / 0.0254));
        page.setDotsPerMeterY(qRound(deviceDpi / 0.0254));
        page.fill(Qt::white);
        QPainter painter(&page);
        CaptureCommands::printPicture(painter, picture, screenDpi, screenDpi);
        painter.end();

        QRect box; // the painted, non-white pixels
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x)
                if (page.pixel(x, y) != qRgb(255, 255, 255))
                    box |= QRect(x, y, 1, 1);
        EXPECT_EQ(box.topLeft(), QPoint(0, 0)) << deviceDpi << " dpi";
        EXPECT_NEAR(box.width(), size.width(), 1) << deviceDpi << " dpi";
        EXPECT_NEAR(box.height(), size.height(), 1) << deviceDpi << " dpi";
        EXPECT_EQ(page.pixelColor(box.center()), QColor(200, 30, 30));
    }
}

// ---- The Qt dialogs ----

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
        auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(edit, nullptr);
        edit->setText(name);
        static_cast<QDialog*>(dialog)->accept(); // public as a QDialog
    });
}

void touch(const QString& path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

TEST(QtCaptureDialogsTest, PictureDialogOffersBitmapAndJpegAndAsksBeforeOverwritingTheMovieDialogDoesNot)
{
    // Closes a modal window nobody scripted an answer for, so the test fails instead of hanging.
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, &guard, [] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            ADD_FAILURE() << "unexpected modal window: " << modal->metaObject()->className();
            modal->close();
        }
    });
    guard.start(5000);
    TempDir dir;
    QtCaptureDialogs dialogs;
    onFileDialog(
        [&](QFileDialog& dialog) {
            EXPECT_EQ(dialog.windowTitle(), "Save Picture As File");
            EXPECT_EQ(dialog.nameFilters(), (QStringList{"Bitmap files (*.bmp)", "JPEG files (*.jpg)"}));
            EXPECT_EQ(dialog.selectedNameFilter(), "Bitmap files (*.bmp)");
            EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
        },
        dir.file("snap"));
    EXPECT_EQ(dialogs.saveImagePath(nullptr), dir.file("snap.bmp"));

    // Choosing the JPEG type makes a bare name a JPEG file.
    onFileDialog(
        [](QFileDialog& dialog) {
            auto* types = dialog.findChild<QComboBox*>("fileTypeCombo");
            ASSERT_NE(types, nullptr);
            types->setFocus();
            QTest::keyClick(types, Qt::Key_Down);
        },
        dir.file("snap"));
    EXPECT_EQ(dialogs.saveImagePath(nullptr), dir.file("snap.jpg"));

    onFileDialog([](QFileDialog&) {}, QString());
    EXPECT_EQ(dialogs.saveImagePath(nullptr), std::nullopt);

    touch(dir.file("snap.bmp"));
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
        dir.file("snap"));
    EXPECT_EQ(dialogs.saveImagePath(nullptr), dir.file("snap.bmp"));
    EXPECT_EQ(questions, 1);

    // The movie dialog overwrites without asking.
    touch(dir.file("clip.avi"));
    onFileDialog(
        [](QFileDialog& dialog) {
            EXPECT_EQ(dialog.windowTitle(), "Save AVI File");
            EXPECT_EQ(dialog.nameFilters(), QStringList{"AVI files (*.avi)"});
        },
        dir.file("clip"));
    EXPECT_EQ(dialogs.saveMoviePath(nullptr), dir.file("clip.avi"));
}

} // namespace
