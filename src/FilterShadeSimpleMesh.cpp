#include "src/FilterShadeSimpleMesh.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"

#include <cstdint>
#include <stdexcept>

namespace Prismvale {

namespace {
const FilterRegistration<FilterShadeSimpleMesh> s_Registration("OpenGL.Shade.SimpleMesh",
                                                               "src\\FilterShadeSimpleMesh",
                                                               "For shading a mesh (without textures)",
                                                               "OpenGL;Mesh;Shading;");

const char* const MaterialUniforms[] = {"u_Material.m_vEmission", "u_Material.m_vAmbient", "u_Material.m_vDiffuse",
                                        "u_Material.m_vSpecular", "u_Material.m_fShininess"};

// What a group whose material index names no material is drawn with.
Ondo::OpenGL::SimpleMaterial DefaultMaterial()
{
    Ondo::OpenGL::SimpleMaterial material;
    material.m_vEmission = {0.0f, 0.0f, 0.0f, 1.0f};
    material.m_vAmbient = {0.0f, 0.0f, 0.0f, 1.0f};
    material.m_vDiffuse = {0.8f, 0.8f, 0.8f, 1.0f};
    material.m_vSpecular = {1.0f, 1.0f, 1.0f, 1.0f};
    material.m_fShininess = 0.4f;
    return material;
}

std::string GroupText(std::size_t uiGroup) { return "\"MaterialGroups\": group " + std::to_string(uiGroup); }
} // namespace

FilterShadeSimpleMesh::FilterShadeSimpleMesh(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName),
      m_Pass(*this, L"ShadeSimpleMesh/ShadeSimpleMesh.vert", L"ShadeSimpleMesh/ShadeSimpleMesh.frag")
{
}

void FilterShadeSimpleMesh::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hIndicesIn, {PortType::Input, "IndexBuffer", false});
    CreatePort(hMatWorldIn, {PortType::Input, "World-Matrix", true});
    CreatePort(hMatViewIn, {PortType::Input, "View-Matrix", false});
    CreatePort(hMatProjIn, {PortType::Input, "Projection-Matrix", false});
    CreatePort(hInLight, {PortType::Input, "Light Source", false});
    CreatePort(hTextureDepthIn, {PortType::Input, "Target Depth", false});
    CreatePort(hMaterialsIn, {PortType::Input, "Materials", false});
    CreatePort(hMaterialGroupIn, {PortType::Input, "MaterialGroups", false});
    CreatePort(hDepthOut, {PortType::Output, "Depth", false});
}

void FilterShadeSimpleMesh::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    BaseFilter::Serialize(serializer);
    serializer.Serialize("ShaderHelper", m_Pass.GetHooker());
    serializer.Serialize("hMatWorldIn", hMatWorldIn);
    serializer.Serialize("hMatViewIn", hMatViewIn);
    serializer.Serialize("hMatProjIn", hMatProjIn);
    serializer.Serialize("hInLight", hInLight);
    serializer.Serialize("hTextureDepthIn", hTextureDepthIn);
    serializer.Serialize("hIndicesIn", hIndicesIn);
    serializer.Serialize("hMaterialsIn", hMaterialsIn);
    serializer.Serialize("hMaterialGroupIn", hMaterialGroupIn);
    serializer.Serialize("hDepthOut", hDepthOut);
}

void FilterShadeSimpleMesh::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    m_Pass.Build();
    const GLuint uiProgram = m_Pass.GetProgram();
    for (std::size_t i = 0; i < m_MaterialLocations.size(); ++i)
        m_MaterialLocations[i] = glGetUniformLocation(uiProgram, MaterialUniforms[i]);
    m_iCameraLocation = glGetUniformLocation(uiProgram, "CameraPosition");
}

void FilterShadeSimpleMesh::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Release(); }

void FilterShadeSimpleMesh::CheckGroups(const std::vector<Ondo::OpenGL::SimpleMaterialGroup>& groups,
                                        GLuint uiIndexBuffer, GLuint uiVertices)
{
    GLint iIndexBytes = 0;
    glBindBuffer(GL_COPY_READ_BUFFER, uiIndexBuffer);
    glGetBufferParameteriv(GL_COPY_READ_BUFFER, GL_BUFFER_SIZE, &iIndexBytes);
    glBindBuffer(GL_COPY_READ_BUFFER, 0);
    const auto uiIndices = static_cast<std::uint64_t>(iIndexBytes) / 4;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const Ondo::OpenGL::SimpleMaterialGroup& group = groups[g];
        const std::uint64_t uiEnd = std::uint64_t(group.m_uiFirstIndex) + group.m_uiIndexCount;
        if (uiEnd > uiIndices)
            throw std::runtime_error(GroupText(g) + " draws indices " + std::to_string(group.m_uiFirstIndex) + " to " +
                                     std::to_string(uiEnd) + ", but \"IndexBuffer\" holds " +
                                     std::to_string(uiIndices));
        if (group.m_uiIndexCount > 0 && group.m_uiMaxVertexIndex >= uiVertices)
            throw std::runtime_error(GroupText(g) + " uses vertex " + std::to_string(group.m_uiMaxVertexIndex) +
                                     ", but the vertex buffers hold " + std::to_string(uiVertices));
    }
}

