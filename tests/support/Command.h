#pragma once

// Running a program as a user runs it, for the tests of the command-line tools.

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace OndoTest {

struct CommandResult {
    int iStatus = -1; // the exit status; -1 when it did not exit normally
    std::string strOutput;
};

// Runs a shell command line with standard output and error together.
inline CommandResult RunCommand(const std::string& strCommandLine)
{
    CommandResult result;
    FILE* pPipe = popen((strCommandLine + " 2>&1").c_str(), "r");
    if (!pPipe) return result;
    char szBuffer[4096];
    std::size_t uiRead = 0;
    while ((uiRead = fread(szBuffer, 1, sizeof(szBuffer), pPipe)) > 0) result.strOutput.append(szBuffer, uiRead);
    const int iStatus = pclose(pPipe);
    result.iStatus = WIFEXITED(iStatus) ? WEXITSTATUS(iStatus) : -1;
    return result;
}

} // namespace OndoTest
