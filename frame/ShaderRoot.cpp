#include "frame/ShaderRoot.h"

#include "Ondo/StringConversion.h"
#include "Ondo/System.h"

namespace Prismvale {

std::wstring ExecutableDirectoryFromCommandLine(const std::wstring& strCommandLine)
{
    std::wstring strPath = strCommandLine;
    const std::size_t uiFirst = strCommandLine.find(L'"');
    if (uiFirst != std::wstring::npos) {
        const std::size_t uiSecond = strCommandLine.find(L'"', uiFirst + 1);
        strPath = strCommandLine.substr(uiFirst + 1,
                                        uiSecond == std::wstring::npos ? std::wstring::npos : uiSecond - uiFirst - 1);
    }
    const std::size_t uiSlash = strPath.rfind(L'/');
    if (uiSlash == std::wstring::npos) return L".";
    return strPath.substr(0, uiSlash);
}

std::wstring GetShaderRoot()
{
    const std::wstring strCommandLine = Ondo::System::m_bIsUnicodeOS
                                            ? Ondo::System::GetCommandLineW()
                                            : Ondo::WidenWithLocale(Ondo::System::GetCommandLineA());
    return ExecutableDirectoryFromCommandLine(strCommandLine) + L"/" + L"../../";
}

} // namespace Prismvale
