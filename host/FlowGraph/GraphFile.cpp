#include "GraphFile.h"

#include "Graph.h"

#include "Ondo/Exceptions.h"
#include "Ondo/File.h"
#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/Instrumenter.h"
#include "Ondo/StringConversion.h"
#include "host/XmlText.h"

#include <tinyxml.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <stdexcept>
#include <utility>
#include <variant>
#include <vector>
#include <unistd.h>

namespace Ondo::FlowGraph {

namespace {

constexpr const char* s_szRoot = "OndoGraph";
constexpr const char* s_szVersion = "1";

std::string Quoted(const std::string& strText) { return "\"" + strText + "\""; }

// Failures while loading carry the element they concern.
class LoadError : public std::runtime_error {
public:
    LoadError(const TiXmlNode* pNode, const std::string& strMessage)
        : std::runtime_error(strMessage), m_iRow(pNode ? pNode->Row() : 0)
    {
    }
    int m_iRow;
};

const char* RequireAttribute(const TiXmlElement& element, const char* szName)
{
    const char* szValue = element.Attribute(szName);
    if (!szValue)
        throw LoadError(&element, "<" + std::string(element.Value()) + "> needs the attribute " + Quoted(szName));
    return szValue;
}

// What loading remembers about one scope element and the scope it stands for.
struct ScopeRecord {
    const TiXmlElement* pElement;
    Scope* pScope;
};

class Loader {
public:
    Loader(Graph& graph, OpenGL::Device* pDevice, const GraphLimits& limits)
        : m_Graph(graph), m_pDevice(pDevice), m_Limits(limits)
    {
    }

    void Load(const TiXmlElement& root)
    {
        if (std::string(root.Value()) != s_szRoot)
            throw LoadError(&root, "the document is not a graph: its root element is <" + std::string(root.Value()) +
                                       ">, not <" + s_szRoot + ">");
        const char* szVersion = root.Attribute("version");
        if (szVersion && std::string(szVersion) != s_szVersion)
            throw LoadError(&root, "the document is a graph of version " + Quoted(szVersion) +
                                       "; this engine reads version " + Quoted(s_szVersion));
        const TiXmlElement* pScope = root.FirstChildElement("Scope");
        if (!pScope) throw LoadError(&root, "<OndoGraph> needs one <Scope> element, the root scope");
        if (const TiXmlElement* pSecond = pScope->NextSiblingElement("Scope"))
            throw LoadError(pSecond, "<OndoGraph> has a second root <Scope>; a graph has one root scope");
        LoadStructure(*pScope, m_Graph.GetRoot(), 0);
        MapPorts();
        ReadSettings();
        if (m_pDevice) AttachDevice();
        for (const ScopeRecord& record : m_Scopes) LoadLinks(record);
        CheckFileNames();
        try {
            m_Graph.Validate();
        } catch (const std::runtime_error& error) {
            throw LoadError(pScope, error.what());
        }
    }

private:
    struct ItemRecord {
        const TiXmlElement* pElement;
        ScopeItem* pItem;
    };

    void LoadStructure(const TiXmlElement& scopeElement, Scope& scope, int iDepth)
    {
        if (iDepth > m_Limits.m_iMaxScopeDepth)
            throw LoadError(&scopeElement, "scope " + Quoted(scope.GetName()) + " is nested " + std::to_string(iDepth) +
                                               " scopes deep, more than the limit of " +
                                               std::to_string(m_Limits.m_iMaxScopeDepth) +
                                               " (raise it with --limit scope-depth=N)");
        m_Scopes.push_back({&scopeElement, &scope});
        for (const TiXmlElement* pChild = scopeElement.FirstChildElement(); pChild; pChild = pChild->NextSiblingElement()) {
            const std::string strKind = pChild->Value();
            if (strKind == "Connection" || strKind == "Ports") continue;
            if (strKind != "Filter")
                throw LoadError(pChild, "unknown element <" + strKind + "> in scope " + Quoted(scope.GetName()) +
                                            " (a scope holds <Filter>, <Connection> and <Ports>)");
            LoadItem(*pChild, scope, iDepth);
        }
    }

