// The two channel-selection filters: the shader texts they write, the
// channels they copy from a photograph, rebuilds after an edit but not after
// reading settings, refusals, settings and release.

#include "ComputeFilterTestSupport.h"

#include "src/FilterChannelSelect.h"
#include "src/FilterTextureChannelSelectToGreyscale.h"

#include "host/GFX/ImageIO.h"

#include "Ondo/GFX/ImageLoader.h"
#include "Ondo/Instrumenter.h"
#include "Ondo/OpenGL/Textures.h"

#include <filesystem>
#include <functional>
#include <map>

using namespace Ondo::FlowGraph;
using Ondo::OpenGL::TextureObject2D;
using Texel = const float*;
using Channels = std::function<float(Texel, int)>;

namespace {

const std::string Select = "OpenGL.Texture.ChannelSelection", Grey = "OpenGL.Texture.ChannelSelectionToGreyscale";

// Reads settings into an item as written by it, some values changed; the
// keys in the order written.
std::vector<std::string> Reread(ScopeItem& item, const std::vector<std::pair<const char*, const char*>>& values)
{
    TiXmlDocument document;
    TiXmlElement* pRoot = OndoTest::Settings(item, document);
    for (const auto& [szKey, szValue] : values) pRoot->FirstChildElement(szKey)->SetAttribute("value", szValue);
    OndoTest::Settings(item, document, pRoot);
    return OndoTest::Keys(*pRoot);
}

// Each texel of the target made from the same texel of the input.
void ExpectChannels(const TextureObject2D& target, const std::vector<float>& input, const Channels& fnChannel,
                    const OndoTest::TargetFormat& format, int iWidth)
{
    std::vector<float> expected(input.size());
    for (std::size_t i = 0; i < input.size(); ++i)
        expected[i] = format.Stored(static_cast<int>(i % 4), fnChannel(&input[i - i % 4], static_cast<int>(i % 4)));
    OndoTest::ExpectTexels(OndoTest::ReadTexture(target), expected, format.Tolerance(0.0f), iWidth);
}

} // namespace

TEST(ChannelSelection, WritesItsShaderTextByteForByte)
{
    const std::string strHeader = "#version 430 core\n#extension GL_ARB_compute_shader : require\n"
                                  "#extension GL_ARB_shader_storage_buffer_object : require\n// Tiling Settings\n"
                                  "#define TILE_WIDTH 16\n#define TILE_HEIGHT 16\n// Port hooks\n"
                                  "#pragma ONDO_PORT_UNIFORM(InColor,\"Color In\");\n"
                                  "layout( local_size_x = TILE_WIDTH, local_size_y = TILE_HEIGHT ) in;\n"
                                  "// in/out textures\nlayout(binding = 0) uniform sampler2D InColor;\n"
                                  "layout(binding = 1) writeonly uniform image2D OutColor;\nivec2 GetSamplePos()\n{\n"
                                  "\tivec2 tile_xy   = ivec2( gl_WorkGroupID );\n"
                                  "\tivec2 thread_xy = ivec2( gl_LocalInvocationID );\n"
                                  "\tivec2 tileSize  = ivec2( TILE_WIDTH, TILE_HEIGHT );\n"
                                  "\treturn ( tile_xy * tileSize + thread_xy );\n}\nvoid main()\n{\n"
                                  "\tconst ivec2 uv = GetSamplePos();\n\tvec4 vColOrg = texelFetch( InColor, uv, 0 );\n"
                                  " vec4 vCol = vec4( 0 );\n",
                      strClosing = "\timageStore( OutColor, uv, vCol );\n}\n";
    using Prismvale::FilterChannelSelect;
    using Prismvale::FilterTextureChannelSelectToGreyscale;
    const std::pair<std::string, std::string> texts[] = {
        {FilterChannelSelect::ShaderText({true, false, true, true}),
         "vCol.x = vColOrg.x;\nvCol.z = vColOrg.z;\nvCol.w = vColOrg.w;\n"},
        {FilterChannelSelect::ShaderText({false, false, false, false}), ""},
        {FilterTextureChannelSelectToGreyscale::ShaderText(2, false), "vCol = vec4( vec3( vColOrg.z ), 1.0 );\n"},
        {FilterTextureChannelSelectToGreyscale::ShaderText(3, true), "vCol = vec4( vColOrg.w );\n"}};
    for (const auto& [strText, strBody] : texts) EXPECT_EQ(strText, strHeader + strBody + strClosing);
    for (const int iChannel : {4, -1})
        EXPECT_EQ(OndoTest::ErrorOf([&] { FilterTextureChannelSelectToGreyscale::ShaderText(iChannel, true); }),
                  "Invalid") << "channel " << iChannel;
}

