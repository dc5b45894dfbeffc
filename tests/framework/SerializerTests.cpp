#include "TestSupport.h"

#include "Ondo/Exceptions.h"
#include "Ondo/FlowGraph/Scope.h"
#include "Ondo/FlowGraph/Serializer.h"

#include <tinyxml.h>

#include <cstring>
#include <limits>
#include <optional>
#include <type_traits>
#include <variant>

namespace {

using namespace Ondo::FlowGraph;
using namespace OndoTest;
using Ondo::FlowGraph::Serialization::SaveInfo;
using Ondo::FlowGraph::Serialization::Serializer;
using Value = std::variant<bool, int, unsigned int, float, double, std::string, std::wstring>;

struct TestScopeOwner : ScopeOwner {
    std::shared_ptr<ScopeOwner> GetScopeOwnerSharedPtr() override { return nullptr; }
};

// The message of what fn throws: exactly an ExceptionParsing when bParsing, else a plain std::runtime_error.
template <class F>
std::string Thrown(bool bParsing, F&& fn)
{
    return bParsing ? ThrownMessage<Ondo::ExceptionParsing>(fn) : ThrownMessage<std::runtime_error>(fn);
}

// A value other than v, so that a read which assigns nothing is noticed.
template <class T>
T Unlike(const T& v)
{
    if constexpr (std::is_arithmetic_v<T>) return v == T{} ? T(1) : T{};
    else return v.empty() ? T(4, 'j') : T();
}

// The node as XML text without line breaks or indentation.
std::string Xml(const TiXmlNode* pNode)
{
    TiXmlPrinter printer;
    printer.SetStreamPrinting();
    return pNode->Accept(&printer) ? printer.Str() : "<not printed>";
}

class SerializerTest : public ::testing::Test {
protected:
    Serializer Writer() { return Serializer(&m_Doc, m_pRoot, &m_Info); }
    Serializer Reader(TiXmlNode* pRoot) { return Serializer(nullptr, pRoot, &m_Info); }
    // Parses szXml into the second document and returns its root.
    TiXmlElement* Load(const char* szXml)
    {
        m_Loaded.Clear();
        m_Loaded.Parse(szXml);
        EXPECT_FALSE(m_Loaded.Error()) << m_Loaded.ErrorDesc() << "\n" << szXml;
        return m_Loaded.RootElement();
    }
    // Prints the written document and loads the text again, as a save followed by a load does.
    TiXmlElement* Reparse() { return Load(Xml(&m_Doc).c_str()); }
    TiXmlDocument m_Doc, m_Loaded;
    TiXmlElement* m_pRoot = m_Doc.LinkEndChild(new TiXmlElement("Filter"))->ToElement();
    SaveInfo m_Info;
};

TEST_F(SerializerTest, PlainValuesAreWrittenOnceAsValueAttributesInCallOrderAndReadBack)
{
    const float fInf = std::numeric_limits<float>::infinity(), fNan = std::numeric_limits<float>::quiet_NaN();
    const double dInf = std::numeric_limits<double>::infinity(), dNan = std::numeric_limits<double>::quiet_NaN();
    const std::wstring strGreeting = L"Gr\u00FC\u00DFe \u2713 \U0001F600";
    const auto none = std::nullopt; // the text is not checked
    const auto S = [](const char* sz) { return std::string(sz); };
    struct Case { std::string strKey; Value written; std::optional<std::string> text; Value read; };
    std::vector<Case> cases = {
        {"bOn", true, "1", true}, {"bOff", false, "0", false}, {"iNegative", -42, "-42", -42},
        {"uiLarge", 4000000000u, "4000000000", 4000000000u},
        {"fPi", 3.14159274f, "3.14159", 3.14159f}, // six digits: the stored value is rounded
        {"fSmall", 1e-7f, "1e-07", 1e-7f}, {"dTenth", 0.1, "0.1", 0.1},
        {"dLarge", 123456789.0, "1.23457e+08", 123457000.0},
        {"fInf", fInf, none, fInf}, {"fMinusInf", -fInf, none, -fInf}, {"fNan", fNan, none, fNan},
        {"dInf", dInf, none, dInf}, {"dNan", dNan, none, dNan},
        {"wGreeting", strGreeting, "Gr\xC3\xBC\xC3\x9F" "e \xE2\x9C\x93 \xF0\x9F\x98\x80", strGreeting},
        {"wEmpty", std::wstring(), "", std::wstring()}, {"strText", S("plain text"), "plain text", S("plain text")}};
    for (const std::string strText : {"a<b>&c\"d'e", "first\nsecond\n\tindented", "  padded  ", "", "&amp; twice"})
        cases.push_back({"str" + std::to_string(cases.size()), strText, none, strText});
    Serializer writer = Writer();
    const TiXmlElement* pElement = nullptr;
    for (const Case& c : cases) {
        std::visit([&](auto value) { writer.Serialize(c.strKey, value); }, c.written);
        pElement = pElement ? pElement->NextSiblingElement() : m_pRoot->FirstChildElement(); // appended in call order
        ASSERT_NE(pElement, nullptr) << c.strKey;
        EXPECT_EQ(pElement->ValueStr(), c.strKey);
        if (c.text) { EXPECT_EQ(Xml(pElement), "<" + c.strKey + " value=\"" + *c.text + "\" />"); }
    }
    // Writing a key again is refused, whatever the type, and so is wide text that is no valid UTF-32: the reader
    // below still sees the first values, and no element is added.
    const char* szTwice = "!HasNodeElement( strName )";
    const char* szBadWide = "Could not convert from std::wstring to const char* (UTF8).";
    const std::tuple<const char*, Value, bool, const char*> refused[] = {{"bOn", 2, false, szTwice},
        {"bOn", S("x"), false, szTwice}, {"bOn", false, false, szTwice},
        {"wEmpty", std::wstring(L"x"), false, "HasNodeElement( strName ) == IsReader()"},
        {"wBad", std::wstring(L"ok\xD800"), true, szBadWide}, {"wBad", std::wstring(L"ok\x110000"), true, szBadWide}};
    for (auto [szKey, value, bParsing, szMessage] : refused)
        std::visit([&](auto& v) { EXPECT_EQ(Thrown(bParsing, [&] { writer.Serialize(szKey, v); }), szMessage); },
                   value);
    EXPECT_EQ(pElement->NextSiblingElement(), nullptr) << "a refused write added an element";
    Serializer reader = Reader(Reparse());
    for (const Case& c : cases) {
        Value read = std::visit([](const auto& value) { return Value(Unlike(value)); }, c.read);
        std::visit([&](auto& value) { reader.Serialize(c.strKey, value); }, read);
        const bool bBothNan = read != read && c.read != c.read; // only NaN differs from itself
        EXPECT_TRUE(read == c.read || bBothNan) << c.strKey << " read as " << testing::PrintToString(read);
    }
}

struct Settings {
    int iA = 0;
    float fB = 0.5f;
    std::string strC;
    void Serialize(Serializer& s) { s.Serialize("iA", iA); s.Serialize("fB", fB); s.Serialize("strC", strC); }
};

TEST_F(SerializerTest, ReadingMissingOrUnparsableValuesThrowsAndLeavesTheMember)
{
    TiXmlElement* pRoot = Load(
        "<Filter><iNoValue other=\"1\"/><sNoValue/><iWord value=\"abc\"/><iTrailing value=\"1.5x\"/>"
        "<iHuge value=\"99999999999\"/><iEmpty value=\"\"/><uiNegative value=\"-1\"/><fWord value=\"abc\"/>"
        "<fTrailing value=\"1.5x\"/><dWord value=\"x1\"/><bTwo value=\"2\"/><bWord value=\"yes\"/>"
        "<wBroken value=\"ab\xC3\x28\"/>"
        "<Partial><iA value=\"5\"/><fB value=\"bad\"/><strC value=\"x\"/></Partial></Filter>");
    Serializer reader = Reader(pRoot);
    struct Case { const char* szKey; Value member; bool bParsing; const char* szMessage; }; // null: any message
    const std::string strKept = "kept";
    const std::wstring strWideKept = L"kept";
    const char* szBadUtf8 = "Could not convert from const char* (UTF8) to std::wstring.\n"; // + the converter's text
    const std::vector<Case> cases = {
        {"iMissing", 17, false, "pElem != nullptr"},   {"uiMissing", 17u, false, "pElem != nullptr"},
        {"fMissing", 1.25f, false, "pElem != nullptr"}, {"dMissing", 2.5, false, "pElem != nullptr"},
        {"bMissing", true, false, "pElem != nullptr"},  {"iNoValue", 17, false, "pStr != nullptr"},
        {"iWord", 17, true, nullptr}, {"iTrailing", 17, true, nullptr}, {"iHuge", 17, true, nullptr},
        {"iEmpty", 17, true, nullptr}, {"uiNegative", 17u, true, nullptr}, {"fWord", 1.25f, true, nullptr},
        {"fTrailing", 1.25f, true, nullptr}, {"dWord", 2.5, true, nullptr}, {"bTwo", true, true, nullptr},
        {"bWord", true, true, nullptr}, {"strMissing", strKept, true, "Could not find matching xml node: strMissing\n"},
        {"sNoValue", strKept, true, "Could not find matching value xml node."},
        {"wMissing", strWideKept, true, "Could not find matching xml node."},
        {"sNoValue", strWideKept, true, "Could not find matching value xml node."},
        {"wBroken", strWideKept, true, szBadUtf8}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.szKey);
        Value member = c.member;
        std::string strMessage = std::visit(
            [&](auto& value) { return Thrown(c.bParsing, [&] { reader.Serialize(c.szKey, value); }); }, member);
        if (c.szMessage == szBadUtf8) { // followed by the converter's own message and a line break
            EXPECT_TRUE(strMessage.size() > std::strlen(szBadUtf8) + 1 && strMessage.back() == '\n') << strMessage;
            strMessage.resize(std::strlen(szBadUtf8));
        }
        if (c.szMessage) { EXPECT_EQ(strMessage, c.szMessage); }
        EXPECT_EQ(member, c.member) << "the member was changed";
    }
    // A sub-object stops at the member that fails: earlier members keep what was read, later ones are untouched.
    Settings partial;
    ThrownMessage<Ondo::ExceptionParsing>([&] { reader.Serialize("Partial", partial); });
    EXPECT_EQ(std::tie(partial.iA, partial.fB, partial.strC), std::make_tuple(5, 0.5f, std::string()));
    EXPECT_EQ(reader.GetCurrentNode(), pRoot);
}

