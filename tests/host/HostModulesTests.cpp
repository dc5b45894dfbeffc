// The engine's own modules: constant sources, camera, light source, image sink, printers.

#include "HostTestSupport.h"
#include "support/GLTestEnvironment.h"

#include "host/FlowGraph/Graph.h"
#include "host/FlowGraph/GraphFile.h"
#include "host/FlowGraph/RunContext.h"
#include "host/FlowGraph/ValueText.h"
#include "host/GFX/BackgroundWriter.h"
#include "host/GFX/ImageIO.h"
#include "host/Modules/Camera.h"
#include "host/Modules/HostModules.h"
#include "host/Modules/ImageSink.h"

#include "Ondo/Exceptions.h"
#include "Ondo/FlowGraph/FilterRegistry.h"
#include "Ondo/FlowGraph/ScopeExecuter.h"
#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/FlowGraph/ValuePorts.h"
#include "Ondo/GFX/ImageLoader.h"
#include "Ondo/Logger.h"
#include "Ondo/OpenGL/Textures.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <set>

using namespace Ondo;
using namespace Ondo::FlowGraph;
namespace fs = std::filesystem;

namespace {

// A core with the host modules, readers, a logger and a fresh output folder; filters bound to the test device.
class HostModules : public ::testing::Test {
protected:
    HostModules()
    {
        fs::remove_all(m_Folder);
        m_Core.SetLogger(&m_Logger);
        Host::RegisterHostModules(m_Core);
        GFX::RegisterStandardImageReaders(m_Core);
        RunContext::Get(m_Core).m_strOutputDirectory = m_Folder.string();
    }
    ~HostModules() override
    {
        m_Texture.Release();
        for (auto& pFilter : m_Filters) pFilter->DetachDevice();
        fs::remove_all(m_Folder);
    }

    OpenGL::BaseFilter& Make(const std::string& strType, const std::string& strName = "module")
    {
        auto& pFilter = m_Filters.emplace_back(dynamic_cast<OpenGL::BaseFilter*>(
            FilterRegistry::Get(m_Core).FindFilter(strType)->m_fnFactory(m_Core, strName)));
        pFilter->Initialize();
        pFilter->AttachDevice(OndoTest::TestDevice());
        return *pFilter;
    }
    void Run(Filter& filter) { filter.Execute(m_Executer); }
    Instrumenter& Controls(Filter& filter)
    {
        filter.Instrument(*m_Instrumenters.emplace_back(new Instrumenter));
        return *m_Instrumenters.back();
    }
    template <class T>
    static const T& Value(const Filter& filter, const char* szPort, bool bOutput = true)
    {
        return *PortHandle<SimplePortT<T>>(filter.FindPort(szPort, bOutput))->GetData();
    }
    static bool Changed(const Filter& filter, const char* szPort) { return filter.FindPort(szPort, true)->HasChanged(); }
    // Saves the filter's settings into a fresh document, or reads them from pElement.
    TiXmlElement* Serialize(Filter& filter, TiXmlElement* pElement = nullptr)
    {
        TiXmlDocument* pDocument = pElement ? nullptr : m_Documents.emplace_back(new TiXmlDocument).get();
        if (!pElement) pElement = static_cast<TiXmlElement*>(pDocument->LinkEndChild(new TiXmlElement("Filter")));
        Serialization::Serializer serializer(pDocument, pElement, &m_SaveInfo);
        filter.Serialize(serializer);
        return pElement;
    }
    // Edits a constant's "Value" (unless the text is empty), runs it and compares what it publishes.
    template <class T>
    void ExpectConstant(const std::string& strType, const std::string& strText, const T& expected)
    {
        Filter& constant = Make("Host.Constant." + strType, strType);
        if (!strText.empty()) Controls(constant).SetControl("Value", strText);
        Run(constant);
        EXPECT_TRUE(Value<T>(constant, "Value") == expected) << strType << " from \"" << strText << "\"";
    }

    fs::path m_Folder = fs::temp_directory_path() / ("ondo-sink-" + std::to_string(::getpid()));
    Core m_Core;
    CollectingLogger m_Logger;
    ScopeExecuter m_Executer;
    Serialization::SaveInfo m_SaveInfo;
    std::vector<std::shared_ptr<OpenGL::BaseFilter>> m_Filters;
    std::vector<std::unique_ptr<Instrumenter>> m_Instrumenters;
    std::vector<std::unique_ptr<TiXmlDocument>> m_Documents;
    OpenGL::TextureObject2D m_Texture;
};

} // namespace

