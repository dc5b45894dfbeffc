// CPU arrays to GPU objects: the float and vector texture makers and the
// vector buffer makers.

#include "ComputeFilterTestSupport.h"

#include "frame/DescriptorList.h"

#include "Ondo/Core.h"
#include "Ondo/Exceptions.h"
#include "Ondo/FlowGraph/ScopeExecuter.h"
#include "Ondo/OpenGL/GPUObjects.h"
#include "Ondo/OpenGL/Textures.h"

#include <array>
#include <sstream>
#include <tuple>

using namespace Ondo::FlowGraph;
using Ondo::OpenGL::BufferObject;
using Ondo::OpenGL::TextureObject2D;

namespace {

// uiCount floats, and the same as the text an input takes.
std::pair<std::vector<float>, std::string> Floats(std::size_t uiCount, float fSeed)
{
    std::vector<float> floats(uiCount);
    std::ostringstream text;
    for (std::size_t i = 0; i < uiCount; ++i) text << (floats[i] = fSeed + 0.25f * static_cast<float>(i % 1013)) << ' ';
    return {floats, text.str()};
}

// Internal format, width, height and the first channels of each texel.
using TextureContent = std::tuple<GLenum, int, int, std::vector<float>>;
TextureContent ContentOf(GLuint uiTexture, int iChannels)
{
    const auto size = Ondo::OpenGL::GetImageSize2D(uiTexture);
    std::vector<float> values;
    const std::vector<float> rgba = OndoTest::ReadTexture(TextureObject2D(uiTexture));
    for (std::size_t i = 0; i < rgba.size(); i += 4)
        values.insert(values.end(), rgba.begin() + i, rgba.begin() + i + iChannels);
    return {Ondo::OpenGL::GetInternalFormat2D(uiTexture), size[0], size[1], values};
}

// Writes a filter's settings, or reads them from strRead when it is given:
// the names of the elements and the document as text.
std::pair<std::vector<std::string>, std::string> Serialize(ScopeItem& filter, const std::string& strRead = {})
{
    TiXmlDocument document;
    if (!strRead.empty()) document.Parse(strRead.c_str());
    TiXmlElement* pRoot = OndoTest::Settings(filter, document, strRead.empty() ? nullptr : document.RootElement());
    TiXmlPrinter printer;
    document.Accept(&printer);
    return {OndoTest::Keys(*pRoot), printer.CStr()};
}

} // namespace

TEST(DataMakers, AreRegisteredAsDescribedTheTemplateInstancesLastInTableOrder)
{
    const std::vector<std::array<std::string, 4>> expected{
        {"OpenGL.Texture.FromFloat", "src\\FilterMakeTextureFromFloat",
         "For filling an OpenGL texture using a float source", "OpenGL;Texture;Float;"},
        {"OpenGL.MakeTextureFromVec3f", "src\\Prismvale", "Fill a texture using Vec3f", "OpenGL;Texture;"},
        {"OpenGL.MakeTextureFromVec4f", "src\\Prismvale", "Fill a texture using Vec4f", "OpenGL;Texture;"},
        {"OpenGL.Buffer.FromVec3f", "src\\Prismvale", "Fill a buffer using Vec3f", "OpenGL;Buffer;"},
        {"OpenGL.Buffer.FromVec4f", "src\\Prismvale", "Fill a buffer using Vec4f", "OpenGL;Buffer;"}};
    const auto Row = [](const FilterDescriptor& d) {
        return std::array<std::string, 4>{d.m_strName, d.m_strSourceFile, d.m_strDescription, d.m_strKeywords};
    };
    const auto& list = Prismvale::GetDescriptorList();
    ASSERT_GE(list.size(), 5u);
    const auto itFloat = std::find_if(list.begin(), list.end(), [&](const FilterDescriptor& d) {
        return d.m_strName == "OpenGL.Texture.FromFloat";
    });
    ASSERT_NE(itFloat, list.end());
    std::vector<std::array<std::string, 4>> rows{Row(*itFloat)};
    for (auto it = list.end() - 4; it != list.end(); ++it) rows.push_back(Row(*it));
    EXPECT_EQ(rows, expected);
}

