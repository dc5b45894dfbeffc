#pragma once

// The window of ondo-view: Dear ImGui panels over a running graph. Every
// frame runs the graph in the window's context, then draws the panels: the
// filters by scope, the selected filter's controls and ports, a preview of a
// texture, the filters' times and the messages.

#include "Preview.h"

#include "Ondo/GFX/ImageData.h"

#include <GL/glew.h>

#include <optional>
#include <string>
#include <vector>

namespace Ondo::Host {
class GlfwWindow;
}
namespace Ondo::FlowGraph {
class Port;
class Scope;
class ScopeItem;
} // namespace Ondo::FlowGraph
namespace Ondo::OpenGL {
class TextureObject;
}

namespace OndoView {

class ViewSession;

// A rectangle of the window in framebuffer pixels, counted from the top left.
struct PixelRect {
    int m_iX = 0, m_iY = 0, m_iWidth = 0, m_iHeight = 0;
};

// The texture an output (or input) port carries; null for other ports and
// for ports that carry nothing yet.
const Ondo::OpenGL::TextureObject* TextureOf(const Ondo::FlowGraph::Port& port);

class ViewApp {
public:
    // Sets Dear ImGui up on the window; the session's graph must use the
    // window's context. Selects the last filter with a texture output and
    // previews that output.
    ViewApp(Ondo::Host::GlfwWindow& window, ViewSession& session);
    ~ViewApp();
    ViewApp(const ViewApp&) = delete;
    ViewApp& operator=(const ViewApp&) = delete;

    // One frame: window events, the graph, the panels, then the picture is
    // shown. With bCapture the finished picture is kept (GetCapture) before
    // it is shown.
    void Frame(bool bCapture = false);
    bool ShouldClose() const;

    void Select(const std::string& strItem);
    const std::string& GetSelected() const { return m_strSelected; }
    // Shows a texture port of an item in the preview.
    void SetPreview(const std::string& strItem, const std::string& strPort);
    PreviewSettings& GetPreviewSettings() { return m_PreviewSettings; }
    // Fit the texture into the panel, or show it at m_fZoom texels per pixel.
    void SetZoom(std::optional<float> zoom) { m_Zoom = zoom; }

    // Where the last frame drew the preview picture (empty when none), the
    // texels it showed, and why it showed none.
    const PixelRect& GetPreviewRect() const { return m_PreviewRect; }
    const TexelImage& GetPreviewTexels() const { return m_PreviewTexels; }
    const std::string& GetPreviewProblem() const { return m_strPreviewProblem; }

    // The last captured picture of the window: RGBA8, rows bottom-up.
    const Ondo::GFX::ImageData& GetCapture() const { return m_Capture; }
    // Writes the capture as PNG. Throws Ondo::ExceptionFileSystem naming the
    // path, and std::runtime_error when nothing was captured.
    void WriteCapture(const std::string& strPath) const;

    // What Ctrl+S does: saves the graph where the session saves it and says
    // so in the status line (or why it could not).
    void SaveGraph();
    const std::string& GetStatus() const { return m_strStatus; }

private:
    void UpdatePreview();
    void DrawMenu();
    void DrawFilters(const PixelRect& area);
    void DrawScope(Ondo::FlowGraph::Scope& scope);
    void DrawFilter(const PixelRect& area);
    void DrawPorts(Ondo::FlowGraph::ScopeItem& item);
    void DrawPreview(const PixelRect& area);
    void DrawTimes(const PixelRect& area);
    void DrawMessages(const PixelRect& area);
    std::string DescribeSource(const Ondo::FlowGraph::ScopeItem& item, const Ondo::FlowGraph::Port& port) const;
    void Capture();

    Ondo::Host::GlfwWindow& m_Window;
    ViewSession& m_Session;
    std::string m_strSelected;
    std::string m_strPreviewItem;
    std::string m_strPreviewPort;
    PreviewSettings m_PreviewSettings;
    std::optional<float> m_Zoom;
    TexelImage m_PreviewTexels;
    std::string m_strPreviewProblem;
    PixelRect m_PreviewRect;
    std::string m_strHoveredTexel;
    GLuint m_uiPreviewTexture = 0;
    Ondo::GFX::ImageData m_Capture;
    std::string m_strStatus;
    bool m_bQuit = false;
};

} // namespace OndoView
