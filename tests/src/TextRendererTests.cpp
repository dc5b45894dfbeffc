// The text renderer: lines and glyph numbers as a line draws them, the font
// atlas the module carries, and text drawn over a target that a texture
// source makes and the multi-target clear fills, compared with the atlas
// texel for texel; refusals, settings and release.

#include "ComputeFilterTestSupport.h"

#include "src/FilterTextRenderer.h"

#include <array>
#include <set>

using namespace Ondo;
using OndoTest::ValueFeed;
using OpenGL::TextureObject2D;
using Prismvale::FilterTextRenderer;
using Prismvale::FontAtlas;
using Prismvale::FontAtlasPixels;

namespace {

constexpr int CellWidth = FontAtlas::CellWidth, CellHeight = FontAtlas::CellHeight;

// The atlas's red byte at (x, y) of cell k, rows from the bottom.
int AtlasByte(int k, int x, int y)
{
    return FontAtlasPixels[3 * (std::size_t(y) * FontAtlas::Width + std::size_t(k * CellWidth + x))];
}

// The coverage a glyph number gives at (x, y) of its cell: the atlas's for
// the codes 32 to 126, a one-pixel box one pixel inside the cell otherwise.
float Coverage(int iGlyph, int x, int y)
{
    if (iGlyph >= 0 && iGlyph < FontAtlas::Cells) return AtlasByte(iGlyph, x, y) / 255.0f;
    const bool bInside = x >= 1 && x <= CellWidth - 2 && y >= 1 && y <= CellHeight - 2;
    const bool bCore = x >= 2 && x <= CellWidth - 3 && y >= 2 && y <= CellHeight - 3;
    return bInside && !bCore ? 1.0f : 0.0f;
}

// A glyph number drawn with its cell's bottom-left corner at a pixel.
struct Placed {
    int iGlyph, iLeft, iBottom;
};

// Glyphs of a text laid out from a pixel: cells side by side, lines 20
// pixels apart downwards (as the renderer lays them, from the same rules).
std::vector<Placed> Layout(const std::vector<std::vector<int>>& lines, int iLeft, int iBottom)
{
    std::vector<Placed> placed;
    for (std::size_t l = 0; l < lines.size(); ++l)
        for (std::size_t i = 0; i < lines[l].size(); ++i)
            placed.push_back({lines[l][i], iLeft + int(i) * CellWidth, iBottom - int(l) * CellHeight});
    return placed;
}

// The target once the glyphs are laid over its background in the colour:
// each texel the colour weighted by the coverage over the rest of the
// background.
std::vector<float> Expected(int iWidth, int iHeight, const Vector4f& background, const Vector3f& colour,
                            const std::vector<Placed>& glyphs)
{
    std::vector<float> texels;
    for (int i = 0; i < iWidth * iHeight; ++i) texels.insert(texels.end(), background.data(), background.data() + 4);
    for (const Placed& glyph : glyphs)
        for (int y = 0; y < CellHeight; ++y)
            for (int x = 0; x < CellWidth; ++x) {
                const int px = glyph.iLeft + x, py = glyph.iBottom + y;
                if (px < 0 || py < 0 || px >= iWidth || py >= iHeight) continue;
                const float a = Coverage(glyph.iGlyph, x, y);
                float* pTexel = &texels[4 * std::size_t(py * iWidth + px)];
                for (int c = 0; c < 3; ++c) pTexel[c] = colour[c] * a + pTexel[c] * (1 - a);
                pTexel[3] = a + pTexel[3] * (1 - a);
            }
    return texels;
}

std::vector<int> Glyphs(const std::string& strLine)
{
    std::vector<int> glyphs;
    for (const char c : strLine) glyphs.push_back(c - 32);
    return glyphs;
}

// A float target of the given size made by a texture source and filled with
// a background colour by the multi-target clear before the text renderer
// "text" draws over it; "String" fed by the test unless it stays unconnected.
class TextScene {
public:
    TextScene(int iWidth, int iHeight, const Vector4f& background, bool bConnectString = true)
    {
        Core& core = m_Harness.GetGraph().GetCore();
        ValueFeed<std::string>::Register(core, "Test.StringFeed");
        FlowGraph::Graph& graph = m_Harness.GetGraph();
        m_Harness.Add("OpenGL.Texture.MultiSource2D", "target");
        graph.SetControl("target", "Number of Textures", "1");
        graph.SetControl("target", "Texture0", "GL_RGBA32F");
        m_Harness.Set("target", "Width", std::to_string(iWidth));
        m_Harness.Set("target", "Height", std::to_string(iHeight));
        m_Harness.Add("OpenGL.Texture.MultiClear", "clear");
        graph.SetControl("clear", "Number of Targets", "1");
        m_Harness.Set("clear", "ClearColor", Text(background));
        Connect("target", "0", "clear", "Target0");
        m_pItem = &m_Harness.Add("OpenGL.TextRenderer", "text");
        Connect("clear", "Clear Target0", "text", "Target Texture");
        if (!bConnectString) return;
        m_pString = &dynamic_cast<ValueFeed<std::string>&>(m_Harness.Add("Test.StringFeed", "string")).m_Value;
        Connect("string", "Value", "text", "String");
    }
    static std::string Text(const Vector4f& v)
    {
        return std::to_string(v[0]) + " " + std::to_string(v[1]) + " " + std::to_string(v[2]) + " " +
               std::to_string(v[3]);
    }
    void Connect(const std::string& strFrom, const std::string& strOut, const std::string& strTo,
                 const std::string& strIn)
    {
        m_Harness.GetGraph().Connect(m_Harness.GetGraph().GetRoot(), strFrom, strOut, strTo, strIn);
    }
    TextureObject2D& Target() { return *m_Harness.Output<TextureObject2D>("target", "0"); }

