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

const FileLoaderKind s_Kind2D{"OutputTexture", &Ondo::OpenGL::LoadTexture2D, true, false, nullptr};

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

template <class TextureT>
FileTextureLoader<TextureT>::FileTextureLoader(Ondo::Core& core, const std::string& strName,
                                               const FileLoaderKind& kind)
    : BaseFilter(core, strName, strName), m_Kind(kind)
{
}

template <class TextureT>
void FileTextureLoader<TextureT>::CreatePorts()
{
    CreatePort(hOutTexture, {Ondo::FlowGraph::PortType::Output, m_Kind.m_szOutput, false});
}

template <class TextureT>
void FileTextureLoader<TextureT>::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    BaseFilter::Serialize(serializer);
    serializer.Serialize("hOutTexture", hOutTexture);
    serializer.Serialize("FileName", m_strFileName);
    serializer.Serialize("bTextureIsMutable", bTextureIsMutable);
    serializer.Serialize("bCreateMipMaps", bCreateMipMaps);
}

template <class TextureT>
void FileTextureLoader<TextureT>::Instrument(Ondo::Instrumenter& instrumenter)
{
    BaseFilter::Instrument(instrumenter);
    const Ondo::Instrumenter::Callback fnReload = std::bind(&FileTextureLoader::RequestReload, this);
    const std::wstring strFilter = m_Kind.m_szFileFilter ? std::wstring(m_Kind.m_szFileFilter)
                                                         : Ondo::GFX::ImageLoader::Get(GetCore()).GetFileFilter();
    instrumenter.AddFileName("File name", &m_strFileName, strFilter, fnReload);
    instrumenter.AddBool("Mutable", &bTextureIsMutable, fnReload);
    instrumenter.AddBool("Create MipMaps", &bCreateMipMaps, fnReload);
}

template <class TextureT>
void FileTextureLoader<TextureT>::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    // Filtering near a cube map's edges reads the neighbouring faces.
    if (m_Texture.GetTarget() == GL_TEXTURE_CUBE_MAP) glEnable(GL_TEXTURE_CUBE_MAP_SEAMLESS);
    if (!m_Kind.m_bLoadInInitResources) return;
    LoadFile();
    m_bReload = false;
}

template <class TextureT>
void FileTextureLoader<TextureT>::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    m_Texture.Release();
}

template <class TextureT>
void FileTextureLoader<TextureT>::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    const bool bChanged = m_bReload;
    if (m_bReload) {
        LoadFile();
        m_bReload = false;
    }
    hOutTexture->SetData(&m_Texture, bChanged);
}

template <class TextureT>
void FileTextureLoader<TextureT>::RequestReload()
{
    m_bReload = true;
}

// A name that is empty, missing or no regular file leaves the texture as it
// is (the volume loader has dropped it already); a file no reader accepts
// leaves none, and the image loader tells the core why, which stops the run.
// Otherwise the texture loaded before is deleted once its successor exists,
// so that a failed upload loses nothing.
template <class TextureT>
void FileTextureLoader<TextureT>::LoadFile()
{
    if (m_Kind.m_bReleaseBeforeLoad) m_Texture.Release();
    if (!IsRegularFile(m_strFileName)) return;
    const std::unique_ptr<Ondo::GFX::ImageData> pImage = Ondo::GFX::ImageLoader::Get(GetCore()).Load(m_strFileName);
    if (!pImage) {
        m_Texture.Release();
        return;
    }
    const GLuint uiTexture = m_Kind.m_fnUpload(*pImage, bTextureIsMutable, bCreateMipMaps);
    m_Texture.Release();
    m_Texture.m_uiName = uiTexture;
    // The levels of a one-level image, made again from level 0. A file that
    // carries levels of its own keeps them, and a texture the upload gave no
    // chain (integer voxels, a format the GL cannot average) is left alone:
    // glGenerateMipmap would fail on it.
    if (!bCreateMipMaps || pImage->GetNumMipMaps() != 1) return;
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(m_Texture.GetTarget(), uiTexture);
    GLint iMaxLevel = 0;
    glGetTexParameteriv(m_Texture.GetTarget(), GL_TEXTURE_MAX_LEVEL, &iMaxLevel);
    if (iMaxLevel > 0) glGenerateMipmap(m_Texture.GetTarget());
}

template class FileTextureLoader<Ondo::OpenGL::TextureObject2D>;
template class FileTextureLoader<Ondo::OpenGL::TextureObjectCube>;
template class FileTextureLoader<Ondo::OpenGL::TextureObject3D>;

FilterLoadTextureFromFile::FilterLoadTextureFromFile(Ondo::Core& core, const std::string& strName)
    : FileTextureLoader(core, strName, s_Kind2D)
{
}

} // namespace Prismvale
