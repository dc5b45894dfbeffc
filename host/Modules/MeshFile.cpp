#include "host/Modules/MeshFile.h"

#include "host/ChildProcess.h"
#include "host/Modules/ModuleSupport.h"

#include "Ondo/FlowGraph/FilterRegistry.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/StringConversion.h"

#include <assimp/Importer.hpp>
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <new>
#include <optional>
#include <set>
#include <string_view>
#include <type_traits>
#include <utility>

namespace Ondo::Host {

namespace fs = std::filesystem;

namespace {

// Assimp's texture types under the kinds the engine's mesh materials use.
// The physically based kinds beyond these (metalness, roughness, occlusion,
// sheen, ...) have no reader here and are left out.
const std::pair<aiTextureType, const char*> s_TextureKinds[] = {
    {aiTextureType_DIFFUSE, "Diffuse"},
    {aiTextureType_BASE_COLOR, "Diffuse"},
    {aiTextureType_AMBIENT, "Ambient"},
    {aiTextureType_SPECULAR, "Specular"},
    {aiTextureType_EMISSIVE, "Emissive"},
    {aiTextureType_EMISSION_COLOR, "Emissive"},
    // OBJ's "bump" arrives as a height map, glTF's normal map as normals:
    // both carry the surface detail that the kind "Bump" stands for.
    {aiTextureType_HEIGHT, "Bump"},
    {aiTextureType_NORMALS, "Bump"},
    {aiTextureType_DISPLACEMENT, "Displacement"},
    {aiTextureType_OPACITY, "Alpha"},
    {aiTextureType_REFLECTION, "Reflection"},
    {aiTextureType_SHININESS, "SpecularExponent"},
};

bool IsFile(const fs::path& path)
{
    std::error_code error;
    return fs::is_regular_file(path, error);
}

// Where a texture named in the file lies: beside the mesh file as written; with
// backslashes taken as separators; or, for paths of another machine, by its
// bare name beside the mesh file. When it is in none of these places, the
// second answer is false and the path the one with backslashes as separators.
std::pair<fs::path, bool> FindTexture(const fs::path& folder, const std::string& strNamed)
{
    std::string strSlashed = strNamed;
    std::replace(strSlashed.begin(), strSlashed.end(), '\\', '/');
    const fs::path slashed = fs::u8path(strSlashed);
    for (const fs::path& candidate : {folder / fs::u8path(strNamed), folder / slashed, folder / slashed.filename()})
        if (IsFile(candidate)) return {fs::absolute(candidate).lexically_normal(), true};
    return {(folder / slashed).lexically_normal(), false};
}

Vector3f ColourOf(const aiMaterial& material, const char* szKey, unsigned int uiType, unsigned int uiIndex,
                  const Vector3f& vDefault)
{
    aiColor3D colour;
    if (material.Get(szKey, uiType, uiIndex, colour) != AI_SUCCESS) return vDefault;
    return {colour.r, colour.g, colour.b};
}

class SceneConverter {
public:
    SceneConverter(const aiScene& scene, const fs::path& file, float fSmoothingAngle, std::vector<std::string>* pNotes)
        : m_Scene(scene), m_Folder(fs::absolute(file).parent_path()), m_fSmoothingAngle(fSmoothingAngle),
          m_pNotes(pNotes)
    {
    }

