#include "ViewApp.h"

#include "ControlWidgets.h"
#include "ViewSession.h"

#include "host/FlowGraph/GLErrors.h"
#include "host/FlowGraph/Graph.h"
#include "host/FlowGraph/ValueText.h"
#include "host/GFX/ImageIO.h"
#include "host/Window/GlfwWindow.h"

#include "Ondo/FlowGraph/Filter.h"
#include "Ondo/FlowGraph/ValuePorts.h"
#include "Ondo/OpenGL/GPUObjects.h"

#include <GLFW/glfw3.h>
#include <backends/imgui_impl_glfw.h>
#include <backends/imgui_impl_opengl3.h>
#include <imgui.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <filesystem>
#include <stdexcept>

namespace OndoView {

using namespace Ondo::FlowGraph;

namespace {

const ImVec4 s_ErrorColour(1.0f, 0.45f, 0.4f, 1.0f);
const char* const s_szFaces[] = {"+X", "-X", "+Y", "-Y", "+Z", "-Z"};

const char* KindName(PreviewKind eKind)
{
    switch (eKind) {
    case PreviewKind::Normalised: return "normalised";
    case PreviewKind::Float: return "float, tone-mapped";
    case PreviewKind::Depth: return "depth, stretched to the depths in view";
    case PreviewKind::Integer: return "integer, stretched to the largest value";
    }
    return "";
}

// Places the next panel over an area of the window, in window coordinates.
bool BeginPanel(const char* szTitle, const PixelRect& area)
{
    ImGui::SetNextWindowPos(ImVec2(static_cast<float>(area.m_iX), static_cast<float>(area.m_iY)), ImGuiCond_Always);
    ImGui::SetNextWindowSize(ImVec2(static_cast<float>(area.m_iWidth), static_cast<float>(area.m_iHeight)),
                             ImGuiCond_Always);
    return ImGui::Begin(szTitle, nullptr, ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoCollapse);
}

// Long values (matrices, lists) are cut for the table; the tooltip has all.
void ValueCell(const std::string& strText)
{
    constexpr std::size_t MaxShown = 60;
    if (strText.size() <= MaxShown) {
        ImGui::TextUnformatted(strText.c_str());
        return;
    }
    const std::string strShort = strText.substr(0, MaxShown) + "...";
    ImGui::TextUnformatted(strShort.c_str());
    if (ImGui::IsItemHovered()) ImGui::SetTooltip("%s", strText.c_str());
}

// "TextureObject2D" for "Ondo::OpenGL::TextureObject2D": the table is narrow.
std::string ShortTypeName(const std::string& strType)
{
    std::string strShort = strType;
    for (const char* szPrefix : {"Ondo::OpenGL::", "Ondo::GFX::", "Ondo::"})
        for (std::size_t uiAt = strShort.find(szPrefix); uiAt != std::string::npos; uiAt = strShort.find(szPrefix))
            strShort.erase(uiAt, std::char_traits<char>::length(szPrefix));
    return strShort;
}

bool CtrlPressed(int iKey)
{
    const ImGuiIO& io = ImGui::GetIO();
#if IMGUI_VERSION_NUM >= 18700
    const ImGuiKey eKey = iKey == GLFW_KEY_S ? ImGuiKey_S : ImGuiKey_Q;
    return io.KeyCtrl && ImGui::IsKeyPressed(eKey, false);
#else
    return io.KeyCtrl && ImGui::IsKeyPressed(iKey, false);
#endif
}

} // namespace

const Ondo::OpenGL::TextureObject* TextureOf(const Port& port)
{
    void* pData = port.GetDataPointer();
    if (!pData) return nullptr;
    const std::string& strType = port.GetTransportedType();
    if (strType == SimplePortT<Ondo::OpenGL::TextureObject2D>::s_strTypeName)
        return static_cast<const Ondo::OpenGL::TextureObject2D*>(pData);
    if (strType == SimplePortT<Ondo::OpenGL::TextureObject3D>::s_strTypeName)
        return static_cast<const Ondo::OpenGL::TextureObject3D*>(pData);
    if (strType == SimplePortT<Ondo::OpenGL::TextureObjectCube>::s_strTypeName)
        return static_cast<const Ondo::OpenGL::TextureObjectCube*>(pData);
    return nullptr;
}

ViewApp::ViewApp(Ondo::Host::GlfwWindow& window, ViewSession& session) : m_Window(window), m_Session(session)
{
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    // The layout is made anew each frame; nothing is remembered in a file.
    ImGui::GetIO().IniFilename = nullptr;
    ImGui::StyleColorsDark();
    if (!ImGui_ImplGlfw_InitForOpenGL(window.GetHandle(), true) || !ImGui_ImplOpenGL3_Init("#version 330 core")) {
        ImGui::DestroyContext();
        throw std::runtime_error("Dear ImGui could not be set up on the window's OpenGL context");
    }
    m_Window.SetTitle("ondo-view - " + std::filesystem::path(session.GetGraphPath()).filename().string());

    // The end of the chain is what people look at first.
    const std::vector<ScopeItem*> items = session.GetGraph().GetAllItems();
    for (auto it = items.rbegin(); it != items.rend() && m_strSelected.empty(); ++it)
        for (const auto& hPort : (*it)->GetPortHandles())
            if (hPort->IsOutput() && hPort->GetTransportedType().find("TextureObject") != std::string::npos) {
                Select((*it)->GetName());
                break;
            }
    if (m_strSelected.empty() && !items.empty()) Select(items.front()->GetName());
}

ViewApp::~ViewApp()
{
    if (m_uiPreviewTexture != 0) glDeleteTextures(1, &m_uiPreviewTexture);
    ImGui_ImplOpenGL3_Shutdown();
    ImGui_ImplGlfw_Shutdown();
    ImGui::DestroyContext();
}

bool ViewApp::ShouldClose() const { return m_bQuit || m_Window.ShouldClose(); }

void ViewApp::Select(const std::string& strItem)
{
    ScopeItem* pItem = m_Session.GetGraph().FindItem(strItem);
    if (!pItem) return;
    m_strSelected = strItem;
    for (const auto& hPort : pItem->GetPortHandles())
        if (hPort->IsOutput() && hPort->GetTransportedType().find("TextureObject") != std::string::npos) {
            SetPreview(strItem, hPort->GetLabel());
            return;
        }
}

void ViewApp::SetPreview(const std::string& strItem, const std::string& strPort)
{
    m_strPreviewItem = strItem;
    m_strPreviewPort = strPort;
}

void ViewApp::SaveGraph()
{
    try {
        m_strStatus = "Saved " + m_Session.Save();
    } catch (const std::exception& error) {
        m_strStatus = std::string("Not saved: ") + error.what();
        m_Session.Note(m_strStatus);
    }
}

void ViewApp::UpdatePreview()
{
    m_PreviewTexels = TexelImage();
    m_strPreviewProblem.clear();
    ScopeItem* pItem = m_Session.GetGraph().FindItem(m_strPreviewItem);
    if (!pItem) {
        m_strPreviewProblem = "Choose a texture port of a filter to see it here.";
        return;
    }
    PortHandle<Port> hPort = pItem->FindPort(m_strPreviewPort, true);
    if (hPort.IsNone()) hPort = pItem->FindPort(m_strPreviewPort, false);
    const Ondo::OpenGL::TextureObject* pTexture = hPort.IsNone() ? nullptr : TextureOf(*hPort);
    if (!pTexture) {
        m_strPreviewProblem = "\"" + m_strPreviewPort + "\" of " + m_strPreviewItem + " carries no texture yet.";
        return;
    }
    try {
        m_PreviewTexels = ReadTexels(*pTexture, m_PreviewSettings);
    } catch (const std::exception& error) {
        m_strPreviewProblem = m_strPreviewItem + " \"" + m_strPreviewPort + "\": " + error.what();
        m_PreviewTexels = TexelImage();
        return;
    }
    const std::vector<std::uint8_t> pixels = ToDisplay(m_PreviewTexels, m_PreviewSettings);
    GLint iPrevious = 0, iUnpackAlignment = 4, iUnpackRowLength = 0, iUnpackBuffer = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &iPrevious);
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &iUnpackAlignment);
    glGetIntegerv(GL_UNPACK_ROW_LENGTH, &iUnpackRowLength);
    glGetIntegerv(GL_PIXEL_UNPACK_BUFFER_BINDING, &iUnpackBuffer);
    if (m_uiPreviewTexture == 0) glGenTextures(1, &m_uiPreviewTexture);
    glBindTexture(GL_TEXTURE_2D, m_uiPreviewTexture);
    glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, m_PreviewTexels.m_iWidth, m_PreviewTexels.m_iHeight, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, pixels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    // Zoomed in, texels show as squares.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, iUnpackAlignment);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, iUnpackRowLength);
    glBindBuffer(GL_PIXEL_UNPACK_BUFFER, static_cast<GLuint>(iUnpackBuffer));
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(iPrevious));
}

