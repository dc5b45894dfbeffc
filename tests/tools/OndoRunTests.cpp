// ondo-run as a user runs it: the example's picture, the options, and the
// answers to bad input (one clear message, a non-zero exit, no output file).

#include "host/GFX/ImageIO.h"

#include "Ondo/Core.h"
#include "Ondo/GFX/ImageLoader.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

struct Result {
    int iStatus;
    std::string strOutput;
};

// Runs ondo-run with the arguments, standard output and error together.
Result RunOndo(const std::string& strArguments)
{
    const std::string strCommand = std::string(ONDO_RUN_PATH) + " " + strArguments + " 2>&1";
    FILE* pPipe = popen(strCommand.c_str(), "r");
    Result result{-1, ""};
    if (!pPipe) return result;
    char szBuffer[4096];
    std::size_t uiRead = 0;
    while ((uiRead = fread(szBuffer, 1, sizeof(szBuffer), pPipe)) > 0) result.strOutput.append(szBuffer, uiRead);
    const int iStatus = pclose(pPipe);
    result.iStatus = WIFEXITED(iStatus) ? WEXITSTATUS(iStatus) : -1;
    return result;
}

class OndoRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_Directory = fs::path(::testing::TempDir()) / ("ondo-run-" + std::to_string(::getpid()));
        fs::create_directories(m_Directory);
    }
    void TearDown() override { fs::remove_all(m_Directory); }

    std::string Write(const std::string& strName, const std::string& strText)
    {
        const fs::path path = m_Directory / strName;
        std::ofstream(path) << strText;
        return path.string();
    }

    std::string Read(const fs::path& path)
    {
        std::ifstream stream(path);
        return std::string((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    }

    fs::path m_Directory;
};

std::string Graph(const std::string& strBody)
{
    return "<OndoGraph version=\"1\">\n<Scope name=\"Root\">\n" + strBody + "</Scope>\n</OndoGraph>\n";
}

const std::string s_strExamples = EXAMPLES_DIR;

} // namespace

TEST_F(OndoRunTest, TheExampleWritesThePhotographPlusTheGradient)
{
    const Result result = RunOndo(s_strExamples + "/basic.xml --output-dir " + m_Directory.string());
    ASSERT_EQ(result.iStatus, 0) << result.strOutput;
    EXPECT_NE(result.strOutput.find("Save: wrote " + (m_Directory / "basic.png").string()), std::string::npos)
        << result.strOutput;

    Ondo::Core core;
    Ondo::GFX::RegisterStandardImageReaders(core);
    auto& loader = Ondo::GFX::ImageLoader::Get(core);
    const auto pResult = loader.Load((m_Directory / "basic.png").wstring());
    const auto pPhoto = loader.Load(fs::path(s_strExamples + "/assets/chelsea.png").wstring());
    const auto pGradient = loader.Load(fs::path(s_strExamples + "/assets/gradient.png").wstring());
    ASSERT_TRUE(pResult && pPhoto && pGradient);
    ASSERT_EQ(pResult->m_uiWidth, pPhoto->m_uiWidth);
    ASSERT_EQ(pResult->m_uiHeight, pPhoto->m_uiHeight);
    ASSERT_EQ(pResult->m_Pixels.size(), pPhoto->m_Pixels.size());
    for (std::size_t i = 0; i < pResult->m_Pixels.size(); ++i) {
        const int iExpected = std::min(255, pPhoto->m_Pixels[i] + pGradient->m_Pixels[i]);
        ASSERT_NEAR(pResult->m_Pixels[i], iExpected, 1) << "byte " << i;
    }
}

TEST_F(OndoRunTest, EveryShippedExampleRunsAndWritesItsPictures)
{
    int iExamples = 0;
    for (const auto& entry : fs::directory_iterator(s_strExamples)) {
        if (entry.path().extension() != ".xml") continue;
        ++iExamples;
        const fs::path output = m_Directory / entry.path().stem();
        const Result result = RunOndo(entry.path().string() + " --output-dir " + output.string());
        EXPECT_EQ(result.iStatus, 0) << entry.path() << "\n" << result.strOutput;
        const bool bWrote = fs::exists(output) && !fs::is_empty(output);
        EXPECT_TRUE(bWrote) << entry.path() << " wrote no picture";
    }
    EXPECT_GE(iExamples, 2);
}