    GFX::Mesh Convert()
    {
        for (unsigned int m = 0; m < m_Scene.mNumMaterials; ++m)
            m_Mesh.m_Materials.push_back(ConvertMaterial(*m_Scene.mMaterials[m]));
        for (unsigned int m = 0; m < m_Scene.mNumMeshes; ++m) AddPart(*m_Scene.mMeshes[m]);
        if (!m_Mesh.m_TexCoords.empty()) m_Mesh.m_TexCoords.resize(m_Mesh.m_Positions.size(), Vector2f(0.0f, 0.0f));
        return std::move(m_Mesh);
    }

private:
    // Appends one part of the scene as a group. A part without normals gets
    // them here rather than from Assimp, whose generator writes one normal
    // per shared vertex and so cannot keep the hard edges of indexed files
    // (a PLY cube): every corner gets the normal of the faces around its
    // position that meet its own face at less than the smoothing angle, and
    // the vertex is repeated where those normals differ.
    void AddPart(const aiMesh& part)
    {
        if (!(part.mPrimitiveTypes & aiPrimitiveType_TRIANGLE)) return;
        for (unsigned int v = 0; v < part.mNumVertices; ++v)
            if (!std::isfinite(part.mVertices[v].x) || !std::isfinite(part.mVertices[v].y) ||
                !std::isfinite(part.mVertices[v].z))
                throw ExceptionParsing("a vertex of \"" + std::string(part.mName.C_Str()) +
                                       "\" lies at no finite position");
        std::vector<std::array<unsigned int, 3>> triangles;
        for (unsigned int f = 0; f < part.mNumFaces; ++f)
            if (part.mFaces[f].mNumIndices == 3)
                triangles.push_back(
                    {part.mFaces[f].mIndices[0], part.mFaces[f].mIndices[1], part.mFaces[f].mIndices[2]});

        // The part's vertices as the file has them, or one per distinct
        // (vertex, generated normal), and its triangles over them.
        std::vector<unsigned int> source;
        std::vector<Vector3f> normals;
        std::vector<std::uint32_t> corners;
        if (part.HasNormals()) {
            for (unsigned int v = 0; v < part.mNumVertices; ++v) {
                source.push_back(v);
                normals.push_back(ToVector(part.mNormals[v]));
            }
            for (const auto& triangle : triangles) corners.insert(corners.end(), triangle.begin(), triangle.end());
        } else {
            const std::vector<Vector3f> generated = GenerateNormals(part, triangles);
            std::map<std::pair<unsigned int, std::array<float, 3>>, std::uint32_t> made;
            for (std::size_t c = 0; c < generated.size(); ++c) {
                if (generated[c] == Vector3f(0.0f, 0.0f, 0.0f)) continue;
                const unsigned int v = triangles[c / 3][c % 3];
                const auto key =
                    std::make_pair(v, std::array<float, 3>{generated[c][0], generated[c][1], generated[c][2]});
                const auto [it, bNew] = made.emplace(key, static_cast<std::uint32_t>(source.size()));
                if (bNew) {
                    source.push_back(v);
                    normals.push_back(generated[c]);
                }
                corners.push_back(it->second);
            }
        }

        const std::size_t uiBase = m_Mesh.m_Positions.size();
        if (uiBase + source.size() > std::numeric_limits<std::uint32_t>::max())
            throw ExceptionParsing("it has more vertices than 32-bit indices can address");
        for (std::size_t i = 0; i < source.size(); ++i) {
            m_Mesh.m_Positions.push_back(ToVector(part.mVertices[source[i]]));
            m_Mesh.m_Normals.push_back(normals[i]);
        }
        if (part.HasTextureCoords(0)) {
            m_Mesh.m_TexCoords.resize(uiBase, Vector2f(0.0f, 0.0f));
            for (const unsigned int v : source) {
                const aiVector3D& t = part.mTextureCoords[0][v];
                m_Mesh.m_TexCoords.push_back({t.x, part.mNumUVComponents[0] > 1 ? t.y : 0.0f});
            }
        }
        GFX::MeshGroup group;
        group.m_strName = part.mName.C_Str();
        const auto iMaterial = static_cast<std::int32_t>(part.mMaterialIndex);
        const auto uiOffset = static_cast<std::uint32_t>(uiBase);
        for (std::size_t c = 0; c + 2 < corners.size(); c += 3)
            group.m_Faces.push_back(
                {iMaterial, {uiOffset + corners[c], uiOffset + corners[c + 1], uiOffset + corners[c + 2]}});
        m_Mesh.m_Groups.push_back(std::move(group));
    }

    // One unit normal per triangle corner, (0, 0, 0) for the corners of
    // triangles without area, which are left out. The faces around a corner
    // weigh by their angle there, so that the normals do not depend on how
    // the file's polygons were cut into triangles.
    std::vector<Vector3f> GenerateNormals(const aiMesh& part,
                                          const std::vector<std::array<unsigned int, 3>>& triangles) const
    {
        std::vector<aiVector3D> unit;
        std::map<std::array<float, 3>, std::vector<std::pair<std::size_t, float>>> cornersAt;
        for (std::size_t t = 0; t < triangles.size(); ++t) {
            const aiVector3D p[3] = {part.mVertices[triangles[t][0]], part.mVertices[triangles[t][1]],
                                     part.mVertices[triangles[t][2]]};
            const aiVector3D normal = (p[1] - p[0]) ^ (p[2] - p[0]);
            unit.push_back(normal.Length() > 0.0f ? normal / normal.Length() : aiVector3D(0.0f, 0.0f, 0.0f));
            for (int k = 0; k < 3; ++k) {
                aiVector3D a = p[(k + 1) % 3] - p[k], b = p[(k + 2) % 3] - p[k];
                const float fLengths = a.Length() * b.Length();
                const float fAngle = fLengths > 0.0f ? std::acos(std::clamp(a * b / fLengths, -1.0f, 1.0f)) : 0.0f;
                cornersAt[Key(p[k])].emplace_back(t, fAngle);
            }
        }
        // A little slack, so that faces at exactly the angle (or an angle of
        // 0 and equal normals) count as meeting within it.
        const float fCosine = static_cast<float>(std::cos(m_fSmoothingAngle * 3.14159265358979323846 / 180.0)) - 1e-5f;
        std::vector<Vector3f> corners;
        for (std::size_t t = 0; t < triangles.size(); ++t) {
            for (const unsigned int v : triangles[t]) {
                if (unit[t].Length() == 0.0f) {
                    corners.emplace_back(0.0f, 0.0f, 0.0f);
                    continue;
                }
                aiVector3D sum(0.0f, 0.0f, 0.0f);
                for (const auto& [other, fAngle] : cornersAt[Key(part.mVertices[v])])
                    if (other == t || unit[t] * unit[other] >= fCosine) sum += unit[other] * fAngle;
                corners.push_back(ToVector(sum.Length() > 0.0f ? sum / sum.Length() : unit[t]));
            }
        }
        return corners;
    }