void ViewApp::Frame(bool bCapture)
{
    m_Window.PollEvents();
    m_Session.RunFrame();
    UpdatePreview();

    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplGlfw_NewFrame();
    ImGui::NewFrame();
    if (CtrlPressed(GLFW_KEY_S)) SaveGraph();
    if (CtrlPressed(GLFW_KEY_Q)) m_bQuit = true;

    DrawMenu();
    const ImVec2 size = ImGui::GetIO().DisplaySize;
    const int iTop = static_cast<int>(ImGui::GetFrameHeight());
    const int iWidth = static_cast<int>(size.x), iHeight = static_cast<int>(size.y) - iTop;
    const int iUpper = iHeight * 62 / 100;
    const int iFilters = iWidth * 22 / 100, iFilter = iWidth * 30 / 100, iTimes = iWidth * 55 / 100;
    DrawFilters({0, iTop, iFilters, iUpper});
    DrawFilter({iFilters, iTop, iFilter, iUpper});
    DrawPreview({iFilters + iFilter, iTop, iWidth - iFilters - iFilter, iUpper});
    DrawTimes({0, iTop + iUpper, iTimes, iHeight - iUpper});
    DrawMessages({iTimes, iTop + iUpper, iWidth - iTimes, iHeight - iUpper});
    ImGui::Render();

    const Ondo::Vector2i framebuffer = m_Window.GetFramebufferSize();
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, framebuffer[0], framebuffer[1]);
    glClearColor(0.1f, 0.1f, 0.12f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
    if (bCapture) Capture();
    // The graph's executer refuses GL errors left before its first filter;
    // one made here is named here instead.
    const std::string strErrors = TakeGLErrors();
    if (!strErrors.empty()) m_Session.Note(strErrors + " while drawing the window");
    m_Window.SwapBuffers();
}

