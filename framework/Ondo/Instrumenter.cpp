#include "Ondo/Instrumenter.h"

#include "Ondo/StringConversion.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <type_traits>

namespace Ondo {

namespace {

std::string Lower(std::string strText)
{
    std::transform(strText.begin(), strText.end(), strText.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return strText;
}

[[noreturn]] void Refuse(const Instrumenter::Control& control, const std::string& strText, const std::string& strWhy)
{
    throw std::invalid_argument("Control \"" + control.m_strLabel + "\" (" + Instrumenter::KindName(control.m_eKind) +
                                ") does not take \"" + strText + "\": " + strWhy);
}

bool ParseInt(const std::string& strText, int& iValue)
{
    if (strText.empty()) return false;
    char* pEnd = nullptr;
    errno = 0;
    const long lValue = std::strtol(strText.c_str(), &pEnd, 10);
    if (errno != 0 || *pEnd != '\0' || lValue < INT32_MIN || lValue > INT32_MAX) return false;
    iValue = static_cast<int>(lValue);
    return true;
}

bool ParseFloat(const std::string& strText, float& fValue)
{
    if (strText.empty()) return false;
    char* pEnd = nullptr;
    errno = 0;
    const float f = std::strtof(strText.c_str(), &pEnd);
    if (errno == ERANGE || *pEnd != '\0') return false;
    fValue = f;
    return true;
}

} // namespace

const char* Instrumenter::KindName(ControlKind eKind)
{
    switch (eKind) {
    case ControlKind::Text: return "text";
    case ControlKind::Bool: return "bool";
    case ControlKind::Int: return "int";
    case ControlKind::Float: return "float";
    case ControlKind::IntRange: return "int range";
    case ControlKind::IntSlider: return "int slider";
    case ControlKind::Choice: return "choice";
    case ControlKind::FileName: return "file name";
    case ControlKind::FileLink: return "file link";
    case ControlKind::StringField: return "string";
    case ControlKind::StringView: return "string view";
    case ControlKind::Button: return "button";
    }
    return "control";
}

Instrumenter::ControlId Instrumenter::Add(Control control)
{
    const bool bUnbound = std::visit(
        [](auto pValue) {
            if constexpr (std::is_same_v<decltype(pValue), std::monostate>)
                return false;
            else
                return pValue == nullptr;
        },
        control.m_Value);
    if (bUnbound) throw std::invalid_argument("Control \"" + control.m_strLabel + "\" is bound to no setting");
    control.m_Id = m_NextId++;
    m_Controls.push_back(std::move(control));
    return m_Controls.back().m_Id;
}

template <class T>
Instrumenter::ControlId Instrumenter::AddBound(ControlKind eKind, const std::string& strLabel, T* pValue,
                                               Callback fnChanged)
{
    Control control;
    control.m_eKind = eKind;
    control.m_strLabel = strLabel;
    control.m_Value = pValue;
    control.m_fnChanged = std::move(fnChanged);
    return Add(std::move(control));
}

Instrumenter::ControlId Instrumenter::AddText(const std::string& strText)
{
    Control control;
    control.m_eKind = ControlKind::Text;
    control.m_strLabel = strText;
    return Add(std::move(control));
}

Instrumenter::ControlId Instrumenter::AddBool(const std::string& strLabel, bool* pValue, Callback fnChanged)
{
    return AddBound(ControlKind::Bool, strLabel, pValue, std::move(fnChanged));
}

Instrumenter::ControlId Instrumenter::AddInt(const std::string& strLabel, int* pValue, Callback fnChanged)
{
    return AddBound(ControlKind::Int, strLabel, pValue, std::move(fnChanged));
}

Instrumenter::ControlId Instrumenter::AddFloat(const std::string& strLabel, float* pValue, Callback fnChanged)
{
    return AddBound(ControlKind::Float, strLabel, pValue, std::move(fnChanged));
}

Instrumenter::ControlId Instrumenter::AddIntRange(const std::string& strLabel, int* pValue, int iMin, int iMax,
                                                  int iStep, Callback fnChanged)
{
    const ControlId id = AddBound(ControlKind::IntRange, strLabel, pValue, std::move(fnChanged));
    Control& control = m_Controls.back();
    control.m_iMinimum = iMin;
    control.m_iMaximum = iMax;
    control.m_iStep = iStep;
    return id;
}

Instrumenter::ControlId Instrumenter::AddIntSlider(const std::string& strLabel, int* pValue, int iMin, int iMax,
                                                   int iStep, Callback fnChanged)
{
    const ControlId id = AddIntRange(strLabel, pValue, iMin, iMax, iStep, std::move(fnChanged));
    m_Controls.back().m_eKind = ControlKind::IntSlider;
    return id;
}

Instrumenter::ControlId Instrumenter::AddChoice(const std::string& strLabel, const std::vector<std::string>& items,
                                                int iSelected, ChoiceCallback fnChosen)
{
    Control control;
    control.m_eKind = ControlKind::Choice;
    control.m_strLabel = strLabel;
    control.m_Items = items;
    control.m_iSelected = iSelected;
    control.m_fnChosen = std::move(fnChosen);
    return Add(std::move(control));
}

Instrumenter::ControlId Instrumenter::AddFileName(const std::string& strLabel, std::wstring* pValue,
                                                  const std::wstring& strFilter, Callback fnChanged)
{
    const ControlId id = AddBound(ControlKind::FileName, strLabel, pValue, std::move(fnChanged));
    m_Controls.back().m_strFileText = strFilter;
    return id;
}

Instrumenter::ControlId Instrumenter::AddFileLink(const std::string& strLabel, const std::wstring& strPath)
{
    Control control;
    control.m_eKind = ControlKind::FileLink;
    control.m_strLabel = strLabel;
    control.m_strFileText = strPath;
    return Add(std::move(control));
}

Instrumenter::ControlId Instrumenter::AddStringField(const std::string& strLabel, std::string* pValue,
                                                     Callback fnChanged)
{
    return AddBound(ControlKind::StringField, strLabel, pValue, std::move(fnChanged));
}

Instrumenter::ControlId Instrumenter::AddStringView(const std::string& strLabel, std::string* pValue)
{
    return AddBound(ControlKind::StringView, strLabel, pValue, nullptr);
}

Instrumenter::ControlId Instrumenter::AddButton(const std::string& strLabel, Callback fnPressed)
{
    Control control;
    control.m_eKind = ControlKind::Button;
    control.m_strLabel = strLabel;
    control.m_fnChanged = std::move(fnPressed);
    return Add(std::move(control));
}

void Instrumenter::RemoveControl(ControlId id)
{
    m_Controls.erase(std::remove_if(m_Controls.begin(), m_Controls.end(),
                                    [id](const Control& control) { return control.m_Id == id; }),
                     m_Controls.end());
}

const Instrumenter::Control* Instrumenter::FindControl(const std::string& strLabel) const
{
    for (const Control& control : m_Controls)
        if (control.m_strLabel == strLabel && control.m_eKind != ControlKind::Text) return &control;
    return nullptr;
}

const Instrumenter::Control* Instrumenter::FindControl(ControlId id) const
{
    for (const Control& control : m_Controls)
        if (control.m_Id == id) return &control;
    return nullptr;
}

const Instrumenter::Control& Instrumenter::Require(const std::string& strLabel) const
{
    const Control* pControl = FindControl(strLabel);
    if (!pControl) {
        std::string strKnown;
        for (const Control& control : m_Controls) {
            if (control.m_eKind == ControlKind::Text) continue;
            strKnown += strKnown.empty() ? "" : ", ";
            strKnown += "\"" + control.m_strLabel + "\"";
        }
        throw std::invalid_argument("No control labelled \"" + strLabel + "\"" +
                                    (strKnown.empty() ? std::string(" (there are no controls)")
                                                      : " (controls: " + strKnown + ")"));
    }
    return *pControl;
}

void Instrumenter::SetControl(const std::string& strLabel, const std::string& strText)
{
    Edit(Require(strLabel), strText);
}

void Instrumenter::SetControl(ControlId id, const std::string& strText)
{
    const Control* pControl = FindControl(id);
    if (!pControl) throw std::invalid_argument("No control with id " + std::to_string(id) + " (it was removed)");
    Edit(*pControl, strText);
}

void Instrumenter::Edit(const Control& control, const std::string& strText)
{
    // Callbacks may add or remove controls, so nothing is read from the
    // control once its callback runs.
    const Callback fnChanged = control.m_fnChanged;

    switch (control.m_eKind) {
    case ControlKind::Text:
    case ControlKind::FileLink:
    case ControlKind::StringView:
        Refuse(control, strText, "it cannot be edited");
    case ControlKind::Button:
        PressControl(control);
        return;
    case ControlKind::Choice: {
        int iIndex = -1;
        const auto it = std::find(control.m_Items.begin(), control.m_Items.end(), strText);
        if (it != control.m_Items.end())
            iIndex = static_cast<int>(it - control.m_Items.begin());
        else if (!ParseInt(strText, iIndex))
            Refuse(control, strText, "it is neither an item nor an item index");
        ChooseControl(control, iIndex);
        return;
    }
    case ControlKind::Bool: {
        const std::string strLower = Lower(strText);
        bool bValue = false;
        if (strLower == "1" || strLower == "true" || strLower == "on" || strLower == "yes")
            bValue = true;
        else if (strLower == "0" || strLower == "false" || strLower == "off" || strLower == "no")
            bValue = false;
        else
            Refuse(control, strText, "expected 1, 0, true, false, on or off");
        *std::get<bool*>(control.m_Value) = bValue;
        break;
    }
    case ControlKind::Int:
    case ControlKind::IntRange:
    case ControlKind::IntSlider: {
        int iValue = 0;
        if (!ParseInt(strText, iValue)) Refuse(control, strText, "expected a whole number");
        if (control.m_eKind != ControlKind::Int && (iValue < control.m_iMinimum || iValue > control.m_iMaximum))
            Refuse(control, strText,
                   "outside the range " + std::to_string(control.m_iMinimum) + " to " +
                       std::to_string(control.m_iMaximum));
        *std::get<int*>(control.m_Value) = iValue;
        break;
    }
    case ControlKind::Float: {
        float fValue = 0.0f;
        if (!ParseFloat(strText, fValue)) Refuse(control, strText, "expected a number");
        *std::get<float*>(control.m_Value) = fValue;
        break;
    }
    case ControlKind::FileName: {
        std::wstring strWide;
        try {
            strWide = Utf8ToWide(strText);
        } catch (const std::range_error& error) {
            Refuse(control, strText, std::string("not UTF-8: ") + error.what());
        }
        *std::get<std::wstring*>(control.m_Value) = strWide;
        break;
    }
    case ControlKind::StringField:
        *std::get<std::string*>(control.m_Value) = strText;
        break;
    }
    if (fnChanged) fnChanged();
}

void Instrumenter::Choose(const std::string& strLabel, int iIndex) { ChooseControl(Require(strLabel), iIndex); }

void Instrumenter::ChooseControl(const Control& control, int iIndex)
{
    if (control.m_eKind != ControlKind::Choice)
        Refuse(control, std::to_string(iIndex), "it is not a choice");
    if (iIndex < 0 || iIndex >= static_cast<int>(control.m_Items.size()))
        Refuse(control, std::to_string(iIndex),
               "the index must lie between 0 and " + std::to_string(static_cast<int>(control.m_Items.size()) - 1));
    const_cast<Control&>(control).m_iSelected = iIndex;
    const ChoiceCallback fnChosen = control.m_fnChosen;
    if (fnChosen) fnChosen(iIndex);
}

void Instrumenter::Press(const std::string& strLabel) { PressControl(Require(strLabel)); }

void Instrumenter::PressControl(const Control& control)
{
    if (control.m_eKind != ControlKind::Button) Refuse(control, "", "it is not a button");
    const Callback fnPressed = control.m_fnChanged;
    if (fnPressed) fnPressed();
}

std::string Instrumenter::ValueText(const Control& control)
{
    switch (control.m_eKind) {
    case ControlKind::Bool: return *std::get<bool*>(control.m_Value) ? "1" : "0";
    case ControlKind::Int:
    case ControlKind::IntRange:
    case ControlKind::IntSlider: return std::to_string(*std::get<int*>(control.m_Value));
    case ControlKind::Float: {
        std::ostringstream stream;
        stream << *std::get<float*>(control.m_Value);
        return stream.str();
    }
    case ControlKind::Choice:
        return control.m_iSelected >= 0 && control.m_iSelected < static_cast<int>(control.m_Items.size())
                   ? control.m_Items[static_cast<std::size_t>(control.m_iSelected)]
                   : std::string();
    case ControlKind::FileName: {
        try {
            return WideToUtf8(*std::get<std::wstring*>(control.m_Value));
        } catch (const std::range_error&) {
            return "?";
        }
    }
    case ControlKind::FileLink: {
        try {
            return WideToUtf8(control.m_strFileText);
        } catch (const std::range_error&) {
            return "?";
        }
    }
    case ControlKind::StringField:
    case ControlKind::StringView: return *std::get<std::string*>(control.m_Value);
    case ControlKind::Text:
    case ControlKind::Button: return {};
    }
    return {};
}

} // namespace Ondo
