#pragma once

#include <functional>
#include <string>
#include <variant>
#include <vector>

namespace Ondo {

class Instrumenter;

// Anything that can build editor controls for its settings.
class Instrumentable {
public:
    virtual ~Instrumentable() = default;
    virtual void Instrument(Instrumenter& instrumenter) = 0;
};

// Builds and keeps the editor controls of one object, in the order they were
// added. There is no window here: a program (the command-line runner, a test)
// finds a control by its label and edits it exactly as a person would, by
// writing the new value through the control's bound pointer and then calling
// its change callback.
class Instrumenter {
public:
    using ControlId = int;
    using Callback = std::function<void()>;
    using ChoiceCallback = std::function<void(int)>;

    enum class ControlKind {
        Text,
        Bool,
        Int,
        Float,
        IntRange,
        IntSlider,
        Choice,
        FileName,
        FileLink,
        StringField,
        StringView,
        Button
    };

    struct Control {
        ControlId m_Id = -1;
        ControlKind m_eKind = ControlKind::Text;
        std::string m_strLabel;
        // The bound setting; empty for texts, buttons and choices.
        std::variant<std::monostate, bool*, int*, float*, std::string*, std::wstring*> m_Value;
        Callback m_fnChanged;
        ChoiceCallback m_fnChosen;
        int m_iMinimum = 0;
        int m_iMaximum = 0;
        int m_iStep = 1;
        std::vector<std::string> m_Items;
        int m_iSelected = -1;
        // File-dialog filter of a file-name control, or the path of a file link.
        std::wstring m_strFileText;
    };

    Instrumenter() = default;
    Instrumenter(const Instrumenter&) = delete;
    Instrumenter& operator=(const Instrumenter&) = delete;

    ControlId AddText(const std::string& strText);
    ControlId AddBool(const std::string& strLabel, bool* pValue, Callback fnChanged);
    ControlId AddInt(const std::string& strLabel, int* pValue, Callback fnChanged);
    ControlId AddFloat(const std::string& strLabel, float* pValue, Callback fnChanged);
    ControlId AddIntRange(const std::string& strLabel, int* pValue, int iMin, int iMax, int iStep, Callback fnChanged);
    ControlId AddIntSlider(const std::string& strLabel, int* pValue, int iMin, int iMax, int iStep, Callback fnChanged);
    ControlId AddChoice(const std::string& strLabel, const std::vector<std::string>& items, int iSelected,
                        ChoiceCallback fnChosen);
    ControlId AddFileName(const std::string& strLabel, std::wstring* pValue, const std::wstring& strFilter,
                          Callback fnChanged);
    ControlId AddFileLink(const std::string& strLabel, const std::wstring& strPath);
    ControlId AddStringField(const std::string& strLabel, std::string* pValue, Callback fnChanged);
    ControlId AddStringView(const std::string& strLabel, std::string* pValue);
    ControlId AddButton(const std::string& strLabel, Callback fnPressed);

    // Removing an id that is not (or no longer) present does nothing.
    void RemoveControl(ControlId id);
    // Asks the view to show the controls anew; counted, since there is no view.
    void RefreshControls() { ++m_iRefreshCount; }
    int GetRefreshCount() const { return m_iRefreshCount; }

    const std::vector<Control>& GetControls() const { return m_Controls; }
    const Control* FindControl(const std::string& strLabel) const;
    const Control* FindControl(ControlId id) const;

    // Edits the first control with this label from text, as a person would:
    // bools take 1/0/true/false/on/off, numbers must parse whole, ranges must
    // hold the value, choices take an item name or an index, file names are
    // UTF-8, buttons are pressed (the text is ignored). Throws
    // std::invalid_argument naming the control when there is no such control,
    // the control cannot be edited, or the text does not fit it; the setting
    // is then left unchanged and no callback runs.
    void SetControl(const std::string& strLabel, const std::string& strText);
    // The same for one control by its id, for labels that several controls
    // share (one per attribute, say); throws as above, also for an id that
    // is no longer present.
    void SetControl(ControlId id, const std::string& strText);
    // Selects item iIndex of a choice and calls its callback with the index.
    void Choose(const std::string& strLabel, int iIndex);
    void Press(const std::string& strLabel);

    // The current value of a control as text, in the form SetControl accepts.
    static std::string ValueText(const Control& control);
    static const char* KindName(ControlKind eKind);

private:
    ControlId Add(Control control);
    template <class T>
    ControlId AddBound(ControlKind eKind, const std::string& strLabel, T* pValue, Callback fnChanged);
    const Control& Require(const std::string& strLabel) const;
    void Edit(const Control& control, const std::string& strText);
    void ChooseControl(const Control& control, int iIndex);
    void PressControl(const Control& control);

    std::vector<Control> m_Controls;
    ControlId m_NextId = 0;
    int m_iRefreshCount = 0;
};

} // namespace Ondo
