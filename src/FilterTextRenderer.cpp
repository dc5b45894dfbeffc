#include "src/FilterTextRenderer.h"

#include "frame/DescriptorList.h"
#include "frame/ImageUnitFormat.h"
#include "frame/RenderPass.h"
#include "frame/ShaderPrograms.h"

#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/GFX/ImageData.h"
#include "Ondo/OpenGL/ShaderCompiler.h"
#include "Ondo/OpenGL/Textures.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace Prismvale {

#include "src/FontAtlas.inc"

namespace {
const FilterRegistration<FilterTextRenderer> s_Registration("OpenGL.TextRenderer", "src\\FilterTextRenderer",
                                                            "For outputting text to a texture", "OpenGL;Text;Font;");

// Fixed locations of the text program.
constexpr GLint CellWidthLocation = 0, GlyphSizeLocation = 1, LinePositionLocation = 2, ColorLocation = 3;
constexpr GLuint CornerAttribute = 0, GlyphAttribute = 1;

// The unit square as a triangle strip: top left, bottom left, top right,
// bottom right.
constexpr float QuadCorners[12] = {0, 1, 0, 0, 0, 0, 1, 1, 0, 1, 0, 0};
constexpr GLsizeiptr GlyphBufferBytes = FilterTextRenderer::MaxGlyphsPerLine * sizeof(std::int32_t);

bool IsLineBreak(char c) { return c == '\n' || c == '\r'; }
} // namespace

FilterTextRenderer::FilterTextRenderer(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName)
{
}

void FilterTextRenderer::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hStringIn, {PortType::Input, "String", true});
    CreatePort(hTextPosition, {PortType::Input, "Text Position", true});
    CreatePort(hTextureTargetColor, {PortType::Input, "Target Texture", false});
    CreatePort(hTextColor, {PortType::Input, "Color", true});
    CreatePort(hTextureOutColor, {PortType::Output, "Texture", false});
}

void FilterTextRenderer::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    BaseFilter::Serialize(serializer);
    serializer.Serialize("hStringIn", hStringIn);
    serializer.Serialize("hTextPosition", hTextPosition);
    serializer.Serialize("hTextureTargetColor", hTextureTargetColor);
    serializer.Serialize("hTextColor", hTextColor);
    serializer.Serialize("hTextureOutColor", hTextureOutColor);
}

void FilterTextRenderer::InitResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context)
{
    // A second initialisation without release makes everything anew.
    ReleaseResources(device, context);

    Ondo::GFX::ImageData image;
    image.m_iImageFormat = Ondo::GFX::FormatRGB8;
    image.m_iChannelLayout = Ondo::GFX::LayoutRGB;
    image.m_iComponentType = Ondo::GFX::ComponentUInt8;
    image.m_uiWidth = FontAtlas::Width;
    image.m_uiHeight = FontAtlas::Height;
    image.m_uiDepth = 0;
    image.m_uiNumFaces = 0;
    image.m_uiNumMipMaps = 1;
    image.m_uiPixelSize = 3;
    image.m_Pixels.assign(FontAtlasPixels, FontAtlasPixels + FontAtlas::Bytes);
    m_FontTexture.m_uiName = Ondo::OpenGL::LoadTexture2D(image, false, true);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, m_FontTexture.m_uiName);
    glGenerateMipmap(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, 0);
    m_uiDefaultSampler = Ondo::OpenGL::CreateDefaultSamplerState();

    glGenFramebuffers(1, &m_uiFBO);

    glGenBuffers(1, &m_uiQuadBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, m_uiQuadBuffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof(QuadCorners), QuadCorners, GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glGenBuffers(1, &m_uiGlyphBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, m_uiGlyphBuffer);
    glBufferData(GL_ARRAY_BUFFER, GlyphBufferBytes, nullptr, GL_DYNAMIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);

    m_uiProgram = BuildProgram({{GL_VERTEX_SHADER, ShaderPath(L"TextRenderer/TextRenderer.vert")},
                                {GL_FRAGMENT_SHADER, ShaderPath(L"TextRenderer/TextRenderer.frag")}});
}

void FilterTextRenderer::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    if (m_uiFBO != 0) {
        glDeleteFramebuffers(1, &m_uiFBO);
        m_uiFBO = 0;
    }
    if (m_uiProgram != 0) {
        ReleaseProgram(m_uiProgram);
        m_uiProgram = 0;
    }
    if (m_uiDefaultSampler != 0) {
        glDeleteSamplers(1, &m_uiDefaultSampler);
        m_uiDefaultSampler = 0;
    }
    for (GLuint* pBuffer : {&m_uiQuadBuffer, &m_uiGlyphBuffer})
        if (*pBuffer != 0) {
            glDeleteBuffers(1, pBuffer);
            *pBuffer = 0;
        }
    m_FontTexture.Release();
}

std::vector<std::string> FilterTextRenderer::SplitLines(const std::string& strText)
{
    std::vector<std::string> lines;
    auto it = std::find_if_not(strText.begin(), strText.end(), IsLineBreak);
    while (it != strText.end()) {
        const auto itEnd = std::find_if(it, strText.end(), IsLineBreak);
        lines.emplace_back(it, itEnd);
        it = std::find_if_not(itEnd, strText.end(), IsLineBreak);
    }
    return lines;
}

