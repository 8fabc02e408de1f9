#include "upload/ChangeDetector.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

ChangeDetector::Thumbnail ChangeDetector::thumbnail(const QImage& frame)
{
    Thumbnail cells{};
    if (frame.isNull())
        return cells;
    // Every cell needs at least one pixel; a picture smaller than the grid is stretched first.
    QImage image = frame.format() == QImage::Format_RGB32 || frame.format() == QImage::Format_ARGB32
                       ? frame
                       : frame.convertToFormat(QImage::Format_RGB32);
    if (image.width() < kColumns || image.height() < kRows)
        image = image.scaled(std::max(image.width(), kColumns), std::max(image.height(), kRows));

    const int width = image.width();
    const int height = image.height();
    // Larger pictures are sampled on a sparser grid of pixels: at least 10 x 10 samples per cell
    // still average the noise out, and the cost stays that of a 640 x 480 picture.
    const int xStep = std::max(1, width / (kColumns * 10));
    const int yStep = std::max(1, height / (kRows * 10));
    std::array<int, kColumns> cellWidth{};
    std::array<quint32, kColumns> rowSums{};
    // The cell of each column of pixels, worked out once rather than per pixel.
    std::vector<quint8> columnCell(static_cast<size_t>(width));
    for (int x = 0; x < width; x += xStep) {
        columnCell[static_cast<size_t>(x)] = static_cast<quint8>(x * kColumns / width);
        ++cellWidth[columnCell[static_cast<size_t>(x)]];
    }
    int cellRow = 0;
    int cellHeight = 0;
    const auto finishCellRow = [&] {
        for (int column = 0; column < kColumns; ++column) {
            // Every cell has pixels (see above); the guard only keeps a division by zero out of sight.
            const quint32 pixels = std::max(1u, static_cast<quint32>(cellWidth[column] * cellHeight));
            cells[static_cast<size_t>(cellRow) * kColumns + static_cast<size_t>(column)] =
                static_cast<quint8>((rowSums[column] + pixels / 2) / pixels);
        }
        rowSums.fill(0);
        cellHeight = 0;
    };
    for (int y = 0; y < height; y += yStep) {
        const int row = y * kRows / height;
        if (row != cellRow) {
            finishCellRow();
            cellRow = row;
        }
        ++cellHeight;
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < width; x += xStep) {
            const QRgb pixel = line[x];
            // Brightness with the usual weights of red, green and blue, in whole numbers.
            rowSums[columnCell[static_cast<size_t>(x)]] +=
                (77u * qRed(pixel) + 150u * qGreen(pixel) + 29u * qBlue(pixel)) >> 8;
        }
    }
    finishCellRow();
    return cells;
}

double ChangeDetector::changedPercent(const Thumbnail& before, const Thumbnail& after)
{
    int changed = 0;
    for (size_t i = 0; i < before.size(); ++i)
        changed += std::abs(int(before[i]) - int(after[i])) > kCellTolerance ? 1 : 0;
    return 100.0 * changed / double(before.size());
}
