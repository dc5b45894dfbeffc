#include "host/GFX/ImageIO.h"

#include "Ondo/Exceptions.h"
#include "Ondo/GFX/ImageLoader.h"
#include "Ondo/OpenGL/Textures.h"

#include <stb_image.h>
#include <stb_image_write.h>
#include <tinyexr.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace Ondo::GFX {

namespace {

const std::int32_t s_Layouts[] = {LayoutR, LayoutRG, LayoutRGB, LayoutRGBA};

// An image of one level from rows that run top-down, as every file format
// here stores them; ImageData rows run bottom-up. Null for an empty picture,
// which a decoder may report for a header that claims no pixels.
std::unique_ptr<ImageData> FromTopDownRows(std::int32_t iFormat, std::int32_t iComponentType, int iWidth,
                                           int iHeight, int iChannels, std::size_t uiBytesPerChannel,
                                           const void* pRows)
{
    if (iWidth <= 0 || iHeight <= 0) return nullptr;
    auto pImage = std::make_unique<ImageData>();
    pImage->m_iImageFormat = iFormat;
    pImage->m_iChannelLayout = s_Layouts[iChannels - 1];
    pImage->m_iComponentType = iComponentType;
    pImage->m_uiWidth = static_cast<std::uint32_t>(iWidth);
    pImage->m_uiHeight = static_cast<std::uint32_t>(iHeight);
    pImage->m_uiPixelSize = static_cast<std::uint32_t>(uiBytesPerChannel * static_cast<std::size_t>(iChannels));
    const std::size_t uiRowBytes = static_cast<std::size_t>(iWidth) * pImage->m_uiPixelSize;
    pImage->m_Pixels.resize(uiRowBytes * static_cast<std::size_t>(iHeight));
    const auto* pSource = static_cast<const std::uint8_t*>(pRows);
    for (int y = 0; y < iHeight; ++y)
        std::memcpy(pImage->m_Pixels.data() + static_cast<std::size_t>(y) * uiRowBytes,
                    pSource + static_cast<std::size_t>(iHeight - 1 - y) * uiRowBytes, uiRowBytes);
    return pImage;
}

struct StbFree {
    void operator()(void* p) const { stbi_image_free(p); }
};

// stb_image takes the length as int; larger inputs are no image it could read.
bool FitsStb(const std::uint8_t* pData, std::size_t uiSize) { return pData && uiSize > 0 && uiSize <= INT_MAX; }

// Hands a file in memory to stb_image and notes whether the decoder asked for
// bytes beyond its end. stb_image reads zeros there and would give a file cut
// short as a complete picture with black rows; such a file is refused.
class StbSource {
public:
    StbSource(const std::uint8_t* pData, std::size_t uiSize) : m_pData(pData), m_uiSize(uiSize) {}
    static const stbi_io_callbacks s_Callbacks;
    bool Overran() const { return m_bOverran; }

private:
    static int Read(void* pUser, char* pTarget, int iSize)
    {
        auto& source = *static_cast<StbSource*>(pUser);
        const std::size_t uiLeft = source.m_uiSize - source.m_uiPosition;
        const std::size_t uiCount = std::min(static_cast<std::size_t>(std::max(iSize, 0)), uiLeft);
        if (uiCount == 0 && iSize > 0) source.m_bOverran = true;
        if (uiCount > 0) std::memcpy(pTarget, source.m_pData + source.m_uiPosition, uiCount);
        source.m_uiPosition += uiCount;
        return static_cast<int>(uiCount);
    }
    static void Skip(void* pUser, int iCount)
    {
        auto& source = *static_cast<StbSource*>(pUser);
        if (iCount < 0) {
            const auto uiBack = static_cast<std::size_t>(-static_cast<long long>(iCount));
            source.m_uiPosition -= std::min(source.m_uiPosition, uiBack);
            return;
        }
        if (static_cast<std::size_t>(iCount) > source.m_uiSize - source.m_uiPosition) source.m_bOverran = true;
        source.m_uiPosition += std::min(static_cast<std::size_t>(iCount), source.m_uiSize - source.m_uiPosition);
    }
    static int AtEnd(void* pUser)
    {
        const auto& source = *static_cast<const StbSource*>(pUser);
        return source.m_uiPosition >= source.m_uiSize ? 1 : 0;
    }

