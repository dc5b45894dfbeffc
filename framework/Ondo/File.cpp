#include "Ondo/File.h"

#include "Ondo/Exceptions.h"
#include "Ondo/StringConversion.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <stdexcept>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

std::string WriteFileAtomically(const std::string& strPath, const void* pData, std::size_t uiSize)
{
    std::random_device random;
    std::string strTemporary;
    int iFile = -1;
    for (int iTry = 0; iFile < 0; ++iTry) {
        char szSuffix[32];
        std::snprintf(szSuffix, sizeof(szSuffix), ".partial-%08x%08x", random(), random());
        strTemporary = strPath + szSuffix;
        iFile = ::open(strTemporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (iFile < 0 && (errno != EEXIST || iTry >= 16)) return std::strerror(errno);
    }
    const auto abandon = [&](int iError) {
        if (iFile >= 0) ::close(iFile);
        ::unlink(strTemporary.c_str());
        return std::string(std::strerror(iError));
    };
    const char* pBytes = static_cast<const char*>(pData);
    for (std::size_t uiWritten = 0; uiWritten < uiSize;) {
        const ssize_t iCount = ::write(iFile, pBytes + uiWritten, uiSize - uiWritten);
        if (iCount < 0 && errno == EINTR) continue;
        if (iCount <= 0) return abandon(iCount < 0 ? errno : EIO);
        uiWritten += static_cast<std::size_t>(iCount);
    }
    const int iClosed = ::close(iFile);
    iFile = -1;
    if (iClosed != 0 || ::rename(strTemporary.c_str(), strPath.c_str()) != 0) return abandon(errno);
    return std::string();
}

} // namespace Ondo
