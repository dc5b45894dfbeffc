#pragma once

#include "src/FilterDeferredRenderer.h"

namespace Prismvale {

// The deferred renderer with shaders that see where the eye is: the eye
// position in the mesh's object space goes to uniform location 3. Ours colour
// the surface by its distance from the eye (red near, through green, to blue
// far, between two distances the shader takes as inputs), modulated by the
// diffuse texture.
class FilterDeferredChromoRenderer : public FilterDeferredRenderer {
public:
    FilterDeferredChromoRenderer(Ondo::Core& core, const std::string& strName);

protected:
    void SetExtraUniforms(GLuint uiProgram, const RenderMatrices& matrices) override;
};

} // namespace Prismvale
