// The engine's mesh sources: procedural shapes, and mesh files read through Assimp.

#include "HostTestSupport.h"
#include "support/GLTestEnvironment.h"

#include "host/FlowGraph/Graph.h"
#include "host/FlowGraph/GraphFile.h"
#include "host/Modules/HostModules.h"
#include "host/Modules/MeshFile.h"
#include "host/Modules/MeshShapes.h"

#include "Ondo/Exceptions.h"
#include "Ondo/FlowGraph/FilterRegistry.h"
#include "Ondo/FlowGraph/ScopeExecuter.h"
#include "Ondo/FlowGraph/ValuePorts.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/StringConversion.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>

using namespace Ondo;
using namespace Ondo::FlowGraph;
namespace fs = std::filesystem;

namespace {

const fs::path s_Data = fs::path(ONDO_TEST_DATA) / "meshes";
using Placement = std::function<float(const Vector3f& vPosition, const Vector3f& vNormal)>;

// Every mesh a source makes: a normal (and a texture coordinate, in [0, 1] for bUnitSquare, or none) per
// position, unit normals, faces of three or four vertices turning counter-clockwise around their normals,
// every vertex within fnError of where the shape puts it. Returns the triangles and the area.
std::pair<std::size_t, double> CheckSurface(const GFX::Mesh& mesh, const Placement& fnError, bool bUnitSquare = false)
{
    const auto& p = mesh.m_Positions;
    const auto& n = mesh.m_Normals;
    EXPECT_EQ(n.size(), p.size());
    EXPECT_TRUE(mesh.m_TexCoords.empty() || mesh.m_TexCoords.size() == p.size());
    int iBadVertices = 0, iBadFaces = 0, iBadWindings = 0;
    for (std::size_t v = 0; v < p.size() && v < n.size(); ++v)
        iBadVertices += std::abs(n[v].Length() - 1.0f) > 1e-4f || fnError(p[v], n[v]) > 1e-5f;
    for (const Vector2f& t : mesh.m_TexCoords)
        iBadVertices += bUnitSquare && (t[0] < 0 || t[0] > 1 || t[1] < 0 || t[1] > 1);
    std::pair<std::size_t, double> surface{0, 0.0};
    for (const GFX::MeshGroup& group : mesh.m_Groups) {
        for (const GFX::MeshFace& face : group.m_Faces) {
            const auto& i = face.m_Indices;
            bool bValid = i.size() == 3 || i.size() == 4;
            for (const std::uint32_t uiIndex : i) bValid = bValid && uiIndex < p.size() && uiIndex < n.size();
            iBadFaces += !bValid;
            for (std::size_t k = 1; bValid && k + 1 < i.size(); ++k) {
                const Vector3f vCross = Cross(p[i[k]] - p[i[0]], p[i[k + 1]] - p[i[0]]);
                surface.first += 1;
                surface.second += vCross.Length() / 2.0;
                iBadWindings += vCross.Dot(n[i[0]] + n[i[k]] + n[i[k + 1]]) <= 0.0f;
            }
        }
    }
    EXPECT_EQ(std::tie(iBadVertices, iBadFaces, iBadWindings), std::make_tuple(0, 0, 0)) << "vertices, faces, windings";
    return surface;
}

// On the faces of an axis-aligned cube of edge 1 around the centre, normals along an axis, pointing out.
Placement OnBox(const Vector3f& vCentre)
{
    return [vCentre](const Vector3f& p, const Vector3f& n) {
        return std::abs((p - vCentre).Dot(n) - 0.5f) +
               std::abs(std::abs(n[0]) + std::abs(n[1]) + std::abs(n[2]) - 1.0f);
    };
}

GFX::Mesh Read(const fs::path& file, float fAngle = 80.0f, std::vector<std::string>* pNotes = nullptr)
{
    return Host::ReadMeshFile(Utf8ToWide(file.string()), fAngle, pNotes);
}

// A core with the host modules and a folder for files; sources from the registry, on the test device.
class MeshSources : public ::testing::Test {
protected:
    MeshSources() { Host::RegisterHostModules(m_Core); }
    ~MeshSources() override
    {
        for (auto& pFilter : m_Filters) pFilter->DetachDevice();
        fs::remove_all(m_Folder);
    }

