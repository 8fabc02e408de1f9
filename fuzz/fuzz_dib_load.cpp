// Feeds arbitrary bytes to cDIBSection::Load as a bitmap file.
#include "imaging/cDIBSection.h"

#include <QDir>
#include <QFile>

#include <cstddef>
#include <cstdint>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const QString path =
        QDir::temp().filePath(QStringLiteral("fuzz_dib_load_%1.bmp").arg(static_cast<qint64>(getpid())));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    cDIBSection dib;
    if (dib.Load(path)) {
        // Touch the first and last byte of the buffer so a wrong size shows up.
        const std::uint8_t* bits = dib.DIBSectionBitsPtr();
        const std::size_t bytes = static_cast<std::size_t>(dib.BytesPerScanLine()) * dib.dib_height();
        volatile std::uint8_t sink = static_cast<std::uint8_t>(bits[0] ^ bits[bytes - 1]);
        (void)sink;
        (void)dib.toImage();
    }
    return 0;
}
