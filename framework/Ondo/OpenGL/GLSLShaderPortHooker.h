#pragma once

#include "Ondo/FlowGraph/PortHandle.h"
#include "Ondo/OpenGL/ShaderCompiler.h"

#include <GL/glew.h>

#include <memory>
#include <string>
#include <vector>

namespace Ondo::FlowGraph {
class Port;
namespace Serialization {
class Serializer;
}
} // namespace Ondo::FlowGraph

namespace Ondo::OpenGL {

class BaseFilter;

// Turns annotated shader variables into ports of a filter and feeds them.
//
// A shader declares its ports with pragma lines (one per line, the trailing
// semicolon optional):
//
//   #pragma ONDO_PORT_UNIFORM(variable,"Label")
//       A uniform. A sampler or image gives a required texture input of the
//       matching dimension (2D, 3D or cube); a float, int, bool, vec2/3/4,
//       ivec2 or mat4 gives an optional value input: while it holds no value
//       the uniform is given the shader's own initial value.
//   #pragma ONDO_PORT_ATTRIBUTE(variable,"Label")
//       A vertex attribute: a required buffer input whose buffer feeds the
//       attribute's location (tightly packed, as many components as the
//       attribute's type has).
//   #pragma ONDO_PORT_SURFACE(variable,"Target label","Output label")
//       A fragment output: a required texture input (the target to draw into)
//       and an output that carries the same texture on once drawn.
//
// Types and locations come from the linked program, so a variable the
// compiler removed as unused gives no port (the filter's core logger is told).
// Ports are keyed by label and kind: rebuilding a program (RemoveAllShaderPorts
// followed by AddPortsFrom...) keeps every port that is declared again, with
// its index, value and connections; the filter removes the others once the
// rebuild is over (RemoveTemporaryPorts).
class GLSLShaderPortHooker {
public:
    explicit GLSLShaderPortHooker(BaseFilter& owner);
    GLSLShaderPortHooker(const GLSLShaderPortHooker&) = delete;
    GLSLShaderPortHooker& operator=(const GLSLShaderPortHooker&) = delete;
    ~GLSLShaderPortHooker();

    // Reads the annotations of the shader file (the extra text is read as
    // well) and hooks them to the program. Throws Ondo::ExceptionFileMissing /
    // ExceptionFileSystem when the file cannot be read, and std::runtime_error
    // naming the file and line of a malformed annotation.
    void AddPortsFromShaderFile(GLuint uiProgram, const std::wstring& strPath, const std::wstring& strExtra);
    void AddPortsFromShaderMemory(GLuint uiProgram, const std::string& strSource, const std::wstring& strExtra);

    // Starts a rebuild: every port becomes temporary until declared again.
    void RemoveAllShaderPorts();
    // Removes the ports that are still temporary. Returns how many went.
    std::size_t RemoveTemporaryPorts();
    // Forgets what is hooked to the program (before it is deleted); ports stay.
    void RemoveHooks(GLuint uiProgram);

    // Feeds the program's hooked uniforms from their ports: values that are
    // present, and textures and images on units counting up from the first
    // unit in declaration order. Returns the next free unit.
    int UpdateUniformVariables(GLuint uiProgram, int iFirstUnit);
    void BindAttributes(GLuint uiProgram);
    void UnbindAttributes(GLuint uiProgram);
    // Attaches the targets of the program's surfaces to the framebuffer as
    // colour attachment <location> and returns the draw-buffer list, indexed
    // by location (GL_NONE where no surface is). Throws std::runtime_error
    // when a location is beyond the context's colour attachments.
    std::vector<GLenum> BindSurfaces(GLuint uiProgram, GLuint uiFramebuffer);
    void UnbindSurfaces(GLuint uiProgram, GLuint uiFramebuffer);
    // Each surface output carries its target's texture, marked changed.
    void SetOutputs();

    // Writes the hooked ports (label, port class, handle) so that a saved
    // graph records them; reading compares them with the ports the shaders
    // declare now and tells the core logger about those that went missing.
    void Serialize(FlowGraph::Serialization::Serializer& serializer);

    enum class Kind { Value, Texture, Image, Attribute, Surface };
    // What the hooker knows about one port and its uses in programs.
    struct PortInfo {
        Kind m_eKind;
        std::string m_strLabel;
        std::string m_strOutputLabel;
        FlowGraph::PortHandle<FlowGraph::Port> m_hPort;
        FlowGraph::PortHandle<FlowGraph::Port> m_hOutput;
        bool m_bTemporary = false;
    };
    struct Hook {
        GLuint m_uiProgram = 0;
        std::string m_strVariable;
        GLenum m_eType = 0;
        GLint m_iLocation = -1;
        PortInfo* m_pPort = nullptr;
        // A value uniform's initial value, set while its port holds none:
        // programs are shared between filters, so what another filter set
        // must not stand in for the shader's own value.
        UniformWords m_Initial{};
    };
    const std::vector<std::unique_ptr<PortInfo>>& GetPorts() const { return m_Ports; }
    const std::vector<Hook>& GetHooks() const { return m_Hooks; }

private:
    struct Annotation;
    void AddPorts(GLuint uiProgram, const std::string& strSource, const std::string& strOrigin);
    void HookAnnotation(GLuint uiProgram, const Annotation& annotation);
    PortInfo& AcquirePort(const Annotation& annotation, Kind eKind, const std::string& strClass);
    void Report(const std::string& strMessage) const;

    BaseFilter& m_Owner;
    std::vector<std::unique_ptr<PortInfo>> m_Ports;
    std::vector<Hook> m_Hooks;
};

} // namespace Ondo::OpenGL
