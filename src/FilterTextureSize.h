#pragma once

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"

namespace Prismvale {

// Publishes the width and height of level 0 of a 2D texture. Each output is
// marked changed only on a run where its value differs from the last one.
class FilterTextureSize : public Ondo::OpenGL::BaseFilter {
public:
    FilterTextureSize(Ondo::Core& core, const std::string& strName);

    void CreatePorts() override;
    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer) override;
    void Process(Ondo::FlowGraph::ScopeExecuter& executer) override;

private:
    using IntPort = Ondo::FlowGraph::SimplePortT<int>;

    Ondo::FlowGraph::PortHandle<Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObject2D>> hInTex;
    // The handles of "Width" and "Height", named after the keys they are
    // stored under in graph files.
    Ondo::FlowGraph::PortHandle<IntPort> hInTarget;
    Ondo::FlowGraph::PortHandle<IntPort> hOutTex;
    int m_iWidth = 0;
    int m_iHeight = 0;
};

} // namespace Prismvale
