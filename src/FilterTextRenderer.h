#pragma once

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/FlowGraph/ValuePorts.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"
#include "Ondo/Vector.h"

#include <GL/glew.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Prismvale {

// The font the text renderer carries: one row of 95 cells of 10 x 20 pixels,
// cell k holding the character 32 + k, grey glyphs (three equal 8-bit
// channels, 255 ink on 0), rows stored from the bottom up. Made by
// tools/make_font_atlas.cpp.
struct FontAtlas {
    static constexpr int CellWidth = 10, CellHeight = 20, Cells = 95, FirstCode = 32;
    static constexpr int Width = CellWidth * Cells, Height = CellHeight;
    static constexpr std::size_t Bytes = std::size_t(Width) * Height * 3;
};
extern const std::uint8_t FontAtlasPixels[FontAtlas::Bytes];

// Writes lines of text in the module's monospaced font into an existing 2D
// colour texture and passes that texture on. Each glyph is one instance of a
// unit quad, 10 x 20 target pixels, blended over the target with its
// coverage in the text colour; one instanced draw per line, whose glyph
// numbers go through one buffer that is refilled for every line.
class FilterTextRenderer : public Ondo::OpenGL::BaseFilter {
public:
    // Glyphs one line draws at most: what the glyph buffer holds.
    static constexpr std::size_t MaxGlyphsPerLine = 1024;

    FilterTextRenderer(Ondo::Core& core, const std::string& strName);

    void CreatePorts() override;
    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer) override;
    void InitResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void ReleaseResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void Process(Ondo::FlowGraph::ScopeExecuter& executer) override;

    // The lines of a text: runs of line feeds and carriage returns of any
    // length separate lines, and those at either end are dropped, so no line
    // is empty.
    static std::vector<std::string> SplitLines(const std::string& strText);
    // Writes the glyph numbers of a line to pGlyphs, at most MaxGlyphsPerLine
    // of them, and returns how many: a tab is four spaces (as many of them as
    // there is room for), any other byte its code read as a signed 8-bit
    // value, minus 32. Bytes outside the font give numbers outside 0 ... 94.
    static std::size_t WriteGlyphs(const std::string& strLine, std::int32_t* pGlyphs);

private:
    using TexturePort = Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObject2D>;

    // Puts back what the drawing changed: vertex attributes, program,
    // texture unit 0, blending, framebuffer; the depth test enabled and the
    // depth mask on.
    void RestoreState();

    Ondo::FlowGraph::PortHandle<Ondo::FlowGraph::SimplePortT<std::string>> hStringIn;
    Ondo::FlowGraph::PortHandle<Ondo::FlowGraph::SimplePortT<Ondo::Vector2f>> hTextPosition;
    Ondo::FlowGraph::PortHandle<Ondo::FlowGraph::SimplePortT<Ondo::Vector3f>> hTextColor;
    Ondo::FlowGraph::PortHandle<TexturePort> hTextureTargetColor;
    Ondo::FlowGraph::PortHandle<TexturePort> hTextureOutColor;
    GLuint m_uiFBO = 0;
    GLuint m_uiProgram = 0;
    // The unit quad as a triangle strip, and the glyph numbers of one line.
    GLuint m_uiQuadBuffer = 0;
    GLuint m_uiGlyphBuffer = 0;
    GLuint m_uiDefaultSampler = 0;
    Ondo::OpenGL::TextureObject2D m_FontTexture;
};

} // namespace Prismvale
