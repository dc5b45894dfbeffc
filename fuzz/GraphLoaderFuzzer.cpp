// Graph documents, as people share them, loaded with the plug-in's filters
// registered (no GL device: nothing is drawn). A document is refused with
// std::runtime_error or loads; one that loads saves to a text that loads
// again and saves the same. A crash, a hang, a sanitizer report or a round
// trip that differs is a finding.

#include "host/FlowGraph/Graph.h"
#include "host/FlowGraph/GraphFile.h"
#include "host/Modules/HostModules.h"

#include "Ondo/Core.h"
#include "Ondo/Logger.h"

#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <stdexcept>
#include <string>

namespace {

Ondo::Core& Engine()
{
    static Ondo::Core* s_pCore = [] {
        static std::ostream s_Discarded(nullptr);
        static Ondo::StreamLogger s_Logger(s_Discarded);
        auto* pCore = new Ondo::Core;
        pCore->SetLogger(&s_Logger);
        pCore->LoadPlugin(PRISMVALE_MODULE_PATH);
        Ondo::Host::RegisterHostModules(*pCore);
        return pCore;
    }();
    return *s_pCore;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize)
{
    using namespace Ondo::FlowGraph;
    const std::string strText(reinterpret_cast<const char*>(pData), uiSize);
    std::string strSaved;
    try {
        strSaved = SaveGraphToText(*LoadGraphFromText(Engine(), nullptr, strText, "fuzz.xml"));
    } catch (const std::runtime_error&) {
        return 0;
    }
    std::string strAgain;
    try {
        strAgain = SaveGraphToText(*LoadGraphFromText(Engine(), nullptr, strSaved, "saved.xml"));
    } catch (const std::runtime_error& error) {
        std::fprintf(stderr, "a saved graph does not load: %s\n%s\n", error.what(), strSaved.c_str());
        std::abort();
    }
    if (strAgain != strSaved) {
        std::fprintf(stderr, "saving a loaded graph changed it:\n%s\n---\n%s\n", strSaved.c_str(), strAgain.c_str());
        std::abort();
    }
    return 0;
}
