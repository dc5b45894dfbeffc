#include "src/FilterMeshToBuffer.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/GFX/ImageLoader.h"
#include "Ondo/Instrumenter.h"
#include "Ondo/OpenGL/Textures.h"
#include "Ondo/StringConversion.h"

#include <GL/glew.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>

namespace Prismvale {

namespace {
const FilterRegistration<FilterMeshToBuffer> s_Registration("OpenGL.MeshToBuffer", "src\\FilterMeshToBuffer",
                                                            "For converting a GFX::Mesh to OpenGL Buffers",
                                                            "OpenGL;Mesh;Buffer;");

// A new buffer on the target holding the bytes; the buffer stays bound.
void Upload(Ondo::OpenGL::BufferObject& buffer, GLenum eTarget, const void* pData, std::size_t uiBytes)
{
    glGenBuffers(1, &buffer.m_uiName);
    glBindBuffer(eTarget, buffer.m_uiName);
    glBufferData(eTarget, static_cast<GLsizeiptr>(uiBytes), pData, GL_STATIC_DRAW);
}

template <class T>
void UploadArray(Ondo::OpenGL::BufferObject& buffer, GLenum eTarget, const std::vector<T>& values)
{
    if (!values.empty()) Upload(buffer, eTarget, values.data(), values.size() * sizeof(T));
}

Ondo::Vector4f WithAlpha(const Ondo::Vector3f& vColour, float fAlpha)
{
    return {vColour[0], vColour[1], vColour[2], fAlpha};
}
} // namespace

FilterMeshToBuffer::FilterMeshToBuffer(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName)
{
}

void FilterMeshToBuffer::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hMeshIn, {PortType::Input, "Mesh", false});
    CreatePort(hPositionsOut, {PortType::Output, "Positions", false});
    CreatePort(hNormalsOut, {PortType::Output, "Normals", false});
    CreatePort(hTexCoordOut, {PortType::Output, "TextureCoordinates", false});
    CreatePort(hIndexBufferOut, {PortType::Output, "IndexBuffer", false});
    CreatePort(hMaterialIndicesOut, {PortType::Output, "Material Face Indices", false});
    CreatePort(hMaterialGroupOut, {PortType::Output, "MaterialGroups", false});
    CreatePort(hMaterialsOut, {PortType::Output, "Materials", false});
}

void FilterMeshToBuffer::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    BaseFilter::Serialize(serializer);
    serializer.Serialize("hMeshIn", hMeshIn);
    serializer.Serialize("hPositionsOut", hPositionsOut);
    serializer.Serialize("hNormalsOut", hNormalsOut);
    serializer.Serialize("hTexCoordOut", hTexCoordOut);
    serializer.Serialize("hIndexBufferOut", hIndexBufferOut);
    serializer.Serialize("hMaterialGroupOut", hMaterialGroupOut);
    serializer.Serialize("hMaterialsOut", hMaterialsOut);
    serializer.Serialize("hMaterialIndicesOut", hMaterialIndicesOut);
    serializer.Serialize("bTexturesAreMutable", bTexturesAreMutable);
    serializer.Serialize("bCreateMipMapsOfTextures", bCreateMipMapsOfTextures);
}

void FilterMeshToBuffer::Instrument(Ondo::Instrumenter& instrumenter)
{
    BaseFilter::Instrument(instrumenter);
    const Ondo::Instrumenter::Callback fnDirty = [this] { m_bDirty = true; };
    instrumenter.AddBool("Textures are mutable", &bTexturesAreMutable, fnDirty);
    instrumenter.AddBool("Create Mipmaps", &bCreateMipMapsOfTextures, fnDirty);
}

void FilterMeshToBuffer::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) {}

void FilterMeshToBuffer::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { Release(); }

void FilterMeshToBuffer::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    MeshPort& meshIn = *hMeshIn;
    bool bChanged = false;
    if (meshIn.HasChanged() || m_bDirty) {
        Rebuild(meshIn.GetData());
        m_bDirty = false;
        bChanged = true;
    }
    hPositionsOut->SetData(&m_PositionBuffer, bChanged);
    hNormalsOut->SetData(&m_NormalBuffer, bChanged);
    hTexCoordOut->SetData(&m_TexCoordBuffer, bChanged);
    hIndexBufferOut->SetData(&m_IndexBuffer, bChanged);
    hMaterialGroupOut->SetData(&m_MaterialGroups, bChanged);
    hMaterialsOut->SetData(&m_Materials, bChanged);
    hMaterialIndicesOut->SetData(&m_MaterialFaceBuffer, bChanged);
}