std::size_t FilterTextRenderer::WriteGlyphs(const std::string& strLine, std::int32_t* pGlyphs)
{
    std::size_t uiCount = 0;
    for (const char c : strLine) {
        if (uiCount == MaxGlyphsPerLine) break;
        if (c == '\t') {
            // Four spaces, as many as fit.
            for (int i = 0; i < 4 && uiCount < MaxGlyphsPerLine; ++i) pGlyphs[uiCount++] = 0;
            continue;
        }
        pGlyphs[uiCount++] = static_cast<std::int32_t>(static_cast<std::int8_t>(c)) - FontAtlas::FirstCode;
    }
    return uiCount;
}

void FilterTextRenderer::RestoreState()
{
    glVertexAttribDivisor(GlyphAttribute, 0);
    glDisableVertexAttribArray(GlyphAttribute);
    glDisableVertexAttribArray(CornerAttribute);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glUseProgram(0);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, 0);
    glBindSampler(0, 0);
    glDisable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ZERO);
    glFramebufferTexture(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, 0, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
}

void FilterTextRenderer::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    Ondo::OpenGL::TextureObject2D* pTarget = hTextureTargetColor->GetData();
    const std::string* pString = hStringIn->GetData();
    if (!pString) {
        hTextureOutColor->SetData(pTarget, true);
        return;
    }

    // Refused before any GL state changes: a target the framebuffer cannot
    // draw to, or a program that did not build (which would draw nothing).
    const Ondo::Vector2i size = RequireColourTarget("Target Texture", pTarget, TexelKind::Float);
    GLint iLinked = GL_FALSE;
    if (m_uiProgram != 0) glGetProgramiv(m_uiProgram, GL_LINK_STATUS, &iLinked);
    if (iLinked != GL_TRUE)
        throw std::runtime_error("the text program did not build, so nothing can be drawn (the shader log says why)");

    const std::vector<std::string> lines = SplitLines(*pString);
    const float fWidth = static_cast<float>(size.x()), fHeight = static_cast<float>(size.y());

    glViewport(0, 0, size.x(), size.y());
    glBindFramebuffer(GL_FRAMEBUFFER, m_uiFBO);
    glFramebufferTexture(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, pTarget->m_uiName, 0);
    const GLenum eDrawBuffer = GL_COLOR_ATTACHMENT0;
    glDrawBuffers(1, &eDrawBuffer);
    glDisable(GL_DEPTH_TEST);
    glDepthMask(GL_FALSE);

    Ondo::Vector2f position(0.0f, 0.0f);
    if (const Ondo::Vector2f* pPosition = hTextPosition->GetData()) position = *pPosition;
    Ondo::Vector3f colour(1.0f, 1.0f, 1.0f);
    if (const Ondo::Vector3f* pColour = hTextColor->GetData()) colour = *pColour;

    if (!Ondo::OpenGL::CheckFrameBufferStatus(m_uiFBO, nullptr)) {
        RestoreState();
        throw std::runtime_error("OpenGL::CheckFrameBufferStatus( m_uiFBO, nullptr )");
    }

    // One glyph covers 10 x 20 target pixels: 20 / width by 40 / height in
    // normalized device coordinates, which span 2 across.
    const float glyphSize[2] = {2.0f * FontAtlas::CellWidth / fWidth, 2.0f * FontAtlas::CellHeight / fHeight};
    glProgramUniform2fv(m_uiProgram, GlyphSizeLocation, 1, glyphSize);
    glProgramUniform1f(m_uiProgram, CellWidthLocation, 1.0f / FontAtlas::Cells);
    glProgramUniform3fv(m_uiProgram, ColorLocation, 1, colour.data());
    glUseProgram(m_uiProgram);

    for (GLuint i = 0; i < 8; ++i) {
        glActiveTexture(GL_TEXTURE0 + i);
        glBindTexture(GL_TEXTURE_2D, 0);
        glDisableVertexAttribArray(i);
    }
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, m_FontTexture.m_uiName);
    glBindSampler(0, m_uiDefaultSampler);
    // The glyphs' coverage is their opacity: the text is laid over the
    // target, whose alpha becomes that of the two composited.
    glEnable(GL_BLEND);
    glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);

    glEnableVertexAttribArray(CornerAttribute);
    glBindBuffer(GL_ARRAY_BUFFER, m_uiQuadBuffer);
    glVertexAttribPointer(CornerAttribute, 3, GL_FLOAT, GL_FALSE, 0, nullptr);

    for (const std::string& strLine : lines) {
        glBindBuffer(GL_ARRAY_BUFFER, m_uiGlyphBuffer);
        auto* pGlyphs = static_cast<std::int32_t*>(
            glMapBufferRange(GL_ARRAY_BUFFER, 0, GlyphBufferBytes, GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_BUFFER_BIT));
        if (!pGlyphs) {
            RestoreState();
            throw std::runtime_error("the glyph buffer could not be mapped for writing");
        }
        const std::size_t uiCount = WriteGlyphs(strLine, pGlyphs);
        glUnmapBuffer(GL_ARRAY_BUFFER);

        glEnableVertexAttribArray(GlyphAttribute);
        glBindBuffer(GL_ARRAY_BUFFER, m_uiGlyphBuffer);
        glVertexAttribIPointer(GlyphAttribute, 1, GL_INT, 0, nullptr);
        glVertexAttribDivisor(GlyphAttribute, 1);
        glProgramUniform2fv(m_uiProgram, LinePositionLocation, 1, position.data());
        glDrawArraysInstanced(GL_TRIANGLE_STRIP, 0, 4, static_cast<GLsizei>(uiCount));
        // The next line one glyph height (20 target pixels) lower.
        position[1] -= glyphSize[1];
    }

    RestoreState();
    hTextureOutColor->SetData(pTarget, true);
}

} // namespace Prismvale
