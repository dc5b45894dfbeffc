#pragma once

// Filters that turn an array arriving on an input into a GPU object: 2D float
// textures (from floats or from 3- or 4-float vectors) and array buffers
// (from 3- or 4-float vectors). The texture makers differ only in the element
// type of their input, its label and their default size, so they share one
// class template; the buffer makers are a second template.

#include "Ondo/Core.h"
#include "Ondo/Exceptions.h"
#include "Ondo/FlowGraph/Port.h"
#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/FlowGraph/ValuePorts.h"
#include "Ondo/GFX/ImageData.h"
#include "Ondo/Instrumenter.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"
#include "Ondo/OpenGL/Textures.h"
#include "Ondo/Vector.h"

#include <GL/glew.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace Prismvale {

// The texture formats the makers offer, in the order of the editor's list.
struct DataTextureFormat {
    const char* m_szName;
    std::int32_t m_iImageFormat;
};
inline constexpr std::array<DataTextureFormat, 4> DataTextureFormats{{{"GL_R32F", Ondo::GFX::FormatR32F},
                                                                      {"GL_RG32F", Ondo::GFX::FormatRG32F},
                                                                      {"GL_RGB32F", Ondo::GFX::FormatRGB32F},
                                                                      {"GL_RGBA32F", Ondo::GFX::FormatRGBA32F}}};

// The floats of one input element: a float is one, a vector its N values.
template <class TElement>
struct ElementFloats;
template <>
struct ElementFloats<float> {
    static constexpr std::size_t Count = 1;
    static const float* Of(const float& f) { return &f; }
};
template <std::size_t N>
struct ElementFloats<Ondo::VectorT<float, N>> {
    static constexpr std::size_t Count = N;
    static const float* Of(const Ondo::VectorT<float, N>& v) { return v.data(); }
};

// Tells the owner's core that an input carries no value, so nothing was
// made from it this time: an error of the run, which expected the object.
inline void ReportMissingData(const Ondo::OpenGL::BaseFilter& owner, const std::string& strLabel)
{
    owner.GetCore().ReportError("\"" + strLabel + "\" carries no value; nothing was made");
}

// Refuses a texture size below 1 (a stored or edited setting) with the
// exception of the caller's choice, naming the setting.
template <class TException>
void CheckSizeSetting(const char* szLabel, int iSize)
{
    if (iSize < 1)
        throw TException("\"" + std::string(szLabel) + "\" is " + std::to_string(iSize) +
                         "; a texture is at least 1 texel in each direction");
}

// A 2D float texture filled from the first width x height x channels floats
// of the input array (the elements' floats in order, no padding). Width and
// height come from the optional inputs "Width" and "Height" when they hold a
// value, else from the settings. The texture is rebuilt when the data input
// reports a change and after an editor change of size or format.
//
// Further behaviour:
// - every rebuild that made a texture is published as changed, also one that
//   only the data input asked for;
// - the texture a rebuild replaces is deleted once its successor exists, and
//   ReleaseResources deletes the current one, so no texture outlives the
//   filter's resources (the next Process after a new InitResources rebuilds);
// - a data input that carries no vector is not read: the core is told (an
//   error of the run), the output is left as it was and the rebuild waits;
// - a size below 1 is refused: a stored or edited setting at once, an input
//   value when the texture is built (an error reported to the core); a size
//   beyond GL_MAX_TEXTURE_SIZE is refused before any GL call.
template <class TElement>
class TextureMakerT : public Ondo::OpenGL::BaseFilter {
public:
    using DataPort = Ondo::FlowGraph::SimplePortT<std::vector<TElement>>;
    using TexturePort = Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::TextureObject2D>;
    using IntPort = Ondo::FlowGraph::SimplePortT<int>;

    void CreatePorts() override;
    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer) override;
    void Instrument(Ondo::Instrumenter& instrumenter) override;
    void ReleaseResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void Process(Ondo::FlowGraph::ScopeExecuter& executer) override;

