#pragma once

// Editor controls as widgets. Each kind of instrumenter control maps to one
// widget; what a person does with the widget becomes a ControlEdit, which
// the session applies between frames exactly as the command line's --set
// does (by text, through the control's callback). Tests build their edits
// with the same functions the widgets call.

#include "Ondo/Instrumenter.h"

#include <optional>
#include <string>
#include <vector>

namespace OndoView {

enum class Widget {
    Label,       // Text: wrapped text
    Checkbox,    // Bool
    NumberInt,   // Int: a number field with steps
    StepperInt,  // IntRange: a number field with steps, kept inside the range
    SliderInt,   // IntSlider: a slider over the range
    NumberFloat, // Float: a draggable number field
    Combo,       // Choice: a drop-down list
    FileField,   // FileName: a path field, applied with Enter
    FileLink,    // FileLink: the path and a button that opens it
    TextField,   // StringField: a text field, applied with Enter
    VectorField, // StringField holding 2 to 4 numbers: one number box each
    ReadOnly,    // StringView: the text, not editable
    Button       // Button
};

Widget WidgetFor(const Ondo::Instrumenter::Control& control);
const char* WidgetName(Widget eWidget);

// A string field whose text is two to four numbers is edited as a vector.
std::optional<std::vector<float>> ParseVector(const std::string& strText);

// One edit of one control of one item, by control id (labels may repeat).
struct ControlEdit {
    std::string m_strItem;
    Ondo::Instrumenter::ControlId m_Id = -1;
    std::string m_strText;
};

ControlEdit EditBool(const std::string& strItem, const Ondo::Instrumenter::Control& control, bool bValue);
ControlEdit EditInt(const std::string& strItem, const Ondo::Instrumenter::Control& control, int iValue);
ControlEdit EditFloat(const std::string& strItem, const Ondo::Instrumenter::Control& control, float fValue);
ControlEdit EditChoice(const std::string& strItem, const Ondo::Instrumenter::Control& control, int iIndex);
ControlEdit EditText(const std::string& strItem, const Ondo::Instrumenter::Control& control, const std::string& strText);
ControlEdit EditVector(const std::string& strItem, const Ondo::Instrumenter::Control& control,
                       const std::vector<float>& values);
ControlEdit PressButton(const std::string& strItem, const Ondo::Instrumenter::Control& control);

// An integer range control's value moved to its range and step grid.
int SnapToRange(const Ondo::Instrumenter::Control& control, int iValue);

// Draws the controls of an item with Dear ImGui and appends what the person
// changed. Nothing is applied here: callbacks may add or remove controls.
void DrawControls(const std::string& strItem, const Ondo::Instrumenter& instrumenter, std::vector<ControlEdit>& edits,
                  std::string& strOpenError);

// Opens a file or folder with the desktop's program for it (xdg-open), in
// the background. Returns an empty string, or why it could not start.
std::string OpenWithDesktop(const std::string& strPath);

} // namespace OndoView
