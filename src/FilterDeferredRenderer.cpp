#include "src/FilterDeferredRenderer.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/Instrumenter.h"
#include "Ondo/OpenGL/Textures.h"

#include <cstdint>
#include <stdexcept>

namespace Prismvale {

namespace {
const FilterRegistration<FilterDeferredRenderer> s_Registration("OpenGL.Render.Deferred",
                                                                "src\\FilterDeferredRenderer",
                                                                "Deferred Rendering of a mesh",
                                                                "OpenGL;Mesh;Deferred;");

// The texture of the first "Diffuse" reference of the group's material, or
// null when the group has no material or the material no such texture.
const Ondo::OpenGL::TextureObject2D* DiffuseTexture(const Ondo::OpenGL::SimpleMaterialGroup& group,
                                                    const std::vector<Ondo::OpenGL::SimpleMaterial>& materials)
{
    const auto iMaterial = static_cast<std::int32_t>(group.m_uiMaterialIndex);
    if (iMaterial < 0 || static_cast<std::size_t>(iMaterial) >= materials.size()) return nullptr;
    for (const Ondo::OpenGL::TextureReference& reference : materials[static_cast<std::size_t>(iMaterial)].m_Textures) {
        if (reference.m_strType != "Diffuse") continue;
        const Ondo::OpenGL::TextureObject2D* pTexture = reference.m_pTexture.get();
        return pTexture && pTexture->m_uiName != 0 ? pTexture : nullptr;
    }
    return nullptr;
}

std::string GroupText(std::size_t uiGroup) { return "\"MaterialGroups\": group " + std::to_string(uiGroup); }
} // namespace

FilterDeferredRenderer::FilterDeferredRenderer(Ondo::Core& core, const std::string& strName)
    : FilterDeferredRenderer(core, strName, L"DeferredRenderer/DeferredRenderer.vert",
                             L"DeferredRenderer/DeferredRenderer.frag")
{
}

FilterDeferredRenderer::FilterDeferredRenderer(Ondo::Core& core, const std::string& strName, std::wstring strVertex,
                                               std::wstring strFragment)
    : BaseFilter(core, strName, strName), m_Pass(*this, std::move(strVertex), std::move(strFragment))
{
}

void FilterDeferredRenderer::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hIndicesIn, {PortType::Input, "IndexBuffer", false});
    CreatePort(hPositionsIn, {PortType::Input, "Positions", false});
    CreatePort(hNormalsIn, {PortType::Input, "Normals", false});
    CreatePort(hTexCoords, {PortType::Input, "TexCoords", false});
    CreatePort(hMatWorldIn, {PortType::Input, "World-Matrix", true});
    CreatePort(hMatViewIn, {PortType::Input, "View-Matrix", false});
    CreatePort(hMatProjIn, {PortType::Input, "Projection-Matrix", false});
    CreatePort(hTextureDepthIn, {PortType::Input, "Depth Target", false});
    CreatePort(hMaterialsIn, {PortType::Input, "Materials", false});
    CreatePort(hMaterialGroupIn, {PortType::Input, "MaterialGroups", false});
    CreatePort(hSamplerStateIn, {PortType::Input, "SamplerState", true});
    CreatePort(hDepthOut, {PortType::Output, "Depth", false});
}

void FilterDeferredRenderer::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    BaseFilter::Serialize(serializer);
    serializer.Serialize("ShaderHelper", m_Pass.GetHooker());
    serializer.Serialize("hMatWorldIn", hMatWorldIn);
    serializer.Serialize("hMatViewIn", hMatViewIn);
    serializer.Serialize("hMatProjIn", hMatProjIn);
    serializer.Serialize("hTextureDepthIn", hTextureDepthIn);
    serializer.Serialize("hIndicesIn", hIndicesIn);
    serializer.Serialize("hPositionsIn", hPositionsIn);
    serializer.Serialize("hNormalsIn", hNormalsIn);
    serializer.Serialize("hTexCoords", hTexCoords);
    serializer.Serialize("hDepthOut", hDepthOut);
    serializer.Serialize("hMaterialsIn", hMaterialsIn);
    serializer.Serialize("hMaterialGroupIn", hMaterialGroupIn);
    serializer.Serialize("hSamplerStateIn", hSamplerStateIn);
}

void FilterDeferredRenderer::Instrument(Ondo::Instrumenter& instrumenter)
{
    BaseFilter::Instrument(instrumenter);
    instrumenter.AddFileLink("Vertex Shader", m_Pass.GetVertexPath());
    instrumenter.AddFileLink("Fragment Shader", m_Pass.GetFragmentPath());
}

void FilterDeferredRenderer::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    m_Pass.Build();
    m_iSamplerLocation = glGetUniformLocation(m_Pass.GetProgram(), "sampTexture");
    m_uiDefaultSampler = Ondo::OpenGL::CreateDefaultSamplerState();
}

void FilterDeferredRenderer::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    m_Pass.Release();
    if (m_uiDefaultSampler != 0) {
        glDeleteSamplers(1, &m_uiDefaultSampler);
        m_uiDefaultSampler = 0;
    }
}

void FilterDeferredRenderer::SetExtraUniforms(GLuint, const RenderMatrices&) {}

