#pragma once

// A fresh folder per test and a core with the engine's standard image
// readers, for the suites that write, read and cut image files.

#include "host/GFX/ImageIO.h"

#include "Ondo/Core.h"
#include "Ondo/GFX/ImageLoader.h"
#include "Ondo/StringConversion.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace OndoTest {

using Bytes = std::vector<std::uint8_t>;

// Bytes that differ from their neighbours: uiStart, uiStart + uiStep, ...
inline Bytes Pattern(std::size_t uiSize, unsigned int uiStep = 7, unsigned int uiStart = 3)
{
    Bytes bytes(uiSize);
    for (std::size_t i = 0; i < uiSize; ++i) bytes[i] = static_cast<std::uint8_t>(uiStart + uiStep * i);
    return bytes;
}

// The rows of each slice in reverse order: files store them top-down, images bottom-up.
inline Bytes RowsReversed(const Bytes& bytes, std::size_t uiRowBytes, std::size_t uiRows)
{
    Bytes out;
    for (std::size_t uiSlice = 0; uiSlice < bytes.size(); uiSlice += uiRowBytes * uiRows)
        for (std::size_t y = uiRows; y-- > 0;)
            out.insert(out.end(), bytes.begin() + static_cast<std::ptrdiff_t>(uiSlice + y * uiRowBytes),
                       bytes.begin() + static_cast<std::ptrdiff_t>(uiSlice + (y + 1) * uiRowBytes));
    return out;
}

inline std::vector<float> Floats(const Ondo::GFX::ImageData& image)
{
    std::vector<float> values(image.m_Pixels.size() / sizeof(float));
    std::memcpy(values.data(), image.m_Pixels.data(), values.size() * sizeof(float));
    return values;
}

inline Bytes FileBytes(const std::string& strPath)
{
    std::ifstream stream(strPath, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

class ImageFiles : public ::testing::Test {
protected:
    using Bytes = std::vector<std::uint8_t>;

    ImageFiles()
    {
        std::filesystem::remove_all(m_Folder);
        std::filesystem::create_directories(m_Folder);
        Ondo::GFX::RegisterStandardImageReaders(m_Core);
    }
    ~ImageFiles() override { std::filesystem::remove_all(m_Folder); }

    std::string Path(const std::string& strName) const { return (m_Folder / strName).string(); }
    // Paths are UTF-8 here; the loader takes them wide.
    std::unique_ptr<Ondo::GFX::ImageData> LoadPath(const std::string& strPath,
                                                   const Ondo::GFX::ImageLoader* pLoader = nullptr)
    {
        return (pLoader ? *pLoader : Ondo::GFX::ImageLoader::Get(m_Core)).Load(Ondo::Utf8ToWide(strPath));
    }
    std::unique_ptr<Ondo::GFX::ImageData> Load(const std::string& strName,
                                               const Ondo::GFX::ImageLoader* pLoader = nullptr)
    {
        return LoadPath(Path(strName), pLoader);
    }
    void WriteBytes(const std::string& strName, const Bytes& bytes) const
    {
        WriteText(strName, std::string(bytes.begin(), bytes.end()));
    }
    void WriteText(const std::string& strName, const std::string& strBytes) const
    {
        std::ofstream(Path(strName), std::ios::binary) << strBytes;
    }
    std::vector<std::string> Listing() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(m_Folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string LastError() const { return m_Core.GetErrors().empty() ? "" : m_Core.GetErrors().back(); }

    const std::filesystem::path m_Folder =
        std::filesystem::temp_directory_path() /
        ("ondo-image-" + std::to_string(::getpid()) + "-" +
         testing::UnitTest::GetInstance()->current_test_info()->name());
    Ondo::Core m_Core;
};

} // namespace OndoTest
