// The sampler state, the swap-interval switch and the texture query and utility filters.

#include "src/ComputeFilterTestSupport.h"
#include "src/FilterSetVSynch.h"

#include "host/FlowGraph/GraphFile.h"

#include "Ondo/Instrumenter.h"
#include "Ondo/OpenGL/Device.h"

#include <cfloat>
#include <cstdint>
#include <map>
#include <sstream>
#include <tuple>

using namespace Ondo::FlowGraph;
using Ondo::Instrumenter;
using Ondo::OpenGL::TextureObject2D;
using Ondo::OpenGL::TextureObject3D;
using GLFilter = Ondo::OpenGL::BaseFilter;
using Flags = std::map<std::string, bool>;
using OndoTest::Settings;

namespace {

template <class T>
PortHandle<SimplePortT<T>> PortOf(const GLFilter& filter, const std::string& strLabel)
{
    return PortHandle<SimplePortT<T>>(filter.FindPort(strLabel));
}

// Runs the filter once and returns the change flag of each output; with
// bEndFrame the flags of all its ports are then cleared, as a graph does.
Flags Frame(GLFilter& filter, bool bEndFrame = true)
{
    ScopeExecuter executer;
    filter.Execute(executer);
    Flags changed;
    for (const auto& hPort : filter.GetPortHandles()) {
        if (hPort->IsOutput()) changed[hPort->GetLabel()] = hPort->HasChanged();
        if (bEndFrame) hPort->ResetChanged();
    }
    return changed;
}

// The values of the outputs in port order, four per vector.
void Append(std::vector<float>& values, int iValue) { values.push_back(static_cast<float>(iValue)); }
void Append(std::vector<float>& values, const Ondo::Vector4f& v) { values.insert(values.end(), &v[0], &v[0] + 4); }
template <class T>
std::vector<float> Outputs(const GLFilter& filter)
{
    std::vector<float> values;
    for (const auto& hPort : filter.GetPortHandles())
        if (hPort->IsOutput()) Append(values, *static_cast<const T*>(hPort->GetDataPointer()));
    return values;
}

// The settings in document order: KEY=VALUE, or KEY@N for a port handle.
std::string Layout(const TiXmlElement& root)
{
    std::string strText;
    for (const TiXmlElement* pChild = root.FirstChildElement(); pChild; pChild = pChild->NextSiblingElement()) {
        const char* szPort = pChild->Attribute("PortID");
        strText += std::string(strText.empty() ? "" : " ") + pChild->Value() + (szPort ? "@" : "=") +
                   (szPort ? szPort : pChild->Attribute("value"));
    }
    return strText;
}

// Wrap S, T, R, min and mag filter, min and max LOD and LOD bias of a sampler.
std::vector<float> SamplerState(GLuint uiSampler)
{
    std::vector<float> state;
    for (GLenum eName : {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T, GL_TEXTURE_WRAP_R, GL_TEXTURE_MIN_FILTER,
                         GL_TEXTURE_MAG_FILTER, GL_TEXTURE_MIN_LOD, GL_TEXTURE_MAX_LOD, GL_TEXTURE_LOD_BIAS}) {
        state.push_back(0.0f);
        glGetSamplerParameterfv(uiSampler, eName, &state.back());
    }
    return state;
}

// A 1 x 2 x depth volume of one level, with texels in their transfer layout
// when given. Rows of one texel: odd-sized rows need tight packing both ways.
TextureObject3D MakeVolume(GLenum eFormat, GLsizei iDepth, GLenum eTransfer = GL_RED, GLenum eType = GL_FLOAT,
                           const void* pTexels = nullptr)
{
    TextureObject3D volume;
    glGenTextures(1, &volume.m_uiName);
    glBindTexture(GL_TEXTURE_3D, volume.m_uiName);
    glTexStorage3D(GL_TEXTURE_3D, 1, eFormat, 1, 2, iDepth);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (pTexels) glTexSubImage3D(GL_TEXTURE_3D, 0, 0, 0, 0, 1, 2, iDepth, eTransfer, eType, pTexels);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glBindTexture(GL_TEXTURE_3D, 0);
    return volume;
}

// Records the two platform steps of the swap-interval switch. Swap control is
// offered (1), missing (0), or as the context answers (-1).
struct RecordingVSynch : Prismvale::FilterSetVSynch {
    RecordingVSynch(Ondo::Core& core, int iOffered) : FilterSetVSynch(core, "VSynch"), m_iOffered(iOffered) {}
    bool HasSwapControl() const override
    {
        ++m_iQueries;
        return m_iOffered < 0 ? FilterSetVSynch::HasSwapControl() : m_iOffered == 1;
    }
    void SetSwapInterval(int iInterval) override { m_Intervals.push_back(iInterval); }
    int m_iOffered;
    mutable int m_iQueries = 0;
    std::vector<int> m_Intervals;
};

// Filters made through the registry and bound to the test device. When the
// test ends they are released, and every GL object they made must be gone.
class StateAndQuery : public ::testing::Test {
protected:
    GLFilter& Make(const std::string& strType)
    {
        m_Filters.push_back(OndoTest::MakeFilter(m_Core, strType));
        m_Filters.back()->AttachDevice(m_Device);
        return *m_Filters.back();
    }
    void TearDown() override
    {
        for (const auto& pFilter : m_Filters) pFilter->DetachDevice();
        EXPECT_EQ(OndoTest::LiveObjects(), m_Before);
    }

