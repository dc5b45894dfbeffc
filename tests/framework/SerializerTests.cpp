#include "ExpectThrow.h"

#include "Ondo/Exceptions.h"
#include "Ondo/FlowGraph/Scope.h"
#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/FlowGraph/ValuePorts.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <cmath>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace Ondo::FlowGraph;
using Ondo::FlowGraph::Serialization::SaveInfo;
using Ondo::FlowGraph::Serialization::Serializer;
using OndoTest::ThrownMessage;

struct TestOwner : PortOwner {};

struct TestScopeOwner : ScopeOwner {
    std::shared_ptr<ScopeOwner> GetScopeOwnerSharedPtr() override { return nullptr; }
};

PortHandle<SimplePortT<float>> AddFloatPort(PortOwner& owner, const std::string& strLabel)
{
    PortHandle<SimplePortT<float>> hPort;
    owner.CreatePort(hPort, PortSettings{PortType::Input, strLabel, false});
    return hPort;
}

// Names of the child elements of a node, in document order.
std::vector<std::string> ChildNames(const TiXmlNode* pNode)
{
    std::vector<std::string> names;
    for (const TiXmlElement* pChild = pNode->FirstChildElement(); pChild; pChild = pChild->NextSiblingElement())
        names.emplace_back(pChild->Value());
    return names;
}

// The only attribute of an empty element, as "name=value".
std::string OnlyAttribute(const TiXmlNode* pParent, const char* szKey)
{
    const TiXmlElement* pElement = pParent->FirstChildElement(szKey);
    if (!pElement) return "<no element " + std::string(szKey) + ">";
    EXPECT_EQ(pElement->FirstChild(), nullptr) << szKey << " has children";
    const TiXmlAttribute* pAttribute = pElement->FirstAttribute();
    if (!pAttribute) return "<no attribute>";
    EXPECT_EQ(pAttribute->Next(), nullptr) << szKey << " has more than one attribute";
    return std::string(pAttribute->Name()) + "=" + pAttribute->Value();
}

class SerializerTest : public ::testing::Test {
protected:
    SerializerTest() { m_pRoot = m_Doc.LinkEndChild(new TiXmlElement("Filter"))->ToElement(); }

    Serializer Writer() { return Serializer(&m_Doc, m_pRoot, &m_Info); }
    Serializer Reader(TiXmlNode* pRoot = nullptr) { return Serializer(nullptr, pRoot ? pRoot : m_pRoot, &m_Info); }

    // Prints the written document and parses the text again, as a save
    // followed by a load does; returns the root of the parsed copy.
    TiXmlElement* Reparse()
    {
        TiXmlPrinter printer;
        m_Doc.Accept(&printer);
        m_Reparsed.Parse(printer.CStr());
        EXPECT_FALSE(m_Reparsed.Error()) << m_Reparsed.ErrorDesc() << "\n" << printer.CStr();
        return m_Reparsed.RootElement();
    }

    // Parses a hand-written document and returns its root element.
    TiXmlElement* Load(const char* szXml)
    {
        m_Loaded.Parse(szXml);
        EXPECT_FALSE(m_Loaded.Error()) << m_Loaded.ErrorDesc();
        return m_Loaded.RootElement();
    }

    TiXmlDocument m_Doc;
    TiXmlDocument m_Reparsed;
    TiXmlDocument m_Loaded;
    TiXmlElement* m_pRoot = nullptr;
    SaveInfo m_Info;
};

