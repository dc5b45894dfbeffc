#pragma once

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/FlowGraph/ValuePorts.h"
#include "Ondo/GFX/Mesh.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Prismvale {

// Uploads a CPU-side mesh to the GPU: one vertex buffer each for positions,
// normals and texture coordinates, an index buffer of triangles sorted by
// material (one contiguous range, a material group, per material), a buffer
// with the material index of every triangle in the mesh's face order, and the
// materials with their textures loaded. The work is done only when the mesh
// changes or an upload option is edited; otherwise the same objects are
// published again, marked unchanged.
class FilterMeshToBuffer : public Ondo::OpenGL::BaseFilter {
public:
    FilterMeshToBuffer(Ondo::Core& core, const std::string& strName);

    void CreatePorts() override;
    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer) override;
    void Instrument(Ondo::Instrumenter& instrumenter) override;
    void InitResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void ReleaseResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void Process(Ondo::FlowGraph::ScopeExecuter& executer) override;

private:
    using MeshPort = Ondo::FlowGraph::SimplePortT<Ondo::GFX::Mesh>;
    using BufferPort = Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::BufferObject>;
    using GroupsPort = Ondo::FlowGraph::SimplePortT<std::vector<Ondo::OpenGL::SimpleMaterialGroup>>;
    using MaterialsPort = Ondo::FlowGraph::SimplePortT<std::vector<Ondo::OpenGL::SimpleMaterial>>;

    void CheckMesh(const Ondo::GFX::Mesh& mesh) const;
    void Rebuild(const Ondo::GFX::Mesh* pMesh);
    void BuildIndices(const Ondo::GFX::Mesh& mesh);
    Ondo::OpenGL::SimpleMaterial ConvertMaterial(const Ondo::GFX::MeshMaterial& material);
    std::shared_ptr<Ondo::OpenGL::TextureObject2D> LoadTexture(const std::wstring& strPath);
    void Release();

    bool m_bDirty = true;
    bool bTexturesAreMutable = false;
    bool bCreateMipMapsOfTextures = false;
    Ondo::FlowGraph::PortHandle<MeshPort> hMeshIn;
    Ondo::FlowGraph::PortHandle<BufferPort> hPositionsOut;
    Ondo::FlowGraph::PortHandle<BufferPort> hNormalsOut;
    Ondo::FlowGraph::PortHandle<BufferPort> hTexCoordOut;
    Ondo::FlowGraph::PortHandle<BufferPort> hIndexBufferOut;
    Ondo::FlowGraph::PortHandle<BufferPort> hMaterialIndicesOut;
    Ondo::FlowGraph::PortHandle<GroupsPort> hMaterialGroupOut;
    Ondo::FlowGraph::PortHandle<MaterialsPort> hMaterialsOut;
    Ondo::OpenGL::BufferObject m_PositionBuffer;
    Ondo::OpenGL::BufferObject m_NormalBuffer;
    Ondo::OpenGL::BufferObject m_TexCoordBuffer;
    Ondo::OpenGL::BufferObject m_IndexBuffer;
    Ondo::OpenGL::BufferObject m_MaterialFaceBuffer;
    std::vector<Ondo::OpenGL::SimpleMaterialGroup> m_MaterialGroups;
    std::vector<Ondo::OpenGL::SimpleMaterial> m_Materials;
    // The textures loaded during the current rebuild, by file path, so that
    // materials naming one file share one texture object.
    std::map<std::wstring, std::shared_ptr<Ondo::OpenGL::TextureObject2D>> m_TextureCache;
};

} // namespace Prismvale
