// ondo-view in a window (a virtual X server in CI): widget edits change the preview as they say, shader
// files changed on disk are rebuilt or refused with file and line, saving round-trips, the command line.

#include "support/Command.h"

#include "ControlWidgets.h"
#include "Preview.h"
#include "ViewApp.h"
#include "ViewSession.h"

#include "host/FlowGraph/Graph.h"
#include "host/GFX/ImageIO.h"
#include "host/Window/GlfwWindow.h"

#include "Ondo/Core.h"
#include "Ondo/GFX/ImageLoader.h"
#include "Ondo/OpenGL/Device.h"
#include "Ondo/OpenGL/GPUObjects.h"
#include "Ondo/OpenGL/Textures.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using namespace OndoView;

namespace {

const fs::path s_Examples = EXAMPLES_DIR;

fs::path ExecutableDirectory() { return fs::read_symlink("/proc/self/exe").parent_path(); }

std::string ReadText(const fs::path& path)
{
    std::ifstream stream(path);
    return std::string((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
}

void WriteText(const fs::path& path, const std::string& strText) { std::ofstream(path) << strText; }

using Mean = std::array<double, 3>;

// The mean colour of the preview picture in the window's capture.
Mean PreviewMean(const ViewApp& app)
{
    const PixelRect& rect = app.GetPreviewRect();
    const Ondo::GFX::ImageData& capture = app.GetCapture();
    Mean mean{};
    if (rect.m_iWidth <= 0 || rect.m_iHeight <= 0 || capture.m_Pixels.empty()) return mean;
    for (int y = rect.m_iY; y < rect.m_iY + rect.m_iHeight; ++y) {
        const std::size_t uiRow = capture.m_uiHeight - 1 - static_cast<std::size_t>(y);
        for (int x = rect.m_iX; x < rect.m_iX + rect.m_iWidth; ++x)
            for (std::size_t c = 0; c < 3; ++c)
                mean[c] += capture.m_Pixels[(uiRow * capture.m_uiWidth + static_cast<std::size_t>(x)) * 4 + c];
    }
    for (double& dValue : mean) dValue /= static_cast<double>(rect.m_iWidth) * rect.m_iHeight;
    return mean;
}

// An image file as the engine's readers give it.
std::unique_ptr<Ondo::GFX::ImageData> LoadImage(const fs::path& path)
{
    Ondo::Core core;
    Ondo::GFX::RegisterStandardImageReaders(core);
    return Ondo::GFX::ImageLoader::Get(core).Load(path.wstring());
}

// The mean colour of an image file.
Mean FileMean(const fs::path& path)
{
    const auto pImage = LoadImage(path);
    Mean mean{};
    if (!pImage || pImage->m_uiPixelSize != 4) return mean;
    const std::size_t uiCount = pImage->m_Pixels.size() / 4;
    for (std::size_t i = 0; i < uiCount; ++i)
        for (std::size_t c = 0; c < 3; ++c) mean[c] += pImage->m_Pixels[i * 4 + c];
    for (double& dValue : mean) dValue /= static_cast<double>(uiCount);
    return mean;
}

// The preview is the texture scaled into its panel: its mean is the picture's within a few levels.
void ExpectMeanNear(const Mean& actual, const Mean& expected, const char* szWhat)
{
    for (std::size_t c = 0; c < 3; ++c) EXPECT_NEAR(actual[c], expected[c], 3.0) << szWhat << ", channel " << c;
}

const Ondo::Instrumenter::Control& ControlOf(ViewSession& session, const std::string& strItem,
                                             const std::string& strLabel)
{
    const Ondo::Instrumenter::Control* pControl = session.GetGraph().GetInstrumenter(strItem).FindControl(strLabel);
    if (!pControl) throw std::runtime_error(strItem + " has no control " + strLabel);
    return *pControl;
}

class ViewWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_Start = fs::current_path();
        m_Directory = fs::temp_directory_path() / ("ondo-view-" + std::to_string(::getpid()));
        fs::create_directories(m_Directory);
        m_pWindow = std::make_unique<Ondo::Host::GlfwWindow>("ondo-view tests", 1024, 720);
        m_pDevice = std::make_unique<Ondo::OpenGL::Device>(m_pWindow->CreateContext());
    }
    void TearDown() override
    {
        m_pApp.reset();
        m_pSession.reset();
        m_pDevice.reset();
        m_pWindow.reset();
        // A session works in its graph's folder.
        fs::current_path(m_Start);
        fs::remove_all(m_Directory);
    }

    void Open(const fs::path& graph, const std::string& strSaveTo = std::string())
    {
        m_pApp.reset();
        m_pSession.reset();
        ViewOptions options;
        options.m_strGraph = graph.string();
        options.m_strSaveTo = strSaveTo;
        options.m_strPlugin = (ExecutableDirectory() / "Prismvale.so").string();
        options.m_strOutputDirectory = m_Directory.string();
        m_pSession = std::make_unique<ViewSession>(options, *m_pDevice);
        m_pApp = std::make_unique<ViewApp>(*m_pWindow, *m_pSession);
    }

    // Runs a frame and keeps its picture; the graph must have run.
    void Frame()
    {
        m_pApp->Frame(true);
        ASSERT_EQ(m_pSession->GetRunError(), "");
        ASSERT_EQ(m_pApp->GetPreviewProblem(), "");
        ASSERT_GT(m_pApp->GetPreviewRect().m_iWidth, 100);
    }

    fs::path m_Start;
    fs::path m_Directory;
    std::unique_ptr<Ondo::Host::GlfwWindow> m_pWindow;
    std::unique_ptr<Ondo::OpenGL::Device> m_pDevice;
    std::unique_ptr<ViewSession> m_pSession;
    std::unique_ptr<ViewApp> m_pApp;
};

} // namespace