    OpenGL::BaseFilter& Make(const std::string& strType)
    {
        auto& pFilter = m_Filters.emplace_back(dynamic_cast<OpenGL::BaseFilter*>(
            FilterRegistry::Get(m_Core).FindFilter(strType)->m_fnFactory(m_Core, "source")));
        pFilter->Initialize();
        pFilter->AttachDevice(OndoTest::TestDevice());
        pFilter->Instrument(m_Controls);
        return *pFilter;
    }
    // Runs a source: its mesh and whether it is marked changed.
    std::pair<const GFX::Mesh*, bool> Run(Filter& source)
    {
        ScopeExecuter executer;
        source.Execute(executer);
        const PortHandle<SimplePortT<GFX::Mesh>> hMesh(source.FindPort("Mesh", true));
        return {hMesh->GetData(), hMesh->HasChanged()};
    }
    fs::path Write(const std::string& strName, const std::string& strText)
    {
        fs::create_directories((m_Folder / strName).parent_path());
        std::ofstream(m_Folder / strName, std::ios::binary) << strText;
        return m_Folder / strName;
    }

    const fs::path m_Folder = fs::temp_directory_path() / ("ondo-meshes-" + std::to_string(::getpid()));
    Core m_Core;
    Instrumenter m_Controls;
    std::vector<std::shared_ptr<OpenGL::BaseFilter>> m_Filters;
};

} // namespace

