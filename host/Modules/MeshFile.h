#pragma once

#include "Ondo/GFX/Mesh.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Ondo::FlowGraph {
class FilterRegistry;
}

namespace Ondo::Host {

// Reads a mesh file of any format Assimp knows (OBJ with its .mtl, PLY, STL,
// glTF 2.0 and .glb, FBX, 3DS, COLLADA, ...) into one mesh: every part of the
// scene placed by its node transforms, one group per part, polygons
// triangulated, points and lines left out. Normals are generated where the
// file has none, smoothed across edges whose faces meet at less than
// fSmoothingAngle degrees (0 gives flat faces). Texture coordinates are those
// of the first set; parts without any get (0, 0) when others have them, and
// the mesh has none when no part has. Texture files are named by absolute
// paths, found relative to the mesh file, with the backslashes of files
// written on Windows taken as separators and, failing that, by their bare
// name beside the mesh file.
//
// Throws Ondo::ExceptionFileMissing when the path names no file, and
// Ondo::ExceptionParsing when the file cannot be read as a mesh or holds no
// triangles; both messages name the file and say why. pNotes, when given,
// receives one line for each texture that is left out (textures embedded in
// the file) or whose file is not there.
GFX::Mesh ReadMeshFile(const std::wstring& strPath, float fSmoothingAngle, std::vector<std::string>* pNotes = nullptr);

// The same for a file's bytes in memory, of the format strFormatHint names
// by its extension ("obj", "ply"; empty: told by the content). Texture files
// are looked for in the current folder. Throws Ondo::ExceptionParsing.
GFX::Mesh ReadMeshFromMemory(const void* pData, std::size_t uiSize, const std::string& strFormatHint,
                             float fSmoothingAngle, std::vector<std::string>* pNotes = nullptr);

// What reading one mesh file may take. Assimp imports in a child process,
// so that a file it crashes or loops on is refused, a read taking longer
// than m_uiMaxSeconds is stopped, and one allocating more than m_uiMaxBytes
// fails; m_bIsolated false imports in this process (for fuzzing, where the
// fuzzer must see what the importer does). Set for the whole process.
struct MeshImportLimits {
    std::uint64_t m_uiMaxBytes = std::uint64_t(8) << 30;
    unsigned m_uiMaxSeconds = 300;
    bool m_bIsolated = true;
};
void SetMeshImportLimits(const MeshImportLimits& limits);
const MeshImportLimits& GetMeshImportLimits();

// The file-dialog filter of every extension the reader accepts ("*.3ds;*.obj;...").
std::wstring GetMeshFileFilter();

// Registers "Host.Mesh.File": the mesh of a file (control "File Name", key
// "strFileName") on the output "Mesh". The file is read when the graph is
// loaded or the name, the "Smoothing Angle" (key "fSmoothingAngle", default
// 80 degrees) or "Reload" is edited; a file that cannot be read is refused
// there, naming the file and the reason, and the mesh read before stays. The
// output is marked changed only after a read.
void RegisterMeshFile(FlowGraph::FilterRegistry& registry);

} // namespace Ondo::Host