    OndoTest::FilterHarness m_Harness;
    FlowGraph::ScopeItem* m_pItem = nullptr;
    std::optional<std::string>* m_pString = nullptr;
};

} // namespace

TEST(TextRenderer, LinesSplitOnRunsOfBreaksAndGlyphNumbersFollowTheCodes)
{
    using Lines = std::vector<std::string>;
    for (const auto& [strText, lines] : std::vector<std::pair<std::string, Lines>>{{"a\r\n\r\nb", {"a", "b"}},
                                                                                   {"a\n\nb", {"a", "b"}},
                                                                                   {"\n\r one \r", {" one "}},
                                                                                   {"x\ry\nz", {"x", "y", "z"}},
                                                                                   {"", {}},
                                                                                   {"\r\n\n\r", {}},
                                                                                   {"\ttab", {"\ttab"}}})
        EXPECT_EQ(FilterTextRenderer::SplitLines(strText), lines) << "\"" << strText << "\"";

    // Glyph numbers as a line writes them into the glyph buffer; what lies
    // past the 1024th entry stays untouched.
    struct Case {
        const char* szWhat;
        std::string strLine;
        std::vector<std::int32_t> head; // the first entries
        std::size_t uiCount;
    };
    const std::string strTabAtTheEnd = std::string(1022, 'A') + "\tB";
    for (const Case& row :
         {Case{"codes minus 32", "A~ ", {33, 94, 0}, 3}, Case{"a tab is four spaces", "\tx", {0, 0, 0, 0, 'x' - 32}, 5},
          Case{"outside the font", std::string("\x01\x7f\xc3\xa9"), {-31, 95, -93, -119}, 4},
          Case{"1030 letters", std::string(1030, 'H'), {'H' - 32}, 1024},
          Case{"a tab with two entries left", strTabAtTheEnd, {33}, 1024}}) {
        SCOPED_TRACE(row.szWhat);
        std::vector<std::int32_t> buffer(FilterTextRenderer::MaxGlyphsPerLine + 8, 12345);
        EXPECT_EQ(FilterTextRenderer::WriteGlyphs(row.strLine, buffer.data()), row.uiCount);
        EXPECT_EQ(std::vector<std::int32_t>(buffer.begin(), buffer.begin() + long(row.head.size())), row.head);
        EXPECT_EQ(buffer[FilterTextRenderer::MaxGlyphsPerLine], 12345) << "nothing past the glyph buffer";
        if (row.uiCount == 1024) {
            EXPECT_EQ(buffer[1023], row.strLine == strTabAtTheEnd ? 0 : 'H' - 32);
        }
    }
}