TEST_F(SerializerTest, HandlesAreWrittenAsNumbersOfTheSaveInfoAndReadBack)
{
    TestOwner owner;
    FloatHandle h0(owner.AddPort(FloatPort("a"))), h1(owner.AddPort(FloatPort("b"))), h2(owner.AddPort(FloatPort("c")));
    const PortHandle<Port> hAny0(h0), hAny1(h1), hAny2(h2);
    EXPECT_EQ((std::vector<int>{m_Info.AddPort(hAny0), m_Info.AddPort(hAny2), m_Info.AddPort(hAny0)}),
              (std::vector<int>{0, 1, 0})) << "a known port keeps its number";
    TestScopeOwner scopeOwner;
    ScopeHandle hScope = scopeOwner.AddScope(std::make_unique<Scope>("Timed Scope"));
    ScopeHandle hOther = scopeOwner.AddScope(std::make_unique<Scope>("Other"));
    EXPECT_EQ(m_Info.AddScope(hScope), 0);
    Serializer writer = Writer();
    for (auto [szKey, hPort] : {std::pair<const char*, FloatHandle>{"hKnown", h2}, {"hUnknown", h1}, {"hNone", {}}})
        writer.Serialize(szKey, hPort);
    for (auto [szKey, hAnyScope] : {std::pair<const char*, ScopeHandle>{"hScope", hScope}, {"hOther", hOther}})
        writer.Serialize(szKey, hAnyScope);
    EXPECT_EQ(Xml(m_pRoot), "<Filter><hKnown PortID=\"1\" /><hUnknown PortID=\"-1\" /><hNone PortID=\"-1\" />"
                            "<hScope ScopeID=\"0\" /><hOther ScopeID=\"-1\" /></Filter>");
    EXPECT_EQ(std::make_tuple(m_Info.m_PortToID.at(hAny1), m_Info.m_PortToID.at(PortHandle<Port>()),
                              m_Info.m_ScopeToID.at(hOther), m_Info.m_IDToPort.size()), std::make_tuple(-1, -1, -1, 2u))
        << "unknown handles are entered under -1, which is no number of the save";
    EXPECT_EQ(Thrown(false, [&] { writer.Serialize("hKnown", h0); }), "HasNodeElement( strName ) == IsReader()");
    EXPECT_EQ(Thrown(false, [&] { writer.Serialize("hScope", hScope); }), "HasNodeElement( strName ) == IsReader()");
    EXPECT_EQ(m_Info.AddPort(hAny1), 2) << "a port entered with -1 gets a real number later";
    Serializer reader = Reader(Reparse());
    FloatHandle hRead;
    ScopeHandle hReadScope;
    reader.Serialize("hKnown", hRead);
    reader.Serialize("hScope", hReadScope);
    EXPECT_EQ(std::make_tuple(hRead.GetIndex(), hRead.GetOwner(), hRead.Get()),
              std::make_tuple(h2.GetIndex(), static_cast<PortOwner*>(&owner), h2.Get()));
    EXPECT_EQ(std::make_tuple(hReadScope, hReadScope.Get()->GetName()), std::make_tuple(hScope, "Timed Scope"));
    EXPECT_EQ(Thrown(false, [&] { reader.Serialize("hOther", hReadScope); }), "hMap != m_pSaveInfo->m_IDToScope.end()");
    // -1 is a none handle whatever the map holds, even an entry under -1; so are unknown and broken numbers.
    m_Info.m_IDToPort[-1] = hAny0;
    reader = Reader(Load("<Filter><hMinusOne PortID=\"-1\"/><hSeven PortID=\"7\"/><hWord PortID=\"x\"/>"
                         "<hNoId value=\"0\"/></Filter>"));
    for (const char* szKey : {"hMinusOne", "hSeven", "hWord"}) {
        FloatHandle hNoneRead = h0;
        reader.Serialize(szKey, hNoneRead);
        EXPECT_TRUE(hNoneRead.IsNone()) << szKey;
    }
    const std::pair<const char*, const char*> missing[] = {{"hMissing", "Could not find matching xml node."},
                                                           {"hNoId", "Could not find matching value xml node."}};
    for (const auto& [szKey, szMessage] : missing) {
        EXPECT_EQ(Thrown(true, [&] { reader.Serialize(szKey, hRead); }), szMessage) << szKey;
        EXPECT_EQ(Thrown(true, [&] { reader.Serialize(szKey, hReadScope); }), szMessage) << szKey;
    }
    EXPECT_EQ(std::make_tuple(hRead, hReadScope), std::make_tuple(h2, hScope));
}