TEST(MeshShapes, AreSurfacesOfTheirSizeWithNormalsPointingOut)
{
    const double dPi = 3.14159265358979323846;
    struct Case {
        const char* szName;
        GFX::Mesh mesh;
        std::size_t uiVertices, uiFaces, uiTriangles;
        double dArea;
        Placement fnError;
    };
    const Case cases[] = {
        {"plane", Host::MakePlane(3, 2, 3, 2), 12, 6, 12, 6.0,
         [](const Vector3f& p, const Vector3f& n) {
             return std::abs(p[2]) + (n - Vector3f(0, 0, 1)).Length() + std::max(0.0f, std::abs(p[0]) - 1.5f) +
                    std::max(0.0f, std::abs(p[1]) - 1.0f);
         }},
        {"cube", Host::MakeCube(2, 2), 54, 24, 48, 24.0,
         [](const Vector3f& p, const Vector3f& n) {
             return OnBox({0, 0, 0})(p * 0.5f, n);
         }},
        {"sphere", Host::MakeSphere(2, 16, 8), 17 * 9, 128, 224, 16 * dPi,
         [](const Vector3f& p, const Vector3f& n) { return std::abs(p.Length() - 2.0f) + (n - p * 0.5f).Length(); }},
        {"torus", Host::MakeTorus(1, 0.25f, 24, 12), 25 * 13, 288, 576, dPi * dPi,
         [](const Vector3f& p, const Vector3f& n) {
             const Vector3f vCentre = Vector3f(p[0], p[1], 0).Normalized();
             return std::abs((p - vCentre).Length() - 0.25f) + (n - (p - vCentre) * 4.0f).Length();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.szName);
        EXPECT_EQ(std::make_tuple(c.mesh.m_Positions.size(), c.mesh.m_TexCoords.size(), c.mesh.m_Materials.size()),
                  std::make_tuple(c.uiVertices, c.uiVertices, std::size_t{1}));
        ASSERT_EQ(c.mesh.m_Groups.size(), 1u);
        EXPECT_EQ(c.mesh.m_Groups[0].m_Faces.size(), c.uiFaces);
        for (const GFX::MeshFace& face : c.mesh.m_Groups[0].m_Faces) ASSERT_EQ(face.m_iMaterial, 0);
        const auto [uiTriangles, dArea] = CheckSurface(c.mesh, c.fnError, true);
        EXPECT_EQ(uiTriangles, c.uiTriangles);
        EXPECT_NEAR(dArea, c.dArea, c.dArea * 0.05) << "tessellated round shapes are a little smaller";
    }
}

TEST_F(MeshSources, ShapesRebuildOnlyWhenAValueInForceChanges)
{
    Filter& sphere = Make("Host.Mesh.Sphere");
    std::vector<bool> flags;
    const auto Step = [&] {
        const auto [pMesh, bChanged] = Run(sphere);
        flags.push_back(bChanged);
        return pMesh;
    };
    EXPECT_EQ(Step()->m_Positions.size(), 33u * 17u);
    Step();
    m_Controls.SetControl("Segments", "8");
    EXPECT_EQ(Step()->m_Positions.size(), 9u * 17u);
    // An input overrides its setting while it carries an acceptable value.
    float fRadius = 3.0f;
    PortHandle<SimplePortT<float>>(sphere.FindPort("Radius", false))->SetData(&fRadius, true);
    EXPECT_NEAR(Step()->m_Positions[40].Length(), 3.0f, 1e-5f);
    Step();
    EXPECT_EQ(flags, (std::vector<bool>{true, false, true, true, false}));

    // A bad edit is refused and shown undone; a bad input is an error of the run.
    EXPECT_THROW(m_Controls.SetControl("Rings", "1"), std::invalid_argument);
    EXPECT_EQ(Instrumenter::ValueText(*m_Controls.FindControl("Rings")), "16");
    EXPECT_FALSE(Run(sphere).second);
    fRadius = -1.0f;
    Run(sphere);
    ASSERT_EQ(m_Core.GetErrors().size(), 1u);
    EXPECT_NE(m_Core.GetErrors()[0].find("\"Radius\""), std::string::npos) << m_Core.GetErrors()[0];
    Make("Host.Mesh.Torus");
    EXPECT_THROW(m_Controls.SetControl("Minor Radius", "1.5"), std::invalid_argument) << "wider than the ring";
}

TEST_F(MeshSources, RealFilesGiveTheirBoxesWithOutwardNormalsAndTheirMaterials)
{
    for (const auto& [szFile, vCentre, uiMaterials] : {std::tuple{"cube_usemtl.obj", Vector3f(0.5f, 0.5f, 0.5f), 4u},
                                                       {"cube.ply", Vector3f(0.5f, 0.5f, 0.5f), 1u},
                                                       {"triangle.stl", Vector3f(0, 0, -0.5f), 1u},
                                                       {"BoxTextured.gltf", Vector3f(), 2u},
                                                       {"BoxTextured.glb", Vector3f(), 2u}}) {
        SCOPED_TRACE(szFile);
        std::vector<std::string> notes;
        const GFX::Mesh mesh = Read(s_Data / szFile, 80.0f, &notes);
        const bool bTriangle = std::string(szFile) == "triangle.stl";
        EXPECT_EQ(CheckSurface(mesh, OnBox(vCentre)),
                  (std::pair<std::size_t, double>(bTriangle ? 1 : 12, bTriangle ? 2 : 6)));
        EXPECT_EQ(mesh.m_Materials.size(), uiMaterials);
        EXPECT_EQ(notes.size(), std::string(szFile) == "BoxTextured.glb" ? 1u : 0u) << "its texture is embedded";
    }

    // The OBJ's faces keep the materials its .mtl defines, and the one it names without defining.
    const GFX::Mesh obj = Read(s_Data / "cube_usemtl.obj");
    std::map<std::string, std::size_t> trianglesOf;
    for (const GFX::MeshGroup& group : obj.m_Groups)
        for (const GFX::MeshFace& face : group.m_Faces) ++trianglesOf[obj.m_Materials.at(face.m_iMaterial)->m_strName];
    EXPECT_EQ(trianglesOf, (std::map<std::string, std::size_t>{{"mtl", 6}, {"mtl2", 4}, {"mtl3", 2}}));

    // glTF: texture coordinates and the base-colour picture as "Diffuse", by absolute path.
    const GFX::Mesh gltf = Read(s_Data / "BoxTextured.gltf");
    EXPECT_EQ(gltf.m_TexCoords.size(), gltf.m_Positions.size());
    const auto& textures = gltf.m_Materials.at(gltf.m_Groups.at(0).m_Faces.at(0).m_iMaterial)->m_Textures;
    ASSERT_EQ(textures.size(), 1u);
    EXPECT_EQ(std::make_pair(textures[0].m_strKind, fs::path(textures[0].m_strFileName)),
              std::make_pair(std::string("Diffuse"), fs::absolute(s_Data / "CesiumLogoFlat.png").lexically_normal()));

    // The PLY has no normals: at 180 degrees each corner gets one, pointing away from the centre.
    CheckSurface(Read(s_Data / "cube.ply", 180.0f), [](const Vector3f& p, const Vector3f& n) {
        return (n - (p - Vector3f(0.5f, 0.5f, 0.5f)).Normalized()).Length();
    });
}

TEST_F(MeshSources, TexturesOfWindowsMtlFilesAreFoundAndPolygonsTriangulated)
{
    const fs::path obj = Write("model/scene.obj", "mtllib scene.mtl\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0.5 1.5 0\nv 0 1 0\n"
                                                  "usemtl wood\nf 1 2 3 4 5\nf 1 2 3\n");
    Write("model/scene.mtl",
          "newmtl wood\nKd 0.5 0.25 0.125\nd 0.5\nNs 10\nmap_Kd textures\\wood.png\n"
          "map_bump .\\textures\\bumps.png\nmap_Ks C:\\Users\\someone\\Desktop\\shine.png\nmap_d missing.png\n");
    for (const char* szFile : {"model/textures/wood.png", "model/textures/bumps.png", "model/shine.png"})
        Write(szFile, "");

    std::vector<std::string> notes;
    const GFX::Mesh mesh = Read(obj, 80.0f, &notes);
    EXPECT_EQ(CheckSurface(mesh, OnBox({0, 0, -0.5f})).first, 4u) << "a pentagon and a triangle";
    const GFX::MeshMaterial& wood = *mesh.m_Materials.at(mesh.m_Groups.at(0).m_Faces.at(0).m_iMaterial);
    EXPECT_EQ(std::tie(wood.m_strName, wood.m_vDiffuse, wood.m_fOpacity, wood.m_fShininess),
              std::make_tuple(std::string("wood"), Vector3f(0.5f, 0.25f, 0.125f), 0.5f, 10.0f));
    std::map<std::string, fs::path> byKind;
    for (const GFX::MeshTexture& texture : wood.m_Textures) byKind[texture.m_strKind] = texture.m_strFileName;
    const fs::path folder = fs::absolute(m_Folder / "model");
    EXPECT_EQ(byKind, (std::map<std::string, fs::path>{{"Diffuse", folder / "textures/wood.png"},
                                                       {"Bump", folder / "textures/bumps.png"},
                                                       {"Specular", folder / "shine.png"},
                                                       {"Alpha", folder / "missing.png"}}));
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("missing.png"), std::string::npos) << notes[0];
}

