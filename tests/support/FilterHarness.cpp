#include "support/FilterHarness.h"

#include "frame/PluginLoad.h"

#include "Ondo/FlowGraph/FilterRegistry.h"
#include "Ondo/OpenGL/BaseFilter.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace OndoTest {

namespace {

// Publishes one texture that the test owns.
template <class TextureT>
class TextureFeed : public Ondo::OpenGL::BaseFilter {
public:
    TextureFeed(Ondo::Core& core, const std::string& strName) : BaseFilter(core, strName, strName) {}
    void CreatePorts() override { CreatePort(m_hOut, {Ondo::FlowGraph::PortType::Output, "Texture", false}); }
    void Process(Ondo::FlowGraph::ScopeExecuter&) override { m_hOut->SetData(m_pTexture, true); }

    Ondo::FlowGraph::PortHandle<Ondo::FlowGraph::SimplePortT<TextureT>> m_hOut;
    TextureT* m_pTexture = nullptr;
};

template <class TextureT>
void RegisterFeed(Ondo::Core& core, const std::string& strType)
{
    Ondo::FlowGraph::FilterRegistry::Get(core).RegisterFilter(
        {strType, "", "", "", [](Ondo::Core& c, const std::string& strName) -> Ondo::FlowGraph::Filter* {
             return new TextureFeed<TextureT>(c, strName);
         }});
}

const char* FeedType(const Ondo::OpenGL::TextureObject2D*) { return "Test.TextureFeed"; }
const char* FeedType(const Ondo::OpenGL::TextureObject3D*) { return "Test.VolumeFeed"; }
const char* FeedType(const Ondo::OpenGL::TextureObjectCube*) { return "Test.CubeFeed"; }

// GL_INT or GL_UNSIGNED_INT for integer formats, as the GL reports the red
// component of the bound texture's level 0.
GLenum IntegerType()
{
    GLint iType = GL_NONE;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_RED_TYPE, &iType);
    return iType == GL_INT || iType == GL_UNSIGNED_INT ? static_cast<GLenum>(iType) : GL_NONE;
}

} // namespace

Ondo::OpenGL::TextureObject2D MakeTexture(int iWidth, int iHeight, GLenum eFormat, const std::vector<float>& rgba)
{
    TestDevice(); // a test may make its textures before its first filter
    GLuint uiTexture = 0;
    glGenTextures(1, &uiTexture);
    glBindTexture(GL_TEXTURE_2D, uiTexture);
    glTexStorage2D(GL_TEXTURE_2D, 1, eFormat, iWidth, iHeight);
    if (!rgba.empty()) {
        if (const GLenum eInteger = IntegerType()) {
            std::vector<GLint> integers(rgba.size());
            std::transform(rgba.begin(), rgba.end(), integers.begin(),
                           [](float f) { return static_cast<GLint>(std::lround(f)); });
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, iWidth, iHeight, GL_RGBA_INTEGER, eInteger, integers.data());
        } else {
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, iWidth, iHeight, GL_RGBA, GL_FLOAT, rgba.data());
        }
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    return Ondo::OpenGL::TextureObject2D(uiTexture);
}

std::vector<float> ReadTexture(const Ondo::OpenGL::TextureObject2D& texture)
{
    glBindTexture(GL_TEXTURE_2D, texture.m_uiName);
    GLint iWidth = 0, iHeight = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &iWidth);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &iHeight);
    std::vector<float> texels(static_cast<std::size_t>(iWidth * iHeight * 4));
    if (const GLenum eInteger = IntegerType()) {
        std::vector<GLint> integers(texels.size());
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA_INTEGER, eInteger, integers.data());
        for (std::size_t i = 0; i < texels.size(); ++i)
            texels[i] = eInteger == GL_INT ? static_cast<float>(integers[i])
                                           : static_cast<float>(static_cast<GLuint>(integers[i]));
    } else {
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, texels.data());
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    return texels;
}

FilterHarness::FilterHarness() : m_Executer(&m_Logger)
{
    m_Core.SetLogger(&m_Logger);
    Prismvale::LoadIntoCore(m_Core);
    RegisterFeed<Ondo::OpenGL::TextureObject2D>(m_Core, "Test.TextureFeed");
    RegisterFeed<Ondo::OpenGL::TextureObject3D>(m_Core, "Test.VolumeFeed");
    RegisterFeed<Ondo::OpenGL::TextureObjectCube>(m_Core, "Test.CubeFeed");
    m_pGraph = std::make_unique<Ondo::FlowGraph::Graph>(m_Core);
    m_pGraph->AttachDevice(TestDevice());
}

FilterHarness::~FilterHarness() { m_pGraph.reset(); }

Ondo::FlowGraph::ScopeItem& FilterHarness::Add(const std::string& strType, const std::string& strName)
{
    return m_pGraph->AddItem(m_pGraph->GetRoot(), strType, strName);
}

template <class TextureT>
TextureT*& FilterHarness::Feed(const std::string& strFilter, const std::string& strInput, TextureT& texture)
{
    const std::string strName = "Feed" + std::to_string(m_iSources++);
    auto& feed = dynamic_cast<TextureFeed<TextureT>&>(Add(FeedType(&texture), strName));
    feed.m_pTexture = &texture;
    m_pGraph->Connect(m_pGraph->GetRoot(), strName, "Texture", strFilter, strInput);
    return feed.m_pTexture;
}

template Ondo::OpenGL::TextureObject2D*& FilterHarness::Feed(const std::string&, const std::string&,
                                                             Ondo::OpenGL::TextureObject2D&);
template Ondo::OpenGL::TextureObject3D*& FilterHarness::Feed(const std::string&, const std::string&,
                                                             Ondo::OpenGL::TextureObject3D&);
template Ondo::OpenGL::TextureObjectCube*& FilterHarness::Feed(const std::string&, const std::string&,
                                                               Ondo::OpenGL::TextureObjectCube&);

void FilterHarness::Set(const std::string& strFilter, const std::string& strInput, const std::string& strText)
{
    m_pGraph->SetLiteral(strFilter, strInput, strText);
}

void FilterHarness::Connect(const std::string& strFrom, const std::string& strOutput, const std::string& strTo,
                            const std::string& strInput)
{
    m_pGraph->Connect(m_pGraph->GetRoot(), strFrom, strOutput, strTo, strInput);
}

std::string FilterHarness::RunError(const std::string& strNone)
{
    try {
        Run();
    } catch (const std::exception& error) {
        return error.what();
    }
    return strNone;
}

bool FilterHarness::Run()
{
    const auto uiSkipped = m_Executer.GetNumberOfSkipped();
    m_Executer.ExecuteScope(m_pGraph->GetRoot());
    // Changed flags as the filters left them, before the frame clears them.
    m_bLastChanged.clear();
    for (Ondo::FlowGraph::ScopeItem* pItem : m_pGraph->GetAllItems())
        for (const auto& hPort : pItem->GetPortHandles())
            if (hPort->IsOutput()) m_bLastChanged[pItem->GetName() + "/" + hPort->GetLabel()] = hPort->HasChanged();
    m_pGraph->EndFrame();
    return m_Executer.GetNumberOfSkipped() == uiSkipped;
}

} // namespace OndoTest
