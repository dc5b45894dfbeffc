#include "Ondo/System.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>

TEST(System, CommandLineStartsWithTheQuotedExecutablePath)
{
    char szPath[PATH_MAX];
    ASSERT_NE(realpath("/proc/self/exe", szPath), nullptr);
    const std::string strLine = Ondo::System::GetCommandLineA();
    EXPECT_EQ(strLine.rfind("\"" + std::string(szPath) + "\"", 0), 0u) << strLine;

    const std::wstring strWide = Ondo::System::GetCommandLineW();
    EXPECT_EQ(strWide.size(), strLine.size()) << "an ASCII path widens character by character";
    EXPECT_TRUE(Ondo::System::m_bIsUnicodeOS);
}