TEST_F(SerializerTest, PlainValuesAreWrittenAsValueAttributesInCallOrderAndReadBack)
{
    Serializer writer = Writer();
    EXPECT_FALSE(writer.IsReader());
    bool bOn = true, bOff = false;
    int iNegative = -42;
    unsigned int uiLarge = 4000000000u;
    float fPi = 3.14159274f, fSmall = 1e-7f;
    double dTenth = 0.1, dLarge = 123456789.0;
    std::string strText = "plain text";
    writer.Serialize("bOn", bOn);
    writer.Serialize("bOff", bOff);
    writer.Serialize("iNegative", iNegative);
    writer.Serialize("uiLarge", uiLarge);
    writer.Serialize("fPi", fPi);
    writer.Serialize("fSmall", fSmall);
    writer.Serialize("dTenth", dTenth);
    writer.Serialize("dLarge", dLarge);
    writer.Serialize("strText", strText);

    EXPECT_EQ(ChildNames(m_pRoot), (std::vector<std::string>{"bOn", "bOff", "iNegative", "uiLarge", "fPi", "fSmall",
                                                             "dTenth", "dLarge", "strText"}));
    EXPECT_EQ(OnlyAttribute(m_pRoot, "bOn"), "value=1");
    EXPECT_EQ(OnlyAttribute(m_pRoot, "bOff"), "value=0");
    EXPECT_EQ(OnlyAttribute(m_pRoot, "iNegative"), "value=-42");
    EXPECT_EQ(OnlyAttribute(m_pRoot, "uiLarge"), "value=4000000000");
    EXPECT_EQ(OnlyAttribute(m_pRoot, "fPi"), "value=3.14159");
    EXPECT_EQ(OnlyAttribute(m_pRoot, "fSmall"), "value=1e-07");
    EXPECT_EQ(OnlyAttribute(m_pRoot, "dTenth"), "value=0.1");
    EXPECT_EQ(OnlyAttribute(m_pRoot, "dLarge"), "value=1.23457e+08");
    EXPECT_EQ(OnlyAttribute(m_pRoot, "strText"), "value=plain text");

    Serializer reader = Reader(Reparse());
    EXPECT_TRUE(reader.IsReader());
    bool bReadOn = false, bReadOff = true;
    int iRead = 0;
    unsigned int uiRead = 0;
    float fReadPi = 0.0f, fReadSmall = 0.0f;
    double dReadTenth = 0.0, dReadLarge = 0.0;
    std::string strRead;
    reader.Serialize("bOn", bReadOn);
    reader.Serialize("bOff", bReadOff);
    reader.Serialize("iNegative", iRead);
    reader.Serialize("uiLarge", uiRead);
    reader.Serialize("fPi", fReadPi);
    reader.Serialize("fSmall", fReadSmall);
    reader.Serialize("dTenth", dReadTenth);
    reader.Serialize("dLarge", dReadLarge);
    reader.Serialize("strText", strRead);
    EXPECT_TRUE(bReadOn);
    EXPECT_FALSE(bReadOff);
    EXPECT_EQ(iRead, -42);
    EXPECT_EQ(uiRead, 4000000000u);
    EXPECT_EQ(fReadPi, 3.14159f); // six digits: the stored value is rounded
    EXPECT_EQ(fReadSmall, 1e-7f);
    EXPECT_EQ(dReadTenth, 0.1);
    EXPECT_EQ(dReadLarge, 123457000.0);
    EXPECT_EQ(strRead, "plain text");
}

TEST_F(SerializerTest, InfinitiesAndNanRoundTrip)
{
    Serializer writer = Writer();
    float fInf = std::numeric_limits<float>::infinity(), fMinusInf = -fInf;
    float fNan = std::numeric_limits<float>::quiet_NaN();
    double dInf = std::numeric_limits<double>::infinity(), dNan = std::numeric_limits<double>::quiet_NaN();
    writer.Serialize("fInf", fInf);
    writer.Serialize("fMinusInf", fMinusInf);
    writer.Serialize("fNan", fNan);
    writer.Serialize("dInf", dInf);
    writer.Serialize("dNan", dNan);

    Serializer reader = Reader(Reparse());
    float fA = 0.0f, fB = 0.0f, fC = 0.0f;
    double dA = 0.0, dB = 0.0;
    reader.Serialize("fInf", fA);
    reader.Serialize("fMinusInf", fB);
    reader.Serialize("fNan", fC);
    reader.Serialize("dInf", dA);
    reader.Serialize("dNan", dB);
    EXPECT_TRUE(std::isinf(fA) && fA > 0.0f);
    EXPECT_TRUE(std::isinf(fB) && fB < 0.0f);
    EXPECT_TRUE(std::isnan(fC));
    EXPECT_TRUE(std::isinf(dA) && dA > 0.0);
    EXPECT_TRUE(std::isnan(dB));
}