void ViewApp::Capture()
{
    const Ondo::Vector2i size = m_Window.GetFramebufferSize();
    m_Capture = Ondo::GFX::ImageData();
    m_Capture.m_iImageFormat = Ondo::GFX::FormatRGBA8;
    m_Capture.m_iChannelLayout = Ondo::GFX::LayoutRGBA;
    m_Capture.m_iComponentType = Ondo::GFX::ComponentUInt8;
    m_Capture.m_uiWidth = static_cast<std::uint32_t>(size[0]);
    m_Capture.m_uiHeight = static_cast<std::uint32_t>(size[1]);
    m_Capture.m_uiPixelSize = 4;
    m_Capture.m_Pixels.resize(static_cast<std::size_t>(size[0]) * static_cast<std::size_t>(size[1]) * 4);
    GLint iAlignment = 4, iRowLength = 0, iPackBuffer = 0;
    glGetIntegerv(GL_PACK_ALIGNMENT, &iAlignment);
    glGetIntegerv(GL_PACK_ROW_LENGTH, &iRowLength);
    glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &iPackBuffer);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, size[0], size[1], GL_RGBA, GL_UNSIGNED_BYTE, m_Capture.m_Pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, iAlignment);
    glPixelStorei(GL_PACK_ROW_LENGTH, iRowLength);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, static_cast<GLuint>(iPackBuffer));
    for (std::size_t i = 3; i < m_Capture.m_Pixels.size(); i += 4) m_Capture.m_Pixels[i] = 255;
}

void ViewApp::WriteCapture(const std::string& strPath) const
{
    if (m_Capture.m_Pixels.empty()) throw std::runtime_error("No picture of the window was taken to write to " + strPath);
    Ondo::GFX::WritePNG(strPath, m_Capture);
}