TEST(TextRenderer, TheAtlasHoldsLegibleGreyGlyphsInWholeCellsOnOneBaseline)
{
    static_assert(sizeof(FontAtlasPixels) == 57000, "950 x 20 pixels of three bytes");
    for (std::size_t i = 0; i < sizeof(FontAtlasPixels); i += 3)
        ASSERT_TRUE(FontAtlasPixels[i] == FontAtlasPixels[i + 1] && FontAtlasPixels[i] == FontAtlasPixels[i + 2])
            << "pixel " << i / 3 << " is not grey";
    const auto fnCell = [](char c) {
        std::vector<int> cell;
        for (int y = 0; y < CellHeight; ++y)
            for (int x = 0; x < CellWidth; ++x) cell.push_back(AtlasByte(c - 32, x, y));
        return cell;
    };
    EXPECT_NE(fnCell('A'), fnCell('B'));
    EXPECT_NE(fnCell('l'), fnCell('1'));
    EXPECT_EQ(fnCell(' '), std::vector<int>(CellWidth * CellHeight, 0)) << "the space is blank";

    // Every other glyph has full-strength ink, none touches its cell's edge
    // (which would mean it was clipped), and the letters that stand flat on
    // the baseline end on one row.
    std::set<int> baselines;
    for (char c = '!'; c <= '~'; ++c) {
        SCOPED_TRACE(std::string(1, c));
        const std::vector<int> cell = fnCell(c);
        EXPECT_EQ(*std::max_element(cell.begin(), cell.end()), 255);
        int iLowest = CellHeight, iInkLeft = CellWidth, iInkRight = -1;
        for (int y = 0; y < CellHeight; ++y)
            for (int x = 0; x < CellWidth; ++x) {
                if (cell[std::size_t(y * CellWidth + x)] == 0) continue;
                EXPECT_TRUE(x > 0 && y > 0 && x < CellWidth - 1 && y < CellHeight - 1) << "ink at " << x << "," << y;
                iLowest = std::min(iLowest, y);
                iInkLeft = std::min(iInkLeft, x);
                iInkRight = std::max(iInkRight, x);
            }
        // Centred: the blank columns either side differ by one at most.
        EXPECT_LE(std::abs(iInkLeft - (CellWidth - 1 - iInkRight)), 1);
        if (std::string("ABDEHIKLMNRXZhiklmnrxz").find(c) != std::string::npos) baselines.insert(iLowest);
    }
    EXPECT_EQ(baselines.size(), 1u) << "one baseline";
}

TEST(TextRenderer, DrawsTheAtlasCellsTexelForTexelOverTheTarget)
{
    const Vector4f black(0, 0, 0, 1), grey(0.25f, 0.25f, 0.25f, 1);
    struct Case {
        const char* szWhat;
        std::optional<std::string> text; // none: "String" without value
        int iWidth, iHeight;
        const char* szPosition; // "Text Position", unconnected when null
        const char* szColour;   // "Color", unconnected when null
        Vector4f background;
        std::vector<Placed> glyphs;
        bool bUnconnected = false; // "String" left unconnected
    };
    const std::string strLong(1030, 'H');
    for (const Case& row :
         {Case{"Hello at the bottom left", "Hello", 60, 24, "-1 -1", nullptr, black, Layout({Glyphs("Hello")}, 0, 0)},
          Case{"off the pixel grid: at the nearest corner", "Hi", 60, 24, "-0.97 -0.96", nullptr, black,
               Layout({Glyphs("Hi")}, 1, 0)},
          Case{"no position: from the centre", "Hi", 40, 40, nullptr, nullptr, black, Layout({Glyphs("Hi")}, 20, 20)},
          Case{"two line feeds: one line lower", "a\n\nb", 20, 40, "-1 0", nullptr, black,
               Layout({Glyphs("a"), Glyphs("b")}, 0, 20)},
          Case{"CR LF runs", "\r\nA\r\n\r\nB\r\n", 20, 40, "-1 0", nullptr, black,
               Layout({Glyphs("A"), Glyphs("B")}, 0, 20)},
          Case{"a tab is four cells", "\tx", 60, 20, "-1 -1", nullptr, black, Layout({{0, 0, 0, 0, 'x' - 32}}, 0, 0)},
          Case{"coloured over grey", "Ag", 30, 20, "-1 -1", "1 0.5 0", grey, Layout({Glyphs("Ag")}, 0, 0)},
          Case{"outside the font: a box", "\x01", 10, 20, "-1 -1", nullptr, black, Layout({{-31}}, 0, 0)},
          Case{"1030 letters: 1024 drawn", strLong, 10300, 20, "-1 -1", nullptr, black,
               Layout({Glyphs(strLong.substr(0, 1024))}, 0, 0)},
          Case{"only breaks", "\r\n\n\r", 20, 20, "-1 -1", nullptr, grey, {}},
          Case{"empty", "", 20, 20, nullptr, nullptr, grey, {}},
          Case{"a string without value", std::nullopt, 20, 20, "-1 -1", nullptr, grey, {}},
          Case{"no string connected", std::nullopt, 20, 20, "-1 -1", nullptr, grey, {}, true}}) {
        SCOPED_TRACE(row.szWhat);
        TextScene scene(row.iWidth, row.iHeight, row.background, !row.bUnconnected);
        if (!row.bUnconnected) *scene.m_pString = row.text;
        if (row.szPosition) scene.m_Harness.Set("text", "Text Position", row.szPosition);
        if (row.szColour) scene.m_Harness.Set("text", "Color", row.szColour);
        glDisable(GL_DEPTH_TEST);
        glDepthMask(GL_FALSE);
        ASSERT_TRUE(scene.m_Harness.Run());
        const Vector3f colour = row.szColour ? Vector3f(1, 0.5f, 0) : Vector3f(1, 1, 1);
        // Half a step of an 8-bit atlas value.
        OndoTest::ExpectTexels(OndoTest::ReadTexture(scene.Target()),
                               Expected(row.iWidth, row.iHeight, row.background, colour, row.glyphs), 0.5f / 255,
                               row.iWidth);
        OndoTest::ExpectOutputIsTarget(scene.m_Harness, "text", "Texture", scene.Target());
        if (!row.text) continue; // nothing drawn, no state changed

        GLboolean bDepthMask = GL_FALSE;
        glGetBooleanv(GL_DEPTH_WRITEMASK, &bDepthMask);
        EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST)) << "depth testing is on after a run";
        EXPECT_TRUE(bDepthMask);
        EXPECT_FALSE(glIsEnabled(GL_BLEND));
        GLint iFramebuffer = -1, iProgram = -1;
        glGetIntegerv(GL_FRAMEBUFFER_BINDING, &iFramebuffer);
        glGetIntegerv(GL_CURRENT_PROGRAM, &iProgram);
        EXPECT_EQ(std::make_pair(iFramebuffer, iProgram), std::make_pair(0, 0));
    }
}

