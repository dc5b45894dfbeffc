#include "host/ChildProcess.h"

#include "Ondo/Exceptions.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define ONDO_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ONDO_ADDRESS_SANITIZER 1
#endif
#endif

namespace Ondo::Host {

namespace {

#ifdef ONDO_ADDRESS_SANITIZER
constexpr bool s_bSanitized = true;
#else
constexpr bool s_bSanitized = false;
#endif

// The answer's first byte says what it is.
constexpr char s_cResult = 'R', s_cError = 'E', s_cNoMemory = 'M';

void WriteAll(int iFile, const char* pData, std::size_t uiSize)
{
    while (uiSize > 0) {
        const ssize_t iWritten = write(iFile, pData, uiSize);
        if (iWritten < 0 && errno == EINTR) continue;
        if (iWritten <= 0) _exit(3);
        pData += iWritten;
        uiSize -= static_cast<std::size_t>(iWritten);
    }
}

// The address space the process has mapped, in bytes.
std::uint64_t MappedBytes()
{
    std::FILE* pFile = std::fopen("/proc/self/statm", "r");
    unsigned long long ullPages = 0;
    if (pFile) {
        if (std::fscanf(pFile, "%llu", &ullPages) != 1) ullPages = 0;
        std::fclose(pFile);
    }
    return ullPages * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
}

[[noreturn]] void RunChild(int iAnswer, const std::function<std::string()>& fnWork, const ChildLimits& limits)
{
    // A crash ends the child by its signal, which the parent names, not
    // through whatever handler the program (or a sanitizer) installed.
    for (const int iSignal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) std::signal(iSignal, SIG_DFL);
    if (!s_bSanitized && limits.m_uiMaxBytes > 0) {
        const rlim_t uiLimit = static_cast<rlim_t>(MappedBytes() + limits.m_uiMaxBytes);
        const rlimit limit{uiLimit, uiLimit};
        setrlimit(RLIMIT_AS, &limit);
    }
    std::string strAnswer;
    try {
        strAnswer = s_cResult + fnWork();
    } catch (const std::bad_alloc&) {
        strAnswer = std::string(1, s_cNoMemory);
    } catch (const std::length_error&) {
        strAnswer = std::string(1, s_cNoMemory);
    } catch (const std::exception& error) {
        strAnswer = s_cError + std::string(error.what());
    } catch (...) {
        strAnswer = s_cError + std::string("an unknown failure");
    }
    WriteAll(iAnswer, strAnswer.data(), strAnswer.size());
    _exit(0);
}

} // namespace

std::string RunInChildProcess(const std::function<std::string()>& fnWork, const ChildLimits& limits,
                              const std::string& strFailure)
{
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0)
        throw ExceptionParsing(strFailure + "no pipe to a child process: " + std::strerror(errno));
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) {
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        throw ExceptionParsing(strFailure + "no child process: " + std::strerror(errno));
    }
    if (pid == 0) {
        close(pipeEnds[0]);
        RunChild(pipeEnds[1], fnWork, limits);
    }
    close(pipeEnds[1]);

    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::seconds(limits.m_uiMaxSeconds);
    std::string strAnswer;
    bool bTimedOut = false;
    for (;;) {
        int iWait = -1;
        if (limits.m_uiMaxSeconds > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) {
                bTimedOut = true;
                break;
            }
            iWait = static_cast<int>(std::min<long long>(left, 1000 * 1000));
        }
        pollfd wait{pipeEnds[0], POLLIN, 0};
        const int iReady = poll(&wait, 1, iWait);
        if (iReady < 0 && errno == EINTR) continue;
        if (iReady == 0) continue;
        char buffer[1 << 16];
        const ssize_t iRead = read(pipeEnds[0], buffer, sizeof(buffer));
        if (iRead < 0 && errno == EINTR) continue;
        if (iRead <= 0) break;
        strAnswer.append(buffer, static_cast<std::size_t>(iRead));
    }
    close(pipeEnds[0]);
    if (bTimedOut) kill(pid, SIGKILL);
    int iStatus = 0;
    while (waitpid(pid, &iStatus, 0) < 0 && errno == EINTR) {
    }
    if (bTimedOut)
        throw ExceptionParsing(strFailure + "reading it took longer than " + std::to_string(limits.m_uiMaxSeconds) +
                               " s, and it was stopped");
    if (WIFSIGNALED(iStatus))
        throw ExceptionParsing(strFailure + "the importer crashed on it (signal " + std::to_string(WTERMSIG(iStatus)) +
                               ", " + strsignal(WTERMSIG(iStatus)) + ")");
    if (strAnswer.empty() || !WIFEXITED(iStatus) || WEXITSTATUS(iStatus) != 0)
        throw ExceptionParsing(strFailure + "the importer stopped without an answer (exit status " +
                               std::to_string(WIFEXITED(iStatus) ? WEXITSTATUS(iStatus) : -1) + ")");
    if (strAnswer[0] == s_cNoMemory)
        throw ExceptionParsing(strFailure + "it needs more memory than the " +
                               std::to_string(limits.m_uiMaxBytes >> 20) + " MiB a mesh may take");
    if (strAnswer[0] == s_cError)
        throw ExceptionParsing(strAnswer.compare(1, strFailure.size(), strFailure) == 0 ? strAnswer.substr(1)
                                                                                       : strFailure + strAnswer.substr(1));
    return strAnswer.substr(1);
}

} // namespace Ondo::Host
