#include "Ondo/FlowGraph/Serializer.h"

#include "Ondo/Exceptions.h"
#include "Ondo/FlowGraph/Port.h"
#include "Ondo/FlowGraph/Scope.h"
#include "Ondo/StringConversion.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>
#include <sstream>
#include <stdexcept>

namespace Ondo::FlowGraph::Serialization {

namespace {

template <class T>
std::string ToText(const T& value)
{
    std::ostringstream stream;
    stream << value;
    return stream.str();
}

bool IsBlank(const char* szText)
{
    for (; *szText; ++szText)
        if (!std::isspace(static_cast<unsigned char>(*szText))) return false;
    return true;
}

[[noreturn]] void ThrowUnparsable(const std::string& strName, const char* szText, const char* szType)
{
    throw ExceptionParsing("Could not parse \"" + std::string(szText) + "\" as " + szType +
                           " in xml node: " + strName + "\n");
}

// Stream extraction of the whole text; anything but trailing white space
// left over, or a failed extraction, is an error.
template <class T>
T ParseWhole(const std::string& strName, const char* szText, const char* szType)
{
    std::istringstream stream(szText);
    T value{};
    stream >> value;
    if (stream.fail()) ThrowUnparsable(strName, szText, szType);
    std::string strRest;
    std::getline(stream, strRest, '\0');
    if (!IsBlank(strRest.c_str())) ThrowUnparsable(strName, szText, szType);
    return value;
}

// Stream insertion writes infinities and NaN as "inf", "-inf" and "nan",
// which stream extraction does not take back; read them here so that every
// float that was written can be read.
template <class T>
T ParseReal(const std::string& strName, const char* szText, const char* szType)
{
    std::string strTrimmed(szText);
    strTrimmed.erase(0, strTrimmed.find_first_not_of(" \t\r\n"));
    strTrimmed.erase(strTrimmed.find_last_not_of(" \t\r\n") + 1);
    if (strTrimmed == "inf" || strTrimmed == "+inf") return std::numeric_limits<T>::infinity();
    if (strTrimmed == "-inf") return -std::numeric_limits<T>::infinity();
    if (strTrimmed == "nan" || strTrimmed == "-nan") return std::numeric_limits<T>::quiet_NaN();
    return ParseWhole<T>(strName, szText, szType);
}

int ParseIdOrNone(const char* szText)
{
    std::istringstream stream(szText);
    int iId = -1;
    if (!(stream >> iId)) return -1;
    return iId;
}

} // namespace

int SaveInfo::AddPort(const PortHandle<Port>& hPort)
{
    const auto it = m_PortToID.find(hPort);
    if (it != m_PortToID.end() && it->second >= 0) return it->second;
    const int iId = m_IDToPort.empty() ? 0 : m_IDToPort.rbegin()->first + 1;
    m_PortToID[hPort] = iId;
    m_IDToPort[iId] = hPort;
    return iId;
}

int SaveInfo::AddScope(const ScopeHandle& hScope)
{
    const auto it = m_ScopeToID.find(hScope);
    if (it != m_ScopeToID.end() && it->second >= 0) return it->second;
    const int iId = m_IDToScope.empty() ? 0 : m_IDToScope.rbegin()->first + 1;
    m_ScopeToID[hScope] = iId;
    m_IDToScope[iId] = hScope;
    return iId;
}

Serializer::Serializer(TiXmlDocument* pWriterDocument, TiXmlNode* pCurrentNode, SaveInfo* pSaveInfo)
    : m_pWriterDocument(pWriterDocument), m_pCurrentNode(pCurrentNode), m_pSaveInfo(pSaveInfo)
{
}

bool Serializer::HasNodeElement(const TiXmlNode* pNode, const std::string& strName)
{
    return pNode != nullptr && pNode->FirstChildElement(strName.c_str()) != nullptr;
}

TiXmlElement* Serializer::GetCurrentElement() const
{
    TiXmlElement* pElement = m_pCurrentNode ? m_pCurrentNode->ToElement() : nullptr;
    if (!pElement) throw ExceptionXML("Could not get the XML Element of the current node.\n");
    return pElement;
}

TiXmlElement* Serializer::AppendElement(const std::string& strName)
{
    if (!m_pCurrentNode) throw ExceptionXML("Could not get the XML Element of the current node.\n");
    return m_pCurrentNode->LinkEndChild(new TiXmlElement(strName.c_str()))->ToElement();
}

void Serializer::WriteText(const std::string& strName, const std::string& strText)
{
    if (HasNodeElement(strName)) throw std::runtime_error("!HasNodeElement( strName )");
    AppendElement(strName)->SetAttribute("value", strText.c_str());
}

void Serializer::Write(const std::string& strName, bool bValue) { WriteText(strName, ToText(bValue)); }
void Serializer::Write(const std::string& strName, int iValue) { WriteText(strName, ToText(iValue)); }
void Serializer::Write(const std::string& strName, unsigned int uiValue) { WriteText(strName, ToText(uiValue)); }
void Serializer::Write(const std::string& strName, float fValue) { WriteText(strName, ToText(fValue)); }
void Serializer::Write(const std::string& strName, double dValue) { WriteText(strName, ToText(dValue)); }
void Serializer::Write(const std::string& strName, const std::string& strValue) { WriteText(strName, strValue); }

const char* Serializer::ReadNumberText(const std::string& strName) const
{
    const TiXmlElement* pElem = m_pCurrentNode ? m_pCurrentNode->FirstChildElement(strName.c_str()) : nullptr;
    if (pElem == nullptr) throw std::runtime_error("pElem != nullptr");
    const char* pStr = pElem->Attribute("value");
    if (pStr == nullptr) throw std::runtime_error("pStr != nullptr");
    return pStr;
}

void Serializer::Read(const std::string& strName, bool& bValue) const
{
    bValue = ParseWhole<bool>(strName, ReadNumberText(strName), "bool");
}

void Serializer::Read(const std::string& strName, int& iValue) const
{
    iValue = ParseWhole<int>(strName, ReadNumberText(strName), "int");
}

void Serializer::Read(const std::string& strName, unsigned int& uiValue) const
{
    const char* szText = ReadNumberText(strName);
    // Stream extraction would wrap "-1" around to the largest value.
    if (std::strchr(szText, '-')) ThrowUnparsable(strName, szText, "unsigned int");
    uiValue = ParseWhole<unsigned int>(strName, szText, "unsigned int");
}

void Serializer::Read(const std::string& strName, float& fValue) const
{
    fValue = ParseReal<float>(strName, ReadNumberText(strName), "float");
}

void Serializer::Read(const std::string& strName, double& dValue) const
{
    dValue = ParseReal<double>(strName, ReadNumberText(strName), "double");
}

void Serializer::Read(const std::string& strName, std::string& strValue) const
{
    const TiXmlElement* pElem = m_pCurrentNode ? m_pCurrentNode->FirstChildElement(strName.c_str()) : nullptr;
    if (pElem == nullptr) throw ExceptionParsing("Could not find matching xml node: " + strName + "\n");
    const char* pStr = pElem->Attribute("value");
    if (pStr == nullptr) throw ExceptionParsing("Could not find matching value xml node.");
    strValue = pStr;
}

void Serializer::Serialize(const std::string& strName, std::wstring& strValue)
{
    if (HasNodeElement(strName) != IsReader()) {
        if (IsReader()) throw ExceptionParsing("Could not find matching xml node.");
        throw std::runtime_error("HasNodeElement( strName ) == IsReader()");
    }
    if (!IsReader()) {
        std::string strUtf8;
        try {
            strUtf8 = WideToUtf8(strValue);
        } catch (const std::range_error&) {
            throw ExceptionParsing("Could not convert from std::wstring to const char* (UTF8).");
        }
        AppendElement(strName)->SetAttribute("value", strUtf8.c_str());
        return;
    }
    const char* pStr = m_pCurrentNode->FirstChildElement(strName.c_str())->Attribute("value");
    if (pStr == nullptr) throw ExceptionParsing("Could not find matching value xml node.");
    try {
        strValue = Utf8ToWide(pStr);
    } catch (const std::range_error& error) {
        throw ExceptionParsing(std::string("Could not convert from const char* (UTF8) to std::wstring.\n") +
                               error.what() + "\n");
    }
}

const char* Serializer::BeginHandle(const std::string& strName, const char* szAttribute)
{
    if (HasNodeElement(strName) != IsReader()) {
        if (IsReader()) throw ExceptionParsing("Could not find matching xml node.");
        throw std::runtime_error("HasNodeElement( strName ) == IsReader()");
    }
    if (!m_pSaveInfo) throw std::runtime_error("m_pSaveInfo != nullptr");
    if (!IsReader()) return nullptr;
    const char* pStr = m_pCurrentNode->FirstChildElement(strName.c_str())->Attribute(szAttribute);
    if (pStr == nullptr) throw ExceptionParsing("Could not find matching value xml node.");
    return pStr;
}

namespace {

// The number of a handle in the save information; a handle it does not know
// (a none handle among them) is entered with -1.
template <class Handle>
int NumberOf(std::map<Handle, int>& numbers, const Handle& hHandle)
{
    auto it = numbers.find(hHandle);
    if (it == numbers.end()) it = numbers.emplace(hHandle, -1).first;
    return it->second;
}

} // namespace

void Serializer::SerializePortHandle(const std::string& strName, PortHandle<Port>& hPort)
{
    const char* pStr = BeginHandle(strName, "PortID");
    if (!IsReader()) {
        AppendElement(strName)->SetAttribute("PortID", NumberOf(m_pSaveInfo->m_PortToID, hPort));
        return;
    }
    const int iId = ParseIdOrNone(pStr);
    const auto it = iId == -1 ? m_pSaveInfo->m_IDToPort.end() : m_pSaveInfo->m_IDToPort.find(iId);
    if (it == m_pSaveInfo->m_IDToPort.end()) {
        hPort.Reset();
        return;
    }
    const std::vector<const PortOwner*>& owners = m_pSaveInfo->m_ReadableOwners;
    if (!owners.empty() && std::find(owners.begin(), owners.end(), it->second.GetOwner()) == owners.end())
        throw std::runtime_error("\"" + strName + "\" names port " + std::to_string(iId) + " (\"" +
                                 it->second->GetLabel() + "\"), which is not a port of this filter");
    hPort = it->second;
}

void Serializer::Serialize(const std::string& strName, ScopeHandle& hScope)
{
    const char* pStr = BeginHandle(strName, "ScopeID");
    if (!IsReader()) {
        AppendElement(strName)->SetAttribute("ScopeID", NumberOf(m_pSaveInfo->m_ScopeToID, hScope));
        return;
    }
    const auto hMap = m_pSaveInfo->m_IDToScope.find(ParseIdOrNone(pStr));
    if (hMap == m_pSaveInfo->m_IDToScope.end()) throw std::runtime_error("hMap != m_pSaveInfo->m_IDToScope.end()");
    if (!m_pSaveInfo->m_ReadableOwners.empty() && hMap->second.GetOwner() != m_pSaveInfo->m_pReadableScopeOwner)
        throw std::runtime_error("\"" + strName + "\" names scope " + std::to_string(hMap->first) + " (\"" +
                                 hMap->second.Get()->GetName() + "\"), which is not a scope of this filter");
    hScope = hMap->second;
}

void Serializer::EnterObject(const std::string& strName)
{
    if (!IsReader()) {
        if (HasNodeElement(strName)) throw std::runtime_error("serializer.HasNodeElement( strName ) == serializer.IsReader()");
        m_pCurrentNode = AppendElement(strName);
        return;
    }
    TiXmlElement* pReadFrom = m_pCurrentNode ? m_pCurrentNode->FirstChildElement(strName.c_str()) : nullptr;
    if (!pReadFrom) throw std::runtime_error("pReadFrom");
    m_pCurrentNode = pReadFrom;
}

TiXmlElement* Serializer::BeginSequenceWrite(const std::string& strName)
{
    if (HasNodeElement(GetCurrentNode(), strName))
        throw std::runtime_error("HasNodeElement( GetCurrentNode(), strName ) == IsReader()");
    return AppendElement(strName);
}

TiXmlElement* Serializer::AppendItemElement(TiXmlElement* pSequence)
{
    return pSequence->LinkEndChild(new TiXmlElement("STL_Item"))->ToElement();
}

TiXmlElement* Serializer::FirstItem(const std::string& strName) const
{
    TiXmlElement* pReadFrom = m_pCurrentNode ? m_pCurrentNode->FirstChildElement(strName.c_str()) : nullptr;
    if (!pReadFrom) throw std::runtime_error("pReadFrom");
    return pReadFrom->FirstChildElement("STL_Item");
}

} // namespace Ondo::FlowGraph::Serialization
