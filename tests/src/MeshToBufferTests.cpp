// The mesh upload: index buffer, groups and per-triangle materials read back
// from the GPU, shared textures, refused meshes, rebuilds, and a real model.

#include "ComputeFilterTestSupport.h"

#include "host/GFX/ImageIO.h"
#include "host/Modules/HostModules.h"

#include "Ondo/FlowGraph/ValuePorts.h"
#include "Ondo/GFX/ImageLoader.h"
#include "Ondo/OpenGL/Textures.h"
#include "Ondo/StringConversion.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>

using namespace Ondo;
using namespace Ondo::FlowGraph;
using OpenGL::BufferObject;
using OpenGL::SimpleMaterial;
using OpenGL::SimpleMaterialGroup;
namespace fs = std::filesystem;

namespace {

using MeshFeed = OndoTest::ValueFeed<GFX::Mesh>;

// The bytes of a buffer as values of T; empty for GL name 0.
template <class T>
std::vector<T> ReadBuffer(const BufferObject* pBuffer)
{
    if (!pBuffer || pBuffer->m_uiName == 0) return {};
    glBindBuffer(GL_COPY_READ_BUFFER, pBuffer->m_uiName);
    GLint iSize = 0;
    glGetBufferParameteriv(GL_COPY_READ_BUFFER, GL_BUFFER_SIZE, &iSize);
    std::vector<T> values(static_cast<std::size_t>(iSize) / sizeof(T));
    glGetBufferSubData(GL_COPY_READ_BUFFER, 0, static_cast<GLsizeiptr>(values.size() * sizeof(T)), values.data());
    glBindBuffer(GL_COPY_READ_BUFFER, 0);
    return values;
}

using Group = std::array<std::uint32_t, 6>;
std::vector<Group> Groups(const std::vector<SimpleMaterialGroup>& groups)
{
    std::vector<Group> plain;
    for (const SimpleMaterialGroup& g : groups)
        plain.push_back({g.m_uiMaterialIndex, g.m_uiFirstIndex, g.m_uiIndexCount, g.m_uiMinVertexIndex,
                         g.m_uiMaxVertexIndex, g.m_uiPrimitiveMode});
    return plain;
}

GFX::MeshFace Face(std::int32_t iMaterial, std::vector<std::uint32_t> indices)
{
    return {iMaterial, std::move(indices)};
}

// A graph with a mesh feed connected to an upload, the host modules and the
// image readers, and a reader of ".cnt" files that counts its reads and
// makes a 2 x 1 picture of any file.
class MeshToBuffer : public ::testing::Test {
protected:
    MeshToBuffer()
    {
        Core& core = m_Harness.GetGraph().GetCore();
        Host::RegisterHostModules(core);
        GFX::RegisterStandardImageReaders(core);
        MeshFeed::Register(core, "Test.MeshFeed");
        GFX::ImageLoader::Get(core).RegisterReader(
            L"cnt", [this](const std::uint8_t*, std::size_t, const std::wstring&) {
                ++m_iReads;
                return std::make_unique<GFX::ImageData>(GFX::ImageData{GFX::FormatRGBA8, GFX::LayoutRGBA,
                                                                       GFX::ComponentUInt8, 2, 1, 1, 1, 1, 4,
                                                                       std::vector<std::uint8_t>(8, 200)});
            });
        m_Harness.Add("OpenGL.MeshToBuffer", "upload");
        fs::create_directories(m_Folder);
    }
    ~MeshToBuffer() override { fs::remove_all(m_Folder); }