TEST_F(OndoRunTest, OptionsSaveDescribeListProfileAndRunFrames)
{
    const std::string strGraph = Write("frames.xml", Graph("<Filter type=\"Host.Constant.Float\" name=\"Gain\" />\n"));
    const std::string strSaved = (m_Directory / "saved.xml").string(), strAgain = (m_Directory / "again.xml").string();
    Result result = RunOndo(strGraph + " --set Gain/Value=2.5 --save-graph " + strSaved + " --frames 3 --profile --dot " +
                            (m_Directory / "graph.dot").string());
    ASSERT_EQ(result.iStatus, 0) << result.strOutput;
    EXPECT_NE(result.strOutput.find("frame 3/3 done in"), std::string::npos) << result.strOutput;
    EXPECT_NE(result.strOutput.find("Gain                    Host.Constant.Float"), std::string::npos)
        << result.strOutput;
    EXPECT_NE(Read(m_Directory / "graph.dot").find("digraph"), std::string::npos);
    EXPECT_NE(Read(strSaved).find("<strValue value=\"2.5\" />"), std::string::npos) << Read(strSaved);

    result = RunOndo(strSaved + " --check --save-graph " + strAgain);
    ASSERT_EQ(result.iStatus, 0) << result.strOutput;
    EXPECT_EQ(Read(strAgain), Read(strSaved)) << "saving a loaded graph gives the same text";

    // Connections to ports that a filter's shader declares survive the round trip too.
    fs::copy(s_strExamples + "/assets", m_Directory / "assets");
    const std::string strExample = (m_Directory / "example.xml").string();
    result = RunOndo(s_strExamples + "/basic.xml --check --save-graph " + strExample);
    ASSERT_EQ(result.iStatus, 0) << result.strOutput;
    result = RunOndo(strExample + " --check --save-graph " + strAgain);
    ASSERT_EQ(result.iStatus, 0) << result.strOutput;
    EXPECT_EQ(Read(strAgain), Read(strExample));
    EXPECT_NE(Read(strAgain).find("<Connection from=\"Gradient\" output=\"OutputTexture\" to=\"Add\" input=\"Image B\" />"),
              std::string::npos)
        << Read(strAgain);

    result = RunOndo("--describe OpenGL.Texture.Add");
    ASSERT_EQ(result.iStatus, 0) << result.strOutput;
    EXPECT_NE(result.strOutput.find("\"Image B\"               Ondo::OpenGL::TextureObject2D"), std::string::npos)
        << result.strOutput;
    EXPECT_NE(result.strOutput.find("(declared by its shaders)"), std::string::npos);

    result = RunOndo("--list 'OpenGL.Texture.*'");
    EXPECT_EQ(result.iStatus, 0);
    EXPECT_NE(result.strOutput.find("OpenGL.Texture.Add\n    For adding two textures\n    keywords: OpenGL;Texture;Add"),
              std::string::npos)
        << result.strOutput;
    EXPECT_EQ(result.strOutput.find("Host.Constant"), std::string::npos) << "the pattern selects";
}

TEST_F(OndoRunTest, BadInputGivesOneClearMessageAndNoOutput)
{
    const std::string strUnfed = Write(
        "unfed.xml", Graph("<Filter type=\"OpenGL.Texture.LoadFromFile\" name=\"Photo\">"
                           "<Control label=\"File name\" value=\"" + s_strExamples + "/assets/chelsea.png\" /></Filter>\n"
                           "<Filter type=\"OpenGL.Texture.Add\" name=\"Add\" />\n"
                           "<Filter type=\"Host.ImageSink\" name=\"Save\"><Control label=\"File Name\" value=\"out.png\" />"
                           "</Filter>\n"
                           "<Connection from=\"Photo\" output=\"OutputTexture\" to=\"Add\" input=\"Target Texture\" />\n"
                           "<Connection from=\"Photo\" output=\"OutputTexture\" to=\"Add\" input=\"Image A\" />\n"
                           "<Connection from=\"Add\" output=\"Sum\" to=\"Save\" input=\"Texture\" />\n"));
    const std::string strGarbage = Write("garbage.png", "not a picture");
    auto withGradient = [&](const std::string& strName, const std::string& strFile) {
        std::string strText = Read(s_strExamples + "/basic.xml");
        strText.replace(strText.find("assets/gradient.png"), 19, strFile);
        std::string strAssets = s_strExamples + "/assets/";
        for (std::size_t uiAt = 0; (uiAt = strText.find("\"assets/", uiAt)) != std::string::npos;)
            strText.replace(uiAt + 1, 7, strAssets);
        return Write(strName, strText);
    };
    const struct {
        std::string strArguments;
        int iStatus;
        std::string strMessage;
    } cases[] = {
        {strUnfed + " --output-dir " + m_Directory.string(), 1,
         strUnfed + ": Add: Port \"Image B\" requires a connection to run.\n"},
        {Write("broken.xml", "<OndoGraph>\n<Scope name=\"Root\">\n<Filter type=\"X\" name=\"A\">\n</Scope>"), 1,
         "broken.xml:4:"},
        {Write("unknown.xml", Graph("<Filter type=\"OpenGL.Texture.Nope\" name=\"N\" />\n")), 1,
         "unknown.xml:3: Unknown filter type \"OpenGL.Texture.Nope\""},
        {strUnfed + " --set Add/Strength=2", 1, "\"Add\": No control labelled \"Strength\" (there are no controls)"},
        {(m_Directory / "missing.xml").string(), 1, "missing.xml: File does not exist"},
        {"--frames 0 x.xml", 2, "--frames takes a whole number of at least 1, not \"0\""},
        {"--no-such-option", 2, "unknown option --no-such-option"},
        {withGradient("missing-image.xml", "no/such.png") + " --output-dir " + m_Directory.string(), 1,
         "missing-image.xml:16: \"Gradient\" (OpenGL.Texture.LoadFromFile): \"File name\" names no/such.png, which is "
         "not a file"},
        {withGradient("bad-image.xml", strGarbage) + " --output-dir " + m_Directory.string(), 1,
         "\"Gradient\" (OpenGL.Texture.LoadFromFile): The image file " + strGarbage + " could not be decoded"},
    };
    for (const auto& testCase : cases) {
        const Result result = RunOndo(testCase.strArguments);
        EXPECT_EQ(result.iStatus, testCase.iStatus) << testCase.strArguments << "\n" << result.strOutput;
        EXPECT_NE(result.strOutput.find(testCase.strMessage), std::string::npos)
            << testCase.strArguments << "\n" << result.strOutput;
    }
    EXPECT_FALSE(fs::exists(m_Directory / "out.png")) << "nothing ran";
    EXPECT_FALSE(fs::exists(m_Directory / "basic.png")) << "the sink runs after the bad image and never wrote";
    for (const auto& entry : fs::directory_iterator(m_Directory))
        EXPECT_EQ(entry.path().string().find(".partial"), std::string::npos) << "no partial output: " << entry.path();
}
