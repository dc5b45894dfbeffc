#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace Ondo {

// The whole content of one file, held in a buffer that ends with a zero byte
// so that text files can be read as one C string.
class File {
public:
    File() = default;

    // Reads the file named by the path. Throws ExceptionFileMissing when the
    // path names no regular file and ExceptionFileSystem when it cannot be
    // opened or read. On failure the content read earlier stays.
    void Load(const std::wstring& strPath);

    const char* GetData() const { return m_pData ? m_pData.get() : ""; }
    std::size_t GetSize() const { return m_uiSize; }

private:
    std::unique_ptr<char[]> m_pData;
    std::size_t m_uiSize = 0;
};

// Replaces a file's content so that it is either all new or untouched: the
// bytes go to a new temporary file beside it, made exclusively under a name
// nobody can guess (never opened through a link or a name someone planted),
// which is renamed into place once complete. Returns an empty string on
// success, otherwise why it failed; nothing is left behind then.
std::string WriteFileAtomically(const std::string& strPath, const void* pData, std::size_t uiSize);

} // namespace Ondo