    Ondo::OpenGL::Device& m_Device = OndoTest::TestDevice();
    Ondo::Core m_Core;
    std::vector<std::shared_ptr<GLFilter>> m_Filters;
    const std::array<int, 5> m_Before = OndoTest::LiveObjects();
};

} // namespace

TEST_F(StateAndQuery, RegistrationAndSettingsRoundTripInTheirKeyOrder)
{
    // Type; source, description and keywords; the settings of a new filter;
    // edited settings, read and written back unchanged (none: as written).
    const std::string rows[][4] = {
        {"OpenGL.ConstSamplerState", "src\\FilterConstSamplerState|An OpenGL Sampler State Object|"
                                     "OpenGL;Texture;Sampler;SamplerState",
         "hOutSamplerState@0 WrapS=10497 WrapT=10497 WrapR=10497 MinFilter=9986 MagFilter=9729 MinLod=-1000 "
         "MaxLod=1000 LODBias=0",
         "hOutSamplerState@0 WrapS=0 WrapT=10497 WrapR=10497 MinFilter=9986 MagFilter=9728 MinLod=-2.5 MaxLod=8 "
         "LODBias=0.25"},
        {"OpenGL.SetVSynch", "src\\FilterSetVSynch|Some Description|Some Keywords", "bIsEnabled=0", "bIsEnabled=1"},
        {"OpenGL.Texture.Size",
         "src\\FilterTextureSize|For retrieving the size of an OpenGL texture|OpenGL;Texture;Size",
         "hInTex@0 hInTarget@1 hOutTex@2", ""},
        {"OpenGL.Texture3D.Size",
         "src\\FilterTextureSize3D|For retrieving the size of an OpenGL 3D texture|OpenGL;Texture;Texture3D;Size",
         "hInTex@0 hInTarget@1 hOutTex@2 hDepthOut@3", ""},
        {"OpenGL.Texture3D.MinMaxValue",
         "src\\FilterTexture3DMinMaxValue|For retrieving the minimum and maximum value of an OpenGL 3D texture|"
         "OpenGL;Texture;Min;Max;Texture3D",
         "hInTex@0 hMin@1 hMax@2", ""},
        {"OpenGL.Texture.Flipper", "src\\FilterTextureFlipper|For flipping between two textures|OpenGL;Texture;Flip",
         "hTextureIn0@0 hTextureIn1@1 hTextureOut@2", ""},
        {"OpenGL.Texture.GenerateMipMap",
         "src\\FilterTextureGenerateMipMap|For explicit mipmap generation|OpenGL;Texture;MipMap",
         "hTextureIn@0 hTextureOut@1", ""},
    };
    for (const auto& [strType, strRegistration, strWritten, strEdited] : rows) {
        SCOPED_TRACE(strType);
        GLFilter &written = Make(strType), &read = Make(strType);
        const FilterDescriptor& descriptor = *FilterRegistry::Get(m_Core).FindFilter(strType);
        EXPECT_EQ(descriptor.m_strSourceFile + "|" + descriptor.m_strDescription + "|" + descriptor.m_strKeywords,
                  strRegistration);
        TiXmlDocument document, again;
        TiXmlElement* pRoot = Settings(written, document);
        EXPECT_EQ(Layout(*pRoot), strWritten);
        std::istringstream edits(strEdited);
        for (std::string strEdit; edits >> strEdit;)
            if (const std::size_t uiAt = strEdit.find('='); uiAt != std::string::npos)
                pRoot->FirstChildElement(strEdit.substr(0, uiAt).c_str())->SetAttribute("value", &strEdit[uiAt + 1]);
        Settings(read, document, pRoot);
        EXPECT_EQ(Layout(*Settings(read, again)), strEdited.empty() ? strWritten : strEdited);
    }
}