TEST_F(MeshSources, UnreadableFilesAreRefusedNamingTheFileAndTheReason)
{
    const std::string strGlb = OndoTest::ReadFile((s_Data / "BoxTextured.glb").string());
    Write("folder.obj/inner", "");
    // File, content (none: not written), whether it is missing rather than unreadable.
    for (const auto& [strFile, content, bMissing] :
         std::vector<std::tuple<std::string, std::optional<std::string>, bool>>{
             {"missing.obj", std::nullopt, true},
             {"folder.obj", std::nullopt, true},
             {"empty.obj", "", false},
             {"truncated.glb", strGlb.substr(0, 1000), false},
             {"lying.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 7\n", false},
             {"points.obj", "v 0 0 0\nv 1 0 0\np 1 2\n", false},
             {"picture.stl", strGlb, false}}) {
        SCOPED_TRACE(strFile);
        const fs::path file = content ? Write(strFile, *content) : m_Folder / strFile;
        const auto fnRead = [&] { Read(file); };
        const std::string strMessage = bMissing ? OndoTest::Thrown<ExceptionFileMissing>(fnRead)
                                                : OndoTest::Thrown<ExceptionParsing>(fnRead);
        const std::string strStart = "cannot read the mesh file \"" + file.string() + "\": ";
        EXPECT_TRUE(strMessage.rfind(strStart, 0) == 0 && strMessage.size() > strStart.size() + 8) << strMessage;
    }

    // Headers declaring more than their files hold, which the importer
    // would allocate for at once (tens of gigabytes); files that hold what
    // they declare are read, from a file or from memory.
    const std::string strPly = "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
                               "property float z\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n"
                               "0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n";
    for (const auto& [strFile, strContent, szDeclared] :
         std::vector<std::tuple<std::string, std::string, const char*>>{
             {"faces.off", "OFF\n3 " + std::string(40, '0') + "61489146912365172 0 2 1", "3 vertices and 61489146912365172 faces"},
             {"vertices.off", "# many\nCOFF 400000000 1 0\n0 0 0\n", "400000000 vertices and 1 faces"},
             {"letters.off", "OFF\n300\n37777777777ply\n0 0 0\n", "300 vertices and 37777777777 faces"},
             {"joined.off", "OFF300\n37777777777\n0 0 0\n", "300 vertices and 37777777777 faces"},
             {"no-magic.off", "03\n\n3300030381\n", "3 vertices and 3300030381 faces"},
             {"chunk.glb", std::string(strGlb).replace(12, 4, std::string("\0\0\5\x70", 4)), "a chunk of 1879375872 bytes"},
             {"vertices.ply", std::string(strPly).replace(strPly.find("vertex 3"), 8, "vertex 4000000000"),
              "4000000001 elements"}}) {
        const std::string strMessage = OndoTest::Thrown<ExceptionParsing>([&] { Read(Write(strFile, strContent)); });
        EXPECT_NE(strMessage.find("\": its header declares " + std::string(szDeclared) + ", more than its " +
                                  std::to_string(strContent.size()) + " bytes can hold"),
                  std::string::npos)
            << strMessage;
        EXPECT_THROW(Host::ReadMeshFromMemory(strContent.data(), strContent.size(), fs::path(strFile).extension().string().substr(1), 80.0f), ExceptionParsing);
    }
    // Without its end line, also where the end is a property's name or the
    // first word only starts as "ply", the importer's header parser never
    // returns.
    for (const std::string& strEndless :
         {strPly.substr(0, strPly.find("end_header")), "ply\x95" + strPly.substr(3, strPly.find("end_header") - 3),
          std::string(strPly).replace(strPly.find("vertex_indices\nend_header"), 15, "")}) {
        EXPECT_NE(OndoTest::Thrown<ExceptionParsing>([&] { Read(Write("endless.ply", strEndless)); })
                      .find("\": its PLY header has no end_header line"),
                  std::string::npos)
            << strEndless;
    }
    const std::string strNul = std::string(strPly).replace(strPly.find("property float y"), 1, std::string(1, '\0'));
    EXPECT_NE(OndoTest::Thrown<ExceptionParsing>([&] { Read(Write("nul.ply", strNul)); }).find("\": its PLY header holds a NUL byte"),
              std::string::npos);
    for (const std::string& strText : {std::string("OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n"), strPly}) {
        EXPECT_EQ(Read(Write(strText[0] == 'O' ? "triangle.off" : "triangle.ply", strText)).m_Positions.size(), 3u);
        EXPECT_EQ(Host::ReadMeshFromMemory(strText.data(), strText.size(), "", 80.0f).m_Positions.size(), 3u);
    }
}