// Each setting made through the controls, as a person makes it, on the
// photograph of the examples as the engine loads it, into RGBA8 and RGBA16F
// targets in turn: the earlier edits stay, each edit rebuilds.
TEST(ChannelSelection, CopiesTheChosenChannelsOfAPhoto)
{
    OndoTest::TestDevice();
    Ondo::Core core;
    Ondo::GFX::RegisterStandardImageReaders(core);
    const auto pPhoto = Ondo::GFX::ImageLoader::Get(core).Load(
        (std::filesystem::path(ONDO_TEST_DATA) / "../../examples/assets/chelsea.png").wstring());
    ASSERT_TRUE(pPhoto && pPhoto->m_iImageFormat == Ondo::GFX::FormatRGBA8);
    const int iWidth = static_cast<int>(pPhoto->m_uiWidth), iHeight = static_cast<int>(pPhoto->m_uiHeight);
    std::vector<float> texels;
    for (const std::uint8_t uiByte : pPhoto->m_Pixels) texels.push_back(uiByte / 255.0f);
    TextureObject2D photo(Ondo::OpenGL::LoadTexture2D(*pPhoto, false, false));
    const OndoTest::TargetFormat formats[] = {OndoTest::TargetFormats()[0], OndoTest::TargetFormats()[1]};
    TextureObject2D targets[] = {OndoTest::MakeTexture(iWidth, iHeight, formats[0].eFormat),
                                 OndoTest::MakeTexture(iWidth, iHeight, formats[1].eFormat)};
    const std::tuple<std::string, const char*, const char*, Channels> edits[] = {
        {Select, "Keep G", "0", [](Texel t, int c) { return c == 1 ? 0.0f : t[c]; }},
        {Select, "Keep R", "0", [](Texel t, int c) { return c >= 2 ? t[c] : 0.0f; }},
        {Select, "Keep A", "0", [](Texel t, int c) { return c == 2 ? t[2] : 0.0f; }},
        {Grey, "Channel", "B", [](Texel t, int c) { return c == 3 ? 1.0f : t[2]; }},
        {Grey, "Copy to w-component", "1", [](Texel t, int) { return t[2]; }}};
    for (const std::string& strType : {Select, Grey}) {
        OndoTest::FilterHarness harness;
        harness.Add(strType, "F");
        harness.Feed("F", "Color In", photo);
        TextureObject2D*& pTarget = harness.Feed("F", "Target Texture", targets[0]);
        int iEdit = 0;
        for (const auto& [strEditType, szLabel, szValue, fnChannel] : edits) {
            if (strEditType != strType) continue;
            harness.GetGraph().SetControl("F", szLabel, szValue);
            const int j = iEdit++ % 2; // the targets in turn
            SCOPED_TRACE(strType + ": " + szLabel + " " + szValue + ", " + formats[j].szName);
            pTarget = &targets[j];
            ASSERT_TRUE(harness.Run()) << ::testing::PrintToString(harness.GetLogger().GetMessages());
            ExpectChannels(targets[j], texels, fnChannel, formats[j], iWidth);
            OndoTest::ExpectOutputIsTarget(harness, "F", "Output", targets[j]);
        }
        EXPECT_EQ(harness.GetLogger().GetMessages(), std::vector<std::string>{}) << "no port lost, nothing to say";
    }
    for (TextureObject2D* pTexture : {&photo, &targets[0], &targets[1]}) pTexture->Release();
}

