// The text renderer: lines and glyph numbers, the font atlas it carries, and
// text drawn over a target (made by a texture source, filled by the
// multi-target clear) compared with the atlas texel for texel.

#include "ComputeFilterTestSupport.h"

#include "src/FilterTextRenderer.h"

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

// What glyph number g covers at (x, y) of its cell: the atlas cell for the
// codes 32 to 126, a one-pixel box one pixel inside the cell otherwise.
float Coverage(int g, int x, int y)
{
    if (g >= 0 && g < FontAtlas::Cells) return AtlasByte(g, x, y) / 255.0f;
    const auto fnIn = [&](int d) { return x >= d && x < CellWidth - d && y >= d && y < CellHeight - d; };
    return fnIn(1) && !fnIn(2) ? 1.0f : 0.0f;
}

std::vector<int> Glyphs(const std::string& strLine)
{
    std::vector<int> glyphs;
    for (const char c : strLine) glyphs.push_back(c - 32);
    return glyphs;
}

// The target once lines of glyph numbers, the first cell's bottom-left
// corner at (iLeft, iBottom) and each line 20 pixels below the one before,
// are laid in the colour over the background with their coverage as opacity.
std::vector<float> Expected(int iWidth, int iHeight, const Vector4f& background, const Vector3f& colour,
                            const std::vector<std::vector<int>>& lines, int iLeft, int iBottom)
{
    std::vector<float> texels;
    for (int i = 0; i < iWidth * iHeight; ++i) texels.insert(texels.end(), background.data(), background.data() + 4);
    for (std::size_t l = 0; l < lines.size(); ++l)
        for (std::size_t i = 0; i < lines[l].size(); ++i)
            for (int y = 0; y < CellHeight; ++y)
                for (int x = 0; x < CellWidth; ++x) {
                    const int px = iLeft + int(i) * CellWidth + x, py = iBottom - int(l) * CellHeight + y;
                    if (px < 0 || py < 0 || px >= iWidth || py >= iHeight) continue;
                    const float a = Coverage(lines[l][i], x, y);
                    float* pTexel = &texels[4 * std::size_t(py * iWidth + px)];
                    for (int c = 0; c < 3; ++c) pTexel[c] = colour[c] * a + pTexel[c] * (1 - a);
                    pTexel[3] = a + pTexel[3] * (1 - a);
                }
    return texels;
}

