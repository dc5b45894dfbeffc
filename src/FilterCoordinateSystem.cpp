#include "src/FilterCoordinateSystem.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"

#include <cmath>
#include <functional>

namespace Prismvale {

namespace {
const FilterRegistration<FilterCoordinateSystem> s_Registration("OpenGL.ShowCoordinateSystem",
                                                                "src\\FilterCoordinateSystem",
                                                                "For visualizing a coordinate system given a matrix",
                                                                "OpenGL;Coordinate System;Debug;Matrix");

// Lights in view space: location 1 is the model-view matrix, and the normal
// matrix is that of the model-view matrix, so the eye sits at the origin.
const char* const VertexShader =
    "#version 430 core\n"
    "layout( location = 0 ) uniform mat4 MVP;\n"
    "layout( location = 1 ) uniform mat4 ModelView;\n"
    "layout( location = 2 ) uniform mat3 NormalMatrix;\n"
    "layout( location = 0 ) in vec3 Position;\n"
    "layout( location = 1 ) in vec3 Normal;\n"
    "layout( location = 2 ) in vec3 Color;\n"
    "out gl_PerVertex\n"
    "{\n"
    "\tvec4 gl_Position;\n"
    "};\n"
    "out block\n"
    "{\n"
    "\tvec3 Normal;\n"
    "\tvec3 ViewSpace;\n"
    "\tvec3 Color;\n"
    "} Out;\n"
    "void main()\n"
    "{\n"
    "\tOut.Color = Color;\n"
    "\tOut.Normal = NormalMatrix * Normal;\n"
    "\tOut.ViewSpace = ( ModelView * vec4( Position, 1.0 ) ).xyz;\n"
    "\tgl_Position = MVP * vec4( Position, 1.0 );\n"
    "}\n";

// Lambert with a light at the eye.
const char* const FragmentShader =
    "#version 430 core\n"
    "in block\n"
    "{\tvec3 Normal;\n"
    "\tvec3 ViewSpace;\n"
    "\tvec3 Color;\n"
    "} In;\n"
    "layout( location = 0 ) out vec4 o_FragData;\n"
    "void main()\n"
    "{\n"
    "\tfloat fLambert = max( dot( normalize( -In.ViewSpace ), In.Normal ), 0.0 );\n"
    "\to_FragData = vec4( fLambert * In.Color, 1.0 );\n"
    "}\n";

// Segments of every curved piece, and the divisor of the segment number
// that gives its angle: the single-precision value of 2 pi - 0.05.
constexpr int Segments = 40;
constexpr float AngleDivisor = 6.2331853f;
// pi / 2 in single precision: the axis copies turn by exactly this.
constexpr float QuarterTurn = 1.5707963705062866f;

float Angle(int s) { return static_cast<float>(s) / AngleDivisor; }

// (sin a, 0, cos a) times r: where segment s meets the rim of a circle of
// radius r around the y axis.
Ondo::Vector3f RimOffset(int s, float r)
{
    return {std::sin(Angle(s)) * r, 0.0f, std::cos(Angle(s)) * r};
}

std::uint32_t Next(int s) { return static_cast<std::uint32_t>((s + 1) % Segments); }

// The mesh with every position and normal turned by the rotation (a
// rotation is its own inverse transpose, so normals turn the same way) and
// every vertex coloured.
FilterCoordinateSystem::Mesh Turned(FilterCoordinateSystem::Mesh mesh,
                                    const std::function<Ondo::Vector3f(const Ondo::Vector3f&)>& fnRotate,
                                    const Ondo::Vector3f& color)
{
    for (Ondo::Vector3f& p : mesh.m_Positions) p = fnRotate(p);
    for (Ondo::Vector3f& n : mesh.m_Normals) n = fnRotate(n);
    mesh.m_Colors.assign(mesh.m_Positions.size(), color);
    return mesh;
}

void Upload(Ondo::OpenGL::BufferObject& buffer, GLenum eTarget, const void* pData, std::size_t uiBytes)
{
    glGenBuffers(1, &buffer.m_uiName);
    glBindBuffer(eTarget, buffer.m_uiName);
    glBufferData(eTarget, static_cast<GLsizeiptr>(uiBytes), pData, GL_STATIC_DRAW);
    glBindBuffer(eTarget, 0);
}
} // namespace

void FilterCoordinateSystem::Mesh::Append(const Mesh& other)
{
    const auto uiBase = static_cast<std::uint32_t>(m_Positions.size());
    m_Positions.insert(m_Positions.end(), other.m_Positions.begin(), other.m_Positions.end());
    m_Normals.insert(m_Normals.end(), other.m_Normals.begin(), other.m_Normals.end());
    m_Colors.insert(m_Colors.end(), other.m_Colors.begin(), other.m_Colors.end());
    for (const std::uint32_t uiIndex : other.m_Indices) m_Indices.push_back(uiBase + uiIndex);
}

FilterCoordinateSystem::Mesh FilterCoordinateSystem::MakeCap(const Ondo::Vector3f& c, float r, bool bUp)
{
    Mesh cap;
    cap.m_Positions.push_back(c);
    for (int s = 0; s < Segments; ++s) cap.m_Positions.push_back(c + RimOffset(s, r));
    cap.m_Normals.assign(cap.m_Positions.size(), Ondo::Vector3f(0.0f, bUp ? 1.0f : -1.0f, 0.0f));
    for (int s = 0; s < Segments; ++s)
        cap.m_Indices.insert(cap.m_Indices.end(), {std::uint32_t(s + 1), 0u, Next(s) + 1});
    return cap;
}

FilterCoordinateSystem::Mesh FilterCoordinateSystem::MakeCylinderSide(const Ondo::Vector3f& c, float r, float L)
{
    Mesh side;
    for (int s = 0; s < Segments; ++s) {
        const Ondo::Vector3f rim = c + RimOffset(s, r);
        const Ondo::Vector3f normal = RimOffset(s, 1.0f).Normalized();
        side.m_Positions.insert(side.m_Positions.end(), {rim, rim + Ondo::Vector3f(0.0f, L, 0.0f)});
        side.m_Normals.insert(side.m_Normals.end(), {normal, normal});
    }
    for (int s = 0; s < Segments; ++s) {
        const auto i = static_cast<std::uint32_t>(2 * s), n = 2 * Next(s);
        side.m_Indices.insert(side.m_Indices.end(), {i + 1, i, n, i + 1, n, n + 1});
    }
    return side;
}

FilterCoordinateSystem::Mesh FilterCoordinateSystem::MakeConeSide(const Ondo::Vector3f& c, float r, float h)
{
    Mesh side;
    const Ondo::Vector3f tip = c + Ondo::Vector3f(0.0f, h, 0.0f);
    for (int s = 0; s < Segments; ++s) {
        const Ondo::Vector3f u = RimOffset(s, 1.0f).Normalized();
        const Ondo::Vector3f normal = Ondo::Vector3f(u.x(), h / r, u.z()).Normalized();
        side.m_Positions.insert(side.m_Positions.end(), {tip, c + RimOffset(s, r)});
        side.m_Normals.insert(side.m_Normals.end(), {normal, normal});
    }
    for (int s = 0; s < Segments; ++s) {
        const auto i = static_cast<std::uint32_t>(2 * s);
        side.m_Indices.insert(side.m_Indices.end(), {i, i + 1, 2 * Next(s) + 1});
    }
    return side;
}

FilterCoordinateSystem::Mesh FilterCoordinateSystem::MakeArrow()
{
    constexpr float CylinderRadius = 0.02f, CylinderLength = 0.97f;
    constexpr float ConeRadius = 0.07f, ConeHeight = 0.0785f, ConeBase = 0.9215f;
    const Ondo::Vector3f origin(0.0f, 0.0f, 0.0f), base(0.0f, ConeBase, 0.0f);
    Mesh arrow = MakeCap(origin, CylinderRadius, false);
    arrow.Append(MakeCylinderSide(origin, CylinderRadius, CylinderLength));
    arrow.Append(MakeCap(Ondo::Vector3f(0.0f, CylinderLength, 0.0f), CylinderRadius, true));
    arrow.Append(MakeCap(base, ConeRadius, false));
    arrow.Append(MakeConeSide(base, ConeRadius, ConeHeight));
    return arrow;
}

FilterCoordinateSystem::Mesh FilterCoordinateSystem::MakeAxes()
{
    const Mesh arrow = MakeArrow();
    const float c = std::cos(QuarterTurn), s = std::sin(QuarterTurn);
    Mesh axes;
    // -90 degrees about z: +y becomes +x.
    axes.Append(Turned(
        arrow, [&](const Ondo::Vector3f& v) { return Ondo::Vector3f(c * v.x() + s * v.y(), -s * v.x() + c * v.y(), v.z()); },
        {1.0f, 0.0f, 0.0f}));
    axes.Append(Turned(arrow, [](const Ondo::Vector3f& v) { return v; }, {0.0f, 1.0f, 0.0f}));
    // +90 degrees about x: +y becomes +z.
    axes.Append(Turned(
        arrow, [&](const Ondo::Vector3f& v) { return Ondo::Vector3f(v.x(), c * v.y() - s * v.z(), s * v.y() + c * v.z()); },
        {0.0f, 0.0f, 1.0f}));
    return axes;
}

FilterCoordinateSystem::FilterCoordinateSystem(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName), m_Pass(*this, std::wstring(), std::wstring())
{
}

void FilterCoordinateSystem::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hMatWorldIn, {PortType::Input, "World-Matrix", true});
    CreatePort(hMatViewIn, {PortType::Input, "View-Matrix", false});
    CreatePort(hMatProjIn, {PortType::Input, "Projection-Matrix", false});
    CreatePort(hTextureTargetColor, {PortType::Input, "Target Color", false});
    CreatePort(hTextureDepthIn, {PortType::Input, "Target Depth", false});
    CreatePort(hDepthOut, {PortType::Output, "Depth", false});
    CreatePort(hTextureOutColor, {PortType::Output, "Color", false});
}