// A mesh whose attributes do not line up, or whose faces name vertices it
// does not have, would make the renderers read past the ends of the vertex
// buffers: it is refused before anything is released or uploaded.
void FilterMeshToBuffer::CheckMesh(const Ondo::GFX::Mesh& mesh) const
{
    const std::size_t uiVertices = mesh.m_Positions.size();
    const auto fnRefuse = [&](const std::string& strWhy) { throw std::runtime_error("\"Mesh\": " + strWhy); };
    if (!mesh.m_Normals.empty() && mesh.m_Normals.size() != uiVertices)
        fnRefuse(std::to_string(mesh.m_Normals.size()) + " normals for " + std::to_string(uiVertices) + " positions");
    if (!mesh.m_TexCoords.empty() && mesh.m_TexCoords.size() != uiVertices)
        fnRefuse(std::to_string(mesh.m_TexCoords.size()) + " texture coordinates for " + std::to_string(uiVertices) +
                 " positions");
    for (std::size_t g = 0; g < mesh.m_Groups.size(); ++g) {
        const std::vector<Ondo::GFX::MeshFace>& faces = mesh.m_Groups[g].m_Faces;
        for (std::size_t f = 0; f < faces.size(); ++f) {
            const std::vector<std::uint32_t>& indices = faces[f].m_Indices;
            if (indices.size() != 3 && indices.size() != 4) continue;
            for (const std::uint32_t uiIndex : indices)
                if (uiIndex >= uiVertices)
                    fnRefuse("face " + std::to_string(f) + " of group " + std::to_string(g) + " uses vertex " +
                             std::to_string(uiIndex) + ", but the mesh has " + std::to_string(uiVertices) +
                             " positions");
        }
    }
}

// Everything built before goes first; a port without a mesh leaves every
// buffer at GL name 0 and both lists empty.
void FilterMeshToBuffer::Rebuild(const Ondo::GFX::Mesh* pMesh)
{
    if (pMesh) CheckMesh(*pMesh);
    Release();
    m_MaterialGroups.clear();
    if (!pMesh) return;
    const Ondo::GFX::Mesh& mesh = *pMesh;

    UploadArray(m_PositionBuffer, GL_ARRAY_BUFFER, mesh.m_Positions);
    UploadArray(m_NormalBuffer, GL_ARRAY_BUFFER, mesh.m_Normals);
    UploadArray(m_TexCoordBuffer, GL_ARRAY_BUFFER, mesh.m_TexCoords);
    BuildIndices(mesh);

    m_Materials.reserve(mesh.m_Materials.size());
    for (const std::shared_ptr<Ondo::GFX::MeshMaterial>& pMaterial : mesh.m_Materials)
        m_Materials.push_back(pMaterial ? ConvertMaterial(*pMaterial) : Ondo::OpenGL::SimpleMaterial{});
}

// Triangles (quads split along their first diagonal) sorted by material into
// one index range per material, negative indices first; the material of each
// triangle in the order of the mesh's faces.
void FilterMeshToBuffer::BuildIndices(const Ondo::GFX::Mesh& mesh)
{
    std::map<std::int32_t, std::vector<std::uint32_t>> byMaterial;
    std::vector<std::int32_t> faceMaterials;
    for (const Ondo::GFX::MeshGroup& group : mesh.m_Groups) {
        for (const Ondo::GFX::MeshFace& face : group.m_Faces) {
            const std::vector<std::uint32_t>& i = face.m_Indices;
            if (i.size() != 3 && i.size() != 4) continue;
            std::vector<std::uint32_t>& target = byMaterial[face.m_iMaterial];
            target.insert(target.end(), {i[0], i[1], i[2]});
            faceMaterials.push_back(face.m_iMaterial);
            if (i.size() == 4) {
                target.insert(target.end(), {i[0], i[2], i[3]});
                faceMaterials.push_back(face.m_iMaterial);
            }
        }
    }

    std::vector<std::uint32_t> indices;
    indices.reserve(3 * faceMaterials.size());
    for (const auto& [iMaterial, groupIndices] : byMaterial) {
        Ondo::OpenGL::SimpleMaterialGroup group;
        group.m_uiMaterialIndex = static_cast<std::uint32_t>(iMaterial);
        group.m_uiFirstIndex = static_cast<std::uint32_t>(indices.size());
        group.m_uiIndexCount = static_cast<std::uint32_t>(groupIndices.size());
        group.m_uiMinVertexIndex = 0xFFFFFFFFu;
        group.m_uiMaxVertexIndex = 0;
        for (const std::uint32_t uiIndex : groupIndices) {
            group.m_uiMinVertexIndex = std::min(group.m_uiMinVertexIndex, uiIndex);
            group.m_uiMaxVertexIndex = std::max(group.m_uiMaxVertexIndex, uiIndex);
        }
        m_MaterialGroups.push_back(group);
        indices.insert(indices.end(), groupIndices.begin(), groupIndices.end());
    }

    UploadArray(m_MaterialFaceBuffer, GL_ARRAY_BUFFER, faceMaterials);
    UploadArray(m_IndexBuffer, GL_ELEMENT_ARRAY_BUFFER, indices);
}