// The text renderer "text" over a target "target" (of floats unless another
// format is named) that the clear fills with the background; "String" is fed
// by the test unless left unconnected.
struct TextScene {
    TextScene(int iWidth, int iHeight, const Vector4f& background, bool bConnectString = true,
              const char* szFormat = "GL_RGBA32F")
    {
        ValueFeed<std::string>::Register(m_Harness.GetGraph().GetCore(), "Test.StringFeed");
        FlowGraph::Graph& graph = m_Harness.GetGraph();
        m_Harness.Add("OpenGL.Texture.MultiSource2D", "target");
        graph.SetControl("target", "Number of Textures", "1");
        graph.SetControl("target", "Texture0", szFormat);
        m_Harness.Set("target", "Width", std::to_string(iWidth));
        m_Harness.Set("target", "Height", std::to_string(iHeight));
        m_Harness.Add("OpenGL.Texture.MultiClear", "clear");
        graph.SetControl("clear", "Number of Targets", "1");
        std::string strBackground;
        for (int c = 0; c < 4; ++c) strBackground += std::to_string(background[c]) + " ";
        m_Harness.Set("clear", "ClearColor", strBackground);
        m_Harness.Connect("target", "0", "clear", "Target0");
        m_pItem = &m_Harness.Add("OpenGL.TextRenderer", "text");
        m_Harness.Connect("clear", "Clear Target0", "text", "Target Texture");
        if (!bConnectString) return;
        m_pString = &dynamic_cast<ValueFeed<std::string>&>(m_Harness.Add("Test.StringFeed", "string")).m_Value;
        m_Harness.Connect("string", "Value", "text", "String");
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
    for (const auto& [strText, lines] : std::vector<std::pair<std::string, Lines>>{
             {"a\r\n\r\nb", {"a", "b"}}, {"\n\r one \r", {" one "}}, {"x\ry\nz", {"x", "y", "z"}}, {"", {}},
             {"\r\n\n\r", {}}, {"\ttab", {"\ttab"}}})
        EXPECT_EQ(FilterTextRenderer::SplitLines(strText), lines) << "\"" << strText << "\"";

    // What a line writes into the glyph buffer: its first entries and how
    // many; nothing goes past the 1024th.
    const std::string strTabAtTheEnd = std::string(1022, 'A') + "\tB";
    for (const auto& [strLine, head, uiCount] : std::vector<std::tuple<std::string, std::vector<int>, std::size_t>>{
             {"A~ ", {33, 94, 0}, 3},
             {"\tx", {0, 0, 0, 0, 'x' - 32}, 5},
             {"\x01\x7f\xc3\xa9", {-31, 95, -93, -119}, 4}, // bytes from 128 up count as negative
             {std::string(1030, 'H'), {'H' - 32}, 1024},
             {strTabAtTheEnd, {33}, 1024}}) {
        SCOPED_TRACE(strLine.substr(0, 8));
        std::vector<std::int32_t> buffer(FilterTextRenderer::MaxGlyphsPerLine + 8, 12345);
        EXPECT_EQ(FilterTextRenderer::WriteGlyphs(strLine, buffer.data()), uiCount);
        EXPECT_EQ(std::vector<int>(buffer.begin(), buffer.begin() + long(head.size())), head);
        EXPECT_EQ(buffer[FilterTextRenderer::MaxGlyphsPerLine], 12345) << "nothing past the glyph buffer";
        if (strLine == strTabAtTheEnd) {
            EXPECT_EQ(buffer[1023], 0) << "the tab's spaces, as many as fit";
        }
    }
}

TEST(TextRenderer, TheAtlasHoldsLegibleGreyGlyphsCentredOnOneBaseline)
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

    // Every other glyph has full-strength ink off its cell's edges (ink on an
    // edge would mean it was clipped), centred across, and the letters that
    // stand flat on the baseline end on one row.
    std::set<int> baselines;
    for (char c = '!'; c <= '~'; ++c) {
        SCOPED_TRACE(std::string(1, c));
        const std::vector<int> cell = fnCell(c);
        EXPECT_EQ(*std::max_element(cell.begin(), cell.end()), 255);
        int iLowest = CellHeight, iLeft = CellWidth, iRight = -1;
        for (int y = 0; y < CellHeight; ++y)
            for (int x = 0; x < CellWidth; ++x) {
                if (cell[std::size_t(y * CellWidth + x)] == 0) continue;
                EXPECT_TRUE(x > 0 && y > 0 && x < CellWidth - 1 && y < CellHeight - 1) << "ink at " << x << "," << y;
                iLowest = std::min(iLowest, y);
                iLeft = std::min(iLeft, x);
                iRight = std::max(iRight, x);
            }
        EXPECT_LE(std::abs(iLeft - (CellWidth - 1 - iRight)), 1) << "blank columns either side";
        if (std::string("ABDEHIKLMNRXZhiklmnrxz").find(c) != std::string::npos) baselines.insert(iLowest);
    }
    EXPECT_EQ(baselines.size(), 1u) << "one baseline";
}

