#pragma once

#include "frame/ImageUnitFormat.h"

#include "Ondo/OpenGL/GLSLShaderPortHooker.h"
#include "Ondo/OpenGL/GPUObjects.h"
#include "Ondo/Vector.h"

#include <GL/glew.h>

#include <optional>
#include <string>
#include <vector>

namespace Ondo::OpenGL {
class BaseFilter;
}
namespace Ondo::GFX {
struct LightSource;
}

namespace Prismvale {

// Fixed uniform locations of every render-pass program.
constexpr GLint ModelViewProjectionLocation = 0;
constexpr GLint WorldLocation = 1;
constexpr GLint NormalMatrixLocation = 2;

// Fixed attribute locations of every render-pass program.
constexpr GLuint PositionAttribute = 0;
constexpr GLuint NormalAttribute = 1;
constexpr GLuint TexCoordAttribute = 2;

// The matrices a render pass draws a mesh with, computed on the CPU from the
// matrix ports: World (identity when its port holds no value), the
// model-view-projection Projection x View x World, and the normal matrix, the
// upper 3 x 3 of the transposed inverse of World.
struct RenderMatrices {
    Ondo::Matrix44f m_World = Ondo::Matrix44f::Identity();
    Ondo::Matrix44f m_View = Ondo::Matrix44f::Identity();
    Ondo::Matrix44f m_Projection = Ondo::Matrix44f::Identity();
    Ondo::Matrix44f m_ModelViewProjection = Ondo::Matrix44f::Identity();
    Ondo::Matrix33f m_Normal = Ondo::Matrix33f::Identity();

    static RenderMatrices From(const Ondo::Matrix44f* pWorld, const Ondo::Matrix44f& view,
                               const Ondo::Matrix44f& projection);
};

// The value of a required matrix input; throws std::runtime_error naming the
// input when it is connected but carries no matrix.
const Ondo::Matrix44f& RequireMatrix(const Ondo::Matrix44f* pMatrix, const std::string& strLabel);

// The point that a matrix maps to the origin, i.e. the eye of a view matrix
// seen in the space the matrix starts from: with E = inverse(m),
// (E[12], E[13], E[14]) / E[15] in column-major numbering. Nothing when m has
// no inverse or E[15] is 0.
std::optional<Ondo::Vector3f> EyePosition(const Ondo::Matrix44f& m);

// Sets element 0 of the program's light array "LightSources" from the light:
// type, position, colour, attenuation, spot cut-off and spot direction, each
// member's location looked up by name anew (a member the program lacks has
// location -1, which the GL ignores).
void UploadLight(GLuint uiProgram, const Ondo::GFX::LightSource& light);

// The size of a colour target that a pass draws to through its framebuffer.
// Refuses (std::runtime_error naming the port and the format) a target that
// is missing, of a format the GL need not render to, or whose texels are of
// another kind than eWritten, the kind the program's output writes.
Ondo::Vector2i RequireColourTarget(const std::string& strLabel, const Ondo::OpenGL::TextureObject2D* pTarget,
                                   TexelKind eWritten);

// One vertex buffer feeding a fixed attribute location with tightly packed
// floats, and the messages that refuse it when it has no GL name or no bytes.
struct VertexBufferInput {
    const Ondo::OpenGL::BufferObject* m_pBuffer;
    GLuint m_uiLocation;
    GLint m_iComponents;
    const char* m_szNoName;
    const char* m_szEmpty;
};

// What the passes that draw geometry into target textures share: one
// framebuffer (m_uiFBO) and one program (m_uiProgram) per filter, built from a
// vertex and a fragment shader file under the shader root; the port hooker
// that makes ports of the shaders' annotations, the colour surfaces among
// them; targets attached on every run, after their formats and sizes were
// checked; matrices at the fixed uniform locations; vertex buffers at the
// fixed attribute locations.
//
// A run reads: CheckTargets, CheckVertexBuffers (both before any GL state
// changes, so a refused run leaves nothing bound), BindTargets, SetMatrices,
// Use, BindVertexBuffers, the owner's draw calls, then Finish.
class RenderPass {
public:
    RenderPass(Ondo::OpenGL::BaseFilter& owner, std::wstring strVertex, std::wstring strFragment);

    // Makes the framebuffer and the program, and the hooker's ports anew from
    // both shader files.
    void Build();
    // For passes whose shaders are written at run time: makes the framebuffer
    // once, and the program and the hooker's ports anew from the two texts
    // (no fragment stage when its text is empty, so only depth is written).
    // Compile and link failures go to the compiler's log; CheckTargets then
    // refuses to draw with the program.
    void BuildFromText(const std::string& strVertex, const std::string& strFragment);
    // Unhooks and deletes the program, deletes the framebuffer; names that
    // are 0 are skipped.
    void Release();

    GLuint GetProgram() const { return m_uiProgram; }
    GLuint GetFramebuffer() const { return m_uiFBO; }
    Ondo::OpenGL::GLSLShaderPortHooker& GetHooker() { return m_ShaderHelper; }
    // The full paths of the two shader files.
    std::wstring GetVertexPath() const;
    std::wstring GetFragmentPath() const;

    // Refuses, naming the port and the format or size, a depth target that
    // is missing or not of a depth format, and a colour surface that is
    // missing, of a format the GL need not render to, of another kind of
    // texel than its shader output writes, or of another size than the depth
    // target. Returns the size of the depth target.
    Ondo::Vector2i CheckTargets(const std::string& strDepthLabel, const Ondo::OpenGL::TextureObject2D* pDepth);
    // The same, and a colour target that the owner attaches itself (its
    // program writes floats to output 0), refused for the same reasons.
    Ondo::Vector2i CheckTargets(const std::string& strDepthLabel, const Ondo::OpenGL::TextureObject2D* pDepth,
                                const std::string& strColourLabel, const Ondo::OpenGL::TextureObject2D* pColour);
    // The vertex buffers of the program's attribute ports, and the messages
    // that refuse them (for CheckVertexBuffers). Throws for an attribute
    // that is not of float components.
    struct AttributeBuffers {
        std::vector<std::string> m_Messages;
        std::vector<VertexBufferInput> m_Inputs;
    };
    AttributeBuffers CollectAttributeBuffers() const;
    // Refuses, in order, a buffer without GL name or without bytes with its
    // messages. Returns how many whole vertices every buffer holds.
    GLuint CheckVertexBuffers(const std::vector<VertexBufferInput>& buffers);

    // The viewport over the depth target, the framebuffer bound with the
    // surfaces and the depth target attached and drawn to, depth testing on;
    // pColour, when given, at colour attachment 0 (for programs that declare
    // no surface there). An incomplete framebuffer is detached and unbound
    // before the error.
    void BindTargets(const Ondo::OpenGL::TextureObject2D& depth, const Ondo::Vector2i& size,
                     const Ondo::OpenGL::TextureObject2D* pColour = nullptr);
    void SetMatrices(const RenderMatrices& matrices);
    // glUseProgram and the hooker's attribute buffers.
    void Use();
    void BindVertexBuffers(const std::vector<VertexBufferInput>& buffers);
    // Disables the attributes, unbinds program, texture unit 0, surfaces,
    // depth target and framebuffer. Depth testing stays enabled.
    void Finish(const std::vector<VertexBufferInput>& buffers);

private:
    std::wstring m_strVertex;
    std::wstring m_strFragment;
    GLuint m_uiFBO = 0;
    GLuint m_uiProgram = 0;
    Ondo::OpenGL::GLSLShaderPortHooker m_ShaderHelper;
};

} // namespace Prismvale
