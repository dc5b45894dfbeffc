#include "RunContext.h"

#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace Ondo {

std::string RunContext::ResolveOutputPath(const std::string& strName) const
{
    namespace fs = std::filesystem;
    const fs::path name(strName);
    const bool bRelative = !strName.empty() && name.is_relative();
    const std::string strPath = !bRelative || m_strOutputDirectory.empty()
                                    ? strName
                                    : m_strOutputDirectory + (m_strOutputDirectory.back() == '/' ? "" : "/") + strName;
    if (m_bWriteAnywhere) return strPath;

    // Compared as the file system resolves them, so that neither ".." nor a
    // link inside the folder leads out of it.
    std::error_code error;
    const fs::path folder = fs::weakly_canonical(
        m_strOutputDirectory.empty() ? fs::current_path(error) : fs::path(m_strOutputDirectory), error);
    const fs::path resolved = error ? fs::path() : fs::weakly_canonical(fs::absolute(strPath, error), error);
    const fs::path inside = resolved.lexically_relative(folder);
    if (error || strName.empty() || inside.empty() || *inside.begin() == ".." || *inside.begin() == ".")
        throw std::runtime_error("the output file \"" + strName + "\" lies outside the output folder " +
                                 folder.string() + "; name a file inside it, choose another folder, or allow "
                                 "writing anywhere (ondo-run --write-anywhere)");
    return strPath;
}

} // namespace Ondo