TEST(TextRenderer, DrawsTheAtlasCellsTexelForTexelOverTheTarget)
{
    const Vector4f black(0, 0, 0, 1), grey(0.25f, 0.25f, 0.25f, 1);
    const std::string strLong(1030, 'H');
    struct Case {
        const char* szWhat;
        std::optional<std::string> text; // none: "String" without value
        int iWidth, iHeight;
        const char* szPosition; // "Text Position", unconnected when null
        const char* szColour;   // "Color", unconnected when null
        Vector4f background;
        std::vector<std::vector<int>> lines; // drawn from (iLeft, iBottom)
        int iLeft, iBottom;
        bool bUnconnected = false; // "String" not connected at all
    };
    for (const Case& row : {
             Case{"Hello at the bottom left", "Hello", 60, 24, "-1 -1", nullptr, black, {Glyphs("Hello")}, 0, 0},
             Case{"off the pixel grid: at the nearest corner", "Hi", 60, 24, "-0.97 -0.96", nullptr, black,
                  {Glyphs("Hi")}, 1, 0},
             Case{"no position: from the centre", "Hi", 40, 40, nullptr, nullptr, black, {Glyphs("Hi")}, 20, 20},
             Case{"runs of CR and LF: one line lower", "\r\na\n\n\r\nb\r", 20, 40, "-1 0", nullptr, black,
                  {Glyphs("a"), Glyphs("b")}, 0, 20},
             Case{"a tab is four cells", "\tx", 60, 20, "-1 -1", nullptr, black, {{0, 0, 0, 0, 'x' - 32}}, 0, 0},
             Case{"coloured, over grey", "Ag", 30, 20, "-1 -1", "1 0.5 0", grey, {Glyphs("Ag")}, 0, 0},
             Case{"outside the font: a box", "\x01", 10, 20, "-1 -1", nullptr, black, {{-31}}, 0, 0},
             // The line starts 1020 cells left of the target: cells 1020 to
             // 1023 are drawn, the six after them are not.
             Case{"1030 letters: 1024 drawn", strLong, 60, 20, "-341 -1", nullptr, black,
                  {Glyphs(strLong.substr(0, 1024))}, -10200, 0},
             Case{"only breaks", "\r\n\n\r", 20, 20, "-1 -1", nullptr, grey, {}, 0, 0},
             Case{"empty", "", 20, 20, nullptr, nullptr, grey, {}, 0, 0},
             Case{"a string without value", std::nullopt, 20, 20, "-1 -1", nullptr, grey, {}, 0, 0},
             Case{"no string connected", std::nullopt, 20, 20, "-1 -1", nullptr, grey, {}, 0, 0, true}}) {
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
                               Expected(row.iWidth, row.iHeight, row.background, colour, row.lines, row.iLeft,
                                        row.iBottom),
                               0.5f / 255, row.iWidth);
        OndoTest::ExpectOutputIsTarget(scene.m_Harness, "text", "Texture", scene.Target());
        if (!row.text) continue; // nothing drawn, no state changed
        GLboolean bDepthMask = GL_FALSE;
        glGetBooleanv(GL_DEPTH_WRITEMASK, &bDepthMask);
        EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST) && bDepthMask) << "depth test and writes are on after a run";
        EXPECT_FALSE(glIsEnabled(GL_BLEND));
        OndoTest::ExpectNothingBound();
    }
}

TEST(TextRenderer, PortsSettingsRefusalAndRelease)
{
    OndoTest::TestDevice();
    const std::array<int, 5> before = OndoTest::LiveObjects();
    {
        TextScene scene(16, 20, {0, 0, 0, 1});
        std::vector<std::string> labels;
        for (const auto& hPort : scene.m_pItem->GetPortHandles()) labels.push_back(hPort->GetLabel());
        EXPECT_EQ(labels, (std::vector<std::string>{"String", "Text Position", "Target Texture", "Color", "Texture"}));
        TiXmlDocument document;
        EXPECT_EQ(OndoTest::Keys(*OndoTest::Settings(*scene.m_pItem, document)),
                  (std::vector<std::string>{"hStringIn", "hTextPosition", "hTextureTargetColor", "hTextColor",
                                            "hTextureOutColor"}));
        // Counted after a run that drew, so that every object made is bound.
        *scene.m_pString = "A";
        ASSERT_TRUE(scene.m_Harness.Run());
        const std::array<int, 5> during = OndoTest::LiveObjects();
        for (std::size_t k = 0; k < 5; ++k) EXPECT_GT(during[k], before[k]) << "kind " << k;
    }
    EXPECT_EQ(OndoTest::LiveObjects(), before);

    // A target of integers cannot take the text: refused by name.
    TextScene scene(8, 8, {0, 0, 0, 0}, true, "GL_RGBA32I");
    *scene.m_pString = "A";
    OndoTest::ExpectRefusal(scene.m_Harness.RunError(), "text", "\"Target Texture\" is a GL_RGBA32I texture of signed");
}
