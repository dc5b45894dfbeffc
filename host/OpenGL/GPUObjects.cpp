#include "Ondo/OpenGL/GPUObjects.h"

namespace Ondo::OpenGL {

TextureObject::~TextureObject() = default;

void TextureObject::Release()
{
    if (m_uiName != 0) glDeleteTextures(1, &m_uiName);
    m_uiName = 0;
}

BufferObject::~BufferObject() = default;

void BufferObject::Release()
{
    if (m_uiName != 0) glDeleteBuffers(1, &m_uiName);
    m_uiName = 0;
}

} // namespace Ondo::OpenGL

#define ONDO_DEFINE_PORT_NAMES(T, CLASS_NAME, TYPE_NAME)                                            \
    template <>                                                                                      \
    const std::string Ondo::FlowGraph::SimplePortT<T>::s_strClassName = CLASS_NAME;                  \
    template <>                                                                                      \
    const std::string Ondo::FlowGraph::SimplePortT<T>::s_strTypeName = TYPE_NAME;

ONDO_DEFINE_PORT_NAMES(Ondo::OpenGL::TextureObject2D, "Ondo::OpenGL::TexturePort2D", "Ondo::OpenGL::TextureObject2D")
ONDO_DEFINE_PORT_NAMES(Ondo::OpenGL::TextureObject3D, "Ondo::OpenGL::TexturePort3D", "Ondo::OpenGL::TextureObject3D")
ONDO_DEFINE_PORT_NAMES(Ondo::OpenGL::TextureObjectCube, "Ondo::OpenGL::TexturePortCube",
                       "Ondo::OpenGL::TextureObjectCube")
ONDO_DEFINE_PORT_NAMES(Ondo::OpenGL::BufferObject, "Ondo::OpenGL::BufferPort", "Ondo::OpenGL::BufferObject")
ONDO_DEFINE_PORT_NAMES(std::vector<Ondo::OpenGL::SimpleMaterialGroup>, "Ondo::OpenGL::VecOfMaterialGroupPort",
                       "std::vector<Ondo::OpenGL::SimpleMaterialGroup>")
ONDO_DEFINE_PORT_NAMES(std::vector<Ondo::OpenGL::SimpleMaterial>, "Ondo::OpenGL::VecOfMaterials",
                       "std::vector<Ondo::OpenGL::SimpleMaterial>")
ONDO_DEFINE_PORT_NAMES(GLuint, "Ondo::OpenGL::GLuintPort", "GLuint")