protected:
    TextureMakerT(Ondo::Core& core, const std::string& strName, const char* szDataLabel, int iDefaultSize)
        : BaseFilter(core, strName, strName), m_iWidth(iDefaultSize), m_iHeight(iDefaultSize),
          m_iAcceptedWidth(iDefaultSize), m_iAcceptedHeight(iDefaultSize), m_szDataLabel(szDataLabel)
    {
    }

private:
    void RequestRebuild() { m_bDirty = true; }
    // Takes an edited size, or puts the accepted one back and refuses it.
    void OnSizeEdited(const char* szLabel, int& iSize, int& iAccepted);
    // True when a new texture was made.
    bool Build(const std::vector<TElement>& data);

    Ondo::FlowGraph::PortHandle<DataPort> hDataIn;
    Ondo::FlowGraph::PortHandle<TexturePort> hOutTexture;
    Ondo::FlowGraph::PortHandle<IntPort> hWidthIn;
    Ondo::FlowGraph::PortHandle<IntPort> hHeightIn;
    Ondo::OpenGL::TextureObject2D m_Texture;
    std::int32_t m_iImageFormat = Ondo::GFX::FormatR32F;
    int m_iWidth;
    int m_iHeight;
    // The sizes in force, to go back to when an edit is refused.
    int m_iAcceptedWidth;
    int m_iAcceptedHeight;
    bool m_bDirty = true;
    const char* m_szDataLabel;
};

// The texture maker for an array of 3- or 4-float vectors, 1 x 1 by default.
template <class TVector>
class FilterMakeTextureFromVecT : public TextureMakerT<TVector> {
public:
    FilterMakeTextureFromVecT(Ondo::Core& core, const std::string& strName)
        : TextureMakerT<TVector>(core, strName, "Input Data", 1)
    {
    }
};

// An array buffer holding the input's vectors, made anew whenever the input
// reports a change. A vector input that carries nothing is reported and
// skipped, as for the texture makers.
template <class TVector>
class FilterMakeBufferFromVec : public Ondo::OpenGL::BaseFilter {
public:
    using VecPort = Ondo::FlowGraph::SimplePortT<std::vector<TVector>>;
    using BufferPort = Ondo::FlowGraph::SimplePortT<Ondo::OpenGL::BufferObject>;

    FilterMakeBufferFromVec(Ondo::Core& core, const std::string& strName) : BaseFilter(core, strName, strName) {}

    void CreatePorts() override;
    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer) override;
    void ReleaseResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void Process(Ondo::FlowGraph::ScopeExecuter& executer) override;

private:
    // The elements go to GL as they lie in memory: N floats each, no padding.
    static_assert(sizeof(TVector) == ElementFloats<TVector>::Count * sizeof(float));

    Ondo::FlowGraph::PortHandle<VecPort> hVecIn;
    Ondo::FlowGraph::PortHandle<BufferPort> hBufferOut;
    Ondo::OpenGL::BufferObject m_Buffer;
};

// --- texture makers

template <class TElement>
void TextureMakerT<TElement>::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hDataIn, {PortType::Input, m_szDataLabel, false});
    CreatePort(hWidthIn, {PortType::Input, "Width", true});
    CreatePort(hHeightIn, {PortType::Input, "Height", true});
    CreatePort(hOutTexture, {PortType::Output, "OutputTexture", false});
}

