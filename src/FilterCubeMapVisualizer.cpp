#include "src/FilterCubeMapVisualizer.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace Prismvale {

namespace {
const FilterRegistration<FilterCubeMapVisualizer> s_Registration("OpenGL.CubeMapVisualizer",
                                                                 "src\\FilterCubeMapVisualizer",
                                                                 "For visualizing a cubemap", "OpenGL;CubeMap;");

// How many whole indices the index buffer holds, after refusing one that
// names a vertex the vertex buffers do not hold: drawing it would read
// memory that is not the mesh's.
GLsizei CheckIndices(GLuint uiIndexBuffer, GLuint uiVertices)
{
    glBindBuffer(GL_COPY_READ_BUFFER, uiIndexBuffer);
    GLint iBytes = 0;
    glGetBufferParameteriv(GL_COPY_READ_BUFFER, GL_BUFFER_SIZE, &iBytes);
    std::vector<std::uint32_t> indices(static_cast<std::size_t>(iBytes) / 4);
    if (!indices.empty())
        glGetBufferSubData(GL_COPY_READ_BUFFER, 0, static_cast<GLsizeiptr>(4 * indices.size()), indices.data());
    glBindBuffer(GL_COPY_READ_BUFFER, 0);
    const auto it = std::max_element(indices.begin(), indices.end());
    if (it != indices.end() && *it >= uiVertices)
        throw std::runtime_error("\"IndexBuffer\" names vertex " + std::to_string(*it) +
                                 ", but the vertex buffers hold " + std::to_string(uiVertices));
    return static_cast<GLsizei>(indices.size());
}

const char* MinFilterName(GLint iFilter)
{
    switch (iFilter) {
    case GL_NEAREST_MIPMAP_NEAREST: return "GL_NEAREST_MIPMAP_NEAREST";
    case GL_LINEAR_MIPMAP_NEAREST: return "GL_LINEAR_MIPMAP_NEAREST";
    case GL_NEAREST_MIPMAP_LINEAR: return "GL_NEAREST_MIPMAP_LINEAR";
    default: return "GL_LINEAR_MIPMAP_LINEAR";
    }
}

// Refuses a cube map that the minification filter (the sampler's, or the
// texture's own when the sampler is 0) would find incomplete: a filter that
// reads mipmaps needs every level from the base level down to 1 x 1 or to
// the maximum level, on all six faces, or the cube map samples as black.
// Textures made with glTexStorage are complete by construction.
void CheckMipmaps(GLuint uiCube, GLuint uiSampler)
{
    GLint iPrevious = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_CUBE_MAP, &iPrevious);
    glBindTexture(GL_TEXTURE_CUBE_MAP, uiCube);
    GLint iFilter = GL_LINEAR, iImmutable = GL_FALSE, iBase = 0, iMax = 0, iSize = 0;
    if (uiSampler != 0)
        glGetSamplerParameteriv(uiSampler, GL_TEXTURE_MIN_FILTER, &iFilter);
    else
        glGetTexParameteriv(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, &iFilter);
    glGetTexParameteriv(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_IMMUTABLE_FORMAT, &iImmutable);
    glGetTexParameteriv(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_BASE_LEVEL, &iBase);
    glGetTexParameteriv(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAX_LEVEL, &iMax);
    glGetTexLevelParameteriv(GL_TEXTURE_CUBE_MAP_POSITIVE_X, iBase, GL_TEXTURE_WIDTH, &iSize);
    std::string strMissing;
    if (iFilter != GL_NEAREST && iFilter != GL_LINEAR && iImmutable != GL_TRUE) {
        for (GLint iLevel = iBase + 1; iLevel <= iMax && (iSize >> (iLevel - iBase - 1)) > 1 && strMissing.empty();
             ++iLevel)
            for (GLenum eFace = GL_TEXTURE_CUBE_MAP_POSITIVE_X; eFace <= GL_TEXTURE_CUBE_MAP_NEGATIVE_Z; ++eFace) {
                GLint iWidth = 0;
                glGetTexLevelParameteriv(eFace, iLevel, GL_TEXTURE_WIDTH, &iWidth);
                if (iWidth != std::max(1, iSize >> (iLevel - iBase))) {
                    strMissing = std::to_string(iLevel);
                    break;
                }
            }
    }
    glBindTexture(GL_TEXTURE_CUBE_MAP, static_cast<GLuint>(iPrevious));
    if (!strMissing.empty())
        throw std::runtime_error("\"Cube Map\" has no mipmap level " + strMissing + ", but its minification filter " +
                                 MinFilterName(iFilter) +
                                 " reads mipmaps, so it would sample as black; give it mipmaps or connect a "
                                 "\"Sampler State\" that filters without them");
}
} // namespace

FilterCubeMapVisualizer::FilterCubeMapVisualizer(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName),
      m_Pass(*this, L"CubeMapVisualizer/CubeMapVisualizer.vert", L"CubeMapVisualizer/CubeMapVisualizer.frag")
{
}

