#include "frame/ShaderRoot.h"

#include "Ondo/System.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>

using Prismvale::ExecutableDirectoryFromCommandLine;

TEST(ShaderRoot, ExecutableDirectoryComesFromTheFirstQuotedTokenOrTheWholeLine)
{
    EXPECT_EQ(ExecutableDirectoryFromCommandLine(L"\"/opt/ondo/bin/ondo-run\" graph.xml --frames 3"),
              L"/opt/ondo/bin");
    EXPECT_EQ(ExecutableDirectoryFromCommandLine(L"\"/home/a b/bin/x\" \"/tmp/other dir/y\""), L"/home/a b/bin");
    // A line that starts unquoted still takes the first quoted text.
    EXPECT_EQ(ExecutableDirectoryFromCommandLine(L"run \"/srv/app/tool\" x"), L"/srv/app");
    // Without a closing quote the path runs to the end of the line.
    EXPECT_EQ(ExecutableDirectoryFromCommandLine(L"\"/srv/app/tool"), L"/srv/app");
    // Without quotes the whole line is the path, arguments included.
    EXPECT_EQ(ExecutableDirectoryFromCommandLine(L"/usr/bin/ondo-run -x"), L"/usr/bin");
    EXPECT_EQ(ExecutableDirectoryFromCommandLine(L"/usr/bin/ondo-run data/g.xml"), L"/usr/bin/ondo-run data");
    EXPECT_EQ(ExecutableDirectoryFromCommandLine(L"ondo-run"), L".");
    EXPECT_EQ(ExecutableDirectoryFromCommandLine(L""), L".");
    EXPECT_EQ(ExecutableDirectoryFromCommandLine(L"\"/ondo-run\""), L"");
}

TEST(ShaderRoot, IsTheRunningExecutablesDirectoryTwoLevelsUp)
{
    char szPath[PATH_MAX];
    ASSERT_NE(realpath("/proc/self/exe", szPath), nullptr);
    std::string strDirectory(szPath);
    strDirectory.erase(strDirectory.rfind('/'));
    const std::wstring strExpected = std::wstring(strDirectory.begin(), strDirectory.end()) + L"/../../";
    EXPECT_EQ(Prismvale::GetShaderRoot(), strExpected);

    // Systems without wide characters take the narrow command line instead.
    Ondo::System::m_bIsUnicodeOS = false;
    const std::wstring strNarrowRoot = Prismvale::GetShaderRoot();
    Ondo::System::m_bIsUnicodeOS = true;
    EXPECT_EQ(strNarrowRoot, strExpected);
}
