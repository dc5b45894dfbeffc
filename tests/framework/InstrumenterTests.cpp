#include "TestSupport.h"

#include "Ondo/Instrumenter.h"

#include <functional>

namespace {

using Ondo::Instrumenter;
using Kind = Instrumenter::ControlKind;

// The message of the std::invalid_argument that fn throws when an edit is refused.
template <class F>
std::string Refusal(F&& fn) { return OndoTest::ThrownMessage<std::invalid_argument>(fn); }

std::string Shown(const Instrumenter& in, const std::string& strLabel)
{
    const Instrumenter::Control* pControl = in.FindControl(strLabel);
    return pControl ? Instrumenter::ValueText(*pControl) : "<no control " + strLabel + ">";
}

TEST(InstrumenterTest, ControlsMustBeBoundAndKeepTheirOrderAndIncreasingIds)
{
    Instrumenter in;
    const std::function<void()> nullBindings[] = {
        [&] { in.AddBool("b", nullptr, nullptr); }, [&] { in.AddInt("i", nullptr, nullptr); },
        [&] { in.AddFloat("f", nullptr, nullptr); }, [&] { in.AddIntRange("r", nullptr, 0, 1, 1, nullptr); },
        [&] { in.AddIntSlider("s", nullptr, 0, 1, 1, nullptr); }, [&] { in.AddFileName("n", nullptr, L"", nullptr); },
        [&] { in.AddStringField("t", nullptr, nullptr); }, [&] { in.AddStringView("v", nullptr); }};
    for (std::size_t i = 0; i < std::size(nullBindings); ++i)
        EXPECT_THROW(nullBindings[i](), std::invalid_argument) << "null binding " << i;
    EXPECT_TRUE(in.GetControls().empty());
    struct { bool b; int i; float f; std::string str; std::wstring strFile; } bound{}; // what the controls bind
    const std::vector<std::tuple<Kind, Instrumenter::ControlId>> added = { // added left to right
        {Kind::Text, in.AddText("Gain")}, {Kind::Bool, in.AddBool("Gain", &bound.b, nullptr)},
        {Kind::Int, in.AddInt("Count", &bound.i, nullptr)}, {Kind::Float, in.AddFloat("Scale", &bound.f, nullptr)},
        {Kind::IntRange, in.AddIntRange("Range", &bound.i, 0, 10, 1, nullptr)},
        {Kind::IntSlider, in.AddIntSlider("Slider", &bound.i, 0, 10, 2, nullptr)},
        {Kind::Choice, in.AddChoice("Mode", {"a", "b"}, 0, nullptr)},
        {Kind::FileName, in.AddFileName("File", &bound.strFile, L"*.png", nullptr)},
        {Kind::FileLink, in.AddFileLink("Link", L"/tmp/x")}, {Kind::Button, in.AddButton("Reload", nullptr)},
        {Kind::StringField, in.AddStringField("Name", &bound.str, nullptr)},
        {Kind::StringView, in.AddStringView("View", &bound.str)}};
    const auto& controls = in.GetControls();
    ASSERT_EQ(controls.size(), added.size());
    for (std::size_t i = 0; i < controls.size(); ++i) {
        EXPECT_EQ(std::make_tuple(controls[i].m_eKind, controls[i].m_Id), added[i]) << i;
        if (i > 0) { EXPECT_GT(std::get<1>(added[i]), std::get<1>(added[i - 1])) << i; }
    }
    EXPECT_EQ(std::tie(controls[5].m_iStep, controls[7].m_strFileText), std::make_tuple(2, std::wstring(L"*.png")));
    EXPECT_EQ(in.FindControl("Gain"), &controls[1]) << "a label finds the first editable control, not the text";
    const Instrumenter::ControlId idScale = std::get<1>(added[3]);
    EXPECT_EQ(std::make_tuple(in.FindControl("Missing"), in.FindControl(idScale)),
              std::make_tuple(nullptr, &controls[3]));
    in.RemoveControl(idScale);
    in.RemoveControl(12345);
    EXPECT_EQ(std::make_tuple(in.GetControls().size(), in.FindControl("Scale"), in.FindControl(idScale)),
              std::make_tuple(added.size() - 1, nullptr, nullptr));
    EXPECT_GT(in.AddText("new"), std::get<1>(added.back())) << "ids are not reused";
    const int iRefreshed = in.GetRefreshCount();
    for (int i = 0; i < 2; ++i) in.RefreshControls();
    EXPECT_EQ(std::make_tuple(iRefreshed, in.GetRefreshCount()), std::make_tuple(0, 2));
}

TEST(InstrumenterTest, EditsMustParseWholeAndFitAndOnlyAcceptedOnesCallBackInOrder)
{
    Instrumenter in;
    bool bEnabled = false;
    int iCount = 3, iRange = 5, iSlider = 5;
    float fScale = 0.5f;
    std::wstring strFile = L"old.png";
    std::string strName = "old", strShown = "shown";
    std::vector<std::string> calls, expected; // the value each call saw: it is written before the call
    const auto Record = [&](const char* szLabel) { return [&, szLabel] { calls.push_back(Shown(in, szLabel)); }; };
    in.AddBool("Enabled", &bEnabled, Record("Enabled"));
    in.AddInt("Count", &iCount, Record("Count"));
    in.AddFloat("Scale", &fScale, Record("Scale"));
    in.AddIntRange("Range", &iRange, 0, 10, 1, Record("Range"));
    in.AddIntSlider("Slider", &iSlider, -4, 4, 1, Record("Slider"));
    in.AddChoice("Filter", {"Nearest", "Linear", "7"}, 1, [&](int i) { calls.push_back(std::to_string(i)); });
    in.AddFileName("Image", &strFile, L"Images (*.png)", Record("Image"));
    in.AddStringField("Name", &strName, Record("Name"));
    in.AddButton("Reload", [&] { calls.push_back("pressed"); });
    in.AddStringView("View", &strShown);
    in.AddFileLink("Source", L"/data/\u00FCber.txt");
    in.AddText("Heading");
    in.AddChoice("Unset", {"a"}, -1, nullptr);
    EXPECT_EQ(Shown(in, "Filter") + "|" + Shown(in, "Unset"), "Linear|") << "a selection outside the items is empty";

    const std::tuple<const char*, const char*, const char*> accepted[] = {{"Enabled", "1", "1"},
        {"Enabled", "0", "0"}, {"Enabled", "true", "1"}, {"Enabled", "false", "0"}, {"Enabled", "on", "1"},
        {"Enabled", "off", "0"}, {"Enabled", "TRUE", "1"}, {"Count", "-42", "-42"}, {"Scale", "-1.5e2", "-150"},
        {"Range", "10", "10"}, {"Slider", "-4", "-4"}, {"Filter", "Nearest", "0"}, {"Filter", "1", "1"},
        {"Filter", "7", "2"}, // an item name wins over an index
        {"Image", "/data/Gr\xC3\xBC\xC3\x9F" "e.png", "/data/Gr\xC3\xBC\xC3\x9F" "e.png"},
        {"Name", " any <text> \n", " any <text> \n"}, {"Reload", "the text is ignored", "pressed"}};
    for (const auto& [szLabel, szText, szCall] : accepted) {
        in.SetControl(szLabel, szText);
        expected.push_back(szCall);
    }
    in.Choose("Filter", 0);
    in.Press("Reload");
    expected.insert(expected.end(), {"0", "pressed"});
    EXPECT_EQ(calls, expected);
    const auto values = std::make_tuple(true, -42, -150.0f, 10, -4, std::wstring(L"/data/Gr\u00FC\u00DFe.png"),
                                        std::string(" any <text> \n"), std::string("shown"));
    EXPECT_EQ(std::tie(bEnabled, iCount, fScale, iRange, iSlider, strFile, strName, strShown), values);
    EXPECT_EQ(Shown(in, "Filter") + "|" + Shown(in, "View") + "|" + Shown(in, "Source"),
              "Nearest|shown|/data/\xC3\xBC" "ber.txt");

    const std::vector<std::pair<std::string, std::vector<const char*>>> refused = {
        {"Enabled", {"2", "", "maybe", "1 "}}, {"Count", {"4.5", "12abc", "", "99999999999", "0x10", "ten"}},
        {"Scale", {"abc", "1.5x", "", "1e999"}}, {"Range", {"11", "-1", "5.0"}}, {"Slider", {"5", "-5"}},
        {"Filter", {"Cubic", "3"}}, {"Image", {"bad\xC3\x28.png"}}, {"View", {"x"}}, {"Source", {"x"}},
        {"Heading", {"x"}}, {"Nothing", {"1"}}};
    for (const auto& [strLabel, texts] : refused) {
        for (const char* szText : texts) {
            const std::string strMessage = Refusal([&] { in.SetControl(strLabel, szText); });
            EXPECT_NE(strMessage.find("\"" + strLabel + "\""), std::string::npos) << strMessage;
            if (strLabel == "Count") { EXPECT_NE(strMessage.find(szText), std::string::npos) << strMessage; }
        }
    }
    for (const auto& [szLabel, iItem] : {std::pair<const char*, int>{"Filter", 3}, {"Filter", -1}, {"Count", 0}})
        Refusal([&] { in.Choose(szLabel, iItem); });
    Refusal([&] { in.Press("Name"); });
    EXPECT_EQ(std::tie(bEnabled, iCount, fScale, iRange, iSlider, strFile, strName, strShown), values);
    EXPECT_EQ(Shown(in, "Filter"), "Nearest");
    EXPECT_EQ(calls, expected) << "a refused edit calls nobody";
}

TEST(InstrumenterTest, CallbacksMayChangeTheControls)
{
    Instrumenter in;
    bool bOnce = false;
    int iCount = 0;
    Instrumenter::ControlId idOnce = -1, idChoice = -1;
    idOnce = in.AddBool("Once", &bOnce, [&] { in.RemoveControl(idOnce); });
    // Adding many controls moves the stored controls to new memory.
    in.AddInt("Grow", &iCount, [&] { for (int i = 0; i < 64; ++i) in.AddText("added " + std::to_string(i)); });
    idChoice = in.AddChoice("Pick", {"a", "b"}, 0, [&](int) { in.RemoveControl(idChoice); });
    in.AddButton("Clear", [&] { while (!in.GetControls().empty()) in.RemoveControl(in.GetControls().front().m_Id); });
    in.SetControl("Once", "on");
    in.SetControl("Grow", "3");
    EXPECT_EQ(std::make_tuple(bOnce, iCount, in.FindControl("Once"), in.GetControls().size()),
              std::make_tuple(true, 3, nullptr, 3u + 64u));
    in.SetControl("Pick", "b");
    EXPECT_EQ(in.FindControl("Pick"), nullptr);
    in.SetControl("Clear", "");
    EXPECT_TRUE(in.GetControls().empty());
}

} // namespace