void ViewApp::DrawMenu()
{
    if (!ImGui::BeginMainMenuBar()) return;
    if (ImGui::BeginMenu("File")) {
        if (ImGui::MenuItem("Save", "Ctrl+S")) SaveGraph();
        if (ImGui::IsItemHovered()) ImGui::SetTooltip("Writes %s", m_Session.GetSavePath().c_str());
        if (ImGui::MenuItem("Quit", "Ctrl+Q")) m_bQuit = true;
        ImGui::EndMenu();
    }
    ImGui::TextDisabled("%s", std::filesystem::path(m_Session.GetGraphPath()).filename().string().c_str());
    if (ImGui::IsItemHovered()) ImGui::SetTooltip("%s", m_Session.GetGraphPath().c_str());
    if (!m_strStatus.empty()) {
        ImGui::SameLine();
        ImGui::TextUnformatted(("  " + m_strStatus).c_str());
    }
    ImGui::EndMainMenuBar();
}

void ViewApp::DrawScope(Scope& scope)
{
    for (const auto& pItem : scope.GetItems()) {
        auto* pCtrl = dynamic_cast<CtrlFlowFilter*>(pItem.get());
        ImGuiTreeNodeFlags eFlags = ImGuiTreeNodeFlags_OpenOnArrow | ImGuiTreeNodeFlags_SpanAvailWidth;
        if (pItem->GetName() == m_strSelected) eFlags |= ImGuiTreeNodeFlags_Selected;
        eFlags |= pCtrl ? ImGuiTreeNodeFlags_DefaultOpen
                        : ImGuiTreeNodeFlags_Leaf | ImGuiTreeNodeFlags_NoTreePushOnOpen;
        const bool bOpen = ImGui::TreeNodeEx(pItem.get(), eFlags, "%s", pItem->GetName().c_str());
        if (ImGui::IsItemClicked() && !ImGui::IsItemToggledOpen()) Select(pItem->GetName());
        ImGui::SameLine();
        ImGui::TextDisabled("%s", pItem->GetTypeName().c_str());
        if (!pCtrl || !bOpen) continue;
        for (const ScopeHandle& hScope : pCtrl->GetScopeHandles()) {
            Scope* pInner = hScope.Get();
            if (!pInner) continue;
            if (ImGui::TreeNodeEx(pInner, ImGuiTreeNodeFlags_DefaultOpen, "scope %s", pInner->GetName().c_str())) {
                DrawScope(*pInner);
                ImGui::TreePop();
            }
        }
        ImGui::TreePop();
    }
}

void ViewApp::DrawFilters(const PixelRect& area)
{
    if (BeginPanel("Filters", area)) {
        Scope& root = m_Session.GetGraph().GetRoot();
        if (ImGui::TreeNodeEx(&root, ImGuiTreeNodeFlags_DefaultOpen, "scope %s", root.GetName().c_str())) {
            DrawScope(root);
            ImGui::TreePop();
        }
    }
    ImGui::End();
}

void ViewApp::DrawFilter(const PixelRect& area)
{
    if (BeginPanel("Filter", area)) {
        ScopeItem* pItem = m_Session.GetGraph().FindItem(m_strSelected);
        if (!pItem) {
            ImGui::TextDisabled("Choose a filter on the left.");
        } else {
            ImGui::Text("%s", pItem->GetName().c_str());
            ImGui::TextDisabled("%s", pItem->GetTypeName().c_str());
            ImGui::Separator();
            if (ImGui::CollapsingHeader("Controls", ImGuiTreeNodeFlags_DefaultOpen)) {
                const Ondo::Instrumenter& instrumenter = m_Session.GetGraph().GetInstrumenter(m_strSelected);
                if (instrumenter.GetControls().empty()) ImGui::TextDisabled("none");
                std::vector<ControlEdit> edits;
                std::string strOpenError;
                DrawControls(m_strSelected, instrumenter, edits, strOpenError);
                for (ControlEdit& edit : edits) m_Session.QueueEdit(std::move(edit));
                if (!strOpenError.empty()) m_Session.Note(strOpenError);
            }
            if (ImGui::CollapsingHeader("Ports", ImGuiTreeNodeFlags_DefaultOpen)) DrawPorts(*pItem);
        }
    }
    ImGui::End();
}