    void LoadItem(const TiXmlElement& element, Scope& scope, int iDepth)
    {
        const std::string strType = RequireAttribute(element, "type");
        const std::string strName = RequireAttribute(element, "name");
        ScopeItem* pItem = nullptr;
        try {
            pItem = &m_Graph.AddItem(scope, strType, strName);
        } catch (const std::runtime_error& error) {
            throw LoadError(&element, error.what());
        }
        m_Items.push_back({&element, pItem});

        for (const TiXmlElement* pBoundary = element.FirstChildElement("Boundary"); pBoundary;
             pBoundary = pBoundary->NextSiblingElement("Boundary")) {
            int iMode = BoundaryBoth;
            pBoundary->QueryIntAttribute("mode", &iMode);
            try {
                m_Graph.AddBoundaryPort(strName, RequireAttribute(*pBoundary, "label"),
                                        RequireAttribute(*pBoundary, "type"), iMode);
            } catch (const LoadError&) {
                throw;
            } catch (const std::runtime_error& error) {
                throw LoadError(pBoundary, error.what());
            }
        }
        for (const TiXmlElement* pInner = element.FirstChildElement("Scope"); pInner;
             pInner = pInner->NextSiblingElement("Scope")) {
            auto* pCtrl = dynamic_cast<CtrlFlowFilter*>(pItem);
            if (!pCtrl) throw LoadError(pInner, Quoted(strName) + " (" + strType + ") has no inner scopes");
            const std::string strScope = RequireAttribute(*pInner, "name");
            ScopeHandle hFound;
            for (const ScopeHandle& hScope : pCtrl->GetScopeHandles())
                if (hScope.Get()->GetName() == strScope) hFound = hScope;
            if (hFound.IsNone())
                throw LoadError(pInner, Quoted(strName) + " (" + strType + ") has no inner scope " + Quoted(strScope));
            for (const TiXmlElement* pEarlier = element.FirstChildElement("Scope"); pEarlier != pInner;
                 pEarlier = pEarlier->NextSiblingElement("Scope"))
                if (pEarlier->Attribute("name") && strScope == pEarlier->Attribute("name"))
                    throw LoadError(pInner, Quoted(strName) + " (" + strType + ") has its inner scope " +
                                                Quoted(strScope) + " twice");
            int iId = -1;
            if (pInner->QueryIntAttribute("id", &iId) == TIXML_SUCCESS) m_Info.m_IDToScope[iId] = hFound;
            LoadStructure(*pInner, *hFound.Get(), iDepth + 1);
        }
    }

    // The numbers a saved document gave the ports: each <Port> entry stands
    // for the port of its owner with that label and direction (the n-th entry
    // with the same label and direction for the n-th such port).
    void MapPortList(const TiXmlElement& ownerElement, const PortOwner& owner)
    {
        const TiXmlElement* pPorts = ownerElement.FirstChildElement("Ports");
        if (!pPorts) return;
        std::map<std::pair<std::string, bool>, std::size_t> seen;
        for (const TiXmlElement* pPort = pPorts->FirstChildElement("Port"); pPort; pPort = pPort->NextSiblingElement("Port")) {
            int iId = -1;
            if (pPort->QueryIntAttribute("id", &iId) != TIXML_SUCCESS)
                throw LoadError(pPort, "<Port> needs a whole-number attribute \"id\"");
            const std::string strLabel = RequireAttribute(*pPort, "label");
            const bool bOutput = std::string(RequireAttribute(*pPort, "direction")) == "out";
            std::size_t uiWanted = seen[{strLabel, bOutput}]++;
            for (const auto& hPort : owner.GetPortHandles()) {
                if (hPort->GetLabel() != strLabel || hPort->IsOutput() != bOutput) continue;
                if (uiWanted-- == 0) {
                    m_Info.m_IDToPort[iId] = hPort;
                    m_Info.m_PortToID[hPort] = iId;
                    break;
                }
            }
        }
    }

    void MapPorts()
    {
        for (const ItemRecord& record : m_Items) MapPortList(*record.pElement, *record.pItem);
        for (const ScopeRecord& record : m_Scopes) MapPortList(*record.pElement, *record.pScope);
    }

