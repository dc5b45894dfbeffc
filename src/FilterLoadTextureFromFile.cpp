#include "src/FilterLoadTextureFromFile.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/GFX/ImageLoader.h"
#include "Ondo/Instrumenter.h"
#include "Ondo/OpenGL/Textures.h"
#include "Ondo/StringConversion.h"

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <system_error>

namespace Prismvale {

namespace {
const FilterRegistration<FilterLoadTextureFromFile> s_Registration("OpenGL.Texture.LoadFromFile",
                                                                   "src\\FilterLoadTextureFromFile",
                                                                   "For loading a texture from disc to OpenGL",
                                                                   "OpenGL;Texture;Load");

// Whether the path names an existing regular file. A name that cannot be
// turned into a file-system path names none.
bool IsRegularFile(const std::wstring& strPath)
{
    try {
        std::error_code error;
        return std::filesystem::is_regular_file(std::filesystem::path(Ondo::WideToUtf8(strPath)), error);
    } catch (const std::range_error&) {
        return false;
    }
}
} // namespace

FilterLoadTextureFromFile::FilterLoadTextureFromFile(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName)
{
}

void FilterLoadTextureFromFile::CreatePorts()
{
    CreatePort(hOutTexture, {Ondo::FlowGraph::PortType::Output, "OutputTexture", false});
}

void FilterLoadTextureFromFile::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    BaseFilter::Serialize(serializer);
    serializer.Serialize("hOutTexture", hOutTexture);
    serializer.Serialize("FileName", m_strFileName);
    serializer.Serialize("bTextureIsMutable", bTextureIsMutable);
    serializer.Serialize("bCreateMipMaps", bCreateMipMaps);
}

void FilterLoadTextureFromFile::Instrument(Ondo::Instrumenter& instrumenter)
{
    BaseFilter::Instrument(instrumenter);
    const Ondo::Instrumenter::Callback fnReload = std::bind(&FilterLoadTextureFromFile::RequestReload, this);
    instrumenter.AddFileName("File name", &m_strFileName, Ondo::GFX::ImageLoader::Get(GetCore()).GetFileFilter(),
                             fnReload);
    instrumenter.AddBool("Mutable", &bTextureIsMutable, fnReload);
    instrumenter.AddBool("Create MipMaps", &bCreateMipMaps, fnReload);
}

void FilterLoadTextureFromFile::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    LoadFile();
    m_bReload = false;
}

void FilterLoadTextureFromFile::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    m_Texture.Release();
}

void FilterLoadTextureFromFile::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    const bool bChanged = m_bReload;
    if (m_bReload) {
        LoadFile();
        m_bReload = false;
    }
    hOutTexture->SetData(&m_Texture, bChanged);
}

void FilterLoadTextureFromFile::RequestReload() { m_bReload = true; }

// A name that is empty, missing or no regular file leaves the texture as it
// is; a file no reader accepts leaves none. The texture loaded before is
// deleted once its successor exists, so that a failed upload loses nothing.
void FilterLoadTextureFromFile::LoadFile()
{
    if (!IsRegularFile(m_strFileName)) return;
    const std::unique_ptr<Ondo::GFX::ImageData> pImage = Ondo::GFX::ImageLoader::Get(GetCore()).Load(m_strFileName);
    if (!pImage) {
        m_Texture.Release();
        return;
    }
    const GLuint uiTexture = Ondo::OpenGL::LoadTexture2D(*pImage, bTextureIsMutable, bCreateMipMaps);
    m_Texture.Release();
    m_Texture.m_uiName = uiTexture;
    if (bCreateMipMaps) {
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, uiTexture);
        glGenerateMipmap(GL_TEXTURE_2D);
    }
}

} // namespace Prismvale