TEST(ViewControls, EveryControlKindHasAWidgetWhoseEditReachesTheRightSetting)
{
    Ondo::Instrumenter instrumenter;
    bool bFlag = false;
    int iCount = 0, iRange = 1, iSlider = 0;
    float fValue = 0.0f;
    std::wstring strFile;
    std::string strName = "plain", strVector = "1 2 3", strView = "shown";
    std::vector<int> chosen;
    int iPressedFirst = 0, iPressedSecond = 0;
    instrumenter.AddText("Some text");
    instrumenter.AddBool("Flag", &bFlag, nullptr);
    instrumenter.AddInt("Count", &iCount, nullptr);
    instrumenter.AddIntRange("Range", &iRange, 1, 9, 2, nullptr);
    instrumenter.AddIntSlider("Slider", &iSlider, 0, 64, 1, nullptr);
    instrumenter.AddFloat("Value", &fValue, nullptr);
    instrumenter.AddChoice("Mode", {"a", "b", "c"}, 0, [&](int i) { chosen.push_back(i); });
    instrumenter.AddFileName("File", &strFile, L"*.png", nullptr);
    instrumenter.AddFileLink("Link", L"/tmp");
    instrumenter.AddStringField("Name", &strName, nullptr);
    instrumenter.AddStringField("Position", &strVector, nullptr);
    instrumenter.AddStringView("View", &strView);
    // Two buttons with one label: the edit must reach the one a person pressed.
    instrumenter.AddButton("Remove", [&] { ++iPressedFirst; });
    const auto idSecond = instrumenter.AddButton("Remove", [&] { ++iPressedSecond; });

    const std::vector<Widget> expected = {Widget::Label,      Widget::Checkbox,  Widget::NumberInt,  Widget::StepperInt,
                                          Widget::SliderInt,  Widget::NumberFloat, Widget::Combo,    Widget::FileField,
                                          Widget::FileLink,   Widget::TextField, Widget::VectorField, Widget::ReadOnly,
                                          Widget::Button,     Widget::Button};
    const auto& controls = instrumenter.GetControls();
    ASSERT_EQ(controls.size(), expected.size());
    for (std::size_t i = 0; i < controls.size(); ++i)
        EXPECT_EQ(WidgetName(WidgetFor(controls[i])), std::string(WidgetName(expected[i]))) << controls[i].m_strLabel;

    auto apply = [&](const ControlEdit& edit) { instrumenter.SetControl(edit.m_Id, edit.m_strText); };
    apply(EditBool("x", controls[1], true));
    apply(EditInt("x", controls[2], -7));
    apply(EditInt("x", controls[3], 6)); // between 5 and 7 on the step grid from 1: rounds up
    apply(EditInt("x", controls[4], 99)); // past the slider's end
    apply(EditFloat("x", controls[5], 0.1f));
    apply(EditChoice("x", controls[6], 2));
    apply(EditText("x", controls[7], "photo.png"));
    apply(EditText("x", controls[9], "renamed"));
    apply(EditVector("x", controls[10], {0.5f, -2.0f, 1e-3f}));
    apply(PressButton("x", *instrumenter.FindControl(idSecond)));
    EXPECT_EQ(std::tie(bFlag, iCount, iRange, iSlider, fValue, iPressedFirst, iPressedSecond),
              std::make_tuple(true, -7, 7, 64, 0.1f, 0, 1));
    EXPECT_EQ(std::tie(chosen, strFile, strName, strVector),
              std::make_tuple(std::vector<int>{2}, std::wstring(L"photo.png"), std::string("renamed"),
                              std::string("0.5 -2 0.001")));
    EXPECT_THROW(apply(EditText("x", controls[11], "edited")), std::invalid_argument) << "a view cannot be edited";
    EXPECT_EQ(strView, "shown");
}

