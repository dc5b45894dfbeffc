// The settings serializer reading arbitrary XML: every kind of value, a
// sub-object, sequences and handles, read in the order a filter reads them.
// A read either throws (Ondo::ExceptionParsing or std::runtime_error, as the
// serializer documents) or gives values that, written and read again, come
// back the same (numbers with a fractional part are written to six digits, so
// they only need to read again). A crash, a sanitizer report or a value that changes is a
// finding.

#include "host/XmlText.h"

#include "Ondo/Exceptions.h"
#include "Ondo/FlowGraph/Scope.h"
#include "Ondo/FlowGraph/Serializer.h"

#include <tinyxml.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace Ondo::FlowGraph;
using Serialization::SaveInfo;
using Serialization::Serializer;
using FloatHandle = PortHandle<SimplePortT<float>>;

struct Owner : PortOwner {};
struct Scopes : ScopeOwner {
    std::shared_ptr<ScopeOwner> GetScopeOwnerSharedPtr() override { return nullptr; }
};

struct Inner {
    int iCount = 0;
    std::string strName;
    std::vector<float> values;
    void Serialize(Serializer& s)
    {
        s.Serialize("iCount", iCount);
        s.Serialize("strName", strName);
        s.Serialize("vValues", values, "Item");
    }
    bool operator==(const Inner& other) const
    {
        return iCount == other.iCount && strName == other.strName && values.size() == other.values.size();
    }
};

struct Settings {
    bool bOn = false;
    int iValue = 0;
    unsigned int uiValue = 0;
    float fValue = 0;
    double dValue = 0;
    std::string strText;
    std::wstring strWide;
    Inner inner;
    std::vector<std::string> names;
    std::vector<FloatHandle> ports;
    FloatHandle hPort;
    ScopeHandle hScope;

    // Reads as far as it gets; returns whether everything was read.
    bool Serialize(Serializer& s)
    {
        const auto Each = [&](auto&& fnRead) {
            try {
                fnRead();
                return true;
            } catch (const Ondo::ExceptionParsing&) {
            } catch (const std::runtime_error&) {
            }
            return false;
        };
        bool bAll = true;
        bAll &= Each([&] { s.Serialize("bOn", bOn); });
        bAll &= Each([&] { s.Serialize("iValue", iValue); });
        bAll &= Each([&] { s.Serialize("uiValue", uiValue); });
        bAll &= Each([&] { s.Serialize("fValue", fValue); });
        bAll &= Each([&] { s.Serialize("dValue", dValue); });
        bAll &= Each([&] { s.Serialize("strText", strText); });
        bAll &= Each([&] { s.Serialize("strWide", strWide); });
        bAll &= Each([&] { s.Serialize("Inner", inner); });
        bAll &= Each([&] { s.Serialize("vNames", names, "Item"); });
        bAll &= Each([&] { s.Serialize("vPorts", ports, "PortHandle"); });
        bAll &= Each([&] { s.Serialize("hPort", hPort); });
        bAll &= Each([&] { s.Serialize("hScope", hScope); });
        return bAll;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize)
{
    const std::string strText(reinterpret_cast<const char*>(pData), uiSize);
    // The parser recurses once per level, as it does for graph files.
    if (Ondo::MeasureXmlDepth(strText, 1000).m_iDepth > 1000) return 0;
    TiXmlDocument document;
    Ondo::ParseXml(document, strText);
    if (document.Error() || !document.RootElement()) return 0;

    // Ports 0 to 2 and scope 0 are known, as a load knows a document's.
    static Owner s_Owner;
    static Scopes s_Scopes;
    static const std::vector<FloatHandle> s_Ports = {
        FloatHandle(s_Owner.AddPort(std::make_unique<SimplePortT<float>>(PortSettings{PortType::Input, "a", false}))),
        FloatHandle(s_Owner.AddPort(std::make_unique<SimplePortT<float>>(PortSettings{PortType::Output, "b", false})))};
    static const ScopeHandle s_hScope = s_Scopes.AddScope(std::make_unique<Scope>("Inner"));
    SaveInfo info;
    for (const FloatHandle& hPort : s_Ports) info.AddPort(PortHandle<Port>(hPort));
    info.AddScope(s_hScope);

    Settings read;
    Serializer reader(nullptr, document.RootElement(), &info);
    if (!read.Serialize(reader)) return 0;

    // What was read, written and read again.
    TiXmlDocument written;
    TiXmlElement* pRoot = written.LinkEndChild(new TiXmlElement("Settings"))->ToElement();
    Serializer writer(&written, pRoot, &info);
    read.Serialize(writer);
    Settings again;
    Serializer rereader(nullptr, pRoot, &info);
    const bool bAll = again.Serialize(rereader);
    const bool bSame = bAll && read.bOn == again.bOn && read.iValue == again.iValue &&
                       read.uiValue == again.uiValue &&
                       read.strText == again.strText && read.strWide == again.strWide && read.inner == again.inner &&
                       read.names == again.names && read.ports == again.ports && read.hPort == again.hPort &&
                       read.hScope == again.hScope;
    if (!bSame) {
        std::fprintf(stderr, "settings changed when written and read again\n");
        std::abort();
    }
    return 0;
}