TEST_F(SerializerTest, WritingAPlainKeyTwiceThrowsAndKeepsTheFirst)
{
    Serializer writer = Writer();
    int iFirst = 1, iSecond = 2;
    std::string strValue = "x";
    bool bValue = true;
    writer.Serialize("iKey", iFirst);
    EXPECT_EQ(ThrownMessage<std::runtime_error>([&] { writer.Serialize("iKey", iSecond); }), "!HasNodeElement( strName )");
    EXPECT_EQ(ThrownMessage<std::runtime_error>([&] { writer.Serialize("iKey", strValue); }),
              "!HasNodeElement( strName )");
    EXPECT_EQ(ThrownMessage<std::runtime_error>([&] { writer.Serialize("iKey", bValue); }), "!HasNodeElement( strName )");
    EXPECT_EQ(ChildNames(m_pRoot), std::vector<std::string>{"iKey"});
    EXPECT_EQ(OnlyAttribute(m_pRoot, "iKey"), "value=1");
}

TEST_F(SerializerTest, ReadingMissingOrUnparsablePlainValuesThrowsAndLeavesTheMember)
{
    Serializer reader = Reader(Load("<Filter><iNoValue other=\"1\"/><sNoValue/>"
                                    "<iWord value=\"abc\"/><iTrailing value=\"1.5x\"/><iHuge value=\"99999999999\"/>"
                                    "<iEmpty value=\"\"/><uiNegative value=\"-1\"/><fWord value=\"abc\"/>"
                                    "<fTrailing value=\"1.5x\"/><dWord value=\"x1\"/><bTwo value=\"2\"/>"
                                    "<bWord value=\"yes\"/></Filter>"));
    int iValue = 17;
    unsigned int uiValue = 17u;
    float fValue = 1.25f;
    double dValue = 2.5;
    bool bValue = true;
    std::string strValue = "kept";

    EXPECT_EQ(ThrownMessage<std::runtime_error>([&] { reader.Serialize("iMissing", iValue); }), "pElem != nullptr");
    EXPECT_EQ(ThrownMessage<std::runtime_error>([&] { reader.Serialize("uiMissing", uiValue); }), "pElem != nullptr");
    EXPECT_EQ(ThrownMessage<std::runtime_error>([&] { reader.Serialize("fMissing", fValue); }), "pElem != nullptr");
    EXPECT_EQ(ThrownMessage<std::runtime_error>([&] { reader.Serialize("dMissing", dValue); }), "pElem != nullptr");
    EXPECT_EQ(ThrownMessage<std::runtime_error>([&] { reader.Serialize("bMissing", bValue); }), "pElem != nullptr");
    EXPECT_EQ(ThrownMessage<std::runtime_error>([&] { reader.Serialize("iNoValue", iValue); }), "pStr != nullptr");

    for (const char* szKey : {"iWord", "iTrailing", "iHuge", "iEmpty"})
        ThrownMessage<Ondo::ExceptionParsing>([&] { reader.Serialize(szKey, iValue); });
    ThrownMessage<Ondo::ExceptionParsing>([&] { reader.Serialize("uiNegative", uiValue); });
    for (const char* szKey : {"fWord", "fTrailing"})
        ThrownMessage<Ondo::ExceptionParsing>([&] { reader.Serialize(szKey, fValue); });
    ThrownMessage<Ondo::ExceptionParsing>([&] { reader.Serialize("dWord", dValue); });
    for (const char* szKey : {"bTwo", "bWord"})
        ThrownMessage<Ondo::ExceptionParsing>([&] { reader.Serialize(szKey, bValue); });

    EXPECT_EQ(ThrownMessage<Ondo::ExceptionParsing>([&] { reader.Serialize("strMissing", strValue); }),
              "Could not find matching xml node: strMissing\n");
    EXPECT_EQ(ThrownMessage<Ondo::ExceptionParsing>([&] { reader.Serialize("sNoValue", strValue); }),
              "Could not find matching value xml node.");

    EXPECT_EQ(iValue, 17);
    EXPECT_EQ(uiValue, 17u);
    EXPECT_EQ(fValue, 1.25f);
    EXPECT_EQ(dValue, 2.5);
    EXPECT_TRUE(bValue);
    EXPECT_EQ(strValue, "kept");
}

