#pragma once

#include "Ondo/Vector.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Ondo::GFX {

// A texture a material refers to: the file and what it is used for
// ("Diffuse", "Bump", "Specular", ...).
struct MeshTexture {
    std::wstring m_strFileName;
    std::string m_strKind;
};

struct MeshMaterial {
    std::string m_strName;
    Vector3f m_vAmbient{0.0f, 0.0f, 0.0f};
    Vector3f m_vDiffuse{1.0f, 1.0f, 1.0f};
    Vector3f m_vSpecular{0.0f, 0.0f, 0.0f};
    Vector3f m_vEmissive{0.0f, 0.0f, 0.0f};
    float m_fOpacity = 1.0f;
    float m_fShininess = 0.0f;
    std::vector<MeshTexture> m_Textures;
};

// One polygon: the material it uses (-1 for none) and its vertex indices.
struct MeshFace {
    std::int32_t m_iMaterial = -1;
    std::vector<std::uint32_t> m_Indices;
};

struct MeshGroup {
    std::string m_strName;
    std::vector<MeshFace> m_Faces;
};

// A mesh on the CPU side: vertex attributes indexed by the faces of its groups.
// Normals and texture coordinates are either empty or one per position;
// normals are of unit length, texture coordinates have (0, 0) at the bottom
// left of a picture, as OpenGL samples it. Faces turn counter-clockwise when
// seen from the side their normals point to. A material entry may be empty.
struct Mesh {
    std::vector<Vector3f> m_Positions;
    std::vector<Vector3f> m_Normals;
    std::vector<Vector2f> m_TexCoords;
    std::vector<std::shared_ptr<MeshMaterial>> m_Materials;
    std::vector<MeshGroup> m_Groups;
};

} // namespace Ondo::GFX
