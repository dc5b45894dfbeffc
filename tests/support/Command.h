#pragma once

// Running a program as a user runs it, for the tests of the command-line tools.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace OndoTest {

struct CommandResult {
    int iStatus = -1; // the exit status; -1 when it did not exit normally
    std::string strOutput;
    long lPeakKilobytes = 0; // the largest resident set of the command (its shell's or its own)
};

// Runs a shell command line with standard output and error together.
inline CommandResult RunCommand(const std::string& strCommandLine)
{
    CommandResult result;
    const std::string strCommand = strCommandLine + " 2>&1";
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) return result;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeEnds[1], 1);
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        ::execl("/bin/sh", "sh", "-c", strCommand.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    char szBuffer[4096];
    ssize_t iRead = 0;
    while ((iRead = ::read(pipeEnds[0], szBuffer, sizeof(szBuffer))) > 0)
        result.strOutput.append(szBuffer, static_cast<std::size_t>(iRead));
    ::close(pipeEnds[0]);
    int iStatus = 0;
    struct rusage usage {};
    if (pid < 0 || ::wait4(pid, &iStatus, 0, &usage) != pid) return result;
    result.iStatus = WIFEXITED(iStatus) ? WEXITSTATUS(iStatus) : -1;
    result.lPeakKilobytes = usage.ru_maxrss;
    return result;
}

} // namespace OndoTest