TEST(TextRenderer, TargetsItCannotDrawToAreRefusedByName)
{
    for (const auto& [eFormat, szMessage] : std::vector<std::pair<GLenum, const char*>>{
             {GL_RGBA32UI, "\"Target Texture\" is a GL_RGBA32UI texture of unsigned"},
             {GL_RGB8, "\"Target Texture\" is a GL_RGB8 texture, which a colour target cannot be"},
             {GL_DEPTH_COMPONENT24, "\"Target Texture\" is a GL_DEPTH_COMPONENT24 texture"}}) {
        SCOPED_TRACE(szMessage);
        OndoTest::FilterHarness harness;
        ValueFeed<std::string>::Register(harness.GetGraph().GetCore(), "Test.StringFeed");
        harness.Add("OpenGL.TextRenderer", "text");
        TextureObject2D target = OndoTest::MakeTexture(8, 8, eFormat);
        harness.Feed("text", "Target Texture", target);
        dynamic_cast<ValueFeed<std::string>&>(harness.Add("Test.StringFeed", "string")).m_Value = "A";
        harness.GetGraph().Connect(harness.GetGraph().GetRoot(), "string", "Value", "text", "String");
        const std::string strError = OndoTest::ErrorOf([&] { harness.Run(); }, "(the run went on)");
        EXPECT_NE(strError.find("text"), std::string::npos) << strError;
        EXPECT_NE(strError.find(szMessage), std::string::npos) << strError;
        target.Release();
    }
}

TEST(TextRenderer, SettingsKeepTheirOrderAndReleaseLeavesNoGLObject)
{
    const auto fnCounts = [] {
        return std::array<int, 5>{OndoTest::CountLive(glIsFramebuffer), OndoTest::CountLive(glIsProgram),
                                  OndoTest::CountLive(glIsSampler), OndoTest::CountLive(glIsBuffer),
                                  OndoTest::CountLive(glIsTexture)};
    };
    OndoTest::TestDevice();
    const std::array<int, 5> before = fnCounts();
    {
        TextScene scene(16, 20, {0, 0, 0, 1});
        std::vector<std::string> labels;
        for (const auto& hPort : scene.m_pItem->GetPortHandles()) labels.push_back(hPort->GetLabel());
        EXPECT_EQ(labels, (std::vector<std::string>{"String", "Text Position", "Target Texture", "Color", "Texture"}));
        TiXmlDocument document;
        EXPECT_EQ(OndoTest::Keys(*OndoTest::Settings(*scene.m_pItem, document)),
                  (std::vector<std::string>{"hStringIn", "hTextPosition", "hTextureTargetColor", "hTextColor",
                                            "hTextureOutColor"}));
        // After a run that drew, so that every object made has been bound.
        *scene.m_pString = "A";
        ASSERT_TRUE(scene.m_Harness.Run());
        const std::array<int, 5> during = fnCounts();
        for (std::size_t k = 0; k < 5; ++k) EXPECT_GT(during[k], before[k]) << "kind " << k;
    }
    EXPECT_EQ(fnCounts(), before);
}
