#pragma once

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/Vector.h"

#include <GL/glew.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Ondo::OpenGL {

// Holds the name of one GL texture. Whoever made the texture owns the holder
// and calls Release() while the context is current; the destructor never
// touches GL, so a holder may outlive its context.
class TextureObject {
public:
    explicit TextureObject(GLuint uiName = 0) : m_uiName(uiName) {}
    TextureObject(const TextureObject&) = default;
    TextureObject& operator=(const TextureObject&) = default;
    virtual ~TextureObject();

    virtual GLenum GetTarget() const = 0;
    GLuint GetName() const { return m_uiName; }
    // Deletes the texture (when there is one) and leaves the name 0.
    void Release();

    GLuint m_uiName;
};

class TextureObject2D : public TextureObject {
public:
    using TextureObject::TextureObject;
    GLenum GetTarget() const override { return GL_TEXTURE_2D; }
};

class TextureObject3D : public TextureObject {
public:
    using TextureObject::TextureObject;
    GLenum GetTarget() const override { return GL_TEXTURE_3D; }
};

class TextureObjectCube : public TextureObject {
public:
    using TextureObject::TextureObject;
    GLenum GetTarget() const override { return GL_TEXTURE_CUBE_MAP; }
};

// Holds the name of one GL buffer, with the same ownership rules.
class BufferObject {
public:
    explicit BufferObject(GLuint uiName = 0) : m_uiName(uiName) {}
    virtual ~BufferObject();
    GLuint GetName() const { return m_uiName; }
    void Release();

    GLuint m_uiName;
};

// A texture a material refers to, with its kind ("Diffuse", "Bump", ...);
// empty when its file could not be loaded.
struct TextureReference {
    std::shared_ptr<TextureObject2D> m_pTexture;
    std::string m_strType;
};

struct SimpleMaterial {
    Vector4f m_vAmbient;
    Vector4f m_vDiffuse;
    Vector4f m_vSpecular;
    Vector4f m_vEmission;
    float m_fShininess = 0.0f;
    std::string m_strName;
    std::vector<TextureReference> m_Textures;
};

// One draw range of an index buffer: glDrawRangeElements(mode, minimum,
// maximum, count, GL_UNSIGNED_INT, first * 4).
struct SimpleMaterialGroup {
    // Read as signed: negative means no material.
    std::uint32_t m_uiMaterialIndex = 0;
    std::uint32_t m_uiFirstIndex = 0;
    std::uint32_t m_uiIndexCount = 0;
    std::uint32_t m_uiMinVertexIndex = 0;
    std::uint32_t m_uiMaxVertexIndex = 0;
    std::uint32_t m_uiPrimitiveMode = GL_TRIANGLES;
};

// A port carrying a GL object name (a sampler, most often).
using GLuintPort = FlowGraph::SimplePortT<GLuint>;

} // namespace Ondo::OpenGL

#define ONDO_DECLARE_GPU_PORT_NAMES(T)                                                               \
    template <>                                                                                      \
    const std::string Ondo::FlowGraph::SimplePortT<T>::s_strClassName;                               \
    template <>                                                                                      \
    const std::string Ondo::FlowGraph::SimplePortT<T>::s_strTypeName;

ONDO_DECLARE_GPU_PORT_NAMES(Ondo::OpenGL::TextureObject2D)
ONDO_DECLARE_GPU_PORT_NAMES(Ondo::OpenGL::TextureObject3D)
ONDO_DECLARE_GPU_PORT_NAMES(Ondo::OpenGL::TextureObjectCube)
ONDO_DECLARE_GPU_PORT_NAMES(Ondo::OpenGL::BufferObject)
ONDO_DECLARE_GPU_PORT_NAMES(std::vector<Ondo::OpenGL::SimpleMaterialGroup>)
ONDO_DECLARE_GPU_PORT_NAMES(std::vector<Ondo::OpenGL::SimpleMaterial>)
ONDO_DECLARE_GPU_PORT_NAMES(GLuint)
