#pragma once

#include "Ondo/FlowGraph/Filter.h"

#include <string>
#include <vector>

namespace Ondo::OpenGL {

class Context;
class Device;
class GLSLShaderPortHooker;

// The render device an OpenGL scope item is bound to while its GPU
// resources exist.
class DeviceBinding {
public:
    void Bind(Device& device);
    void Unbind();
    bool IsBound() const { return m_pDevice != nullptr; }
    Device* GetDevice() const { return m_pDevice; }
    // Makes the device's context current; throws std::runtime_error naming
    // the item when it is bound to no device.
    void MakeCurrent(const std::string& strItemName) const;

private:
    Device* m_pDevice = nullptr;
};

// Base of every OpenGL filter. The engine binds it to a render device, which
// creates its GPU resources (InitResources with the context current); each
// execution makes the context current and calls Process; unbinding releases
// the resources. The destructor never touches GL.
class BaseFilter : public FlowGraph::Filter {
public:
    BaseFilter(Core& core, const std::string& strName, const std::string& strTitle);
    ~BaseFilter() override;

    // Creates the fixed ports, once.
    void Initialize() final;
    // Makes the context current and runs Process.
    void Execute(FlowGraph::ScopeExecuter& executer) final;
    void Instrument(Instrumenter& instrumenter) override;
    // Filters without settings of their own store nothing here.
    void Serialize(FlowGraph::Serialization::Serializer& serializer) override;
    virtual void InitResources(Device& device, Context& context);
    virtual void ReleaseResources(Device& device, Context& context);
    virtual void Process(FlowGraph::ScopeExecuter& executer) = 0;

    // Makes the context of the bound device current (for editor callbacks
    // that touch GPU state).
    void MakeCurrent();

    // Engine side: binds the filter to the device and creates its resources;
    // releases them and unbinds. Detaching an unbound filter does nothing.
    void AttachDevice(Device& device);
    void DetachDevice();
    bool IsAttached() const { return m_Binding.IsBound(); }

    // The shader port hookers made on this filter register themselves. Once
    // InitResources or Process is over, their rebuilds are finished off:
    // ports that the new programs no longer declare are removed.
    void RegisterHooker(GLSLShaderPortHooker* pHooker);
    void UnregisterHooker(GLSLShaderPortHooker* pHooker);

private:
    void FinishHookerRebuilds();

    DeviceBinding m_Binding;
    bool m_bPortsCreated = false;
    std::vector<GLSLShaderPortHooker*> m_Hookers;
};

// Base of every OpenGL control-flow filter; the same life as BaseFilter, with
// ExecuteScope in place of Process.
class BaseCtrlFlowFilter : public FlowGraph::CtrlFlowFilter {
public:
    BaseCtrlFlowFilter(Core& core, const std::string& strName, const std::string& strTitle);
    ~BaseCtrlFlowFilter() override;

    void Initialize() final;
    void Execute(FlowGraph::ScopeExecuter& executer) final;
    void Instrument(Instrumenter& instrumenter) override;
    void Serialize(FlowGraph::Serialization::Serializer& serializer) override;
    virtual void InitResources(Device& device, Context& context);
    virtual void ReleaseResources(Device& device, Context& context);

    void MakeCurrent();
    void AttachDevice(Device& device);
    void DetachDevice();
    bool IsAttached() const { return m_Binding.IsBound(); }

private:
    DeviceBinding m_Binding;
    bool m_bPortsCreated = false;
};

} // namespace Ondo::OpenGL
