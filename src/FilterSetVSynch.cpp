#include "src/FilterSetVSynch.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/Instrumenter.h"
#include "Ondo/OpenGL/Device.h"

namespace Prismvale {

namespace {
const FilterRegistration<FilterSetVSynch> s_Registration("OpenGL.SetVSynch", "src\\FilterSetVSynch",
                                                         "Some Description", "Some Keywords");
} // namespace

FilterSetVSynch::FilterSetVSynch(Ondo::Core& core, const std::string& strName) : BaseFilter(core, strName, strName)
{
}

void FilterSetVSynch::CreatePorts() {}

// Reading does not ask for the value to be applied: a value read is applied
// only while the filter is still dirty from construction or after the next
// change of the check box.
void FilterSetVSynch::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    serializer.Serialize("bIsEnabled", bIsEnabled);
}

void FilterSetVSynch::Instrument(Ondo::Instrumenter& instrumenter)
{
    BaseFilter::Instrument(instrumenter);
    instrumenter.AddText("Please mind, that the driver settings in the Control Panel have priority.");
    instrumenter.AddBool("V-Sync enabled", &bIsEnabled, [this] { m_bDirty = true; });
}

// No GL object is made; the filter only remembers whose swap interval it sets.
void FilterSetVSynch::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context& context) { m_pContext = &context; }

void FilterSetVSynch::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_pContext = nullptr; }

// Acts once per change. Without swap control the request is dropped and not
// tried again at later runs.
void FilterSetVSynch::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    if (!m_bDirty) return;
    if (HasSwapControl()) SetSwapInterval(bIsEnabled ? 1 : 0);
    m_bDirty = false;
}

bool FilterSetVSynch::HasSwapControl() const { return m_pContext && m_pContext->HasSwapControl(); }

void FilterSetVSynch::SetSwapInterval(int iInterval)
{
    if (m_pContext) m_pContext->SetSwapInterval(iInterval);
}

} // namespace Prismvale
