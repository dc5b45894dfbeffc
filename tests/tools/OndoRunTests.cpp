// ondo-run as a user runs it: the example's picture, the options, and bad input (one clear message, a
// non-zero exit, no output file).

#include "support/Command.h"

#include "host/GFX/ImageIO.h"

#include "Ondo/Core.h"
#include "Ondo/GFX/ImageLoader.h"

#include "support/ClaimingPng.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

using Result = OndoTest::CommandResult;

// Runs ondo-run with the arguments, standard output and error together.
Result RunOndo(const std::string& strArguments)
{
    return OndoTest::RunCommand(std::string(ONDO_RUN_PATH) + " " + strArguments);
}

// Runs ondo-run: it exits with iStatus and its output holds strMessage.
Result ExpectRun(const std::string& strArguments, int iStatus, const std::string& strMessage = "")
{
    Result result = RunOndo(strArguments);
    EXPECT_EQ(result.iStatus, iStatus) << strArguments << "\n" << result.strOutput;
    EXPECT_NE(result.strOutput.find(strMessage), std::string::npos) << strArguments << "\n" << result.strOutput;
    return result;
}

struct RunCase {
    std::string strArguments;
    int iStatus;
    std::string strMessage;
};

// An image file as the engine's readers give it.
std::unique_ptr<Ondo::GFX::ImageData> LoadImage(const fs::path& path)
{
    static Ondo::Core s_Core;
    static const bool s_bReaders = (Ondo::GFX::RegisterStandardImageReaders(s_Core), true);
    (void)s_bReaders;
    return Ondo::GFX::ImageLoader::Get(s_Core).Load(path.wstring());
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
    ExpectRun(s_strExamples + "/basic.xml --output-dir " + m_Directory.string(), 0,
              "Save: wrote " + (m_Directory / "basic.png").string());
    const auto pResult = LoadImage(m_Directory / "basic.png"), pPhoto = LoadImage(s_strExamples + "/assets/chelsea.png"),
               pGradient = LoadImage(s_strExamples + "/assets/gradient.png");
    ASSERT_TRUE(pResult && pPhoto && pGradient);
    ASSERT_EQ(std::tie(pResult->m_uiWidth, pResult->m_uiHeight), std::tie(pPhoto->m_uiWidth, pPhoto->m_uiHeight));
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
        EXPECT_TRUE(fs::exists(output) && !fs::is_empty(output)) << entry.path() << " wrote no picture";
    }
    EXPECT_GE(iExamples, 2);
}

