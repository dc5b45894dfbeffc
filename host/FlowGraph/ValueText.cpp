#include "ValueText.h"

#include "Ondo/FlowGraph/ValuePorts.h"
#include "Ondo/OpenGL/GPUObjects.h"

#include <charconv>
#include <cstring>
#include <functional>
#include <map>
#include <stdexcept>

namespace Ondo::FlowGraph {

namespace {

// Splits text into number tokens at spaces, tabs, line ends, commas and semicolons.
std::vector<std::string> Tokens(const std::string& strText)
{
    std::vector<std::string> tokens;
    std::string strToken;
    for (char c : strText) {
        if (std::strchr(" \t\r\n,;", c)) {
            if (!strToken.empty()) tokens.push_back(strToken);
            strToken.clear();
        } else {
            strToken += c;
        }
    }
    if (!strToken.empty()) tokens.push_back(strToken);
    return tokens;
}

template <class T>
T ParseNumber(const std::string& strToken, const std::string& strType)
{
    T value{};
    const char* pBegin = strToken.data();
    if (!strToken.empty() && strToken[0] == '+') ++pBegin;
    const char* pEnd = strToken.data() + strToken.size();
    const auto result = std::from_chars(pBegin, pEnd, value);
    if (result.ec != std::errc() || result.ptr != pEnd)
        throw std::invalid_argument("\"" + strToken + "\" is not " +
                                    (std::is_integral_v<T> ? "a whole number" : "a number") + " (" + strType + ")");
    return value;
}

template <class T>
std::string FormatNumber(T value)
{
    char szBuffer[64];
    const auto result = std::to_chars(szBuffer, szBuffer + sizeof(szBuffer), value);
    return std::string(szBuffer, result.ptr);
}

template <class T>
std::vector<T> ParseNumbers(const std::string& strText, const std::string& strType, std::size_t uiCount,
                            std::size_t uiMultipleOf)
{
    std::vector<T> numbers;
    for (const std::string& strToken : Tokens(strText)) numbers.push_back(ParseNumber<T>(strToken, strType));
    if (uiCount != 0 && numbers.size() != uiCount)
        throw std::invalid_argument(strType + " takes " + std::to_string(uiCount) + " numbers, not " +
                                    std::to_string(numbers.size()));
    if (uiMultipleOf > 1 && numbers.size() % uiMultipleOf != 0)
        throw std::invalid_argument(strType + " takes a multiple of " + std::to_string(uiMultipleOf) +
                                    " numbers, not " + std::to_string(numbers.size()));
    return numbers;
}

template <class T>
std::string JoinNumbers(const T* pValues, std::size_t uiCount)
{
    std::string strText;
    for (std::size_t i = 0; i < uiCount; ++i) strText += (i ? " " : "") + FormatNumber(pValues[i]);
    return strText;
}

template <class T>
class Holder : public ValueHolder {
public:
    const std::string& GetTypeName() const override { return SimplePortT<T>::s_strTypeName; }
    void* GetPointer() override { return &m_Value; }
    void Parse(const std::string& strText) override { m_Value = Read(strText); }
    std::string Format() const override;
    std::string FormatValueAt(const void* pValue) const override
    {
        Holder copy;
        copy.m_Value = *static_cast<const T*>(pValue);
        return copy.Format();
    }
    std::unique_ptr<Port> MakePort(const PortSettings& settings) const override
    {
        return std::make_unique<SimplePortT<T>>(settings);
    }
    void Publish(Port& port, bool bChanged) override
    {
        auto* pPort = dynamic_cast<SimplePortT<T>*>(&port);
        if (!pPort)
            throw std::invalid_argument("Port \"" + port.GetLabel() + "\" carries " + port.GetTransportedType() +
                                        ", not " + GetTypeName());
        pPort->SetData(&m_Value, bChanged);
    }

private:
    T Read(const std::string& strText) const;
    T m_Value{};
};

template <>
float Holder<float>::Read(const std::string& strText) const
{
    return ParseNumbers<float>(strText, "float", 1, 1)[0];
}
template <>
std::string Holder<float>::Format() const
{
    return FormatNumber(m_Value);
}

template <>
int Holder<int>::Read(const std::string& strText) const
{
    return ParseNumbers<int>(strText, "int", 1, 1)[0];
}
template <>
std::string Holder<int>::Format() const
{
    return FormatNumber(m_Value);
}

template <class V>
V ReadVector(const std::string& strText, const std::string& strType)
{
    const auto numbers = ParseNumbers<typename V::value_type>(strText, strType, V::Size, 1);
    V value;
    for (std::size_t i = 0; i < V::Size; ++i) value[i] = numbers[i];
    return value;
}

#define ONDO_VECTOR_HOLDER(V)                                                                        \
    template <>                                                                                      \
    V Holder<V>::Read(const std::string& strText) const                                              \
    {                                                                                                \
        return ReadVector<V>(strText, GetTypeName());                                                \
    }                                                                                                \
    template <>                                                                                      \
    std::string Holder<V>::Format() const                                                            \
    {                                                                                                \
        return JoinNumbers(m_Value.data(), V::Size);                                                 \
    }
ONDO_VECTOR_HOLDER(Vector2f)
ONDO_VECTOR_HOLDER(Vector3f)
ONDO_VECTOR_HOLDER(Vector4f)
ONDO_VECTOR_HOLDER(Vector2i)

template <>
Matrix44f Holder<Matrix44f>::Read(const std::string& strText) const
{
    if (Tokens(strText) == std::vector<std::string>{"identity"}) return Matrix44f::Identity();
    const auto numbers = ParseNumbers<float>(strText, GetTypeName(), 16, 1);
    Matrix44f value;
    for (std::size_t i = 0; i < 16; ++i) value(i / 4, i % 4) = numbers[i];
    return value;
}
template <>
std::string Holder<Matrix44f>::Format() const
{
    const Matrix44f rows = m_Value.Transposed();
    return JoinNumbers(rows.data(), 16);
}

template <>
std::string Holder<std::string>::Read(const std::string& strText) const
{
    return strText;
}
template <>
std::string Holder<std::string>::Format() const
{
    return m_Value;
}

template <>
std::vector<float> Holder<std::vector<float>>::Read(const std::string& strText) const
{
    return ParseNumbers<float>(strText, GetTypeName(), 0, 1);
}
template <>
std::string Holder<std::vector<float>>::Format() const
{
    return JoinNumbers(m_Value.data(), m_Value.size());
}

template <class V>
std::vector<V> ReadVectors(const std::string& strText, const std::string& strType)
{
    const auto numbers = ParseNumbers<float>(strText, strType, 0, V::Size);
    std::vector<V> values(numbers.size() / V::Size);
    for (std::size_t i = 0; i < numbers.size(); ++i) values[i / V::Size][i % V::Size] = numbers[i];
    return values;
}

template <class V>
std::string FormatVectors(const std::vector<V>& values)
{
    std::string strText;
    for (std::size_t i = 0; i < values.size(); ++i) strText += (i ? ", " : "") + JoinNumbers(values[i].data(), V::Size);
    return strText;
}

template <>
std::vector<Vector3f> Holder<std::vector<Vector3f>>::Read(const std::string& strText) const
{
    return ReadVectors<Vector3f>(strText, GetTypeName());
}
template <>
std::string Holder<std::vector<Vector3f>>::Format() const
{
    return FormatVectors(m_Value);
}
template <>
std::vector<Vector4f> Holder<std::vector<Vector4f>>::Read(const std::string& strText) const
{
    return ReadVectors<Vector4f>(strText, GetTypeName());
}
template <>
std::string Holder<std::vector<Vector4f>>::Format() const
{
    return FormatVectors(m_Value);
}

using HolderMaker = std::function<std::unique_ptr<ValueHolder>()>;

template <class T>
std::pair<const std::string*, HolderMaker> Entry()
{
    return {&SimplePortT<T>::s_strTypeName, [] { return std::make_unique<Holder<T>>(); }};
}

const std::vector<std::pair<const std::string*, HolderMaker>>& Holders()
{
    static const std::vector<std::pair<const std::string*, HolderMaker>> s_Holders = {
        Entry<float>(),
        Entry<int>(),
        Entry<Vector2f>(),
        Entry<Vector3f>(),
        Entry<Vector4f>(),
        Entry<Vector2i>(),
        Entry<Matrix44f>(),
        Entry<std::string>(),
        Entry<std::vector<float>>(),
        Entry<std::vector<Vector3f>>(),
        Entry<std::vector<Vector4f>>(),
    };
    return s_Holders;
}

template <class T>
std::pair<std::string, std::function<std::unique_ptr<Port>(const PortSettings&)>> PortEntry()
{
    return {SimplePortT<T>::s_strTypeName,
            [](const PortSettings& settings) { return std::make_unique<SimplePortT<T>>(settings); }};
}

} // namespace

std::unique_ptr<ValueHolder> MakeValueHolder(const std::string& strTypeName)
{
    for (const auto& entry : Holders())
        if (*entry.first == strTypeName) return entry.second();
    return nullptr;
}

std::optional<std::string> FormatPortValue(const Port& port)
{
    const std::unique_ptr<ValueHolder> pHolder = MakeValueHolder(port.GetTransportedType());
    if (!pHolder || !port.GetDataPointer()) return std::nullopt;
    return pHolder->FormatValueAt(port.GetDataPointer());
}

const std::vector<std::string>& GetTextTypeNames()
{
    static const std::vector<std::string> s_Names = [] {
        std::vector<std::string> names;
        for (const auto& entry : Holders()) names.push_back(*entry.first);
        return names;
    }();
    return s_Names;
}

std::unique_ptr<Port> MakePortOfType(const std::string& strTypeName, const PortSettings& settings)
{
    static const std::map<std::string, std::function<std::unique_ptr<Port>(const PortSettings&)>> s_Makers = {
        PortEntry<float>(),
        PortEntry<int>(),
        PortEntry<Vector2f>(),
        PortEntry<Vector3f>(),
        PortEntry<Vector4f>(),
        PortEntry<Vector2i>(),
        PortEntry<Matrix44f>(),
        PortEntry<std::string>(),
        PortEntry<std::vector<float>>(),
        PortEntry<std::vector<Vector3f>>(),
        PortEntry<std::vector<Vector4f>>(),
        PortEntry<GFX::Mesh>(),
        PortEntry<GFX::LightSource>(),
        PortEntry<OpenGL::TextureObject2D>(),
        PortEntry<OpenGL::TextureObject3D>(),
        PortEntry<OpenGL::TextureObjectCube>(),
        PortEntry<OpenGL::BufferObject>(),
        PortEntry<std::vector<OpenGL::SimpleMaterialGroup>>(),
        PortEntry<std::vector<OpenGL::SimpleMaterial>>(),
        PortEntry<GLuint>(),
    };
    const auto it = s_Makers.find(strTypeName);
    return it == s_Makers.end() ? nullptr : it->second(settings);
}

} // namespace Ondo::FlowGraph