TEST_F(SerializerTest, StringsWithMarkupAndLineBreaksSurviveASavedDocument)
{
    const std::vector<std::string> texts = {"a<b>&c\"d'e", "first line\nsecond line\n\tindented", "  padded  ",
                                            "", "&amp; is not decoded twice"};
    Serializer writer = Writer();
    for (std::size_t i = 0; i < texts.size(); ++i) {
        std::string strValue = texts[i];
        writer.Serialize("str" + std::to_string(i), strValue);
    }
    Serializer reader = Reader(Reparse());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        std::string strRead = "junk";
        reader.Serialize("str" + std::to_string(i), strRead);
        EXPECT_EQ(strRead, texts[i]);
    }
}

TEST_F(SerializerTest, WideStringsAreStoredAsUtf8)
{
    Serializer writer = Writer();
    std::wstring strGreeting = L"Gr\u00FC\u00DFe \u2713 \U0001F600", strEmpty;
    writer.Serialize("strGreeting", strGreeting);
    writer.Serialize("strEmpty", strEmpty);
    EXPECT_EQ(OnlyAttribute(m_pRoot, "strGreeting"), "value=Gr\xC3\xBC\xC3\x9F" "e \xE2\x9C\x93 \xF0\x9F\x98\x80");
    EXPECT_EQ(OnlyAttribute(m_pRoot, "strEmpty"), "value=");
    EXPECT_EQ(ThrownMessage<std::runtime_error>([&] { writer.Serialize("strGreeting", strGreeting); }),
              "HasNodeElement( strName ) == IsReader()");

    for (wchar_t cInvalid : {static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000)}) {
        std::wstring strInvalid = L"ok";
        strInvalid += cInvalid;
        EXPECT_EQ(ThrownMessage<Ondo::ExceptionParsing>([&] { writer.Serialize("strInvalid", strInvalid); }),
                  "Could not convert from std::wstring to const char* (UTF8).");
        EXPECT_FALSE(writer.HasNodeElement("strInvalid"));
    }

    Serializer reader = Reader(Reparse());
    std::wstring strRead = L"junk", strReadEmpty = L"junk";
    reader.Serialize("strGreeting", strRead);
    reader.Serialize("strEmpty", strReadEmpty);
    EXPECT_EQ(strRead, strGreeting);
    EXPECT_EQ(strReadEmpty, L"");

    TiXmlElement* pBroken = m_pRoot->LinkEndChild(new TiXmlElement("strBroken"))->ToElement();
    pBroken->SetAttribute("value", "ab\xC3\x28");
    m_pRoot->LinkEndChild(new TiXmlElement("strNoValue"));
    Serializer brokenReader = Reader();
    std::wstring strKept = L"kept";
    const std::string strMessage =
        ThrownMessage<Ondo::ExceptionParsing>([&] { brokenReader.Serialize("strBroken", strKept); });
    const std::string strPrefix = "Could not convert from const char* (UTF8) to std::wstring.\n";
    EXPECT_EQ(strMessage.substr(0, strPrefix.size()), strPrefix);
    EXPECT_GT(strMessage.size(), strPrefix.size() + 1) << "the converter's own message is missing";
    EXPECT_EQ(strMessage.back(), '\n');
    EXPECT_EQ(ThrownMessage<Ondo::ExceptionParsing>([&] { brokenReader.Serialize("strMissing", strKept); }),
              "Could not find matching xml node.");
    EXPECT_EQ(ThrownMessage<Ondo::ExceptionParsing>([&] { brokenReader.Serialize("strNoValue", strKept); }),
              "Could not find matching value xml node.");
    EXPECT_EQ(strKept, L"kept");
}

