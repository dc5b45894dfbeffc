#include "Ondo/GFX/ImageLoader.h"

#include "Ondo/Core.h"
#include "Ondo/File.h"
#include "Ondo/StringConversion.h"

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

} // namespace

void ImageLoader::RegisterReader(const std::wstring& strKey, Reader fnReader)
{
    if (!fnReader) throw std::invalid_argument("ImageLoader::RegisterReader: no reader given");
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
    const std::wstring strKey = KeyOf(strPath);
    File file;
    file.Load(strPath);
    const std::wstring strExtension = std::filesystem::path(strPath).extension().wstring();

    // A file that gives no image is told to the core: whatever is made from
    // it downstream is wrong.
    const std::string strName = NarrowName(strPath);
    if (file.GetSize() == 0) {
        GetCore().ReportError("The image file " + strName + " is empty");
        return nullptr;
    }
    const auto it = m_Readers.find(strKey);
    if (it == m_Readers.end()) {
        GetCore().ReportError("No image reader takes " + strName + " (readers: " + NarrowName(GetFileFilter()) + ")");
        return nullptr;
    }
    auto pImage = it->second(reinterpret_cast<const std::uint8_t*>(file.GetData()), file.GetSize(), strExtension);
    if (!pImage) GetCore().ReportError("The image file " + strName + " could not be decoded");
    return pImage;
}

} // namespace Ondo::GFX
