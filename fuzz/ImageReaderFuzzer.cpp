// One image reader fed arbitrary bytes through the image loader, as a file
// named *.FUZZ_EXTENSION. A reader may refuse (Ondo::ExceptionParsing) or give
// a consistent image; anything else, a crash or a sanitizer report, is a
// finding.

#include "host/GFX/ImageIO.h"

#include "Ondo/Core.h"
#include "Ondo/Exceptions.h"
#include "Ondo/GFX/ImageLoader.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include <unistd.h>

namespace {

Ondo::GFX::ImageLoader& Loader()
{
    static Ondo::Core* s_pCore = [] {
        auto* pCore = new Ondo::Core;
        Ondo::GFX::RegisterStandardImageReaders(*pCore);
        // Small limits: huge claims are refused the same way, and the run
        // spends its time on the readers' code rather than on memset.
        Ondo::GFX::ImageLimits limits;
        limits.m_uiMaxPixels = std::uint64_t(1) << 16;
        limits.m_uiMaxBytes = std::uint64_t(1) << 22;
        Ondo::GFX::ImageLoader::Get(*pCore).SetLimits(limits);
        return pCore;
    }();
    return Ondo::GFX::ImageLoader::Get(*s_pCore);
}

// Files a header names (a MetaImage's data file) are looked for in an empty
// folder of the run's own, removed when it ends.
class EmptyFolder {
public:
    EmptyFolder() : m_Folder(std::filesystem::temp_directory_path() / ("ondo-fuzz-" + std::to_string(::getpid())))
    {
        std::filesystem::create_directories(m_Folder);
    }
    ~EmptyFolder()
    {
        std::error_code error;
        std::filesystem::remove_all(m_Folder, error);
    }
    EmptyFolder(const EmptyFolder&) = delete;
    EmptyFolder& operator=(const EmptyFolder&) = delete;
    std::wstring Input() const { return (m_Folder / ("input." FUZZ_EXTENSION)).wstring(); }

private:
    std::filesystem::path m_Folder;
};

const std::wstring& Path()
{
    static const EmptyFolder s_Folder;
    static const std::wstring s_strPath = s_Folder.Input();
    return s_strPath;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize)
{
    try {
        const auto pImage = Loader().Decode(pData, uiSize, Path());
        const std::string strProblem = pImage ? pImage->Validate() : "no image and no reason";
        if (!strProblem.empty()) {
            std::fprintf(stderr, "inconsistent image: %s\n", strProblem.c_str());
            std::abort();
        }
    } catch (const Ondo::ExceptionParsing&) {
    }
    return 0;
}