    void ReadSettings()
    {
        for (const ItemRecord& record : m_Items) {
            const TiXmlElement* pSettings = record.pElement->FirstChildElement("Settings");
            if (!pSettings) continue;
            Serialization::Serializer reader(nullptr, const_cast<TiXmlElement*>(pSettings), &m_Info);
            // Its handles may name its own ports and scopes and nothing else.
            m_Info.m_ReadableOwners = {record.pItem};
            m_Info.m_pReadableScopeOwner = dynamic_cast<const ScopeOwner*>(record.pItem);
            if (const auto* pCtrl = dynamic_cast<const CtrlFlowFilter*>(record.pItem))
                for (const ScopeHandle& hScope : pCtrl->GetScopeHandles()) m_Info.m_ReadableOwners.push_back(hScope.Get());
            CheckHandles(*pSettings, *record.pItem, OwnPortNumbers(*record.pElement));
            try {
                record.pItem->Serialize(reader);
            } catch (const std::exception& error) {
                throw LoadError(pSettings, record.pItem->Describe() + ": its settings could not be read: " + error.what());
            }
            m_Info.m_ReadableOwners.clear();
        }
    }

    // The port numbers an item's own <Ports> lists give, its inner scopes'
    // included: ports its shaders declare are made only with its GPU
    // resources, after the settings that name them are read.
    std::set<int> OwnPortNumbers(const TiXmlElement& itemElement) const
    {
        std::set<int> numbers;
        const auto Add = [&](const TiXmlElement& owner) {
            if (const TiXmlElement* pPorts = owner.FirstChildElement("Ports"))
                for (const TiXmlElement* pPort = pPorts->FirstChildElement("Port"); pPort;
                     pPort = pPort->NextSiblingElement("Port")) {
                    int iId = -1;
                    if (pPort->QueryIntAttribute("id", &iId) == TIXML_SUCCESS) numbers.insert(iId);
                }
        };
        Add(itemElement);
        for (const TiXmlElement* pInner = itemElement.FirstChildElement("Scope"); pInner;
             pInner = pInner->NextSiblingElement("Scope"))
            Add(*pInner);
        return numbers;
    }

    // Every handle in an item's settings, however deep, must name one of
    // its own ports (or none, -1) or one of its own scopes. The serializer
    // would take a number nothing answers to as a none handle, which leaves
    // a filter without its port; a damaged document is refused here, naming
    // the element. (Whose port or scope a number names, the serializer checks.)
    void CheckHandles(const TiXmlElement& element, const ScopeItem& item, const std::set<int>& ownPorts) const
    {
        const auto Refused = [&](const TiXmlElement& at, const std::string& strWhy) {
            return LoadError(&at, item.Describe() + ": its settings could not be read: <" + at.Value() + "> " + strWhy);
        };
        const auto Number = [&](const TiXmlElement& at, const char* szText) {
            std::size_t uiEnd = 0;
            int iId = -2;
            try {
                iId = std::stoi(szText, &uiEnd);
            } catch (const std::exception&) {
            }
            if (uiEnd == 0 || szText[uiEnd] != 0 || iId < -1)
                throw Refused(at, "gives " + Quoted(szText) + ", which is no port or scope number");
            return iId;
        };
        for (const TiXmlElement* pChild = element.FirstChildElement(); pChild; pChild = pChild->NextSiblingElement()) {
            if (const char* szPort = pChild->Attribute("PortID")) {
                const int iId = Number(*pChild, szPort);
                if (iId != -1 && m_Info.m_IDToPort.count(iId) == 0 && ownPorts.count(iId) == 0)
                    throw Refused(*pChild, "names port " + std::to_string(iId) + ", which is no port of this filter");
            }
            if (const char* szScope = pChild->Attribute("ScopeID")) {
                const int iId = Number(*pChild, szScope);
                if (m_Info.m_IDToScope.find(iId) == m_Info.m_IDToScope.end())
                    throw Refused(*pChild, "names scope " + std::to_string(iId) + ", which the document does not number");
            }
            CheckHandles(*pChild, item, ownPorts);
        }
    }

    void AttachDevice()
    {
        try {
            m_Graph.AttachDevice(*m_pDevice);
        } catch (const std::runtime_error& error) {
            const TiXmlElement* pElement = nullptr;
            for (const ItemRecord& record : m_Items)
                if (std::string(error.what()).rfind(Quoted(record.pItem->GetName()), 0) == 0) pElement = record.pElement;
            throw LoadError(pElement, error.what());
        }
    }