std::string ViewApp::DescribeSource(const ScopeItem& item, const Port& port) const
{
    const Graph& graph = m_Session.GetGraph();
    for (const Connection& connection : graph.GetScopeOf(item).GetConnections()) {
        if (connection.m_hTarget.Get() != &port) continue;
        if (graph.IsLiteralConnection(connection)) return "literal";
        const auto* pSource = dynamic_cast<const ScopeItem*>(connection.m_hSource.GetOwner());
        return "from " + (pSource ? pSource->GetName() : std::string(Graph::ScopePortsName)) + " \"" +
               connection.m_hSource->GetLabel() + "\"";
    }
    return "not connected";
}

void ViewApp::DrawPorts(ScopeItem& item)
{
    const ImGuiTableFlags eFlags = ImGuiTableFlags_Borders | ImGuiTableFlags_RowBg | ImGuiTableFlags_Resizable;
    if (!ImGui::BeginTable("ports", 4, eFlags)) return;
    ImGui::TableSetupColumn("port", ImGuiTableColumnFlags_WidthStretch, 1.0f);
    ImGui::TableSetupColumn("type", ImGuiTableColumnFlags_WidthStretch, 0.9f);
    ImGui::TableSetupColumn("value", ImGuiTableColumnFlags_WidthStretch, 1.3f);
    ImGui::TableSetupColumn("", ImGuiTableColumnFlags_WidthFixed);
    ImGui::TableHeadersRow();
    for (const auto& hPort : item.GetPortHandles()) {
        const Port& port = *hPort;
        ImGui::PushID(&port);
        ImGui::TableNextRow();
        ImGui::TableNextColumn();
        ImGui::Text("%s %s", port.IsOutput() ? "out" : "in ", port.GetLabel().c_str());
        if (!port.IsOutput() && ImGui::IsItemHovered()) ImGui::SetTooltip("%s", DescribeSource(item, port).c_str());
        ImGui::TableNextColumn();
        ImGui::TextDisabled("%s", ShortTypeName(port.GetTransportedType()).c_str());
        if (ImGui::IsItemHovered()) ImGui::SetTooltip("%s", port.GetTransportedType().c_str());
        ImGui::TableNextColumn();
        const Ondo::OpenGL::TextureObject* pTexture = TextureOf(port);
        if (pTexture) {
            ImGui::TextUnformatted(DescribeTexture(*pTexture).c_str());
        } else if (const std::optional<std::string> strValue = FormatPortValue(port)) {
            ValueCell(*strValue);
        } else {
            ImGui::TextDisabled("%s", port.GetDataPointer() ? "(no text form)" : "(nothing yet)");
        }
        ImGui::TableNextColumn();
        if (pTexture && ImGui::SmallButton("show")) SetPreview(item.GetName(), port.GetLabel());
        ImGui::PopID();
    }
    ImGui::EndTable();
}