    MeshFeed& Feed()
    {
        auto& feed = dynamic_cast<MeshFeed&>(m_Harness.Add("Test.MeshFeed", "feed"));
        m_Harness.Connect("feed", "Value", "upload", "Mesh");
        feed.m_Value.emplace();
        return feed;
    }
    template <class T>
    T* Out(const std::string& strLabel, bool* pChanged = nullptr)
    {
        return m_Harness.Output<T>("upload", strLabel, pChanged);
    }
    std::vector<SimpleMaterial>& Materials() { return *Out<std::vector<SimpleMaterial>>("Materials"); }
    std::vector<GLuint> BufferNames()
    {
        std::vector<GLuint> names;
        for (const std::string strLabel : {"Positions", "IndexBuffer", "Material Face Indices"})
            names.push_back(Out<BufferObject>(strLabel)->m_uiName);
        return names;
    }
    // Runs with the mesh marked changed, expecting the run to stop: why it did.
    std::string RunError()
    {
        dynamic_cast<MeshFeed&>(m_Harness.GetGraph().RequireItem("feed")).m_bChanged = true;
        return m_Harness.RunError();
    }
    std::wstring File(const std::string& strName)
    {
        std::ofstream(m_Folder / strName) << strName;
        return Utf8ToWide((m_Folder / strName).string());
    }

    const fs::path m_Folder = fs::temp_directory_path() / ("ondo-mesh-upload-" + std::to_string(::getpid()));
    OndoTest::FilterHarness m_Harness;
    int m_iReads = 0;
};

} // namespace

