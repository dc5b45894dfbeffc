#include "src/FilterSimilarTextureSource2D.h"

#include "frame/DescriptorList.h"

#include "Ondo/Core.h"
#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/Instrumenter.h"
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
    SerializeCount(serializer, "NumberOfTextures", m_iNumberOfTextures, MaxTextures);
    serializer.Serialize("hSimilarTextureIn", hSimilarTextureIn);
    m_DynamicPorts.Serialize(serializer, "DynamicPorts", "Item");
    if (!serializer.IsReader()) return;
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

// The textures are made by the first Process, and by the first one after a
// release; InitResources has nothing to do.
void FilterSimilarTextureSource2D::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    for (Ondo::OpenGL::TextureObject2D& texture : m_Textures) texture.Release();
    m_bRebuild = true;
}

void FilterSimilarTextureSource2D::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    const bool bChanged = m_bRebuild || hSimilarTextureIn->HasChanged();
    if (bChanged) {
        // Without a texture to copy from there is nothing to make: the
        // outputs stay as they are, the rebuild waits for a texture, and the
        // run is told that what downstream gets is not what it asked for.
        const Ondo::OpenGL::TextureObject2D* pInput = hSimilarTextureIn->GetData();
        if (!pInput || pInput->m_uiName == 0) {
            GetCore().ReportError("\"Texture\" carries no texture; the textures were not rebuilt");
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
    // The input's swizzle goes with its format: a grey image read as red
    // with an R, R, R, 1 swizzle must look grey in its copies as well.
    GLint iBound = 0;
    GLint swizzle[4] = {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA};
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &iBound);
    glBindTexture(GL_TEXTURE_2D, uiSimilarTo);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, swizzle);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    try {
        // Throws for an input without a level 0; the textures made so far
        // stay in the list, so ReleaseResources still frees them.
        for (Ondo::OpenGL::TextureObject2D& texture : m_Textures) {
            texture.m_uiName = Ondo::OpenGL::CreateSimilarTexture(GL_TEXTURE_2D, uiSimilarTo, nullptr);
            glBindTexture(GL_TEXTURE_2D, texture.m_uiName);
            glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, swizzle);
        }
    } catch (...) {
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(iBound));
        throw;
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(iBound));
}

} // namespace Prismvale