TEST(ViewPreview, KindsOfTexelsBecomeTheColoursTheyStandFor)
{
    using Pixels = std::vector<std::uint8_t>;
    // A cleared background at 1 does not squeeze what is in view.
    const TexelImage depth{3, 1, 1, 0, 0, 1, PreviewKind::Depth, {0.25f, 0.25f, 0.25f, 1, 0.75f, 0.75f, 0.75f, 1, 1, 1, 1, 1}};
    Pixels pixels = ToDisplay(depth, {});
    EXPECT_EQ(Pixels({pixels[0], pixels[4], pixels[8]}), Pixels({0, 255, 255}));

    // Reinhard: 1 -> 1/2 and 3 -> 3/4, then sRGB-encoded; not-a-number shows magenta.
    const TexelImage hdr{2, 1, 1, 0, 0, 4, PreviewKind::Float, {1, 3, 0, 1, std::nanf(""), 0, 0, 1}};
    PreviewSettings settings;
    EXPECT_EQ(ToDisplay(hdr, settings), Pixels({188, 225, 0, 255, 255, 0, 255, 255}));
    settings.m_fExposure = 1.0f; // one stop up: 1 -> 2 -> 2/3
    EXPECT_EQ(ToDisplay(hdr, settings)[0], 213);

    TexelImage integers{2, 1, 1, 0, 0, 4, PreviewKind::Integer, {1000, 500, 0, 1, 250, 0, 0, 1}};
    pixels = ToDisplay(integers, {});
    EXPECT_EQ(Pixels({pixels[0], pixels[1], pixels[4]}), Pixels({255, 128, 64}));

    // Rows are stored bottom-up; the read-out counts y as GL does.
    integers.m_iHeight = 2;
    integers.m_iWidth = 1;
    integers.m_uiChannels = 2;
    EXPECT_EQ(DescribeTexel(integers, 0, 0), "(0, 1) 250 0");
    EXPECT_EQ(DescribeTexel(integers, 0, 1), "(0, 0) 1000 500");
    EXPECT_EQ(DescribeTexel(integers, 1, 0), "");
}

TEST(ViewShaderLog, CompilerLogsOfEveryVendorGiveFileAndLine)
{
    // Mesa, NVIDIA, glslang, and a log that names no line, kept whole.
    const std::pair<const char*, std::vector<std::string>> logs[] = {
        {"0:12(5): error: `x' undeclared\n0:14(1): warning: unused\n",
         {"a.frag:12: error: `x' undeclared", "a.frag:14: warning: unused"}},
        {"0(7) : error C1008: undefined variable \"x\"", {"a.frag:7: error C1008: undefined variable \"x\""}},
        {"ERROR: 0:3: 'x' : undeclared identifier", {"a.frag:3: ERROR: 'x' : undeclared identifier"}},
        {"The shader could not be read: gone\n", {"a.frag: The shader could not be read: gone"}},
    };
    for (const auto& [szLog, expected] : logs) {
        std::vector<std::string> texts;
        for (const ShaderProblem& problem : ParseCompileLog("a.frag", szLog)) texts.push_back(problem.Text());
        EXPECT_EQ(texts, expected) << szLog;
    }
    EXPECT_EQ(ParseCompileLog("a.frag", "0:12(5): error: x\n0:14(1): warning: unused\n").at(1).m_iLine, 14);
}