void FilterCubeMapVisualizer::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hIndicesIn, {PortType::Input, "IndexBuffer", false});
    CreatePort(hMatWorldIn, {PortType::Input, "World-Matrix", true});
    CreatePort(hMatViewIn, {PortType::Input, "View-Matrix", false});
    CreatePort(hMatProjIn, {PortType::Input, "Projection-Matrix", false});
    CreatePort(hTextureDepthIn, {PortType::Input, "Target Depth", false});
    CreatePort(hTextureCubeIn, {PortType::Input, "Cube Map", false});
    CreatePort(hSamplerState, {PortType::Input, "Sampler State", true});
    CreatePort(hDepthOut, {PortType::Output, "Depth", false});
}

void FilterCubeMapVisualizer::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    BaseFilter::Serialize(serializer);
    serializer.Serialize("ShaderHelper", m_Pass.GetHooker());
    serializer.Serialize("hMatWorldIn", hMatWorldIn);
    serializer.Serialize("hMatViewIn", hMatViewIn);
    serializer.Serialize("hMatProjIn", hMatProjIn);
    serializer.Serialize("hTextureCubeIn", hTextureCubeIn);
    serializer.Serialize("hTextureDepthIn", hTextureDepthIn);
    serializer.Serialize("hIndicesIn", hIndicesIn);
    serializer.Serialize("hSamplerState", hSamplerState);
    serializer.Serialize("hDepthOut", hDepthOut);
}

void FilterCubeMapVisualizer::InitResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context)
{
    ReleaseResources(device, context);
    m_Pass.Build();
    // Repeating, trilinear-style sampling for when no "Sampler State" is
    // connected.
    glGenSamplers(1, &m_uiDefaultSampler);
    for (const GLenum eWrap : {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T, GL_TEXTURE_WRAP_R})
        glSamplerParameteri(m_uiDefaultSampler, eWrap, GL_REPEAT);
    glSamplerParameteri(m_uiDefaultSampler, GL_TEXTURE_MIN_FILTER, GL_NEAREST_MIPMAP_LINEAR);
    glSamplerParameteri(m_uiDefaultSampler, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glSamplerParameterf(m_uiDefaultSampler, GL_TEXTURE_MIN_LOD, -1000.0f);
    glSamplerParameterf(m_uiDefaultSampler, GL_TEXTURE_MAX_LOD, 1000.0f);
    glSamplerParameterf(m_uiDefaultSampler, GL_TEXTURE_LOD_BIAS, 0.0f);
    m_iCameraLocation = glGetUniformLocation(m_Pass.GetProgram(), "CameraPosition");
}

void FilterCubeMapVisualizer::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    m_Pass.Release();
    if (m_uiDefaultSampler != 0) {
        glDeleteSamplers(1, &m_uiDefaultSampler);
        m_uiDefaultSampler = 0;
    }
    m_iCameraLocation = -1;
}

void FilterCubeMapVisualizer::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    // Everything is checked before the GL state changes, so that a refused
    // run leaves no framebuffer, program or attribute bound.
    Ondo::OpenGL::TextureObject2D* pDepth = hTextureDepthIn->GetData();
    const Ondo::Vector2i size = m_Pass.CheckTargets("Target Depth", pDepth);
    const RenderPass::AttributeBuffers attributes = m_Pass.CollectAttributeBuffers();
    const GLuint uiVertices = m_Pass.CheckVertexBuffers(attributes.m_Inputs);
    const Ondo::OpenGL::BufferObject* pIndices = hIndicesIn->GetData();
    if (!pIndices || pIndices->m_uiName == 0) throw std::runtime_error("\"IndexBuffer\" carries no buffer");
    const GLsizei iIndices = CheckIndices(pIndices->m_uiName, uiVertices);
    const Ondo::OpenGL::TextureObjectCube* pCube = hTextureCubeIn->GetData();
    if (!pCube || pCube->m_uiName == 0) throw std::runtime_error("\"Cube Map\" carries no texture");
    const GLuint* pSampler = hSamplerState->GetData();
    const GLuint uiSampler = pSampler ? *pSampler : m_uiDefaultSampler;
    CheckMipmaps(pCube->m_uiName, uiSampler);
    const RenderMatrices matrices =
        RenderMatrices::From(hMatWorldIn->GetData(), RequireMatrix(hMatViewIn->GetData(), "View-Matrix"),
                             RequireMatrix(hMatProjIn->GetData(), "Projection-Matrix"));
    const std::optional<Ondo::Vector3f> eye = EyePosition(matrices.m_View);
    if (!eye) throw std::runtime_error("\"View-Matrix\" has no inverse, so there is no eye");

    const GLuint uiProgram = m_Pass.GetProgram();
    m_Pass.GetHooker().UpdateUniformVariables(uiProgram, 0);
    m_Pass.BindTargets(*pDepth, size);
    glProgramUniform3fv(uiProgram, m_iCameraLocation, 1, eye->data());
    m_Pass.SetMatrices(matrices);
    m_Pass.Use();
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_CUBE_MAP, pCube->m_uiName);
    glBindSampler(0, uiSampler);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, pIndices->m_uiName);
    glDrawElements(GL_TRIANGLES, iIndices, GL_UNSIGNED_INT, nullptr);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    // Unit 0 goes back to no cube map, sampled with the texture's own
    // parameters.
    glBindSampler(0, 0);
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    m_Pass.Finish({});

    hDepthOut->SetData(pDepth, true);
    m_Pass.GetHooker().SetOutputs();
}

} // namespace Prismvale