TEST_F(OndoRunTest, OptionsSaveDescribeListProfileAndRunFrames)
{
    const std::string strGraph = Write("frames.xml", Graph("<Filter type=\"Host.Constant.Float\" name=\"Gain\" />\n"));
    const std::string strSaved = (m_Directory / "saved.xml").string(), strAgain = (m_Directory / "again.xml").string();
    Result result = ExpectRun(strGraph + " --set Gain/Value=2.5 --save-graph " + strSaved + " --frames 3 --profile --dot " +
                                  (m_Directory / "graph.dot").string(),
                              0, "frame 3/3 done in");
    EXPECT_NE(result.strOutput.find("Gain                    Host.Constant.Float"), std::string::npos)
        << result.strOutput;
    EXPECT_NE(Read(m_Directory / "graph.dot").find("digraph"), std::string::npos);
    EXPECT_NE(Read(strSaved).find("<strValue value=\"2.5\" />"), std::string::npos) << Read(strSaved);
    ExpectRun(strSaved + " --check --save-graph " + strAgain, 0);
    EXPECT_EQ(Read(strAgain), Read(strSaved)) << "saving a loaded graph gives the same text";

    // Saved into another folder, the example names its images relative to
    // that folder, loads from there and runs; connections to ports that a
    // filter's shader declares survive the round trip too. A folder that
    // shares nothing with the images below the root gets absolute names.
    fs::create_directories(m_Directory / "out");
    fs::copy(s_strExamples, m_Directory / "examples", fs::copy_options::recursive);
    const std::string strExample = (m_Directory / "out" / "example.xml").string();
    ExpectRun((m_Directory / "examples" / "basic.xml").string() + " --check --save-graph " + strExample, 0);
    auto named = [&](const fs::path& file, const std::string& strName) {
        return Read(file).find("<FileName value=\"" + strName + "\" />") != std::string::npos;
    };
    EXPECT_TRUE(named(strExample, "../examples/assets/chelsea.png")) << Read(strExample);
    ExpectRun(strExample + " --save-graph " + strAgain + " --output-dir " + m_Directory.string(), 0);
    EXPECT_TRUE(fs::exists(m_Directory / "basic.png"));
    EXPECT_TRUE(named(strAgain, "examples/assets/chelsea.png")) << Read(strAgain);
    EXPECT_NE(Read(strAgain).find("<Connection from=\"Gradient\" output=\"OutputTexture\" to=\"Add\" input=\"Image B\" />"),
              std::string::npos)
        << Read(strAgain);
    result = RunOndo(strExample + " --check --save-graph " + (m_Directory / "out" / "again.xml").string());
    EXPECT_EQ(Read(m_Directory / "out" / "again.xml"), Read(strExample)) << "saved where it was: the same text";
    const fs::path photo = fs::weakly_canonical(s_strExamples + "/assets/chelsea.png");
    if (*std::next(photo.begin()) != *std::next(m_Directory.begin())) {
        ExpectRun(s_strExamples + "/basic.xml --check --save-graph " + strAgain, 0);
        EXPECT_TRUE(named(strAgain, photo.string())) << Read(strAgain);
    }

    result = ExpectRun("--describe OpenGL.Texture.Add", 0, "\"Image B\"               Ondo::OpenGL::TextureObject2D");
    EXPECT_NE(result.strOutput.find("(declared by its shaders)"), std::string::npos);
    result = ExpectRun("--list 'OpenGL.Texture.*'", 0,
                       "OpenGL.Texture.Add\n    For adding two textures\n    keywords: OpenGL;Texture;Add");
    EXPECT_EQ(result.strOutput.find("Host.Constant"), std::string::npos) << "the pattern selects";
}