TEST_F(ViewWindowTest, PreviewReadsTheChosenLayerFaceAndSwizzle)
{
    // A volume whose layer z holds z + 1 in red, a cube map whose face f holds 10 * f, grey stored in red.
    Ondo::OpenGL::TextureObject3D volume;
    glGenTextures(1, &volume.m_uiName);
    glBindTexture(GL_TEXTURE_3D, volume.m_uiName);
    const float layers[3][4] = {{1, 0, 0, 1}, {2, 0, 0, 1}, {3, 0, 0, 1}};
    glTexImage3D(GL_TEXTURE_3D, 0, GL_RGBA32F, 1, 1, 3, 0, GL_RGBA, GL_FLOAT, layers);
    Ondo::OpenGL::TextureObjectCube cube;
    glGenTextures(1, &cube.m_uiName);
    glBindTexture(GL_TEXTURE_CUBE_MAP, cube.m_uiName);
    for (int f = 0; f < 6; ++f) {
        const std::int32_t texel[4] = {10 * f, 0, 0, 0};
        glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + f, 0, GL_RGBA32I, 1, 1, 0, GL_RGBA_INTEGER, GL_INT, texel);
    }
    Ondo::OpenGL::TextureObject2D grey;
    glGenTextures(1, &grey.m_uiName);
    glBindTexture(GL_TEXTURE_2D, grey.m_uiName);
    const std::uint8_t byte = 51;
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_R8, 1, 1, 0, GL_RED, GL_UNSIGNED_BYTE, &byte);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    Ondo::OpenGL::SetSwizzleForLayout(GL_TEXTURE_2D, grey.m_uiName, Ondo::GFX::LayoutGrey);

    PreviewSettings settings;
    settings.m_iLayer = 2;
    settings.m_iFace = 4;
    const TexelImage layer = ReadTexels(volume, settings);
    EXPECT_EQ(layer.m_iDepth, 3);
    EXPECT_EQ(layer.m_eKind, PreviewKind::Float);
    EXPECT_EQ(layer.Texel(0, 0)[0], 3.0f);
    const TexelImage face = ReadTexels(cube, settings);
    EXPECT_EQ(face.m_eKind, PreviewKind::Integer);
    EXPECT_EQ(face.Texel(0, 0)[0], 40.0f);
    const TexelImage greyTexels = ReadTexels(grey, settings);
    EXPECT_EQ(greyTexels.m_eKind, PreviewKind::Normalised);
    for (int c = 0; c < 3; ++c) EXPECT_FLOAT_EQ(greyTexels.Texel(0, 0)[c], 0.2f) << "channel " << c;
    EXPECT_EQ(DescribeTexture(volume), "1 x 1 x 3 RGBA32F");

    const GLuint names[3] = {volume.m_uiName, cube.m_uiName, grey.m_uiName};
    glDeleteTextures(3, names);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(ViewWindowTest, AChoiceMadeThroughItsWidgetChangesThePreviewedPictureAsItSays)
{
    Open(s_Examples / "channel-selection.xml");
    m_pApp->Select("Green as Grey");
    ASSERT_NO_FATAL_FAILURE(Frame());
    const Mean photo = FileMean(s_Examples / "assets/chelsea.png");
    ASSERT_GT(std::fabs(photo[0] - photo[1]), 10.0) << "the test needs a photograph whose red and green differ";
    ExpectMeanNear(PreviewMean(*m_pApp), {photo[1], photo[1], photo[1]}, "green as grey");

    m_pSession->QueueEdit(EditChoice("Green as Grey", ControlOf(*m_pSession, "Green as Grey", "Channel"), 0));
    ASSERT_NO_FATAL_FAILURE(Frame());
    ExpectMeanNear(PreviewMean(*m_pApp), {photo[0], photo[0], photo[0]}, "red as grey");
    EXPECT_EQ(Ondo::Instrumenter::ValueText(ControlOf(*m_pSession, "Green as Grey", "Channel")), "R");

    // Every filter that ran has a row of times.
    std::vector<std::string> timed;
    for (const FilterTimes& filter : m_pSession->GetTimes().GetFilters()) timed.push_back(filter.m_strName);
    std::vector<std::string> items;
    for (const auto* pItem : m_pSession->GetGraph().GetAllItems()) items.push_back(pItem->GetName());
    std::sort(timed.begin(), timed.end());
    std::sort(items.begin(), items.end());
    EXPECT_EQ(timed, items);
    EXPECT_EQ(m_pSession->GetTimes().GetFrameTimes().m_Values.size(), 2u);
}