    static std::array<float, 3> Key(const aiVector3D& v) { return {v.x, v.y, v.z}; }
    static Vector3f ToVector(const aiVector3D& v) { return {v.x, v.y, v.z}; }

    std::shared_ptr<GFX::MeshMaterial> ConvertMaterial(const aiMaterial& source)
    {
        auto pMaterial = std::make_shared<GFX::MeshMaterial>();
        GFX::MeshMaterial& material = *pMaterial;
        aiString name;
        if (source.Get(AI_MATKEY_NAME, name) == AI_SUCCESS) material.m_strName = name.C_Str();
        material.m_vAmbient = ColourOf(source, AI_MATKEY_COLOR_AMBIENT, material.m_vAmbient);
        material.m_vDiffuse = ColourOf(source, AI_MATKEY_COLOR_DIFFUSE, material.m_vDiffuse);
        material.m_vSpecular = ColourOf(source, AI_MATKEY_COLOR_SPECULAR, material.m_vSpecular);
        material.m_vEmissive = ColourOf(source, AI_MATKEY_COLOR_EMISSIVE, material.m_vEmissive);
        source.Get(AI_MATKEY_OPACITY, material.m_fOpacity);
        source.Get(AI_MATKEY_SHININESS, material.m_fShininess);

        // A file may name one picture under two types that map to one kind
        // (glTF's base colour is also its diffuse texture): it is listed once.
        std::set<std::pair<std::string, std::string>> listed;
        for (const auto& [eType, szKind] : s_TextureKinds) {
            for (unsigned int t = 0; t < source.GetTextureCount(eType); ++t) {
                aiString path;
                if (source.GetTexture(eType, t, &path) != AI_SUCCESS || !listed.insert({path.C_Str(), szKind}).second)
                    continue;
                const std::wstring strFile = Locate(material.m_strName, path.C_Str());
                if (!strFile.empty()) material.m_Textures.push_back({strFile, szKind});
            }
        }
        return pMaterial;
    }

    // The absolute path of a texture file, or empty (with a note) when it is
    // embedded in the mesh file. A file that is not there keeps its entry,
    // so that whoever loads the textures finds it missing, and is noted.
    std::wstring Locate(const std::string& strMaterial, const std::string& strNamed)
    {
        const std::string strWhat = "the texture \"" + strNamed + "\" of the material \"" + strMaterial + "\"";
        if (strNamed.empty()) return {};
        if (strNamed[0] == '*' || m_Scene.GetEmbeddedTexture(strNamed.c_str())) {
            Note(strWhat + " is embedded in the file and left out: textures are read from files of their own");
            return {};
        }
        const auto [path, bFound] = FindTexture(m_Folder, strNamed);
        if (!bFound) Note(strWhat + " is not there: " + path.u8string());
        try {
            return Utf8ToWide(path.u8string());
        } catch (const std::range_error&) {
            Note(strWhat + " is left out: its name is no valid text");
            return {};
        }
    }

    void Note(const std::string& strNote)
    {
        if (m_pNotes) m_pNotes->push_back(strNote);
    }

    const aiScene& m_Scene;
    const fs::path m_Folder;
    const float m_fSmoothingAngle;
    std::vector<std::string>* m_pNotes;
    GFX::Mesh m_Mesh;
};

} // namespace

} // namespace Ondo::Host