void FilterDeferredRenderer::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    // Everything is checked before the GL state changes, so that a refused
    // run leaves no framebuffer, program or attribute bound.
    Ondo::OpenGL::TextureObject2D* pDepth = hTextureDepthIn->GetData();
    const Ondo::Vector2i size = m_Pass.CheckTargets("Depth Target", pDepth);
    const std::vector<VertexBufferInput> buffers = {
        {hPositionsIn->GetData(), PositionAttribute, 3, "Positions: Invalid OpenGL Buffer (is zero)",
         "Position Buffer is empty"},
        {hNormalsIn->GetData(), NormalAttribute, 3, "Normals: Invalid OpenGL Buffer (is zero)",
         "Normal Buffer is empty"},
        {hTexCoords->GetData(), TexCoordAttribute, 2, "Texture Coordinates: Invalid OpenGL Buffer (is zero)",
         "TexCoord Buffer is empty"}};
    const GLuint uiVertices = m_Pass.CheckVertexBuffers(buffers);
    const RenderMatrices matrices =
        RenderMatrices::From(hMatWorldIn->GetData(), RequireMatrix(hMatViewIn->GetData(), "View-Matrix"),
                             RequireMatrix(hMatProjIn->GetData(), "Projection-Matrix"));
    static const std::vector<Ondo::OpenGL::SimpleMaterialGroup> s_NoGroups;
    static const std::vector<Ondo::OpenGL::SimpleMaterial> s_NoMaterials;
    const auto* pGroups = hMaterialGroupIn->GetData();
    const auto* pMaterials = hMaterialsIn->GetData();
    const GLuint* pSampler = hSamplerStateIn->GetData();
    const GLuint uiSampler = pSampler ? *pSampler : m_uiDefaultSampler;

    const Ondo::OpenGL::BufferObject* pIndices = hIndicesIn->GetData();
    const GLuint uiIndexBuffer = pIndices ? pIndices->m_uiName : 0;
    const std::vector<Draw> draws = PlanDraws(pGroups ? *pGroups : s_NoGroups,
                                              pMaterials ? *pMaterials : s_NoMaterials, uiIndexBuffer, uiVertices);
    m_Pass.SetMatrices(matrices);
    SetExtraUniforms(m_Pass.GetProgram(), matrices);

    m_Pass.GetHooker().UpdateUniformVariables(m_Pass.GetProgram(), 0);
    m_Pass.BindTargets(*pDepth, size);
    m_Pass.Use();
    m_Pass.BindVertexBuffers(buffers);
    DrawGroups(draws, uiIndexBuffer, uiSampler);
    m_Pass.Finish(buffers);

    hDepthOut->SetData(pDepth, true);
    m_Pass.GetHooker().SetOutputs();
}

// The groups that have a "Diffuse" texture, each with its texture. A range
// that reaches past the index buffer or names vertices the vertex buffers do
// not hold would read memory that is not the mesh's; it is refused here,
// before anything is drawn.
std::vector<FilterDeferredRenderer::Draw>
FilterDeferredRenderer::PlanDraws(const std::vector<Ondo::OpenGL::SimpleMaterialGroup>& groups,
                                  const std::vector<Ondo::OpenGL::SimpleMaterial>& materials, GLuint uiIndexBuffer,
                                  GLuint uiVertices) const
{
    GLint iIndexBytes = 0;
    if (uiIndexBuffer != 0) {
        glBindBuffer(GL_COPY_READ_BUFFER, uiIndexBuffer);
        glGetBufferParameteriv(GL_COPY_READ_BUFFER, GL_BUFFER_SIZE, &iIndexBytes);
        glBindBuffer(GL_COPY_READ_BUFFER, 0);
    }
    const auto uiIndices = static_cast<std::uint64_t>(iIndexBytes) / 4;

    std::vector<Draw> draws;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const Ondo::OpenGL::SimpleMaterialGroup& group = groups[g];
        const Ondo::OpenGL::TextureObject2D* pTexture = DiffuseTexture(group, materials);
        if (!pTexture) continue;
        const std::uint64_t uiEnd = std::uint64_t(group.m_uiFirstIndex) + group.m_uiIndexCount;
        if (uiEnd > uiIndices)
            throw std::runtime_error(GroupText(g) + " draws indices " + std::to_string(group.m_uiFirstIndex) +
                                     " to " + std::to_string(uiEnd) + ", but \"IndexBuffer\" holds " +
                                     std::to_string(uiIndices));
        if (group.m_uiIndexCount > 0 && group.m_uiMaxVertexIndex >= uiVertices)
            throw std::runtime_error(GroupText(g) + " uses vertex " + std::to_string(group.m_uiMaxVertexIndex) +
                                     ", but the vertex buffers hold " + std::to_string(uiVertices));
        draws.push_back({&group, pTexture->m_uiName});
    }
    return draws;
}

void FilterDeferredRenderer::DrawGroups(const std::vector<Draw>& draws, GLuint uiIndexBuffer, GLuint uiSampler)
{
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, uiIndexBuffer);
    for (const Draw& draw : draws) {
        const Ondo::OpenGL::SimpleMaterialGroup& group = *draw.m_pGroup;
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, draw.m_uiTexture);
        glUniform1i(m_iSamplerLocation, 0);
        glBindSampler(0, uiSampler);
        glDrawRangeElements(GL_TRIANGLES, group.m_uiMinVertexIndex, group.m_uiMaxVertexIndex,
                            static_cast<GLsizei>(group.m_uiIndexCount), GL_UNSIGNED_INT,
                            reinterpret_cast<const void*>(std::uintptr_t(group.m_uiFirstIndex) * 4));
    }
    // Unit 0 goes back to sampling with the texture's own parameters.
    glBindSampler(0, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

} // namespace Prismvale
