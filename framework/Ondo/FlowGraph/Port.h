#pragma once

#include "Ondo/IClass.h"

#include <cstdint>
#include <memory>
#include <string>

namespace Ondo::FlowGraph {

class Event;

enum class PortType : std::int32_t { Output = 0, Input = 1 };

// What a port is built from.
struct PortSettings {
    PortType m_eType = PortType::Input;
    std::string m_strLabel;
    bool m_bOptional = false;
};

// A typed connection point of a filter or a scope. A port carries a pointer to
// a value owned by whoever published it; it never owns that value.
class Port : public IClass {
public:
    explicit Port(const PortSettings& settings)
        : m_bIsOutput(settings.m_eType == PortType::Output), m_bOptional(settings.m_bOptional),
          m_strLabel(settings.m_strLabel)
    {
    }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    const std::string& GetNameOfClass() const override;
    const std::string& GetNameOfBaseClass() const override;
    bool IsClassDerivedFrom(const std::string& strName) const override;

    // A new port of the same class and label with the given type: no value,
    // changed and optional flags clear.
    virtual std::unique_ptr<Port> Clone(PortType eType) const = 0;
    virtual bool IsOutput() const { return m_bIsOutput; }
    // Name of the value type the port carries, by which ports are matched.
    virtual const std::string& GetTransportedType() const = 0;
    virtual const std::string& GetStoredType() const = 0;
    // Takes over the source's value pointer; sets (never clears) the changed
    // flag when the source's is set. Throws std::runtime_error when the source
    // carries another type.
    virtual void TakeDataFrom(Port& source) = 0;
    virtual void ResetChanged() { m_bChanged = false; }
    virtual void OnEvent(const Event& event);

    bool HasChanged() const { return m_bChanged; }
    bool IsOptional() const { return m_bOptional; }
    const std::string& GetLabel() const { return m_strLabel; }
    // The carried value without its type; null when none.
    void* GetDataPointer() const { return m_pData; }

protected:
    void SetDataPointer(void* pData, bool bChanged)
    {
        m_pData = pData;
        m_bChanged = bChanged;
    }
    void CheckSameType(const Port& source) const;

    void* m_pData = nullptr;
    bool m_bChanged = false;
    bool m_bIsOutput = false;
    bool m_bOptional = false;
    std::string m_strLabel;
};

// A port carrying a pointer to one T. Its run-time names come from the two
// static strings below, defined for each carried type.
template <typename T>
class SimplePortT : public Port {
public:
    using ValueType = T;
    static const std::string s_strClassName;
    static const std::string s_strTypeName;

    explicit SimplePortT(const PortSettings& settings) : Port(settings) {}

    const std::string& GetNameOfClass() const override { return s_strClassName; }
    const std::string& GetNameOfBaseClass() const override { return Port::GetNameOfClass(); }
    // Every value port derives directly from Port, which derives from the
    // unnamed root: those two names are the only ancestors.
    bool IsClassDerivedFrom(const std::string& strName) const override
    {
        return strName == Port::GetNameOfClass() || strName == Port::GetNameOfBaseClass();
    }

    std::unique_ptr<Port> Clone(PortType eType) const override
    {
        return std::make_unique<SimplePortT>(PortSettings{eType, m_strLabel, false});
    }
    const std::string& GetTransportedType() const override { return s_strTypeName; }
    const std::string& GetStoredType() const override { return s_strTypeName; }
    void TakeDataFrom(Port& source) override
    {
        CheckSameType(source);
        m_pData = source.GetDataPointer();
        if (source.HasChanged()) m_bChanged = true;
    }

    T* GetData() const { return static_cast<T*>(m_pData); }
    void SetData(T* pValue, bool bChanged) { SetDataPointer(pValue, bChanged); }
};

} // namespace Ondo::FlowGraph