// Settings read from a graph wait for the next build: an edit, or new
// resources. A channel out of range read so is refused then, at every pass
// until a channel is chosen again, or when the resources are made.
TEST(ChannelSelection, RebuildsAfterAnEditButNotAfterReadingSettings)
{
    Ondo::OpenGL::Device& device = OndoTest::TestDevice();
    const int iWidth = OndoTest::OddWidth, iHeight = OndoTest::OddHeight;
    const std::vector<float> texels = OndoTest::Pattern(iWidth, iHeight, 9);
    TextureObject2D input = OndoTest::MakeTexture(iWidth, iHeight, GL_RGBA32F, texels);
    TextureObject2D targets[2] = {OndoTest::MakeTexture(iWidth, iHeight, GL_RGBA32F),
                                  OndoTest::MakeTexture(iWidth, iHeight, GL_RGBA32F)};
    OndoTest::FilterHarness harness;
    ScopeItem* pItems[2] = {&harness.Add(Select, "S"), &harness.Add(Grey, "G")};
    for (int i = 0; i < 2; ++i) {
        harness.Feed(pItems[i]->GetName(), "Color In", input);
        harness.Feed(pItems[i]->GetName(), "Target Texture", targets[i]);
    }
    const OndoTest::TargetFormat& exact = OndoTest::TargetFormats()[2];
    auto expect = [&](const char* szWhen, const Channels& fnSelect, const Channels& fnGrey) {
        SCOPED_TRACE(szWhen);
        ExpectChannels(targets[0], texels, fnSelect, exact, iWidth);
        ExpectChannels(targets[1], texels, fnGrey, exact, iWidth);
    };
    const Channels copy = [](Texel t, int c) { return t[c]; }, redGrey = [](Texel t, int c) {
        return c == 3 ? 1.0f : t[0];
    };
    const Channels oddOnly = [](Texel t, int c) { return c % 2 == 1 ? t[c] : 0.0f; };

    ASSERT_TRUE(harness.Run());
    expect("as made", copy, redGrey);
    EXPECT_EQ(Reread(*pItems[0], {{"bKeepChannel_0", "0"}}),
              (std::vector<std::string>{"ShaderPorts", "hTargetTexture", "hTextureOut", "bKeepChannel_0",
                                        "bKeepChannel_1", "bKeepChannel_2", "bKeepChannel_3"}));
    EXPECT_EQ(Reread(*pItems[1], {{"m_bCopyToW", "1"}, {"m_iChannel", "4"}}),
              (std::vector<std::string>{"ShaderPorts", "hTargetTexture", "hTextureOut", "m_bCopyToW", "m_iChannel"}));
    ASSERT_TRUE(harness.Run());
    expect("after reading settings", copy, redGrey);
    harness.GetGraph().SetControl("S", "Keep B", "0");
    ASSERT_TRUE(harness.Run());
    expect("after an edit: the value read and the edited one", oddOnly, redGrey);

    harness.GetGraph().SetControl("G", "Copy to w-component", "1");
    for (int iPass = 0; iPass < 2; ++iPass) EXPECT_EQ(OndoTest::ErrorOf([&] { harness.Run(); }), "\"G\" (" + Grey + "): Invalid");
    harness.GetGraph().GetInstrumenter("G").Choose("Channel", 1);
    ASSERT_TRUE(harness.Run());
    expect("after choosing a channel again", oddOnly, [](Texel t, int) { return t[1]; });

    auto& greyFilter = dynamic_cast<Ondo::OpenGL::BaseFilter&>(*pItems[1]);
    greyFilter.DetachDevice();
    Reread(greyFilter, {{"m_iChannel", "4"}});
    EXPECT_THROW(greyFilter.AttachDevice(device), std::runtime_error);
    EXPECT_FALSE(greyFilter.IsAttached());
    for (TextureObject2D* pTexture : {&input, &targets[0], &targets[1]}) pTexture->Release();
}