// Reading leaves the dirty flag alone. A stored format outside the list is
// refused, so that a texture is only ever made in one of the four formats.
template <class TElement>
void TextureMakerT<TElement>::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    BaseFilter::Serialize(serializer);
    serializer.Serialize("hDataIn", hDataIn);
    serializer.Serialize("hOutTexture", hOutTexture);
    serializer.Serialize("hWidthIn", hWidthIn);
    serializer.Serialize("hHeightIn", hHeightIn);
    std::int32_t iImageFormat = m_iImageFormat;
    serializer.Serialize("ImageFormat", iImageFormat);
    if (std::none_of(DataTextureFormats.begin(), DataTextureFormats.end(),
                     [&](const DataTextureFormat& format) { return format.m_iImageFormat == iImageFormat; }))
        throw Ondo::ExceptionParsing(GetName() + ": ImageFormat " + std::to_string(iImageFormat) +
                                     " is none of 25 (GL_R32F), 26 (GL_RG32F), 27 (GL_RGB32F), 28 (GL_RGBA32F)");
    int iWidth = m_iWidth, iHeight = m_iHeight;
    serializer.Serialize("Width", iWidth);
    serializer.Serialize("Height", iHeight);
    if (!serializer.IsReader()) return;
    CheckSizeSetting<Ondo::ExceptionParsing>("Width", iWidth);
    CheckSizeSetting<Ondo::ExceptionParsing>("Height", iHeight);
    m_iImageFormat = iImageFormat;
    m_iWidth = m_iAcceptedWidth = iWidth;
    m_iHeight = m_iAcceptedHeight = iHeight;
}

template <class TElement>
void TextureMakerT<TElement>::Instrument(Ondo::Instrumenter& instrumenter)
{
    BaseFilter::Instrument(instrumenter);
    instrumenter.AddInt("Width", &m_iWidth, [this] { OnSizeEdited("Width", m_iWidth, m_iAcceptedWidth); });
    instrumenter.AddInt("Height", &m_iHeight, [this] { OnSizeEdited("Height", m_iHeight, m_iAcceptedHeight); });
    std::vector<std::string> names;
    std::vector<std::int32_t> codes;
    for (const DataTextureFormat& format : DataTextureFormats) {
        names.emplace_back(format.m_szName);
        codes.push_back(format.m_iImageFormat);
    }
    // The list always opens on its first entry, whatever format is stored.
    instrumenter.AddChoice("Texture Type", names, 0, [codes, this](int iIndex) {
        if (iIndex < 0 || static_cast<std::size_t>(iIndex) >= codes.size()) return;
        m_iImageFormat = codes[static_cast<std::size_t>(iIndex)];
        m_bDirty = true;
    });
}

template <class TElement>
void TextureMakerT<TElement>::OnSizeEdited(const char* szLabel, int& iSize, int& iAccepted)
{
    try {
        CheckSizeSetting<std::invalid_argument>(szLabel, iSize);
    } catch (...) {
        iSize = iAccepted;
        throw;
    }
    iAccepted = iSize;
    m_bDirty = true;
}

template <class TElement>
void TextureMakerT<TElement>::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    m_Texture.Release();
    m_bDirty = true;
}

template <class TElement>
void TextureMakerT<TElement>::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    DataPort& dataIn = *hDataIn;
    TexturePort& textureOut = *hOutTexture;
    const std::vector<TElement>* pData = dataIn.GetData();
    if (!pData) {
        ReportMissingData(*this, m_szDataLabel);
        return;
    }
    bool bChanged = m_bDirty;
    if (m_bDirty || dataIn.HasChanged()) {
        if (Build(*pData)) bChanged = true;
        m_bDirty = false;
    }
    textureOut.SetData(&m_Texture, bChanged);
}

