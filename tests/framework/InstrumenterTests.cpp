#include "Ondo/Instrumenter.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Ondo::Instrumenter;
using Kind = Instrumenter::ControlKind;

// The message of the std::invalid_argument that fn throws.
template <class F>
std::string Refusal(F&& fn)
{
    try {
        fn();
    } catch (const std::invalid_argument& error) {
        return error.what();
    }
    ADD_FAILURE() << "the edit was accepted";
    return {};
}

TEST(InstrumenterTest, ControlsKeepTheirOrderAndIncreasingIds)
{
    Instrumenter instrumenter;
    bool bValue = false;
    int iValue = 0;
    float fValue = 0.0f;
    std::string strValue;
    std::wstring strFile;
    std::vector<Instrumenter::ControlId> ids = {
        instrumenter.AddText("Gain"),
        instrumenter.AddBool("Gain", &bValue, nullptr),
        instrumenter.AddInt("Count", &iValue, nullptr),
        instrumenter.AddFloat("Scale", &fValue, nullptr),
        instrumenter.AddIntRange("Range", &iValue, 0, 10, 1, nullptr),
        instrumenter.AddIntSlider("Slider", &iValue, 0, 10, 2, nullptr),
        instrumenter.AddChoice("Mode", {"a", "b"}, 0, nullptr),
        instrumenter.AddFileName("File", &strFile, L"*.png", nullptr),
        instrumenter.AddFileLink("Link", L"/tmp/x"),
        instrumenter.AddStringField("Name", &strValue, nullptr),
        instrumenter.AddStringView("View", &strValue),
        instrumenter.AddButton("Reload", nullptr)};
    const std::vector<Kind> kinds = {Kind::Text,      Kind::Bool,     Kind::Int,         Kind::Float,
                                     Kind::IntRange,  Kind::IntSlider, Kind::Choice,     Kind::FileName,
                                     Kind::FileLink,  Kind::StringField, Kind::StringView, Kind::Button};
    const auto& controls = instrumenter.GetControls();
    ASSERT_EQ(controls.size(), kinds.size());
    for (std::size_t i = 0; i < controls.size(); ++i) {
        EXPECT_EQ(controls[i].m_eKind, kinds[i]) << i;
        EXPECT_EQ(controls[i].m_Id, ids[i]);
        if (i > 0) {
            EXPECT_GT(ids[i], ids[i - 1]);
        }
    }
    EXPECT_EQ(controls[5].m_iStep, 2);
    EXPECT_EQ(controls[7].m_strFileText, L"*.png");

    // A label finds the first editable control; texts are not controls to edit.
    ASSERT_NE(instrumenter.FindControl("Gain"), nullptr);
    EXPECT_EQ(instrumenter.FindControl("Gain")->m_eKind, Kind::Bool);
    EXPECT_EQ(instrumenter.FindControl("Missing"), nullptr);
    EXPECT_EQ(instrumenter.FindControl(ids[3])->m_strLabel, "Scale");

    instrumenter.RemoveControl(ids[3]);
    instrumenter.RemoveControl(12345);
    EXPECT_EQ(instrumenter.GetControls().size(), kinds.size() - 1);
    EXPECT_EQ(instrumenter.FindControl("Scale"), nullptr);
    EXPECT_EQ(instrumenter.FindControl(ids[3]), nullptr);
    EXPECT_GT(instrumenter.AddText("new"), ids.back()) << "ids are not reused";

    EXPECT_EQ(instrumenter.GetRefreshCount(), 0);
    instrumenter.RefreshControls();
    instrumenter.RefreshControls();
    EXPECT_EQ(instrumenter.GetRefreshCount(), 2);
}

TEST(InstrumenterTest, BoolsWriteThroughThePointerBeforeTheCallback)
{
    Instrumenter instrumenter;
    bool bEnabled = false;
    std::vector<bool> seen;
    instrumenter.AddBool("Enabled", &bEnabled, [&] { seen.push_back(bEnabled); });
    const std::vector<std::pair<const char*, bool>> accepted = {{"1", true},    {"0", false},  {"true", true},
                                                                {"false", false}, {"on", true}, {"off", false},
                                                                {"TRUE", true}};
    for (const auto& [szText, bExpected] : accepted) {
        instrumenter.SetControl("Enabled", szText);
        EXPECT_EQ(bEnabled, bExpected) << szText;
        EXPECT_EQ(Instrumenter::ValueText(*instrumenter.FindControl("Enabled")), bExpected ? "1" : "0");
    }
    std::vector<bool> expectedSeen;
    for (const auto& entry : accepted) expectedSeen.push_back(entry.second);
    EXPECT_EQ(seen, expectedSeen);

    for (const char* szText : {"2", "", "maybe", "1 "}) {
        const std::string strMessage = Refusal([&] { instrumenter.SetControl("Enabled", szText); });
        EXPECT_NE(strMessage.find("\"Enabled\""), std::string::npos) << strMessage;
    }
    EXPECT_TRUE(bEnabled);
    EXPECT_EQ(seen.size(), accepted.size()) << "a refused edit calls nobody";
}

