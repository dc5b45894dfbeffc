#version 430 core
// Reads: one corner of the unit quad per vertex (attribute 0, (0,0) to
// (1,1), (0,0) the bottom left) and one glyph number per instance
// (attribute 1, character code - 32, so 0 is the space); the size of one
// glyph on the target (uniform 1) and the position of the line (uniform 2),
// both in normalized device coordinates.
// Writes: instance i of a line as a glyph-sized quad whose bottom-left corner
// lies i glyph widths right of the line position, so the line position marks
// the bottom-left corner of the line's first glyph; for the fragment stage
// the corner in the glyph's cell (0 to 1 on both axes) and the glyph number.
// The line position is moved to the nearest pixel corner (half a pixel at
// most), so that every atlas texel lands on one target pixel and the glyphs
// stay sharp wherever the line is placed.

layout(location = 0) in vec3 Corner;
layout(location = 1) in int Glyph;

layout(location = 1) uniform vec2 GlyphSize;
layout(location = 2) uniform vec2 LinePosition;

out vec2 CellCoord;
flat out int GlyphNumber;

// The texels of one atlas cell, drawn one to a pixel.
const vec2 CellTexels = vec2(10.0, 20.0);

void main()
{
    CellCoord = Corner.xy;
    GlyphNumber = Glyph;
    vec2 vPixel = GlyphSize / CellTexels;
    vec2 vLine = floor((LinePosition + 1.0) / vPixel + 0.5) * vPixel - 1.0;
    vec2 vPosition = vLine + (Corner.xy + vec2(float(gl_InstanceID), 0.0)) * GlyphSize;
    gl_Position = vec4(vPosition, 0.0, 1.0);
}
