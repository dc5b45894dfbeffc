#include "host/Modules/ValuePrinters.h"

#include "host/Modules/ModuleSupport.h"

#include "Ondo/FlowGraph/FilterRegistry.h"
#include "Ondo/OpenGL/BaseFilter.h"

#include <new>

namespace Ondo::Host {

namespace {

template <class T>
class FilterPrintValue : public OpenGL::BaseFilter {
public:
    FilterPrintValue(Core& core, const std::string& strName) : BaseFilter(core, strName, strName) {}

    void CreatePorts() override { CreatePort(hValueIn, {FlowGraph::PortType::Input, "Value", false}); }

    void Serialize(FlowGraph::Serialization::Serializer& serializer) override
    {
        Detail::SerializeSetting(serializer, "strText", m_strText);
        Detail::SerializeSetting(serializer, "bOnlyWhenChanged", m_bOnlyWhenChanged);
    }

    void Instrument(Instrumenter& instrumenter) override
    {
        instrumenter.AddStringField("Text", &m_strText, [] {});
        instrumenter.AddBool("Only When Changed", &m_bOnlyWhenChanged, [] {});
    }

    void Process(FlowGraph::ScopeExecuter&) override
    {
        FlowGraph::SimplePortT<T>& input = *hValueIn;
        const bool bChanged = input.HasChanged();
        input.ResetChanged();
        if (m_bOnlyWhenChanged && !bChanged) return;
        // A connected output that has published nothing yet is not a value.
        const T* pValue = input.GetData();
        if (!pValue) {
            GetCore().ReportError("\"Value\" carries no value to print");
            return;
        }
        const std::string strValue = Detail::FormatValue(*pValue);
        std::string strLine = m_strText;
        static const std::string s_strToken = "{value}";
        for (std::size_t uiAt = strLine.find(s_strToken); uiAt != std::string::npos;
             uiAt = strLine.find(s_strToken, uiAt + strValue.size()))
            strLine.replace(uiAt, s_strToken.size(), strValue);
        Detail::Report(*this, strLine);
    }

private:
    FlowGraph::PortHandle<FlowGraph::SimplePortT<T>> hValueIn;
    std::string m_strText = "{value}";
    bool m_bOnlyWhenChanged = false;
};

template <class T>
void RegisterPrinter(FlowGraph::FilterRegistry& registry, const std::string& strType, const std::string& strWhat)
{
    registry.RegisterFilter(FlowGraph::FilterDescriptor(
        "Host.Print." + strType, "host\\Modules\\ValuePrinters", "Prints " + strWhat + " to the run's log every frame",
        "Host;Print;Log;" + strType, [](Core& core, const std::string& strName) -> FlowGraph::Filter* {
            return new (std::nothrow) FilterPrintValue<T>(core, strName);
        }));
}

} // namespace

void RegisterValuePrinters(FlowGraph::FilterRegistry& registry)
{
    RegisterPrinter<float>(registry, "Float", "a float");
    RegisterPrinter<int>(registry, "Int", "an integer");
    RegisterPrinter<Vector2f>(registry, "Vector2f", "a two-component float vector");
    RegisterPrinter<Vector3f>(registry, "Vector3f", "a three-component float vector");
    RegisterPrinter<Vector4f>(registry, "Vector4f", "a four-component float vector");
    RegisterPrinter<Vector2i>(registry, "Vector2i", "a two-component integer vector");
    RegisterPrinter<std::string>(registry, "String", "a text");
}

} // namespace Ondo::Host
