// The engine's own modules: constant sources, camera, light source, image sink.

#include "support/GLTestEnvironment.h"

#include "host/FlowGraph/RunContext.h"
#include "host/FlowGraph/ValueText.h"
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
#include <deque>
#include <filesystem>
#include <set>

using namespace Ondo;
using namespace Ondo::FlowGraph;
namespace fs = std::filesystem;

namespace {

template <class T>
SimplePortT<T>& PortOf(const Filter& filter, const std::string& strLabel, bool bOutput = true)
{
    return *PortHandle<SimplePortT<T>>(filter.FindPort(strLabel, bOutput));
}

// A core with the host modules and a logger. Filters come from the registry,
// bound to the test device (and unbound afterwards).
class HostModules : public ::testing::Test {
protected:
    HostModules()
    {
        m_Core.SetLogger(&m_Logger);
        Host::RegisterHostModules(m_Core);
    }
    ~HostModules() override
    {
        for (auto& pFilter : m_Filters) pFilter->DetachDevice();
    }

    OpenGL::BaseFilter& Make(const std::string& strType, const std::string& strName = "module")
    {
        const FilterDescriptor* pDescriptor = FilterRegistry::Get(m_Core).FindFilter(strType);
        if (!pDescriptor) throw std::runtime_error(strType + " is not registered");
        m_Filters.emplace_back(dynamic_cast<OpenGL::BaseFilter*>(pDescriptor->m_fnFactory(m_Core, strName)));
        m_Filters.back()->Initialize();
        m_Filters.back()->AttachDevice(OndoTest::TestDevice());
        return *m_Filters.back();
    }
    void Run(Filter& filter) { filter.Execute(m_Executer); }
    Instrumenter& Controls(Filter& filter)
    {
        filter.Instrument(*m_Instrumenters.emplace_back(std::make_unique<Instrumenter>()));
        return *m_Instrumenters.back();
    }
    // The filter's settings saved into a fresh document.
    TiXmlElement* Save(Filter& filter)
    {
        TiXmlDocument& document = *m_Documents.emplace_back(std::make_unique<TiXmlDocument>());
        auto* pElement = static_cast<TiXmlElement*>(document.LinkEndChild(new TiXmlElement("Filter")));
        Serialization::Serializer writer(&document, pElement, &m_SaveInfo);
        filter.Serialize(writer);
        return pElement;
    }
    void Load(Filter& filter, TiXmlElement* pElement)
    {
        Serialization::Serializer reader(nullptr, pElement, &m_SaveInfo);
        filter.Serialize(reader);
    }
    // Edits a constant's "Value" (unless the text is empty), runs it and
    // compares what it publishes.
    template <class T>
    void ExpectConstant(const std::string& strType, const std::string& strText, const T& expected)
    {
        Filter& constant = Make("Host.Constant." + strType, strType);
        if (!strText.empty()) Controls(constant).SetControl("Value", strText);
        Run(constant);
        const T* pValue = PortOf<T>(constant, "Value").GetData();
        ASSERT_NE(pValue, nullptr) << strType;
        EXPECT_TRUE(*pValue == expected) << strType << " from \"" << strText << "\"";
    }

    Core m_Core;
    CollectingLogger m_Logger;
    ScopeExecuter m_Executer;
    Serialization::SaveInfo m_SaveInfo;
    std::vector<std::shared_ptr<OpenGL::BaseFilter>> m_Filters;
    std::vector<std::unique_ptr<Instrumenter>> m_Instrumenters;
    std::vector<std::unique_ptr<TiXmlDocument>> m_Documents;
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
    // A number control and a text control: first run, idle, edit, idle, read.
    for (const auto& [strType, strEdit] : {std::pair{"Float", "3"}, std::pair{"Vector3f", "3 3 3"}}) {
        Filter& constant = Make(std::string("Host.Constant.") + strType, "c");
        Instrumenter& controls = Controls(constant);
        std::vector<bool> flags;
        for (int iStep = 0; iStep < 5; ++iStep) {
            if (iStep == 2) controls.SetControl("Value", strEdit);
            if (iStep == 4) Load(constant, Save(constant));
            Run(constant);
            flags.push_back(constant.FindPort("Value", true)->HasChanged());
        }
        EXPECT_EQ(flags, (std::vector<bool>{true, false, true, false, true})) << strType;
    }