// The importer runs in a child process: a crash is refused, and the child's mesh is the one read here.
TEST_F(MeshSources, ImportsRunApartSoThatAFileCrashingTheImporterIsRefused)
{
    const fs::path crash = s_Data / "crashes-the-importer.ply";
    EXPECT_EQ(OndoTest::Thrown<ExceptionParsing>([&] { Read(crash); })
                  .rfind("cannot read the mesh file \"" + crash.string() + "\": the importer crashed on it (signal ", 0),
              0u);
    const Host::MeshImportLimits isolated = Host::GetMeshImportLimits();
    for (const char* szFile : {"BoxTextured.glb", "BoxTextured.gltf", "cube_usemtl.obj"}) {
        SCOPED_TRACE(szFile);
        std::vector<std::string> notes[2];
        GFX::Mesh meshes[2];
        for (const bool bIsolated : {true, false}) {
            Host::SetMeshImportLimits({isolated.m_uiMaxBytes, isolated.m_uiMaxSeconds, bIsolated});
            meshes[bIsolated] = Read(s_Data / szFile, 80.0f, &notes[bIsolated]);
        }
        Host::SetMeshImportLimits(isolated);
        const GFX::Mesh &a = meshes[0], &b = meshes[1];
        EXPECT_TRUE(a.m_Positions == b.m_Positions && a.m_Normals == b.m_Normals && a.m_TexCoords == b.m_TexCoords);
        EXPECT_EQ(notes[0], notes[1]);
        ASSERT_EQ(a.m_Groups.size(), b.m_Groups.size());
        for (std::size_t i = 0; i < a.m_Groups.size(); ++i) {
            EXPECT_EQ(a.m_Groups[i].m_strName, b.m_Groups[i].m_strName);
            ASSERT_EQ(a.m_Groups[i].m_Faces.size(), b.m_Groups[i].m_Faces.size());
            for (std::size_t f = 0; f < a.m_Groups[i].m_Faces.size(); ++f)
                EXPECT_TRUE(a.m_Groups[i].m_Faces[f].m_Indices == b.m_Groups[i].m_Faces[f].m_Indices &&
                            a.m_Groups[i].m_Faces[f].m_iMaterial == b.m_Groups[i].m_Faces[f].m_iMaterial);
        }
        ASSERT_EQ(a.m_Materials.size(), b.m_Materials.size());
        for (std::size_t i = 0; i < a.m_Materials.size(); ++i) {
            ASSERT_EQ(!a.m_Materials[i], !b.m_Materials[i]);
            if (!a.m_Materials[i]) continue;
            const GFX::MeshMaterial &ma = *a.m_Materials[i], &mb = *b.m_Materials[i];
            EXPECT_TRUE(ma.m_strName == mb.m_strName && ma.m_vAmbient == mb.m_vAmbient && ma.m_vDiffuse == mb.m_vDiffuse &&
                        ma.m_vSpecular == mb.m_vSpecular && ma.m_vEmissive == mb.m_vEmissive &&
                        ma.m_fOpacity == mb.m_fOpacity && ma.m_fShininess == mb.m_fShininess);
            ASSERT_EQ(ma.m_Textures.size(), mb.m_Textures.size());
            for (std::size_t t = 0; t < ma.m_Textures.size(); ++t)
                EXPECT_TRUE(ma.m_Textures[t].m_strFileName == mb.m_Textures[t].m_strFileName &&
                            ma.m_Textures[t].m_strKind == mb.m_Textures[t].m_strKind);
        }
    }
}

