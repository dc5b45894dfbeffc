#include "host/Modules/HostModules.h"

#include "host/Modules/Camera.h"
#include "host/Modules/ConstantSources.h"
#include "host/Modules/ImageSink.h"
#include "host/Modules/LightSource.h"
#include "host/Modules/MeshFile.h"
#include "host/Modules/MeshShapes.h"
#include "host/Modules/ValuePrinters.h"

#include "Ondo/FlowGraph/FilterRegistry.h"

namespace Ondo::Host {

void RegisterHostModules(Core& core)
{
    FlowGraph::FilterRegistry& registry = FlowGraph::FilterRegistry::Get(core);
    RegisterConstantSources(registry);
    RegisterCamera(registry);
    RegisterLightSource(registry);
    RegisterImageSink(registry);
    RegisterMeshFile(registry);
    RegisterMeshShapes(registry);
    RegisterValuePrinters(registry);
}

} // namespace Ondo::Host
