#pragma once

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"
#include "Ondo/Vector.h"

#include <cfloat>

namespace Prismvale {

// Publishes the per-channel minimum and maximum of level 0 of a 3D texture
// with integer, float or GL_RGB8 texels. The texture is read back only on
// runs where the input reports a new value; the channels a texture does not
// have keep FLT_MAX as minimum and -FLT_MAX as maximum.
//
// No GPU resources: no pass of this filter would use a program, so it builds
// none.
class FilterTexture3DMinMaxValue : public Ondo::OpenGL::BaseFilter {
public:
    FilterTexture3DMinMaxValue(Ondo::Core& core, const std::string& strName);

    void CreatePorts() override;
    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer) override;
    void Process(Ondo::FlowGraph::ScopeExecuter& executer) override;

private:
    using VectorPort = Ondo::FlowGraph::SimplePortT<Ondo::Vector4f>;

    void Recompute(GLuint uiTexture);

    Ondo::FlowGraph::PortHandle<Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObject3D>> hInTex;
    Ondo::FlowGraph::PortHandle<VectorPort> hMin;
    Ondo::FlowGraph::PortHandle<VectorPort> hMax;
    Ondo::Vector4f m_vMin{FLT_MAX, FLT_MAX, FLT_MAX, FLT_MAX};
    Ondo::Vector4f m_vMax{-FLT_MAX, -FLT_MAX, -FLT_MAX, -FLT_MAX};
};

} // namespace Prismvale