    Filter& vector = Make("Host.Constant.Vector3f", "vec");
    Instrumenter& controls = Controls(vector);
    controls.SetControl("Value", "1 2 3");
    Run(vector);
    controls.SetControl("Value", "1 2");
    ASSERT_EQ(m_Logger.GetMessages().size(), 1u);
    EXPECT_EQ(m_Logger.GetMessages()[0].rfind("vec: ", 0), 0u) << m_Logger.GetMessages()[0];
    EXPECT_EQ(Instrumenter::ValueText(*controls.FindControl("Value")), "1 2 3") << "the editor shows the old value";
    Run(vector);
    EXPECT_FALSE(vector.FindPort("Value", true)->HasChanged());
    EXPECT_EQ(*PortOf<Vector3f>(vector, "Value").GetData(), Vector3f(1, 2, 3));

    TiXmlElement* pSaved = Save(vector);
    EXPECT_STREQ(pSaved->FirstChildElement("strValue")->Attribute("value"), "1 2 3");
    Filter& copy = Make("Host.Constant.Vector3f", "copy");
    Load(copy, pSaved);
    Run(copy);
    EXPECT_EQ(*PortOf<Vector3f>(copy, "Value").GetData(), Vector3f(1, 2, 3));
    pSaved->FirstChildElement("strValue")->SetAttribute("value", "4 5");
    EXPECT_THROW(Load(copy, pSaved), ExceptionParsing);
    Run(copy);
    EXPECT_EQ(*PortOf<Vector3f>(copy, "Value").GetData(), Vector3f(1, 2, 3)) << "a bad document keeps the value";
}

TEST_F(HostModules, CameraMatchesLookAtAndPerspectiveComputedHere)
{
    Filter& camera = Make("Host.Camera", "cam");
    Run(camera);
    const Matrix44f& view = *PortOf<Matrix44f>(camera, "View Matrix").GetData();
    const Matrix44f& viewProjection = *PortOf<Matrix44f>(camera, "View Projection").GetData();
    EXPECT_EQ(*PortOf<Vector3f>(camera, "Eye Position").GetData(), Vector3f(0, 0, 5));
    // Eye (0, 0, 5) looking at the origin: no rotation, the world moves back by 5.
    const Matrix44f expected = Matrix44f::FromRows({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, -5, 0, 0, 0, 1});
    for (std::size_t i = 0; i < 16; ++i) EXPECT_NEAR(view.data()[i], expected.data()[i], 1e-6f) << i;

    // A point d in front of the eye on its axis lands at the depth the
    // perspective divide gives for near 0.1 and far 100; x scales by cot(22.5°)
    // over the distance.
    const double n = 0.1, f = 100.0;
    for (double d : {0.1, 1.0, 10.0, 100.0}) {
        const Vector4f clip = viewProjection * Vector4f(0.0f, 0.0f, static_cast<float>(5.0 - d), 1.0f);
        EXPECT_NEAR(clip.z() / clip.w(), (f + n) / (f - n) - 2.0 * f * n / ((f - n) * d), 1e-4) << "d = " << d;
        EXPECT_NEAR(clip.w(), d, 1e-5);
    }
    const Vector4f side = viewProjection * Vector4f(1.0f, 0.0f, 0.0f, 1.0f);
    EXPECT_NEAR(side.x() / side.w(), 1.0 / std::tan(22.5 * M_PI / 180.0) / 5.0, 1e-5);

    // An oblique camera: the eye goes to the origin, the target onto -z at
    // its distance, and a point above the eye straight up on screen.
    const Vector3f eye(3, 4, 5), target(1, 0, -2);
    const Matrix44f oblique = Host::LookAt(eye, target, Vector3f(0, 1, 0));
    EXPECT_NEAR((oblique * Vector4f(3, 4, 5, 1) - Vector4f(0, 0, 0, 1)).Length(), 0.0f, 1e-5f);
    EXPECT_NEAR((oblique * Vector4f(1, 0, -2, 1) - Vector4f(0, 0, -(target - eye).Length(), 1)).Length(), 0.0f, 1e-5f);
    const Vector4f above = oblique * Vector4f(3, 5, 5, 1);
    EXPECT_NEAR(above.x(), 0.0f, 1e-5f);
    EXPECT_GT(above.y(), 0.0f);
}

TEST_F(HostModules, CameraTakesTheAspectInputEditsAndSettings)
{
    Filter& camera = Make("Host.Camera", "cam");
    auto& projection = PortOf<Matrix44f>(camera, "Projection Matrix");
    auto& aspectIn = PortOf<float>(camera, "Aspect", false);
    auto& view = PortOf<Matrix44f>(camera, "View Matrix");
    auto& viewProjection = PortOf<Matrix44f>(camera, "View Projection");
    Run(camera);
    const float fFocal = (*projection.GetData())(1, 1);
    EXPECT_NEAR((*projection.GetData())(0, 0), fFocal, 1e-6f);

    float fAspect = 2.0f;
    aspectIn.SetData(&fAspect, true);
    Run(camera);
    EXPECT_NEAR((*projection.GetData())(0, 0), fFocal / 2.0f, 1e-6f);
    EXPECT_TRUE(projection.HasChanged());
    EXPECT_FALSE(view.HasChanged());
    Run(camera);
    EXPECT_FALSE(projection.HasChanged());
    aspectIn.SetData(nullptr, false);

    Instrumenter& controls = Controls(camera);
    controls.SetControl("Eye", "0 0 -5");
    controls.SetControl("Field of View Y", "90");
    controls.SetControl("Target", "0 0 -5");
    controls.SetControl("Near", "0");
    EXPECT_EQ(m_Logger.GetMessages().size(), 2u) << "eye on target and near 0 are refused";
    Run(camera);
    EXPECT_TRUE(view.HasChanged() && viewProjection.HasChanged());
    EXPECT_NEAR((*projection.GetData())(1, 1), 1.0f, 1e-6f);
    EXPECT_NEAR((*view.GetData())(0, 0), -1.0f, 1e-6f) << "turned around";

    Filter& copy = Make("Host.Camera", "copy");
    Load(copy, Save(camera));
    Run(copy);
    EXPECT_EQ(*PortOf<Matrix44f>(copy, "View Projection").GetData(), *viewProjection.GetData());
}

TEST_F(HostModules, LightSourcePublishesEditedFieldsAndRoundTrips)
{
    Filter& light = Make("Host.LightSource", "light");
    auto& out = PortOf<GFX::LightSource>(light, "Light Source");
    Run(light);
    EXPECT_TRUE(out.HasChanged());
    Run(light);
    EXPECT_FALSE(out.HasChanged());

    Instrumenter& controls = Controls(light);
    for (const auto& [strLabel, strText] :
         {std::pair{"Type", "Spot"}, {"Position", "1 2 3 1"}, {"Color", "0.5 0.25 1 1"}, {"Attenuation", "1 0.1 0.01"},
          {"Spot Cutoff", "30"}, {"Spot Direction", "0 -1 0"}})
        controls.SetControl(strLabel, strText);
    controls.SetControl("Spot Cutoff", "120");
    EXPECT_EQ(m_Logger.GetMessages().size(), 1u) << "a cut-off past 90 is refused";

    Filter& copy = Make("Host.LightSource", "copy");
    Load(copy, Save(light));
    for (Filter* pLight : {static_cast<Filter*>(&light), static_cast<Filter*>(&copy)}) {
        Run(*pLight);
        auto& port = PortOf<GFX::LightSource>(*pLight, "Light Source");
        EXPECT_TRUE(port.HasChanged()) << pLight->GetName();
        const GFX::LightSource& edited = *port.GetData();
        EXPECT_EQ(edited.m_iLightType, GFX::LightSource::Spot);
        EXPECT_EQ(edited.m_vPosition, Vector4f(1, 2, 3, 1));
        EXPECT_EQ(edited.m_vColor, Vector4f(0.5f, 0.25f, 1, 1));
        EXPECT_EQ(edited.m_vAttenuation, Vector3f(1, 0.1f, 0.01f));
        EXPECT_EQ(edited.m_fSpotCutoff, 30.0f);
        EXPECT_EQ(edited.m_vSpotDirection, Vector3f(0, -1, 0));
    }
}

namespace {

// Sinks writing into a fresh output folder, each fed a 2 x 2 texture.
class HostModulesSink : public HostModules {
protected:
    HostModulesSink() : m_Folder(fs::temp_directory_path() / ("ondo-sink-" + std::to_string(::getpid())))
    {
        fs::remove_all(m_Folder);
        RunContext::Get(m_Core).m_strOutputDirectory = m_Folder.string();
        GFX::RegisterStandardImageReaders(m_Core);
    }
    ~HostModulesSink() override
    {
        for (auto& texture : m_Textures) texture.Release();
        fs::remove_all(m_Folder);
    }

