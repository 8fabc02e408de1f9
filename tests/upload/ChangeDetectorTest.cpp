#include "upload/ChangeDetector.h"

#include <QImage>
#include <QPainter>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <functional>

namespace {
// A picture with something in it: a gradient across, a few shapes.
QImage scene(QSize size = {640, 480})
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = qRgb(x * 200 / image.width(), y * 200 / image.height(), 90);
    }
    QPainter painter(&image);
    painter.fillRect(QRect(QPoint(0, 0), size / 4), Qt::darkBlue);
    painter.fillRect(QRect(QPoint(size.width() / 2, size.height() / 2), size / 5), Qt::yellow);
    return image;
}

QImage changed(const QImage& image, const std::function<void(QImage&)>& change)
{
    QImage copy = image.copy();
    change(copy);
    return copy;
}

// Every channel of every pixel moved by up to `amount` either way, as a camera's noise does.
void addNoise(QImage& image, int amount)
{
    QRandomGenerator random(7);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const auto move = [&](int value) {
                return std::clamp(value + random.bounded(-amount, amount + 1), 0, 255);
            };
            line[x] = qRgb(move(qRed(line[x])), move(qGreen(line[x])), move(qBlue(line[x])));
        }
    }
}

void brighten(QImage& image, int amount)
{
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = qRgb(std::min(qRed(line[x]) + amount, 255), std::min(qGreen(line[x]) + amount, 255),
                           std::min(qBlue(line[x]) + amount, 255));
    }
}

double change(const QImage& before, const QImage& after)
{
    return ChangeDetector::changedPercent(ChangeDetector::thumbnail(before),
                                          ChangeDetector::thumbnail(after));
}

constexpr double kCells = ChangeDetector::kColumns * ChangeDetector::kRows;
} // namespace

TEST(ChangeDetector, NoiseAndDriftAreNoChangeWhatMovesCountsByItsShareOfThePicture)
{
    const QImage base = scene();
    struct Case
    {
        const char* what;
        QImage after;
        double lowest;
        double highest;
    };
    const Case cases[] = {
        {"the same picture", base, 0, 0},
        {"sensor noise", changed(base, [](QImage& i) { addNoise(i, 12); }), 0, 0},
        {"the light a little brighter", changed(base, [](QImage& i) { brighten(i, 8); }), 0, 0},
        {"the light much brighter", changed(base, [](QImage& i) { brighten(i, 40); }), 95, 100},
        // 100 x 100 pixels on cell borders: 10 x 10 of the 64 x 48 cells of 10 x 10 pixels.
        {"a white square",
         changed(base, [](QImage& i) { QPainter(&i).fillRect(300, 300, 100, 100, Qt::white); }),
         100 * 100 / kCells, 100 * 100 / kCells},
        {"a small spot", changed(base, [](QImage& i) { QPainter(&i).fillRect(300, 300, 4, 4, Qt::white); }),
         0, 100 * 1 / kCells},
        {"another scene", changed(base, [](QImage& i) { i.fill(Qt::black); }), 90, 100},
    };
    for (const Case& c : cases) {
        const double percent = change(base, c.after);
        EXPECT_GE(percent, c.lowest) << c.what;
        EXPECT_LE(percent, c.highest) << c.what;
    }
}

TEST(ChangeDetector, AnySizeAndPixelFormatGivesTheSameGreyCopy)
{
    // Sizes that are no multiple of the grid, smaller than it, and large.
    for (const QSize size : {QSize(352, 288), QSize(32, 24), QSize(1, 1), QSize(1920, 1080)}) {
        const QImage base = scene(size);
        EXPECT_EQ(change(base, base), 0) << size.width();
        EXPECT_EQ(ChangeDetector::thumbnail(base),
                  ChangeDetector::thumbnail(base.convertToFormat(QImage::Format_RGB888)))
            << size.width();
        const QImage black = changed(base, [](QImage& i) { i.fill(Qt::white); });
        EXPECT_GT(change(base, black), 50) << size.width();
    }
    // No picture is a black one, never a crash.
    EXPECT_EQ(ChangeDetector::thumbnail(QImage()), ChangeDetector::Thumbnail{});
    // Grey levels as the eye sees them: mid grey is 128 or near it in every cell.
    QImage grey(640, 480, QImage::Format_RGB32);
    grey.fill(qRgb(128, 128, 128));
    for (const quint8 cell : ChangeDetector::thumbnail(grey))
        ASSERT_NEAR(cell, 128, 1);
}
