#include "host/Modules/ImageSink.h"

#include "host/FlowGraph/RunContext.h"
#include "host/GFX/BackgroundWriter.h"
#include "host/GFX/ImageIO.h"
#include "host/Modules/ModuleSupport.h"

#include "Ondo/FlowGraph/FilterRegistry.h"
#include "Ondo/OpenGL/Textures.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <new>
#include <stdexcept>

namespace Ondo::Host {

namespace {

enum class FileType { PNG, EXR };

// The file type a name's extension asks for; throws for any other.
FileType TypeOfName(const std::string& strName)
{
    std::string strExtension = std::filesystem::path(strName).extension().string();
    std::transform(strExtension.begin(), strExtension.end(), strExtension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (strExtension == ".png") return FileType::PNG;
    if (strExtension == ".exr") return FileType::EXR;
    throw std::runtime_error("cannot write \"" + strName +
                             "\": the file type is named by the extension, \".png\" or \".exr\"");
}

// Every token in strName replaced by strValue.
std::string ReplaceAll(std::string strName, const std::string& strToken, const std::string& strValue)
{
    for (std::size_t uiAt = strName.find(strToken); uiAt != std::string::npos;
         uiAt = strName.find(strToken, uiAt + strValue.size()))
        strName.replace(uiAt, strToken.size(), strValue);
    return strName;
}

// The file name with "{frame}" replaced by the frame number, zero-padded to
// four digits, and "{name}" and "{stem}" by the name of the batch's current
// file and that name without its extension. Outside a batch the last two
// name nothing, and a file named after them is refused rather than written
// under a name with braces.
std::string ExpandName(const std::string& strName, const RunContext& run)
{
    std::string strFrame = std::to_string(run.m_uiFrame);
    if (strFrame.size() < 4) strFrame.insert(0, 4 - strFrame.size(), '0');
    std::string strResult = ReplaceAll(strName, "{frame}", strFrame);
    const bool bBatchName = strResult.find("{name}") != std::string::npos || strResult.find("{stem}") != std::string::npos;
    if (!bBatchName) return strResult;
    if (run.m_strBatchFile.empty())
        throw std::runtime_error("\"" + strName +
                                 "\": {name} and {stem} stand for the current file of a batch (ondo-run --each), "
                                 "and this run is none");
    const std::filesystem::path file = std::filesystem::path(run.m_strBatchFile).filename();
    strResult = ReplaceAll(strResult, "{name}", file.string());
    return ReplaceAll(strResult, "{stem}", file.stem().string());
}

// Channel iChannel of pixel uiPixel as a value in [0, 1] for 8-bit images,
// as stored for float ones.
float Channel(const GFX::ImageData& image, unsigned int uiChannels, std::size_t uiPixel, unsigned int uiChannel)
{
    if (image.m_iComponentType == GFX::ComponentUInt8) return image.m_Pixels[uiPixel * uiChannels + uiChannel] / 255.0f;
    float fValue = 0.0f;
    std::memcpy(&fValue, image.m_Pixels.data() + (uiPixel * uiChannels + uiChannel) * sizeof(float), sizeof(float));
    return fValue;
}

GFX::ImageData EmptyLike(const GFX::ImageData& source, std::int32_t iFormat, std::int32_t iLayout,
                         std::int32_t iComponent)
{
    GFX::ImageData image;
    image.m_iImageFormat = iFormat;
    image.m_iChannelLayout = iLayout;
    image.m_iComponentType = iComponent;
    image.m_uiWidth = source.m_uiWidth;
    image.m_uiHeight = source.m_uiHeight;
    image.m_uiPixelSize = GFX::GetImageFormatDescription(iFormat).m_uiBytesPerBlock;
    image.m_Pixels.resize(image.GetRequiredSize());
    return image;
}

// RGBA bytes for PNG: values clamped to [0, 1]; one channel becomes grey,
// two become red and green; alpha is 1 where the texture has none.
GFX::ImageData ToRGBA8(const GFX::ImageData& source)
{
    const unsigned int uiChannels = GFX::GetImageFormatDescription(source.m_iImageFormat).m_uiChannels;
    GFX::ImageData image = EmptyLike(source, GFX::FormatRGBA8, GFX::LayoutRGBA, GFX::ComponentUInt8);
    const std::size_t uiPixels = std::size_t{source.m_uiWidth} * source.m_uiHeight;
    for (std::size_t p = 0; p < uiPixels; ++p) {
        float rgba[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        for (unsigned int c = 0; c < uiChannels && c < 4; ++c) rgba[c] = Channel(source, uiChannels, p, c);
        if (uiChannels == 1) rgba[1] = rgba[2] = rgba[0];
        for (unsigned int c = 0; c < 4; ++c) {
            const float fValue = std::isnan(rgba[c]) ? 0.0f : std::clamp(rgba[c], 0.0f, 1.0f);
            image.m_Pixels[p * 4 + c] = static_cast<std::uint8_t>(std::lround(fValue * 255.0f));
        }
    }
    return image;
}

// An unsigned-integer texture of 8 or 16 bits (volume slices of R8UI or
// R16UI voxels, labels) read back as floats holding its integers, made an
// image of the same values for PNG: R8UI stays 0 to 255, one channel becomes
// grey. Signed and 32-bit integers have no exact PNG form and are refused.
GFX::ImageData IntegersForPNG(const GFX::ImageData& source, GLenum eInternalFormat, const std::string& strName)
{
    const GLenum eType = OpenGL::GetPotentialComponentType(eInternalFormat);
    if (eType != GL_UNSIGNED_BYTE && eType != GL_UNSIGNED_SHORT)
        throw std::runtime_error("cannot write \"" + strName +
                                 "\": PNG holds unsigned values of 8 and 16 bits, and the texture's integers are "
                                 "signed or 32-bit; write it to an .exr file instead");
    const bool bSixteen = eType == GL_UNSIGNED_SHORT;
    const unsigned int uiChannels = GFX::GetImageFormatDescription(source.m_iImageFormat).m_uiChannels;
    static const std::int32_t s_Bytes[] = {GFX::FormatR8, GFX::FormatRG8, GFX::FormatRGB8, GFX::FormatRGBA8};
    static const std::int32_t s_Shorts[] = {GFX::FormatR16, GFX::FormatRG16, GFX::FormatRGB16, GFX::FormatRGBA16};
    static const std::int32_t s_Layouts[] = {GFX::LayoutGrey, GFX::LayoutRG, GFX::LayoutRGB, GFX::LayoutRGBA};
    GFX::ImageData image = EmptyLike(source, (bSixteen ? s_Shorts : s_Bytes)[uiChannels - 1], s_Layouts[uiChannels - 1],
                                     bSixteen ? GFX::ComponentUInt16 : GFX::ComponentUInt8);
    const std::size_t uiValues = std::size_t{source.m_uiWidth} * source.m_uiHeight * uiChannels;
    for (std::size_t i = 0; i < uiValues; ++i) {
        float fValue = 0.0f;
        std::memcpy(&fValue, source.m_Pixels.data() + i * sizeof(float), sizeof(float));
        const auto uiValue = static_cast<std::uint16_t>(fValue);
        if (bSixteen)
            std::memcpy(image.m_Pixels.data() + 2 * i, &uiValue, 2);
        else
            image.m_Pixels[i] = static_cast<std::uint8_t>(uiValue);
    }
    return image;
}

} // namespace

FilterImageSink::FilterImageSink(Core& core, const std::string& strName) : BaseFilter(core, strName, strName) {}

void FilterImageSink::CreatePorts()
{
    CreatePort(hTextureIn, {FlowGraph::PortType::Input, "Texture", false});
}

void FilterImageSink::Serialize(FlowGraph::Serialization::Serializer& serializer)
{
    Detail::SerializeSetting(serializer, "strFileName", m_strFileName);
    Detail::SerializeSetting(serializer, "bOnlyWhenChanged", m_bOnlyWhenChanged);
    Detail::SerializeSetting(serializer, "bSmallestFiles", m_bSmallestFiles);
}

void FilterImageSink::Instrument(Instrumenter& instrumenter)
{
    // A name without a known extension is kept (the next run says why it
    // cannot be written) but pointed out at once; "{name}" brings the
    // extension of the batch's file.
    instrumenter.AddStringField("File Name", &m_strFileName, [this] {
        if (m_strFileName.find("{name}") != std::string::npos) return;
        try {
            TypeOfName(m_strFileName);
        } catch (const std::runtime_error& e) {
            Detail::Report(*this, e.what());
        }
    });
    instrumenter.AddBool("Only When Changed", &m_bOnlyWhenChanged, [] {});
    instrumenter.AddBool("Smallest Files", &m_bSmallestFiles, [] {});
    instrumenter.AddStringView("Last Written", &m_strLastWritten);
}

void FilterImageSink::Process(FlowGraph::ScopeExecuter&)
{
    TexturePort& input = *hTextureIn;
    const OpenGL::TextureObject2D* pTexture = input.GetData();
    // Nothing to write is an error of the run, not a quiet frame: whoever
    // runs the graph expects the file.
    if (!pTexture || pTexture->m_uiName == 0) {
        GetCore().ReportError("\"Texture\" carries no texture; nothing was written to \"" + m_strFileName + "\"");
        return;
    }
    const RunContext& run = RunContext::Get(GetCore());
    const std::string strName = ExpandName(m_strFileName, run);
    const FileType eType = TypeOfName(strName);
    const std::string strPath = run.ResolveOutputPath(strName);

    // Nothing else resets an input's changed flag: it is taken here, so that
    // the next frame sees only what changed since.
    const bool bChanged = input.HasChanged();
    input.ResetChanged();
    if (m_bOnlyWhenChanged && !bChanged) return;

    const GLenum eInternalFormat = OpenGL::GetInternalFormat2D(pTexture->m_uiName);
    const GFX::PngCompression eCompression =
        m_bSmallestFiles ? GFX::PngCompression::Smallest : GFX::PngCompression::Fast;
    // The conversions and the encoding need no GL: they run where the file
    // is written.
    auto fnWrite = [image = OpenGL::ReadTexture2D(pTexture->m_uiName, m_ReadBuffer), eType, eInternalFormat,
                    eCompression, strName, strPath] {
        // A missing folder is made; when that fails, the writer names the path.
        const std::filesystem::path folder = std::filesystem::path(strPath).parent_path();
        std::error_code error;
        if (!folder.empty()) std::filesystem::create_directories(folder, error);

        // 8- and 16-bit textures are written as they are (grey stays grey,
        // with alpha when it has one); the writers refuse what they cannot
        // hold. Integer textures are written as their integers, never clamped
        // as colours (which would leave an R8UI slice all white).
        if (eType == FileType::PNG && OpenGL::IsIntegerFormat(eInternalFormat))
            GFX::WritePNG(strPath, IntegersForPNG(image, eInternalFormat, strName), eCompression);
        else if (eType == FileType::PNG)
            GFX::WritePNG(strPath, image.m_iComponentType == GFX::ComponentFloat32 ? ToRGBA8(image) : image,
                          eCompression);
        else
            GFX::WriteEXR(strPath, image);
    };
    m_strLastWritten = strPath;
    if (run.m_pWriter) {
        run.m_pWriter->Submit(GetName(), strPath, std::move(fnWrite));
        return;
    }
    fnWrite();
    Detail::Report(*this, "wrote " + strPath);
}

void FilterImageSink::ReleaseResources(OpenGL::Device&, OpenGL::Context&) { m_ReadBuffer.Release(); }

void RegisterImageSink(FlowGraph::FilterRegistry& registry)
{
    registry.RegisterFilter(FlowGraph::FilterDescriptor(
        "Host.ImageSink", "host\\Modules\\ImageSink", "Writes a texture to a PNG or OpenEXR file every frame",
        "Host;Image;Sink;File;PNG;EXR", [](Core& core, const std::string& strName) -> FlowGraph::Filter* {
            return new (std::nothrow) FilterImageSink(core, strName);
        }));
}

} // namespace Ondo::Host
