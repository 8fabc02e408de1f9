#pragma once

#include "common/Result.h"

#include <QByteArray>

#include <cstdint>

// The headers of a bitmap file, checked before anything is decoded, so a damaged or hostile file is
// refused without a large allocation.
class BmpHeader final
{
public:
    static constexpr std::int64_t kMaxFileSize = 256LL * 1024 * 1024;

    enum Compression : std::uint32_t { Rgb = 0, Rle8 = 1, Rle4 = 2, Bitfields = 3, AlphaBitfields = 6 };

    // The headers, or why they are not those of a readable bitmap: no bitmap at all or a damaged
    // one (Invalid), a kind of bitmap this reader does not take (Unsupported), or pixel data they
    // promise that is not all in the file (Invalid).
    static Result<BmpHeader> parse(const QByteArray& file);

    std::uint32_t dataOffset = 0;
    std::uint32_t infoSize = 0;
    int width = 0;
    int height = 0; // always positive
    bool topDown = false;
    int bitCount = 0;
    std::uint32_t compression = Rgb;
    std::uint32_t colorsUsed = 0;
};
