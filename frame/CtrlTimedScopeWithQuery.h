#pragma once

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/OpenGL/BaseFilter.h"

#include <GL/glew.h>

namespace Prismvale {

// A control-flow scope that runs its inner scope "Timed Scope" once between
// the begin and end of a GL time-elapsed query and publishes the GPU time of
// that work, in milliseconds, on "Time". Nested inside another scope's query
// it measures between two timestamps. Values cross the scope's boundary
// through linked port pairs.
class CtrlTimedScopeWithQuery : public Ondo::OpenGL::BaseCtrlFlowFilter {
public:
    CtrlTimedScopeWithQuery(Ondo::Core& core, const std::string& strName);

    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer) override;
    void CreatePorts() override;
    void AddBoundaryPort(Ondo::FlowGraph::PortHandle<Ondo::FlowGraph::Port>& hPort,
                         std::unique_ptr<Ondo::FlowGraph::Port> pPrototype, int iMode,
                         const Ondo::FlowGraph::ScopeHandle& hScope) override;
    void ExecuteScope(Ondo::FlowGraph::ScopeExecuter& executer) override;
    void InitResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void ReleaseResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;

    // Milliseconds from a query result in nanoseconds.
    static float ToMilliseconds(GLuint64 uiNanoseconds);

private:
    Ondo::FlowGraph::ScopeHandle hScopeTimed;
    Ondo::FlowGraph::PortHandle<Ondo::FlowGraph::SimplePortT<float>> hOutputTime;
    float m_fTime = 0.0f;
    GLuint m_uiQuery = 0;
    // Start and end timestamps, made on the first timed run.
    GLuint m_uiStamps[2] = {0, 0};
};

} // namespace Prismvale
