#include "Ondo/OpenGL/BaseFilter.h"

#include "Ondo/OpenGL/Device.h"
#include "Ondo/OpenGL/GLSLShaderPortHooker.h"

#include <algorithm>

#include <stdexcept>

namespace Ondo::OpenGL {

namespace {

// What both OpenGL bases share: ports made once, resources made with the
// context current and released again if making them fails half-way.
template <class Item>
void CreatePortsOnce(Item& item, bool& bPortsCreated)
{
    if (bPortsCreated) return;
    item.CreatePorts();
    bPortsCreated = true;
}

template <class Item>
void Attach(Item& item, DeviceBinding& binding, Device& device)
{
    if (binding.IsBound()) {
        if (binding.GetDevice() == &device) return;
        throw std::runtime_error(item.GetName() + ": already bound to another render device");
    }
    binding.Bind(device);
    binding.MakeCurrent(item.GetName());
    try {
        item.InitResources(device, device.GetContext());
    } catch (...) {
        try {
            item.ReleaseResources(device, device.GetContext());
        } catch (...) {
        }
        binding.Unbind();
        throw;
    }
}

template <class Item>
void Detach(Item& item, DeviceBinding& binding)
{
    if (!binding.IsBound()) return;
    Device& device = *binding.GetDevice();
    binding.MakeCurrent(item.GetName());
    try {
        item.ReleaseResources(device, device.GetContext());
    } catch (...) {
        binding.Unbind();
        throw;
    }
    binding.Unbind();
}

} // namespace

void DeviceBinding::Bind(Device& device) { m_pDevice = &device; }

void DeviceBinding::Unbind() { m_pDevice = nullptr; }

void DeviceBinding::MakeCurrent(const std::string& strItemName) const
{
    if (!m_pDevice)
        throw std::runtime_error(strItemName + ": not bound to a render device, so it has no OpenGL context");
    m_pDevice->MakeCurrent();
}

BaseFilter::BaseFilter(Core& core, const std::string& strName, const std::string& strTitle)
    : FlowGraph::Filter(core, strName, strTitle)
{
}

BaseFilter::~BaseFilter() = default;

void BaseFilter::Initialize() { CreatePortsOnce(*this, m_bPortsCreated); }

void BaseFilter::Execute(FlowGraph::ScopeExecuter& executer)
{
    m_Binding.MakeCurrent(GetName());
    Process(executer);
    FinishHookerRebuilds();
}

void BaseFilter::Instrument(Instrumenter&) {}

void BaseFilter::Serialize(FlowGraph::Serialization::Serializer&) {}

void BaseFilter::InitResources(Device&, Context&) {}

void BaseFilter::ReleaseResources(Device&, Context&) {}

void BaseFilter::MakeCurrent() { m_Binding.MakeCurrent(GetName()); }

void BaseFilter::AttachDevice(Device& device)
{
    Attach(*this, m_Binding, device);
    FinishHookerRebuilds();
}

void BaseFilter::RegisterHooker(GLSLShaderPortHooker* pHooker) { m_Hookers.push_back(pHooker); }

void BaseFilter::UnregisterHooker(GLSLShaderPortHooker* pHooker)
{
    m_Hookers.erase(std::remove(m_Hookers.begin(), m_Hookers.end(), pHooker), m_Hookers.end());
}

void BaseFilter::FinishHookerRebuilds()
{
    for (GLSLShaderPortHooker* pHooker : m_Hookers) pHooker->RemoveTemporaryPorts();
}

void BaseFilter::DetachDevice() { Detach(*this, m_Binding); }

BaseCtrlFlowFilter::BaseCtrlFlowFilter(Core& core, const std::string& strName, const std::string& strTitle)
    : FlowGraph::CtrlFlowFilter(core, strName, strTitle)
{
}

BaseCtrlFlowFilter::~BaseCtrlFlowFilter() = default;

void BaseCtrlFlowFilter::Initialize() { CreatePortsOnce(*this, m_bPortsCreated); }

void BaseCtrlFlowFilter::Execute(FlowGraph::ScopeExecuter& executer)
{
    m_Binding.MakeCurrent(GetName());
    ExecuteScope(executer);
}

void BaseCtrlFlowFilter::Instrument(Instrumenter&) {}

void BaseCtrlFlowFilter::Serialize(FlowGraph::Serialization::Serializer&) {}

void BaseCtrlFlowFilter::InitResources(Device&, Context&) {}

void BaseCtrlFlowFilter::ReleaseResources(Device&, Context&) {}

void BaseCtrlFlowFilter::MakeCurrent() { m_Binding.MakeCurrent(GetName()); }

void BaseCtrlFlowFilter::AttachDevice(Device& device) { Attach(*this, m_Binding, device); }

void BaseCtrlFlowFilter::DetachDevice() { Detach(*this, m_Binding); }

} // namespace Ondo::OpenGL