void ViewApp::DrawPreview(const PixelRect& area)
{
    m_PreviewRect = PixelRect();
    if (BeginPanel("Preview", area)) {
        if (!m_strPreviewProblem.empty()) {
            ImGui::TextWrapped("%s", m_strPreviewProblem.c_str());
        } else {
            const TexelImage& image = m_PreviewTexels;
            ImGui::Text("%s \"%s\": %d x %d%s %s (%s)", m_strPreviewItem.c_str(), m_strPreviewPort.c_str(),
                        image.m_iWidth, image.m_iHeight,
                        image.m_eTarget == GL_TEXTURE_3D ? (" x " + std::to_string(image.m_iDepth)).c_str()
                        : image.m_eTarget == GL_TEXTURE_CUBE_MAP ? " cube"
                                                                  : "",
                        InternalFormatName(image.m_eInternalFormat).c_str(), KindName(image.m_eKind));
            bool bFit = !m_Zoom.has_value();
            if (ImGui::Checkbox("fit", &bFit)) m_Zoom = bFit ? std::nullopt : std::optional<float>(1.0f);
            if (m_Zoom) {
                ImGui::SameLine();
                ImGui::SetNextItemWidth(140);
                ImGui::SliderFloat("zoom", &*m_Zoom, 0.125f, 32.0f, "%.3gx", ImGuiSliderFlags_Logarithmic);
            }
            if (image.m_eTarget == GL_TEXTURE_3D) {
                ImGui::SameLine();
                ImGui::SetNextItemWidth(140);
                ImGui::SliderInt("layer", &m_PreviewSettings.m_iLayer, 0, std::max(image.m_iDepth - 1, 0));
            }
            if (image.m_eTarget == GL_TEXTURE_CUBE_MAP) {
                ImGui::SameLine();
                ImGui::SetNextItemWidth(80);
                ImGui::Combo("face", &m_PreviewSettings.m_iFace, s_szFaces, 6);
            }
            if (image.m_eKind == PreviewKind::Float) {
                ImGui::SameLine();
                ImGui::SetNextItemWidth(140);
                ImGui::SliderFloat("exposure", &m_PreviewSettings.m_fExposure, -10.0f, 10.0f, "%+.1f stops");
            }
            ImGui::TextUnformatted(m_strHoveredTexel.empty() ? "Point at the picture for texel values."
                                                              : m_strHoveredTexel.c_str());

            ImGui::BeginChild("picture", ImVec2(0, 0), false, ImGuiWindowFlags_HorizontalScrollbar);
            const ImVec2 available = ImGui::GetContentRegionAvail();
            const float fWidth = static_cast<float>(image.m_iWidth), fHeight = static_cast<float>(image.m_iHeight);
            const float fScale = m_Zoom ? *m_Zoom : std::max(std::min(available.x / fWidth, available.y / fHeight), 0.01f);
            ImGui::Image(reinterpret_cast<ImTextureID>(static_cast<std::uintptr_t>(m_uiPreviewTexture)),
                         ImVec2(fWidth * fScale, fHeight * fScale), ImVec2(0, 1), ImVec2(1, 0));
            const ImVec2 minimum = ImGui::GetItemRectMin(), maximum = ImGui::GetItemRectMax();
            m_strHoveredTexel.clear();
            if (ImGui::IsItemHovered()) {
                const ImVec2 mouse = ImGui::GetIO().MousePos;
                m_strHoveredTexel = DescribeTexel(image, static_cast<int>((mouse.x - minimum.x) / fScale),
                                                  static_cast<int>((mouse.y - minimum.y) / fScale));
                const float fWheel = ImGui::GetIO().MouseWheel;
                if (fWheel != 0.0f && ImGui::GetIO().KeyCtrl)
                    m_Zoom = std::clamp(fScale * std::pow(1.25f, fWheel), 0.125f, 32.0f);
            }
            // The part of the picture that is in view, in framebuffer pixels.
            ImDrawList* pDrawList = ImGui::GetWindowDrawList();
            const ImVec2 clipMin = pDrawList->GetClipRectMin(), clipMax = pDrawList->GetClipRectMax();
            const ImVec2 scale = ImGui::GetIO().DisplayFramebufferScale;
            const float fLeft = std::max(minimum.x, clipMin.x), fTop = std::max(minimum.y, clipMin.y);
            const float fRight = std::min(maximum.x, clipMax.x), fBottom = std::min(maximum.y, clipMax.y);
            if (fRight > fLeft && fBottom > fTop)
                m_PreviewRect = {static_cast<int>(std::ceil(fLeft * scale.x)), static_cast<int>(std::ceil(fTop * scale.y)),
                                 static_cast<int>(std::floor((fRight - fLeft) * scale.x)),
                                 static_cast<int>(std::floor((fBottom - fTop) * scale.y))};
            ImGui::EndChild();
        }
    }
    ImGui::End();
}

