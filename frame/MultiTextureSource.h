#pragma once

#include "frame/DynamicPorts.h"

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/FlowGraph/ValuePorts.h"
#include "Ondo/Instrumenter.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GPUObjects.h"

#include <vector>

namespace Prismvale {

// Creates a chosen number (1 to 16) of empty textures of one size, each in a
// format of its own, and publishes each on an output of its own ("0", "1",
// ...). The textures are made anew when a size input or a setting changes,
// and after ReleaseResources. The 2D and the 3D source differ only in the
// texture kind and the "Depth" input of the volumes.
template <class TextureObject, bool bVolume>
class MultiTextureSourceT : public Ondo::OpenGL::BaseFilter {
public:
    static constexpr int MaxTextures = 16;

    MultiTextureSourceT(Ondo::Core& core, const std::string& strName) : BaseFilter(core, strName, strName) {}

    void CreatePorts() override
    {
        using Ondo::FlowGraph::PortType;
        CreatePort(hWidth, {PortType::Input, "Width", false});
        CreatePort(hHeight, {PortType::Input, "Height", false});
        if constexpr (bVolume) CreatePort(hDepth, {PortType::Input, "Depth", false});
        RebuildPorts();
        m_bRebuild = true;
    }

    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer) override
    {
        SerializeCount(serializer, "NumberOfTextures", m_iNumberOfTextures, MaxTextures);
        serializer.Serialize("Width", hWidth);
        serializer.Serialize("Height", hHeight);
        if constexpr (bVolume) serializer.Serialize("Depth", hDepth);
        m_TextureTypes.Serialize(serializer, "TextureTypes");
        m_DynamicPorts.Serialize(serializer, "DynamicPorts", "Item");
        if (!serializer.IsReader()) return;
        RebuildPorts();
        m_bRebuild = true;
    }

    void Instrument(Ondo::Instrumenter& instrumenter) override
    {
        const auto fnChanged = [this] { m_bRebuild = true; };
        instrumenter.AddIntRange("Number of Textures", &m_iNumberOfTextures, 1, MaxTextures, 1,
                                 [this, &instrumenter, fnChanged] {
                                     RebuildPorts();
                                     m_bRebuild = true;
                                     m_TextureTypes.RebuildControls(instrumenter, m_DynamicPorts.GetCount(),
                                                                    fnChanged);
                                 });
        m_TextureTypes.RebuildControls(instrumenter, m_DynamicPorts.GetCount(), fnChanged);
    }

    // The textures are made by the first Process, and by the first one after
    // a release; InitResources has nothing to do.
    void ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) override
    {
        for (TextureEntry& entry : m_Textures) entry.m_Texture.Release();
        m_bRebuild = true;
    }

    void Process(Ondo::FlowGraph::ScopeExecuter&) override
    {
        bool bChanged = m_bRebuild || hHeight->HasChanged() || hWidth->HasChanged();
        if constexpr (bVolume) bChanged = bChanged || hDepth->HasChanged();
        if (bChanged) {
            RebuildTextures();
            m_bRebuild = false;
        }
        for (std::size_t i = 0; i < m_DynamicPorts.GetCount() && i < m_Textures.size(); ++i)
            m_DynamicPorts[i]->SetData(&m_Textures[i].m_Texture, bChanged);
    }

private:
    using SizePort = Ondo::FlowGraph::SimplePortT<int>;
    using TexturePort = Ondo::FlowGraph::SimplePortT<TextureObject>;
    struct TextureEntry {
        TextureObject m_Texture;
        GLenum m_eFormat = GL_NONE;
    };

    void RebuildPorts()
    {
        m_DynamicPorts.RebuildOutputs(*this, static_cast<std::size_t>(m_iNumberOfTextures));
        m_TextureTypes.Resize(m_DynamicPorts.GetCount());
    }

    void RebuildTextures()
    {
        // Sizes first: one the GL cannot make is refused before anything
        // is deleted or made.
        constexpr GLenum eTarget = bVolume ? GL_TEXTURE_3D : GL_TEXTURE_2D;
        constexpr GLenum eLimit = bVolume ? GL_MAX_3D_TEXTURE_SIZE : GL_MAX_TEXTURE_SIZE;
        const int iWidth = ReadSize(*this, *hWidth, eLimit), iHeight = ReadSize(*this, *hHeight, eLimit);
        const int iDepth = bVolume ? ReadSize(*this, *hDepth, eLimit) : 1;
        for (TextureEntry& entry : m_Textures) entry.m_Texture.Release();
        m_Textures.resize(m_DynamicPorts.GetCount());

        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        for (std::size_t i = 0; i < m_Textures.size(); ++i) {
            const GLenum eFormat = m_TextureTypes.GetFormat(i);
            GLuint uiName = 0;
            glGenTextures(1, &uiName);
            glActiveTexture(GL_TEXTURE0);
            glBindTexture(eTarget, uiName);
            glTexParameteri(eTarget, GL_TEXTURE_BASE_LEVEL, 0);
            glTexParameteri(eTarget, GL_TEXTURE_MAX_LEVEL, 0);
            if constexpr (bVolume)
                glTexStorage3D(eTarget, 1, eFormat, iWidth, iHeight, iDepth);
            else
                glTexStorage2D(eTarget, 1, eFormat, iWidth, iHeight);
            m_Textures[i].m_Texture.m_uiName = uiName;
            m_Textures[i].m_eFormat = eFormat;
        }
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    }

    int m_iNumberOfTextures = 1;
    Ondo::FlowGraph::PortHandle<SizePort> hWidth;
    Ondo::FlowGraph::PortHandle<SizePort> hHeight;
    // Volumes only; none for the 2D source.
    Ondo::FlowGraph::PortHandle<SizePort> hDepth;
    std::vector<TextureEntry> m_Textures;
    DynamicPorts<TexturePort> m_DynamicPorts;
    TextureFormatChoices m_TextureTypes;
    bool m_bRebuild = true;
};

} // namespace Prismvale