TEST(InstrumenterTest, NumbersMustParseWholeAndFitTheirRange)
{
    Instrumenter instrumenter;
    int iCount = 3, iRange = 5, iSlider = 5, iCalls = 0;
    float fScale = 0.5f;
    instrumenter.AddInt("Count", &iCount, [&] { ++iCalls; });
    instrumenter.AddFloat("Scale", &fScale, [&] { ++iCalls; });
    instrumenter.AddIntRange("Range", &iRange, 0, 10, 1, [&] { ++iCalls; });
    instrumenter.AddIntSlider("Slider", &iSlider, -4, 4, 1, [&] { ++iCalls; });

    instrumenter.SetControl("Count", "-42");
    EXPECT_EQ(iCount, -42);
    instrumenter.SetControl("Scale", "-1.5e2");
    EXPECT_EQ(fScale, -150.0f);
    instrumenter.SetControl("Range", "10");
    EXPECT_EQ(iRange, 10);
    instrumenter.SetControl("Slider", "-4");
    EXPECT_EQ(iSlider, -4);
    EXPECT_EQ(iCalls, 4);
    EXPECT_EQ(Instrumenter::ValueText(*instrumenter.FindControl("Count")), "-42");
    EXPECT_EQ(Instrumenter::ValueText(*instrumenter.FindControl("Scale")), "-150");

    for (const char* szText : {"4.5", "12abc", "", "99999999999", "0x10", "ten"}) {
        const std::string strMessage = Refusal([&] { instrumenter.SetControl("Count", szText); });
        EXPECT_NE(strMessage.find("\"Count\""), std::string::npos) << strMessage;
        EXPECT_NE(strMessage.find(szText), std::string::npos) << strMessage;
    }
    for (const char* szText : {"abc", "1.5x", "", "1e999"}) Refusal([&] { instrumenter.SetControl("Scale", szText); });
    for (const char* szText : {"11", "-1", "5.0"}) Refusal([&] { instrumenter.SetControl("Range", szText); });
    for (const char* szText : {"5", "-5"}) Refusal([&] { instrumenter.SetControl("Slider", szText); });
    Refusal([&] { instrumenter.SetControl("Nothing", "1"); });
    EXPECT_EQ(iCount, -42);
    EXPECT_EQ(fScale, -150.0f);
    EXPECT_EQ(iRange, 10);
    EXPECT_EQ(iSlider, -4);
    EXPECT_EQ(iCalls, 4);
}

TEST(InstrumenterTest, ChoicesTakeAnItemNameOrAnIndex)
{
    Instrumenter instrumenter;
    std::vector<int> chosen;
    const Instrumenter::ControlId id =
        instrumenter.AddChoice("Filter", {"Nearest", "Linear", "7"}, 1, [&](int i) { chosen.push_back(i); });
    const Instrumenter::Control& control = *instrumenter.FindControl(id);
    EXPECT_EQ(control.m_iSelected, 1);
    EXPECT_EQ(Instrumenter::ValueText(control), "Linear");

    instrumenter.SetControl("Filter", "Nearest");
    EXPECT_EQ(control.m_iSelected, 0);
    instrumenter.SetControl("Filter", "1");
    instrumenter.SetControl("Filter", "7"); // an item name wins over an index
    instrumenter.Choose("Filter", 0);
    EXPECT_EQ(chosen, (std::vector<int>{0, 1, 2, 0}));
    EXPECT_EQ(Instrumenter::ValueText(control), "Nearest");

    Refusal([&] { instrumenter.SetControl("Filter", "Cubic"); });
    Refusal([&] { instrumenter.SetControl("Filter", "3"); });
    Refusal([&] { instrumenter.Choose("Filter", 3); });
    Refusal([&] { instrumenter.Choose("Filter", -1); });
    EXPECT_EQ(chosen.size(), 4u);
    EXPECT_EQ(control.m_iSelected, 0);

    int iNotAChoice = 0;
    instrumenter.AddInt("Count", &iNotAChoice, nullptr);
    Refusal([&] { instrumenter.Choose("Count", 0); });

    // A selection outside the items shows as empty.
    instrumenter.AddChoice("Unset", {"a"}, -1, nullptr);
    EXPECT_EQ(Instrumenter::ValueText(*instrumenter.FindControl("Unset")), "");
}

