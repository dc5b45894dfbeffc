#pragma once

#include "frame/RenderPass.h"

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/FlowGraph/ValuePorts.h"
#include "Ondo/Instrumenter.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Prismvale {

// Renders the whole index buffer of a mesh into a G-buffer whose layout the
// user defines: a list of named per-vertex attributes, each read from its own
// buffer, optionally transformed by one of the standard matrices or scaled by
// the "Deformation" value, and written to its own colour target. The vertex
// and fragment shaders are written as text from that list; their port pragmas
// give the node one buffer input, one target input and one texture output per
// attribute. With no attributes only depth is written. Materials are not used,
// so this is the renderer for untextured meshes. Nothing is cleared.
class FilterGenericDeferredRenderer : public Ondo::OpenGL::BaseFilter {
public:
    // One user attribute. The control ids are the editor's, not stored.
    struct DeferredAttribute {
        std::string strAttributeName;
        GLenum eAttributeType = GL_FLOAT_VEC3;
        std::int32_t eAttributeInterpolation = 0; // 0 smooth, 1 noperspective, 2 flat; kept, not used
        std::int32_t eAttributeModifier = 0;
        std::vector<Ondo::Instrumenter::ControlId> m_ControlIds;

        void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer);
    };
    using AttributeList = std::vector<std::unique_ptr<DeferredAttribute>>;

    FilterGenericDeferredRenderer(Ondo::Core& core, const std::string& strName);

    // The shader texts for an attribute list. Throw std::runtime_error
    // "Invalid Attribute Type" for a type outside float/vec2/vec3/vec4 and
    // "Invalid Modifier." for a modifier above 8. The fragment text is empty
    // when there are no attributes.
    static std::string GenerateVertexShader(const AttributeList& attributes);
    static std::string GenerateFragmentShader(const AttributeList& attributes);

    void CreatePorts() override;
    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer) override;
    void Instrument(Ondo::Instrumenter& instrumenter) override;
    void InitResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void ReleaseResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void Process(Ondo::FlowGraph::ScopeExecuter& executer) override;

    const AttributeList& GetAttributes() const { return m_Attributes; }

private:
    using MatrixPort = Ondo::FlowGraph::SimplePortT<Ondo::Matrix44f>;
    using FloatPort = Ondo::FlowGraph::SimplePortT<float>;
    using TexturePort = Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObject2D>;
    using BufferPort = Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::BufferObject>;

    void BuildProgram();
    // Rebuilds after an edit, when the filter has its GL resources.
    void Rebuild();
    void SerializeAttributes(Ondo::FlowGraph::Serialization::Serializer& serializer);
    // Refuses a name that would give no port, or the port of another one.
    void CheckNewName(const std::string& strName, const AttributeList& existing) const;
    void AddAttributeControls(DeferredAttribute& attribute);
    void RemoveAttributeControls(DeferredAttribute& attribute);
    // Refuses an index buffer or a vertex buffer that holds nothing, an index
    // past the vertices, and an attribute the shader leaves unwritten.
    // Returns the number of indices to draw.
    GLsizei CheckGeometry();

    Ondo::FlowGraph::PortHandle<MatrixPort> hMatWorld;
    Ondo::FlowGraph::PortHandle<MatrixPort> hMatView;
    Ondo::FlowGraph::PortHandle<MatrixPort> hMatProjection;
    Ondo::FlowGraph::PortHandle<FloatPort> hDeformation;
    Ondo::FlowGraph::PortHandle<BufferPort> hIndicesIn;
    Ondo::FlowGraph::PortHandle<TexturePort> hTextureTargetDepthIn;
    Ondo::FlowGraph::PortHandle<TexturePort> hTextureOutDepth;
    AttributeList m_Attributes;
    // The framebuffer, the generated program and the shader ports.
    RenderPass m_Pass;
    // The editor's "New Attribute Name" text, and the editor itself once
    // it has asked for controls.
    std::string m_strNewAttributeName;
    Ondo::Instrumenter* m_pInstrumenter = nullptr;
    // The largest index of the index buffer last scanned, by name and size.
    GLuint m_uiScannedBuffer = 0;
    GLint m_iScannedBytes = -1;
    GLuint m_uiMaxIndex = 0;
};

} // namespace Prismvale
