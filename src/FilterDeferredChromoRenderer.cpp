#include "src/FilterDeferredChromoRenderer.h"

#include "frame/DescriptorList.h"

#include <stdexcept>

namespace Prismvale {

namespace {
const FilterRegistration<FilterDeferredChromoRenderer> s_Registration("OpenGL.Render.DeferredChromo",
                                                                      "src\\FilterDeferredChromoRenderer",
                                                                      "Deferred Chromo Rendering of a mesh",
                                                                      "OpenGL;Mesh;DeferredChromo;");

constexpr GLint EyePositionLocation = 3;
} // namespace

FilterDeferredChromoRenderer::FilterDeferredChromoRenderer(Ondo::Core& core, const std::string& strName)
    : FilterDeferredRenderer(core, strName, L"DeferredChromoRenderer/DeferredChromoRenderer.vert",
                             L"DeferredChromoRenderer/DeferredChromoRenderer.frag")
{
}

// The eye in the mesh's object space: where inverse(View x World) takes the
// origin. Without an inverse there is no such point, and every distance the
// shader colours by would be wrong.
void FilterDeferredChromoRenderer::SetExtraUniforms(GLuint uiProgram, const RenderMatrices& matrices)
{
    const std::optional<Ondo::Vector3f> eye = EyePosition(matrices.m_View * matrices.m_World);
    if (!eye)
        throw std::runtime_error("\"View-Matrix\" x \"World-Matrix\" has no inverse, so the eye has no position in "
                                 "the mesh's space");
    glProgramUniform3f(uiProgram, EyePositionLocation, (*eye)[0], (*eye)[1], (*eye)[2]);
}

} // namespace Prismvale
