#pragma once

#include "Ondo/OpenGL/BaseFilter.h"

namespace Prismvale {

// Switches vertical synchronisation of the render device's context on or off
// when its check box changed. It has no ports.
//
// The swap-control test of the windowing binding is, on this platform, a
// question to the EGL context: EGL sets the swap interval on the surface bound
// to the context (eglSwapInterval, a core EGL function, so no entry point has
// to be looked up). A headless context made without a surface has no swap to
// control, and the request is then dropped as for a missing extension.
class FilterSetVSynch : public Ondo::OpenGL::BaseFilter {
public:
    FilterSetVSynch(Ondo::Core& core, const std::string& strName);

    void CreatePorts() override;
    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer) override;
    void Instrument(Ondo::Instrumenter& instrumenter) override;
    void InitResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void ReleaseResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void Process(Ondo::FlowGraph::ScopeExecuter& executer) override;

protected:
    // The two platform steps: whether the context offers swap control, and
    // setting its swap interval (the result is not examined).
    virtual bool HasSwapControl() const;
    virtual void SetSwapInterval(int iInterval);

private:
    bool m_bDirty = true;
    bool bIsEnabled = false;
    // The context of the render device, known while the filter is bound to it.
    Ondo::OpenGL::Context* m_pContext = nullptr;
};

} // namespace Prismvale