struct OuterSettings {
    float fScale = 0.0f;
    Settings inner;
    void Serialize(Serializer& s) { s.Serialize("fScale", fScale); s.Serialize("ShaderHelper", inner); }
};

struct FailingSettings {
    int iValue = 0;
    void Serialize(Serializer& s) { s.Serialize("iValue", iValue); throw std::logic_error("sub-object failed"); }
};

TEST_F(SerializerTest, SubObjectsNestAndAlwaysRestoreTheCurrentNode)
{
    OuterSettings written{2.0f, {3, 1.5f, "inner"}}, read;
    int iA = 9, iReadA = 0; // the same key as inside the sub-object, one level up
    FailingSettings failing{4};
    Serializer writer = Writer();
    writer.Serialize("Outer", written);
    writer.Serialize("iA", iA); // lands next to Outer only when the current node was restored
    EXPECT_EQ(Xml(m_pRoot), "<Filter><Outer><fScale value=\"2\" /><ShaderHelper><iA value=\"3\" /><fB value=\"1.5\" />"
                            "<strC value=\"inner\" /></ShaderHelper></Outer><iA value=\"9\" /></Filter>");
    EXPECT_EQ(Thrown(false, [&] { writer.Serialize("Outer", written); }),
              "serializer.HasNodeElement( strName ) == serializer.IsReader()");
    EXPECT_THROW(writer.Serialize("Failing", failing), std::logic_error);
    EXPECT_EQ(writer.GetCurrentNode(), m_pRoot);
    TiXmlElement* pReparsed = Reparse();
    Serializer reader = Reader(pReparsed);
    reader.Serialize("Outer", read);
    reader.Serialize("iA", iReadA);
    EXPECT_EQ(std::tie(read.fScale, read.inner.iA, read.inner.fB, read.inner.strC, iReadA),
              std::make_tuple(2.0f, 3, 1.5f, std::string("inner"), 9));
    EXPECT_EQ(Thrown(false, [&] { reader.Serialize("Missing", read); }), "pReadFrom");
    EXPECT_EQ(reader.GetCurrentNode(), pReparsed);
    // The current node as an element: a document is none.
    EXPECT_EQ(writer.GetCurrentElement(), m_pRoot);
    writer.SetCurrentNode(&m_Doc);
    EXPECT_EQ(ThrownMessage<Ondo::ExceptionXML>([&] { writer.GetCurrentElement(); }),
              "Could not get the XML Element of the current node.\n");
}