// Debian's Assimp is built with its internal checks on, and a failed check
// ends the process: a truncated PLY file fails one in the triangulation. The
// library calls its check handler through the dynamic linker, so this
// definition, found before the library's own, takes its place and turns the
// failure into an exception, which the reader reports as the file's fault.
namespace Assimp {
void aiAssertViolation(const char* szExpression, const char* szFile, int iLine)
{
    throw Ondo::ExceptionParsing(std::string("the importer's check \"") + szExpression + "\" failed (" + szFile + ":" +
                                 std::to_string(iLine) + ")");
}
} // namespace Assimp

namespace Ondo::Host {

namespace {

// The words of a text header, white space between them, '#' comments left out.
class HeaderWords {
public:
    explicit HeaderWords(std::string_view text) : m_Text(text) { }
    // The next word, empty at the end.
    std::string_view Next()
    {
        for (;;) {
            while (m_uiAt < m_Text.size() && std::isspace(static_cast<unsigned char>(m_Text[m_uiAt]))) ++m_uiAt;
            if (m_uiAt >= m_Text.size() || m_Text[m_uiAt] != '#') break;
            while (m_uiAt < m_Text.size() && m_Text[m_uiAt] != '\n') ++m_uiAt;
        }
        const std::size_t uiStart = m_uiAt;
        while (m_uiAt < m_Text.size() && !std::isspace(static_cast<unsigned char>(m_Text[m_uiAt]))) ++m_uiAt;
        return m_Text.substr(uiStart, m_uiAt - uiStart);
    }