TEST_F(MeshToBuffer, IndicesGroupsAndFaceMaterialsOfOneMeshAfterAnother)
{
    MeshFeed& feed = Feed();
    GFX::Mesh& mesh = *feed.m_Value;
    mesh.m_Positions = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}};
    mesh.m_Materials = {std::make_shared<GFX::MeshMaterial>(), nullptr,
                        std::make_shared<GFX::MeshMaterial>(GFX::MeshMaterial{
                            "red", {0.1f, 0.2f, 0.3f}, {1, 0, 0}, {0.5f, 0.5f, 0.5f}, {0, 0, 0.25f}, 0.5f, 8, {}})};
    mesh.m_Groups = {{"first", {Face(2, {0, 1, 2, 3})}}, {"second", {Face(0, {1, 4, 2})}}};
    {
        SCOPED_TRACE("a quad, then a triangle: sorted by material");
        ASSERT_TRUE(m_Harness.Run());
        bool bChanged = false;
        EXPECT_EQ(ReadBuffer<std::uint32_t>(Out<BufferObject>("IndexBuffer", &bChanged)),
                  (std::vector<std::uint32_t>{1, 4, 2, 0, 1, 2, 0, 2, 3}));
        EXPECT_TRUE(bChanged);
        EXPECT_EQ(Groups(*Out<std::vector<SimpleMaterialGroup>>("MaterialGroups")),
                  (std::vector<Group>{{0, 0, 3, 1, 4, GL_TRIANGLES}, {2, 3, 6, 0, 3, GL_TRIANGLES}}));
        EXPECT_EQ(ReadBuffer<std::int32_t>(Out<BufferObject>("Material Face Indices")),
                  (std::vector<std::int32_t>{2, 2, 0}));
        EXPECT_EQ(ReadBuffer<Vector3f>(Out<BufferObject>("Positions")), mesh.m_Positions);
        EXPECT_EQ(Out<BufferObject>("Normals")->m_uiName, 0u) << "the mesh has no normals";

        const std::vector<SimpleMaterial>& materials = Materials();
        ASSERT_EQ(materials.size(), 3u);
        const SimpleMaterial& red = materials[2];
        EXPECT_EQ(std::tie(red.m_vAmbient, red.m_vDiffuse, red.m_vSpecular, red.m_vEmission, red.m_fShininess,
                           red.m_strName),
                  std::make_tuple(Vector4f(0.1f, 0.2f, 0.3f, 0.5f), Vector4f(1, 0, 0, 0.5f),
                                  Vector4f(0.5f, 0.5f, 0.5f, 0.5f), Vector4f(0, 0, 0.25f, 0.5f), 8.0f,
                                  std::string("red")));
        EXPECT_EQ(std::tie(materials[1].m_vDiffuse, materials[1].m_strName), std::make_tuple(Vector4f(), std::string()))
            << "an empty material pointer gives a zero placeholder";
        EXPECT_EQ(materials[0].m_vDiffuse, Vector4f(1, 1, 1, 1));

        // Unchanged input: the same objects again, marked unchanged.
        const GLuint uiIndices = Out<BufferObject>("IndexBuffer")->m_uiName;
        ASSERT_TRUE(m_Harness.Run());
        EXPECT_EQ(Out<BufferObject>("IndexBuffer", &bChanged)->m_uiName, uiIndices);
        EXPECT_FALSE(bChanged);
    }
    const GLuint uiPositions = Out<BufferObject>("Positions")->m_uiName;
    {
        SCOPED_TRACE("meshes that read past their vertices are refused, keeping the last build");
        const GFX::Mesh good = mesh;
        mesh.m_Groups[0].m_Faces.push_back(Face(0, {0, 9, 1, 2}));
        EXPECT_NE(RunError().find("\"Mesh\": face 1 of group 0 uses vertex 9, but the mesh has 5 positions"),
                  std::string::npos);
        mesh = good;
        mesh.m_Normals.assign(2, Vector3f(0, 0, 1));
        EXPECT_NE(RunError().find("\"Mesh\": 2 normals for 5 positions"), std::string::npos);
        EXPECT_TRUE(glIsBuffer(uiPositions)) << "the last build stays";
        mesh.m_Normals.clear();
    }
    {
        SCOPED_TRACE("material indices out of the list form groups; other polygons are dropped");
        mesh.m_Positions.assign(6, Vector3f(0, 0, 0));
        mesh.m_Groups = {{"g", {Face(7, {5, 4, 3, 2}), Face(0, {0, 1, 2, 3, 4}), Face(-1, {3, 4, 5}), Face(0, {1, 2})}}};
        feed.m_bChanged = true;
        ASSERT_TRUE(m_Harness.Run());
        EXPECT_EQ(Groups(*Out<std::vector<SimpleMaterialGroup>>("MaterialGroups")),
                  (std::vector<Group>{{0xFFFFFFFFu, 0, 3, 3, 5, GL_TRIANGLES}, {7, 3, 6, 2, 5, GL_TRIANGLES}}));
        EXPECT_EQ(ReadBuffer<std::uint32_t>(Out<BufferObject>("IndexBuffer")),
                  (std::vector<std::uint32_t>{3, 4, 5, 5, 4, 3, 5, 3, 2}));
        EXPECT_EQ(ReadBuffer<std::int32_t>(Out<BufferObject>("Material Face Indices")),
                  (std::vector<std::int32_t>{7, 7, -1}));
    }
    {
        SCOPED_TRACE("only pentagons: nothing to draw, no index or material buffer");
        mesh.m_Groups = {{"g", {Face(0, {0, 1, 2, 3, 4}), Face(0, {1, 2, 3, 4, 5})}}};
        feed.m_bChanged = true;
        ASSERT_TRUE(m_Harness.Run());
        EXPECT_EQ(Out<BufferObject>("IndexBuffer")->m_uiName, 0u);
        EXPECT_EQ(Out<BufferObject>("Material Face Indices")->m_uiName, 0u);
        EXPECT_TRUE(Out<std::vector<SimpleMaterialGroup>>("MaterialGroups")->empty());
        EXPECT_EQ(ReadBuffer<Vector3f>(Out<BufferObject>("Positions")).size(), 6u);
    }
}

