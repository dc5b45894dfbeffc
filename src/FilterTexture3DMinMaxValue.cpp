#include "src/FilterTexture3DMinMaxValue.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/OpenGL/Textures.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace Prismvale {

namespace {
const FilterRegistration<FilterTexture3DMinMaxValue> s_Registration(
    "OpenGL.Texture3D.MinMaxValue", "src\\FilterTexture3DMinMaxValue",
    "For retrieving the minimum and maximum value of an OpenGL 3D texture", "OpenGL;Texture;Min;Max;Texture3D");

// How the texels of an accepted internal format are read back: the element
// type they are read and converted as, the channels, and the transfer format.
// GL_RGB8 is normalised but read as signed bytes, so its values come out
// halved (0 to 127). The render-device library does not know every format
// here (GL_RG8I, GL_RGB16UI, ...), so the table carries the channels and the
// transfer format itself.
struct ReadBack {
    GLenum m_eInternalFormat;
    GLenum m_eElementType;
    unsigned int m_uiComponents;
    GLenum m_eTransferFormat;
};

const ReadBack s_ReadBacks[] = {
    {GL_RGB8, GL_BYTE, 3, GL_RGB},
    {GL_R8I, GL_BYTE, 1, GL_RED_INTEGER},
    {GL_RG8I, GL_BYTE, 2, GL_RG_INTEGER},
    {GL_RGB8I, GL_BYTE, 3, GL_RGB_INTEGER},
    {GL_RGBA8I, GL_BYTE, 4, GL_RGBA_INTEGER},
    {GL_R8UI, GL_UNSIGNED_BYTE, 1, GL_RED_INTEGER},
    {GL_RG8UI, GL_UNSIGNED_BYTE, 2, GL_RG_INTEGER},
    {GL_RGB8UI, GL_UNSIGNED_BYTE, 3, GL_RGB_INTEGER},
    {GL_RGBA8UI, GL_UNSIGNED_BYTE, 4, GL_RGBA_INTEGER},
    {GL_R16I, GL_SHORT, 1, GL_RED_INTEGER},
    {GL_RG16I, GL_SHORT, 2, GL_RG_INTEGER},
    {GL_RGB16I, GL_SHORT, 3, GL_RGB_INTEGER},
    {GL_RGBA16I, GL_SHORT, 4, GL_RGBA_INTEGER},
    {GL_R16UI, GL_UNSIGNED_SHORT, 1, GL_RED_INTEGER},
    {GL_RG16UI, GL_UNSIGNED_SHORT, 2, GL_RG_INTEGER},
    {GL_RGB16UI, GL_UNSIGNED_SHORT, 3, GL_RGB_INTEGER},
    {GL_RGBA16UI, GL_UNSIGNED_SHORT, 4, GL_RGBA_INTEGER},
    {GL_R32I, GL_INT, 1, GL_RED_INTEGER},
    {GL_RG32I, GL_INT, 2, GL_RG_INTEGER},
    {GL_RGB32I, GL_INT, 3, GL_RGB_INTEGER},
    {GL_RGBA32I, GL_INT, 4, GL_RGBA_INTEGER},
    {GL_R32UI, GL_UNSIGNED_INT, 1, GL_RED_INTEGER},
    {GL_RG32UI, GL_UNSIGNED_INT, 2, GL_RG_INTEGER},
    {GL_RGB32UI, GL_UNSIGNED_INT, 3, GL_RGB_INTEGER},
    {GL_RGBA32UI, GL_UNSIGNED_INT, 4, GL_RGBA_INTEGER},
    {GL_R32F, GL_FLOAT, 1, GL_RED},
    {GL_RG32F, GL_FLOAT, 2, GL_RG},
    {GL_RGB32F, GL_FLOAT, 3, GL_RGB},
    {GL_RGBA32F, GL_FLOAT, 4, GL_RGBA},
};

// Folds every group of the read-back elements into the running minimum and
// maximum, channel by channel.
template <class T>
void Fold(const std::vector<std::uint8_t>& buffer, unsigned int uiComponents, Ondo::Vector4f& vMin,
          Ondo::Vector4f& vMax)
{
    const std::size_t uiCount = buffer.size() / sizeof(T);
    for (std::size_t i = 0; i < uiCount; ++i) {
        T element;
        std::memcpy(&element, buffer.data() + i * sizeof(T), sizeof(T));
        const float fValue = static_cast<float>(element);
        const std::size_t c = i % uiComponents;
        vMin[c] = std::min(vMin[c], fValue);
        vMax[c] = std::max(vMax[c], fValue);
    }
}

std::size_t ElementSize(GLenum eType)
{
    switch (eType) {
    case GL_BYTE:
    case GL_UNSIGNED_BYTE: return 1;
    case GL_SHORT:
    case GL_UNSIGNED_SHORT: return 2;
    default: return 4;
    }
}
} // namespace