    bool Contains(char c) const { return m_Text.find(c) != std::string_view::npos; }

private:
    std::string_view m_Text;
    std::size_t m_uiAt = 0;
};

std::string LowerCase(std::string_view text)
{
    std::string strLower(text);
    for (char& c : strLower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return strLower;
}

// A count as the importers read it: the digits a word starts with, whatever
// follows them ("300ply" declares 300); larger than any file's bytes
// (saturated) when there are too many of them. Nothing when the word starts
// with no digit.
std::optional<std::uint64_t> DeclaredCount(std::string_view word)
{
    if (word.empty() || word[0] < '0' || word[0] > '9') return std::nullopt;
    std::uint64_t uiCount = 0;
    for (const char c : word) {
        if (c < '0' || c > '9') break;
        uiCount = std::min<std::uint64_t>(uiCount * 10 + static_cast<std::uint64_t>(c - '0'), std::uint64_t(1) << 60);
    }
    return uiCount;
}

// OFF and PLY headers declare how many vertices, faces or other elements
// follow, and Assimp's importers allocate for that many before reading
// them: a 72-byte OFF file declaring 6 x 10^16 faces took all the memory
// there was. A PLY header without its end line is refused as well: the
// importer loops for ever looking for it. Each element takes some bytes of the file (a vertex of an ASCII OFF
// file at least six: three digits and their separators); a declaration that
// the file's uiFileSize bytes cannot hold is refused. strHeader is the
// file's start, as much of it as the header needs.
void CheckDeclaredCounts(std::string_view strHeader, std::uint64_t uiFileSize, bool bOffByName,
                         const std::string& strFailure)
{
    const auto Refused = [&](const std::string& strDeclared) {
        throw ExceptionParsing(strFailure + "its header declares " + strDeclared + ", more than its " +
                               std::to_string(uiFileSize) + " bytes can hold");
    };
    // Binary glTF: a 12-byte header (magic, version, length), then chunks of
    // a 4-byte length and a 4-byte type each, all little-endian. The
    // importer allocates what a chunk's length says before it reads it.
    if (strHeader.substr(0, 4) == "glTF") {
        const auto Word = [&](std::size_t uiAt) {
            std::uint64_t uiWord = 0;
            for (std::size_t i = 0; i < 4; ++i)
                uiWord |= std::uint64_t{static_cast<unsigned char>(strHeader[uiAt + i])} << (8 * i);
            return uiWord;
        };
        if (strHeader.size() >= 12 && Word(8) > uiFileSize) Refused(std::to_string(Word(8)) + " bytes");
        for (std::uint64_t uiAt = 12; uiAt + 8 <= strHeader.size(); uiAt += 8 + Word(uiAt)) {
            if (Word(uiAt) > uiFileSize - uiAt - 8) Refused("a chunk of " + std::to_string(Word(uiAt)) + " bytes");
        }
        return;
    }
    HeaderWords words(strHeader);
    const std::string_view first = words.Next();
    // Told apart as loosely as the importers tell them: their first word
    // holds "OFF" (with the variants' prefixes ST, C, N, 4, n; n: a
    // dimension follows) or starts with "ply", whatever follows.
    // A file named .off goes to the OFF importer whatever it holds, and it
    // takes a file without the magic to start with its counts.
    const std::size_t uiMagic = LowerCase(first).find("off");
    if (uiMagic != std::string::npos || bOffByName) {
        // The importer reads the counts straight after the magic, also
        // where no space parts them from it ("OFF300").
        std::string_view rest = uiMagic == std::string::npos ? first : first.substr(uiMagic + 3);
        const auto NextWord = [&] {
            const std::string_view word = rest.empty() ? words.Next() : rest;
            rest = {};
            return word;
        };
        if (uiMagic != std::string::npos && first.substr(0, uiMagic).find('n') != std::string_view::npos) NextWord();
        const std::uint64_t uiVertices = DeclaredCount(NextWord()).value_or(0);
        const std::uint64_t uiFaces = DeclaredCount(NextWord()).value_or(0);
        if (2 * uiFaces > uiFileSize || uiVertices > (uiFileSize - 2 * uiFaces) / 6)
            Refused(std::to_string(uiVertices) + " vertices and " + std::to_string(uiFaces) + " faces");
        return;
    }
    if (LowerCase(first.substr(0, 3)) != "ply") return;
    // Line by line: the end is a line of its own, not a word that ends
    // another declaration.
    std::uint64_t uiElements = 0, uiBytesEach = 1;
    bool bEnded = false;
    for (std::size_t uiLine = 0; !bEnded && uiLine < strHeader.size();) {
        const std::size_t uiEnd = std::min(strHeader.find('\n', uiLine), strHeader.size());
        HeaderWords line(strHeader.substr(uiLine, uiEnd - uiLine));
        uiLine = uiEnd + 1;
        // The importer reads its header as C text: a NUL byte ends a line
        // for it that it then never gets past.
        if (line.Contains('\0')) throw ExceptionParsing(strFailure + "its PLY header holds a NUL byte");
        const std::string_view keyword = line.Next();
        bEnded = keyword == "end_header";
        if (keyword == "format" && line.Next() == "ascii") uiBytesEach = 2;
        if (keyword != "element") continue;
        line.Next();
        if (const auto count = DeclaredCount(line.Next())) uiElements = std::min(uiElements + *count, std::uint64_t(1) << 61);
    }
    // The importer's header parser never stops when the end is missing.
    if (!bEnded)
        throw ExceptionParsing(strFailure + "its PLY header has no end_header line" +
                               (strHeader.size() < uiFileSize ? " in its first " + std::to_string(strHeader.size()) +
                                                                    " bytes"
                                                              : std::string()));
    if (uiElements > uiFileSize / uiBytesEach) Refused(std::to_string(uiElements) + " elements");
}

// What reading a file and reading bytes share: the importer's steps, the
// conversion into one mesh and the checks of what came out. fnRead hands the
// importer its input; texture files are looked for beside file.
template <class Read>
GFX::Mesh ImportInProcess(Read&& fnRead, const fs::path& file, const std::string& strFailure, float fSmoothingAngle,
                     std::vector<std::string>* pNotes)
{
    Assimp::Importer importer;
    // Points and lines, also those that degenerate triangles collapse to, have no surface to draw.
    importer.SetPropertyInteger(AI_CONFIG_PP_SBP_REMOVE, aiPrimitiveType_POINT | aiPrimitiveType_LINE);
    importer.SetPropertyBool(AI_CONFIG_PP_FD_REMOVE, true);
    const unsigned int uiSteps = aiProcess_ValidateDataStructure | aiProcess_PreTransformVertices |
                                 aiProcess_Triangulate | aiProcess_FindDegenerates | aiProcess_SortByPType |
                                 aiProcess_FindInvalidData | aiProcess_GenUVCoords | aiProcess_TransformUVCoords |
                                 aiProcess_JoinIdenticalVertices;
    const aiScene* pScene = nullptr;
    try {
        pScene = fnRead(importer, uiSteps);
    } catch (const std::exception& error) {
        throw ExceptionParsing(strFailure + error.what());
    }
    if (!pScene) throw ExceptionParsing(strFailure + importer.GetErrorString());

    SceneConverter converter(*pScene, file, fSmoothingAngle, pNotes);
    GFX::Mesh mesh;
    try {
        mesh = converter.Convert();
    } catch (const ExceptionParsing& error) {
        throw ExceptionParsing(strFailure + error.what());
    }
    const bool bHasTriangles = std::any_of(mesh.m_Groups.begin(), mesh.m_Groups.end(),
                                           [](const GFX::MeshGroup& group) { return !group.m_Faces.empty(); });
    if (!bHasTriangles) throw ExceptionParsing(strFailure + "it holds no polygons to draw");
    return mesh;
}

// A mesh and the notes on it as bytes, to come back from a child process
// (the same program: the layouts match). Every number is written as 64 bits.
class MeshBytes {
public:
    static std::string Write(const GFX::Mesh& mesh, const std::vector<std::string>& notes)
    {
        MeshBytes bytes;
        bytes.PutArray(mesh.m_Positions);
        bytes.PutArray(mesh.m_Normals);
        bytes.PutArray(mesh.m_TexCoords);
        bytes.Put(std::uint64_t{mesh.m_Materials.size()});
        for (const auto& pMaterial : mesh.m_Materials) {
            bytes.Put(std::uint64_t{pMaterial ? 1u : 0u});
            if (!pMaterial) continue;
            bytes.PutText(pMaterial->m_strName);
            for (const Vector3f& v :
                 {pMaterial->m_vAmbient, pMaterial->m_vDiffuse, pMaterial->m_vSpecular, pMaterial->m_vEmissive})
                bytes.Put(&v, sizeof(v));
            bytes.Put(&pMaterial->m_fOpacity, sizeof(float));
            bytes.Put(&pMaterial->m_fShininess, sizeof(float));
            bytes.Put(std::uint64_t{pMaterial->m_Textures.size()});
            for (const GFX::MeshTexture& texture : pMaterial->m_Textures) {
                bytes.PutText(texture.m_strFileName);
                bytes.PutText(texture.m_strKind);
            }
        }
        bytes.Put(std::uint64_t{mesh.m_Groups.size()});
        for (const GFX::MeshGroup& group : mesh.m_Groups) {
            bytes.PutText(group.m_strName);
            bytes.Put(std::uint64_t{group.m_Faces.size()});
            for (const GFX::MeshFace& face : group.m_Faces) {
                bytes.Put(&face.m_iMaterial, sizeof(face.m_iMaterial));
                bytes.PutArray(face.m_Indices);
            }
        }
        bytes.Put(std::uint64_t{notes.size()});
        for (const std::string& strNote : notes) bytes.PutText(strNote);
        return std::move(bytes.m_strBytes);
    }

    static GFX::Mesh Read(const std::string& strBytes, std::vector<std::string>* pNotes)
    {
        MeshBytes bytes;
        bytes.m_strBytes = strBytes;
        GFX::Mesh mesh;
        bytes.GetArray(mesh.m_Positions);
        bytes.GetArray(mesh.m_Normals);
        bytes.GetArray(mesh.m_TexCoords);
        mesh.m_Materials.resize(bytes.GetNumber());
        for (auto& pMaterial : mesh.m_Materials) {
            if (bytes.GetNumber() == 0) continue;
            pMaterial = std::make_shared<GFX::MeshMaterial>();
            bytes.GetText(pMaterial->m_strName);
            for (Vector3f* pV :
                 {&pMaterial->m_vAmbient, &pMaterial->m_vDiffuse, &pMaterial->m_vSpecular, &pMaterial->m_vEmissive})
                bytes.Get(pV, sizeof(*pV));
            bytes.Get(&pMaterial->m_fOpacity, sizeof(float));
            bytes.Get(&pMaterial->m_fShininess, sizeof(float));
            pMaterial->m_Textures.resize(bytes.GetNumber());
            for (GFX::MeshTexture& texture : pMaterial->m_Textures) {
                bytes.GetText(texture.m_strFileName);
                bytes.GetText(texture.m_strKind);
            }
        }
        mesh.m_Groups.resize(bytes.GetNumber());
        for (GFX::MeshGroup& group : mesh.m_Groups) {
            bytes.GetText(group.m_strName);
            group.m_Faces.resize(bytes.GetNumber());
            for (GFX::MeshFace& face : group.m_Faces) {
                bytes.Get(&face.m_iMaterial, sizeof(face.m_iMaterial));
                bytes.GetArray(face.m_Indices);
            }
        }
        std::vector<std::string> notes(bytes.GetNumber());
        for (std::string& strNote : notes) bytes.GetText(strNote);
        if (pNotes) pNotes->insert(pNotes->end(), notes.begin(), notes.end());
        return mesh;
    }

private:
    void Put(const void* pData, std::size_t uiSize)
    {
        if (uiSize > 0) m_strBytes.append(static_cast<const char*>(pData), uiSize);
    }
    // Empty arrays have no data pointer to copy to.
    void Get(void* pData, std::size_t uiSize)
    {
        if (uiSize == 0) return;
        if (uiSize > m_strBytes.size() - m_uiAt) throw std::length_error("a mesh answer cut short");
        std::memcpy(pData, m_strBytes.data() + m_uiAt, uiSize);
        m_uiAt += uiSize;
    }
    void Put(std::uint64_t uiNumber) { Put(&uiNumber, sizeof(uiNumber)); }
    std::uint64_t GetNumber()
    {
        std::uint64_t uiNumber = 0;
        Get(&uiNumber, sizeof(uiNumber));
        if (uiNumber > m_strBytes.size()) throw std::length_error("a mesh answer cut short");
        return uiNumber;
    }
    template <class T>
    void PutArray(const std::vector<T>& values)
    {
        static_assert(std::is_trivially_copyable_v<T>);
        Put(std::uint64_t{values.size()});
        Put(values.data(), values.size() * sizeof(T));
    }
    template <class T>
    void GetArray(std::vector<T>& values)
    {
        values.resize(GetNumber());
        Get(values.data(), values.size() * sizeof(T));
    }
    template <class String>
    void PutText(const String& strText)
    {
        Put(std::uint64_t{strText.size()});
        Put(strText.data(), strText.size() * sizeof(strText[0]));
    }
    template <class String>
    void GetText(String& strText)
    {
        strText.resize(GetNumber());
        Get(strText.data(), strText.size() * sizeof(strText[0]));
    }

    std::string m_strBytes;
    std::size_t m_uiAt = 0;
};

MeshImportLimits& Limits()
{
    static MeshImportLimits s_Limits;
    return s_Limits;
}

// The importer runs in a child process (unless the limits say otherwise):
// Assimp's importers fall to damaged files in minutes of fuzzing (reads
// past their buffers, endless loops, allocations for counts no file
// holds), and a mesh anyone shares must cost no more than a refusal.
template <class Read>
GFX::Mesh ImportMesh(Read&& fnRead, const fs::path& file, const std::string& strFailure, float fSmoothingAngle,
                     std::vector<std::string>* pNotes)
{
    const MeshImportLimits& limits = Limits();
    if (!limits.m_bIsolated) return ImportInProcess(fnRead, file, strFailure, fSmoothingAngle, pNotes);
    const std::string strBytes = RunInChildProcess(
        [&] {
            std::vector<std::string> notes;
            const GFX::Mesh mesh = ImportInProcess(fnRead, file, strFailure, fSmoothingAngle, &notes);
            return MeshBytes::Write(mesh, notes);
        },
        ChildLimits{limits.m_uiMaxBytes, limits.m_uiMaxSeconds}, strFailure);
    return MeshBytes::Read(strBytes, pNotes);
}

} // namespace

GFX::Mesh ReadMeshFile(const std::wstring& strPath, float fSmoothingAngle, std::vector<std::string>* pNotes)
{
    std::string strUtf8;
    try {
        strUtf8 = WideToUtf8(strPath);
    } catch (const std::range_error&) {
        throw ExceptionFileMissing("cannot read a mesh file: its name is no valid text");
    }
    const std::string strFailure = "cannot read the mesh file \"" + strUtf8 + "\": ";
    const fs::path file = fs::u8path(strUtf8);
    if (!IsFile(file)) {
        std::error_code error;
        throw ExceptionFileMissing(strFailure +
                                   (fs::exists(file, error) ? "it is no regular file" : "there is no such file"));
    }

    {
        std::ifstream stream(file, std::ios::binary);
        std::string strHeader(64 * 1024, '\0');
        stream.read(strHeader.data(), static_cast<std::streamsize>(strHeader.size()));
        strHeader.resize(static_cast<std::size_t>(stream.gcount()));
        std::error_code error;
        CheckDeclaredCounts(strHeader, fs::file_size(file, error), LowerCase(file.extension().string()) == ".off",
                            strFailure);
    }
    const auto fnRead = [&](Assimp::Importer& importer, unsigned int uiSteps) {
        return importer.ReadFile(strUtf8, uiSteps);
    };
    return ImportMesh(fnRead, file, strFailure, fSmoothingAngle, pNotes);
}

GFX::Mesh ReadMeshFromMemory(const void* pData, std::size_t uiSize, const std::string& strFormatHint,
                             float fSmoothingAngle, std::vector<std::string>* pNotes)
{
    const std::string strFailure = "cannot read the mesh: ";
    if (uiSize == 0) throw ExceptionParsing(strFailure + "there are no bytes");
    CheckDeclaredCounts(std::string_view(static_cast<const char*>(pData), uiSize), uiSize,
                        LowerCase(strFormatHint) == "off", strFailure);
    return ImportMesh(
        [&](Assimp::Importer& importer, unsigned int uiSteps) {
            return importer.ReadFileFromMemory(pData, uiSize, uiSteps, strFormatHint.c_str());
        },
        fs::current_path() / ("mesh." + strFormatHint), strFailure, fSmoothingAngle, pNotes);
}

std::wstring GetMeshFileFilter()
{
    aiString extensions;
    Assimp::Importer().GetExtensionList(extensions);
    const std::string strList = extensions.C_Str();
    return std::wstring(strList.begin(), strList.end());
}

namespace {

// The mesh of one file. The controls edit the settings themselves; an edit
// that cannot be read puts back the settings of the last read.
class FilterMeshFile : public OpenGL::BaseFilter {
public:
    FilterMeshFile(Core& core, const std::string& strName) : BaseFilter(core, strName, strName) {}