// The controls; targets the pass cannot write and inputs it
// cannot read are refused naming the port; built from settings that keep no
// channel, the filter still has its input; every program goes with the
// filter, also after rebuilds.
TEST(ChannelSelection, ControlsRefusalsAndRelease)
{
    const std::map<std::string, std::vector<std::string>> labels = {
        {Select, {"Keep R", "Keep G", "Keep B", "Keep A"}}, {Grey, {"Channel", "Copy to w-component"}}};
    Ondo::OpenGL::Device& device = OndoTest::TestDevice();
    const int iPrograms = OndoTest::CountLive(glIsProgram), iShaders = OndoTest::CountLive(glIsShader);
    TextureObject2D input = OndoTest::MakeTexture(8, 4, GL_RGBA8);
    std::pair<TextureObject2D, std::string> refused[] = {
        {OndoTest::MakeTexture(8, 4, GL_RGB8),
         "\"Target Texture\" is a GL_RGB8 texture, which a compute shader cannot write: image load/store has no "
         "three-channel formats. Give it an RGBA target such as GL_RGBA8, GL_RGBA16F or GL_RGBA32F."},
        {OndoTest::MakeTexture(8, 4, GL_RGBA8UI),
         "\"Target Texture\" is a GL_RGBA8UI texture of unsigned-integer texels, which this filter cannot compute: it "
         "works on float or normalised colours. Give it a target such as GL_RGBA8, GL_RGBA16F or GL_RGBA32F."},
        {OndoTest::MakeTexture(8, 5, GL_RGBA8),
         "\"Color In\" is 8 x 4 texels, smaller than the 8 x 5 \"Target Texture\": each texel is fetched where it is "
         "written, so the texels beyond the input would be undefined. Give it a target no larger than the input."}};
    for (const std::string& strType : {Select, Grey}) {
        SCOPED_TRACE(strType);
        {
            OndoTest::FilterHarness harness;
            auto& filter = dynamic_cast<Ondo::OpenGL::BaseFilter&>(harness.Add(strType, "F"));
            std::vector<std::string> seen;
            TextureObject2D*& pInput = harness.Feed("F", "Color In", input);
            TextureObject2D*& pTarget = harness.Feed("F", "Target Texture", input);
            for (auto& [target, strMessage] : refused) {
                pTarget = &target;
                EXPECT_EQ(OndoTest::ErrorOf([&] { harness.Run(); }), "\"F\" (" + strType + "): " + strMessage);
            }
            pTarget = &input;
            pInput = nullptr;
            EXPECT_TRUE(harness.Run());
            EXPECT_EQ(harness.GetLogger().GetMessages(),
                      (std::vector<std::string>{"F: \"Color In\" carries no texture; the pass was skipped.\n"}));
            EXPECT_EQ(harness.Output<TextureObject2D>("F", "Output"), nullptr);
            // A rebuild per control: one program, with its shader, lives on.
            Ondo::Instrumenter& controls = harness.GetGraph().GetInstrumenter("F");
            for (const auto& control : controls.GetControls()) {
                seen.push_back(control.m_strLabel);
                controls.SetControl(control.m_strLabel, "0");
                harness.Run();
            }
            EXPECT_EQ(seen, labels.at(strType));
            EXPECT_EQ(OndoTest::CountLive(glIsProgram), iPrograms + 1);
            EXPECT_EQ(OndoTest::CountLive(glIsShader), iShaders + 1);
            filter.DetachDevice();
            filter.AttachDevice(device);
            EXPECT_FALSE(filter.FindPort("Color In").IsNone());
            filter.ReleaseResources(device, device.GetContext());
            EXPECT_EQ(OndoTest::CountLive(glIsProgram), iPrograms);
            filter.DetachDevice(); // releases a second time: nothing left to do
        }
        EXPECT_EQ(OndoTest::CountLive(glIsProgram), iPrograms);
        EXPECT_EQ(OndoTest::CountLive(glIsShader), iShaders);
    }
    for (auto& entry : refused) entry.first.Release();
    input.Release();
}
