#include "Ondo/GFX/ImageLoader.h"

#include "Ondo/Core.h"
#include "Ondo/Exceptions.h"
#include "Ondo/File.h"
#include "Ondo/StringConversion.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <filesystem>
#include <stdexcept>

namespace Ondo::GFX {

namespace {

// The lookup key of a path: what follows its last '.', lowered character by
// character with the C library's tolower. tolower is only defined for values
// an unsigned char holds; wider characters are kept as they are.
std::wstring KeyOf(const std::wstring& strPath)
{
    const std::size_t uiDot = strPath.rfind(L'.');
    std::wstring strKey = uiDot == std::wstring::npos ? strPath : strPath.substr(uiDot + 1);
    for (wchar_t& c : strKey)
        if (c >= 0 && c <= UCHAR_MAX) c = static_cast<wchar_t>(std::tolower(static_cast<int>(c)));
    return strKey;
}

std::string NarrowName(const std::wstring& strWide)
{
    try {
        return WideToUtf8(strWide);
    } catch (const std::range_error&) {
        return "(a name that is not valid Unicode)";
    }
}

// The extension as the path reports it (L".PNG"). File names are bytes here,
// taken as UTF-8: std::filesystem::path would convert a wide name through the
// C locale and refuse "café.png".
std::wstring ExtensionOf(const std::wstring& strPath)
{
    try {
        return Utf8ToWide(std::filesystem::path(WideToUtf8(strPath)).extension().string());
    } catch (const std::range_error&) {
        return {};
    }
}

// The limits of the loader whose Decode runs on this thread.
thread_local const ImageLimits* t_pCurrentLimits = nullptr;

class LimitsInForce {
public:
    explicit LimitsInForce(const ImageLimits& limits) : m_pPrevious(t_pCurrentLimits) { t_pCurrentLimits = &limits; }
    ~LimitsInForce() { t_pCurrentLimits = m_pPrevious; }
    LimitsInForce(const LimitsInForce&) = delete;
    LimitsInForce& operator=(const LimitsInForce&) = delete;

private:
    const ImageLimits* m_pPrevious;
};

} // namespace

const ImageLimits& ImageLimits::Current()
{
    static const ImageLimits s_Defaults;
    return t_pCurrentLimits ? *t_pCurrentLimits : s_Defaults;
}

void ImageLoader::RegisterReader(const std::wstring& strKey, Reader fnReader)
{
    if (!fnReader) throw std::invalid_argument("ImageLoader::RegisterReader: no reader given");
    m_Readers.insert_or_assign(strKey, [fnReader = std::move(fnReader)](const std::uint8_t* pData, std::size_t uiSize,
                                                                        const ReadContext& context) {
        return fnReader(pData, uiSize, context.m_strExtension);
    });
}

void ImageLoader::RegisterPathReader(const std::wstring& strKey, PathReader fnReader)
{
    if (!fnReader) throw std::invalid_argument("ImageLoader::RegisterPathReader: no reader given");
    m_Readers.insert_or_assign(strKey, std::move(fnReader));
}

std::wstring ImageLoader::GetFileFilter() const
{
    std::wstring strFilter;
    for (const auto& entry : m_Readers) {
        if (!strFilter.empty()) strFilter += L';';
        strFilter += L"*." + entry.first;
    }
    return strFilter;
}

std::unique_ptr<ImageData> ImageLoader::Load(const std::wstring& strPath) const
{
    try {
        return Decode(strPath);
    } catch (const ExceptionParsing& error) {
        GetCore().ReportError(error.what());
        return nullptr;
    }
}

std::unique_ptr<ImageData> ImageLoader::Decode(const std::wstring& strPath) const
{
    std::future<std::unique_ptr<ImageData>> picture;
    {
        const std::lock_guard<std::mutex> lock(m_PrefetchLock);
        const auto it = std::find_if(m_Prefetched.begin(), m_Prefetched.end(),
                                     [&](const auto& entry) { return entry.first == strPath; });
        if (it != m_Prefetched.end()) {
            picture = std::move(it->second);
            m_Prefetched.erase(it);
        }
    }
    return picture.valid() ? picture.get() : DecodeFile(strPath);
}

void ImageLoader::Prefetch(const std::wstring& strPath)
{
    // A dropped picture is waited for once the lock is given up: its worker
    // may need the lock.
    std::future<std::unique_ptr<ImageData>> dropped;
    const std::lock_guard<std::mutex> lock(m_PrefetchLock);
    for (const auto& entry : m_Prefetched)
        if (entry.first == strPath) return;
    if (m_Prefetched.size() >= 2) {
        dropped = std::move(m_Prefetched.front().second);
        m_Prefetched.pop_front();
    }
    m_Prefetched.emplace_back(strPath, std::async(std::launch::async, [this, strPath] { return DecodeFile(strPath); }));
}

std::unique_ptr<ImageData> ImageLoader::DecodeFile(const std::wstring& strPath) const
{
    File file;
    file.Load(strPath);
    return Decode(reinterpret_cast<const std::uint8_t*>(file.GetData()), file.GetSize(), strPath);
}

std::unique_ptr<ImageData> ImageLoader::Decode(const std::uint8_t* pData, std::size_t uiSize,
                                               const std::wstring& strPath) const
{
    const std::wstring strKey = KeyOf(strPath);
    const std::wstring strExtension = ExtensionOf(strPath);

    // A file that gives no image is told to the core: whatever is made from
    // it downstream is wrong.
    const std::string strName = NarrowName(strPath);
    if (uiSize == 0) throw ExceptionParsing("The image file " + strName + " is empty");
    const auto it = m_Readers.find(strKey);
    if (it == m_Readers.end())
        throw ExceptionParsing("No image reader takes " + strName + " (readers: " + NarrowName(GetFileFilter()) + ")");
    std::unique_ptr<ImageData> pImage;
    try {
        const LimitsInForce limits(m_Limits);
        pImage = it->second(pData, uiSize, ReadContext{strPath, strExtension, *this});
    } catch (const std::exception& error) {
        throw ExceptionParsing("The image file " + strName + " could not be decoded: " + error.what());
    }
    if (!pImage) throw ExceptionParsing("The image file " + strName + " could not be decoded");
    // Compute shaders cannot store into three-channel textures, and a target
    // made similar to a loaded photo must be one they can write. Widening
    // here, where every file passes whichever reader decoded it, covers the
    // readers of other modules too, while textures made from data (a maker
    // asked for GL_RGB32F) keep the format they were asked for.
    AddOpaqueAlpha(*pImage);
    return pImage;
}

} // namespace Ondo::GFX
