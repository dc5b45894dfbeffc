#version 430 core
// Reads: the font atlas on texture unit 0 (one row of cells side by side,
// glyph number k in cell k, grey coverage in red, rows from the bottom up),
// the width of one cell in texture coordinates (uniform 0) and the text
// colour (uniform 3); from the vertex stage the position in the glyph's cell
// (0 to 1) and the glyph number.
// Writes: the text colour with the glyph's coverage as alpha, which the
// renderer blends over the target, so the text lands on what the target holds.
// A glyph number the atlas has no cell for (a control character, a byte of a
// multi-byte character) draws a hollow box, so that it shows that something
// could not be drawn instead of vanishing.

layout(location = 0) uniform float CellWidth;
layout(location = 3) uniform vec3 TextColor;
layout(binding = 0) uniform sampler2D FontAtlas;

in vec2 CellCoord;
flat in int GlyphNumber;

layout(location = 0) out vec4 Color;

void main()
{
    vec2 vAtlasSize = vec2(textureSize(FontAtlas, 0));
    int iCells = int(round(1.0 / CellWidth));
    float fCoverage;
    if (GlyphNumber >= 0 && GlyphNumber < iCells) {
        // Kept half a texel inside the cell: filtering never reaches into the
        // neighbouring glyph when the text does not sit on whole pixels.
        float fHalfTexel = 0.5 / vAtlasSize.x;
        float fLeft = float(GlyphNumber) * CellWidth;
        float u = clamp(fLeft + CellCoord.x * CellWidth, fLeft + fHalfTexel, fLeft + CellWidth - fHalfTexel);
        fCoverage = texture(FontAtlas, vec2(u, CellCoord.y)).r;
    } else {
        // A box one pixel in from the cell's edges, one pixel thick.
        vec2 vCell = vec2(vAtlasSize.x * CellWidth, vAtlasSize.y);
        vec2 p = CellCoord * vCell;
        vec2 vOuter = step(vec2(1.0), p) * step(p, vCell - 1.0);
        vec2 vInner = step(vec2(2.0), p) * step(p, vCell - 2.0);
        fCoverage = vOuter.x * vOuter.y * (1.0 - vInner.x * vInner.y);
    }
    Color = vec4(TextColor, fCoverage);
}
