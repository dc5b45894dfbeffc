#pragma once

// A PNG whose header claims uiSide x uiSide RGBA pixels, all zero, in little
// more than a kilobyte per 2^24 pixels: one deflate block of 64 rows,
// repeated. Decoded in full, 16384 x 16384 takes 1 GiB; readers must refuse
// it from the header. The test binary links zlib.

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace OndoTest {

inline std::string ClaimingPng(std::uint32_t uiSide)
{
    const auto BigEndian = [](std::uint32_t ui) {
        return std::string{static_cast<char>(ui >> 24), static_cast<char>(ui >> 16), static_cast<char>(ui >> 8),
                           static_cast<char>(ui)};
    };
    std::string strPng = "\x89PNG\r\n\x1a\n";
    const auto Chunk = [&](const std::string& strKinded) {
        const uLong uiCrc =
            crc32(0, reinterpret_cast<const Bytef*>(strKinded.data()), static_cast<uInt>(strKinded.size()));
        strPng += BigEndian(static_cast<std::uint32_t>(strKinded.size() - 4)) + strKinded +
                  BigEndian(static_cast<std::uint32_t>(uiCrc));
    };
    const std::size_t uiRow = 1 + std::size_t{uiSide} * 4, uiRows = 64;
    std::string strRows(uiRow * uiRows, '\0'), strBlock(strRows.size(), '\0');
    z_stream stream{};
    deflateInit2(&stream, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    stream.next_in = reinterpret_cast<Bytef*>(strRows.data()), stream.avail_in = static_cast<uInt>(strRows.size());
    stream.next_out = reinterpret_cast<Bytef*>(strBlock.data()), stream.avail_out = static_cast<uInt>(strBlock.size());
    deflate(&stream, Z_FULL_FLUSH);
    strBlock.resize(strBlock.size() - stream.avail_out);
    deflateEnd(&stream);
    std::string strZlib = "\x78\xda";
    for (std::uint32_t y = 0; y < uiSide; y += uiRows) strZlib += strBlock;
    // An empty final block, then the Adler-32 of zeros only.
    const std::uint64_t uiAdler = (std::uint64_t{uiSide} * uiRow % 65521) << 16 | 1;
    strZlib += std::string("\x03\x00", 2) + BigEndian(static_cast<std::uint32_t>(uiAdler));

    Chunk("IHDR" + BigEndian(uiSide) + BigEndian(uiSide) + std::string("\x08\x06\x00\x00\x00", 5));
    Chunk("IDAT" + strZlib);
    Chunk("IEND");
    return strPng;
}

} // namespace OndoTest
