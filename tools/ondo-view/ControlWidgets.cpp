#include "ControlWidgets.h"

#include "Ondo/StringConversion.h"

#include <imgui.h>
#include <imgui_stdlib.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

extern char** environ;

namespace OndoView {

using Kind = Ondo::Instrumenter::ControlKind;
using Control = Ondo::Instrumenter::Control;

namespace {

// The shortest text that reads back as the same float.
std::string FloatText(float fValue)
{
    char szText[32];
    const auto result = std::to_chars(szText, szText + sizeof(szText), fValue);
    return std::string(szText, result.ptr);
}

ControlEdit Make(const std::string& strItem, const Control& control, std::string strText)
{
    return {strItem, control.m_Id, std::move(strText)};
}

bool OnPath(const std::string& strProgram)
{
    const char* szPath = std::getenv("PATH");
    std::string strPath = szPath ? szPath : "";
    for (std::size_t uiStart = 0; uiStart <= strPath.size();) {
        const std::size_t uiEnd = std::min(strPath.find(':', uiStart), strPath.size());
        const std::string strDirectory = strPath.substr(uiStart, uiEnd - uiStart);
        if (!strDirectory.empty() && ::access((strDirectory + "/" + strProgram).c_str(), X_OK) == 0) return true;
        uiStart = uiEnd + 1;
    }
    return false;
}

} // namespace

Widget WidgetFor(const Control& control)
{
    switch (control.m_eKind) {
    case Kind::Text: return Widget::Label;
    case Kind::Bool: return Widget::Checkbox;
    case Kind::Int: return Widget::NumberInt;
    case Kind::IntRange: return Widget::StepperInt;
    case Kind::IntSlider: return Widget::SliderInt;
    case Kind::Float: return Widget::NumberFloat;
    case Kind::Choice: return Widget::Combo;
    case Kind::FileName: return Widget::FileField;
    case Kind::FileLink: return Widget::FileLink;
    case Kind::StringField:
        return ParseVector(Ondo::Instrumenter::ValueText(control)) ? Widget::VectorField : Widget::TextField;
    case Kind::StringView: return Widget::ReadOnly;
    case Kind::Button: return Widget::Button;
    }
    return Widget::Label;
}

const char* WidgetName(Widget eWidget)
{
    switch (eWidget) {
    case Widget::Label: return "label";
    case Widget::Checkbox: return "check box";
    case Widget::NumberInt: return "integer field";
    case Widget::StepperInt: return "integer stepper";
    case Widget::SliderInt: return "integer slider";
    case Widget::NumberFloat: return "number field";
    case Widget::Combo: return "drop-down list";
    case Widget::FileField: return "file field";
    case Widget::FileLink: return "file link";
    case Widget::TextField: return "text field";
    case Widget::VectorField: return "vector field";
    case Widget::ReadOnly: return "read-only text";
    case Widget::Button: return "button";
    }
    return "?";
}

std::optional<std::vector<float>> ParseVector(const std::string& strText)
{
    std::vector<float> values;
    const char* p = strText.c_str();
    while (*p) {
        if (std::strchr(" \t,", *p)) {
            ++p;
            continue;
        }
        char* pEnd = nullptr;
        const float fValue = std::strtof(p, &pEnd);
        if (pEnd == p) return std::nullopt;
        values.push_back(fValue);
        p = pEnd;
    }
    if (values.size() < 2 || values.size() > 4) return std::nullopt;
    return values;
}

ControlEdit EditBool(const std::string& strItem, const Control& control, bool bValue)
{
    return Make(strItem, control, bValue ? "1" : "0");
}

ControlEdit EditInt(const std::string& strItem, const Control& control, int iValue)
{
    return Make(strItem, control, std::to_string(control.m_eKind == Kind::Int ? iValue : SnapToRange(control, iValue)));
}

ControlEdit EditFloat(const std::string& strItem, const Control& control, float fValue)
{
    return Make(strItem, control, FloatText(fValue));
}

ControlEdit EditChoice(const std::string& strItem, const Control& control, int iIndex)
{
    return Make(strItem, control, std::to_string(iIndex));
}

ControlEdit EditText(const std::string& strItem, const Control& control, const std::string& strText)
{
    return Make(strItem, control, strText);
}

ControlEdit EditVector(const std::string& strItem, const Control& control, const std::vector<float>& values)
{
    std::string strText;
    for (float fValue : values) strText += (strText.empty() ? "" : " ") + FloatText(fValue);
    return Make(strItem, control, strText);
}

ControlEdit PressButton(const std::string& strItem, const Control& control) { return Make(strItem, control, ""); }

int SnapToRange(const Control& control, int iValue)
{
    const int iStep = std::max(control.m_iStep, 1);
    const long long llOffset = static_cast<long long>(iValue) - control.m_iMinimum;
    const long long llSnapped = control.m_iMinimum + (llOffset + iStep / 2) / iStep * iStep;
    return static_cast<int>(std::clamp<long long>(llSnapped, control.m_iMinimum, control.m_iMaximum));
}

void DrawControls(const std::string& strItem, const Ondo::Instrumenter& instrumenter, std::vector<ControlEdit>& edits,
                  std::string& strOpenError)
{
    // Widgets take part of the width, so that their labels show beside them.
    ImGui::PushItemWidth(ImGui::GetContentRegionAvail().x * 0.58f);
    for (const Control& control : instrumenter.GetControls()) {
        ImGui::PushID(control.m_Id);
        const char* szLabel = control.m_strLabel.c_str();
        switch (WidgetFor(control)) {
        case Widget::Label: ImGui::TextWrapped("%s", szLabel); break;
        case Widget::Checkbox: {
            bool bValue = *std::get<bool*>(control.m_Value);
            if (ImGui::Checkbox(szLabel, &bValue)) edits.push_back(EditBool(strItem, control, bValue));
            break;
        }
        case Widget::NumberInt:
        case Widget::StepperInt: {
            int iValue = *std::get<int*>(control.m_Value);
            const int iStep = control.m_eKind == Kind::Int ? 1 : std::max(control.m_iStep, 1);
            if (ImGui::InputInt(szLabel, &iValue, iStep, iStep * 10, ImGuiInputTextFlags_EnterReturnsTrue))
                edits.push_back(EditInt(strItem, control, iValue));
            if (control.m_eKind == Kind::IntRange)
                ImGui::TextDisabled("  %d to %d, step %d", control.m_iMinimum, control.m_iMaximum, iStep);
            break;
        }
        case Widget::SliderInt: {
            int iValue = *std::get<int*>(control.m_Value);
            if (ImGui::SliderInt(szLabel, &iValue, control.m_iMinimum, control.m_iMaximum))
                edits.push_back(EditInt(strItem, control, iValue));
            break;
        }
        case Widget::NumberFloat: {
            float fValue = *std::get<float*>(control.m_Value);
            const float fSpeed = std::max(std::fabs(fValue) * 0.01f, 0.001f);
            if (ImGui::DragFloat(szLabel, &fValue, fSpeed, 0.0f, 0.0f, "%.4g"))
                edits.push_back(EditFloat(strItem, control, fValue));
            break;
        }
        case Widget::Combo: {
            const int iCount = static_cast<int>(control.m_Items.size());
            const bool bChosen = control.m_iSelected >= 0 && control.m_iSelected < iCount;
            const char* szPreview = bChosen ? control.m_Items[static_cast<std::size_t>(control.m_iSelected)].c_str()
                                            : "(none chosen)";
            if (ImGui::BeginCombo(szLabel, szPreview)) {
                for (int i = 0; i < iCount; ++i)
                    if (ImGui::Selectable(control.m_Items[static_cast<std::size_t>(i)].c_str(), i == control.m_iSelected))
                        edits.push_back(EditChoice(strItem, control, i));
                ImGui::EndCombo();
            }
            break;
        }
        case Widget::FileField:
        case Widget::TextField: {
            std::string strText = Ondo::Instrumenter::ValueText(control);
            if (ImGui::InputText(szLabel, &strText, ImGuiInputTextFlags_EnterReturnsTrue))
                edits.push_back(EditText(strItem, control, strText));
            if (control.m_eKind == Kind::FileName && ImGui::IsItemHovered()) {
                std::string strFilter;
                try {
                    strFilter = Ondo::WideToUtf8(control.m_strFileText);
                } catch (const std::range_error&) {
                }
                ImGui::SetTooltip("Type a path and press Enter.%s%s", strFilter.empty() ? "" : "\nFiles: ",
                                  strFilter.c_str());
            }
            break;
        }
        case Widget::VectorField: {
            std::vector<float> values = *ParseVector(Ondo::Instrumenter::ValueText(control));
            const int iCount = static_cast<int>(values.size());
            const bool bChanged = iCount == 2   ? ImGui::DragFloat2(szLabel, values.data(), 0.01f)
                                  : iCount == 3 ? ImGui::DragFloat3(szLabel, values.data(), 0.01f)
                                                : ImGui::DragFloat4(szLabel, values.data(), 0.01f);
            if (bChanged) edits.push_back(EditVector(strItem, control, values));
            break;
        }
        case Widget::FileLink: {
            const std::string strPath = Ondo::Instrumenter::ValueText(control);
            ImGui::TextUnformatted(szLabel);
            ImGui::SameLine();
            if (ImGui::SmallButton("Open")) strOpenError = OpenWithDesktop(strPath);
            ImGui::SameLine();
            ImGui::TextDisabled("%s", strPath.c_str());
            break;
        }
        case Widget::ReadOnly:
            ImGui::LabelText(szLabel, "%s", Ondo::Instrumenter::ValueText(control).c_str());
            break;
        case Widget::Button:
            if (ImGui::Button(szLabel)) edits.push_back(PressButton(strItem, control));
            break;
        }
        ImGui::PopID();
    }
    ImGui::PopItemWidth();
}

std::string OpenWithDesktop(const std::string& strPath)
{
    if (!std::filesystem::exists(strPath)) return strPath + " does not exist";
    if (!OnPath("xdg-open")) return "xdg-open is not installed, so " + strPath + " cannot be opened from here";
    // A shell starts the opener in the background and ends at once, so that
    // nothing is left to wait for.
    const char* argv[] = {"sh", "-c", "xdg-open \"$1\" >/dev/null 2>&1 &", "sh", strPath.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0)
        return "could not start xdg-open for " + strPath;
    int iStatus = 0;
    ::waitpid(pid, &iStatus, 0);
    return {};
}

} // namespace OndoView