    void LoadLinks(const ScopeRecord& record)
    {
        for (const TiXmlElement* pChild = record.pElement->FirstChildElement(); pChild; pChild = pChild->NextSiblingElement()) {
            const std::string strKind = pChild->Value();
            try {
                if (strKind == "Connection") {
                    m_Graph.Connect(*record.pScope, RequireAttribute(*pChild, "from"), RequireAttribute(*pChild, "output"),
                                    RequireAttribute(*pChild, "to"), RequireAttribute(*pChild, "input"));
                } else if (strKind == "Filter") {
                    const std::string strName = RequireAttribute(*pChild, "name");
                    for (const TiXmlElement* pInput = pChild->FirstChildElement("Input"); pInput;
                         pInput = pInput->NextSiblingElement("Input"))
                        Apply(*pInput, [&] {
                            m_Graph.SetLiteral(strName, RequireAttribute(*pInput, "label"),
                                               RequireAttribute(*pInput, "value"));
                        });
                    for (const TiXmlElement* pControl = pChild->FirstChildElement("Control"); pControl;
                         pControl = pControl->NextSiblingElement("Control"))
                        Apply(*pControl, [&] {
                            m_Graph.SetControl(strName, RequireAttribute(*pControl, "label"),
                                               RequireAttribute(*pControl, "value"));
                        });
                }
            } catch (const LoadError&) {
                throw;
            } catch (const std::runtime_error& error) {
                throw LoadError(pChild, error.what());
            }
        }
    }

    // A file a filter is told to read must be there: a loader that finds
    // nothing publishes nothing, and what is made downstream would be wrong.
    void CheckFileNames()
    {
        for (const ItemRecord& record : m_Items) {
            const std::string& strName = record.pItem->GetName();
            for (const Instrumenter::Control& control : m_Graph.GetInstrumenter(strName).GetControls()) {
                if (control.m_eKind != Instrumenter::ControlKind::FileName) continue;
                const std::string strFile = Instrumenter::ValueText(control);
                const std::string strProblem = strFile.empty() ? std::string() : Graph::FileNameProblem(strFile);
                if (strProblem.empty()) continue;
                const TiXmlElement* pWhere = record.pElement;
                for (const TiXmlElement* pControl = record.pElement->FirstChildElement("Control"); pControl;
                     pControl = pControl->NextSiblingElement("Control"))
                    if (pControl->Attribute("label") && control.m_strLabel == pControl->Attribute("label"))
                        pWhere = pControl;
                throw LoadError(pWhere, record.pItem->Describe() + ": \"" + control.m_strLabel + "\" cannot name " +
                                            strFile + ", which " + strProblem);
            }
        }
    }

    template <class F>
    void Apply(const TiXmlElement& element, F&& fnApply)
    {
        try {
            fnApply();
        } catch (const LoadError&) {
            throw;
        } catch (const std::runtime_error& error) {
            throw LoadError(&element, error.what());
        }
    }

    Graph& m_Graph;
    OpenGL::Device* m_pDevice;
    GraphLimits m_Limits;
    Serialization::SaveInfo m_Info;
    std::vector<ItemRecord> m_Items;
    std::vector<ScopeRecord> m_Scopes;
};

// A file name as seen from another folder: a relative name is taken from
// the current folder and written relative to the new one; absolute when no
// relative path leads there or the two share no folder below the root (a
// name climbing up to "/" reads worse and breaks as soon as either moves).
// Absolute names stay.
std::wstring Rebased(const std::wstring& strName, const std::filesystem::path& folder)
{
    namespace fs = std::filesystem;
    std::string strNarrow;
    try {
        strNarrow = WideToUtf8(strName);
    } catch (const std::range_error&) {
        return strName;
    }
    const fs::path path(strNarrow);
    if (strNarrow.empty() || path.is_absolute()) return strName;
    const fs::path absolute = (fs::current_path() / path).lexically_normal();
    const fs::path relative = absolute.lexically_relative(folder);
    const bool bShareAFolder = std::distance(absolute.begin(), absolute.end()) > 1 &&
                               std::distance(folder.begin(), folder.end()) > 1 &&
                               *std::next(absolute.begin()) == *std::next(folder.begin());
    return Utf8ToWide((relative.empty() || !bShareAFolder ? absolute : relative).string());
}

// Puts rebased names into the file-name controls of an item while its
// settings are written, and the names it had back afterwards.
class RebasedFileNames {
public:
    RebasedFileNames(Graph& graph, const ScopeItem& item, const std::string& strFolder)
    {
        if (strFolder.empty()) return;
        const std::filesystem::path folder = std::filesystem::absolute(strFolder).lexically_normal();
        for (const Instrumenter::Control& control : graph.GetInstrumenter(item.GetName()).GetControls()) {
            if (control.m_eKind != Instrumenter::ControlKind::FileName) continue;
            std::wstring* pName = std::get<std::wstring*>(control.m_Value);
            m_Kept.emplace_back(pName, *pName);
            *pName = Rebased(*pName, folder);
        }
    }
    ~RebasedFileNames()
    {
        for (auto& [pName, strName] : m_Kept) *pName = strName;
    }
    RebasedFileNames(const RebasedFileNames&) = delete;
    RebasedFileNames& operator=(const RebasedFileNames&) = delete;

private:
    std::vector<std::pair<std::wstring*, std::wstring>> m_Kept;
};

class Saver {
public:
    Saver(Graph& graph, const std::string& strFolder) : m_Graph(graph), m_strFolder(strFolder) {}