TEST_F(MeshToBuffer, MaterialsNamingOneFileShareOneTextureAndAllIsReleased)
{
    MeshFeed& feed = Feed();
    feed.m_Value->m_Positions.assign(3, Vector3f(0, 0, 0));
    feed.m_Value->m_Groups = {{"g", {Face(0, {0, 1, 2})}}};
    const std::wstring strA = File("a.cnt"), strB = File("b.cnt");
    for (const auto& textures : std::vector<std::vector<GFX::MeshTexture>>{
             {{strA, "Diffuse"}, {strB, "Bump"}}, {{strA, "Diffuse"}}, {{strB, "Specular"}, {strA, "Ambient"}}}) {
        feed.m_Value->m_Materials.push_back(std::make_shared<GFX::MeshMaterial>());
        feed.m_Value->m_Materials.back()->m_Textures = textures;
    }
    ASSERT_TRUE(m_Harness.Run());
    const auto& m = Materials();
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m_iReads, 2) << "each file once";
    ASSERT_NE(m[0].m_Textures[0].m_pTexture, nullptr);
    EXPECT_EQ(m[0].m_Textures[0].m_pTexture, m[1].m_Textures[0].m_pTexture);
    EXPECT_EQ(m[0].m_Textures[1].m_pTexture, m[2].m_Textures[0].m_pTexture);
    EXPECT_NE(m[0].m_Textures[0].m_pTexture, m[0].m_Textures[1].m_pTexture);
    EXPECT_EQ(m[2].m_Textures[1].m_strType, "Ambient");

    // Mipmaps: every texture read again, with a level 1.
    const std::vector<GLuint> names = BufferNames();
    m_Harness.GetGraph().SetControl("upload", "Create Mipmaps", "1");
    ASSERT_TRUE(m_Harness.Run());
    EXPECT_EQ(m_iReads, 4);
    GLint iLevel1 = 0;
    glBindTexture(GL_TEXTURE_2D, Materials()[1].m_Textures[0].m_pTexture->m_uiName);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &iLevel1);
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(iLevel1, 1);
    for (const GLuint uiOld : names) EXPECT_FALSE(glIsBuffer(uiOld)) << "the rebuild released " << uiOld;

    // A file that is not there: no texture, and the run stops naming it.
    feed.m_Value->m_Materials[1]->m_Textures.push_back({Utf8ToWide((m_Folder / "gone.cnt").string()), "Diffuse"});
    EXPECT_NE(RunError().find("gone.cnt"), std::string::npos);
    EXPECT_EQ(Materials()[1].m_Textures.at(1).m_pTexture, nullptr);

    const std::vector<GLuint> buffers = BufferNames();
    std::vector<GLuint> textures;
    for (const SimpleMaterial& material : Materials())
        for (const auto& reference : material.m_Textures)
            if (reference.m_pTexture) textures.push_back(reference.m_pTexture->m_uiName);
    EXPECT_EQ(textures.size(), 5u);
    m_Harness.GetGraph().DetachDevice();
    for (const GLuint uiTexture : textures) EXPECT_FALSE(glIsTexture(uiTexture)) << uiTexture;
    for (const GLuint uiBuffer : buffers) EXPECT_FALSE(glIsBuffer(uiBuffer)) << uiBuffer;
    EXPECT_TRUE(Materials().empty());
}

TEST_F(MeshToBuffer, ReadsTheTexturesOfARealModel)
{
    m_Harness.Add("Host.Mesh.File", "source");
    m_Harness.Connect("source", "Mesh", "upload", "Mesh");
    m_Harness.GetGraph().SetControl("source", "File Name", ONDO_TEST_DATA "/meshes/BoxTextured.gltf");
    ASSERT_TRUE(m_Harness.Run());
    const auto& materials = Materials();
    ASSERT_EQ(materials.size(), 2u);
    ASSERT_EQ(materials[0].m_Textures.size(), 1u);
    ASSERT_NE(materials[0].m_Textures[0].m_pTexture, nullptr);
    EXPECT_EQ(OpenGL::GetImageSize2D(materials[0].m_Textures[0].m_pTexture->m_uiName), (VectorT<int, 2>(211, 211)));
    EXPECT_EQ(ReadBuffer<Vector2f>(Out<BufferObject>("TextureCoordinates")).size(), 24u);
    EXPECT_EQ(ReadBuffer<Vector3f>(Out<BufferObject>("Normals")).size(), 24u);
}
