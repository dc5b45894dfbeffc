#include "src/FilterSimilarTextureSource2D.h"

#include "frame/DescriptorList.h"

#include "Ondo/Core.h"
#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/Instrumenter.h"
#include "Ondo/Logger.h"
#include "Ondo/OpenGL/Textures.h"

namespace Prismvale {

namespace {
const FilterRegistration<FilterSimilarTextureSource2D> s_Registration(
    "OpenGL.Texture.SimilarMultiSource2D", "src\\FilterSimilarTextureSource2D",
    "Can be used to create several OpenGL 2D textures similar to the input texture (type, size)", "OpenGL;Texture");
} // namespace

FilterSimilarTextureSource2D::FilterSimilarTextureSource2D(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName)
{
}

void FilterSimilarTextureSource2D::CreatePorts()
{
    CreatePort(hSimilarTextureIn, {Ondo::FlowGraph::PortType::Input, "Texture", false});
    RebuildPorts();
    m_bRebuild = true;
}

void FilterSimilarTextureSource2D::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    serializer.Serialize("NumberOfTextures", m_iNumberOfTextures);
    serializer.Serialize("hSimilarTextureIn", hSimilarTextureIn);
    m_DynamicPorts.Serialize(serializer, "DynamicPorts", "Item");
    if (!serializer.IsReader()) return;
    m_iNumberOfTextures = ClampCount(m_iNumberOfTextures, MaxTextures);
    RebuildPorts();
    m_bRebuild = true;
}

void FilterSimilarTextureSource2D::Instrument(Ondo::Instrumenter& instrumenter)
{
    instrumenter.AddIntRange("Number of Textures", &m_iNumberOfTextures, 1, MaxTextures, 1, [this] {
        RebuildPorts();
        m_bRebuild = true;
    });
}

// The textures are made by the first Process; InitResources has nothing to do.
void FilterSimilarTextureSource2D::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    for (Ondo::OpenGL::TextureObject2D& texture : m_Textures) texture.Release();
}

void FilterSimilarTextureSource2D::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    const bool bChanged = m_bRebuild || hSimilarTextureIn->HasChanged();
    if (bChanged) {
        // Without a texture to copy from there is nothing to make: the
        // outputs stay as they are and the rebuild waits for a texture.
        const Ondo::OpenGL::TextureObject2D* pInput = hSimilarTextureIn->GetData();
        if (!pInput || pInput->m_uiName == 0) {
            if (Ondo::LoggerInterface* pLogger = GetCore().GetLogger())
                pLogger->Log(GetName() + ": \"Texture\" carries no texture; the textures were not rebuilt.\n");
            m_bRebuild = true;
            return;
        }
        RebuildTextures(pInput->m_uiName);
        m_bRebuild = false;
    }
    for (std::size_t i = 0; i < m_DynamicPorts.GetCount() && i < m_Textures.size(); ++i)
        m_DynamicPorts[i]->SetData(&m_Textures[i], bChanged);
}

void FilterSimilarTextureSource2D::RebuildPorts()
{
    m_DynamicPorts.RebuildOutputs(*this, static_cast<std::size_t>(m_iNumberOfTextures));
}

void FilterSimilarTextureSource2D::RebuildTextures(GLuint uiSimilarTo)
{
    for (Ondo::OpenGL::TextureObject2D& texture : m_Textures) texture.Release();
    m_Textures.resize(m_DynamicPorts.GetCount());
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    try {
        // Throws for an input without a level 0; the textures made so far
        // stay in the list, so ReleaseResources still frees them.
        for (Ondo::OpenGL::TextureObject2D& texture : m_Textures)
            texture.m_uiName = Ondo::OpenGL::CreateSimilarTexture(GL_TEXTURE_2D, uiSimilarTo, nullptr);
    } catch (...) {
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        throw;
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
}

} // namespace Prismvale