// A graph that cannot give its picture stops with exit 1 and one message naming filter, type and port.
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
    // A canvas of the given size written by the sink "Save" to out.png.
    auto canvas = [&](const std::string& strName, const std::string& strWidth, const std::string& strHeight) {
        return Write(strName, Graph("<Filter type=\"OpenGL.Texture.MultiSource2D\" name=\"Canvas\">"
                                    "<Input label=\"Width\" value=\"" + strWidth + "\" />"
                                    "<Input label=\"Height\" value=\"" + strHeight + "\" /></Filter>\n"
                                    "<Filter type=\"Host.ImageSink\" name=\"Save\"><Control label=\"File Name\" "
                                    "value=\"out.png\" /></Filter>\n"
                                    "<Connection from=\"Canvas\" output=\"0\" to=\"Save\" input=\"Texture\" />\n")) +
               " --output-dir " + m_Directory.string();
    };
    const std::string strBasic = s_strExamples + "/basic.xml --output-dir " + m_Directory.string();
    auto withGradient = [&](const std::string& strName, const std::string& strFile) {
        std::string strText = Read(s_strExamples + "/basic.xml");
        strText.replace(strText.find("assets/gradient.png"), 19, strFile);
        std::string strAssets = s_strExamples + "/assets/";
        for (std::size_t uiAt = 0; (uiAt = strText.find("\"assets/", uiAt)) != std::string::npos;)
            strText.replace(uiAt + 1, 7, strAssets);
        return Write(strName, strText);
    };
    const RunCase cases[] = {
        {strUnfed + " --output-dir " + m_Directory.string(), 1,
         strUnfed + ": Add: Port \"Image B\" requires a connection to run.\n"},
        {Write("broken.xml", "<OndoGraph>\n<Scope name=\"Root\">\n<Filter type=\"X\" name=\"A\">\n</Scope>"), 1,
         "broken.xml:4:"},
        {Write("unknown.xml", Graph("<Filter type=\"OpenGL.Texture.Nope\" name=\"N\" />\n")), 1,
         "unknown.xml:3: Unknown filter type \"OpenGL.Texture.Nope\""},
        {strUnfed + " --set Add/Strength=2", 1,
         "\"Add\" (OpenGL.Texture.Add): No control labelled \"Strength\" (there are no controls)"},
        {(m_Directory / "missing.xml").string(), 1, "missing.xml: File does not exist"},
        {"--frames 0 x.xml", 2, "--frames takes a whole number of at least 1, not \"0\""},
        {"--no-such-option", 2, "unknown option --no-such-option"},
        {withGradient("missing-image.xml", "no/such.png") + " --output-dir " + m_Directory.string(), 1,
         "missing-image.xml:16: \"Gradient\" (OpenGL.Texture.LoadFromFile): \"File name\" cannot name no/such.png, "
         "which does not exist"},
        {withGradient("bad-image.xml", strGarbage) + " --output-dir " + m_Directory.string(), 1,
         "\"Gradient\" (OpenGL.Texture.LoadFromFile): The image file " + strGarbage},
        // An image named by the settings is read while the graph loads.
        {Write("bad-setting.xml", Graph("<Filter type=\"OpenGL.Texture.LoadFromFile\" name=\"Photo\"><Settings>"
                                        "<hOutTexture PortID=\"-1\" /><FileName value=\"" + strGarbage + "\" />"
                                        "<bTextureIsMutable value=\"0\" /><bCreateMipMaps value=\"0\" />"
                                        "</Settings></Filter>\n")),
         1, "bad-setting.xml:3: \"Photo\" (OpenGL.Texture.LoadFromFile): its GPU resources could not be made: The "
            "image file " + strGarbage},
        // Edited file names: nothing there, a folder, a device.
        {strBasic + " --set 'Gradient/File name=no/such.png'", 1,
         "\"Gradient\" (OpenGL.Texture.LoadFromFile): \"File name\" cannot name no/such.png, which does not exist"},
        {strBasic + " --set 'Gradient/File name=" + m_Directory.string() + "'", 1,
         "\"Gradient\" (OpenGL.Texture.LoadFromFile): \"File name\" cannot name " + m_Directory.string() +
             ", which is no regular file"},
        {strBasic + " --set 'Gradient/File name=/dev/zero'", 1,
         "\"Gradient\" (OpenGL.Texture.LoadFromFile): \"File name\" cannot name /dev/zero, which is no regular file"},
        {strBasic + " --set 'Gradient/File name=" + strGarbage + "'", 1,
         "\"Gradient\" (OpenGL.Texture.LoadFromFile): The image file " + strGarbage},
        // Values and sizes that cannot be taken.
        {Write("constant.xml", Graph("<Filter type=\"Host.Constant.Vector4f\" name=\"Tint\" />\n")) +
             " --set 'Tint/Value=1 2'",
         1, "\"Tint\" (Host.Constant.Vector4f): \"Value\" does not take \"1 2\": "},
        {canvas("negative.xml", "-1", "4"), 1,
         "\"Canvas\" (OpenGL.Texture.MultiSource2D): \"Width\" is -1; a texture is at least 1 texel in each direction"},
        {canvas("zero.xml", "4", "0"), 1,
         "\"Canvas\" (OpenGL.Texture.MultiSource2D): \"Height\" is 0; a texture is at least 1 texel in each direction"},
        {canvas("huge.xml", "4", "1000000"), 1,
         "\"Canvas\" (OpenGL.Texture.MultiSource2D): \"Height\" is 1000000, beyond GL_MAX_TEXTURE_SIZE ("},
        {Write("count.xml", Graph("<Filter type=\"OpenGL.Texture.MultiSource2D\" name=\"Canvas\"><Settings>"
                                  "<NumberOfTextures value=\"40\" /></Settings></Filter>\n")),
         1, "count.xml:3: \"Canvas\" (OpenGL.Texture.MultiSource2D): its settings could not be read: "
            "\"NumberOfTextures\" is 40, outside 1 to 16"},
        // A sink with nothing to write: the loader was given no file.
        {Write("nothing.xml", Graph("<Filter type=\"OpenGL.Texture.LoadFromFile\" name=\"Photo\" />\n"
                                    "<Filter type=\"Host.ImageSink\" name=\"Save\"><Control label=\"File Name\" "
                                    "value=\"out.png\" /></Filter>\n"
                                    "<Connection from=\"Photo\" output=\"OutputTexture\" to=\"Save\" input=\"Texture\" />\n")) +
             " --output-dir " + m_Directory.string(),
         1, "\"Save\" (Host.ImageSink): \"Texture\" carries no texture; nothing was written to \"out.png\""},
        // A GL error raised inside a filter (a hand-edited sampler setting).
        {Write("sampler.xml", Graph("<Filter type=\"OpenGL.ConstSamplerState\" name=\"Sampler\"><Settings>"
                                    "<hOutSamplerState PortID=\"-1\" /><WrapS value=\"1234\" /><WrapT value=\"10497\" />"
                                    "<WrapR value=\"10497\" /><MinFilter value=\"9729\" /><MagFilter value=\"9729\" />"
                                    "<MinLod value=\"-1000\" /><MaxLod value=\"1000\" /><LODBias value=\"0\" />"
                                    "</Settings></Filter>\n")),
         1, "sampler.xml:3: \"Sampler\" (OpenGL.ConstSamplerState): its GPU resources could not be made: GL error "
            "GL_INVALID_ENUM"},
    };
    for (const auto& testCase : cases) {
        const Result result = ExpectRun(testCase.strArguments, testCase.iStatus, testCase.strMessage);
        EXPECT_EQ(result.strOutput.find(" filters in "), std::string::npos) << "no run reported done: " << result.strOutput;
    }
    EXPECT_FALSE(fs::exists(m_Directory / "out.png")) << "nothing ran";
    EXPECT_FALSE(fs::exists(m_Directory / "basic.png")) << "the sink runs after the bad image and never wrote";
    for (const auto& entry : fs::directory_iterator(m_Directory))
        EXPECT_EQ(entry.path().string().find(".partial"), std::string::npos) << "no partial output: " << entry.path();
}