TEST(InstrumenterTest, TextsFileNamesAndButtons)
{
    Instrumenter instrumenter;
    std::wstring strFile = L"old.png";
    std::string strName = "old", strShown = "shown";
    int iFileCalls = 0, iNameCalls = 0, iPresses = 0;
    instrumenter.AddFileName("Image", &strFile, L"Images (*.png)", [&] { ++iFileCalls; });
    instrumenter.AddStringField("Name", &strName, [&] { ++iNameCalls; });
    instrumenter.AddStringView("View", &strShown);
    instrumenter.AddFileLink("Source", L"/data/\u00FCber.txt");
    instrumenter.AddText("Heading");
    instrumenter.AddButton("Reload", [&] { ++iPresses; });

    instrumenter.SetControl("Image", "/data/Gr\xC3\xBC\xC3\x9F" "e.png");
    EXPECT_EQ(strFile, L"/data/Gr\u00FC\u00DFe.png");
    EXPECT_EQ(Instrumenter::ValueText(*instrumenter.FindControl("Image")), "/data/Gr\xC3\xBC\xC3\x9F" "e.png");
    Refusal([&] { instrumenter.SetControl("Image", "bad\xC3\x28.png"); });
    EXPECT_EQ(strFile, L"/data/Gr\u00FC\u00DFe.png");
    EXPECT_EQ(iFileCalls, 1);

    instrumenter.SetControl("Name", " any <text> \n");
    EXPECT_EQ(strName, " any <text> \n");
    EXPECT_EQ(iNameCalls, 1);

    instrumenter.SetControl("Reload", "the text is ignored");
    instrumenter.Press("Reload");
    EXPECT_EQ(iPresses, 2);
    Refusal([&] { instrumenter.Press("Name"); });

    for (const char* szLabel : {"View", "Source", "Heading"}) Refusal([&] { instrumenter.SetControl(szLabel, "x"); });
    EXPECT_EQ(strShown, "shown");
    EXPECT_EQ(Instrumenter::ValueText(*instrumenter.FindControl("View")), "shown");
    EXPECT_EQ(Instrumenter::ValueText(*instrumenter.FindControl("Source")), "/data/\xC3\xBC" "ber.txt");
    EXPECT_EQ(iNameCalls, 1);
}

TEST(InstrumenterTest, CallbacksMayChangeTheControls)
{
    Instrumenter instrumenter;
    bool bOnce = false;
    int iCount = 0;
    Instrumenter::ControlId idOnce = -1;
    idOnce = instrumenter.AddBool("Once", &bOnce, [&] { instrumenter.RemoveControl(idOnce); });
    // Adding many controls moves the stored controls to new memory.
    instrumenter.AddInt("Grow", &iCount, [&] {
        for (int i = 0; i < 64; ++i) instrumenter.AddText("added " + std::to_string(i));
    });
    Instrumenter::ControlId idChoice = -1;
    idChoice = instrumenter.AddChoice("Pick", {"a", "b"}, 0, [&](int) { instrumenter.RemoveControl(idChoice); });
    instrumenter.AddButton("Clear", [&] {
        while (!instrumenter.GetControls().empty()) instrumenter.RemoveControl(instrumenter.GetControls().front().m_Id);
    });

    instrumenter.SetControl("Once", "on");
    EXPECT_TRUE(bOnce);
    EXPECT_EQ(instrumenter.FindControl("Once"), nullptr);
    instrumenter.SetControl("Grow", "3");
    EXPECT_EQ(iCount, 3);
    EXPECT_EQ(instrumenter.GetControls().size(), 3u + 64u);
    instrumenter.SetControl("Pick", "b");
    EXPECT_EQ(instrumenter.FindControl("Pick"), nullptr);
    instrumenter.SetControl("Clear", "");
    EXPECT_TRUE(instrumenter.GetControls().empty());
}

TEST(InstrumenterTest, BindingANullSettingThrows)
{
    Instrumenter instrumenter;
    EXPECT_THROW(instrumenter.AddBool("b", nullptr, nullptr), std::invalid_argument);
    EXPECT_THROW(instrumenter.AddInt("i", nullptr, nullptr), std::invalid_argument);
    EXPECT_THROW(instrumenter.AddFloat("f", nullptr, nullptr), std::invalid_argument);
    EXPECT_THROW(instrumenter.AddIntRange("r", nullptr, 0, 1, 1, nullptr), std::invalid_argument);
    EXPECT_THROW(instrumenter.AddIntSlider("s", nullptr, 0, 1, 1, nullptr), std::invalid_argument);
    EXPECT_THROW(instrumenter.AddFileName("n", nullptr, L"", nullptr), std::invalid_argument);
    EXPECT_THROW(instrumenter.AddStringField("t", nullptr, nullptr), std::invalid_argument);
    EXPECT_THROW(instrumenter.AddStringView("v", nullptr), std::invalid_argument);
    EXPECT_TRUE(instrumenter.GetControls().empty());
}

} // namespace