    std::string Save()
    {
        TiXmlDocument document;
        document.LinkEndChild(new TiXmlDeclaration("1.0", "UTF-8", ""));
        auto* pRoot = new TiXmlElement(s_szRoot);
        pRoot->SetAttribute("version", s_szVersion);
        document.LinkEndChild(pRoot);
        // Numbers first, for the whole document, so that any setting can
        // refer to any port or scope.
        Number(m_Graph.GetRoot());
        WriteScope(document, *pRoot, m_Graph.GetRoot(), -1);
        TiXmlPrinter printer;
        printer.SetIndent("    ");
        document.Accept(&printer);
        return printer.Str();
    }

private:
    void NumberPorts(const PortOwner& owner)
    {
        for (const auto& hPort : owner.GetPortHandles()) m_Info.AddPort(hPort);
    }

    void Number(const Scope& scope)
    {
        NumberPorts(scope);
        for (const auto& pItem : scope.GetItems()) {
            NumberPorts(*pItem);
            if (const auto* pCtrl = dynamic_cast<const CtrlFlowFilter*>(pItem.get()))
                for (const ScopeHandle& hScope : pCtrl->GetScopeHandles()) {
                    m_Info.AddScope(hScope);
                    Number(*hScope.Get());
                }
        }
    }

    void WritePorts(TiXmlElement& parent, const PortOwner& owner)
    {
        if (owner.GetNumberOfPorts() == 0) return;
        auto* pPorts = new TiXmlElement("Ports");
        for (const auto& hPort : owner.GetPortHandles()) {
            auto* pPort = new TiXmlElement("Port");
            pPort->SetAttribute("id", m_Info.m_PortToID.at(hPort));
            pPort->SetAttribute("label", hPort->GetLabel().c_str());
            pPort->SetAttribute("direction", hPort->IsOutput() ? "out" : "in");
            pPorts->LinkEndChild(pPort);
        }
        parent.LinkEndChild(pPorts);
    }

    void WriteScope(TiXmlDocument& document, TiXmlElement& parent, const Scope& scope, int iId)
    {
        auto* pScope = new TiXmlElement("Scope");
        pScope->SetAttribute("name", scope.GetName().c_str());
        if (iId >= 0) pScope->SetAttribute("id", iId);
        parent.LinkEndChild(pScope);
        WritePorts(*pScope, scope);
        std::map<std::string, std::vector<Graph::Literal>> literalsOf;
        for (Graph::Literal& literal : m_Graph.GetLiterals(scope)) literalsOf[literal.strItem].push_back(std::move(literal));
        for (const auto& pItem : scope.GetItems()) WriteItem(document, *pScope, *pItem, literalsOf[pItem->GetName()]);
        for (const Connection& connection : scope.GetConnections()) {
            if (m_Graph.IsLiteralConnection(connection)) continue;
            auto* pConnection = new TiXmlElement("Connection");
            pConnection->SetAttribute("from", OwnerName(connection.m_hSource, scope).c_str());
            pConnection->SetAttribute("output", connection.m_hSource->GetLabel().c_str());
            pConnection->SetAttribute("to", OwnerName(connection.m_hTarget, scope).c_str());
            pConnection->SetAttribute("input", connection.m_hTarget->GetLabel().c_str());
            pScope->LinkEndChild(pConnection);
        }
    }

    std::string OwnerName(const PortHandle<Port>& hPort, const Scope& scope) const
    {
        if (hPort.GetOwner() == &scope) return Graph::ScopePortsName;
        const auto* pItem = dynamic_cast<const ScopeItem*>(hPort.GetOwner());
        return pItem ? pItem->GetName() : "?";
    }