    const std::uint8_t* m_pData;
    std::size_t m_uiSize;
    std::size_t m_uiPosition = 0;
    bool m_bOverran = false;
};

const stbi_io_callbacks StbSource::s_Callbacks = {&StbSource::Read, &StbSource::Skip, &StbSource::AtEnd};

// Whether the data starts like one of the files stb_image reads that are not
// registered here (Radiance, GIF, Photoshop, Softimage PIC, PNM). TGA has no
// mark of its own, so the 8-bit reader takes whatever is none of these.
bool IsOtherStbFormat(const std::uint8_t* pData, std::size_t uiSize, int iSize)
{
    const auto StartsWith = [&](const char* szMark, std::size_t uiLength) {
        return uiSize >= uiLength && std::memcmp(pData, szMark, uiLength) == 0;
    };
    return stbi_is_hdr_from_memory(pData, iSize) || StartsWith("GIF8", 4) || StartsWith("8BPS", 4) ||
           StartsWith("\x53\x80\xF6\x34", 4) || StartsWith("P5", 2) || StartsWith("P6", 2);
}

// PNG, JPEG, TGA and BMP, told apart by their content. 16-bit PNGs keep their
// depth; everything else comes as 8 bits per channel.
std::unique_ptr<ImageData> ReadWithStb(const std::uint8_t* pData, std::size_t uiSize, const std::wstring&)
{
    if (!FitsStb(pData, uiSize) || IsOtherStbFormat(pData, uiSize, static_cast<int>(uiSize))) return nullptr;
    int iWidth = 0, iHeight = 0, iChannels = 0;
    try {
        StbSource probe(pData, uiSize);
        const bool bSixteen = stbi_is_16_bit_from_callbacks(&StbSource::s_Callbacks, &probe) != 0;
        StbSource source(pData, uiSize);
        if (bSixteen) {
            static const std::int32_t s_Formats16[] = {FormatR16, FormatRG16, FormatRGB16, FormatRGBA16};
            std::unique_ptr<stbi_us, StbFree> pPixels(
                stbi_load_16_from_callbacks(&StbSource::s_Callbacks, &source, &iWidth, &iHeight, &iChannels, 0));
            if (!pPixels || source.Overran() || iChannels < 1 || iChannels > 4) return nullptr;
            return FromTopDownRows(s_Formats16[iChannels - 1], ComponentUInt16, iWidth, iHeight, iChannels, 2,
                                   pPixels.get());
        }
        static const std::int32_t s_Formats8[] = {FormatR8, FormatRG8, FormatRGB8, FormatRGBA8};
        std::unique_ptr<stbi_uc, StbFree> pPixels(
            stbi_load_from_callbacks(&StbSource::s_Callbacks, &source, &iWidth, &iHeight, &iChannels, 0));
        if (!pPixels || source.Overran() || iChannels < 1 || iChannels > 4) return nullptr;
        return FromTopDownRows(s_Formats8[iChannels - 1], ComponentUInt8, iWidth, iHeight, iChannels, 1, pPixels.get());
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// stb_image's Radiance decoder never ends on a run-length count of zero, and
// every file cut short inside run-length data ends in such counts (it reads
// zeros beyond the end). This walks the pixel data the way the decoder will
// and accepts only data that holds every scanline without a zero count.
bool RadiancePixelsComplete(const std::uint8_t* pData, std::size_t uiSize, int iWidth, int iHeight)
{
    // The pixels follow the resolution line, which follows the empty line
    // that ends the header.
    const std::uint8_t* const pEnd = pData + uiSize;
    const std::uint8_t emptyLine[] = {'\n', '\n'};
    const std::uint8_t* p = std::search(pData, pEnd, emptyLine, emptyLine + 2);
    if (p == pEnd) return false;
    p = std::find(p + 2, pEnd, '\n');
    if (p == pEnd) return false;
    std::size_t uiPosition = static_cast<std::size_t>(p + 1 - pData);

    // Flat pixels, four bytes each; the decoder also falls back to reading
    // the whole picture flat from the first scanline without a run-length mark.
    const std::size_t uiFlatBytes = static_cast<std::size_t>(iWidth) * static_cast<std::size_t>(iHeight) * 4;
    if (iWidth < 8 || iWidth >= 32768) return uiSize - uiPosition >= uiFlatBytes;
    for (int y = 0; y < iHeight; ++y) {
        if (uiSize - uiPosition < 4) return false;
        const std::uint8_t* pMark = pData + uiPosition;
        if (pMark[0] != 2 || pMark[1] != 2 || (pMark[2] & 0x80)) return uiSize - uiPosition >= uiFlatBytes;
        if (((pMark[2] << 8) | pMark[3]) != iWidth) return false;
        uiPosition += 4;
        for (int iComponent = 0; iComponent < 4; ++iComponent) {
            for (int x = 0; x < iWidth;) {
                if (uiPosition >= uiSize) return false;
                int iCount = pData[uiPosition++];
                const bool bRun = iCount > 128;
                if (bRun) iCount -= 128;
                const std::size_t uiValueBytes = bRun ? 1 : static_cast<std::size_t>(iCount);
                if (iCount == 0 || iCount > iWidth - x || uiValueBytes > uiSize - uiPosition) return false;
                uiPosition += uiValueBytes;
                x += iCount;
            }
        }
    }
    return true;
}

// Radiance RGBE files, as 32-bit float RGB.
std::unique_ptr<ImageData> ReadRadiance(const std::uint8_t* pData, std::size_t uiSize, const std::wstring&)
{
    if (!FitsStb(pData, uiSize)) return nullptr;
    const int iSize = static_cast<int>(uiSize);
    int iWidth = 0, iHeight = 0, iChannels = 0;
    if (!stbi_is_hdr_from_memory(pData, iSize) || !stbi_info_from_memory(pData, iSize, &iWidth, &iHeight, &iChannels) ||
        !RadiancePixelsComplete(pData, uiSize, iWidth, iHeight))
        return nullptr;
    try {
        std::unique_ptr<float, StbFree> pPixels(stbi_loadf_from_memory(pData, iSize, &iWidth, &iHeight, &iChannels, 3));
        if (!pPixels) return nullptr;
        return FromTopDownRows(FormatRGB32F, ComponentFloat32, iWidth, iHeight, 3, sizeof(float), pPixels.get());
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// tinyexr's header and image records own memory that only its own functions
// free; these hold them for a scope.
struct ExrHeaderHolder {
    EXRHeader header;
    ExrHeaderHolder() { InitEXRHeader(&header); }
    ~ExrHeaderHolder() { FreeEXRHeader(&header); }
    ExrHeaderHolder(const ExrHeaderHolder&) = delete;
    ExrHeaderHolder& operator=(const ExrHeaderHolder&) = delete;
};

// A failed LoadEXRImageFromMemory has freed the image itself (leaving its
// pointers dangling), so only a loaded image is freed here.
struct ExrImageHolder {
    EXRImage image;
    bool bLoaded = false;
    ExrImageHolder() { InitEXRImage(&image); }
    ~ExrImageHolder()
    {
        if (bLoaded) FreeEXRImage(&image);
    }
    ExrImageHolder(const ExrImageHolder&) = delete;
    ExrImageHolder& operator=(const ExrImageHolder&) = delete;
};

void FreeExrError(const char* szError)
{
    if (szError) FreeEXRErrorMessage(szError);
}

// Scan-line OpenEXR files as RGBA32F. Channels named R, G, B and A go to
// their places (missing colours are 0, a missing alpha is 1); a file with one
// channel of another name (Y, Z) gives grey. Tiled files are not read.
std::unique_ptr<ImageData> ReadOpenEXR(const std::uint8_t* pData, std::size_t uiSize, const std::wstring&)
{
    if (!pData || uiSize == 0) return nullptr;
    try {
        EXRVersion version{};
        if (ParseEXRVersionFromMemory(&version, pData, uiSize) != TINYEXR_SUCCESS) return nullptr;
        if (version.multipart || version.non_image || version.tiled) return nullptr;

        ExrHeaderHolder header;
        const char* szError = nullptr;
        const int iParsed = ParseEXRHeaderFromMemory(&header.header, &version, pData, uiSize, &szError);
        FreeExrError(szError);
        if (iParsed != TINYEXR_SUCCESS || header.header.tiled || header.header.num_channels < 1) return nullptr;
        for (int c = 0; c < header.header.num_channels; ++c) {
            if (header.header.pixel_types[c] == TINYEXR_PIXELTYPE_HALF)
                header.header.requested_pixel_types[c] = TINYEXR_PIXELTYPE_FLOAT;
        }

        // When decoding fails after the channel buffers are made, tinyexr frees
        // the image by its channel count, which it only sets on success; with
        // the count set beforehand the buffers go too.
        ExrImageHolder image;
        image.image.num_channels = header.header.num_channels;
        szError = nullptr;
        const int iLoaded = LoadEXRImageFromMemory(&image.image, &header.header, pData, uiSize, &szError);
        FreeExrError(szError);
        image.bLoaded = iLoaded == TINYEXR_SUCCESS;
        if (!image.bLoaded || !image.image.images || image.image.width <= 0 || image.image.height <= 0)
            return nullptr;

        // Where each RGBA slot comes from: a channel index, or -1.
        int slots[4] = {-1, -1, -1, -1};
        const char* const szNames[4] = {"R", "G", "B", "A"};
        for (int c = 0; c < header.header.num_channels; ++c)
            for (int s = 0; s < 4; ++s)
                if (std::strcmp(header.header.channels[c].name, szNames[s]) == 0) slots[s] = c;
        const bool bGrey = slots[0] < 0 && slots[1] < 0 && slots[2] < 0 && slots[3] < 0;
        if (bGrey) {
            if (header.header.num_channels != 1) return nullptr;
            slots[0] = slots[1] = slots[2] = 0;
        }

        const std::size_t uiPixels = static_cast<std::size_t>(image.image.width) * image.image.height;
        std::vector<float> rgba(uiPixels * 4);
        for (int s = 0; s < 4; ++s) {
            const int c = slots[s];
            if (c >= 0 && header.header.requested_pixel_types[c] != TINYEXR_PIXELTYPE_FLOAT) return nullptr;
            const float* pChannel = c >= 0 ? reinterpret_cast<const float*>(image.image.images[c]) : nullptr;
            const float fMissing = s == 3 ? 1.0f : 0.0f;
            for (std::size_t i = 0; i < uiPixels; ++i) rgba[i * 4 + s] = pChannel ? pChannel[i] : fMissing;
        }
        return FromTopDownRows(FormatRGBA32F, ComponentFloat32, image.image.width, image.image.height, 4,
                               sizeof(float), rgba.data());
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// --- writing

[[noreturn]] void WriteFailure(const std::string& strPath, const std::string& strReason)
{
    throw ExceptionFileSystem("Could not write the image file " + strPath + ": " + strReason);
}

std::string ErrorText(int iError) { return std::generic_category().message(iError); }

// Writes the bytes to a new temporary file beside the target and renames it
// into place, so that the target is either the complete new file or untouched.
void WriteFileInPlace(const std::string& strPath, const std::vector<std::uint8_t>& bytes)
{
    static std::atomic<unsigned int> s_uiCounter{0};
    std::string strTemporary;
    int iFile = -1;
    for (int iAttempt = 0; iFile < 0; ++iAttempt) {
        strTemporary = strPath + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(s_uiCounter++);
        iFile = ::open(strTemporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (iFile < 0 && (errno != EEXIST || iAttempt >= 100)) WriteFailure(strPath, ErrorText(errno));
    }

    const auto Abandon = [&](int iError) {
        if (iFile >= 0) ::close(iFile);
        ::unlink(strTemporary.c_str());
        WriteFailure(strPath, ErrorText(iError));
    };
    std::size_t uiWritten = 0;
    while (uiWritten < bytes.size()) {
        const ssize_t iCount = ::write(iFile, bytes.data() + uiWritten, bytes.size() - uiWritten);
        if (iCount < 0 && errno == EINTR) continue;
        if (iCount <= 0) Abandon(iCount < 0 ? errno : EIO);
        uiWritten += static_cast<std::size_t>(iCount);
    }
    const int iClosed = ::close(iFile);
    iFile = -1;
    if (iClosed != 0) Abandon(errno);
    if (::rename(strTemporary.c_str(), strPath.c_str()) != 0) Abandon(errno);
}

// The checks both writers share: a consistent, two-dimensional image whose
// rows a file format can count.
void CheckWritable(const std::string& strPath, const ImageData& image, const char* szFileType)
{
    const std::string strProblem = image.Validate();
    if (!strProblem.empty()) WriteFailure(strPath, strProblem);
    if (image.GetDepth() != 1 || image.GetNumFaces() != 1)
        WriteFailure(strPath, std::string(szFileType) + " holds one two-dimensional image, not a volume or cube map");
    if (image.m_uiWidth > INT_MAX / 16 || image.m_uiHeight > INT_MAX / 16)
        WriteFailure(strPath, "the image is too large for " + std::string(szFileType));
}

std::string FormatName(const ImageData& image)
{
    return GetImageFormatDescription(image.m_iImageFormat).m_szName;
}

// Row y from the top of the first level, as bytes.
const std::uint8_t* TopDownRow(const ImageData& image, std::uint32_t y)
{
    const std::size_t uiRowBytes = image.GetLevelSize(0) / image.m_uiHeight;
    return image.m_Pixels.data() + static_cast<std::size_t>(image.m_uiHeight - 1 - y) * uiRowBytes;
}

void AppendBytes(void* pContext, void* pData, int iSize)
{
    auto* pBytes = static_cast<std::vector<std::uint8_t>*>(pContext);
    const auto* pFirst = static_cast<const std::uint8_t*>(pData);
    pBytes->insert(pBytes->end(), pFirst, pFirst + iSize);
}

// A depth value of the given format as a float in [0, 1] (32-bit float depth
// as it is).
float DepthAsFloat(std::int32_t iFormat, const std::uint8_t* pValue)
{
    if (iFormat == FormatDepth16) {
        std::uint16_t uiValue;
        std::memcpy(&uiValue, pValue, sizeof(uiValue));
        return static_cast<float>(uiValue / 65535.0);
    }
    std::uint32_t uiValue;
    std::memcpy(&uiValue, pValue, sizeof(uiValue));
    if (iFormat == FormatDepth24) return static_cast<float>(uiValue / 4294967295.0);
    if (iFormat == FormatDepth24Stencil8) return static_cast<float>((uiValue >> 8) / 16777215.0);
    float fValue;
    std::memcpy(&fValue, pValue, sizeof(fValue));
    return fValue;
}

// OpenEXR files list their channels in alphabetical order.
struct ExrChannelPlan {
    const char* szName;
    int iSourceChannel;
};

} // namespace

void RegisterStandardImageReaders(Core& core)
{
    ImageLoader& loader = ImageLoader::Get(core);
    for (const wchar_t* szKey : {L"png", L"jpg", L"jpeg", L"tga", L"bmp"}) loader.RegisterReader(szKey, ReadWithStb);
    loader.RegisterReader(L"hdr", ReadRadiance);
    loader.RegisterReader(L"exr", ReadOpenEXR);
}

void WritePNG(const std::string& strPath, const ImageData& image)
{
    int iChannels = 0;
    bool bSwapRedBlue = false;
    switch (image.m_iImageFormat) {
    case FormatR8: iChannels = 1; break;
    case FormatRG8: iChannels = 2; break;
    case FormatRGB8:
    case FormatSRGB8: iChannels = 3; break;
    case FormatRGBA8:
    case FormatSRGB8A8: iChannels = 4; break;
    case FormatBGR8: iChannels = 3, bSwapRedBlue = true; break;
    case FormatBGRA8: iChannels = 4, bSwapRedBlue = true; break;
    default: WriteFailure(strPath, "PNG holds 8-bit images; the format " + FormatName(image) + " is not one of them");
    }
    CheckWritable(strPath, image, "PNG");

    const std::size_t uiRowBytes = static_cast<std::size_t>(image.m_uiWidth) * static_cast<std::size_t>(iChannels);
    std::vector<std::uint8_t> rows(uiRowBytes * image.m_uiHeight);
    for (std::uint32_t y = 0; y < image.m_uiHeight; ++y) {
        std::uint8_t* pRow = rows.data() + y * uiRowBytes;
        std::memcpy(pRow, TopDownRow(image, y), uiRowBytes);
        if (bSwapRedBlue)
            for (std::size_t i = 0; i < uiRowBytes; i += static_cast<std::size_t>(iChannels))
                std::swap(pRow[i], pRow[i + 2]);
    }

    std::vector<std::uint8_t> file;
    if (!stbi_write_png_to_func(AppendBytes, &file, static_cast<int>(image.m_uiWidth),
                                static_cast<int>(image.m_uiHeight), iChannels, rows.data(),
                                static_cast<int>(uiRowBytes)))
        WriteFailure(strPath, "the PNG encoder failed");
    WriteFileInPlace(strPath, file);
}

void WriteEXR(const std::string& strPath, const ImageData& image)
{
    int iChannels = 0;
    int iPixelType = TINYEXR_PIXELTYPE_FLOAT;
    switch (image.m_iImageFormat) {
    case FormatR32F: iChannels = 1; break;
    case FormatRG32F: iChannels = 2; break;
    case FormatRGB32F: iChannels = 3; break;
    case FormatRGBA32F: iChannels = 4; break;
    case FormatR16F: iChannels = 1, iPixelType = TINYEXR_PIXELTYPE_HALF; break;
    case FormatRG16F: iChannels = 2, iPixelType = TINYEXR_PIXELTYPE_HALF; break;
    case FormatRGB16F: iChannels = 3, iPixelType = TINYEXR_PIXELTYPE_HALF; break;
    case FormatRGBA16F: iChannels = 4, iPixelType = TINYEXR_PIXELTYPE_HALF; break;
    case FormatDepth16:
    case FormatDepth24:
    case FormatDepth32F:
    case FormatDepth24Stencil8: iChannels = 1; break;
    default:
        WriteFailure(strPath, "OpenEXR holds float, half and depth images; the format " + FormatName(image) +
                                  " is not one of them");
    }
    CheckWritable(strPath, image, "OpenEXR");

    const bool bDepth = image.m_iImageFormat == FormatDepth16 || image.m_iImageFormat == FormatDepth24 ||
                        image.m_iImageFormat == FormatDepth32F || image.m_iImageFormat == FormatDepth24Stencil8;
    static const ExrChannelPlan s_Plans[4][4] = {
        {{"R", 0}}, {{"G", 1}, {"R", 0}}, {{"B", 2}, {"G", 1}, {"R", 0}}, {{"A", 3}, {"B", 2}, {"G", 1}, {"R", 0}}};
    const ExrChannelPlan* pPlan = s_Plans[iChannels - 1];

    // One plane per channel, rows top-down; depth becomes 32-bit float.
    const std::size_t uiPixelBytes = GetImageFormatDescription(image.m_iImageFormat).m_uiBytesPerBlock;
    const std::size_t uiChannelBytes = bDepth ? uiPixelBytes : uiPixelBytes / static_cast<std::size_t>(iChannels);
    const std::size_t uiPlaneBytes = iPixelType == TINYEXR_PIXELTYPE_HALF ? 2 : 4;
    const std::size_t uiPixels = static_cast<std::size_t>(image.m_uiWidth) * image.m_uiHeight;
    std::vector<std::vector<std::uint8_t>> planes(static_cast<std::size_t>(iChannels),
                                                  std::vector<std::uint8_t>(uiPixels * uiPlaneBytes));
    for (std::uint32_t y = 0; y < image.m_uiHeight; ++y) {
        const std::uint8_t* pRow = TopDownRow(image, y);
        for (std::uint32_t x = 0; x < image.m_uiWidth; ++x) {
            const std::size_t uiTarget = (static_cast<std::size_t>(y) * image.m_uiWidth + x) * uiPlaneBytes;
            for (int c = 0; c < iChannels; ++c) {
                const std::uint8_t* pValue =
                    pRow + x * uiPixelBytes + static_cast<std::size_t>(pPlan[c].iSourceChannel) * uiChannelBytes;
                std::uint8_t* pTarget = planes[static_cast<std::size_t>(c)].data() + uiTarget;
                if (bDepth) {
                    const float fDepth = DepthAsFloat(image.m_iImageFormat, pValue);
                    std::memcpy(pTarget, &fDepth, sizeof(fDepth));
                } else {
                    std::memcpy(pTarget, pValue, uiPlaneBytes);
                }
            }
        }
    }

    std::vector<EXRChannelInfo> channels(static_cast<std::size_t>(iChannels));
    std::vector<int> pixelTypes(static_cast<std::size_t>(iChannels), iPixelType);
    std::vector<unsigned char*> planePointers;
    for (int c = 0; c < iChannels; ++c) {
        EXRChannelInfo& info = channels[static_cast<std::size_t>(c)];
        std::memset(&info, 0, sizeof(info));
        std::strncpy(info.name, bDepth ? "Z" : pPlan[c].szName, sizeof(info.name) - 1);
        info.pixel_type = iPixelType;
        planePointers.push_back(planes[static_cast<std::size_t>(c)].data());
    }

    // The arrays stay ours: the header is never given to FreeEXRHeader.
    EXRHeader header;
    InitEXRHeader(&header);
    header.num_channels = iChannels;
    header.channels = channels.data();
    header.pixel_types = pixelTypes.data();
    header.requested_pixel_types = pixelTypes.data();
    header.compression_type = TINYEXR_COMPRESSIONTYPE_ZIP;
    EXRImage exrImage;
    InitEXRImage(&exrImage);
    exrImage.num_channels = iChannels;
    exrImage.width = static_cast<int>(image.m_uiWidth);
    exrImage.height = static_cast<int>(image.m_uiHeight);
    exrImage.images = planePointers.data();

    unsigned char* pMemory = nullptr;
    const char* szError = nullptr;
    const std::size_t uiSize = SaveEXRImageToMemory(&exrImage, &header, &pMemory, &szError);
    if (uiSize == 0) {
        const std::string strReason = szError ? szError : "the OpenEXR encoder failed";
        FreeExrError(szError);
        std::free(pMemory);
        WriteFailure(strPath, strReason);
    }
    std::vector<std::uint8_t> file(pMemory, pMemory + uiSize);
    std::free(pMemory);
    WriteFileInPlace(strPath, file);
}

} // namespace Ondo::GFX

namespace Ondo::OpenGL {

namespace {

// The pixel-pack state glGetTexImage depends on, tightly packed into client
// memory for the scope's life and restored afterwards.
class ScopedPackState {
public:
    ScopedPackState()
    {
        for (std::size_t i = 0; i < s_uiCount; ++i) glGetIntegerv(s_Names[i], &m_Values[i]);
        glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &m_iPackBuffer);
        glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glPixelStorei(GL_PACK_ROW_LENGTH, 0);
        glPixelStorei(GL_PACK_SKIP_PIXELS, 0);
        glPixelStorei(GL_PACK_SKIP_ROWS, 0);
    }
    ScopedPackState(const ScopedPackState&) = delete;
    ScopedPackState& operator=(const ScopedPackState&) = delete;
    ~ScopedPackState()
    {
        for (std::size_t i = 0; i < s_uiCount; ++i) glPixelStorei(s_Names[i], m_Values[i]);
        glBindBuffer(GL_PIXEL_PACK_BUFFER, static_cast<GLuint>(m_iPackBuffer));
    }

private:
    static constexpr std::size_t s_uiCount = 4;
    static constexpr GLenum s_Names[s_uiCount] = {GL_PACK_ALIGNMENT, GL_PACK_ROW_LENGTH, GL_PACK_SKIP_PIXELS,
                                                  GL_PACK_SKIP_ROWS};
    GLint m_Values[s_uiCount] = {};
    GLint m_iPackBuffer = 0;
};

bool IsDepthFormat(GLenum eFormat)
{
    switch (eFormat) {
    case GL_DEPTH_COMPONENT16:
    case GL_DEPTH_COMPONENT24:
    case GL_DEPTH_COMPONENT32:
    case GL_DEPTH_COMPONENT32F:
    case GL_DEPTH24_STENCIL8:
    case GL_DEPTH32F_STENCIL8: return true;
    default: return false;
    }
}

bool IsByteFormat(GLenum eFormat)
{
    switch (eFormat) {
    case GL_R8:
    case GL_RG8:
    case GL_RGB8:
    case GL_RGBA8:
    case GL_SRGB8:
    case GL_SRGB8_ALPHA8: return true;
    default: return false;
    }
}

} // namespace

GFX::ImageData ReadTexture2D(GLuint uiTexture)
{
    using namespace GFX;
    // Binding a name that is no texture is a GL error; refuse it first.
    if (uiTexture == 0 || !glIsTexture(uiTexture))
        throw std::runtime_error("ReadTexture2D: " + std::to_string(uiTexture) + " names no texture");
    const Vector2i size = GetImageSize2D(uiTexture);
    if (size.x() <= 0 || size.y() <= 0)
        throw std::runtime_error("ReadTexture2D: texture " + std::to_string(uiTexture) + " has no level 0");
    const GLenum eInternalFormat = GetInternalFormat2D(uiTexture);

    // 8-bit unsigned normalized formats keep their bytes; the rest is read as
    // 32-bit floats.
    static const std::int32_t s_ByteFormats[] = {FormatR8, FormatRG8, FormatRGB8, FormatRGBA8};
    static const std::int32_t s_FloatFormats[] = {FormatR32F, FormatRG32F, FormatRGB32F, FormatRGBA32F};
    static const GLenum s_PixelFormats[] = {GL_RED, GL_RG, GL_RGB, GL_RGBA};
    static const GLenum s_IntegerFormats[] = {GL_RED_INTEGER, GL_RG_INTEGER, GL_RGB_INTEGER, GL_RGBA_INTEGER};
    const unsigned int uiKnown = GetNumberOfComponents(eInternalFormat);
    const bool bDepth = IsDepthFormat(eInternalFormat);
    const bool bBytes = IsByteFormat(eInternalFormat);
    const unsigned int uiChannels = bDepth ? 1u : uiKnown >= 1 && uiKnown <= 4 ? uiKnown : 4u;

    ImageData image;
    image.m_uiWidth = static_cast<std::uint32_t>(size.x());
    image.m_uiHeight = static_cast<std::uint32_t>(size.y());
    image.m_iImageFormat = bBytes ? s_ByteFormats[uiChannels - 1] : s_FloatFormats[uiChannels - 1];
    if (eInternalFormat == GL_SRGB8) image.m_iImageFormat = FormatSRGB8;
    if (eInternalFormat == GL_SRGB8_ALPHA8) image.m_iImageFormat = FormatSRGB8A8;
    image.m_iChannelLayout = s_Layouts[uiChannels - 1];
    image.m_iComponentType = bBytes ? ComponentUInt8 : ComponentFloat32;
    image.m_uiPixelSize = uiChannels * (bBytes ? 1u : 4u);
    image.m_Pixels.resize(image.GetRequiredSize());

    // Integer textures cannot be read as floats: they come as 32-bit integers
    // and are converted.
    const GLenum eTransfer = GetPotentialChannelFormat(eInternalFormat);
    const bool bInteger = eTransfer == GL_RED_INTEGER || eTransfer == GL_RG_INTEGER || eTransfer == GL_RGB_INTEGER ||
                          eTransfer == GL_RGBA_INTEGER;
    const GLenum eComponent = GetPotentialComponentType(eInternalFormat);
    const bool bSigned = eComponent == GL_BYTE || eComponent == GL_SHORT || eComponent == GL_INT;

    GLint iPreviousTexture = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &iPreviousTexture);
    {
        ScopedPackState packState;
        glBindTexture(GL_TEXTURE_2D, uiTexture);
        if (bDepth) {
            glGetTexImage(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT, GL_FLOAT, image.m_Pixels.data());
        } else if (bBytes) {
            glGetTexImage(GL_TEXTURE_2D, 0, s_PixelFormats[uiChannels - 1], GL_UNSIGNED_BYTE, image.m_Pixels.data());
        } else if (bInteger) {
            std::vector<std::uint32_t> values(image.m_Pixels.size() / 4);
            glGetTexImage(GL_TEXTURE_2D, 0, s_IntegerFormats[uiChannels - 1], bSigned ? GL_INT : GL_UNSIGNED_INT,
                          values.data());
            for (std::size_t i = 0; i < values.size(); ++i) {
                const float fValue = bSigned ? static_cast<float>(static_cast<std::int32_t>(values[i]))
                                             : static_cast<float>(values[i]);
                std::memcpy(image.m_Pixels.data() + i * 4, &fValue, sizeof(fValue));
            }
        } else {
            glGetTexImage(GL_TEXTURE_2D, 0, s_PixelFormats[uiChannels - 1], GL_FLOAT, image.m_Pixels.data());
        }
    }
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(iPreviousTexture));
    return image;
}

} // namespace Ondo::OpenGL
