#pragma once

// What the host modules share: settings kept as the engine's value text,
// messages to the core's logger, settings a hand-written graph may leave out,
// and the refusal of edits that cannot be taken.

#include "host/FlowGraph/ValueText.h"

#include "Ondo/Core.h"
#include "Ondo/Exceptions.h"
#include "Ondo/FlowGraph/Filter.h"
#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/FlowGraph/ValuePorts.h"
#include "Ondo/Logger.h"

#include <memory>
#include <stdexcept>
#include <string>

namespace Ondo::Host::Detail {

// Reads a plain value from its text form. Throws std::invalid_argument saying
// what form the text should take.
template <class T>
T ParseValue(const std::string& strText)
{
    const std::unique_ptr<FlowGraph::ValueHolder> pHolder =
        FlowGraph::MakeValueHolder(FlowGraph::SimplePortT<T>::s_strTypeName);
    pHolder->Parse(strText);
    return *static_cast<T*>(pHolder->GetPointer());
}

template <class T>
std::string FormatValue(const T& value)
{
    const std::unique_ptr<FlowGraph::ValueHolder> pHolder =
        FlowGraph::MakeValueHolder(FlowGraph::SimplePortT<T>::s_strTypeName);
    *static_cast<T*>(pHolder->GetPointer()) = value;
    return pHolder->Format();
}

// Hands one message to the core's logger, when it has one.
inline void Report(const FlowGraph::ScopeItem& item, const std::string& strMessage)
{
    if (LoggerInterface* pLogger = item.GetCore().GetLogger()) pLogger->Log(item.GetName() + ": " + strMessage + "\n");
}

// Writes a setting, or reads it when the document holds it: a hand-written
// graph may leave settings out, and the defaults then stand.
template <class T>
void SerializeSetting(FlowGraph::Serialization::Serializer& serializer, const std::string& strKey, T& value)
{
    if (serializer.IsReader() && !serializer.HasNodeElement(strKey)) return;
    serializer.Serialize(strKey, value);
}

// A setting edited and stored as text (a vector in a string field). The text
// is what the editor shows; the value is the last text that parsed.
template <class T>
struct TextSetting {
    explicit TextSetting(const T& value) : m_Value(value), m_strText(FormatValue(value)) {}

    void Set(const T& value)
    {
        m_Value = value;
        m_strText = FormatValue(value);
    }
    // Shows the accepted value again, dropping an edit.
    void Revert() { m_strText = FormatValue(m_Value); }

    // Writes the value's text, or reads and parses it; text that does not
    // parse throws ExceptionParsing naming the item and the key, and the
    // value stays.
    void Serialize(FlowGraph::Serialization::Serializer& serializer, const std::string& strKey,
                   const FlowGraph::ScopeItem& item)
    {
        std::string strText = FormatValue(m_Value);
        SerializeSetting(serializer, strKey, strText);
        if (!serializer.IsReader()) return;
        try {
            Set(ParseValue<T>(strText));
        } catch (const std::invalid_argument& e) {
            throw ExceptionParsing(item.GetName() + ": \"" + strKey + "\": " + e.what());
        }
    }

    T m_Value;
    std::string m_strText;
};

// Refuses an edit from a control's callback: the editor (or the runner's
// --set) gets the reason and the setting keeps its value.
[[noreturn]] inline void RefuseEdit(const std::string& strWhy) { throw std::invalid_argument(strWhy); }

// The text of an edited setting as a value. Text that does not parse is
// refused (RefuseEdit, naming the control and the text); the caller shows the
// value in force again.
template <class T>
T ParseEdit(const std::string& strLabel, const TextSetting<T>& setting)
{
    try {
        return ParseValue<T>(setting.m_strText);
    } catch (const std::invalid_argument& e) {
        RefuseEdit("\"" + strLabel + "\" does not take \"" + setting.m_strText + "\": " + e.what());
    }
}

} // namespace Ondo::Host::Detail
