#include "ExpectThrow.h"

#include "Ondo/Exceptions.h"
#include "Ondo/File.h"
#include "Ondo/StringConversion.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
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
    void TearDown() override
    {
        if (m_strDir.empty()) return;
        const std::string strCommand = "rm -rf '" + m_strDir + "'";
        EXPECT_EQ(std::system(strCommand.c_str()), 0);
    }

    std::string Write(const std::string& strName, const std::string& strContent)
    {
        const std::string strPath = m_strDir + "/" + strName;
        std::ofstream stream(strPath, std::ios::binary);
        stream.write(strContent.data(), static_cast<std::streamsize>(strContent.size()));
        EXPECT_TRUE(stream.good()) << strPath;
        return strPath;
    }
    static std::wstring Wide(const std::string& strPath) { return Ondo::Utf8ToWide(strPath); }
    static std::string Content(const Ondo::File& file) { return std::string(file.GetData(), file.GetSize()); }

    std::string m_strDir;
};

TEST_F(FileTest, LoadReadsTheWholeFileWithATrailingZero)
{
    const std::string strBinary("\x00\x01 binary\x00\xFF\n\r\x00 end", 16);
    Ondo::File file;
    EXPECT_EQ(file.GetSize(), 0u);
    EXPECT_STREQ(file.GetData(), "");

    file.Load(Wide(Write("binary.bin", strBinary)));
    ASSERT_EQ(file.GetSize(), strBinary.size());
    EXPECT_EQ(Content(file), strBinary);
    EXPECT_EQ(file.GetData()[file.GetSize()], '\0');

    // Loading again replaces the content, also by a shorter one.
    file.Load(Wide(Write("text.txt", "short")));
    EXPECT_EQ(file.GetSize(), 5u);
    EXPECT_STREQ(file.GetData(), "short");

    file.Load(Wide(Write("empty.txt", "")));
    EXPECT_EQ(file.GetSize(), 0u);
    EXPECT_STREQ(file.GetData(), "");

    // Non-ASCII names reach the file system as UTF-8.
    Write("\xC3\xBC" "ber \xE2\x9C\x93.txt", "unicode name");
    file.Load(Wide(m_strDir) + L"/\u00FCber \u2713.txt");
    EXPECT_STREQ(file.GetData(), "unicode name");
}

TEST_F(FileTest, MissingFilesAndDirectoriesThrowAndKeepTheEarlierContent)
{
    Ondo::File file;
    file.Load(Wide(Write("kept.txt", "kept content")));

    const std::string strMissing = m_strDir + "/missing.txt";
    EXPECT_EQ(ThrownMessage<Ondo::ExceptionFileMissing>([&] { file.Load(Wide(strMissing)); }),
              "File does not exist " + strMissing);
    EXPECT_EQ(ThrownMessage<Ondo::ExceptionFileMissing>([&] { file.Load(Wide(m_strDir)); }),
              "File does not exist " + m_strDir);
    EXPECT_EQ(ThrownMessage<Ondo::ExceptionFileMissing>([&] { file.Load(L""); }), "File does not exist ");
    EXPECT_EQ(Content(file), "kept content");

    // The missing-file error is a file-system error as well.
    EXPECT_THROW(file.Load(Wide(strMissing)), Ondo::ExceptionFileSystem);
}

TEST_F(FileTest, UnreadableFileThrowsFileSystemError)
{
    if (::geteuid() == 0) GTEST_SKIP() << "file permissions do not stop root";
    const std::string strPath = Write("locked.txt", "secret");
    ASSERT_EQ(::chmod(strPath.c_str(), 0), 0);
    Ondo::File file;
    file.Load(Wide(Write("kept.txt", "kept")));
    EXPECT_EQ(ThrownMessage<Ondo::ExceptionFileSystem>([&] { file.Load(Wide(strPath)); }),
              "Could not open file " + strPath);
    EXPECT_EQ(Content(file), "kept");
}

TEST(StringConversionTest, WideAndUtf8RoundTrip)
{
    const std::wstring strWide = L"plain \u00E9\u00DF \u20AC \u2713 \U0001F600 \U0010FFFF";
    const std::string strUtf8 = "plain \xC3\xA9\xC3\x9F \xE2\x82\xAC \xE2\x9C\x93 \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF";
    EXPECT_EQ(Ondo::WideToUtf8(strWide), strUtf8);
    EXPECT_EQ(Ondo::Utf8ToWide(strUtf8), strWide);
    EXPECT_EQ(Ondo::WideToUtf8(L""), "");
    EXPECT_EQ(Ondo::Utf8ToWide(""), L"");
    const std::wstring strWithZero(L"a\0b", 3);
    EXPECT_EQ(Ondo::Utf8ToWide(Ondo::WideToUtf8(strWithZero)), strWithZero);
}

TEST(StringConversionTest, InvalidEncodingsThrowRangeError)
{
    for (const std::string& strBad : {std::string("ab\xC3"), std::string("\xE2\x82"), std::string("\xC0\xAF"),
                                      std::string("\xED\xA0\x80"), std::string("\x80"), std::string("ok\xBFok"),
                                      std::string("\xF4\x90\x80\x80"), std::string("\xFF")}) {
        EXPECT_THROW(Ondo::Utf8ToWide(strBad), std::range_error) << ::testing::PrintToString(strBad);
    }
    for (unsigned int uiCode : {0xD800u, 0xDFFFu, 0x110000u, 0x7FFFFFFFu}) {
        const std::wstring strBad = L"x" + std::wstring(1, static_cast<wchar_t>(uiCode));
        EXPECT_THROW(Ondo::WideToUtf8(strBad), std::range_error) << std::hex << uiCode;
    }
}

} // namespace