Ondo::OpenGL::SimpleMaterial FilterMeshToBuffer::ConvertMaterial(const Ondo::GFX::MeshMaterial& material)
{
    Ondo::OpenGL::SimpleMaterial converted;
    converted.m_vAmbient = WithAlpha(material.m_vAmbient, material.m_fOpacity);
    converted.m_vDiffuse = WithAlpha(material.m_vDiffuse, material.m_fOpacity);
    converted.m_vSpecular = WithAlpha(material.m_vSpecular, material.m_fOpacity);
    converted.m_vEmission = WithAlpha(material.m_vEmissive, material.m_fOpacity);
    converted.m_fShininess = material.m_fShininess;
    converted.m_strName = material.m_strName;
    for (const Ondo::GFX::MeshTexture& texture : material.m_Textures)
        converted.m_Textures.push_back({LoadTexture(texture.m_strFileName), texture.m_strKind});
    return converted;
}

// A file that cannot be read or decoded gives no texture and is not cached,
// so a later material naming it tries again. The materials are then not what
// the mesh describes: that is reported to the core (the image loader reports
// the files it cannot decode itself), and the run stops after this filter.
std::shared_ptr<Ondo::OpenGL::TextureObject2D> FilterMeshToBuffer::LoadTexture(const std::wstring& strPath)
{
    const auto it = m_TextureCache.find(strPath);
    if (it != m_TextureCache.end()) return it->second;

    const auto fnReport = [&](const std::string& strWhy) {
        std::string strName;
        try {
            strName = Ondo::WideToUtf8(strPath);
        } catch (const std::range_error&) {
            strName = "(a name that is no valid text)";
        }
        GetCore().ReportError("\"Materials\": the texture " + strName + " cannot be loaded: " + strWhy);
    };
    std::unique_ptr<Ondo::GFX::ImageData> pImage;
    try {
        pImage = Ondo::GFX::ImageLoader::Get(GetCore()).Load(strPath);
    } catch (const std::exception& error) {
        fnReport(error.what());
        return nullptr;
    }
    if (!pImage) return nullptr;

    GLuint uiTexture = 0;
    try {
        uiTexture = Ondo::OpenGL::LoadTexture2D(*pImage, bTexturesAreMutable, bCreateMipMapsOfTextures);
    } catch (const std::runtime_error& error) {
        fnReport(error.what());
        return nullptr;
    }
    auto pTexture = std::make_shared<Ondo::OpenGL::TextureObject2D>(uiTexture);
    if (bCreateMipMapsOfTextures) {
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, uiTexture);
        glGenerateMipmap(GL_TEXTURE_2D);
    }
    m_TextureCache[strPath] = pTexture;
    return pTexture;
}

// The material-group list stays: it describes the last build until the next
// rebuild replaces it.
void FilterMeshToBuffer::Release()
{
    m_PositionBuffer.Release();
    m_NormalBuffer.Release();
    m_TexCoordBuffer.Release();
    m_IndexBuffer.Release();
    m_MaterialFaceBuffer.Release();
    for (Ondo::OpenGL::SimpleMaterial& material : m_Materials)
        for (Ondo::OpenGL::TextureReference& reference : material.m_Textures)
            if (reference.m_pTexture) reference.m_pTexture->Release();
    m_Materials.clear();
    m_TextureCache.clear();
}

} // namespace Prismvale