TEST_F(SerializerTest, PortHandlesAreWrittenAsNumbersOfTheSaveInfo)
{
    TestOwner owner;
    auto h0 = AddFloatPort(owner, "a");
    auto h1 = AddFloatPort(owner, "b");
    auto h2 = AddFloatPort(owner, "c");
    const PortHandle<Port> hAny0(h0), hAny1(h1), hAny2(h2);
    EXPECT_EQ(m_Info.AddPort(hAny0), 0);
    EXPECT_EQ(m_Info.AddPort(hAny2), 1);
    EXPECT_EQ(m_Info.AddPort(hAny0), 0) << "a known port keeps its number";

    Serializer writer = Writer();
    PortHandle<SimplePortT<float>> hNone;
    writer.Serialize("hKnown", h2);
    writer.Serialize("hUnknown", h1);
    writer.Serialize("hNone", hNone);
    EXPECT_EQ(OnlyAttribute(m_pRoot, "hKnown"), "PortID=1");
    EXPECT_EQ(OnlyAttribute(m_pRoot, "hUnknown"), "PortID=-1");
    EXPECT_EQ(OnlyAttribute(m_pRoot, "hNone"), "PortID=-1");
    EXPECT_EQ(m_Info.m_PortToID.at(hAny1), -1);
    EXPECT_EQ(m_Info.m_PortToID.at(PortHandle<Port>()), -1);
    EXPECT_EQ(m_Info.m_IDToPort.size(), 2u) << "entries under -1 are not numbers of the save";
    EXPECT_EQ(ThrownMessage<std::runtime_error>([&] { writer.Serialize("hKnown", h0); }),
              "HasNodeElement( strName ) == IsReader()");
    EXPECT_EQ(m_Info.AddPort(hAny1), 2) << "a port entered with -1 gets a real number later";

    Serializer reader = Reader(Reparse());
    PortHandle<SimplePortT<float>> hRead, hReadNone = h0, hReadUnknown = h0;
    reader.Serialize("hKnown", hRead);
    reader.Serialize("hNone", hReadNone);
    reader.Serialize("hUnknown", hReadUnknown);
    EXPECT_EQ(hRead.GetIndex(), h2.GetIndex());
    EXPECT_EQ(hRead.GetOwner(), &owner);
    EXPECT_EQ(hRead.Get(), h2.Get());
    EXPECT_TRUE(hReadNone.IsNone());
    EXPECT_TRUE(hReadUnknown.IsNone());
}

TEST_F(SerializerTest, ReadingPortHandlesHandlesMinusOneUnknownAndBrokenNumbers)
{
    TestOwner owner;
    auto h0 = AddFloatPort(owner, "a");
    TiXmlElement* pRoot = Load("<Filter><hMinusOne PortID=\"-1\"/><hSeven PortID=\"7\"/><hWord PortID=\"x\"/>"
                               "<hNoId value=\"0\"/></Filter>");
    auto ReadsAsNone = [&](const char* szKey) {
        PortHandle<SimplePortT<float>> hRead = h0;
        Serializer(nullptr, pRoot, &m_Info).Serialize(szKey, hRead);
        return hRead.IsNone();
    };

    // -1 is a none handle whatever the map holds, even an entry under -1.
    EXPECT_TRUE(ReadsAsNone("hMinusOne"));
    m_Info.m_IDToPort[-1] = PortHandle<Port>(h0);
    m_Info.m_IDToPort[7] = PortHandle<Port>(h0);
    EXPECT_TRUE(ReadsAsNone("hMinusOne"));
    m_Info.m_IDToPort.erase(7);
    EXPECT_TRUE(ReadsAsNone("hSeven"));
    EXPECT_TRUE(ReadsAsNone("hWord"));

    PortHandle<SimplePortT<float>> hKept = h0;
    Serializer reader(nullptr, pRoot, &m_Info);
    EXPECT_EQ(ThrownMessage<Ondo::ExceptionParsing>([&] { reader.Serialize("hMissing", hKept); }),
              "Could not find matching xml node.");
    EXPECT_EQ(ThrownMessage<Ondo::ExceptionParsing>([&] { reader.Serialize("hNoId", hKept); }),
              "Could not find matching value xml node.");
    EXPECT_EQ(hKept, h0);
}