TEST_F(StateAndQuery, SamplerIsBuiltFromItsSettingsAndRebuiltOncePerChoice)
{
    GLFilter& sampler = Make("OpenGL.ConstSamplerState");
    Instrumenter controls;
    sampler.Instrument(controls);
    std::string strItems;
    for (const Instrumenter::Control& control : controls.GetControls()) {
        strItems += control.m_strLabel + "=" + std::to_string(control.m_iSelected) + ":";
        for (const std::string& strItem : control.m_Items) strItems += " " + strItem;
        strItems += "\n";
    }
    const std::string strWraps =
        " GL_CLAMP_TO_EDGE GL_MIRRORED_REPEAT GL_REPEAT GL_MIRROR_CLAMP_TO_EDGE GL_CLAMP_TO_BORDER\n";
    EXPECT_EQ(strItems, "WrapS=2:" + strWraps + "WrapT=2:" + strWraps + "WrapR=2:" + strWraps +
                            "Min Filter=4: GL_NEAREST GL_LINEAR GL_NEAREST_MIPMAP_NEAREST GL_LINEAR_MIPMAP_NEAREST "
                            "GL_NEAREST_MIPMAP_LINEAR GL_LINEAR_MIPMAP_LINEAR\nMag Filter=1: GL_NEAREST GL_LINEAR\n");

    const auto hOut = PortOf<GLuint>(sampler, "SamplerState");
    EXPECT_TRUE(Frame(sampler)["SamplerState"]) << "dirty from construction";
    GLuint uiLast = *hOut->GetData();
    ASSERT_TRUE(glIsSampler(uiLast));
    std::vector<float> state = {GL_REPEAT, GL_REPEAT, GL_REPEAT, GL_NEAREST_MIPMAP_LINEAR, GL_LINEAR, -1000, 1000, 0};
    EXPECT_EQ(SamplerState(uiLast), state);
    EXPECT_EQ(std::make_pair(Frame(sampler)["SamplerState"], *hOut->GetData()), std::make_pair(false, uiLast));

    // Each choice rebuilds once: a new sampler, the old one gone.
    for (const auto& [szLabel, szItem, iParameter, eValue] :
         {std::tuple{"WrapR", "3", 2, GL_MIRROR_CLAMP_TO_EDGE}, {"Min Filter", "GL_LINEAR", 3, GL_LINEAR},
          {"Mag Filter", "0", 4, GL_NEAREST}}) {
        SCOPED_TRACE(szLabel);
        controls.SetControl(szLabel, szItem);
        EXPECT_TRUE(Frame(sampler)["SamplerState"]);
        const GLuint uiNew = *hOut->GetData();
        EXPECT_NE(uiNew, uiLast);
        EXPECT_FALSE(glIsSampler(uiLast));
        state[static_cast<std::size_t>(iParameter)] = static_cast<float>(eValue);
        EXPECT_EQ(SamplerState(uiNew), state);
        EXPECT_FALSE(Frame(sampler)["SamplerState"]);
        uiLast = uiNew;
    }

    // Settings read wait for the next InitResources; a value outside the
    // table selects no item.
    TiXmlDocument document;
    TiXmlElement* pRoot = Settings(sampler, document);
    pRoot->FirstChildElement("WrapS")->SetAttribute("value", "0");
    GLFilter& read = Make("OpenGL.ConstSamplerState");
    Frame(read);
    Settings(read, document, pRoot);
    EXPECT_FALSE(Frame(read)["SamplerState"]);
    Instrumenter readControls;
    read.Instrument(readControls);
    EXPECT_EQ(readControls.GetControls()[0].m_iSelected, 5);
    read.DetachDevice();
    read.AttachDevice(m_Device);
    // The stored wrap mode 0 reaches GL as it was stored, which refuses it.
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_INVALID_ENUM));
    EXPECT_EQ(SamplerState(*PortOf<GLuint>(read, "SamplerState")->GetData())[2], GL_MIRROR_CLAMP_TO_EDGE);
    // A graph that binds such a sampler stops the load, naming the filter,
    // and leaves no GL error behind.
    const std::string strLoad = OndoTest::ErrorOf([&] {
        LoadGraphFromText(m_Core, &m_Device,
                          "<OndoGraph><Scope name=\"Root\"><Filter type=\"OpenGL.ConstSamplerState\" name=\"S\">"
                          "<Settings><hOutSamplerState PortID=\"-1\"/><WrapS value=\"0\"/><WrapT value=\"10497\"/>"
                          "<WrapR value=\"10497\"/><MinFilter value=\"9729\"/><MagFilter value=\"9729\"/>"
                          "<MinLod value=\"0\"/><MaxLod value=\"1\"/><LODBias value=\"0\"/></Settings>"
                          "</Filter></Scope></OndoGraph>",
                          "sampler.xml");
    });
    EXPECT_EQ(strLoad, "sampler.xml:1: \"S\" (OpenGL.ConstSamplerState): its GPU resources could not be made: GL error "
                       "GL_INVALID_ENUM");
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    sampler.DetachDevice();
    sampler.ReleaseResources(m_Device, m_Device.GetContext());
    EXPECT_EQ(OndoTest::LiveObjects()[2], m_Before[2] + 1) << "only the second filter's sampler is left";
    ScopeExecuter executer;
    sampler.Process(executer);
    EXPECT_EQ(std::make_pair(*hOut->GetData(), hOut->HasChanged()), std::make_pair(0u, false)) << "no sampler";
}