TEST_F(ViewWindowTest, AChangedShaderFileIsRebuiltAndABrokenOneKeepsTheProgramBefore)
{
    // Shaders come from a copy two levels above the executable, made by the test runner; never the repository's.
    const fs::path shader = ExecutableDirectory() / "../../Content/Shader/TextureAdd/TextureAdd.comp";
    ASSERT_NE(fs::weakly_canonical(shader.parent_path()),
              fs::weakly_canonical(s_Examples.parent_path() / "Content/Shader/TextureAdd"))
        << "run through ctest, which gives the test a copy of the shaders";
    const std::string strOriginal = ReadText(shader);
    const std::string strSum = "Fetch(texA, p) + Fetch(texB, p)";
    ASSERT_NE(strOriginal.find(strSum), std::string::npos);

    Open(s_Examples / "basic.xml");
    ASSERT_EQ(m_pApp->GetSelected(), "Add");
    ASSERT_NO_FATAL_FAILURE(Frame());
    const std::vector<std::string> watched = m_pSession->GetReloader().GetWatchedFiles();
    ASSERT_EQ(watched.size(), 1u);
    EXPECT_EQ(fs::weakly_canonical(watched[0]), fs::weakly_canonical(shader));
    EXPECT_EQ(m_pSession->GetReloader().GetUsers(watched[0], m_pSession->GetGraph()), std::vector<std::string>{"Add"});
    const Mean sum = PreviewMean(*m_pApp);
    const Mean photo = FileMean(s_Examples / "assets/chelsea.png");

    // Edited on disk to pass image A alone: the filter rebuilds, connected as before.
    std::string strEdited = strOriginal;
    strEdited.replace(strEdited.find(strSum), strSum.size(), "Fetch(texA, p)");
    WriteText(shader, strEdited);
    ASSERT_NO_FATAL_FAILURE(Frame());
    ExpectMeanNear(PreviewMean(*m_pApp), photo, "after the edit");
    EXPECT_GT(sum[2] - photo[2], 10.0) << "the gradient brightened the sum";
    EXPECT_TRUE(m_pSession->GetReloader().GetProblems().empty());

    // Broken: the error names the file and the line; the last good program runs on.
    std::string strBroken = strEdited;
    const std::size_t uiAt = strBroken.find("imageStore(");
    strBroken.insert(uiAt, "this is no statement;\n    ");
    const int iLine = 1 + static_cast<int>(std::count(strBroken.begin(), strBroken.begin() + static_cast<std::ptrdiff_t>(uiAt), '\n'));
    WriteText(shader, strBroken);
    ASSERT_NO_FATAL_FAILURE(Frame());
    const std::vector<ShaderProblem> problems = m_pSession->GetReloader().GetProblems();
    ASSERT_FALSE(problems.empty());
    EXPECT_EQ(fs::weakly_canonical(problems[0].m_strFile), fs::weakly_canonical(shader));
    EXPECT_EQ(problems[0].m_iLine, iLine) << problems[0].Text();
    ExpectMeanNear(PreviewMean(*m_pApp), photo, "with the broken file");

    // Only touched (same text, a later time): rebuilt as well, and the error goes.
    WriteText(shader, strOriginal);
    ASSERT_NO_FATAL_FAILURE(Frame());
    ExpectMeanNear(PreviewMean(*m_pApp), sum, "with the first text again");
    fs::last_write_time(shader, fs::last_write_time(shader) + std::chrono::seconds(2));
    ASSERT_NO_FATAL_FAILURE(Frame());
    EXPECT_TRUE(m_pSession->GetReloader().GetProblems().empty());
    std::size_t uiReloads = 0;
    for (const std::string& strMessage : m_pSession->GetLog().GetMessages())
        if (strMessage.rfind("Reloaded ", 0) == 0 && strMessage.find(" for Add") != std::string::npos) ++uiReloads;
    EXPECT_EQ(uiReloads, 3u);
}