TEST_F(SerializerTest, ScopeHandlesAreWrittenAsScopeIds)
{
    TestScopeOwner owner;
    ScopeHandle hScope = owner.AddScope(std::make_unique<Scope>("Timed Scope"));
    ScopeHandle hOther = owner.AddScope(std::make_unique<Scope>("Other"));
    EXPECT_EQ(m_Info.AddScope(hScope), 0);

    Serializer writer = Writer();
    writer.Serialize("hScope", hScope);
    writer.Serialize("hOther", hOther);
    EXPECT_EQ(OnlyAttribute(m_pRoot, "hScope"), "ScopeID=0");
    EXPECT_EQ(OnlyAttribute(m_pRoot, "hOther"), "ScopeID=-1");
    EXPECT_EQ(m_Info.m_ScopeToID.at(hOther), -1);
    EXPECT_EQ(ThrownMessage<std::runtime_error>([&] { writer.Serialize("hScope", hScope); }),
              "HasNodeElement( strName ) == IsReader()");

    m_pRoot->LinkEndChild(new TiXmlElement("hNoId"));
    Serializer reader = Reader();
    ScopeHandle hRead;
    reader.Serialize("hScope", hRead);
    EXPECT_EQ(hRead, hScope);
    EXPECT_EQ(hRead.Get()->GetName(), "Timed Scope");
    EXPECT_EQ(ThrownMessage<std::runtime_error>([&] { reader.Serialize("hOther", hRead); }),
              "hMap != m_pSaveInfo->m_IDToScope.end()");
    EXPECT_EQ(ThrownMessage<Ondo::ExceptionParsing>([&] { reader.Serialize("hMissing", hRead); }),
              "Could not find matching xml node.");
    EXPECT_EQ(ThrownMessage<Ondo::ExceptionParsing>([&] { reader.Serialize("hNoId", hRead); }),
              "Could not find matching value xml node.");
    EXPECT_EQ(hRead, hScope);
}

struct InnerSettings {
    int iCount = 0;
    std::string strName;
    void Serialize(Serializer& serializer)
    {
        serializer.Serialize("iCount", iCount);
        serializer.Serialize("strName", strName);
    }
};

struct OuterSettings {
    float fScale = 0.0f;
    InnerSettings inner;
    void Serialize(Serializer& serializer)
    {
        serializer.Serialize("fScale", fScale);
        serializer.Serialize("ShaderHelper", inner);
    }
};

// Serializes one member, then fails.
struct FailingSettings {
    int iValue = 0;
    void Serialize(Serializer& serializer)
    {
        serializer.Serialize("iValue", iValue);
        throw std::logic_error("sub-object failed");
    }
};

TEST_F(SerializerTest, SubObjectsNestAndAlwaysRestoreTheCurrentNode)
{
    OuterSettings written;
    written.fScale = 2.0f;
    written.inner = {3, "inner"};
    int iCount = 9; // the same key as inside the sub-object, one level up
    Serializer writer = Writer();
    writer.Serialize("Outer", written);
    EXPECT_EQ(writer.GetCurrentNode(), m_pRoot);
    writer.Serialize("iCount", iCount);
    EXPECT_EQ(ChildNames(m_pRoot), (std::vector<std::string>{"Outer", "iCount"}));
    const TiXmlElement* pOuter = m_pRoot->FirstChildElement("Outer");
    EXPECT_EQ(ChildNames(pOuter), (std::vector<std::string>{"fScale", "ShaderHelper"}));
    EXPECT_EQ(ChildNames(pOuter->FirstChildElement("ShaderHelper")), (std::vector<std::string>{"iCount", "strName"}));
    EXPECT_EQ(ThrownMessage<std::runtime_error>([&] { writer.Serialize("Outer", written); }),
              "serializer.HasNodeElement( strName ) == serializer.IsReader()");

    FailingSettings failing;
    failing.iValue = 4;
    EXPECT_THROW(writer.Serialize("Failing", failing), std::logic_error);
    EXPECT_EQ(writer.GetCurrentNode(), m_pRoot);

    TiXmlElement* pReparsed = Reparse();
    Serializer reader = Reader(pReparsed);
    OuterSettings read;
    int iReadCount = 0;
    reader.Serialize("Outer", read);
    EXPECT_EQ(reader.GetCurrentNode(), pReparsed);
    reader.Serialize("iCount", iReadCount);
    EXPECT_EQ(read.fScale, 2.0f);
    EXPECT_EQ(read.inner.iCount, 3);
    EXPECT_EQ(read.inner.strName, "inner");
    EXPECT_EQ(iReadCount, 9);

    failing.iValue = 0;
    EXPECT_THROW(reader.Serialize("Failing", failing), std::logic_error);
    EXPECT_EQ(failing.iValue, 4) << "what was read before the failure stays";
    EXPECT_EQ(reader.GetCurrentNode(), pReparsed);
    EXPECT_EQ(ThrownMessage<std::runtime_error>([&] { reader.Serialize("Missing", read); }), "pReadFrom");
    EXPECT_EQ(reader.GetCurrentNode(), pReparsed);
}