FilterTexture3DMinMaxValue::FilterTexture3DMinMaxValue(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName)
{
}

void FilterTexture3DMinMaxValue::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hInTex, {PortType::Input, "Texture", false});
    CreatePort(hMin, {PortType::Output, "Min", false});
    CreatePort(hMax, {PortType::Output, "Max", false});
}

void FilterTexture3DMinMaxValue::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    serializer.Serialize("hInTex", hInTex);
    serializer.Serialize("hMin", hMin);
    serializer.Serialize("hMax", hMax);
}

// The outputs are marked changed exactly on the runs that recomputed them.
void FilterTexture3DMinMaxValue::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    const Ondo::OpenGL::TextureObject3D* pTexture = hInTex->GetData();
    const bool bRecompute = pTexture && hInTex->HasChanged();
    if (bRecompute) Recompute(pTexture->m_uiName);
    hMin->SetData(&m_vMin, bRecompute);
    hMax->SetData(&m_vMax, bRecompute);
}

// Reads level 0 back tightly packed and folds it. An internal format outside
// the table throws, leaving the last result in place.
void FilterTexture3DMinMaxValue::Recompute(GLuint uiTexture)
{
    const Ondo::VectorT<int, 3> size = Ondo::OpenGL::GetImageSize3D(uiTexture);
    const GLenum eFormat = Ondo::OpenGL::GetInternalFormat3D(uiTexture);
    const ReadBack* pReadBack = std::find_if(std::begin(s_ReadBacks), std::end(s_ReadBacks),
                                             [eFormat](const ReadBack& r) { return r.m_eInternalFormat == eFormat; });
    if (pReadBack == std::end(s_ReadBacks)) throw std::runtime_error("Unknown size of internal Format");

    std::vector<std::uint8_t> buffer(ElementSize(pReadBack->m_eElementType) * pReadBack->m_uiComponents *
                                     static_cast<std::size_t>(std::max(size[0], 0)) *
                                     static_cast<std::size_t>(std::max(size[1], 0)) *
                                     static_cast<std::size_t>(std::max(size[2], 0)));
    GLint iAlignment = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &iAlignment);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_3D, uiTexture);
    glGetTexImage(GL_TEXTURE_3D, 0, pReadBack->m_eTransferFormat, pReadBack->m_eElementType, buffer.data());
    glBindTexture(GL_TEXTURE_3D, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, iAlignment);

    Ondo::Vector4f vMin{FLT_MAX, FLT_MAX, FLT_MAX, FLT_MAX};
    Ondo::Vector4f vMax{-FLT_MAX, -FLT_MAX, -FLT_MAX, -FLT_MAX};
    const unsigned int n = pReadBack->m_uiComponents;
    switch (pReadBack->m_eElementType) {
    case GL_BYTE: Fold<std::int8_t>(buffer, n, vMin, vMax); break;
    case GL_UNSIGNED_BYTE: Fold<std::uint8_t>(buffer, n, vMin, vMax); break;
    case GL_SHORT: Fold<std::int16_t>(buffer, n, vMin, vMax); break;
    case GL_UNSIGNED_SHORT: Fold<std::uint16_t>(buffer, n, vMin, vMax); break;
    case GL_INT: Fold<std::int32_t>(buffer, n, vMin, vMax); break;
    case GL_UNSIGNED_INT: Fold<std::uint32_t>(buffer, n, vMin, vMax); break;
    default: Fold<float>(buffer, n, vMin, vMax); break;
    }
    m_vMin = vMin;
    m_vMax = vMax;
}

} // namespace Prismvale