// 100 x 100 R32F by default: 9999 floats make nothing, 10000 a texture; edits
// of size and format rebuild it, too little data keeps it, release frees it.
TEST(DataMakers, FloatMakerBuildsWhenEnoughDataArrivesAndReplacesItsTextureOnEdits)
{
    OndoTest::TestDevice();
    const int iTexturesBefore = OndoTest::CountLive(glIsTexture, 8192);
    OndoTest::FilterHarness harness;
    harness.Add("OpenGL.Texture.FromFloat", "M");
    bool bChanged = false;
    const auto Out = [&] { return harness.Output<TextureObject2D>("M", "OutputTexture", &bChanged); };

    harness.Set("M", "Input Floats", Floats(9999, 1.0f).second);
    ASSERT_TRUE(harness.Run());
    EXPECT_EQ(Out()->m_uiName, 0u);
    const auto [data, strData] = Floats(10000, 2.0f);
    harness.Set("M", "Input Floats", strData);
    ASSERT_TRUE(harness.Run());
    TextureObject2D* pTexture = Out();
    const GLuint uiFirst = pTexture->m_uiName;
    EXPECT_TRUE(bChanged) << "a rebuild the data input alone asked for is published as changed";
    EXPECT_EQ(ContentOf(uiFirst, 1), (TextureContent{GL_R32F, 100, 100, data}));
    for (const std::string& strNext : {std::string(), Floats(9999, 3.0f).second}) { // nothing new, then too few
        if (!strNext.empty()) harness.Set("M", "Input Floats", strNext);
        ASSERT_TRUE(harness.Run());
        EXPECT_EQ(Out(), pTexture);
        EXPECT_EQ(std::make_pair(pTexture->m_uiName, bChanged), std::make_pair(uiFirst, false));
    }
    EXPECT_EQ(ContentOf(uiFirst, 1), (TextureContent{GL_R32F, 100, 100, data})) << "left as it was";

    // Edits as a person makes them, from the same 10000 floats: 50 x 100 R32F,
    // then 50 x 100 RG32F (code 26 stored).
    harness.Set("M", "Input Floats", strData);
    harness.GetGraph().SetControl("M", "Width", "50");
    ASSERT_TRUE(harness.Run());
    EXPECT_EQ(ContentOf(pTexture->m_uiName, 1),
              (TextureContent{GL_R32F, 50, 100, std::vector<float>(data.begin(), data.begin() + 5000)}));
    harness.GetGraph().SetControl("M", "Texture Type", "GL_RG32F");
    const std::string strSettings = Serialize(harness.GetGraph().RequireItem("M")).second;
    EXPECT_NE(strSettings.find("<ImageFormat value=\"26\" />"), std::string::npos);
    ASSERT_TRUE(harness.Run());
    EXPECT_EQ(ContentOf(Out()->m_uiName, 2), (TextureContent{GL_RG32F, 50, 100, data}));
    EXPECT_TRUE(bChanged);
    EXPECT_FALSE(glIsTexture(uiFirst)) << "replaced textures are deleted";
    EXPECT_EQ(OndoTest::CountLive(glIsTexture, 8192), iTexturesBefore + 1);

    const GLuint uiLast = pTexture->m_uiName;
    harness.GetGraph().DetachDevice();
    EXPECT_FALSE(glIsTexture(uiLast));
    EXPECT_EQ(OndoTest::CountLive(glIsTexture, 8192), iTexturesBefore);
    harness.GetGraph().AttachDevice(OndoTest::TestDevice());
    ASSERT_TRUE(harness.Run());
    EXPECT_EQ(ContentOf(Out()->m_uiName, 2), (TextureContent{GL_RG32F, 50, 100, data})) << "made again";
    EXPECT_TRUE(bChanged);
}

