#include "src/FilterDepthToNormal.h"

#include "src/ProjectionUniforms.h"

#include "frame/DescriptorList.h"
#include "frame/ImageUnitFormat.h"
#include "frame/ScreenPass.h"

#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/FlowGraph/ValuePorts.h"
#include "Ondo/OpenGL/Textures.h"

#include <stdexcept>

namespace Prismvale {

namespace {
const FilterRegistration<FilterDepthToNormal> s_Registration("OpenGL.Texture.DepthToNormal",
                                                             "src\\FilterDepthToNormal",
                                                             "For deriving the normals from the depth buffer",
                                                             "OpenGL;Texture;Normals;Depth");

// The formats that keep the sign of three components: anything else would
// clamp or drop a part of each normal.
bool HoldsSignedNormals(GLenum eFormat)
{
    return eFormat == GL_RGBA16F || eFormat == GL_RGBA32F || eFormat == GL_RGB16F || eFormat == GL_RGB32F;
}
} // namespace

FilterDepthToNormal::FilterDepthToNormal(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName),
      m_Pass(*this, L"DepthToNormal/DepthToNormal.vert", L"DepthToNormal/DepthToNormal.frag")
{
}

void FilterDepthToNormal::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hTargetTexture, {PortType::Input, "Target Texture", false});
    CreatePort(hProjectionMatrix, {PortType::Input, "Projection Matrix", false});
    CreatePort(hTextureOut, {PortType::Output, "ViewSpace Normal", false});
}

void FilterDepthToNormal::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    m_Pass.GetHooker().Serialize(serializer);
    serializer.Serialize("hTargetTexture", hTargetTexture);
    serializer.Serialize("hTextureOut", hTextureOut);
    serializer.Serialize("hProjectionMatrix", hProjectionMatrix);
}

void FilterDepthToNormal::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Build(); }

void FilterDepthToNormal::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Release(); }

void FilterDepthToNormal::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    // Everything is checked before the GL state changes.
    const GLuint uiProgram = m_Pass.GetProgram();
    RequireLinkedProgram(uiProgram);
    Ondo::OpenGL::TextureObject2D* pTarget = hTargetTexture->GetData();
    const Ondo::Vector2i size = RequireFloatTexture("Target Texture", pTarget);
    const GLenum eFormat = Ondo::OpenGL::GetInternalFormat2D(pTarget->m_uiName);
    if (!HoldsSignedNormals(eFormat))
        throw std::runtime_error("\"Target Texture\" is a " + FormatName(eFormat) +
                                 " texture, which cannot hold the signed x, y and z of a normal; give it "
                                 "GL_RGBA16F or GL_RGBA32F");
    // The depth is read texel for texel over the target.
    RequireHookedTextures(m_Pass.GetHooker(), uiProgram, &size);
    const Ondo::Matrix44f& projection = RequireMatrix(hProjectionMatrix->GetData(), "Projection Matrix");

    SetProjectionUniforms(uiProgram, projection);
    const GLenum eAttachment = BindColourTarget(&m_Pass.GetHooker(), uiProgram, m_Pass.GetFramebuffer(),
                                                "Target Texture", pTarget->m_uiName);
    glDisable(GL_DEPTH_TEST);
    glViewport(0, 0, size.x(), size.y());
    glUseProgram(uiProgram);
    m_Pass.GetHooker().UpdateUniformVariables(uiProgram, 0);
    // The vertex shader makes the quad's corners from the vertex index.
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glUseProgram(0);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, 0);
    UnbindColourTarget(&m_Pass.GetHooker(), uiProgram, m_Pass.GetFramebuffer(), eAttachment);
    glEnable(GL_DEPTH_TEST);
    m_Pass.GetHooker().SetOutputs();
    hTextureOut->SetData(pTarget, true);
}

} // namespace Prismvale