TEST_F(ViewWindowTest, SavedEditsLoadAndSaveToTheSameText)
{
    const fs::path first = m_Directory / "first.xml", second = m_Directory / "second.xml";
    Open(s_Examples / "channel-selection.xml", first.string());
    ASSERT_NO_FATAL_FAILURE(Frame());
    m_pSession->QueueEdit(EditChoice("Green as Grey", ControlOf(*m_pSession, "Green as Grey", "Channel"), 2));
    m_pSession->QueueEdit(EditBool("Red and Blue", ControlOf(*m_pSession, "Red and Blue", "Keep G"), true));
    ASSERT_NO_FATAL_FAILURE(Frame());
    m_pApp->SaveGraph();
    EXPECT_EQ(m_pApp->GetStatus(), "Saved " + first.string());

    Open(first, second.string());
    EXPECT_EQ(Ondo::Instrumenter::ValueText(ControlOf(*m_pSession, "Green as Grey", "Channel")), "B");
    EXPECT_EQ(Ondo::Instrumenter::ValueText(ControlOf(*m_pSession, "Red and Blue", "Keep G")), "1");
    ASSERT_NO_FATAL_FAILURE(Frame());
    m_pApp->SaveGraph();
    EXPECT_EQ(ReadText(second), ReadText(first));

    // A folder that cannot be written: the status says so, nothing is lost.
    Open(second, (m_Directory / "no such folder" / "third.xml").string());
    m_pApp->SaveGraph();
    EXPECT_EQ(m_pApp->GetStatus().rfind("Not saved: ", 0), 0u) << m_pApp->GetStatus();
}

namespace {

using Result = OndoTest::CommandResult;

Result RunView(const std::string& strArguments, const std::string& strEnvironment = std::string())
{
    return OndoTest::RunCommand(strEnvironment + " " + (ExecutableDirectory() / "ondo-view").string() + " " +
                                strArguments);
}

} // namespace

TEST(ViewCommandLine, ScreenshotsAfterFramesAndOneLineWithoutADisplay)
{
    const fs::path directory = fs::temp_directory_path() / ("ondo-view-cli-" + std::to_string(::getpid()));
    fs::create_directories(directory);
    const fs::path shot = directory / "window.png";
    const std::string strGraph = (s_Examples / "basic.xml").string();
    Result result = RunView(strGraph + " --frames 2 --size 640x400 --screenshot " + shot.string() + " --output-dir " +
                            directory.string());
    ASSERT_EQ(result.iStatus, 0) << result.strOutput;
    const auto pShot = LoadImage(shot);
    ASSERT_TRUE(pShot);
    EXPECT_EQ(std::make_pair(pShot->m_uiWidth, pShot->m_uiHeight), std::make_pair(640u, 400u));

    // A frame that fails: exit 1 and no picture.
    const fs::path broken = directory / "broken.xml";
    WriteText(broken, "<OndoGraph version=\"1\"><Scope name=\"Root\">"
                      "<Filter type=\"Host.ImageSink\" name=\"Save\"><Control label=\"File Name\" value=\"x.png\" />"
                      "</Filter></Scope></OndoGraph>");
    result = RunView(broken.string() + " --frames 1 --screenshot " + (directory / "none.png").string());
    EXPECT_EQ(result.iStatus, 1) << result.strOutput;
    EXPECT_FALSE(fs::exists(directory / "none.png"));

    EXPECT_EQ(RunView(strGraph + " --screenshot " + shot.string()).iStatus, 2);
    const std::string strMissing = (directory / "missing.xml").string();
    result = RunView(strMissing + " --frames 1");
    EXPECT_EQ(result.iStatus, 1) << result.strOutput;
    EXPECT_NE(result.strOutput.find(strMissing), std::string::npos) << result.strOutput;
    EXPECT_EQ(RunView("--help").iStatus, 0);
    result = RunView(strGraph, "env -u DISPLAY -u WAYLAND_DISPLAY");
    EXPECT_EQ(result.iStatus, 1);
    EXPECT_EQ(std::count(result.strOutput.begin(), result.strOutput.end(), '\n'), 1) << result.strOutput;
    EXPECT_NE(result.strOutput.find("no display"), std::string::npos) << result.strOutput;
    fs::remove_all(directory);
}
