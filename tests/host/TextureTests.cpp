// Texture helpers: uploads from ImageData, queries, similar textures, samplers.

#include "HostTestSupport.h"
#include "support/GLTestEnvironment.h"

#include "Ondo/GFX/ImageData.h"
#include "Ondo/OpenGL/Textures.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <tuple>
#include <vector>

using namespace Ondo::OpenGL;
using Ondo::GFX::ImageData;

namespace {

ImageData MakeImage(std::int32_t iFormat, std::uint32_t uiWidth, std::uint32_t uiHeight, std::uint32_t uiDepth = 1,
                    std::uint32_t uiFaces = 1)
{
    ImageData image;
    image.m_iImageFormat = iFormat;
    image.m_uiWidth = uiWidth;
    image.m_uiHeight = uiHeight;
    image.m_uiDepth = uiDepth;
    image.m_uiNumFaces = uiFaces;
    image.m_Pixels.resize(image.GetRequiredSize());
    std::iota(image.m_Pixels.begin(), image.m_Pixels.end(), std::uint8_t{1});
    return image;
}

GLint TexParameter(GLenum eTarget, GLuint uiTexture, GLenum eParameter)
{
    glBindTexture(eTarget, uiTexture);
    GLint iValue = 0;
    glGetTexParameteriv(eTarget, eParameter, &iValue);
    glBindTexture(eTarget, 0);
    return iValue;
}

// A level of a texture (or of one cube face) as uiCount values of T, rows tightly packed.
template <class T>
std::vector<T> TexImage(GLenum eBind, GLuint uiTexture, GLenum eTarget, GLint iLevel, GLenum eFormat, GLenum eType,
                        std::size_t uiCount)
{
    std::vector<T> values(uiCount);
    glBindTexture(eBind, uiTexture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(eTarget, iLevel, eFormat, eType, values.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glBindTexture(eBind, 0);
    return values;
}

} // namespace

TEST(Textures, FormatTableGivesBlockSizesAndChannels)
{
    using namespace Ondo::GFX;
    const std::pair<std::int32_t, std::pair<std::uint32_t, std::uint32_t>> expected[] = {
        {FormatR32F, {4, 1}}, {FormatRG32F, {8, 2}}, {FormatRGB32F, {12, 3}}, {FormatRGBA32F, {16, 4}},
        {FormatRGB8, {3, 3}}, {FormatRGBA8, {4, 4}}, {FormatBC1, {8, 4}},
    };
    for (const auto& [iFormat, sizes] : expected) {
        const ImageFormatDescription& description = GetImageFormatDescription(iFormat);
        EXPECT_EQ(description.m_uiBytesPerBlock, sizes.first) << description.m_szName;
        EXPECT_EQ(description.m_uiChannels, sizes.second) << description.m_szName;
    }
    EXPECT_FALSE(IsKnownImageFormat(0));
    EXPECT_FALSE(IsKnownImageFormat(48));
    EXPECT_EQ(GetImageFormatDescription(-3).m_uiBytesPerBlock, 0u);

    // 5 x 3 compressed: 2 x 1 blocks of 8 bytes; a full chain of a 4 x 2 RGBA8 image: 32 + 8 + 4 bytes.
    EXPECT_EQ(MakeImage(FormatBC1, 5, 3).GetRequiredSize(), 16u);
    ImageData chain = MakeImage(FormatRGBA8, 4, 2);
    chain.m_uiNumMipMaps = 3;
    EXPECT_EQ(chain.GetRequiredSize(), 44u);
    EXPECT_EQ(chain.GetOffset(0, 2), 40u);

    ImageData shortImage = MakeImage(FormatRGB8, 2, 2);
    shortImage.m_Pixels.pop_back();
    EXPECT_EQ(shortImage.Validate(), "the image holds 11 bytes of pixels, its size and format need 12");
    EXPECT_EQ(MakeImage(99, 2, 2).Validate(), "unknown image format code 99");
    EXPECT_THROW(AddOpaqueAlpha(shortImage), std::runtime_error);
}

TEST(Textures, ThreeColourChannelsGetAnOpaqueAlphaInEveryFaceAndLevel)
{
    using namespace Ondo::GFX;
    // Format, its four-channel counterpart, the bytes of one value of 1.
    const std::tuple<std::int32_t, std::int32_t, std::vector<std::uint8_t>> widenings[] = {
        {FormatRGB8, FormatRGBA8, {0xFF}},
        {FormatBGR8, FormatBGRA8, {0xFF}},
        {FormatRGB16, FormatRGBA16, {0xFF, 0xFF}},
        {FormatRGB16F, FormatRGBA16F, {0x00, 0x3C}},
        {FormatRGB32F, FormatRGBA32F, {0x00, 0x00, 0x80, 0x3F}},
    };
    for (const auto& [iFrom, iTo, one] : widenings) {
        // Two faces of a 2 x 1 image with two levels: six pixels in all.
        ImageData image = MakeImage(iFrom, 2, 1, 1, 2);
        image.m_uiNumMipMaps = 2;
        image.m_Pixels.resize(image.GetRequiredSize());
        const std::vector<std::uint8_t> before = image.m_Pixels;
        ASSERT_TRUE(AddOpaqueAlpha(image)) << iFrom;
        EXPECT_EQ(std::make_tuple(image.m_iImageFormat, image.m_uiPixelSize, image.Validate()),
                  std::make_tuple(iTo, GetImageFormatDescription(iTo).m_uiBytesPerBlock, std::string()));
        const std::size_t uiColour = before.size() / 6, uiValue = one.size();
        for (std::size_t p = 0; p < 6; ++p) {
            const auto pixel = image.m_Pixels.begin() + static_cast<long>(p * (uiColour + uiValue));
            EXPECT_TRUE(std::equal(pixel, pixel + static_cast<long>(uiColour),
                                   before.begin() + static_cast<long>(p * uiColour)))
                << iFrom << ", pixel " << p;
            EXPECT_TRUE(std::equal(one.begin(), one.end(), pixel + static_cast<long>(uiColour)))
                << iFrom << ", pixel " << p;
        }
    }
    for (const std::int32_t iKept : {FormatSRGB8, FormatRGBA8, FormatR11G11B10F, FormatBC1}) {
        ImageData image = MakeImage(iKept, 4, 4);
        const std::vector<std::uint8_t> before = image.m_Pixels;
        EXPECT_FALSE(AddOpaqueAlpha(image)) << iKept;
        EXPECT_EQ(std::make_tuple(image.m_iImageFormat, image.m_Pixels), std::make_tuple(iKept, before));
    }
}

TEST(Textures, GreyImagesLookGreyToShadersAndSimilarTexturesStayGrey)
{
    OndoTest::TestDevice();
    using namespace Ondo::GFX;
    // Copies each texel as a shader sees it into an RGBA32F image.
    const GLuint uiProgram = OndoTest::Link({{GL_COMPUTE_SHADER, R"(#version 430
layout(local_size_x = 1) in;
layout(binding = 0) uniform sampler2D uSource;
layout(binding = 0, rgba32f) writeonly uniform image2D uTarget;
void main() { ivec2 p = ivec2(gl_GlobalInvocationID.xy); imageStore(uTarget, p, texelFetch(uSource, p, 0)); })"}});
    GLint iLinked = 0;
    glGetProgramiv(uiProgram, GL_LINK_STATUS, &iLinked);
    ASSERT_EQ(iLinked, GL_TRUE);
    GLuint uiTarget = 0;
    glGenTextures(1, &uiTarget);
    glBindTexture(GL_TEXTURE_2D, uiTarget);
    glTexStorage2D(GL_TEXTURE_2D, 1, GL_RGBA32F, 2, 1);

    // Two texels of 8-bit channels: 51 and 204, 102 and 255.
    const float a = 51 / 255.0f, b = 102 / 255.0f, c = 204 / 255.0f;
    const std::tuple<std::int32_t, std::int32_t, std::vector<float>> images[] = {
        {FormatR8, LayoutGrey, {a, a, a, 1, c, c, c, 1}},
        {FormatRG8, LayoutGreyAlpha, {a, a, a, b, c, c, c, 1}},
        {FormatRG8, LayoutRG, {a, b, 0, 1, c, 1, 0, 1}},
        {FormatR8, LayoutR, {a, 0, 0, 1, c, 0, 0, 1}},
    };
    for (const auto& [iFormat, iLayout, expected] : images) {
        SCOPED_TRACE(iLayout);
        ImageData image = MakeImage(iFormat, 2, 1);
        image.m_iChannelLayout = iLayout;
        image.m_Pixels =
            iFormat == FormatR8 ? std::vector<std::uint8_t>{51, 204} : std::vector<std::uint8_t>{51, 102, 204, 255};
        const GLuint uiSource = LoadTexture2D(image, false, false);
        const GLuint uiSimilar = CreateSimilarTexture(GL_TEXTURE_2D, uiSource, image.m_Pixels.data());
        for (const GLuint uiTexture : {uiSource, uiSimilar}) {
            EXPECT_EQ(GetSwizzleLayout(GL_TEXTURE_2D, uiTexture), iLayout >= LayoutGrey ? iLayout : LayoutUnknown);
            glUseProgram(uiProgram);
            glActiveTexture(GL_TEXTURE0);
            glBindTexture(GL_TEXTURE_2D, uiTexture);
            glBindImageTexture(0, uiTarget, 0, GL_FALSE, 0, GL_WRITE_ONLY, GL_RGBA32F);
            glDispatchCompute(2, 1, 1);
            glMemoryBarrier(GL_TEXTURE_UPDATE_BARRIER_BIT);
            const auto seen = TexImage<float>(GL_TEXTURE_2D, uiTarget, GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, 8);
            for (std::size_t i = 0; i < 8; ++i)
                EXPECT_NEAR(seen[i], expected[i], 1e-6f) << "texture " << uiTexture << ", " << i;
        }
        const GLuint textures[] = {uiSource, uiSimilar};
        glDeleteTextures(2, textures);
    }
    glUseProgram(0);
    glDeleteProgram(uiProgram);
    glDeleteTextures(1, &uiTarget);
    glBindTexture(GL_TEXTURE_2D, 0);
}

TEST(Textures, Upload2DHonoursRowPackingMutabilityAndMipmaps)
{
    OndoTest::TestDevice();
    // Rows of 3 x 3 bytes are not 4-byte aligned: a wrong unpack alignment shears the image.
    const ImageData image = MakeImage(Ondo::GFX::FormatRGB8, 3, 2);
    const GLuint uiImmutable = LoadTexture2D(image, false, false);
    EXPECT_EQ(GetImageSize2D(uiImmutable), (Ondo::Vector2i{3, 2}));
    EXPECT_EQ(GetInternalFormat2D(uiImmutable), static_cast<GLenum>(GL_RGB8));
    EXPECT_EQ(TexParameter(GL_TEXTURE_2D, uiImmutable, GL_TEXTURE_IMMUTABLE_FORMAT), GL_TRUE);
    EXPECT_EQ(TexParameter(GL_TEXTURE_2D, uiImmutable, GL_TEXTURE_IMMUTABLE_LEVELS), 1);

    EXPECT_EQ(TexImage<std::uint8_t>(GL_TEXTURE_2D, uiImmutable, GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, 18),
              image.m_Pixels);
    GLint iAlignment = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &iAlignment);
    EXPECT_EQ(iAlignment, 4) << "the unpack alignment is restored";

    const GLuint uiMutable = LoadTexture2D(MakeImage(Ondo::GFX::FormatRGBA8, 8, 4), true, true);
    EXPECT_EQ(TexParameter(GL_TEXTURE_2D, uiMutable, GL_TEXTURE_IMMUTABLE_FORMAT), GL_FALSE);
    EXPECT_EQ(TexParameter(GL_TEXTURE_2D, uiMutable, GL_TEXTURE_MAX_LEVEL), 3);
    glBindTexture(GL_TEXTURE_2D, uiMutable);
    GLint iSmallest = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 3, GL_TEXTURE_WIDTH, &iSmallest);
    EXPECT_EQ(iSmallest, 1) << "the chain reaches 1 x 1";

    const GLuint uiImmutableChain = LoadTexture2D(MakeImage(Ondo::GFX::FormatR32F, 5, 5), false, true);
    EXPECT_EQ(TexParameter(GL_TEXTURE_2D, uiImmutableChain, GL_TEXTURE_IMMUTABLE_LEVELS), 3);

    const GLuint textures[] = {uiImmutable, uiMutable, uiImmutableChain};
    glDeleteTextures(3, textures);
    glBindTexture(GL_TEXTURE_2D, 0);
}

TEST(Textures, VolumesCubeMapsAndTheirRefusals)
{
    OndoTest::TestDevice();
    const ImageData volume = MakeImage(Ondo::GFX::FormatR8, 4, 3, 2);
    const GLuint uiVolume = LoadTexture3D(volume, false, false);
    EXPECT_EQ(GetImageSize3D(uiVolume), (Ondo::Vector3i{4, 3, 2}));
    EXPECT_EQ(GetInternalFormat3D(uiVolume), static_cast<GLenum>(GL_R8));
    EXPECT_EQ(TexImage<std::uint8_t>(GL_TEXTURE_3D, uiVolume, GL_TEXTURE_3D, 0, GL_RED, GL_UNSIGNED_BYTE, 24),
              volume.m_Pixels);

    const ImageData cube = MakeImage(Ondo::GFX::FormatRGBA8, 2, 2, 1, 6);
    const GLuint uiCube = LoadTextureCubeMap(cube, false, false);
    const auto face = TexImage<std::uint8_t>(GL_TEXTURE_CUBE_MAP, uiCube, GL_TEXTURE_CUBE_MAP_NEGATIVE_Z, 0, GL_RGBA,
                                             GL_UNSIGNED_BYTE, 16);
    EXPECT_TRUE(std::equal(face.begin(), face.end(), cube.m_Pixels.begin() + 5 * 16)) << "the sixth face is -Z";

    EXPECT_THROW(LoadTextureCubeMap(MakeImage(Ondo::GFX::FormatRGBA8, 2, 2), false, false), std::runtime_error);
    EXPECT_THROW(LoadTextureCubeMap(MakeImage(Ondo::GFX::FormatRGBA8, 2, 3, 1, 6), false, false), std::runtime_error);
    EXPECT_THROW(LoadTexture2D(volume, false, false), std::runtime_error);
    ImageData truncated = MakeImage(Ondo::GFX::FormatRGBA8, 2, 2);
    truncated.m_Pixels.resize(3);
    EXPECT_EQ(OndoTest::Thrown([&] { LoadTexture2D(truncated, false, false); }),
              "LoadTexture2D: the image holds 3 bytes of pixels, its size and format need 16");
    const GLuint textures[] = {uiVolume, uiCube};
    glDeleteTextures(2, textures);

    // One texel beyond what the GL takes, along any side, is refused from the sizes alone, before a texture is made.
    for (const auto& [eLimit, szLimit, uiFaces, bVolume] :
         {std::make_tuple(GL_MAX_TEXTURE_SIZE, "GL_MAX_TEXTURE_SIZE", 1u, false),
          std::make_tuple(GL_MAX_CUBE_MAP_TEXTURE_SIZE, "GL_MAX_CUBE_MAP_TEXTURE_SIZE", 6u, false),
          std::make_tuple(GL_MAX_3D_TEXTURE_SIZE, "GL_MAX_3D_TEXTURE_SIZE", 1u, true)}) {
        GLint iLimit = 0;
        glGetIntegerv(eLimit, &iLimit);
        const auto uiOver = static_cast<std::uint32_t>(iLimit) + 1;
        const ImageData huge{Ondo::GFX::FormatR8, Ondo::GFX::LayoutUnknown, Ondo::GFX::ComponentUnknown,
                             uiFaces == 6 ? uiOver : 1u, uiFaces == 6 || !bVolume ? uiOver : 1u, bVolume ? uiOver : 1u,
                             uiFaces, 1, 1, {}};
        const std::string strError = OndoTest::Thrown([&] {
            if (bVolume) LoadTexture3D(huge, false, false);
            else if (uiFaces == 6) LoadTextureCubeMap(huge, false, false);
            else LoadTexture2D(huge, false, false);
        });
        EXPECT_NE(strError.find(std::string("more than this OpenGL takes in each direction (") + szLimit + " " +
                                std::to_string(iLimit) + ")"),
                  std::string::npos)
            << strError;
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    }
}

// Mutable and mipmap flags, a file's own levels and block formats, for volumes and cube maps.
TEST(Textures, VolumeAndCubeUploadsHonourTheirFlagsLevelsAndBlocks)
{
    OndoTest::TestDevice();
    while (glGetError() != GL_NO_ERROR) {
    }
    const GLuint uiMutable = LoadTexture3D(MakeImage(Ondo::GFX::FormatR8, 4, 3, 2), true, true);
    const GLuint uiChain = LoadTexture3D(MakeImage(Ondo::GFX::FormatR32F, 5, 2, 8), false, true);
    const GLuint uiLabels = LoadTexture3D(MakeImage(Ondo::GFX::FormatR16UI, 4, 4, 4), false, true);
    EXPECT_EQ(std::make_tuple(TexParameter(GL_TEXTURE_3D, uiMutable, GL_TEXTURE_IMMUTABLE_FORMAT),
                              TexParameter(GL_TEXTURE_3D, uiMutable, GL_TEXTURE_MAX_LEVEL)),
              std::make_tuple(GL_FALSE, 2));
    EXPECT_EQ(TexParameter(GL_TEXTURE_3D, uiChain, GL_TEXTURE_IMMUTABLE_LEVELS), 4) << "the depth of 8 sets the chain";
    EXPECT_EQ(TexParameter(GL_TEXTURE_3D, uiLabels, GL_TEXTURE_IMMUTABLE_LEVELS), 1) << "no mipmaps of integers";
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    // A cube map with the two levels it brings keeps them, mipmaps asked or not.
    ImageData levels = MakeImage(Ondo::GFX::FormatRGBA8, 4, 4, 1, 6);
    levels.m_uiNumMipMaps = 2;
    levels.m_Pixels.resize(levels.GetRequiredSize(), 9);
    const GLuint uiCube = LoadTextureCubeMap(levels, true, true);
    EXPECT_EQ(std::make_tuple(TexParameter(GL_TEXTURE_CUBE_MAP, uiCube, GL_TEXTURE_IMMUTABLE_FORMAT),
                              TexParameter(GL_TEXTURE_CUBE_MAP, uiCube, GL_TEXTURE_MAX_LEVEL)),
              std::make_tuple(GL_FALSE, 1));
    const auto itLevel = levels.m_Pixels.begin() + static_cast<std::ptrdiff_t>(levels.GetOffset(2, 1));
    EXPECT_EQ(TexImage<std::uint8_t>(GL_TEXTURE_CUBE_MAP, uiCube, GL_TEXTURE_CUBE_MAP_POSITIVE_Y, 1, GL_RGBA,
                                     GL_UNSIGNED_BYTE, 16),
              std::vector<std::uint8_t>(itLevel, itLevel + 16))
        << "level 1 of +Y is the file's";

    // Blocks stay blocks: BC1 faces, a BPTC volume; S3TC volumes the GL refuses.
    const ImageData blocks = MakeImage(Ondo::GFX::FormatBC1, 8, 8, 1, 6);
    const GLuint uiBlocks = LoadTextureCubeMap(blocks, false, false);
    GLint iFormat = 0;
    glBindTexture(GL_TEXTURE_CUBE_MAP, uiBlocks);
    glGetTexLevelParameteriv(GL_TEXTURE_CUBE_MAP_NEGATIVE_Y, 0, GL_TEXTURE_INTERNAL_FORMAT, &iFormat);
    EXPECT_EQ(iFormat, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT);
    std::vector<std::uint8_t> face(32);
    glGetCompressedTexImage(GL_TEXTURE_CUBE_MAP_NEGATIVE_Y, 0, face.data());
    EXPECT_EQ(face, std::vector<std::uint8_t>(blocks.m_Pixels.begin() + 3 * 32, blocks.m_Pixels.begin() + 4 * 32));
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    const GLuint uiBPTC = LoadTexture3D(MakeImage(Ondo::GFX::FormatBC7, 4, 4, 2), false, false);
    EXPECT_EQ(GetInternalFormat3D(uiBPTC), static_cast<GLenum>(GL_COMPRESSED_RGBA_BPTC_UNORM));
    EXPECT_EQ(OndoTest::Thrown([&] { LoadTexture3D(MakeImage(Ondo::GFX::FormatBC1, 4, 4, 2), false, false); }),
              "LoadTexture3D: BC1 blocks are two-dimensional; OpenGL takes no volume of them");
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    const GLuint textures[] = {uiMutable, uiChain, uiLabels, uiCube, uiBlocks, uiBPTC};
    glDeleteTextures(6, textures);
}

TEST(Textures, FormatQueriesSimilarTexturesAndTheDefaultSampler)
{
    OndoTest::TestDevice();
    EXPECT_EQ(std::make_tuple(GetBpp(GL_RGBA8), GetBpp(GL_R32F), GetBpp(GL_RG16F), GetBpp(GL_NONE)),
              std::make_tuple(8u, 32u, 16u, 0u));
    EXPECT_EQ(std::make_tuple(GetNumberOfComponents(GL_RGBA32F), GetNumberOfComponents(GL_RG8)), std::make_tuple(4u, 2u));
    EXPECT_EQ(std::make_tuple(GetPotentialChannelFormat(GL_R32F), GetPotentialChannelFormat(GL_RGBA32UI),
                              GetPotentialChannelFormat(GL_DEPTH_COMPONENT24)),
              std::make_tuple(GLenum(GL_RED), GLenum(GL_RGBA_INTEGER), GLenum(GL_DEPTH_COMPONENT)));

    const GLuint uiSource = LoadTexture2D(MakeImage(Ondo::GFX::FormatRG32F, 5, 7), false, false);
    const std::vector<float> data(5 * 7 * 2, 0.5f);
    const GLuint uiSimilar = CreateSimilarTexture(GL_TEXTURE_2D, uiSource, data.data());
    EXPECT_NE(uiSimilar, uiSource);
    EXPECT_EQ(GetImageSize2D(uiSimilar), (Ondo::Vector2i{5, 7}));
    EXPECT_EQ(GetInternalFormat2D(uiSimilar), static_cast<GLenum>(GL_RG32F));
    EXPECT_EQ(TexImage<float>(GL_TEXTURE_2D, uiSimilar, GL_TEXTURE_2D, 0, GL_RG, GL_FLOAT, 70), data);
    EXPECT_THROW(CreateSimilarTexture(GL_TEXTURE_1D, uiSource, nullptr), std::runtime_error);

    const GLuint uiSampler = CreateDefaultSamplerState();
    EXPECT_TRUE(glIsSampler(uiSampler));
    for (const auto& [eParameter, iExpected] : {std::pair<GLenum, GLint>{GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE},
                                                {GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE},
                                                {GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE},
                                                {GL_TEXTURE_MIN_FILTER, GL_LINEAR},
                                                {GL_TEXTURE_MAG_FILTER, GL_LINEAR}}) {
        GLint iValue = 0;
        glGetSamplerParameteriv(uiSampler, eParameter, &iValue);
        EXPECT_EQ(iValue, iExpected) << "parameter 0x" << std::hex << eParameter;
    }
    glDeleteSamplers(1, &uiSampler);
    const GLuint textures[] = {uiSource, uiSimilar};
    glDeleteTextures(2, textures);
    glBindTexture(GL_TEXTURE_2D, 0);
}
