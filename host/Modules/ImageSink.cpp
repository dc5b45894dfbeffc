#include "host/Modules/ImageSink.h"

#include "host/FlowGraph/RunContext.h"
#include "host/GFX/ImageIO.h"
#include "host/Modules/ModuleSupport.h"

#include "Ondo/FlowGraph/FilterRegistry.h"

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
FileType TypeOfName(const std::string& strFilterName, const std::string& strName)
{
    std::string strExtension = std::filesystem::path(strName).extension().string();
    std::transform(strExtension.begin(), strExtension.end(), strExtension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (strExtension == ".png") return FileType::PNG;
    if (strExtension == ".exr") return FileType::EXR;
    throw std::runtime_error(strFilterName + ": cannot write \"" + strName +
                             "\": the file type is named by the extension, \".png\" or \".exr\"");
}

// Every "{frame}" replaced by the frame number, zero-padded to four digits.
std::string ExpandFrame(std::string strName, std::uint64_t uiFrame)
{
    std::string strFrame = std::to_string(uiFrame);
    if (strFrame.size() < 4) strFrame.insert(0, 4 - strFrame.size(), '0');
    static const std::string s_strToken = "{frame}";
    for (std::size_t uiAt = strName.find(s_strToken); uiAt != std::string::npos;
         uiAt = strName.find(s_strToken, uiAt + strFrame.size()))
        strName.replace(uiAt, s_strToken.size(), strFrame);
    return strName;
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

// 32-bit floats for OpenEXR with the texture's channels; bytes become n / 255.
GFX::ImageData ToFloat(GFX::ImageData source)
{
    if (source.m_iComponentType == GFX::ComponentFloat32) return source;
    static const std::int32_t s_Formats[] = {GFX::FormatR32F, GFX::FormatRG32F, GFX::FormatRGB32F, GFX::FormatRGBA32F};
    static const std::int32_t s_Layouts[] = {GFX::LayoutR, GFX::LayoutRG, GFX::LayoutRGB, GFX::LayoutRGBA};
    const unsigned int uiChannels = GFX::GetImageFormatDescription(source.m_iImageFormat).m_uiChannels;
    GFX::ImageData image =
        EmptyLike(source, s_Formats[uiChannels - 1], s_Layouts[uiChannels - 1], GFX::ComponentFloat32);
    const std::size_t uiValues = std::size_t{source.m_uiWidth} * source.m_uiHeight * uiChannels;
    for (std::size_t i = 0; i < uiValues; ++i) {
        const float fValue = source.m_Pixels[i] / 255.0f;
        std::memcpy(image.m_Pixels.data() + i * sizeof(float), &fValue, sizeof(float));
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
}

void FilterImageSink::Instrument(Instrumenter& instrumenter)
{
    // A name without a known extension is kept (the next run says why it
    // cannot be written) but pointed out at once.
    instrumenter.AddStringField("File Name", &m_strFileName, [this] {
        try {
            TypeOfName(GetName(), m_strFileName);
        } catch (const std::runtime_error& e) {
            if (LoggerInterface* pLogger = GetCore().GetLogger()) pLogger->Log(std::string(e.what()) + "\n");
        }
    });
    instrumenter.AddBool("Only When Changed", &m_bOnlyWhenChanged, [] {});
    instrumenter.AddStringView("Last Written", &m_strLastWritten);
}

void FilterImageSink::Process(FlowGraph::ScopeExecuter&)
{
    TexturePort& input = *hTextureIn;
    const OpenGL::TextureObject2D* pTexture = input.GetData();
    if (!pTexture || pTexture->m_uiName == 0) {
        Detail::Report(*this, "\"Texture\" carries no texture; nothing was written.");
        return;
    }
    const RunContext& run = RunContext::Get(GetCore());
    const std::string strName = ExpandFrame(m_strFileName, run.m_uiFrame);
    const FileType eType = TypeOfName(GetName(), strName);
    const std::string strPath = run.ResolveOutputPath(strName);

    // Nothing else resets an input's changed flag: it is taken here, so that
    // the next frame sees only what changed since.
    const bool bChanged = input.HasChanged();
    input.ResetChanged();
    if (m_bOnlyWhenChanged && !bChanged) return;

    const GFX::ImageData image = OpenGL::ReadTexture2D(pTexture->m_uiName);
    if (image.m_iComponentType != GFX::ComponentUInt8 && image.m_iComponentType != GFX::ComponentFloat32)
        throw std::runtime_error(GetName() + ": the texture's pixels cannot be written to \"" + strPath + "\"");

    // A missing folder is made; when that fails, the writer names the path.
    const std::filesystem::path folder = std::filesystem::path(strPath).parent_path();
    std::error_code error;
    if (!folder.empty()) std::filesystem::create_directories(folder, error);

    if (eType == FileType::PNG)
        GFX::WritePNG(strPath, ToRGBA8(image));
    else
        GFX::WriteEXR(strPath, ToFloat(image));
    m_strLastWritten = strPath;
    Detail::Report(*this, "wrote " + strPath);
}

void RegisterImageSink(FlowGraph::FilterRegistry& registry)
{
    registry.RegisterFilter(FlowGraph::FilterDescriptor(
        "Host.ImageSink", "host\\Modules\\ImageSink", "Writes a texture to a PNG or OpenEXR file every frame",
        "Host;Image;Sink;File;PNG;EXR", [](Core& core, const std::string& strName) -> FlowGraph::Filter* {
            return new (std::nothrow) FilterImageSink(core, strName);
        }));
}

} // namespace Ondo::Host