TEST_F(HostModules, ConstantsCoverEveryTextTypeAndPublishTheirParsedValue)
{
    std::set<std::string> published;
    for (const std::string& strName : FilterRegistry::Get(m_Core).GetFilterNames())
        if (strName.rfind("Host.Constant.", 0) == 0)
            published.insert(Make(strName).FindPort("Value", true)->GetTransportedType());
    const auto& types = GetTextTypeNames();
    EXPECT_EQ(published, std::set<std::string>(types.begin(), types.end()));

    ExpectConstant("Float", "2.5", 2.5f);
    ExpectConstant("Int", "-7", -7);
    ExpectConstant("Vector2f", "1 2", Vector2f(1, 2));
    ExpectConstant("Vector3f", "1, 2, 3", Vector3f(1, 2, 3));
    ExpectConstant("Vector4f", "1 2 3 -4", Vector4f(1, 2, 3, -4));
    ExpectConstant("Vector2i", "3 -4", Vector2i(3, -4));
    ExpectConstant("Matrix44f", "", Matrix44f::Identity());
    ExpectConstant("Matrix44f", "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16",
                   Matrix44f::FromRows({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));
    ExpectConstant("String", "two words", std::string("two words"));
    ExpectConstant("FloatArray", "", std::vector<float>());
    ExpectConstant("FloatArray", "1; 2; 3.5", std::vector<float>{1.0f, 2.0f, 3.5f});
    ExpectConstant("Vector3fArray", "1 2 3, 4 5 6", std::vector<Vector3f>{{1, 2, 3}, {4, 5, 6}});
    ExpectConstant("Vector4fArray", "1 2 3 4", std::vector<Vector4f>{{1, 2, 3, 4}});
}

TEST_F(HostModules, ConstantsMarkChangesRefuseBadTextAndRoundTrip)
{
    // A number and a text control: first run, idle, edit, idle, read back.
    Filter* pConstant = nullptr;
    Instrumenter* pControls = nullptr;
    for (const auto& [strType, strEdit] : {std::pair{"Float", "3"}, std::pair{"Vector3f", "1 2 3"}}) {
        pConstant = &Make(std::string("Host.Constant.") + strType, "vec");
        pControls = &Controls(*pConstant);
        std::vector<bool> flags;
        for (int iStep = 0; iStep < 5; ++iStep) {
            if (iStep == 2) pControls->SetControl("Value", strEdit);
            if (iStep == 4) Serialize(*pConstant, Serialize(*pConstant));
            Run(*pConstant);
            flags.push_back(Changed(*pConstant, "Value"));
        }
        EXPECT_EQ(flags, (std::vector<bool>{true, false, true, false, true})) << strType;
    }
    // Text that does not parse is refused, naming the control; the old value stays.
    const std::string strRefusal = OndoTest::Thrown<std::invalid_argument>([&] { pControls->SetControl("Value", "1 2"); });
    EXPECT_EQ(strRefusal.rfind("\"Value\" does not take \"1 2\": ", 0), 0u) << strRefusal;
    EXPECT_EQ(Instrumenter::ValueText(*pControls->FindControl("Value")), "1 2 3") << "the editor shows the old value";
    Run(*pConstant);
    EXPECT_EQ(std::make_pair(Changed(*pConstant, "Value"), Value<Vector3f>(*pConstant, "Value")),
              std::make_pair(false, Vector3f(1, 2, 3)));

    TiXmlElement* pSaved = Serialize(*pConstant);
    Filter& copy = Make("Host.Constant.Vector3f", "copy");
    Serialize(copy, pSaved);
    pSaved->FirstChildElement("strValue")->SetAttribute("value", "4 5");
    EXPECT_THROW(Serialize(copy, pSaved), ExceptionParsing);
    Run(copy);
    EXPECT_EQ(Value<Vector3f>(copy, "Value"), Vector3f(1, 2, 3)) << "read, then a bad document kept out";
}

TEST_F(HostModules, CameraMatricesMatchThoseComputedHereAndFollowTheAspectInput)
{
    Filter& camera = Make("Host.Camera", "cam");
    const auto ExpectMatrix = [&camera](const char* szPort, const Matrix44f& expected) {
        for (std::size_t i = 0; i < 16; ++i)
            EXPECT_NEAR(Value<Matrix44f>(camera, szPort).data()[i], expected.data()[i], 1e-5f) << szPort << ", " << i;
    };
    // OpenGL's projection for near 0.1 and far 100; the eye (0, 0, 5) looks at the origin.
    const auto Projection = [](double dFovY, float fAspect) {
        const float c = static_cast<float>(1.0 / std::tan(dFovY * M_PI / 360.0)), n = 0.1f, f = 100.0f;
        return Matrix44f::FromRows(
            {c / fAspect, 0, 0, 0, 0, c, 0, 0, 0, 0, (f + n) / (n - f), 2 * f * n / (n - f), 0, 0, -1, 0});
    };
    const Matrix44f view = Matrix44f::FromRows({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, -5, 0, 0, 0, 1});
    Run(camera);
    ExpectMatrix("View Matrix", view);
    ExpectMatrix("Projection Matrix", Projection(45, 1));
    ExpectMatrix("View Projection", Projection(45, 1) * view);

    float fAspect = 2.0f;
    PortHandle<SimplePortT<float>>(camera.FindPort("Aspect", false))->SetData(&fAspect, true);
    Run(camera);
    ExpectMatrix("View Projection", Projection(45, 2) * view);
    EXPECT_TRUE(Changed(camera, "Projection Matrix") && !Changed(camera, "View Matrix"));
    fAspect = -1.0f;
    PortHandle<SimplePortT<float>>(camera.FindPort("Aspect", false))->SetData(&fAspect, true);
    Run(camera);
    EXPECT_EQ(m_Core.GetErrors(), std::vector<std::string>{"\"Aspect\" is -1.000000, which is no aspect ratio; the "
                                                           "setting would be used"});

    // Edits that give no camera are refused and leave it as it was.
    EXPECT_THROW(Controls(camera).SetControl("Target", "0 0 5"), std::invalid_argument);
    EXPECT_THROW(Controls(camera).SetControl("Up", "0 1"), std::invalid_argument);
    Run(camera);
    ExpectMatrix("View Matrix", view);

    // An oblique eye goes to the origin, the target onto -z and a point above it straight up.
    const Matrix44f oblique = Host::LookAt(Vector3f(3, 4, 5), Vector3f(1, 0, -2), Vector3f(0, 1, 0));
    EXPECT_NEAR((oblique * Vector4f(3, 4, 5, 1) - Vector4f(0, 0, 0, 1)).Length(), 0.0f, 1e-5f);
    EXPECT_NEAR((oblique * Vector4f(1, 0, -2, 1) - Vector4f(0, 0, -std::sqrt(69.0f), 1)).Length(), 0.0f, 1e-5f);
    const Vector4f above = oblique * Vector4f(3, 5, 5, 1);
    EXPECT_TRUE(std::abs(above.x()) < 1e-5f && above.y() > 0.0f) << above.x() << ", " << above.y();
}

TEST_F(HostModules, LightSourcePublishesItsEditedFields)
{
    Filter& light = Make("Host.LightSource", "light");
    Instrumenter& controls = Controls(light);
    for (const auto& [szLabel, szText] :
         {std::pair{"Type", "Spot"}, {"Position", "1 2 3 1"}, {"Color", "0.5 0.25 1 1"}, {"Attenuation", "1 0.1 0.01"},
          {"Spot Cutoff", "30"}, {"Spot Direction", "0 -1 0"}})
        controls.SetControl(szLabel, szText);
    EXPECT_THROW(controls.SetControl("Spot Cutoff", "120"), std::invalid_argument) << "a cut-off past 90 is refused";
    EXPECT_THROW(controls.SetControl("Color", "red"), std::invalid_argument);
    Run(light);
    const auto& l = Value<GFX::LightSource>(light, "Light Source");
    EXPECT_EQ(std::tie(l.m_iLightType, l.m_fSpotCutoff), std::make_tuple(GFX::LightSource::Spot, 30.0f));
    EXPECT_EQ(std::tie(l.m_vPosition, l.m_vColor), std::make_tuple(Vector4f(1, 2, 3, 1), Vector4f(0.5f, 0.25f, 1, 1)));
    EXPECT_EQ(std::tie(l.m_vAttenuation, l.m_vSpotDirection),
              std::make_tuple(Vector3f(1, 0.1f, 0.01f), Vector3f(0, -1, 0)));
}

TEST_F(HostModules, SinkWritesPngAndExrUnderTheOutputFolderNamedByFrame)
{
    const std::vector<std::uint8_t> rgba = {0, 10, 20, 255, 40, 50, 60, 128, 80, 90, 100, 0, 250, 251, 252, 253};
    GFX::ImageData image;
    image.m_iImageFormat = GFX::FormatRGBA8;
    image.m_uiWidth = image.m_uiHeight = 2;
    image.m_Pixels = rgba;
    auto& sink = dynamic_cast<Host::FilterImageSink&>(Make("Host.ImageSink", "sink"));
    m_Texture.m_uiName = OpenGL::LoadTexture2D(image, false, false);
    PortHandle<SimplePortT<OpenGL::TextureObject2D>>(sink.FindPort("Texture", false))->SetData(&m_Texture, true);
    Instrumenter& controls = Controls(sink);
    for (const auto& [strName, uiFrame, strWritten] :
         {std::tuple<std::string, std::uint64_t, std::string>{"shots/frame_{frame}.png", 7, "shots/frame_0007.png"},
          {"out_{frame}.EXR", 12345, "out_12345.EXR"}}) {
        SCOPED_TRACE(strWritten);
        controls.SetControl("File Name", strName);
        RunContext::Get(m_Core).m_uiFrame = uiFrame;
        Run(sink);
        EXPECT_EQ(sink.GetLastWrittenPath(), (m_Folder / strWritten).string());
        const auto pRead = GFX::ImageLoader::Get(m_Core).Load((m_Folder / strWritten).wstring());
        ASSERT_NE(pRead, nullptr);
        const bool bFloat = pRead->m_iComponentType == GFX::ComponentFloat32;
        ASSERT_EQ(pRead->m_Pixels.size(), rgba.size() * (bFloat ? 4 : 1));
        for (std::size_t i = 0; i < rgba.size(); ++i) {
            float fValue = pRead->m_Pixels[i] / 255.0f;
            if (bFloat) std::memcpy(&fValue, pRead->m_Pixels.data() + i * sizeof(float), sizeof(float));
            EXPECT_NEAR(fValue, rgba[i] / 255.0f, 1e-6f) << "rows come back in the texture's order, " << i;
        }
    }
    controls.SetControl("File Name", "pic.bmp");
    const std::string strError = OndoTest::Thrown([&] { Run(sink); });
    EXPECT_NE(strError.find("cannot write \"pic.bmp\""), std::string::npos) << strError;
    EXPECT_FALSE(fs::exists(m_Folder / "pic.bmp"));

    // Names that leave the output folder, by "..", by an absolute path or
    // through a link inside it, are refused unless writing anywhere is allowed.
    const fs::path outside = m_Folder.parent_path() / "sink-outside";
    fs::create_directories(outside);
    fs::create_directory_symlink(outside, m_Folder / "link");
    for (const std::string& strName : std::vector<std::string>{"../sink-outside/a.png", (outside / "b.png").string(),
                                                                "link/c.png", "shots/../../d.png"}) {
        controls.SetControl("File Name", strName);
        const std::string strRefused = OndoTest::Thrown([&] { Run(sink); });
        EXPECT_NE(strRefused.find("lies outside the output folder"), std::string::npos) << strRefused;
    }
    EXPECT_TRUE(fs::is_empty(outside));
    RunContext::Get(m_Core).m_bWriteAnywhere = true;
    Run(sink);
    EXPECT_TRUE(fs::exists(m_Folder / "../d.png"));
    RunContext::Get(m_Core).m_bWriteAnywhere = false;
    fs::remove_all(outside);
    fs::remove(m_Folder / "../d.png");
    controls.SetControl("File Name", "pic.bmp");

    // A texture that is not there is an error of the run, not a quiet frame.
    m_Texture.Release();
    Run(sink);
    EXPECT_EQ(m_Core.GetErrors(),
              std::vector<std::string>{"\"Texture\" carries no texture; nothing was written to \"pic.bmp\""});
}

// In a batch, names follow the batch's current file (refused outside one); given a background writer, the
// sink queues the picture there and the writer tells what became of it.
TEST_F(HostModules, SinkNamesFilesAfterTheBatchFileAndQueuesThemOnABackgroundWriter)
{
    GFX::ImageData image;
    image.m_iImageFormat = GFX::FormatRGBA8;
    image.m_uiWidth = 2;
    image.m_uiHeight = 1;
    image.m_Pixels = {10, 20, 30, 255, 40, 50, 60, 255};
    auto& sink = dynamic_cast<Host::FilterImageSink&>(Make("Host.ImageSink", "Save"));
    m_Texture.m_uiName = OpenGL::LoadTexture2D(image, false, false);
    PortHandle<SimplePortT<OpenGL::TextureObject2D>>(sink.FindPort("Texture", false))->SetData(&m_Texture, true);
    Instrumenter& controls = Controls(sink);
    RunContext& run = RunContext::Get(m_Core);

    controls.SetControl("File Name", "out/{stem}.png");
    const std::string strError = OndoTest::Thrown([&] { Run(sink); });
    EXPECT_NE(strError.find("\"out/{stem}.png\": {name} and {stem} stand for the current file of a batch"),
              std::string::npos)
        << strError;

    run.m_strBatchFile = "/photos/IMG_7.jpeg";
    run.m_uiFrame = 3;
    GFX::BackgroundWriter writer(1, 1);
    run.m_pWriter = &writer;
    fs::create_directories(m_Folder / "taken.png");
    for (const char* szName : {"{stem}-{frame}.png", "{name}.png", "taken.png"}) {
        controls.SetControl("File Name", szName);
        Run(sink);
    }
    writer.Finish();
    run.m_pWriter = nullptr;
    run.m_strBatchFile.clear();
    const std::vector<GFX::BackgroundWriter::Outcome> outcomes = writer.TakeOutcomes();
    ASSERT_EQ(outcomes.size(), 3u);
    EXPECT_EQ(outcomes[0].m_strPath, (m_Folder / "IMG_7-0003.png").string());
    EXPECT_EQ(outcomes[1].m_strPath, (m_Folder / "IMG_7.jpeg.png").string());
    EXPECT_EQ(outcomes[0].m_strWho + outcomes[0].m_strError + outcomes[1].m_strError, "Save");
    EXPECT_NE(outcomes[2].m_strError.find("Could not write the image file " + (m_Folder / "taken.png").string()),
              std::string::npos)
        << outcomes[2].m_strError;
    const auto pRead = GFX::ImageLoader::Get(m_Core).Load((m_Folder / "IMG_7-0003.png").wstring());
    ASSERT_NE(pRead, nullptr);
    EXPECT_EQ(pRead->m_Pixels, image.m_Pixels);
}

// Integer textures go to PNG as their values, not clamped colours; those PNG cannot hold are refused.
TEST_F(HostModules, SinkWritesUnsignedIntegerTexturesAsTheirValuesAndRefusesSignedOnes)
{
    auto& sink = dynamic_cast<Host::FilterImageSink&>(Make("Host.ImageSink", "sink"));
    const PortHandle<SimplePortT<OpenGL::TextureObject2D>> hIn(sink.FindPort("Texture", false));
    Instrumenter& controls = Controls(sink);
    const std::vector<std::uint32_t> values = {0, 1, 7, 128, 254, 255, 300, 40000, 65535};
    struct Case {
        GLenum eFormat, eType;
        std::uint32_t uiLimit;
        std::int32_t iReadFormat;
    };
    for (const Case& k : {Case{GL_R8UI, GL_UNSIGNED_BYTE, 255, GFX::FormatR8},
                          Case{GL_R16UI, GL_UNSIGNED_SHORT, 65535, GFX::FormatR16},
                          Case{GL_RGBA8UI, GL_UNSIGNED_BYTE, 255, GFX::FormatRGBA8}}) {
        const std::size_t uiChannels = k.eFormat == GL_RGBA8UI ? 4 : 1;
        std::vector<std::uint32_t> texels;
        for (std::uint32_t v : values)
            if (v <= k.uiLimit)
                for (std::uint32_t c = 0; c < uiChannels; ++c) texels.push_back(c % 2 == 0 ? v >> c : k.uiLimit - v);
        const auto iWidth = static_cast<GLsizei>(texels.size() / uiChannels);
        m_Texture.Release();
        glGenTextures(1, &m_Texture.m_uiName);
        glBindTexture(GL_TEXTURE_2D, m_Texture.m_uiName);
        glTexStorage2D(GL_TEXTURE_2D, 1, k.eFormat, iWidth, 1);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, iWidth, 1, uiChannels == 4 ? GL_RGBA_INTEGER : GL_RED_INTEGER,
                        GL_UNSIGNED_INT, texels.data());
        glBindTexture(GL_TEXTURE_2D, 0);
        hIn->SetData(&m_Texture, true);
        controls.SetControl("File Name", "slice.png");
        Run(sink);
        const auto pRead = GFX::ImageLoader::Get(m_Core).Load((m_Folder / "slice.png").wstring());
        ASSERT_NE(pRead, nullptr);
        EXPECT_EQ(pRead->m_iImageFormat, k.iReadFormat);
        std::vector<std::uint32_t> read;
        for (std::size_t i = 0; i < texels.size(); ++i) {
            std::uint16_t uiValue = pRead->m_Pixels[i];
            if (k.eType == GL_UNSIGNED_SHORT) std::memcpy(&uiValue, pRead->m_Pixels.data() + 2 * i, 2);
            read.push_back(uiValue);
        }
        EXPECT_EQ(read, texels) << "format " << k.eFormat;
    }

    // Signed or 32-bit integers have no exact PNG form; OpenEXR takes them.
    for (const GLenum eFormat : {GL_R16I, GL_R32UI}) {
        m_Texture.Release();
        glGenTextures(1, &m_Texture.m_uiName);
        glBindTexture(GL_TEXTURE_2D, m_Texture.m_uiName);
        glTexStorage2D(GL_TEXTURE_2D, 1, eFormat, 2, 2);
        glBindTexture(GL_TEXTURE_2D, 0);
        hIn->SetData(&m_Texture, true);
        controls.SetControl("File Name", "signed.png");
        const std::string strError = OndoTest::Thrown([&] { Run(sink); });
        EXPECT_NE(strError.find("cannot write \"signed.png\": PNG holds unsigned values of 8 and 16 bits"),
                  std::string::npos)
            << strError;
        EXPECT_FALSE(fs::exists(m_Folder / "signed.png"));
        controls.SetControl("File Name", "signed.exr");
        Run(sink);
        EXPECT_TRUE(fs::exists(m_Folder / "signed.exr"));
    }
}

