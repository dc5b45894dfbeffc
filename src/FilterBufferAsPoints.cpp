#include "src/FilterBufferAsPoints.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

namespace Prismvale {

namespace {
const FilterRegistration<FilterBufferAsPoints> s_Registration("OpenGL.BufferAsPoints", "src\\FilterBufferAsPoints",
                                                              "For visualizing the contents of a Buffer using points",
                                                              "OpenGL;Buffer;Points;Debug");

// The program's own uniform locations: this pass has no world or normal
// matrix, so its colour takes location 0.
constexpr GLint ColorLocation = 0;
constexpr GLint PointsModelViewProjectionLocation = 1;
} // namespace

FilterBufferAsPoints::FilterBufferAsPoints(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName),
      m_Pass(*this, L"BufferAsPoints/BufferAsPoints.vert", L"BufferAsPoints/BufferAsPoints.frag")
{
}

void FilterBufferAsPoints::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hBufferIn, {PortType::Input, "Buffer", false});
    CreatePort(hMatWorldIn, {PortType::Input, "World-Matrix", true});
    CreatePort(hMatViewIn, {PortType::Input, "View-Matrix", false});
    CreatePort(hMatProjIn, {PortType::Input, "Projection-Matrix", false});
    CreatePort(hColor, {PortType::Input, "Color", true});
    CreatePort(hPointSize, {PortType::Input, "PointSize", true});
    CreatePort(hTextureDepthIn, {PortType::Input, "Target Depth", false});
    CreatePort(hDepthOut, {PortType::Output, "Depth", false});
}

void FilterBufferAsPoints::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    BaseFilter::Serialize(serializer);
    serializer.Serialize("ShaderHelper", m_Pass.GetHooker());
    serializer.Serialize("hMatWorldIn", hMatWorldIn);
    serializer.Serialize("hMatViewIn", hMatViewIn);
    serializer.Serialize("hMatProjIn", hMatProjIn);
    serializer.Serialize("hColor", hColor);
    serializer.Serialize("hPointSize", hPointSize);
    serializer.Serialize("hTextureDepthIn", hTextureDepthIn);
    serializer.Serialize("hBufferIn", hBufferIn);
    serializer.Serialize("hDepthOut", hDepthOut);
}

void FilterBufferAsPoints::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Build(); }

void FilterBufferAsPoints::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Release(); }

float FilterBufferAsPoints::PointSizeFor(float fValue)
{
    return std::max(fValue, std::numeric_limits<float>::min());
}

void FilterBufferAsPoints::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    // Everything is checked before the GL state changes, so that a refused
    // run leaves no framebuffer, program or attribute bound.
    Ondo::OpenGL::TextureObject2D* pDepth = hTextureDepthIn->GetData();
    const Ondo::Vector2i size = m_Pass.CheckTargets("Target Depth", pDepth);
    const Ondo::OpenGL::BufferObject* pBuffer = hBufferIn->GetData();
    if (!pBuffer || pBuffer->m_uiName == 0) throw std::runtime_error("\"Buffer\" carries no buffer");
    const RenderMatrices matrices =
        RenderMatrices::From(hMatWorldIn->GetData(), RequireMatrix(hMatViewIn->GetData(), "View-Matrix"),
                             RequireMatrix(hMatProjIn->GetData(), "Projection-Matrix"));
    const Ondo::Vector3f* pColor = hColor->GetData();
    const Ondo::Vector3f color = pColor ? *pColor : Ondo::Vector3f(1.0f, 0.0f, 0.0f);
    const float* pPointSize = hPointSize->GetData();
    // A size that is no number would reach glPointSize unraised.
    if (pPointSize && std::isnan(*pPointSize)) throw std::runtime_error("\"PointSize\" is not a number");
    const float fPointSize = pPointSize ? PointSizeFor(*pPointSize) : 1.0f;

    const GLuint uiProgram = m_Pass.GetProgram();
    m_Pass.GetHooker().UpdateUniformVariables(uiProgram, 0);
    m_Pass.BindTargets(*pDepth, size);
    glProgramUniform3fv(uiProgram, ColorLocation, 1, color.data());
    glPointSize(fPointSize);
    glProgramUniformMatrix4fv(uiProgram, PointsModelViewProjectionLocation, 1, GL_FALSE,
                              matrices.m_ModelViewProjection.data());
    m_Pass.Use();
    // Whole positions only: trailing bytes that make no full position are
    // not drawn. An empty buffer draws nothing.
    glBindBuffer(GL_ARRAY_BUFFER, pBuffer->m_uiName);
    GLint iBytes = 0;
    glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &iBytes);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    const std::vector<VertexBufferInput> buffers = {{pBuffer, PositionAttribute, 3, "", ""}};
    m_Pass.BindVertexBuffers(buffers);
    glDrawArrays(GL_POINTS, 0, iBytes / GLint(3 * sizeof(float)));
    m_Pass.Finish(buffers);
    glPointSize(1.0f);

    hDepthOut->SetData(pDepth, true);
    m_Pass.GetHooker().SetOutputs();
}

} // namespace Prismvale
