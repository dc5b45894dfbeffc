#include "host/Modules/ConstantSources.h"

#include "host/Modules/ModuleSupport.h"

#include "Ondo/FlowGraph/FilterRegistry.h"
#include "Ondo/OpenGL/BaseFilter.h"

#include <new>
#include <type_traits>
#include <vector>

namespace Ondo::Host {

namespace {

template <class T>
T DefaultValue()
{
    if constexpr (std::is_same_v<T, Matrix44f>)
        return Matrix44f::Identity();
    else
        return T{};
}

// Publishes one value of type T. The output is marked changed on the first
// run and after each edit or read, so that consumers rebuild only then.
template <class T>
class FilterConstant : public OpenGL::BaseFilter {
public:
    FilterConstant(Core& core, const std::string& strName)
        : BaseFilter(core, strName, strName), m_Value(DefaultValue<T>())
    {
    }

    void CreatePorts() override { CreatePort(hValueOut, {FlowGraph::PortType::Output, "Value", false}); }

    void Serialize(FlowGraph::Serialization::Serializer& serializer) override
    {
        m_Value.Serialize(serializer, "strValue", *this);
        if (serializer.IsReader()) m_bChanged = true;
    }

    void Instrument(Instrumenter& instrumenter) override
    {
        // Numbers edit the value itself; everything else edits its text,
        // which must parse before it replaces the value.
        if constexpr (std::is_same_v<T, float>) {
            instrumenter.AddFloat("Value", &m_Value.m_Value, [this] { OnNumberEdited(); });
        } else if constexpr (std::is_same_v<T, int>) {
            instrumenter.AddInt("Value", &m_Value.m_Value, [this] { OnNumberEdited(); });
        } else {
            instrumenter.AddStringField("Value", &m_Value.m_strText, [this] {
                T value{};
                try {
                    value = Detail::ParseEdit("Value", m_Value);
                } catch (...) {
                    m_Value.Revert();
                    throw;
                }
                m_Value.Set(value);
                m_bChanged = true;
            });
        }
    }

    void Process(FlowGraph::ScopeExecuter&) override
    {
        hValueOut->SetData(&m_Value.m_Value, m_bChanged);
        m_bChanged = false;
    }

private:
    void OnNumberEdited()
    {
        m_Value.Revert();
        m_bChanged = true;
    }

    FlowGraph::PortHandle<FlowGraph::SimplePortT<T>> hValueOut;
    Detail::TextSetting<T> m_Value;
    bool m_bChanged = true;
};

template <class T>
void RegisterConstant(FlowGraph::FilterRegistry& registry, const std::string& strType, const std::string& strWhat)
{
    registry.RegisterFilter(FlowGraph::FilterDescriptor(
        "Host.Constant." + strType, "host\\Modules\\ConstantSources", "Publishes a constant " + strWhat,
        "Host;Constant;" + strType, [](Core& core, const std::string& strName) -> FlowGraph::Filter* {
            return new (std::nothrow) FilterConstant<T>(core, strName);
        }));
}

} // namespace

void RegisterConstantSources(FlowGraph::FilterRegistry& registry)
{
    RegisterConstant<float>(registry, "Float", "float");
    RegisterConstant<int>(registry, "Int", "integer");
    RegisterConstant<Vector2f>(registry, "Vector2f", "two-component float vector");
    RegisterConstant<Vector3f>(registry, "Vector3f", "three-component float vector");
    RegisterConstant<Vector4f>(registry, "Vector4f", "four-component float vector");
    RegisterConstant<Vector2i>(registry, "Vector2i", "two-component integer vector");
    RegisterConstant<Matrix44f>(registry, "Matrix44f", "4 x 4 float matrix");
    RegisterConstant<std::string>(registry, "String", "text");
    RegisterConstant<std::vector<float>>(registry, "FloatArray", "list of floats");
    RegisterConstant<std::vector<Vector3f>>(registry, "Vector3fArray", "list of three-component vectors");
    RegisterConstant<std::vector<Vector4f>>(registry, "Vector4fArray", "list of four-component vectors");
}

} // namespace Ondo::Host