void FilterCoordinateSystem::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    BaseFilter::Serialize(serializer);
    serializer.Serialize("hMatWorldIn", hMatWorldIn);
    serializer.Serialize("hMatViewIn", hMatViewIn);
    serializer.Serialize("hMatProjIn", hMatProjIn);
    serializer.Serialize("hTextureTargetColor", hTextureTargetColor);
    serializer.Serialize("hTextureDepthIn", hTextureDepthIn);
    serializer.Serialize("hDepthOut", hDepthOut);
    serializer.Serialize("hTextureOutColor", hTextureOutColor);
}

void FilterCoordinateSystem::InitResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context)
{
    ReleaseResources(device, context);
    m_Pass.BuildFromText(VertexShader, FragmentShader);
    const Mesh axes = MakeAxes();
    const std::size_t uiVectorBytes = axes.m_Positions.size() * sizeof(Ondo::Vector3f);
    Upload(m_Positions, GL_ARRAY_BUFFER, axes.m_Positions.data(), uiVectorBytes);
    Upload(m_Normals, GL_ARRAY_BUFFER, axes.m_Normals.data(), uiVectorBytes);
    Upload(m_Colors, GL_ARRAY_BUFFER, axes.m_Colors.data(), uiVectorBytes);
    Upload(m_Indices, GL_ELEMENT_ARRAY_BUFFER, axes.m_Indices.data(), axes.m_Indices.size() * sizeof(std::uint32_t));
    m_iIndexCount = static_cast<GLsizei>(axes.m_Indices.size());
}