// A printer writes "NAME: TEXT", "{value}" replaced, each frame or after a change; no value is an error.
TEST_F(HostModules, PrintersLogTheirValueInTheirText)
{
    const std::string strGraph =
        "<?xml version=\"1.0\" ?>\n<OndoGraph version=\"1\"><Scope name=\"Root\">\n"
        "<Filter type=\"Host.Constant.Vector3f\" name=\"V\"><Control label=\"Value\" value=\"1 2.5 -3\"/></Filter>\n"
        "<Filter type=\"Host.Print.Vector3f\" name=\"Show\">"
        "<Control label=\"Text\" value=\"v = {value}; again {value}\"/></Filter>\n"
        "<Filter type=\"Host.Print.Float\" name=\"Once\"><Control label=\"Only When Changed\" value=\"1\"/>"
        "<Input label=\"Value\" value=\"0.25\"/></Filter>\n"
        "<Connection from=\"V\" output=\"Value\" to=\"Show\" input=\"Value\"/>\n"
        "</Scope></OndoGraph>\n";
    const std::unique_ptr<Graph> pGraph = LoadGraphFromText(m_Core, &OndoTest::TestDevice(), strGraph, "print.xml");
    m_Logger.Clear();
    pGraph->RunFrame(m_Executer);
    pGraph->RunFrame(m_Executer);
    std::vector<std::string> lines = m_Logger.GetMessages();
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{"Once: 0.25\n", "Show: v = 1 2.5 -3; again 1 2.5 -3\n",
                                               "Show: v = 1 2.5 -3; again 1 2.5 -3\n"}));

    Filter& printer = Make("Host.Print.Int", "Lonely");
    Run(printer);
    EXPECT_EQ(m_Core.GetErrors(), std::vector<std::string>{"\"Value\" carries no value to print"});
}