TEST_F(SerializerTest, SequencesWriteOneItemElementPerValueAndReadReplacesTheVector)
{
    TestOwner owner;
    auto h0 = AddFloatPort(owner, "a");
    auto h1 = AddFloatPort(owner, "b");
    m_Info.AddPort(PortHandle<Port>(h0));
    m_Info.AddPort(PortHandle<Port>(h1));

    std::vector<int> ints = {3, -1, 7};
    std::vector<std::string> strings = {"a", "<b>", ""};
    std::vector<PortHandle<SimplePortT<float>>> handles = {h1, PortHandle<SimplePortT<float>>(), h0};
    std::vector<int> empty;
    Serializer writer = Writer();
    writer.Serialize("vInts", ints, "Item");
    writer.Serialize("vStrings", strings, "Item");
    writer.Serialize("vHandles", handles, "PortHandle");
    writer.Serialize("vEmpty", empty, "Item");
    EXPECT_EQ(writer.GetCurrentNode(), m_pRoot);
    EXPECT_EQ(ChildNames(m_pRoot), (std::vector<std::string>{"vInts", "vStrings", "vHandles", "vEmpty"}));

    std::vector<std::string> itemTexts;
    for (const TiXmlElement* pItem = m_pRoot->FirstChildElement("vHandles")->FirstChildElement(); pItem;
         pItem = pItem->NextSiblingElement()) {
        EXPECT_STREQ(pItem->Value(), "STL_Item");
        EXPECT_EQ(ChildNames(pItem), std::vector<std::string>{"PortHandle"});
        itemTexts.push_back(OnlyAttribute(pItem, "PortHandle"));
    }
    EXPECT_EQ(itemTexts, (std::vector<std::string>{"PortID=1", "PortID=-1", "PortID=0"}));
    EXPECT_EQ(ChildNames(m_pRoot->FirstChildElement("vInts")), std::vector<std::string>(3, "STL_Item"));
    EXPECT_EQ(OnlyAttribute(m_pRoot->FirstChildElement("vInts")->FirstChildElement("STL_Item"), "Item"), "value=3");
    EXPECT_EQ(m_pRoot->FirstChildElement("vEmpty")->FirstChild(), nullptr);
    EXPECT_EQ(ThrownMessage<std::runtime_error>([&] { writer.Serialize("vInts", ints, "Item"); }),
              "HasNodeElement( GetCurrentNode(), strName ) == IsReader()");

    Serializer reader = Reader(Reparse());
    std::vector<int> readInts = {100, 200, 300, 400};
    std::vector<std::string> readStrings = {"old"};
    std::vector<PortHandle<SimplePortT<float>>> readHandles;
    std::vector<int> readEmpty = {5};
    reader.Serialize("vInts", readInts, "Item");
    reader.Serialize("vStrings", readStrings, "Item");
    reader.Serialize("vHandles", readHandles, "PortHandle");
    reader.Serialize("vEmpty", readEmpty, "Item");
    EXPECT_EQ(readInts, ints);
    EXPECT_EQ(readStrings, strings);
    EXPECT_EQ(readHandles, handles);
    EXPECT_TRUE(readEmpty.empty());
    EXPECT_EQ(ThrownMessage<std::runtime_error>([&] { reader.Serialize("vMissing", readInts, "Item"); }),
              "pReadFrom");
}

