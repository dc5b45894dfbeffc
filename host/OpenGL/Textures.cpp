#include "Ondo/OpenGL/Textures.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace Ondo::OpenGL {

namespace {

struct InternalFormatInfo {
    GLenum m_eInternalFormat;
    unsigned int m_uiBitsPerComponent;
    unsigned int m_uiComponents;
    GLenum m_ePixelFormat;
    GLenum m_eComponentType;
};

const InternalFormatInfo s_InternalFormats[] = {
    {GL_R8, 8, 1, GL_RED, GL_UNSIGNED_BYTE},
    {GL_RG8, 8, 2, GL_RG, GL_UNSIGNED_BYTE},
    {GL_RGB8, 8, 3, GL_RGB, GL_UNSIGNED_BYTE},
    {GL_RGBA8, 8, 4, GL_RGBA, GL_UNSIGNED_BYTE},
    {GL_SRGB8, 8, 3, GL_RGB, GL_UNSIGNED_BYTE},
    {GL_SRGB8_ALPHA8, 8, 4, GL_RGBA, GL_UNSIGNED_BYTE},
    {GL_R8_SNORM, 8, 1, GL_RED, GL_BYTE},
    {GL_RGBA8_SNORM, 8, 4, GL_RGBA, GL_BYTE},
    {GL_R16, 16, 1, GL_RED, GL_UNSIGNED_SHORT},
    {GL_RG16, 16, 2, GL_RG, GL_UNSIGNED_SHORT},
    {GL_RGB16, 16, 3, GL_RGB, GL_UNSIGNED_SHORT},
    {GL_RGBA16, 16, 4, GL_RGBA, GL_UNSIGNED_SHORT},
    {GL_R16F, 16, 1, GL_RED, GL_HALF_FLOAT},
    {GL_RG16F, 16, 2, GL_RG, GL_HALF_FLOAT},
    {GL_RGB16F, 16, 3, GL_RGB, GL_HALF_FLOAT},
    {GL_RGBA16F, 16, 4, GL_RGBA, GL_HALF_FLOAT},
    {GL_R32F, 32, 1, GL_RED, GL_FLOAT},
    {GL_RG32F, 32, 2, GL_RG, GL_FLOAT},
    {GL_RGB32F, 32, 3, GL_RGB, GL_FLOAT},
    {GL_RGBA32F, 32, 4, GL_RGBA, GL_FLOAT},
    {GL_R8I, 8, 1, GL_RED_INTEGER, GL_BYTE},
    {GL_R8UI, 8, 1, GL_RED_INTEGER, GL_UNSIGNED_BYTE},
    {GL_R16I, 16, 1, GL_RED_INTEGER, GL_SHORT},
    {GL_R16UI, 16, 1, GL_RED_INTEGER, GL_UNSIGNED_SHORT},
    {GL_R32I, 32, 1, GL_RED_INTEGER, GL_INT},
    {GL_R32UI, 32, 1, GL_RED_INTEGER, GL_UNSIGNED_INT},
    {GL_RG8I, 8, 2, GL_RG_INTEGER, GL_BYTE},
    {GL_RG8UI, 8, 2, GL_RG_INTEGER, GL_UNSIGNED_BYTE},
    {GL_RG16I, 16, 2, GL_RG_INTEGER, GL_SHORT},
    {GL_RG16UI, 16, 2, GL_RG_INTEGER, GL_UNSIGNED_SHORT},
    {GL_RG32I, 32, 2, GL_RG_INTEGER, GL_INT},
    {GL_RG32UI, 32, 2, GL_RG_INTEGER, GL_UNSIGNED_INT},
    {GL_RGBA8I, 8, 4, GL_RGBA_INTEGER, GL_BYTE},
    {GL_RGBA8UI, 8, 4, GL_RGBA_INTEGER, GL_UNSIGNED_BYTE},
    {GL_RGBA16I, 16, 4, GL_RGBA_INTEGER, GL_SHORT},
    {GL_RGBA16UI, 16, 4, GL_RGBA_INTEGER, GL_UNSIGNED_SHORT},
    {GL_RGBA32I, 32, 4, GL_RGBA_INTEGER, GL_INT},
    {GL_RGBA32UI, 32, 4, GL_RGBA_INTEGER, GL_UNSIGNED_INT},
    {GL_R11F_G11F_B10F, 11, 3, GL_RGB, GL_UNSIGNED_INT_10F_11F_11F_REV},
    {GL_RGB10_A2, 10, 4, GL_RGBA, GL_UNSIGNED_INT_2_10_10_10_REV},
    {GL_RGB9_E5, 9, 3, GL_RGB, GL_UNSIGNED_INT_5_9_9_9_REV},
    {GL_DEPTH_COMPONENT16, 16, 1, GL_DEPTH_COMPONENT, GL_UNSIGNED_SHORT},
    {GL_DEPTH_COMPONENT24, 24, 1, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT},
    {GL_DEPTH_COMPONENT32, 32, 1, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT},
    {GL_DEPTH_COMPONENT32F, 32, 1, GL_DEPTH_COMPONENT, GL_FLOAT},
    {GL_DEPTH24_STENCIL8, 16, 2, GL_DEPTH_STENCIL, GL_UNSIGNED_INT_24_8},
    {GL_DEPTH32F_STENCIL8, 32, 2, GL_DEPTH_STENCIL, GL_FLOAT_32_UNSIGNED_INT_24_8_REV},
};

const InternalFormatInfo* FindInternalFormat(GLenum eFormat)
{
    for (const InternalFormatInfo& info : s_InternalFormats)
        if (info.m_eInternalFormat == eFormat) return &info;
    return nullptr;
}

GLenum BindingOf(GLenum eTarget)
{
    switch (eTarget) {
    case GL_TEXTURE_2D: return GL_TEXTURE_BINDING_2D;
    case GL_TEXTURE_3D: return GL_TEXTURE_BINDING_3D;
    case GL_TEXTURE_CUBE_MAP: return GL_TEXTURE_BINDING_CUBE_MAP;
    default: throw std::runtime_error("Unsupported texture target 0x" + std::to_string(eTarget));
    }
}

// Binds a texture on the active unit for the scope's life and restores the
// binding that was there before.
class ScopedBinding {
public:
    ScopedBinding(GLenum eTarget, GLuint uiTexture) : m_eTarget(eTarget)
    {
        GLint iPrevious = 0;
        glGetIntegerv(BindingOf(eTarget), &iPrevious);
        m_uiPrevious = static_cast<GLuint>(iPrevious);
        glBindTexture(eTarget, uiTexture);
    }
    ScopedBinding(const ScopedBinding&) = delete;
    ScopedBinding& operator=(const ScopedBinding&) = delete;
    ~ScopedBinding() { glBindTexture(m_eTarget, m_uiPrevious); }

private:
    GLenum m_eTarget;
    GLuint m_uiPrevious = 0;
};

// Tightly packed rows and slices read from client memory for the scope's
// life: whatever unpack state a caller left (a row length, skipped rows, a
// bound unpack buffer that would turn the pixel pointer into an offset) is
// set aside and restored afterwards.
class ScopedUnpackAlignment {
public:
    ScopedUnpackAlignment()
    {
        for (std::size_t i = 0; i < s_uiCount; ++i) {
            glGetIntegerv(s_Names[i], &m_Values[i]);
            glPixelStorei(s_Names[i], i == 0 ? 1 : 0);
        }
        glGetIntegerv(GL_PIXEL_UNPACK_BUFFER_BINDING, &m_iUnpackBuffer);
        glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
    }
    ScopedUnpackAlignment(const ScopedUnpackAlignment&) = delete;
    ScopedUnpackAlignment& operator=(const ScopedUnpackAlignment&) = delete;
    ~ScopedUnpackAlignment()
    {
        for (std::size_t i = 0; i < s_uiCount; ++i) glPixelStorei(s_Names[i], m_Values[i]);
        glBindBuffer(GL_PIXEL_UNPACK_BUFFER, static_cast<GLuint>(m_iUnpackBuffer));
    }

private:
    static constexpr std::size_t s_uiCount = 6;
    static constexpr GLenum s_Names[s_uiCount] = {GL_UNPACK_ALIGNMENT,   GL_UNPACK_ROW_LENGTH, GL_UNPACK_SKIP_PIXELS,
                                                  GL_UNPACK_SKIP_ROWS,   GL_UNPACK_IMAGE_HEIGHT,
                                                  GL_UNPACK_SKIP_IMAGES};
    GLint m_Values[s_uiCount] = {};
    GLint m_iUnpackBuffer = 0;
};

// Integer formats are read with texelFetch and cannot be filtered or have
// mipmaps generated (the GL refuses glGenerateMipmap for them).
bool IsIntegerTransfer(GLenum ePixelFormat)
{
    return ePixelFormat == GL_RED_INTEGER || ePixelFormat == GL_RG_INTEGER || ePixelFormat == GL_RGB_INTEGER ||
           ePixelFormat == GL_RGBA_INTEGER;
}

// Block-compressed formats the GL takes for 3D textures: BPTC only; S3TC and
// RGTC blocks are two-dimensional.
bool CompressesVolumes(GLenum eInternalFormat)
{
    switch (eInternalFormat) {
    case GL_COMPRESSED_RGBA_BPTC_UNORM:
    case GL_COMPRESSED_SRGB_ALPHA_BPTC_UNORM:
    case GL_COMPRESSED_RGB_BPTC_SIGNED_FLOAT:
    case GL_COMPRESSED_RGB_BPTC_UNSIGNED_FLOAT: return true;
    default: return false;
    }
}

GLint LevelParameter(GLenum eTarget, GLuint uiTexture, GLenum eParameter)
{
    ScopedBinding binding(eTarget, uiTexture);
    const GLenum eQueryTarget = eTarget == GL_TEXTURE_CUBE_MAP ? GL_TEXTURE_CUBE_MAP_POSITIVE_X : eTarget;
    GLint iValue = 0;
    glGetTexLevelParameteriv(eQueryTarget, 0, eParameter, &iValue);
    return iValue;
}

GLsizei FullChain(std::uint32_t uiLargest)
{
    GLsizei iLevels = 1;
    while (uiLargest > 1) {
        uiLargest >>= 1;
        ++iLevels;
    }
    return iLevels;
}

// What the three loaders share: checks, the GL formats, the level count.
struct Upload {
    GLImageFormat format{};
    GLsizei iLevelsInImage = 1;
    GLsizei iLevels = 1;
};

// Whether glGenerateMipmap can make the levels of a texture of this target
// and format. Integer formats cannot be averaged; for the rest (compressed,
// shared-exponent, three-channel formats) drivers differ, and the GL says
// which it generates.
bool CanGenerateMipmaps(GLenum eTarget, const GLImageFormat& format)
{
    if (IsIntegerTransfer(format.m_ePixelFormat)) return false;
    GLint iSupport = GL_NONE;
    glGetInternalformativ(eTarget, format.m_eInternalFormat, GL_MANUAL_GENERATE_MIPMAP, 1, &iSupport);
    return iSupport != GL_NONE;
}

Upload PrepareUpload(GLenum eTarget, const GFX::ImageData& image, const char* szFunction, std::uint32_t uiLargest,
                     bool bMipMaps)
{
    const std::string strProblem = image.Validate();
    if (!strProblem.empty()) throw std::runtime_error(std::string(szFunction) + ": " + strProblem);
    Upload upload;
    if (!GetGLImageFormat(image.m_iImageFormat, upload.format))
        throw std::runtime_error(std::string(szFunction) + ": image format " + std::to_string(image.m_iImageFormat) +
                                 " has no OpenGL counterpart");
    // Levels are handed to the GL with a GLsizei byte count.
    for (std::uint32_t uiLevel = 0; uiLevel < image.GetNumMipMaps(); ++uiLevel)
        if (image.GetLevelSize(uiLevel) > static_cast<std::size_t>(INT32_MAX))
            throw std::runtime_error(std::string(szFunction) + ": level " + std::to_string(uiLevel) + " holds " +
                                     std::to_string(image.GetLevelSize(uiLevel)) +
                                     " bytes, more than one upload takes (2 GiB)");
    upload.iLevelsInImage = static_cast<GLsizei>(image.GetNumMipMaps());
    // Levels a file carries are kept as they are (a prefiltered environment
    // map's are no averages), even when they stop short of the full chain;
    // a single level gets the chain generated where the GL can.
    upload.iLevels = bMipMaps && upload.iLevelsInImage == 1 && CanGenerateMipmaps(eTarget, upload.format)
                         ? FullChain(uiLargest)
                         : upload.iLevelsInImage;
    return upload;
}

void SetLevelRangeAndFilters(GLenum eTarget, GLsizei iLevels, bool bInteger = false)
{
    glTexParameteri(eTarget, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(eTarget, GL_TEXTURE_MAX_LEVEL, iLevels - 1);
    // A linear filter leaves an integer texture incomplete: every fetch
    // would give 0.
    const GLint iMin = bInteger ? (iLevels > 1 ? GL_NEAREST_MIPMAP_NEAREST : GL_NEAREST)
                                : (iLevels > 1 ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
    glTexParameteri(eTarget, GL_TEXTURE_MIN_FILTER, iMin);
    glTexParameteri(eTarget, GL_TEXTURE_MAG_FILTER, bInteger ? GL_NEAREST : GL_LINEAR);
}

// Uploads one level of a 2D image or cube face (eImageTarget) or of a volume.
void UploadLevel(GLenum eImageTarget, const GFX::ImageData& image, const Upload& upload, bool bMutable,
                 std::uint32_t uiFace, std::uint32_t uiLevel)
{
    const GLsizei iWidth = static_cast<GLsizei>(std::max(1u, image.m_uiWidth >> uiLevel));
    const GLsizei iHeight = static_cast<GLsizei>(std::max(1u, image.m_uiHeight >> uiLevel));
    const GLsizei iDepth = static_cast<GLsizei>(std::max(1u, image.GetDepth() >> uiLevel));
    const void* pPixels = image.m_Pixels.data() + image.GetOffset(uiFace, uiLevel);
    const GLsizei iBytes = static_cast<GLsizei>(image.GetLevelSize(uiLevel));
    const GLint iLevel = static_cast<GLint>(uiLevel);
    const GLImageFormat& f = upload.format;
    const bool bVolume = eImageTarget == GL_TEXTURE_3D;

    if (bMutable) {
        const GLint iInternal = static_cast<GLint>(f.m_eInternalFormat);
        if (bVolume && f.m_bCompressed)
            glCompressedTexImage3D(eImageTarget, iLevel, f.m_eInternalFormat, iWidth, iHeight, iDepth, 0, iBytes, pPixels);
        else if (bVolume)
            glTexImage3D(eImageTarget, iLevel, iInternal, iWidth, iHeight, iDepth, 0, f.m_ePixelFormat, f.m_eComponentType,
                         pPixels);
        else if (f.m_bCompressed)
            glCompressedTexImage2D(eImageTarget, iLevel, f.m_eInternalFormat, iWidth, iHeight, 0, iBytes, pPixels);
        else
            glTexImage2D(eImageTarget, iLevel, iInternal, iWidth, iHeight, 0, f.m_ePixelFormat, f.m_eComponentType,
                         pPixels);
        return;
    }
    if (bVolume && f.m_bCompressed)
        glCompressedTexSubImage3D(eImageTarget, iLevel, 0, 0, 0, iWidth, iHeight, iDepth, f.m_eInternalFormat, iBytes,
                                  pPixels);
    else if (bVolume)
        glTexSubImage3D(eImageTarget, iLevel, 0, 0, 0, iWidth, iHeight, iDepth, f.m_ePixelFormat, f.m_eComponentType,
                        pPixels);
    else if (f.m_bCompressed)
        glCompressedTexSubImage2D(eImageTarget, iLevel, 0, 0, iWidth, iHeight, f.m_eInternalFormat, iBytes, pPixels);
    else
        glTexSubImage2D(eImageTarget, iLevel, 0, 0, iWidth, iHeight, f.m_ePixelFormat, f.m_eComponentType, pPixels);
}

// A texture larger than the GL takes would fail with GL_INVALID_VALUE and
// leave an empty texture behind; it is refused with the sizes instead.
void CheckSizeLimit(GLenum eTarget, const GFX::ImageData& image, const char* szFunction)
{
    const GLenum eLimit = eTarget == GL_TEXTURE_3D         ? GL_MAX_3D_TEXTURE_SIZE
                          : eTarget == GL_TEXTURE_CUBE_MAP ? GL_MAX_CUBE_MAP_TEXTURE_SIZE
                                                           : GL_MAX_TEXTURE_SIZE;
    GLint iLimit = 0;
    glGetIntegerv(eLimit, &iLimit);
    const std::uint32_t uiDepth = eTarget == GL_TEXTURE_3D ? image.GetDepth() : 1u;
    const std::uint32_t uiLimit = static_cast<std::uint32_t>(std::max(iLimit, 1));
    if (iLimit <= 0 || std::max({image.m_uiWidth, image.m_uiHeight, uiDepth}) <= uiLimit) return;
    const char* szLimit = eTarget == GL_TEXTURE_3D         ? "GL_MAX_3D_TEXTURE_SIZE"
                          : eTarget == GL_TEXTURE_CUBE_MAP ? "GL_MAX_CUBE_MAP_TEXTURE_SIZE"
                                                           : "GL_MAX_TEXTURE_SIZE";
    throw std::runtime_error(std::string(szFunction) + ": the image is " + std::to_string(image.m_uiWidth) + " x " +
                             std::to_string(image.m_uiHeight) +
                             (eTarget == GL_TEXTURE_3D ? " x " + std::to_string(uiDepth) : std::string()) +
                             " texels, more than this OpenGL takes in each direction (" + szLimit + " " +
                             std::to_string(iLimit) + ")");
}

// Mutable textures get empty storage for the levels glGenerateMipmap fills;
// immutable ones have them from glTexStorage.
GLuint LoadTexture(GLenum eTarget, const GFX::ImageData& image, bool bMutable, bool bMipMaps, const char* szFunction)
{
    const std::uint32_t uiLargest =
        std::max({image.m_uiWidth, image.m_uiHeight, eTarget == GL_TEXTURE_3D ? image.GetDepth() : 1u});
    CheckSizeLimit(eTarget, image, szFunction);
    const Upload upload = PrepareUpload(eTarget, image, szFunction, uiLargest, bMipMaps);
    if (eTarget == GL_TEXTURE_3D && upload.format.m_bCompressed && !CompressesVolumes(upload.format.m_eInternalFormat))
        throw std::runtime_error(std::string(szFunction) + ": " +
                                 GFX::GetImageFormatDescription(image.m_iImageFormat).m_szName +
                                 " blocks are two-dimensional; OpenGL takes no volume of them");
    const std::uint32_t uiFaces = eTarget == GL_TEXTURE_CUBE_MAP ? 6u : 1u;

    GLuint uiTexture = 0;
    glGenTextures(1, &uiTexture);
    ScopedBinding binding(eTarget, uiTexture);
    ScopedUnpackAlignment alignment;

    const GLsizei iWidth = static_cast<GLsizei>(image.m_uiWidth);
    const GLsizei iHeight = static_cast<GLsizei>(image.m_uiHeight);
    if (!bMutable) {
        if (eTarget == GL_TEXTURE_3D)
            glTexStorage3D(eTarget, upload.iLevels, upload.format.m_eInternalFormat, iWidth, iHeight,
                           static_cast<GLsizei>(image.GetDepth()));
        else
            glTexStorage2D(eTarget, upload.iLevels, upload.format.m_eInternalFormat, iWidth, iHeight);
    }
    for (std::uint32_t uiFace = 0; uiFace < uiFaces; ++uiFace) {
        const GLenum eImageTarget = eTarget == GL_TEXTURE_CUBE_MAP ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + uiFace : eTarget;
        for (std::uint32_t uiLevel = 0; uiLevel < static_cast<std::uint32_t>(upload.iLevelsInImage); ++uiLevel)
            UploadLevel(eImageTarget, image, upload, bMutable, uiFace, uiLevel);
    }
    SetLevelRangeAndFilters(eTarget, upload.iLevels, IsIntegerTransfer(upload.format.m_ePixelFormat));
    if (upload.iLevels > upload.iLevelsInImage) glGenerateMipmap(eTarget);
    SetSwizzleForLayout(eTarget, uiTexture, image.m_iChannelLayout);
    return uiTexture;
}

} // namespace

bool GetGLImageFormat(std::int32_t iImageFormat, GLImageFormat& format)
{
    using namespace GFX;
    switch (iImageFormat) {
    case FormatR8: format = {GL_R8, GL_RED, GL_UNSIGNED_BYTE, false}; return true;
    case FormatRG8: format = {GL_RG8, GL_RG, GL_UNSIGNED_BYTE, false}; return true;
    case FormatRGBA8: format = {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, false}; return true;
    case FormatBGRA8: format = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, false}; return true;
    case FormatR16: format = {GL_R16, GL_RED, GL_UNSIGNED_SHORT, false}; return true;
    case FormatRG16: format = {GL_RG16, GL_RG, GL_UNSIGNED_SHORT, false}; return true;
    case FormatRGBA16: format = {GL_RGBA16, GL_RGBA, GL_UNSIGNED_SHORT, false}; return true;
    case FormatR16F: format = {GL_R16F, GL_RED, GL_HALF_FLOAT, false}; return true;
    case FormatRG16F: format = {GL_RG16F, GL_RG, GL_HALF_FLOAT, false}; return true;
    case FormatRGBA16F: format = {GL_RGBA16F, GL_RGBA, GL_HALF_FLOAT, false}; return true;
    case FormatR32I: format = {GL_R32I, GL_RED_INTEGER, GL_INT, false}; return true;
    case FormatR32UI: format = {GL_R32UI, GL_RED_INTEGER, GL_UNSIGNED_INT, false}; return true;
    case FormatSRGB8A8: format = {GL_SRGB8_ALPHA8, GL_RGBA, GL_UNSIGNED_BYTE, false}; return true;
    case FormatDepth16: format = {GL_DEPTH_COMPONENT16, GL_DEPTH_COMPONENT, GL_UNSIGNED_SHORT, false}; return true;
    case FormatDepth24: format = {GL_DEPTH_COMPONENT24, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, false}; return true;
    case FormatDepth32F: format = {GL_DEPTH_COMPONENT32F, GL_DEPTH_COMPONENT, GL_FLOAT, false}; return true;
    case FormatDepth24Stencil8:
        format = {GL_DEPTH24_STENCIL8, GL_DEPTH_STENCIL, GL_UNSIGNED_INT_24_8, false};
        return true;
    case FormatBC1: format = {GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, GL_RGBA, GL_UNSIGNED_BYTE, true}; return true;
    case FormatBC2: format = {GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, GL_RGBA, GL_UNSIGNED_BYTE, true}; return true;
    case FormatBC3: format = {GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, GL_RGBA, GL_UNSIGNED_BYTE, true}; return true;
    case FormatBC4: format = {GL_COMPRESSED_RED_RGTC1, GL_RED, GL_UNSIGNED_BYTE, true}; return true;
    case FormatBC5: format = {GL_COMPRESSED_RG_RGTC2, GL_RG, GL_UNSIGNED_BYTE, true}; return true;
    case FormatRGB16F: format = {GL_RGB16F, GL_RGB, GL_HALF_FLOAT, false}; return true;
    case FormatRGB16: format = {GL_RGB16, GL_RGB, GL_UNSIGNED_SHORT, false}; return true;
    case FormatR32F: format = {GL_R32F, GL_RED, GL_FLOAT, false}; return true;
    case FormatRG32F: format = {GL_RG32F, GL_RG, GL_FLOAT, false}; return true;
    case FormatRGB32F: format = {GL_RGB32F, GL_RGB, GL_FLOAT, false}; return true;
    case FormatRGBA32F: format = {GL_RGBA32F, GL_RGBA, GL_FLOAT, false}; return true;
    case FormatR11G11B10F:
        format = {GL_R11F_G11F_B10F, GL_RGB, GL_UNSIGNED_INT_10F_11F_11F_REV, false};
        return true;
    case FormatRGB10A2: format = {GL_RGB10_A2, GL_RGBA, GL_UNSIGNED_INT_2_10_10_10_REV, false}; return true;
    case FormatRGB8: format = {GL_RGB8, GL_RGB, GL_UNSIGNED_BYTE, false}; return true;
    case FormatBGR8: format = {GL_RGB8, GL_BGR, GL_UNSIGNED_BYTE, false}; return true;
    case FormatSRGB8: format = {GL_SRGB8, GL_RGB, GL_UNSIGNED_BYTE, false}; return true;
    case FormatR8I: format = {GL_R8I, GL_RED_INTEGER, GL_BYTE, false}; return true;
    case FormatR8UI: format = {GL_R8UI, GL_RED_INTEGER, GL_UNSIGNED_BYTE, false}; return true;
    case FormatR16I: format = {GL_R16I, GL_RED_INTEGER, GL_SHORT, false}; return true;
    case FormatR16UI: format = {GL_R16UI, GL_RED_INTEGER, GL_UNSIGNED_SHORT, false}; return true;
    case FormatBC1SRGB: format = {GL_COMPRESSED_SRGB_ALPHA_S3TC_DXT1_EXT, GL_RGBA, GL_UNSIGNED_BYTE, true}; return true;
    case FormatBC2SRGB: format = {GL_COMPRESSED_SRGB_ALPHA_S3TC_DXT3_EXT, GL_RGBA, GL_UNSIGNED_BYTE, true}; return true;
    case FormatBC3SRGB: format = {GL_COMPRESSED_SRGB_ALPHA_S3TC_DXT5_EXT, GL_RGBA, GL_UNSIGNED_BYTE, true}; return true;
    case FormatBC4SNorm: format = {GL_COMPRESSED_SIGNED_RED_RGTC1, GL_RED, GL_BYTE, true}; return true;
    case FormatBC5SNorm: format = {GL_COMPRESSED_SIGNED_RG_RGTC2, GL_RG, GL_BYTE, true}; return true;
    case FormatBC6HUFloat: format = {GL_COMPRESSED_RGB_BPTC_UNSIGNED_FLOAT, GL_RGB, GL_FLOAT, true}; return true;
    case FormatBC6HSFloat: format = {GL_COMPRESSED_RGB_BPTC_SIGNED_FLOAT, GL_RGB, GL_FLOAT, true}; return true;
    case FormatBC7: format = {GL_COMPRESSED_RGBA_BPTC_UNORM, GL_RGBA, GL_UNSIGNED_BYTE, true}; return true;
    case FormatBC7SRGB: format = {GL_COMPRESSED_SRGB_ALPHA_BPTC_UNORM, GL_RGBA, GL_UNSIGNED_BYTE, true}; return true;
    case FormatRGB9E5: format = {GL_RGB9_E5, GL_RGB, GL_UNSIGNED_INT_5_9_9_9_REV, false}; return true;
    default: return false;
    }
}

namespace {
const GLint s_GreySwizzle[4] = {GL_RED, GL_RED, GL_RED, GL_ONE};
const GLint s_GreyAlphaSwizzle[4] = {GL_RED, GL_RED, GL_RED, GL_GREEN};
const GLint s_IdentitySwizzle[4] = {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA};
} // namespace

void SetSwizzleForLayout(GLenum eTarget, GLuint uiTexture, std::int32_t iLayout)
{
    ScopedBinding binding(eTarget, uiTexture);
    glTexParameteriv(eTarget, GL_TEXTURE_SWIZZLE_RGBA,
                     iLayout == GFX::LayoutGrey        ? s_GreySwizzle
                     : iLayout == GFX::LayoutGreyAlpha ? s_GreyAlphaSwizzle
                                                       : s_IdentitySwizzle);
}

std::int32_t GetSwizzleLayout(GLenum eTarget, GLuint uiTexture)
{
    GLint swizzle[4] = {};
    {
        ScopedBinding binding(eTarget, uiTexture);
        glGetTexParameteriv(eTarget, GL_TEXTURE_SWIZZLE_RGBA, swizzle);
    }
    if (std::equal(swizzle, swizzle + 4, s_GreySwizzle)) return GFX::LayoutGrey;
    if (std::equal(swizzle, swizzle + 4, s_GreyAlphaSwizzle)) return GFX::LayoutGreyAlpha;
    return GFX::LayoutUnknown;
}

VectorT<int, 2> GetImageSize2D(GLuint uiTexture)
{
    return {LevelParameter(GL_TEXTURE_2D, uiTexture, GL_TEXTURE_WIDTH),
            LevelParameter(GL_TEXTURE_2D, uiTexture, GL_TEXTURE_HEIGHT)};
}

VectorT<int, 3> GetImageSize3D(GLuint uiTexture)
{
    return {LevelParameter(GL_TEXTURE_3D, uiTexture, GL_TEXTURE_WIDTH),
            LevelParameter(GL_TEXTURE_3D, uiTexture, GL_TEXTURE_HEIGHT),
            LevelParameter(GL_TEXTURE_3D, uiTexture, GL_TEXTURE_DEPTH)};
}

GLenum GetInternalFormat2D(GLuint uiTexture)
{
    return static_cast<GLenum>(LevelParameter(GL_TEXTURE_2D, uiTexture, GL_TEXTURE_INTERNAL_FORMAT));
}

GLenum GetInternalFormat3D(GLuint uiTexture)
{
    return static_cast<GLenum>(LevelParameter(GL_TEXTURE_3D, uiTexture, GL_TEXTURE_INTERNAL_FORMAT));
}

unsigned int GetBpp(GLenum eInternalFormat)
{
    const InternalFormatInfo* pInfo = FindInternalFormat(eInternalFormat);
    return pInfo ? pInfo->m_uiBitsPerComponent : 0;
}

bool IsDepthFormat(GLenum eInternalFormat)
{
    switch (eInternalFormat) {
    case GL_DEPTH_COMPONENT16:
    case GL_DEPTH_COMPONENT24:
    case GL_DEPTH_COMPONENT32:
    case GL_DEPTH_COMPONENT32F:
    case GL_DEPTH24_STENCIL8:
    case GL_DEPTH32F_STENCIL8: return true;
    default: return false;
    }
}

unsigned int GetNumberOfComponents(GLenum eInternalFormat)
{
    const InternalFormatInfo* pInfo = FindInternalFormat(eInternalFormat);
    return pInfo ? pInfo->m_uiComponents : 0;
}

GLenum GetPotentialChannelFormat(GLenum eInternalFormat)
{
    const InternalFormatInfo* pInfo = FindInternalFormat(eInternalFormat);
    return pInfo ? pInfo->m_ePixelFormat : static_cast<GLenum>(GL_RGBA);
}

bool IsIntegerFormat(GLenum eInternalFormat) { return IsIntegerTransfer(GetPotentialChannelFormat(eInternalFormat)); }

GLenum GetPotentialComponentType(GLenum eInternalFormat)
{
    const InternalFormatInfo* pInfo = FindInternalFormat(eInternalFormat);
    return pInfo ? pInfo->m_eComponentType : static_cast<GLenum>(GL_UNSIGNED_BYTE);
}

GLuint CreateSimilarTexture(GLenum eTarget, GLuint uiTexture, const void* pData)
{
    const GLenum eFormat = static_cast<GLenum>(LevelParameter(eTarget, uiTexture, GL_TEXTURE_INTERNAL_FORMAT));
    const GLsizei iWidth = LevelParameter(eTarget, uiTexture, GL_TEXTURE_WIDTH);
    const GLsizei iHeight = LevelParameter(eTarget, uiTexture, GL_TEXTURE_HEIGHT);
    const GLsizei iDepth = LevelParameter(eTarget, uiTexture, GL_TEXTURE_DEPTH);
    if (iWidth <= 0 || iHeight <= 0)
        throw std::runtime_error("CreateSimilarTexture: texture " + std::to_string(uiTexture) + " has no level 0");

    GLuint uiNew = 0;
    glGenTextures(1, &uiNew);
    ScopedBinding binding(eTarget, uiNew);
    ScopedUnpackAlignment alignment;
    const GLenum ePixelFormat = GetPotentialChannelFormat(eFormat);
    const GLenum eType = GetPotentialComponentType(eFormat);
    if (eTarget == GL_TEXTURE_3D) {
        glTexStorage3D(eTarget, 1, eFormat, iWidth, iHeight, iDepth);
        if (pData) glTexSubImage3D(eTarget, 0, 0, 0, 0, iWidth, iHeight, iDepth, ePixelFormat, eType, pData);
    } else {
        glTexStorage2D(eTarget, 1, eFormat, iWidth, iHeight);
        if (pData && eTarget == GL_TEXTURE_2D)
            glTexSubImage2D(eTarget, 0, 0, 0, iWidth, iHeight, ePixelFormat, eType, pData);
        if (pData && eTarget == GL_TEXTURE_CUBE_MAP) {
            const std::size_t uiFaceBytes =
                static_cast<std::size_t>(iWidth) * iHeight * GetNumberOfComponents(eFormat) * GetBpp(eFormat) / 8;
            for (GLenum eFace = 0; eFace < 6; ++eFace)
                glTexSubImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + eFace, 0, 0, 0, iWidth, iHeight, ePixelFormat, eType,
                                static_cast<const std::uint8_t*>(pData) + eFace * uiFaceBytes);
        }
    }
    SetLevelRangeAndFilters(eTarget, 1, IsIntegerTransfer(ePixelFormat));
    // A grey source must give a grey copy.
    GLint swizzle[4] = {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA};
    {
        ScopedBinding source(eTarget, uiTexture);
        glGetTexParameteriv(eTarget, GL_TEXTURE_SWIZZLE_RGBA, swizzle);
    }
    glTexParameteriv(eTarget, GL_TEXTURE_SWIZZLE_RGBA, swizzle);
    return uiNew;
}