TEST_F(MeshSources, FileSourceReadsAtLoadAndOnEditsKeepingTheLastGoodMesh)
{
    const std::string strBroken = Write("broken.obj", "v 0 0 0\nf 1 2 3\n").string(),
                      strGood = (s_Data / "cube.ply").string();
    std::vector<std::string> loads;
    for (const std::string& strFile : {strGood, strBroken})
        loads.push_back(OndoTest::Thrown([&] {
            LoadGraphFromText(m_Core, &OndoTest::TestDevice(),
                              "<OndoGraph version=\"1\"><Scope name=\"Root\"><Filter type=\"Host.Mesh.File\" "
                              "name=\"Model\"><Control label=\"File Name\" value=\"" +
                                  strFile + "\"/></Filter></Scope></OndoGraph>",
                              "mesh.xml");
        }));
    EXPECT_EQ(loads[0], "(nothing thrown)");
    EXPECT_EQ(loads[1].rfind(
                  "mesh.xml:1: \"Model\" (Host.Mesh.File): cannot read the mesh file \"" + strBroken + "\": OBJ", 0),
              0u)
        << loads[1];

    Filter& source = Make("Host.Mesh.File");
    EXPECT_THROW(Run(source), std::runtime_error) << "no file named";
    m_Controls.SetControl("File Name", strGood);
    std::vector<bool> flags;
    for (int iStep = 0; iStep < 5; ++iStep) {
        if (iStep == 2) {
            EXPECT_THROW(m_Controls.SetControl("File Name", strBroken), ExceptionParsing);
        }
        if (iStep == 3) m_Controls.SetControl("Smoothing Angle", "180");
        const auto [pMesh, bChanged] = Run(source);
        flags.push_back(bChanged);
        EXPECT_EQ(pMesh->m_Positions.size(), iStep < 3 ? 24u : 8u) << iStep;
    }
    EXPECT_EQ(flags, (std::vector<bool>{true, false, false, true, false}));
    EXPECT_EQ(Instrumenter::ValueText(*m_Controls.FindControl("File Name")), strGood);
    EXPECT_EQ(Instrumenter::ValueText(*m_Controls.FindControl("Summary")), "8 vertices, 12 triangles, 1 materials");
}
