#pragma once

#include <string>

namespace Ondo {

// What the platform library tells about the system the engine runs on.
struct System {
    // True where the system offers a wide-character command line and file API.
    static bool m_bIsUnicodeOS;

    // The process command line: the executable's full path in double quotes,
    // followed by the arguments separated by spaces (an argument that is empty
    // or holds white space or a quote is quoted itself). The executable path is
    // read from the running process, so it is absolute even when the program
    // was started through a relative path or a link.
    static std::string GetCommandLineA();
    static std::wstring GetCommandLineW();
};

} // namespace Ondo
