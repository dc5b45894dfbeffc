#include "Ondo/FlowGraph/Port.h"
#include "Ondo/FlowGraph/ValuePorts.h"

#include <stdexcept>

namespace Ondo {

const std::string& IClass::GetNameOfClass() const
{
    static const std::string s_strEmpty;
    return s_strEmpty;
}

const std::string& IClass::GetNameOfBaseClass() const
{
    return IClass::GetNameOfClass();
}

bool IClass::IsClassDerivedFrom(const std::string&) const
{
    return false;
}

namespace FlowGraph {

const std::string& Port::GetNameOfClass() const
{
    static const std::string s_strName = "Ondo::FlowGraph::Port";
    return s_strName;
}

const std::string& Port::GetNameOfBaseClass() const
{
    return IClass::GetNameOfClass();
}

bool Port::IsClassDerivedFrom(const std::string&) const
{
    return false;
}

void Port::OnEvent(const Event&) {}

void Port::CheckSameType(const Port& source) const
{
    if (source.GetTransportedType() != GetTransportedType())
        throw std::runtime_error("Port \"" + m_strLabel + "\" carries " + GetTransportedType() +
                                 " and cannot take data from port \"" + source.GetLabel() + "\" carrying " +
                                 source.GetTransportedType());
}

} // namespace FlowGraph
} // namespace Ondo

#define ONDO_DEFINE_PORT_NAMES(T, CLASS_NAME, TYPE_NAME)                                            \
    template <>                                                                                      \
    const std::string Ondo::FlowGraph::SimplePortT<T>::s_strClassName = CLASS_NAME;                  \
    template <>                                                                                      \
    const std::string Ondo::FlowGraph::SimplePortT<T>::s_strTypeName = TYPE_NAME;

ONDO_DEFINE_PORT_NAMES(float, "Ondo::FloatPort", "float")
ONDO_DEFINE_PORT_NAMES(int, "Ondo::IntPort", "int")
ONDO_DEFINE_PORT_NAMES(Ondo::Vector2f, "Ondo::Vector2fPort", "Ondo::Vector2f")
ONDO_DEFINE_PORT_NAMES(Ondo::Vector3f, "Ondo::Vector3fPort", "Ondo::Vector3f")
ONDO_DEFINE_PORT_NAMES(Ondo::Vector4f, "Ondo::Vector4fPort", "Ondo::Vector4f")
ONDO_DEFINE_PORT_NAMES(Ondo::Vector2i, "Ondo::Vector2iPort", "Ondo::Vector2i")
ONDO_DEFINE_PORT_NAMES(Ondo::Matrix44f, "Ondo::Matrix44fPort", "Ondo::Matrix44f")
ONDO_DEFINE_PORT_NAMES(std::string, "Ondo::StringPort", "std::string")
ONDO_DEFINE_PORT_NAMES(std::vector<float>, "Ondo::VecOfFloatPort", "std::vector< float >")
ONDO_DEFINE_PORT_NAMES(std::vector<Ondo::Vector3f>, "Ondo::VecOfVec3fPort", "std::vector< Ondo::Vector3f >")
ONDO_DEFINE_PORT_NAMES(std::vector<Ondo::Vector4f>, "Ondo::VecOfVec4fPort", "std::vector< Ondo::Vector4f >")
ONDO_DEFINE_PORT_NAMES(Ondo::GFX::Mesh, "Ondo::GFX::MeshPort", "Ondo::GFX::Mesh")
ONDO_DEFINE_PORT_NAMES(Ondo::GFX::LightSource, "Ondo::GFX::LightSourcePort", "Ondo::GFX::LightSource")