void FilterShadeSimpleMesh::SetMaterial(const Ondo::OpenGL::SimpleMaterial& material)
{
    const GLuint uiProgram = m_Pass.GetProgram();
    glProgramUniform4fv(uiProgram, m_MaterialLocations[0], 1, material.m_vEmission.data());
    glProgramUniform4fv(uiProgram, m_MaterialLocations[1], 1, material.m_vAmbient.data());
    glProgramUniform4fv(uiProgram, m_MaterialLocations[2], 1, material.m_vDiffuse.data());
    glProgramUniform4fv(uiProgram, m_MaterialLocations[3], 1, material.m_vSpecular.data());
    glProgramUniform1f(uiProgram, m_MaterialLocations[4], material.m_fShininess);
}

void FilterShadeSimpleMesh::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    // Everything is checked before the GL state changes, so that a refused
    // run leaves no framebuffer, program or attribute bound.
    Ondo::OpenGL::TextureObject2D* pDepth = hTextureDepthIn->GetData();
    const Ondo::Vector2i size = m_Pass.CheckTargets("Target Depth", pDepth);
    const RenderPass::AttributeBuffers attributes = m_Pass.CollectAttributeBuffers();
    const GLuint uiVertices = m_Pass.CheckVertexBuffers(attributes.m_Inputs);
    const Ondo::OpenGL::BufferObject* pIndices = hIndicesIn->GetData();
    if (!pIndices || pIndices->m_uiName == 0) throw std::runtime_error("\"IndexBuffer\" carries no buffer");
    static const std::vector<Ondo::OpenGL::SimpleMaterialGroup> s_NoGroups;
    static const std::vector<Ondo::OpenGL::SimpleMaterial> s_NoMaterials;
    const auto* pGroups = hMaterialGroupIn->GetData();
    const auto* pMaterials = hMaterialsIn->GetData();
    const std::vector<Ondo::OpenGL::SimpleMaterialGroup>& groups = pGroups ? *pGroups : s_NoGroups;
    const std::vector<Ondo::OpenGL::SimpleMaterial>& materials = pMaterials ? *pMaterials : s_NoMaterials;
    CheckGroups(groups, pIndices->m_uiName, uiVertices);
    const Ondo::GFX::LightSource* pLight = hInLight->GetData();
    if (!pLight) throw std::runtime_error("\"Light Source\" carries no light");
    const RenderMatrices matrices =
        RenderMatrices::From(hMatWorldIn->GetData(), RequireMatrix(hMatViewIn->GetData(), "View-Matrix"),
                             RequireMatrix(hMatProjIn->GetData(), "Projection-Matrix"));
    const std::optional<Ondo::Vector3f> eye = EyePosition(matrices.m_View);
    if (!eye) throw std::runtime_error("\"View-Matrix\" has no inverse, so there is no eye");

    const GLuint uiProgram = m_Pass.GetProgram();
    m_Pass.GetHooker().UpdateUniformVariables(uiProgram, 0);
    m_Pass.BindTargets(*pDepth, size);
    UploadLight(uiProgram, *pLight);
    glProgramUniform3fv(uiProgram, m_iCameraLocation, 1, eye->data());
    m_Pass.SetMatrices(matrices);
    m_Pass.Use();
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, pIndices->m_uiName);
    static const Ondo::OpenGL::SimpleMaterial s_Default = DefaultMaterial();
    for (const Ondo::OpenGL::SimpleMaterialGroup& group : groups) {
        // The index is read as signed: negative means no material.
        const auto iMaterial = static_cast<std::int32_t>(group.m_uiMaterialIndex);
        SetMaterial(iMaterial >= 0 && static_cast<std::size_t>(iMaterial) < materials.size()
                        ? materials[static_cast<std::size_t>(iMaterial)]
                        : s_Default);
        glDrawRangeElements(GL_TRIANGLES, group.m_uiMinVertexIndex, group.m_uiMaxVertexIndex,
                            static_cast<GLsizei>(group.m_uiIndexCount), GL_UNSIGNED_INT,
                            reinterpret_cast<const void*>(std::uintptr_t(group.m_uiFirstIndex) * 4));
    }
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    m_Pass.Finish({});

    hDepthOut->SetData(pDepth, true);
    m_Pass.GetHooker().SetOutputs();
}

} // namespace Prismvale
