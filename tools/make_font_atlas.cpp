// make_font_atlas: rasterises the printable ASCII characters of a monospaced
// TrueType font with FreeType into the text renderer's font atlas and writes
// it as C++ source (src/FontAtlas.inc).
//
// The atlas is 950 x 20 RGB8 pixels: 95 cells of 10 x 20 side by side, cell k
// holding the character 32 + k, grey glyphs (three equal channels, 255 ink
// on 0), rows stored from the bottom row up. The glyphs are hinted for a
// one-bit target and rendered one bit per pixel: at this size antialiased
// strokes of one pixel fall across two columns and come out as two grey,
// blurred ones (a vertical bar of 164 at most), while the font's hints snap
// every stem to whole pixels at full strength. Every glyph
// shares one baseline and is centred horizontally in its cell by its ink; the
// pixel size is the largest (in steps of 1/64 pixel) at which every glyph's
// ink keeps off the outermost column and row of its cell, so no glyph is
// clipped.
//
// The atlas is committed, so the build needs neither FreeType nor the font.
// Where FreeType is installed (Debian packages libfreetype-dev and
// fonts-dejavu-core) the build makes this tool too, the test
// font_atlas_is_current checks that the committed atlas is what it makes,
// and the target font-atlas rewrites src/FontAtlas.inc:
//
//   cmake --build build --target font-atlas
//
// which runs
//
//   make_font_atlas /usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf
//       /usr/share/doc/fonts-dejavu-core/copyright > src/FontAtlas.inc
//
// The second argument is the package's copyright file (Debian's machine-
// readable format): its header and the stanza for the font files ("Files: *")
// are copied into the generated file's header comment; stanzas for other
// files (the packaging's own, under another licence) are left out.

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int CellWidth = 10, CellHeight = 20, FirstCode = 32, Cells = 95;
constexpr int AtlasWidth = CellWidth * Cells;

// The inked pixels of one rendered glyph: its coverage bitmap cropped to the
// non-zero pixels, and where that crop lies relative to the pen origin on the
// baseline (x to the right, y up).
struct Glyph {
    int m_iWidth = 0, m_iHeight = 0;
    int m_iLeft = 0, m_iTop = 0; // column of the first inked column, row above the baseline of the top row
    std::vector<std::uint8_t> m_Coverage; // rows top-down
};

Glyph Render(FT_Face face, int iCode)
{
    const FT_UInt uiIndex = FT_Get_Char_Index(face, static_cast<FT_ULong>(iCode));
    if (uiIndex == 0 && iCode != ' ') throw std::runtime_error("the font has no glyph for code " + std::to_string(iCode));
    if (FT_Load_Glyph(face, uiIndex, FT_LOAD_TARGET_MONO) || FT_Render_Glyph(face->glyph, FT_RENDER_MODE_MONO))
        throw std::runtime_error("FreeType cannot render code " + std::to_string(iCode));
    const FT_Bitmap& bitmap = face->glyph->bitmap;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_MONO)
        throw std::runtime_error("FreeType gave no one-bit bitmap for code " + std::to_string(iCode));
    const int iRows = static_cast<int>(bitmap.rows), iColumns = static_cast<int>(bitmap.width);
    // Eight pixels a byte, the leftmost in the highest bit.
    const auto fnAt = [&](int r, int c) -> std::uint8_t {
        return (bitmap.buffer[r * bitmap.pitch + c / 8] >> (7 - c % 8)) & 1 ? 255 : 0;
    };
    int iFirstRow = iRows, iLastRow = -1, iFirstColumn = iColumns, iLastColumn = -1;
    for (int r = 0; r < iRows; ++r)
        for (int c = 0; c < iColumns; ++c)
            if (fnAt(r, c) != 0) {
                iFirstRow = std::min(iFirstRow, r);
                iLastRow = std::max(iLastRow, r);
                iFirstColumn = std::min(iFirstColumn, c);
                iLastColumn = std::max(iLastColumn, c);
            }
    Glyph glyph;
    if (iLastRow < 0) return glyph; // the space: no ink
    glyph.m_iWidth = iLastColumn - iFirstColumn + 1;
    glyph.m_iHeight = iLastRow - iFirstRow + 1;
    glyph.m_iLeft = face->glyph->bitmap_left + iFirstColumn;
    glyph.m_iTop = face->glyph->bitmap_top - iFirstRow;
    for (int r = iFirstRow; r <= iLastRow; ++r)
        for (int c = iFirstColumn; c <= iLastColumn; ++c) glyph.m_Coverage.push_back(fnAt(r, c));
    return glyph;
}

// The 95 glyphs and the row (from the top of the cell) of their common
// baseline when all of them fit the cell inside a blank border of one pixel;
// nothing otherwise.
struct Layout {
    std::vector<Glyph> m_Glyphs;
    int m_iBaseline = 0;
};

std::optional<Layout> Fit(FT_Face face, FT_F26Dot6 iSize)
{
    if (FT_Set_Char_Size(face, 0, iSize, 72, 72)) return std::nullopt;
    Layout layout;
    int iAscent = 0, iDescent = 0; // rows above the baseline, rows from it down
    for (int iCode = FirstCode; iCode < FirstCode + Cells; ++iCode) {
        Glyph glyph = Render(face, iCode);
        if (glyph.m_iWidth > CellWidth - 2) return std::nullopt;
        if (glyph.m_iHeight > 0) {
            iAscent = std::max(iAscent, glyph.m_iTop);
            iDescent = std::max(iDescent, glyph.m_iHeight - glyph.m_iTop);
        }
        layout.m_Glyphs.push_back(std::move(glyph));
    }
    if (iAscent + iDescent > CellHeight - 2) return std::nullopt;
    // The spare rows split evenly above and below the ink of all glyphs.
    layout.m_iBaseline = 1 + (CellHeight - 2 - iAscent - iDescent) / 2 + iAscent;
    return layout;
}

