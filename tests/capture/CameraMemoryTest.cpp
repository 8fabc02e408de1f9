#include "capture/CameraMemory.h"
#include "capture/PipelineBuilder.h"
#include "capture/StillRule.h"

#include "StoreDump.h"
#include "TempDir.h"
#include "settings/Regedit.h"

#include <gtest/gtest.h>

namespace {
const QString kProduct = QStringLiteral("Software\\Velmora");

VideoFormat format(const char* media, int width, int height, int fps)
{
    VideoFormat f;
    f.mediaType = QString::fromLatin1(media);
    f.width = width;
    f.height = height;
    f.fpsNumerator = fps;
    return f;
}

TEST(CameraMemoryTest, AChoiceComesBackAsItWasStored)
{
    TempDir dir;
    Regedit store(dir.file("store.db"));
    CameraMemory memory(store);
    CameraChoice choice;
    choice.identity = "PipeWire|v4l2_input.usb-1|Cam & Co";
    choice.name = "Cam & Co";
    choice.format = format("image/jpeg", 1280, 720, 30);
    choice.controls = {{"pattern", 18}, {"BRIGHTNESS=x&y", -5}};
    choice.compression.quality = 40;
    choice.audio = {22050, 1};
    memory.save(choice);
    EXPECT_EQ(store.GetString(HKEY_LOCAL_MACHINE, kProduct, "Camera Format"),
              QString("image/jpeg 1280x720 30/1"));
    EXPECT_EQ(CameraMemory(store).load(), choice);

    // Without a chosen camera only the movie settings are kept; a stored camera stays.
    CameraChoice movieOnly;
    movieOnly.compression.quality = 90;
    memory.save(movieOnly);
    const CameraChoice loaded = memory.load();
    EXPECT_EQ(loaded.identity, choice.identity);
    EXPECT_EQ(loaded.compression.quality, 90);
}

TEST(CameraMemoryTest, DamagedValuesGiveTheDefaultsAndReadingWritesNothing)
{
    TempDir dir;
    Regedit store(dir.file("store.db"));
    const std::pair<const char*, const char*> damaged[] = {
        {"Camera Format", "video/x-raw 640x480"},
        {"Camera Settings", "=3&pattern=abc&&x"},
        {"Movie Quality", "500"},
        {"Audio Rate", "12345"},
        {"Audio Channels", "3"},
    };
    for (const auto& [name, text] : damaged)
        store.SaveString(HKEY_LOCAL_MACHINE, kProduct, name, text);
    const QStringList before = storeDump(store);
    EXPECT_EQ(CameraMemory(store).load(), CameraChoice());
    EXPECT_EQ(storeDump(store), before);

    for (const char* text : {"image/jpeg 0x480 30/1", "video/x-raw 640x480 30/0", "audio/x-raw 1x1 1/1", ""})
        EXPECT_EQ(CameraMemory::formatFromText(text), std::nullopt) << text;
}

// A camera starts at 352 x 288 or the size nearest to it, uncompressed before MJPEG, at the rate
// nearest to 30; a remembered format is found again, or one of its size.
TEST(PipelineBuilderTest, StartAndRememberedFormats)
{
    const QList<VideoFormat> formats = {
        format("image/jpeg", 1280, 720, 30), format("image/jpeg", 320, 240, 30),
        format("video/x-raw", 320, 240, 15), format("video/x-raw", 320, 240, 30),
        format("video/x-raw", 640, 480, 30)};
    EXPECT_EQ(PipelineBuilder::startFormat(formats), 3);
    EXPECT_EQ(PipelineBuilder::startFormat(
                  {format("image/jpeg", 1280, 720, 30), format("video/x-raw", 1920, 1080, 5)}),
              0);
    EXPECT_EQ(PipelineBuilder::startFormat({}), -1);
    EXPECT_EQ(PipelineBuilder::matchFormat(formats, format("video/x-raw", 320, 240, 15)), 2);
    EXPECT_EQ(PipelineBuilder::matchFormat(formats, format("video/x-raw", 1280, 720, 60)), 0);
    EXPECT_EQ(PipelineBuilder::matchFormat(formats, format("video/x-raw", 800, 600, 30)), -1);
}

TEST(StillRuleTest, FreshWindowAndLimitFollowTheCamerasFrameRate)
{
    using namespace std::chrono_literals;
    using StillRule::Duration;
    const Duration at30 = std::chrono::duration_cast<Duration>(1s) / 30;
    EXPECT_EQ(StillRule::freshWindow(at30), 2 * at30);
    EXPECT_EQ(StillRule::freshWindow(2s), Duration(1s));
    EXPECT_EQ(StillRule::waitLimit(at30), Duration(3s));
    EXPECT_EQ(StillRule::waitLimit(4s), Duration(12s));
    EXPECT_EQ(StillRule::waitLimit(60s), Duration(30s));
    EXPECT_EQ(StillRule::noPictureText(3s), "no picture from the camera for 3 s");
    EXPECT_EQ(StillRule::noPictureText(1500ms), "no picture from the camera for 1.5 s");
}
} // namespace
