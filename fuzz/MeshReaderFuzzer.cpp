// The mesh-file module's reader fed arbitrary bytes through Assimp from
// memory, in one of the formats the mesh source is documented for: the
// first byte picks the format (the importer Assimp takes for its extension),
// the rest is the file. A file is refused (Ondo::ExceptionParsing) or gives a
// mesh whose faces index its vertices; a crash, a hang, a sanitizer report,
// an allocation past the run's memory limit or a face out of range is a
// finding. Assimp's other importers are not fuzzed here: a 28-byte Quick3D
// file asks for 885 GB, which the allocator refuses in a real run.

#include "host/Modules/MeshFile.h"

#include "Ondo/Exceptions.h"

#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace {

const char* const s_Formats[] = {"obj", "ply", "stl", "off", "gltf", "glb"};

} // namespace

// In this process: the fuzzer must see what the importer does, which a
// real run keeps apart in a child process.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Ondo::Host::SetMeshImportLimits({0, 0, false});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize)
{
    if (uiSize < 2) return 0;
    const char* szFormat = s_Formats[pData[0] % std::size(s_Formats)];
    try {
        const Ondo::GFX::Mesh mesh = Ondo::Host::ReadMeshFromMemory(pData + 1, uiSize - 1, szFormat, 80.0f);
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