TEST_F(StateAndQuery, SwapIntervalIsSetOncePerChangeAndDroppedWithoutSwapControl)
{
    EXPECT_FALSE(m_Device.GetContext().HasSwapControl()) << "a headless context has no surface";
    for (const auto& [iOffered, intervals] :
         {std::pair{1, std::vector<int>{0, 1, 0}}, {0, std::vector<int>{}}, {-1, std::vector<int>{}}}) {
        SCOPED_TRACE(iOffered);
        const auto pVSynch = std::make_shared<RecordingVSynch>(m_Core, iOffered);
        pVSynch->Initialize();
        EXPECT_EQ(pVSynch->GetNumberOfPorts(), 0u);
        Instrumenter controls;
        pVSynch->Instrument(controls);
        ASSERT_EQ(controls.GetControls().size(), 2u);
        EXPECT_EQ(controls.GetControls()[0].m_strLabel,
                  "Please mind, that the driver settings in the Control Panel have priority.");
        pVSynch->AttachDevice(m_Device);
        std::vector<int> queries;
        for (const char* szTick : {"", "", "1", "", "0"}) {
            if (*szTick) controls.SetControl("V-Sync enabled", szTick);
            Frame(*pVSynch);
            queries.push_back(pVSynch->m_iQueries);
        }
        EXPECT_EQ(queries, (std::vector<int>{1, 1, 2, 2, 3})) << "asked once per change, also when refused";
        EXPECT_EQ(pVSynch->m_Intervals, intervals);
        pVSynch->DetachDevice();
    }
}