void FilterCoordinateSystem::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    m_Pass.Release();
    // The index buffer goes too: InitResources makes every buffer anew.
    for (Ondo::OpenGL::BufferObject* pBuffer : {&m_Positions, &m_Normals, &m_Colors, &m_Indices}) pBuffer->Release();
    m_iIndexCount = 0;
}

void FilterCoordinateSystem::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    // Everything is checked before the GL state changes, so that a refused
    // run leaves no framebuffer, program or attribute bound.
    Ondo::OpenGL::TextureObject2D* pDepth = hTextureDepthIn->GetData();
    Ondo::OpenGL::TextureObject2D* pColor = hTextureTargetColor->GetData();
    const Ondo::Vector2i size = m_Pass.CheckTargets("Target Depth", pDepth, "Target Color", pColor);
    const Ondo::Matrix44f* pWorld = hMatWorldIn->GetData();
    const Ondo::Matrix44f& view = RequireMatrix(hMatViewIn->GetData(), "View-Matrix");
    const Ondo::Matrix44f& projection = RequireMatrix(hMatProjIn->GetData(), "Projection-Matrix");

    // The program's location 1 takes the model-view matrix in place of the
    // world matrix, and the normal matrix is the model-view matrix's.
    RenderMatrices matrices;
    matrices.m_World = pWorld ? view * *pWorld : view;
    matrices.m_ModelViewProjection = projection * matrices.m_World;
    matrices.m_Normal = Ondo::NormalMatrix(matrices.m_World);

    m_Pass.BindTargets(*pDepth, size, pColor);
    m_Pass.SetMatrices(matrices);
    m_Pass.Use();
    const std::vector<VertexBufferInput> buffers = {{&m_Positions, PositionAttribute, 3, "", ""},
                                                    {&m_Normals, NormalAttribute, 3, "", ""},
                                                    {&m_Colors, 2, 3, "", ""}};
    m_Pass.BindVertexBuffers(buffers);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_Indices.m_uiName);
    glDrawElements(GL_TRIANGLES, m_iIndexCount, GL_UNSIGNED_INT, nullptr);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    m_Pass.Finish(buffers);

    hDepthOut->SetData(pDepth, true);
    hTextureOutColor->SetData(pColor, true);
}

} // namespace Prismvale
