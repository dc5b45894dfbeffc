#pragma once

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/GFX/ImageData.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"

#include <string>

namespace Prismvale {

// What the three file loaders (2D texture, cube map, volume) differ in.
struct FileLoaderKind {
    // Label of the one output.
    const char* m_szOutput;
    // The render-device library's upload for this kind of texture.
    GLuint (*m_fnUpload)(const Ondo::GFX::ImageData& image, bool bMutable, bool bMipMaps);
    // Whether InitResources loads the file; otherwise the first Process does,
    // and publishes the texture marked changed.
    bool m_bLoadInInitResources;
    // Whether every load starts by dropping the texture loaded before (the
    // volume loader: a name that is no regular file then leaves none), rather
    // than keeping it until its successor exists.
    bool m_bReleaseBeforeLoad;
    // The filter of the "File name" control; null for the image loader's.
    const wchar_t* m_szFileFilter;
};

// Reads an image file through the core's image loader and publishes it as one
// texture of kind TextureT. The file is read again whenever the file name or
// one of the two upload options is changed in the editor. Settings, controls
// and loading are the same for every kind; FileLoaderKind says what differs.
template <class TextureT>
class FileTextureLoader : public Ondo::OpenGL::BaseFilter {
public:
    FileTextureLoader(Ondo::Core& core, const std::string& strName, const FileLoaderKind& kind);

    void CreatePorts() override;
    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer) override;
    void Instrument(Ondo::Instrumenter& instrumenter) override;
    void InitResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void ReleaseResources(Ondo::OpenGL::Device& device, Ondo::OpenGL::Context& context) override;
    void Process(Ondo::FlowGraph::ScopeExecuter& executer) override;

private:
    using TexturePort = Ondo::FlowGraph::SimplePortT<TextureT>;

    void RequestReload();
    void LoadFile();

    const FileLoaderKind& m_Kind;
    Ondo::FlowGraph::PortHandle<TexturePort> hOutTexture;
    TextureT m_Texture;
    std::wstring m_strFileName;
    bool m_bReload = true;
    bool bTextureIsMutable = true;
    bool bCreateMipMaps = true;
};

extern template class FileTextureLoader<Ondo::OpenGL::TextureObject2D>;
extern template class FileTextureLoader<Ondo::OpenGL::TextureObjectCube>;
extern template class FileTextureLoader<Ondo::OpenGL::TextureObject3D>;

// Loads a picture as a 2D texture, in InitResources and after each edit.
class FilterLoadTextureFromFile : public FileTextureLoader<Ondo::OpenGL::TextureObject2D> {
public:
    FilterLoadTextureFromFile(Ondo::Core& core, const std::string& strName);
};

} // namespace Prismvale