GLuint CreateDefaultSamplerState()
{
    GLuint uiSampler = 0;
    glGenSamplers(1, &uiSampler);
    glSamplerParameteri(uiSampler, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glSamplerParameteri(uiSampler, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glSamplerParameteri(uiSampler, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
    glSamplerParameteri(uiSampler, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glSamplerParameteri(uiSampler, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    return uiSampler;
}

GLuint LoadTexture2D(const GFX::ImageData& image, bool bMutable, bool bMipMaps)
{
    if (image.GetDepth() != 1 || image.GetNumFaces() != 1)
        throw std::runtime_error("LoadTexture2D: the image is not two-dimensional (depth " +
                                 std::to_string(image.GetDepth()) + ", " + std::to_string(image.GetNumFaces()) +
                                 " faces)");
    return LoadTexture(GL_TEXTURE_2D, image, bMutable, bMipMaps, "LoadTexture2D");
}

GLuint LoadTexture3D(const GFX::ImageData& image, bool bMutable, bool bMipMaps)
{
    if (image.GetNumFaces() != 1)
        throw std::runtime_error("LoadTexture3D: the image has " + std::to_string(image.GetNumFaces()) + " faces");
    return LoadTexture(GL_TEXTURE_3D, image, bMutable, bMipMaps, "LoadTexture3D");
}

GLuint LoadTextureCubeMap(const GFX::ImageData& image, bool bMutable, bool bMipMaps)
{
    if (image.GetNumFaces() != 6 || image.GetDepth() != 1)
        throw std::runtime_error("LoadTextureCubeMap: a cube map needs six two-dimensional faces, the image has " +
                                 std::to_string(image.GetNumFaces()));
    if (image.m_uiWidth != image.m_uiHeight)
        throw std::runtime_error("LoadTextureCubeMap: cube faces must be square, these are " +
                                 std::to_string(image.m_uiWidth) + " x " + std::to_string(image.m_uiHeight));
    return LoadTexture(GL_TEXTURE_CUBE_MAP, image, bMutable, bMipMaps, "LoadTextureCubeMap");
}

} // namespace Ondo::OpenGL