    template <class T>
    Host::FilterImageSink& MakeSink(std::int32_t iFormat, const std::vector<T>& pixels, const std::string& strFileName)
    {
        GFX::ImageData image;
        image.m_iImageFormat = iFormat;
        image.m_uiWidth = image.m_uiHeight = 2;
        image.m_Pixels.resize(pixels.size() * sizeof(T));
        std::memcpy(image.m_Pixels.data(), pixels.data(), image.m_Pixels.size());
        auto& sink = dynamic_cast<Host::FilterImageSink&>(Make("Host.ImageSink", "sink"));
        m_Textures.emplace_back(OpenGL::LoadTexture2D(image, false, false));
        PortOf<OpenGL::TextureObject2D>(sink, "Texture", false).SetData(&m_Textures.back(), true);
        Controls(sink).SetControl("File Name", strFileName);
        return sink;
    }
    std::unique_ptr<GFX::ImageData> Read(const std::string& strName)
    {
        return GFX::ImageLoader::Get(m_Core).Load((m_Folder / strName).wstring());
    }

    fs::path m_Folder;
    std::deque<OpenGL::TextureObject2D> m_Textures;
};

} // namespace

TEST_F(HostModulesSink, WritesPngAndExrNamedByFrameWithTheTexturesContentConverted)
{
    const std::vector<std::uint8_t> rgba = {0, 10, 20, 255, 40, 50, 60, 128, 80, 90, 100, 0, 250, 251, 252, 253};
    Host::FilterImageSink& sink = MakeSink(GFX::FormatRGBA8, rgba, "shots/frame_{frame}.png");
    RunContext::Get(m_Core).m_uiFrame = 7;
    Run(sink);
    const std::string strPng = (m_Folder / "shots/frame_0007.png").string();
    EXPECT_EQ(sink.GetLastWrittenPath(), strPng);
    EXPECT_EQ(m_Logger.GetMessages(), std::vector<std::string>{"sink: wrote " + strPng + "\n"});
    const auto pPng = Read("shots/frame_0007.png");
    ASSERT_NE(pPng, nullptr);
    EXPECT_EQ(pPng->m_Pixels, rgba) << "rows come back in the texture's order";

    Controls(sink).SetControl("File Name", "out_{frame}.exr");
    RunContext::Get(m_Core).m_uiFrame = 12345;
    Run(sink);
    const auto pExr = Read("out_12345.exr");
    ASSERT_NE(pExr, nullptr);
    ASSERT_EQ(pExr->m_Pixels.size(), rgba.size() * 4);
    std::vector<float> values(rgba.size());
    std::memcpy(values.data(), pExr->m_Pixels.data(), pExr->m_Pixels.size());
    for (std::size_t i = 0; i < rgba.size(); ++i) EXPECT_NEAR(values[i], rgba[i] / 255.0f, 1e-6f) << i;

    // Floats go to PNG clamped; one channel spreads to grey, two to red and green.
    Run(MakeSink(GFX::FormatR32F, std::vector<float>{-0.5f, 0.25f, 0.5f, 2.0f}, "grey.png"));
    Run(MakeSink(GFX::FormatRG32F, std::vector<float>{0, 1, 1, 0, 0.5f, 0.5f, 1, 1}, "rg.png"));
    const auto pGrey = Read("grey.png"), pRG = Read("rg.png");
    ASSERT_TRUE(pGrey && pRG);
    EXPECT_EQ(pGrey->m_Pixels,
              (std::vector<std::uint8_t>{0, 0, 0, 255, 64, 64, 64, 255, 128, 128, 128, 255, 255, 255, 255, 255}));
    EXPECT_EQ(std::vector<std::uint8_t>(pRG->m_Pixels.begin(), pRG->m_Pixels.begin() + 8),
              (std::vector<std::uint8_t>{0, 255, 0, 255, 255, 0, 0, 255}));
}

TEST_F(HostModulesSink, RefusesUnknownTypesAndWritesOnlyWhatItShould)
{
    Host::FilterImageSink& sink = MakeSink(GFX::FormatRGBA8, std::vector<std::uint8_t>(16, 9), "pic.bmp");
    try {
        Run(sink);
        ADD_FAILURE() << "an unknown extension was written";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("sink"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("pic.bmp"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(fs::exists(m_Folder / "pic.bmp"));

    Instrumenter& controls = Controls(sink);
    auto& input = PortOf<OpenGL::TextureObject2D>(sink, "Texture", false);
    controls.SetControl("File Name", "once.png");
    controls.SetControl("Only When Changed", "true");
    Run(sink);
    ASSERT_TRUE(fs::remove(m_Folder / "once.png"));
    Run(sink);
    EXPECT_FALSE(fs::exists(m_Folder / "once.png")) << "the texture did not change";
    input.SetData(&m_Textures.back(), true);
    Run(sink);
    EXPECT_TRUE(fs::exists(m_Folder / "once.png"));

    m_Logger.Clear();
    ASSERT_TRUE(fs::remove(m_Folder / "once.png"));
    input.SetData(nullptr, true);
    Run(sink);
    EXPECT_FALSE(fs::exists(m_Folder / "once.png"));
    EXPECT_EQ(m_Logger.GetMessages().size(), 1u) << "an empty input is reported, nothing written";
}
