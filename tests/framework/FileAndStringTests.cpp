#include "TestSupport.h"

#include "Ondo/Exceptions.h"
#include "Ondo/File.h"
#include "Ondo/StringConversion.h"

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

using OndoTest::ThrownMessage;

// A fresh directory under /tmp, removed with everything in it at the end.
class FileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char szTemplate[] = "/tmp/ondo_file_test_XXXXXX";
        ASSERT_NE(::mkdtemp(szTemplate), nullptr);
        m_strDir = szTemplate;
    }
    void TearDown() override { std::filesystem::remove_all(m_strDir); }
    // Writes the file and returns its path as the engine takes it.
    std::wstring Write(const std::string& strName, const std::string& strContent)
    {
        EXPECT_TRUE(std::ofstream(m_strDir + "/" + strName, std::ios::binary) << strContent) << strName;
        return Ondo::Utf8ToWide(m_strDir + "/" + strName);
    }
    static std::string Content(const Ondo::File& file) { return std::string(file.GetData(), file.GetSize()); }
    std::string m_strDir;
};

TEST_F(FileTest, LoadReadsTheWholeFileWithATrailingZeroOrThrowsAndKeepsTheContent)
{
    Ondo::File file;
    EXPECT_EQ(std::make_tuple(file.GetSize(), std::string(file.GetData())), std::make_tuple(0u, ""));
    // Loading again replaces the content, also by a shorter one; non-ASCII names reach the file system as UTF-8.
    const std::pair<std::string, std::string> files[] = {{"bin", {"\0\1 bin\0\xFF\n\r\0 end", 15}}, {"short", "short"},
                                                         {"empty", ""}, {"\xC3\xBC" "ber \xE2\x9C\x93", "name"}};
    for (const auto& [strName, strContent] : files) {
        file.Load(Write(strName, strContent));
        EXPECT_EQ(Content(file), strContent) << strName;
        EXPECT_EQ(file.GetData()[file.GetSize()], '\0') << strName;
    }
    // Missing and unreadable files throw and keep the earlier content.
    file.Load(Write("kept.txt", "kept content"));
    for (const std::string& strPath : {m_strDir + "/missing.txt", m_strDir, std::string()}) {
        EXPECT_EQ(ThrownMessage<Ondo::ExceptionFileMissing>([&] { file.Load(Ondo::Utf8ToWide(strPath)); }),
                  "File does not exist " + strPath);
        EXPECT_THROW(file.Load(Ondo::Utf8ToWide(strPath)), Ondo::ExceptionFileSystem) << "a file-system error too";
    }
    EXPECT_EQ(Content(file), "kept content");
    if (::geteuid() == 0) GTEST_SKIP() << "file permissions do not stop root";
    const std::wstring strLocked = Write("locked.txt", "secret");
    std::filesystem::permissions(m_strDir + "/locked.txt", std::filesystem::perms::none);
    EXPECT_EQ(ThrownMessage<Ondo::ExceptionFileSystem>([&] { file.Load(strLocked); }),
              "Could not open file " + m_strDir + "/locked.txt");
    EXPECT_EQ(Content(file), "kept content");
}

TEST(StringConversionTest, WideAndUtf8RoundTripAndInvalidEncodingsThrowRangeError)
{
    const std::wstring strWide = L"plain \u00E9\u00DF \u20AC \u2713 \U0001F600 \U0010FFFF", strWithZero(L"a\0b", 3);
    const std::string strUtf8 = "plain \xC3\xA9\xC3\x9F \xE2\x82\xAC \xE2\x9C\x93 \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF";
    EXPECT_EQ(std::make_tuple(Ondo::WideToUtf8(strWide), Ondo::WideToUtf8(L"")), std::make_tuple(strUtf8, ""));
    EXPECT_EQ(std::make_tuple(Ondo::Utf8ToWide(strUtf8), Ondo::Utf8ToWide(""), Ondo::Utf8ToWide(Ondo::WideToUtf8(
                                  strWithZero))), std::make_tuple(strWide, L"", strWithZero));
    for (const char* szBad : {"ab\xC3", "\xE2\x82", "\xC0\xAF", "\xED\xA0\x80", "\x80", "ok\xBFok", "\xF4\x90\x80\x80",
                              "\xFF"})
        EXPECT_THROW(Ondo::Utf8ToWide(szBad), std::range_error) << testing::PrintToString(std::string(szBad));
    for (unsigned int uiCode : {0xD800u, 0xDFFFu, 0x110000u, 0x7FFFFFFFu})
        EXPECT_THROW(Ondo::WideToUtf8(L"x" + std::wstring(1, static_cast<wchar_t>(uiCode))), std::range_error)
            << std::hex << uiCode;
}

} // namespace