// Grey coverage of the whole atlas, rows top-down.
std::vector<std::uint8_t> Draw(const Layout& layout)
{
    std::vector<std::uint8_t> grey(std::size_t(AtlasWidth) * CellHeight, 0);
    for (int k = 0; k < Cells; ++k) {
        const Glyph& glyph = layout.m_Glyphs[std::size_t(k)];
        const int iLeft = k * CellWidth + (CellWidth - glyph.m_iWidth) / 2;
        const int iTop = layout.m_iBaseline - glyph.m_iTop;
        for (int r = 0; r < glyph.m_iHeight; ++r)
            for (int c = 0; c < glyph.m_iWidth; ++c)
                grey[std::size_t(iTop + r) * AtlasWidth + std::size_t(iLeft + c)] =
                    glyph.m_Coverage[std::size_t(r * glyph.m_iWidth + c)];
    }
    return grey;
}

std::string ReadText(const char* szPath)
{
    std::ifstream file(szPath);
    if (!file) throw std::runtime_error(std::string("cannot read ") + szPath);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The lines of a copyright file that concern the font: the header stanza
// and the stanzas whose "Files:" field is "*", without the blank line that
// ends the last of them.
std::vector<std::string> FontLicence(const std::string& strCopyright)
{
    std::vector<std::string> lines;
    std::istringstream copyright(strCopyright);
    bool bKeep = true;
    for (std::string strLine; std::getline(copyright, strLine);) {
        if (strLine.rfind("Files:", 0) == 0) {
            const std::size_t uiFirst = strLine.find_first_not_of(" \t", 6);
            bKeep = uiFirst != std::string::npos && strLine.compare(uiFirst, std::string::npos, "*") == 0;
        }
        if (bKeep) lines.push_back(strLine);
    }
    while (!lines.empty() && lines.back().find_first_not_of(" \t") == std::string::npos) lines.pop_back();
    if (lines.empty()) throw std::runtime_error("the copyright file has no stanza for the font files");
    return lines;
}

void Write(std::ostream& out, const std::vector<std::uint8_t>& grey, const std::string& strFont,
           const std::string& strFamily, const std::string& strLicence, FT_F26Dot6 iSize, int iBaseline)
{
    out << "// The text renderer's font atlas: 950 x 20 RGB8 pixels, rows from the bottom\n"
           "// up, 95 cells of 10 x 20 for the characters 32 (space) to 126 (tilde), grey\n"
           "// glyphs (255 ink on 0, hinted and drawn one bit per pixel). Generated by\n"
           "// tools/make_font_atlas.cpp (which says how to regenerate it) from\n// "
        << strFont << " at " << iSize / 64.0 << " pixels per em, the baseline\n// " << CellHeight - iBaseline
        << " rows above the bottom of each cell. Do not edit.\n//\n"
           "// The glyphs are rasterised from the font "
        << strFamily << ",\n// under its licence (copied from the copyright file that came with it):\n//\n";
    for (std::string strLine : FontLicence(strLicence)) {
        strLine.erase(strLine.find_last_not_of(" \t") + 1);
        out << "//" << (strLine.empty() ? "" : "   ") << strLine << "\n";
    }
    out << "\nextern const std::uint8_t FontAtlasPixels[FontAtlas::Bytes];\n"
           "const std::uint8_t FontAtlasPixels[FontAtlas::Bytes] = {\n";
    // One source line per ten pixels of a row: one cell's width.
    for (int r = CellHeight - 1; r >= 0; --r) {
        out << "    // row " << CellHeight - 1 - r << "\n";
        for (int x = 0; x < AtlasWidth; x += CellWidth) {
            out << "   ";
            for (int c = x; c < x + CellWidth; ++c) {
                const int v = grey[std::size_t(r) * AtlasWidth + std::size_t(c)];
                out << ' ' << v << ',' << v << ',' << v << ',';
            }
            out << "\n";
        }
    }
    out << "};\n";
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "Usage: make_font_atlas FONT.ttf LICENCE.txt > FontAtlas.inc\n";
        return 2;
    }
    try {
        FT_Library library = nullptr;
        FT_Face face = nullptr;
        if (FT_Init_FreeType(&library)) throw std::runtime_error("FreeType does not start");
        if (FT_New_Face(library, argv[1], 0, &face)) throw std::runtime_error(std::string("cannot open ") + argv[1]);
        if (!FT_IS_FIXED_WIDTH(face)) throw std::runtime_error(std::string(argv[1]) + " is not a monospaced font");
        const std::string strLicence = ReadText(argv[2]);
        // From 20 pixels per em down to 6, the first size at which all fit.
        std::optional<Layout> layout;
        FT_F26Dot6 iSize = 20 * 64;
        for (; iSize >= 6 * 64 && !(layout = Fit(face, iSize)); --iSize) {
        }
        if (!layout) throw std::runtime_error("no size from 6 to 20 pixels fits every glyph in 10 x 20");
        const std::string strFont = std::string(face->family_name) + " " + face->style_name;
        Write(std::cout, Draw(*layout), strFont, face->family_name, strLicence, iSize, layout->m_iBaseline);
        std::cerr << strFont << " at " << iSize / 64.0 << " px, baseline row " << layout->m_iBaseline << "\n";
        FT_Done_Face(face);
        FT_Done_FreeType(library);
    } catch (const std::exception& error) {
        std::cerr << "make_font_atlas: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