TEST_F(StateAndQuery, SizesAreMarkedChangedOnlyWhenTheyChange)
{
    TextureObject2D wide = OndoTest::MakeTexture(640, 480, GL_RGBA8), flat = OndoTest::MakeTexture(640, 200, GL_R8);
    TextureObject3D thin = MakeVolume(GL_RGBA32F, 2), deep = MakeVolume(GL_RGBA32F, 5);
    GLFilter &size = Make("OpenGL.Texture.Size"), &size3D = Make("OpenGL.Texture3D.Size");

    PortOf<TextureObject2D>(size, "Texture")->SetData(&wide, true);
    EXPECT_EQ(Frame(size), (Flags{{"Width", true}, {"Height", true}}));
    EXPECT_EQ(Outputs<int>(size), (std::vector<float>{640, 480}));
    EXPECT_EQ(Frame(size), (Flags{{"Width", false}, {"Height", false}}));
    PortOf<TextureObject2D>(size, "Texture")->SetData(&flat, true);
    EXPECT_EQ(Frame(size, false), (Flags{{"Width", false}, {"Height", true}}));
    EXPECT_EQ(Frame(size), (Flags{{"Width", false}, {"Height", true}})) << "a flag set in this frame stays set";
    EXPECT_EQ(Outputs<int>(size), (std::vector<float>{640, 200}));

    PortOf<TextureObject3D>(size3D, "Texture")->SetData(&thin, true);
    EXPECT_EQ(Frame(size3D), (Flags{{"Width", true}, {"Height", true}, {"Depth", true}}));
    EXPECT_EQ(Frame(size3D), (Flags{{"Width", false}, {"Height", false}, {"Depth", false}}));
    PortOf<TextureObject3D>(size3D, "Texture")->SetData(&deep, true);
    EXPECT_EQ(Frame(size3D), (Flags{{"Width", false}, {"Height", false}, {"Depth", true}}));
    EXPECT_EQ(Outputs<int>(size3D), (std::vector<float>{1, 2, 5}));
    for (GLuint uiName : {wide.m_uiName, flat.m_uiName, thin.m_uiName, deep.m_uiName}) glDeleteTextures(1, &uiName);
}

