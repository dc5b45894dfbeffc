#include "src/FilterCombineToAutostereoscopic.h"

#include "frame/DescriptorList.h"
#include "frame/ImageUnitFormat.h"

#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/OpenGL/Textures.h"

#include <string>

namespace Prismvale {

namespace {
const FilterRegistration<FilterCombineToAutostereoscopic> s_Registration(
    "OpenGL.Texture.CombineToAutostereoscopic", "src\\FilterCombineToAutostereoscopic",
    "For combining 5 images to a tridelity autostereoscopic image", "OpenGL;Texture;Stereo;");

const char* const s_ViewLabels[5] = {"Texture 0", "Texture 1", "Texture 2", "Texture 3", "Texture 4"};
} // namespace

FilterCombineToAutostereoscopic::FilterCombineToAutostereoscopic(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName),
      m_Pass(*this, L"CombineToAutostereoscopic/CombineToAutostereoscopic.comp", HookedComputePass::TargetUnit::Five,
             {"vInvImgSize"})
{
}

void FilterCombineToAutostereoscopic::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    Ondo::FlowGraph::PortHandle<TexturePort>* views[5] = {&hTex0, &hTex1, &hTex2, &hTex3, &hTex4};
    for (int i = 0; i < 5; ++i) CreatePort(*views[i], {PortType::Input, s_ViewLabels[i], false});
    CreatePort(hTargetTexture, {PortType::Input, "Target Texture", false});
    CreatePort(hTextureOut, {PortType::Output, "Combined Image", false});
}

void FilterCombineToAutostereoscopic::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    m_Pass.GetHooker().Serialize(serializer);
    serializer.Serialize("hTex0", hTex0);
    serializer.Serialize("hTex1", hTex1);
    serializer.Serialize("hTex2", hTex2);
    serializer.Serialize("hTex3", hTex3);
    serializer.Serialize("hTex4", hTex4);
    serializer.Serialize("hTargetTexture", hTargetTexture);
    serializer.Serialize("hTextureOut", hTextureOut);
}

void FilterCombineToAutostereoscopic::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Build(); }

void FilterCombineToAutostereoscopic::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    m_Pass.Release();
}

void FilterCombineToAutostereoscopic::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    Ondo::OpenGL::TextureObject2D* pTarget = hTargetTexture->GetData();
    const Ondo::OpenGL::TextureObject2D* views[5] = {hTex0->GetData(), hTex1->GetData(), hTex2->GetData(),
                                                     hTex3->GetData(), hTex4->GetData()};
    // Every view is read; a missing one would leave a fifth of the picture
    // black. The views are read as colours, so integer textures cannot be.
    for (int i = 0; i < 5; ++i)
        if (!views[i] || views[i]->m_uiName == 0) {
            ReportMissingTexture(*this, s_ViewLabels[i]);
            return;
        }
    if (pTarget && pTarget->m_uiName != 0) {
        const ImageUnitFormat unit =
            RequireImageUnitFormat(Ondo::OpenGL::GetInternalFormat2D(pTarget->m_uiName), "Target Texture");
        for (int i = 0; i < 5; ++i) RequireInputKind(s_ViewLabels[i], views[i], TexelKind::Float, unit);
    }
    // The fixed views go to units 0 to 4 once the hooker has bound what the
    // shader declares, without a sampler object: a view's own parameters
    // decide whether it is complete.
    const Ondo::Vector2i size = pTarget ? Ondo::OpenGL::GetImageSize2D(pTarget->m_uiName) : Ondo::Vector2i(1, 1);
    const auto fnAfterBinding = [&views, &size](const ComputeProgram& program) {
        glProgramUniform2f(program.m_uiName, program.Location(0), 1.0f / static_cast<float>(size.x()),
                           1.0f / static_cast<float>(size.y()));
        for (GLuint i = 0; i < 5; ++i) {
            glActiveTexture(GL_TEXTURE0 + i);
            glBindTexture(GL_TEXTURE_2D, views[i]->m_uiName);
            glBindSampler(i, 0);
        }
    };
    if (m_Pass.Run(pTarget, {}, fnAfterBinding)) hTextureOut->SetData(pTarget, true);
}

} // namespace Prismvale