    void WriteItem(TiXmlDocument& document, TiXmlElement& parent, ScopeItem& item,
                   const std::vector<Graph::Literal>& literals)
    {
        auto* pElement = new TiXmlElement("Filter");
        pElement->SetAttribute("type", m_Graph.GetType(item).c_str());
        pElement->SetAttribute("name", item.GetName().c_str());
        parent.LinkEndChild(pElement);
        WritePorts(*pElement, item);

        if (auto* pCtrl = dynamic_cast<CtrlFlowFilter*>(&item)) {
            for (const ScopeHandle& hScope : pCtrl->GetScopeHandles()) {
                for (const BoundaryLink& link : pCtrl->GetBoundaryLinks(hScope)) {
                    const bool bInput = !link.m_hOuterInput.IsNone(), bOutput = !link.m_hOuterOutput.IsNone();
                    const Port& port = bInput ? *link.m_hOuterInput : *link.m_hOuterOutput;
                    auto* pBoundary = new TiXmlElement("Boundary");
                    pBoundary->SetAttribute("label", port.GetLabel().c_str());
                    pBoundary->SetAttribute("type", port.GetTransportedType().c_str());
                    pBoundary->SetAttribute("mode", bInput && bOutput ? BoundaryBoth
                                                    : bInput          ? BoundaryInputOnly
                                                                      : BoundaryOutputOnly);
                    pElement->LinkEndChild(pBoundary);
                }
                WriteScope(document, *pElement, *hScope.Get(), m_Info.m_ScopeToID.at(hScope));
            }
        }

        auto* pSettings = new TiXmlElement("Settings");
        pElement->LinkEndChild(pSettings);
        Serialization::Serializer writer(&document, pSettings, &m_Info);
        try {
            const RebasedFileNames rebased(m_Graph, item, m_strFolder);
            item.Serialize(writer);
        } catch (const std::exception& error) {
            throw std::runtime_error(item.Describe() + ": its settings could not be written: " + error.what());
        }
        if (!pSettings->FirstChild()) pElement->RemoveChild(pSettings);

        for (const Graph::Literal& literal : literals) {
            auto* pInput = new TiXmlElement("Input");
            pInput->SetAttribute("label", literal.strInput.c_str());
            pInput->SetAttribute("value", literal.strText.c_str());
            pElement->LinkEndChild(pInput);
        }
    }