    void CreatePorts() override { CreatePort(hMeshOut, {FlowGraph::PortType::Output, "Mesh", false}); }

    // Writes the names the controls hold: saving a graph puts them there
    // relative to the graph file for the time it writes.
    void Serialize(FlowGraph::Serialization::Serializer& serializer) override
    {
        Detail::SerializeSetting(serializer, "strFileName", m_strFileName);
        Detail::SerializeSetting(serializer, "fSmoothingAngle", m_fSmoothingAngle);
        if (serializer.IsReader()) Read();
    }

    void Instrument(Instrumenter& instrumenter) override
    {
        const auto fnRead = [this] { Read(); };
        instrumenter.AddFileName("File Name", &m_strFileName, GetMeshFileFilter(), fnRead);
        instrumenter.AddFloat("Smoothing Angle", &m_fSmoothingAngle, fnRead);
        instrumenter.AddButton("Reload", fnRead);
        instrumenter.AddStringView("Summary", &m_strSummary);
    }

    void Process(FlowGraph::ScopeExecuter&) override
    {
        if (m_strReadFileName.empty()) throw std::runtime_error("\"File Name\" names no mesh file");
        hMeshOut->SetData(&m_Mesh, m_bChanged);
        m_bChanged = false;
    }

private:
    // Reads the file the settings name and takes its mesh. When that fails
    // the reader's exception goes on, and the mesh and the settings of the
    // last read stay. An empty name only empties the mesh.
    void Read()
    {
        try {
            if (!(m_fSmoothingAngle >= 0.0f && m_fSmoothingAngle <= 180.0f))
                throw ExceptionParsing("\"Smoothing Angle\" must lie between 0 and 180 degrees");
            GFX::Mesh mesh;
            std::vector<std::string> notes;
            if (!m_strFileName.empty()) mesh = ReadMeshFile(m_strFileName, m_fSmoothingAngle, &notes);
            for (const std::string& strNote : notes) Detail::Report(*this, strNote);
            m_Mesh = std::move(mesh);
        } catch (...) {
            m_strFileName = m_strReadFileName;
            m_fSmoothingAngle = m_fReadAngle;
            throw;
        }
        m_strReadFileName = m_strFileName;
        m_fReadAngle = m_fSmoothingAngle;
        m_bChanged = true;
        std::size_t uiTriangles = 0;
        for (const GFX::MeshGroup& group : m_Mesh.m_Groups) uiTriangles += group.m_Faces.size();
        m_strSummary = std::to_string(m_Mesh.m_Positions.size()) + " vertices, " + std::to_string(uiTriangles) +
                       " triangles, " + std::to_string(m_Mesh.m_Materials.size()) + " materials";
    }

    FlowGraph::PortHandle<FlowGraph::SimplePortT<GFX::Mesh>> hMeshOut;
    std::wstring m_strFileName;
    float m_fSmoothingAngle = 80.0f;
    // The settings of the last read that succeeded.
    std::wstring m_strReadFileName;
    float m_fReadAngle = 80.0f;
    std::string m_strSummary;
    GFX::Mesh m_Mesh;
    bool m_bChanged = true;
};

} // namespace

void RegisterMeshFile(FlowGraph::FilterRegistry& registry)
{
    registry.RegisterFilter(FlowGraph::FilterDescriptor(
        "Host.Mesh.File", "host\\Modules\\MeshFile", "Reads a mesh file (OBJ, PLY, STL, glTF, FBX, ...) through Assimp",
        "Host;Mesh;File;OBJ;PLY;STL;glTF", [](Core& core, const std::string& strName) -> FlowGraph::Filter* {
            return new (std::nothrow) FilterMeshFile(core, strName);
        }));
}

void SetMeshImportLimits(const MeshImportLimits& limits) { Limits() = limits; }

const MeshImportLimits& GetMeshImportLimits() { return Limits(); }

} // namespace Ondo::Host
