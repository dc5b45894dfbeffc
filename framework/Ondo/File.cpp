#include "Ondo/File.h"

#include "Ondo/Exceptions.h"
#include "Ondo/StringConversion.h"

#include <fstream>
#include <stdexcept>
#include <sys/stat.h>

namespace Ondo {

namespace {

// File names on this platform are bytes; wide paths are taken as UTF-8 there.
// A path that cannot be encoded is shown with '?' for what does not convert.
std::string NarrowPath(const std::wstring& strPath)
{
    try {
        return WideToUtf8(strPath);
    } catch (const std::range_error&) {
        std::string strNarrow;
        for (wchar_t c : strPath) strNarrow += (c > 0 && c < 128) ? static_cast<char>(c) : '?';
        return strNarrow;
    }
}

} // namespace

void File::Load(const std::wstring& strPath)
{
    const std::string strNarrow = NarrowPath(strPath);
    struct stat info {};
    if (::stat(strNarrow.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        throw ExceptionFileMissing("File does not exist " + strNarrow);

    std::ifstream stream(strNarrow, std::ios::in | std::ios::binary);
    if (!stream) throw ExceptionFileSystem("Could not open file " + strNarrow);

    stream.seekg(0, std::ios::end);
    const std::streamoff size = stream.tellg();
    if (size < 0) throw ExceptionFileSystem("Could not determine the size of file " + strNarrow);
    stream.seekg(0, std::ios::beg);

    auto pData = std::make_unique<char[]>(static_cast<std::size_t>(size) + 1);
    if (size > 0 && !stream.read(pData.get(), size)) throw ExceptionFileSystem("Could not read file " + strNarrow);
    pData[static_cast<std::size_t>(size)] = '\0';

    m_pData = std::move(pData);
    m_uiSize = static_cast<std::size_t>(size);
}

} // namespace Ondo