TEST_F(StateAndQuery, MinMaxIsRecomputedForNewVolumesOfTheAcceptedFormats)
{
    GLFilter& minMax = Make("OpenGL.Texture3D.MinMaxValue");
    const auto hIn = PortOf<TextureObject3D>(minMax, "Texture");
    const float r32f[] = {0.5f, -3.25f, 7.0f, 2.0f, 1.0f, 6.5f};
    const std::uint8_t rgb8[] = {0, 255, 128, 64, 10, 255};   // read as signed bytes: halved
    const std::int8_t rg8i[] = {-5, 9, 100, -128};             // a format the library does not know
    const std::uint32_t r32ui[] = {7u, 3000000000u, 12u, 9u};  // converted as unsigned
    const std::int16_t rgba16i[] = {-300, 2, 3, 4, 5, -6, 7, 32767};
    const float F = FLT_MAX;
    const struct {
        GLenum eFormat, eTransfer, eType;
        GLsizei iDepth;
        const void* pTexels;
        std::vector<float> minMax;
    } rows[] = {
        {GL_R32F, GL_RED, GL_FLOAT, 3, r32f, {-3.25f, F, F, F, 7.0f, -F, -F, -F}},
        {GL_RGB8, GL_RGB, GL_UNSIGNED_BYTE, 1, rgb8, {0, 5, 64, F, 32, 127, 127, -F}},
        {GL_RG8I, GL_RG_INTEGER, GL_BYTE, 1, rg8i, {-5, -128, F, F, 100, 9, -F, -F}},
        {GL_R32UI, GL_RED_INTEGER, GL_UNSIGNED_INT, 2, r32ui, {7, F, F, F, 3e9f, -F, -F, -F}},
        {GL_RGBA16I, GL_RGBA_INTEGER, GL_SHORT, 1, rgba16i, {-300, -6, 3, 4, 5, 2, 7, 32767}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.eFormat);
        TextureObject3D volume = MakeVolume(row.eFormat, row.iDepth, row.eTransfer, row.eType, row.pTexels);
        hIn->SetData(&volume, true);
        EXPECT_EQ(Frame(minMax), (Flags{{"Min", true}, {"Max", true}}));
        EXPECT_EQ(Outputs<Ondo::Vector4f>(minMax), row.minMax);
        EXPECT_EQ(Frame(minMax), (Flags{{"Min", false}, {"Max", false}})) << "no new value, no read-back";
        volume.Release();
    }

    // A normalised RGBA volume is refused and the last result stays.
    TextureObject3D rgba8 = MakeVolume(GL_RGBA8, 1);
    hIn->SetData(&rgba8, true);
    EXPECT_EQ(OndoTest::ErrorOf([&] { Frame(minMax); }, "GL_RGBA8 was accepted"), "Unknown size of internal Format");
    EXPECT_EQ(Outputs<Ondo::Vector4f>(minMax), rows[4].minMax);
    rgba8.Release();
}

TEST_F(StateAndQuery, FlipperAlternatesAndMipMapsCoverTheWholeChain)
{
    TextureObject2D first = OndoTest::MakeTexture(4, 4, GL_RGBA8), second = OndoTest::MakeTexture(4, 4, GL_RGBA8);
    GLFilter& flipper = Make("OpenGL.Texture.Flipper");
    PortOf<TextureObject2D>(flipper, "Texture0")->SetData(&first, true);
    PortOf<TextureObject2D>(flipper, "Texture1")->SetData(&second, true);
    std::vector<TextureObject2D*> sequence;
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(Frame(flipper)["Flipped"]);
        sequence.push_back(PortOf<TextureObject2D>(flipper, "Flipped")->GetData());
    }
    EXPECT_EQ(sequence, (std::vector<TextureObject2D*>{&first, &second, &first, &second, &first}));

    // An 8 x 4 texture of one mutable level whose level limit alone would
    // stop a chain at level 0.
    TextureObject2D mutable2D;
    glGenTextures(1, &mutable2D.m_uiName);
    glBindTexture(GL_TEXTURE_2D, mutable2D.m_uiName);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 8, 4, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    GLFilter& mipMap = Make("OpenGL.Texture.GenerateMipMap");
    PortOf<TextureObject2D>(mipMap, "Texture")->SetData(&mutable2D, true);
    EXPECT_TRUE(Frame(mipMap)["MipMapped"]);
    EXPECT_EQ(PortOf<TextureObject2D>(mipMap, "MipMapped")->GetData(), &mutable2D);
    glBindTexture(GL_TEXTURE_2D, mutable2D.m_uiName);
    std::vector<GLint> chain(1);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, chain.data());
    for (GLint iLevel = 1; iLevel <= 4; ++iLevel)
        for (GLenum eName : {GL_TEXTURE_WIDTH, GL_TEXTURE_HEIGHT}) {
            chain.push_back(0);
            glGetTexLevelParameteriv(GL_TEXTURE_2D, iLevel, eName, &chain.back());
        }
    EXPECT_EQ(chain, (std::vector<GLint>{1000, 4, 2, 2, 1, 1, 1, 0, 0})) << "maximum level, then level sizes";
    glBindTexture(GL_TEXTURE_2D, 0);
    for (TextureObject2D* pTexture : {&first, &second, &mutable2D}) pTexture->Release();
}