// Size from the inputs when they hold a value, else from the settings; the
// first width x height x channels floats of the input, in order.
TEST(DataMakers, TextureMakersTakeTheSizeFromInputsOrSettingsAndTheFloatsInOrder)
{
    OndoTest::TestDevice();
    using Edits = std::vector<std::pair<std::string, std::string>>;
    struct Case {
        const char* szType;
        const char* szData;
        Edits controls, inputs; // editor controls; values on "Width"/"Height"
        TextureContent expected; // format 0: no texture
    };
    const std::vector<float> twelve{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    const std::vector<Case> cases{
        {"Texture.FromFloat", "0 1 2 3 4 5 6 7 8 9 10 11 99", {}, {{"Width", "4"}, {"Height", "3"}},
         {GL_R32F, 4, 3, twelve}},
        {"Texture.FromFloat", "0 1 2 3 4 5 6 7 8 9 10 11", {{"Width", "2"}, {"Height", "3"}, {"Texture Type", "1"}},
         {}, {GL_RG32F, 2, 3, twelve}},
        {"Texture.FromFloat", "0 1 2 3 4 5 6 7", {{"Width", "3"}}, {{"Width", "4"}, {"Height", "2"}},
         {GL_R32F, 4, 2, {0, 1, 2, 3, 4, 5, 6, 7}}},
        {"MakeTextureFromVec3f", "1 2 3, 4 5 6", {{"Texture Type", "GL_RGBA32F"}}, {},
         {GL_RGBA32F, 1, 1, {1, 2, 3, 4}}},
        {"MakeTextureFromVec3f", "1 2 3", {{"Texture Type", "GL_RGBA32F"}}, {}, {0, 0, 0, {}}},
        {"MakeTextureFromVec4f", "1 2 3 4, 5 6 7 8", {{"Texture Type", "GL_RGB32F"}}, {{"Width", "2"}},
         {GL_RGB32F, 2, 1, {1, 2, 3, 4, 5, 6}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.szType) + " " + c.szData);
        OndoTest::FilterHarness harness;
        harness.Add(std::string("OpenGL.") + c.szType, "M");
        harness.Set("M", c.szType == std::string("Texture.FromFloat") ? "Input Floats" : "Input Data", c.szData);
        for (const auto& [strLabel, strValue] : c.controls) harness.GetGraph().SetControl("M", strLabel, strValue);
        for (const auto& [strLabel, strValue] : c.inputs) harness.Set("M", strLabel, strValue);
        ASSERT_TRUE(harness.Run());
        const GLuint uiTexture = harness.Output<TextureObject2D>("M", "OutputTexture")->m_uiName;
        const auto& [eFormat, iWidth, iHeight, values] = c.expected;
        if (eFormat == 0) {
            EXPECT_EQ(uiTexture, 0u);
            continue;
        }
        EXPECT_EQ(ContentOf(uiTexture, static_cast<int>(values.size()) / (iWidth * iHeight)), c.expected);
    }

    // Sizes the GL cannot make stop the run, naming the filter.
    for (const auto& [strWidth, strError] :
         {std::pair<std::string, std::string>{"0", "a texture of 0 x 1 texels cannot be made (\"Width\", \"Height\"); "
                                                   "the texture was left as it was"},
          {"1000000", "a texture of 1000000 x 1 texels (\"Width\", \"Height\") is beyond GL_MAX_TEXTURE_SIZE ("}}) {
        OndoTest::FilterHarness harness;
        harness.Add("OpenGL.MakeTextureFromVec3f", "M");
        harness.Set("M", "Input Data", "1 2 3");
        harness.Set("M", "Width", strWidth);
        const std::string strWhat = OndoTest::ErrorOf([&] { harness.Run(); }, "(ran)");
        EXPECT_EQ(strWhat.rfind("\"M\" (OpenGL.MakeTextureFromVec3f): " + strError, 0), 0u) << strWhat;
    }
}

TEST(DataMakers, BufferMakersHoldTheVectorsFollowTheInputsChangeAndReleaseEverything)
{
    OndoTest::TestDevice();
    const int iBuffersBefore = OndoTest::CountLive(glIsBuffer);
    OndoTest::FilterHarness harness;
    harness.Add("OpenGL.Buffer.FromVec4f", "B4");
    harness.Add("OpenGL.Buffer.FromVec3f", "B3");
    harness.Set("B4", "Vec", "1 2 3 4, 5 6 7 8, 9 10 11 12");
    harness.Set("B3", "Vec", "1 2 3, 4 5 6");
    // The buffer's name and contents, after checking its size, usage and the change flag.
    const auto Check = [&](const char* szFilter, GLint iBytes, bool bChanged) {
        SCOPED_TRACE(szFilter);
        bool bOutChanged = false;
        const GLuint uiBuffer = harness.Output<BufferObject>(szFilter, "Buffer", &bOutChanged)->m_uiName;
        EXPECT_EQ(bOutChanged, bChanged);
        GLint iSize = 0, iUsage = 0;
        glBindBuffer(GL_ARRAY_BUFFER, uiBuffer);
        glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &iSize);
        glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_USAGE, &iUsage);
        EXPECT_EQ(std::make_pair(iSize, iUsage), std::make_pair(iBytes, GLint(GL_STATIC_DRAW)));
        std::vector<float> contents(static_cast<std::size_t>(iSize) / 4);
        glGetBufferSubData(GL_ARRAY_BUFFER, 0, iSize, contents.data());
        return std::make_pair(uiBuffer, contents);
    };
    ASSERT_TRUE(harness.Run());
    const auto [uiBuffer4, contents4] = Check("B4", 48, true);
    EXPECT_EQ(contents4, (std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    EXPECT_EQ(Check("B3", 24, true).second, (std::vector<float>{1, 2, 3, 4, 5, 6}));

    ASSERT_TRUE(harness.Run());
    EXPECT_EQ(Check("B4", 48, false).first, uiBuffer4) << "an unchanged input leaves the buffer as it was";
    harness.Set("B4", "Vec", "-1 -2 -3 -4");
    ASSERT_TRUE(harness.Run());
    EXPECT_EQ(Check("B4", 16, true).second, (std::vector<float>{-1, -2, -3, -4}));
    EXPECT_EQ(OndoTest::CountLive(glIsBuffer), iBuffersBefore + 2) << "the replaced buffer is deleted";
    harness.GetGraph().DetachDevice();
    EXPECT_EQ(OndoTest::CountLive(glIsBuffer), iBuffersBefore);
}

// Outside a graph: an input that carries no vector is not read (an error is
// reported to the core, the output stays empty); the settings keys in their
// order, read back by a second filter unchanged; a texture format off the
// list and a size below 1, stored or edited, refused.
TEST(DataMakers, MissingDataIsReportedAndSettingsRoundTripInTheirOrder)
{
    const std::vector<std::string> textureKeys{"hDataIn",     "hOutTexture", "hWidthIn", "hHeightIn",
                                               "ImageFormat", "Width",       "Height"};
    const std::vector<std::string> bufferKeys{"hVecIn", "hBufferOut"};
    for (const auto& [szType, szLabel, keys] : {std::tuple{"OpenGL.Texture.FromFloat", "Input Floats", textureKeys},
                                                {"OpenGL.MakeTextureFromVec3f", "Input Data", textureKeys},
                                                {"OpenGL.MakeTextureFromVec4f", "Input Data", textureKeys},
                                                {"OpenGL.Buffer.FromVec3f", "Vec", bufferKeys},
                                                {"OpenGL.Buffer.FromVec4f", "Vec", bufferKeys}}) {
        SCOPED_TRACE(szType);
        Ondo::Core core;
        auto pFirst = OndoTest::MakeFilter(core, szType, "M"), pSecond = OndoTest::MakeFilter(core, szType);
        pFirst->AttachDevice(OndoTest::TestDevice());
        ScopeExecuter executer;
        pFirst->Execute(executer);
        EXPECT_EQ(pFirst->GetPortHandles().back()->GetDataPointer(), nullptr);
        EXPECT_EQ(core.GetErrors(),
                  std::vector<std::string>{"\"" + std::string(szLabel) + "\" carries no value; nothing was made"});
        pFirst->DetachDevice();

        Ondo::Instrumenter controls;
        pFirst->Instrument(controls);
        if (controls.FindControl("Texture Type")) {
            for (const auto& [szControl, szValue] : {std::pair{"Width", "7"}, {"Height", "9"}, {"Texture Type", "2"}})
                controls.SetControl(szControl, szValue);
            EXPECT_THROW(controls.SetControl("Height", "0"), std::invalid_argument);
            EXPECT_EQ(Ondo::Instrumenter::ValueText(*controls.FindControl("Height")), "9") << "the size in force stays";
        }
        const auto [names, strDocument] = Serialize(*pFirst);
        EXPECT_EQ(names, keys);
        Serialize(*pSecond, strDocument);
        EXPECT_EQ(Serialize(*pSecond).second, strDocument);
        if (keys == textureKeys) {
            EXPECT_NE(strDocument.find("<ImageFormat value=\"27\" />"), std::string::npos);
            std::string strBad = strDocument;
            strBad.replace(strBad.find("\"27\""), 4, "\"3\"");
            EXPECT_THROW(Serialize(*pSecond, strBad), Ondo::ExceptionParsing);
            strBad = strDocument;
            strBad.replace(strBad.find("<Width value=\"7\""), 17, "<Width value=\"-7\"");
            EXPECT_THROW(Serialize(*pSecond, strBad), Ondo::ExceptionParsing);
        }
    }
}
