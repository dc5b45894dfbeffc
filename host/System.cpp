#include "Ondo/System.h"

#include "Ondo/StringConversion.h"

#include <fstream>
#include <iterator>
#include <limits.h>
#include <stdexcept>
#include <unistd.h>

namespace Ondo {

bool System::m_bIsUnicodeOS = true;

namespace {

std::string ExecutablePath()
{
    char szPath[PATH_MAX];
    const ssize_t iLength = ::readlink("/proc/self/exe", szPath, sizeof(szPath) - 1);
    if (iLength <= 0) throw std::runtime_error("Could not read the executable path from /proc/self/exe");
    return std::string(szPath, static_cast<std::size_t>(iLength));
}

std::string Quoted(const std::string& strArgument)
{
    if (!strArgument.empty() && strArgument.find_first_of(" \t\n\"") == std::string::npos) return strArgument;
    std::string strQuoted = "\"";
    for (char c : strArgument) {
        if (c == '"') strQuoted += '\\';
        strQuoted += c;
    }
    return strQuoted + "\"";
}

} // namespace

std::string System::GetCommandLineA()
{
    std::string strLine = "\"" + ExecutablePath() + "\"";
    std::ifstream stream("/proc/self/cmdline", std::ios::binary);
    const std::string strRaw((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    // The arguments are separated by zero bytes; the first is the program as
    // it was started, which the executable path above replaces.
    std::size_t uiStart = strRaw.find('\0');
    while (uiStart != std::string::npos && uiStart + 1 < strRaw.size()) {
        const std::size_t uiEnd = strRaw.find('\0', uiStart + 1);
        strLine += " " + Quoted(strRaw.substr(uiStart + 1, uiEnd - uiStart - 1));
        uiStart = uiEnd;
    }
    return strLine;
}

std::wstring System::GetCommandLineW()
{
    const std::string strLine = GetCommandLineA();
    try {
        return Utf8ToWide(strLine);
    } catch (const std::range_error&) {
        // Not UTF-8 (a path in another encoding): keep every byte.
        return WidenWithLocale(strLine);
    }
}

} // namespace Ondo