void ViewApp::DrawTimes(const PixelRect& area)
{
    if (BeginPanel("Times", area)) {
        const TimingExecuter& times = m_Session.GetTimes();
        const std::vector<float> frames = times.GetFrameTimes().Values();
        const float fLast = times.GetFrameTimes().Last(), fAverage = times.GetFrameTimes().Average();
        char szOverlay[96];
        std::snprintf(szOverlay, sizeof(szOverlay), "frame %.1f ms (%.0f per second), average %.1f ms",
                      static_cast<double>(fLast), fLast > 0.0f ? 1000.0 / static_cast<double>(fLast) : 0.0,
                      static_cast<double>(fAverage));
        const float fTop = frames.empty() ? 1.0f : *std::max_element(frames.begin(), frames.end()) * 1.2f;
        ImGui::PlotLines("##frames", frames.data(), static_cast<int>(frames.size()), 0, szOverlay, 0.0f, fTop,
                         ImVec2(ImGui::GetContentRegionAvail().x, 48));

        const ImGuiTableFlags eFlags = ImGuiTableFlags_Borders | ImGuiTableFlags_RowBg | ImGuiTableFlags_ScrollY |
                                       ImGuiTableFlags_Resizable;
        if (ImGui::BeginTable("times", 5, eFlags)) {
            ImGui::TableSetupScrollFreeze(0, 1);
            ImGui::TableSetupColumn("filter");
            ImGui::TableSetupColumn("type");
            ImGui::TableSetupColumn("CPU ms", ImGuiTableColumnFlags_WidthFixed, 60);
            ImGui::TableSetupColumn("GPU ms", ImGuiTableColumnFlags_WidthFixed, 60);
            ImGui::TableSetupColumn("GPU ms, last frames");
            ImGui::TableHeadersRow();
            for (const FilterTimes& filter : times.GetFilters()) {
                ImGui::PushID(filter.m_strName.c_str());
                ImGui::TableNextRow();
                ImGui::TableNextColumn();
                if (ImGui::Selectable(filter.m_strName.c_str(), filter.m_strName == m_strSelected,
                                      ImGuiSelectableFlags_SpanAllColumns))
                    Select(filter.m_strName);
                ImGui::TableNextColumn();
                ImGui::TextDisabled("%s", filter.m_strType.c_str());
                ImGui::TableNextColumn();
                ImGui::Text("%.3f", static_cast<double>(filter.m_CpuMs.Average()));
                ImGui::TableNextColumn();
                ImGui::Text("%.3f", static_cast<double>(filter.m_GpuMs.Average()));
                ImGui::TableNextColumn();
                const std::vector<float> gpu = filter.m_GpuMs.Values();
                ImGui::PlotLines("##gpu", gpu.data(), static_cast<int>(gpu.size()), 0, nullptr, 0.0f, FLT_MAX,
                                 ImVec2(ImGui::GetContentRegionAvail().x, ImGui::GetTextLineHeight()));
                ImGui::PopID();
            }
            ImGui::EndTable();
        }
    }
    ImGui::End();
}

void ViewApp::DrawMessages(const PixelRect& area)
{
    if (BeginPanel("Messages", area)) {
        const std::string& strError = m_Session.GetRunError();
        if (!strError.empty()) {
            ImGui::PushStyleColor(ImGuiCol_Text, s_ErrorColour);
            ImGui::TextWrapped("Stopped: %s", strError.c_str());
            ImGui::PopStyleColor();
            if (ImGui::Button("Run again")) m_Session.Retry();
        }
        const std::vector<ShaderProblem> problems = m_Session.GetReloader().GetProblems();
        for (const ShaderProblem& problem : problems) {
            ImGui::PushStyleColor(ImGuiCol_Text, s_ErrorColour);
            ImGui::TextWrapped("%s", problem.Text().c_str());
            ImGui::PopStyleColor();
        }
        if (!problems.empty()) ImGui::TextDisabled("The filters keep the program they had before the change.");
        ImGui::TextDisabled("%zu shader files watched for changes; frame %llu",
                            m_Session.GetReloader().GetWatchedFiles().size(),
                            static_cast<unsigned long long>(m_Session.GetFrameCount()));
        ImGui::Separator();
        ImGui::BeginChild("log");
        const auto& messages = m_Session.GetLog().GetMessages();
        const std::size_t uiFirst = messages.size() > 100 ? messages.size() - 100 : 0;
        for (std::size_t i = uiFirst; i < messages.size(); ++i) ImGui::TextWrapped("%s", messages[i].c_str());
        if (ImGui::GetScrollY() >= ImGui::GetScrollMaxY()) ImGui::SetScrollHereY(1.0f);
        ImGui::EndChild();
    }
    ImGui::End();
}

} // namespace OndoView
