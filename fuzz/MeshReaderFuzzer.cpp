// The mesh-file module's reader fed arbitrary bytes through Assimp from
// memory, the format told by the content. A file is refused
// (Ondo::ExceptionParsing) or gives a mesh whose faces index its vertices; a
// crash, a hang, a sanitizer report or a face out of range is a finding.

#include "host/Modules/MeshFile.h"

#include "Ondo/Exceptions.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize)
{
    try {
        const Ondo::GFX::Mesh mesh = Ondo::Host::ReadMeshFromMemory(pData, uiSize, "", 80.0f);
        for (const Ondo::GFX::MeshGroup& group : mesh.m_Groups)
            for (const Ondo::GFX::MeshFace& face : group.m_Faces)
                for (const std::uint32_t uiIndex : face.m_Indices)
                    if (uiIndex >= mesh.m_Positions.size()) {
                        std::fprintf(stderr, "a face names vertex %u of %zu\n", uiIndex, mesh.m_Positions.size());
                        std::abort();
                    }
    } catch (const Ondo::ExceptionParsing&) {
    }
    return 0;
}