TEST_F(SerializerTest, ASequenceItemThatFailsLeavesTheVectorAndTheCurrentNode)
{
    TiXmlElement* pRoot = Load("<Filter><vBadText><STL_Item><Item value=\"1\"/></STL_Item>"
                               "<STL_Item><Item value=\"oops\"/></STL_Item></vBadText>"
                               "<vNoItem><STL_Item><Item value=\"1\"/></STL_Item><STL_Item/></vNoItem></Filter>");
    Serializer reader = Reader(pRoot);
    std::vector<int> values = {9, 9};
    ThrownMessage<Ondo::ExceptionParsing>([&] { reader.Serialize("vBadText", values, "Item"); });
    EXPECT_EQ(values, (std::vector<int>{9, 9}));
    EXPECT_EQ(reader.GetCurrentNode(), pRoot);
    EXPECT_EQ(ThrownMessage<std::runtime_error>([&] { reader.Serialize("vNoItem", values, "Item"); }),
              "pElem != nullptr");
    EXPECT_EQ(values, (std::vector<int>{9, 9}));
    EXPECT_EQ(reader.GetCurrentNode(), pRoot);
}

TEST_F(SerializerTest, CurrentElementMustBeAnElement)
{
    EXPECT_EQ(Writer().GetCurrentElement(), m_pRoot);
    Serializer onDocument(&m_Doc, &m_Doc, &m_Info);
    EXPECT_EQ(ThrownMessage<Ondo::ExceptionXML>([&] { onDocument.GetCurrentElement(); }),
              "Could not get the XML Element of the current node.\n");
}

struct ThreeMembers {
    int iFirst = 0;
    float fSecond = 0.5f;
    int iThird = 0;
    void Serialize(Serializer& serializer)
    {
        serializer.Serialize("iFirst", iFirst);
        serializer.Serialize("fSecond", fSecond);
        serializer.Serialize("iThird", iThird);
    }
};

TEST_F(SerializerTest, AFailedReadKeepsEarlierMembersAndLeavesLaterOnes)
{
    Serializer reader =
        Reader(Load("<Filter><iFirst value=\"5\"/><fSecond value=\"bad\"/><iThird value=\"7\"/></Filter>"));
    ThreeMembers members;
    ThrownMessage<Ondo::ExceptionParsing>([&] { members.Serialize(reader); });
    EXPECT_EQ(members.iFirst, 5);
    EXPECT_EQ(members.fSecond, 0.5f);
    EXPECT_EQ(members.iThird, 0);
}

TEST_F(SerializerTest, MalformedXmlIsReportedByTheDocumentAndReadingFindsNothing)
{
    for (const char* szXml : {"<Filter><iA value=\"1\"></Filter>", "<Filter", "<Filter><iA value=\"1/></Filter>",
                              "<Filter><iA value=\"1\"/>", "\xFF\xFE<<>>", "<Filter><!-- open"}) {
        TiXmlDocument doc;
        doc.Parse(szXml);
        EXPECT_TRUE(doc.Error()) << szXml;
        EXPECT_STRNE(doc.ErrorDesc(), "") << szXml;
    }

    TiXmlElement emptyRoot("Filter");
    Serializer reader(nullptr, &emptyRoot, &m_Info);
    int iValue = 0;
    std::string strValue;
    std::wstring strWide;
    PortHandle<Port> hPort;
    InnerSettings inner;
    std::vector<int> values;
    EXPECT_EQ(ThrownMessage<std::runtime_error>([&] { reader.Serialize("iA", iValue); }), "pElem != nullptr");
    ThrownMessage<Ondo::ExceptionParsing>([&] { reader.Serialize("strA", strValue); });
    ThrownMessage<Ondo::ExceptionParsing>([&] { reader.Serialize("strA", strWide); });
    ThrownMessage<Ondo::ExceptionParsing>([&] { reader.Serialize("hA", hPort); });
    EXPECT_EQ(ThrownMessage<std::runtime_error>([&] { reader.Serialize("A", inner); }), "pReadFrom");
    EXPECT_EQ(ThrownMessage<std::runtime_error>([&] { reader.Serialize("vA", values, "Item"); }), "pReadFrom");
}

} // namespace