TEST_F(SerializerTest, SequencesWriteOneItemElementPerValueAndReadReplacesTheVectorWhole)
{
    TestOwner owner;
    const FloatHandle h0(owner.AddPort(FloatPort("a"))), h1(owner.AddPort(FloatPort("b")));
    for (const FloatHandle& hPort : {h0, h1}) m_Info.AddPort(PortHandle<Port>(hPort));
    std::vector<int> ints = {3, -1}, empty, readInts = {100, 200, 300, 400}, readEmpty = {5};
    std::vector<std::string> strings = {"<b>", ""}, readStrings = {"old"};
    std::vector<FloatHandle> handles = {h1, FloatHandle(), h0}, readHandles;
    Serializer writer = Writer();
    writer.Serialize("vInts", ints, "Item");
    writer.Serialize("vStrings", strings, "Item");
    writer.Serialize("vHandles", handles, "PortHandle");
    writer.Serialize("vEmpty", empty, "Item");
    EXPECT_EQ(writer.GetCurrentNode(), m_pRoot);
    EXPECT_EQ(Xml(m_pRoot), "<Filter><vInts><STL_Item><Item value=\"3\" /></STL_Item><STL_Item><Item value=\"-1\" />"
                            "</STL_Item></vInts><vStrings><STL_Item><Item value=\"&lt;b&gt;\" /></STL_Item><STL_Item>"
                            "<Item value=\"\" /></STL_Item></vStrings><vHandles><STL_Item><PortHandle PortID=\"1\" />"
                            "</STL_Item><STL_Item><PortHandle PortID=\"-1\" /></STL_Item><STL_Item>"
                            "<PortHandle PortID=\"0\" /></STL_Item></vHandles><vEmpty /></Filter>");
    EXPECT_EQ(Thrown(false, [&] { writer.Serialize("vInts", ints, "Item"); }),
              "HasNodeElement( GetCurrentNode(), strName ) == IsReader()");
    TiXmlElement* pReparsed = Reparse();
    Serializer reader = Reader(pReparsed);
    reader.Serialize("vInts", readInts, "Item");
    reader.Serialize("vStrings", readStrings, "Item");
    reader.Serialize("vHandles", readHandles, "PortHandle");
    reader.Serialize("vEmpty", readEmpty, "Item");
    EXPECT_EQ(std::tie(readInts, readStrings, readHandles, readEmpty), std::tie(ints, strings, handles, empty));
    EXPECT_EQ(Thrown(false, [&] { reader.Serialize("vMissing", readInts, "Item"); }), "pReadFrom");
    // An item that fails after one was read leaves the vector and the current node as they were.
    TiXmlNode* pLastItem = pReparsed->FirstChildElement("vInts")->LastChild("STL_Item");
    pLastItem->FirstChildElement("Item")->SetAttribute("value", "oops");
    for (bool bParsing : {true, false}) {
        std::vector<int> values = {9, 9, 9};
        const std::string strMessage = Thrown(bParsing, [&] { reader.Serialize("vInts", values, "Item"); });
        if (!bParsing) { EXPECT_EQ(strMessage, "pElem != nullptr"); }
        EXPECT_EQ(values, (std::vector<int>{9, 9, 9})) << strMessage;
        EXPECT_EQ(reader.GetCurrentNode(), pReparsed) << strMessage;
        pLastItem->Clear(); // next, the item element is missing
    }
}

} // namespace