// Too little data leaves the texture as it is, without a message; a size
// below 1 x 1 makes no texture either, and that is reported to the core as
// an error; a size beyond the GL's limit is refused before any GL call.
template <class TElement>
bool TextureMakerT<TElement>::Build(const std::vector<TElement>& data)
{
    const int* pWidth = hWidthIn->GetData();
    const int* pHeight = hHeightIn->GetData();
    const int iWidth = pWidth ? *pWidth : m_iWidth;
    const int iHeight = pHeight ? *pHeight : m_iHeight;
    if (iWidth < 1 || iHeight < 1) {
        GetCore().ReportError("a texture of " + std::to_string(iWidth) + " x " + std::to_string(iHeight) +
                              " texels cannot be made (\"Width\", \"Height\"); the texture was left as it was");
        return false;
    }
    GLint iLimit = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &iLimit);
    if (iWidth > iLimit || iHeight > iLimit)
        throw std::runtime_error("a texture of " + std::to_string(iWidth) + " x " + std::to_string(iHeight) +
                                 " texels (\"Width\", \"Height\") is beyond GL_MAX_TEXTURE_SIZE (" +
                                 std::to_string(iLimit) + ")");
    const std::size_t uiChannels = Ondo::GFX::GetImageFormatDescription(m_iImageFormat).m_uiChannels;
    const std::size_t uiFloats = static_cast<std::size_t>(iWidth) * static_cast<std::size_t>(iHeight) * uiChannels;
    constexpr std::size_t uiPerElement = ElementFloats<TElement>::Count;
    if (data.size() * uiPerElement < uiFloats) return false;

    Ondo::GFX::ImageData image;
    image.m_iImageFormat = m_iImageFormat;
    constexpr std::int32_t Layouts[] = {Ondo::GFX::LayoutR, Ondo::GFX::LayoutRG, Ondo::GFX::LayoutRGB,
                                        Ondo::GFX::LayoutRGBA};
    image.m_iChannelLayout = uiChannels >= 1 && uiChannels <= 4 ? Layouts[uiChannels - 1] : Ondo::GFX::LayoutRGBA;
    image.m_iComponentType = Ondo::GFX::ComponentFloat32;
    image.m_uiWidth = static_cast<std::uint32_t>(iWidth);
    image.m_uiHeight = static_cast<std::uint32_t>(iHeight);
    image.m_uiDepth = image.m_uiNumFaces = image.m_uiNumMipMaps = 1;
    image.m_uiPixelSize = static_cast<std::uint32_t>(uiChannels * sizeof(float));
    image.m_Pixels.resize(uiFloats * sizeof(float));
    std::size_t uiCopied = 0;
    for (const TElement& element : data) {
        const std::size_t uiCount = std::min(uiPerElement, uiFloats - uiCopied);
        std::memcpy(image.m_Pixels.data() + uiCopied * sizeof(float), ElementFloats<TElement>::Of(element),
                    uiCount * sizeof(float));
        uiCopied += uiCount;
        if (uiCopied == uiFloats) break;
    }

    const GLuint uiTexture = Ondo::OpenGL::LoadTexture2D(image, false, false);
    m_Texture.Release();
    m_Texture.m_uiName = uiTexture;
    return true;
}

// --- buffer makers

template <class TVector>
void FilterMakeBufferFromVec<TVector>::CreatePorts()
{
    CreatePort(hVecIn, {Ondo::FlowGraph::PortType::Input, "Vec", false});
    CreatePort(hBufferOut, {Ondo::FlowGraph::PortType::Output, "Buffer", false});
}

template <class TVector>
void FilterMakeBufferFromVec<TVector>::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    serializer.Serialize("hVecIn", hVecIn);
    serializer.Serialize("hBufferOut", hBufferOut);
}

template <class TVector>
void FilterMakeBufferFromVec<TVector>::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    m_Buffer.Release();
}

// The buffer is made anew (the old one deleted first) and left bound to
// GL_ARRAY_BUFFER; it is published with the input's changed flag.
template <class TVector>
void FilterMakeBufferFromVec<TVector>::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    VecPort& vecIn = *hVecIn;
    BufferPort& bufferOut = *hBufferOut;
    const std::vector<TVector>* pData = vecIn.GetData();
    if (!pData) {
        ReportMissingData(*this, "Vec");
        return;
    }
    const bool bChanged = vecIn.HasChanged();
    if (bChanged) {
        m_Buffer.Release();
        glGenBuffers(1, &m_Buffer.m_uiName);
        glBindBuffer(GL_ARRAY_BUFFER, m_Buffer.m_uiName);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(pData->size() * sizeof(TVector)), pData->data(),
                     GL_STATIC_DRAW);
    }
    bufferOut.SetData(&m_Buffer, bChanged);
}

} // namespace Prismvale