namespace {

// Load -> negative -> sink, the sink's file named by strSinkName.
std::string NegativeGraph(const std::string& strSinkName)
{
    return Graph("<Filter type=\"OpenGL.Texture.LoadFromFile\" name=\"Photo\">"
                 "<Control label=\"Create MipMaps\" value=\"false\" /></Filter>\n"
                 "<Filter type=\"OpenGL.Texture.SimilarMultiSource2D\" name=\"Target\" />\n"
                 "<Filter type=\"OpenGL.NegativeImage\" name=\"Negative\" />\n"
                 "<Filter type=\"Host.ImageSink\" name=\"Save\"><Control label=\"File Name\" value=\"" +
                 strSinkName + "\" /></Filter>\n"
                 "<Connection from=\"Photo\" output=\"OutputTexture\" to=\"Target\" input=\"Texture\" />\n"
                 "<Connection from=\"Target\" output=\"0\" to=\"Negative\" input=\"Target Texture\" />\n"
                 "<Connection from=\"Photo\" output=\"OutputTexture\" to=\"Negative\" input=\"Image\" />\n"
                 "<Connection from=\"Negative\" output=\"Negative Image\" to=\"Save\" input=\"Texture\" />\n");
}

std::set<std::string> Names(const fs::path& folder)
{
    std::set<std::string> names;
    if (fs::exists(folder))
        for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

} // namespace

// One frame per file in name order, outputs named after each file, their pixels its negatives.
TEST_F(OndoRunTest, EachFileOfABatchGivesItsOwnPictureNamedAfterIt)
{
    fs::create_directories(m_Directory / "in" / "folder.png");
    const std::string strAssets = s_strExamples + "/assets/";
    fs::copy_file(strAssets + "chelsea.png", m_Directory / "in" / "c.png");
    fs::copy_file(strAssets + "gradient.png", m_Directory / "in" / "a.png");
    fs::copy_file(strAssets + "CesiumLogoFlat.png", m_Directory / "in" / "b.png");
    const std::string strGraph = Write("batch.xml", NegativeGraph("out/{stem}-{frame}.{name}.png"));
    const Result result = OndoTest::RunCommand("cd " + m_Directory.string() + " && " + ONDO_RUN_PATH + " " + strGraph +
                                               " --each 'Photo/File name=in/*.png' --output-dir " + m_Directory.string());
    ASSERT_EQ(result.iStatus, 0) << result.strOutput;
    EXPECT_EQ(Names(m_Directory / "out"),
              (std::set<std::string>{"a-0000.a.png.png", "b-0001.b.png.png", "c-0002.c.png.png"}));
    EXPECT_NE(result.strOutput.find("batch: 3 of 3 files in "), std::string::npos) << result.strOutput;
    EXPECT_NE(result.strOutput.find("3/3 files, "), std::string::npos) << "a plain progress line: " << result.strOutput;
    for (const char* szIn : {"a", "b", "c"}) {
        const std::string strOut = szIn + std::string("-000") + std::to_string(*szIn - 'a') + "." + szIn + ".png.png";
        SCOPED_TRACE(strOut);
        const auto pIn = LoadImage(m_Directory / "in" / (szIn + std::string(".png")));
        const auto pOut = LoadImage(m_Directory / "out" / strOut);
        ASSERT_TRUE(pIn && pOut);
        ASSERT_EQ(pIn->m_Pixels.size(), pOut->m_Pixels.size());
        std::size_t uiWrong = 0;
        for (std::size_t i = 0; i < pIn->m_Pixels.size(); ++i) {
            const int iExpected = i % 4 == 3 ? pIn->m_Pixels[i] : 255 - pIn->m_Pixels[i];
            uiWrong += pOut->m_Pixels[i] != iExpected;
        }
        EXPECT_EQ(uiWrong, 0u);
    }
}

// docs/batch.md's example as it stands: each shard takes the files listed, together every file once.
TEST_F(OndoRunTest, ShardsTakeTheFilesTheDocumentationListsAndEveryFileOnce)
{
    std::ifstream page(std::string(DOCS_DIR) + "/batch.md");
    std::string strLine, strPhotos;
    std::vector<std::tuple<std::string, std::set<std::string>>> shards;
    const std::regex shard("^--shard ([0-9]+/[0-9]+): (.*)$");
    while (std::getline(page, strLine)) {
        std::smatch match;
        if (strLine.rfind("photos: ", 0) == 0) strPhotos = strLine.substr(8);
        if (!std::regex_match(strLine, match, shard)) continue;
        std::istringstream names(match[2].str());
        std::set<std::string> expected;
        for (std::string strName; names >> strName;) expected.insert(strName);
        shards.emplace_back(match[1].str(), expected);
    }
    ASSERT_FALSE(strPhotos.empty()) << "the page lists the photos of its example";
    ASSERT_GE(shards.size(), 2u);

    fs::create_directories(m_Directory / "photos");
    std::istringstream photos(strPhotos);
    std::multiset<std::string> all, taken;
    for (std::string strName; photos >> strName;) {
        fs::copy_file(s_strExamples + "/assets/CesiumLogoFlat.png", m_Directory / "photos" / strName);
        all.insert(strName);
    }
    const std::string strGraph = Write("shard.xml", NegativeGraph("{name}"));
    for (const auto& [strShard, expected] : shards) {
        const fs::path output = m_Directory / ("shard" + std::to_string(taken.size()));
        ExpectRun(strGraph + " --each 'Photo/File name=" + (m_Directory / "photos").string() + "/*' --shard " + strShard +
                      " --output-dir " + output.string(),
                  0);
        EXPECT_EQ(Names(output), expected) << "--shard " << strShard;
        for (const std::string& strName : Names(output)) taken.insert(strName);
    }
    EXPECT_EQ(taken, all);

    // More shards than files: the last ones have nothing to do, and succeed.
    ExpectRun(strGraph + " --each 'Photo/File name=" + (m_Directory / "photos").string() + "/*' --shard 11/12 --output-dir " +
                  (m_Directory / "none").string(),
              0, "batch: 0 of " + std::to_string(all.size()) + " files (shard 11/12)");
}

// A batch stops with exit 1 at a file it cannot do; the pictures before it are complete, none after.
TEST_F(OndoRunTest, BatchesStopAtTheFirstFileThatIsNoPictureOrCannotBeWritten)
{
    fs::create_directories(m_Directory / "in");
    for (const char* szName : {"a.png", "b.png", "d.png"})
        fs::copy_file(s_strExamples + "/assets/CesiumLogoFlat.png", m_Directory / "in" / szName);
    Write("in/c.png", "this is no picture");
    const std::string strEach = " --each 'Photo/File name=" + (m_Directory / "in").string() + "/*.png'";
    const std::string strGraph = Write("stop.xml", NegativeGraph("out/{name}"));
    const Result result = ExpectRun(strGraph + strEach + " --output-dir " + m_Directory.string(), 1,
                                    "\"Photo\" (OpenGL.Texture.LoadFromFile): The image file " +
                                        (m_Directory / "in" / "c.png").string() + " could not be decoded");
    EXPECT_NE(result.strOutput.find("file 3 of 4)"), std::string::npos) << result.strOutput;
    EXPECT_EQ(Names(m_Directory / "out"), (std::set<std::string>{"a.png", "b.png"}));

    // A folder where a picture should go: the sink and the file are named.
    fs::remove(m_Directory / "in" / "c.png");
    fs::create_directories(m_Directory / "taken" / "b.png");
    ExpectRun(Write("taken.xml", NegativeGraph("taken/{name}")) + strEach + " --output-dir " + m_Directory.string(), 1,
              "\"Save\" (Host.ImageSink): Could not write the image file " + (m_Directory / "taken" / "b.png").string());

    const RunCase cases[] = {
        {strGraph + " --each 'Photo/File name=" + m_Directory.string() + "/nothing/*.jpg'", 1,
         "--each: no file matches " + m_Directory.string() + "/nothing/*.jpg"},
        {strGraph + " --each 'Photo/File name=nothing-here-*.jpg'", 1, "--each: no file matches nothing-here-*.jpg"},
        {strGraph + " --each 'Nobody/File name=" + (m_Directory / "in").string() + "/*.png'", 1, "Nobody"},
        {strGraph + strEach + " --shard 3/3", 2, "--shard takes K/N with N at least 1 and K from 0 to N-1, not \"3/3\""},
        {strGraph + strEach + " --shard 1", 2, "--shard takes K/N"},
        {strGraph + " --shard 0/2", 2, "--shard divides the files of --each, and there is no --each"},
        {strGraph + strEach + " --frames 2", 2, "--each runs one frame per file; it takes no --frames"},
        {strGraph + " --each Photo", 2, "--each takes FILTER/CONTROL=GLOB, not \"Photo\""},
        {Write("plain.xml", NegativeGraph("{stem}.png")) + " --set 'Photo/File name=" + s_strExamples +
             "/assets/gradient.png' --output-dir " + m_Directory.string(),
         1, "{name} and {stem} stand for the current file of a batch (ondo-run --each), and this run is none"},
    };
    for (const auto& testCase : cases) ExpectRun(testCase.strArguments, testCase.iStatus, testCase.strMessage);
    for (const auto& entry : fs::recursive_directory_iterator(m_Directory))
        EXPECT_EQ(entry.path().string().find(".partial"), std::string::npos) << "no partial output: " << entry.path();
}

// --profile: the filters' CPU time per frame and the engine's line add up to the wall time per frame.
TEST_F(OndoRunTest, ProfileLinesAddUpToTheWallTime)
{
    const int iFrames = 3;
    const Result result = RunOndo(s_strExamples + "/image-chain.xml --frames " + std::to_string(iFrames) +
                                  " --profile --output-dir " + m_Directory.string());
    ASSERT_EQ(result.iStatus, 0) << result.strOutput;
    std::istringstream lines(result.strOutput);
    std::string strLine;
    double dFilters = 0.0, dEngine = -1.0, dWall = -1.0;
    int iFilters = 0;
    bool bTable = false;
    while (std::getline(lines, strLine)) {
        if (strLine.rfind("filter ", 0) == 0) {
            bTable = true;
            continue;
        }
        if (!bTable || strLine.size() < 64 || strLine.rfind("(times", 0) == 0) continue;
        std::istringstream figures(strLine.substr(64));
        int iRuns = 0;
        double dMilliseconds = 0.0;
        ASSERT_TRUE(figures >> iRuns >> dMilliseconds) << strLine;
        if (strLine.rfind("(engine)", 0) == 0) {
            EXPECT_EQ(iRuns, iFrames);
            dEngine = dMilliseconds;
        } else if (strLine.rfind("(wall)", 0) == 0) {
            dWall = dMilliseconds;
        } else {
            dFilters += dMilliseconds * iRuns / iFrames;
            ++iFilters;
        }
    }
    EXPECT_EQ(iFilters, 8) << result.strOutput;
    ASSERT_GE(dEngine, 0.0) << "an engine line\n" << result.strOutput;
    ASSERT_GT(dWall, 0.0) << "a wall line\n" << result.strOutput;
    EXPECT_NEAR(dFilters + dEngine, dWall, 0.0005 * (iFilters + 2)) << result.strOutput;
}

// Files a careless or hostile user might share: exit 1, one message, nothing written, little memory.
TEST_F(OndoRunTest, HostileGraphsAndImagesAreRefusedCheaplyWithoutOutput)
{
    const std::string strTimed = "<Filter type=\"Ctrl.TimingScopeOpenGL\" name=";
    std::string strDeepXml = "<OndoGraph>\n";
    for (int i = 0; i < 60000; ++i) strDeepXml += "<a>";
    const auto Nested = [&](int iScopes) {
        std::string strScopes;
        for (int i = 0; i < iScopes; ++i) strScopes += strTimed + "\"T" + std::to_string(i) + "\"><Scope name=\"Timed Scope\">";
        for (int i = 0; i < iScopes; ++i) strScopes += "</Scope></Filter>";
        return Graph(strScopes + "\n");
    };
    const std::string strSink = "<Filter type=\"Host.ImageSink\" name=\"Save\"><Control label=\"File Name\" "
                                "value=\"out.png\" /></Filter>\n";
    // A 1 MB PNG saying 16384 x 16384.
    Write("bomb.png", OndoTest::ClaimingPng(16384));
    const std::string strLoadBomb = Graph("<Filter type=\"OpenGL.Texture.LoadFromFile\" name=\"Photo\"><Control "
                                          "label=\"File name\" value=\"bomb.png\" /></Filter>\n" + strSink +
                                          "<Connection from=\"Photo\" output=\"OutputTexture\" to=\"Save\" "
                                          "input=\"Texture\" />\n");
    const std::string strOut = " --output-dir " + m_Directory.string();
    const struct {
        std::string strArguments;
        std::string strMessage;
    } cases[] = {
        {Write("deep.xml", strDeepXml) + " --check", "deep.xml:2: elements are nested more than 1000 deep, the limit "
                                                     "(raise it with --limit xml-depth=N)"},
        {Write("deep-scopes.xml", Nested(20000)) + " --check", "deep-scopes.xml:3: elements are nested more than 1000 deep"},
        {Write("scopes.xml", Nested(200)) + " --check",
         "scopes.xml:3: scope \"Timed Scope\" is nested 101 scopes deep, more than the limit of 100 (raise it with "
         "--limit scope-depth=N)"},
        {Write("enclosing.xml", Graph(strTimed + "\"T1\"><Scope name=\"Timed Scope\" id=\"1\">\n" + strTimed +
                                      "\"T2\"><Settings><hScopeTimed ScopeID=\"1\"/></Settings></Filter>\n</Scope>"
                                      "</Filter>\n")) + strOut,
         "enclosing.xml:4: \"T2\" (Ctrl.TimingScopeOpenGL): its settings could not be read: \"hScopeTimed\" names "
         "scope 1 (\"Timed Scope\"), which is not a scope of this filter"},
        {Write("rewired.xml", Graph("<Filter type=\"OpenGL.Texture.LoadFromFile\" name=\"Photo\"><Settings>"
                                    "<hOutTexture PortID=\"55\" /><FileName value=\"\" /><bTextureIsMutable value=\"0\" />"
                                    "<bCreateMipMaps value=\"0\" /></Settings></Filter>\n")) + strOut,
         "rewired.xml:3: \"Photo\" (OpenGL.Texture.LoadFromFile): its settings could not be read: <hOutTexture> names "
         "port 55, which is no port of this filter"},
        {Write("bomb.xml", strLoadBomb) + strOut,
         "\"Photo\" (OpenGL.Texture.LoadFromFile): The image file bomb.png could not be decoded: it claims 16384 x "
         "16384 pixels (268435456), more than the limit of 134217728 (raise it with --limit image-pixels=N)"},
        {Write("bytes.xml", strLoadBomb) + strOut + " --limit image-pixels=1G --limit image-bytes=512M",
         "its pixels would take 1073741824 bytes, more than the limit of 536870912 (raise it with --limit "
         "image-bytes=N)"},
        {Write("up.xml", Graph("<Filter type=\"OpenGL.Texture.MultiSource2D\" name=\"Canvas\"><Input label=\"Width\" value=\"4\" />"
                               "<Input label=\"Height\" value=\"4\" /></Filter>\n" +
                               strSink.substr(0, strSink.find("out.png")) + "../out.png\" /></Filter>\n"
                               "<Connection from=\"Canvas\" output=\"0\" to=\"Save\" input=\"Texture\" />\n")) +
             strOut,
         "lies outside the output folder"},
        {Write("v99.xml", "<OndoGraph version=\"99\"><Scope name=\"Root\"/></OndoGraph>"),
         "v99.xml:1: the document is a graph of version \"99\"; this engine reads version \"1\""},
        // A name saved in Latin-1 would swallow the quote after it once
        // saved as UTF-8.
        {Write("latin1.xml", Graph("<Filter type=\"Host.Constant.Float\" name=\"Gr\xFC\xDF\" />\n")) + " --check",
         "latin1.xml:3: byte 0xFC at column 44 is no UTF-8 (graph files are UTF-8 text)"},
    };
    for (const auto& testCase : cases) {
        const Result result = ExpectRun(testCase.strArguments, 1, testCase.strMessage);
        EXPECT_EQ(std::count(result.strOutput.begin(), result.strOutput.end(), '\n'), 1) << result.strOutput;
        // The bomb decoded would take more than 3 GB.
        EXPECT_LT(result.lPeakKilobytes, 1L << 20) << testCase.strArguments;
    }
    for (const auto& entry : fs::directory_iterator(m_Directory))
        EXPECT_TRUE(entry.path().extension() == ".xml" || entry.path().filename() == "bomb.png") << entry.path();
    EXPECT_FALSE(fs::exists(m_Directory.parent_path() / "out.png"));

    // Links planted where --save-graph and --dot write are replaced, not
    // written through.
    const std::string strGood = Write("good.xml", Graph("<Filter type=\"Host.Constant.Float\" name=\"Gain\" />\n"));
    const fs::path victim = m_Directory / "victim.txt";
    Write("victim.txt", "keep");
    fs::create_symlink(victim, m_Directory / "saved.xml");
    fs::create_symlink(victim, m_Directory / "graph.dot");
    ExpectRun(strGood + " --check --save-graph " + (m_Directory / "saved.xml").string() + " --dot " +
                  (m_Directory / "graph.dot").string(),
              0);
    EXPECT_EQ(Read(victim), "keep");
    EXPECT_FALSE(fs::is_symlink(m_Directory / "saved.xml") || fs::is_symlink(m_Directory / "graph.dot"));
    EXPECT_NE(Read(m_Directory / "graph.dot").find("\"Gain\""), std::string::npos);

    ExpectRun("--limit xml-depth=20000 x.xml", 2, "--limit xml-depth takes a whole number from 1 to 10000");
}

// Loading and ordering grow linearly with the filters (a hundred thousand took minutes when quadratic).
TEST_F(OndoRunTest, AHundredThousandFiltersLoadInSeconds)
{
    std::string strBody;
    for (int i = 0; i < 50000; ++i) {
        const std::string strIndex = std::to_string(i);
        strBody += "<Filter type=\"Host.Constant.Float\" name=\"A" + strIndex + "\" />\n"
                   "<Filter type=\"Host.Camera\" name=\"C" + strIndex + "\" />\n"
                   "<Connection from=\"A" + strIndex + "\" output=\"Value\" to=\"C" + strIndex + "\" input=\"Aspect\" />\n";
    }
    const std::string strGraph = Write("large.xml", Graph(strBody));
    const auto start = std::chrono::steady_clock::now();
    const Result result = RunOndo(strGraph + " --check");
    const double dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(result.iStatus, 0) << result.strOutput;
    // About a second here, ten under the sanitizers.
    EXPECT_LT(dSeconds, 60.0);
}