    Graph& m_Graph;
    std::string m_strFolder;
    Serialization::SaveInfo m_Info;
};

std::string DotEscaped(const std::string& strText)
{
    std::string strEscaped;
    for (char c : strText) {
        if (c == '"' || c == '\\') strEscaped += '\\';
        strEscaped += c;
    }
    return strEscaped;
}

std::string DotQuoted(const std::string& strText) { return "\"" + DotEscaped(strText) + "\""; }

void WriteDotScope(const Graph& graph, const Scope& scope, const std::string& strPrefix, std::string& strDot,
                   int iDepth)
{
    const std::string strIndent(static_cast<std::size_t>(iDepth) * 4, ' ');
    auto nodeOf = [&](const PortHandle<Port>& hPort) {
        if (hPort.GetOwner() == &scope) return DotQuoted(strPrefix + Graph::ScopePortsName);
        const auto* pItem = dynamic_cast<const ScopeItem*>(hPort.GetOwner());
        return pItem ? DotQuoted(pItem->GetName()) : std::string();
    };
    if (scope.GetNumberOfPorts() > 0)
        strDot += strIndent + DotQuoted(strPrefix + Graph::ScopePortsName) + " [label=" +
                  DotQuoted("boundary of " + scope.GetName()) + ", shape=plaintext];\n";
    for (const auto& pItem : scope.GetItems()) {
        strDot += strIndent + DotQuoted(pItem->GetName()) + " [label=\"" + DotEscaped(pItem->GetName()) + "\\n" +
                  DotEscaped(graph.GetType(*pItem)) + "\"];\n";
        if (const auto* pCtrl = dynamic_cast<const CtrlFlowFilter*>(pItem.get()))
            for (const ScopeHandle& hScope : pCtrl->GetScopeHandles()) {
                strDot += strIndent + "subgraph " + DotQuoted("cluster_" + pItem->GetName() + "/" + hScope.Get()->GetName()) +
                          " {\n" + strIndent + "    label=" + DotQuoted(pItem->GetName() + ": " + hScope.Get()->GetName()) +
                          ";\n";
                WriteDotScope(graph, *hScope.Get(), pItem->GetName() + "/", strDot, iDepth + 1);
                strDot += strIndent + "}\n";
            }
    }
    for (const Connection& connection : scope.GetConnections()) {
        const std::string strLabel = connection.m_hSource->GetLabel() + " -> " + connection.m_hTarget->GetLabel();
        if (graph.IsLiteralConnection(connection)) continue;
        strDot += strIndent + nodeOf(connection.m_hSource) + " -> " + nodeOf(connection.m_hTarget) +
                  " [label=" + DotQuoted(strLabel) + "];\n";
    }
}

} // namespace

std::unique_ptr<Graph> LoadGraphFromText(Core& core, OpenGL::Device* pDevice, const std::string& strText,
                                         const std::string& strName, const GraphLimits& limits)
{
    // The parser recurses once per level: a deep document is refused before
    // it can exhaust the stack.
    const XmlDepth depth = MeasureXmlDepth(strText, limits.m_iMaxXmlDepth);
    if (depth.m_iDepth > limits.m_iMaxXmlDepth)
        throw std::runtime_error(strName + ":" + std::to_string(depth.m_iLine) + ": elements are nested more than " +
                                 std::to_string(limits.m_iMaxXmlDepth) +
                                 " deep, the limit (raise it with --limit xml-depth=N)");
    const std::size_t uiInvalid = FindInvalidUtf8(strText);
    if (uiInvalid != std::string::npos) {
        const std::size_t uiLineStart = strText.rfind('\n', uiInvalid) + 1; // 0 on the first line
        char szByte[8];
        std::snprintf(szByte, sizeof(szByte), "0x%02X", static_cast<unsigned char>(strText[uiInvalid]));
        throw std::runtime_error(
            strName + ":" + std::to_string(1 + std::count(strText.begin(), strText.begin() + static_cast<std::ptrdiff_t>(uiInvalid), '\n')) +
            ": byte " + szByte + " at column " + std::to_string(uiInvalid - uiLineStart + 1) +
            " is no UTF-8 (graph files are UTF-8 text)");
    }
    TiXmlDocument document;
    ParseXml(document, strText);
    if (document.Error())
        throw std::runtime_error(strName + ":" + std::to_string(document.ErrorRow()) + ":" +
                                 std::to_string(document.ErrorCol()) + ": malformed XML: " + document.ErrorDesc());
    if (!document.RootElement()) throw std::runtime_error(strName + ": the document is empty");

    auto pGraph = std::make_unique<Graph>(core);
    try {
        Loader(*pGraph, pDevice, limits).Load(*document.RootElement());
    } catch (const LoadError& error) {
        throw std::runtime_error(strName + ":" + std::to_string(error.m_iRow) + ": " + error.what());
    }
    return pGraph;
}

std::unique_ptr<Graph> LoadGraph(Core& core, OpenGL::Device* pDevice, const std::string& strPath,
                                 const GraphLimits& limits)
{
    File file;
    try {
        file.Load(Utf8ToWide(strPath));
    } catch (const std::range_error&) {
        file.Load(WidenWithLocale(strPath));
    } catch (const std::runtime_error& error) {
        throw std::runtime_error(strPath + ": " + error.what());
    }
    return LoadGraphFromText(core, pDevice, std::string(file.GetData(), file.GetSize()), strPath, limits);
}

std::string SaveGraphToText(Graph& graph, const std::string& strFolder) { return Saver(graph, strFolder).Save(); }

void SaveGraph(Graph& graph, const std::string& strPath)
{
    const std::string strFolder = std::filesystem::absolute(strPath).parent_path().string();
    WriteFileAtomically(strPath, SaveGraphToText(graph, strFolder));
}

std::string GraphToDot(const Graph& graph)
{
    std::string strDot = "digraph Graph {\n    rankdir=LR;\n    node [shape=box];\n";
    WriteDotScope(graph, graph.GetRoot(), "", strDot, 1);
    return strDot + "}\n";
}

void WriteFileAtomically(const std::string& strPath, const std::string& strText)
{
    const std::string strProblem = Ondo::WriteFileAtomically(strPath, strText.data(), strText.size());
    if (!strProblem.empty()) throw ExceptionFileSystem("Could not write " + strPath + ": " + strProblem);
}

} // namespace Ondo::FlowGraph
