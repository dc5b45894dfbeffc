#pragma once

// Runs plug-in filters the way a graph does, with textures and values made
// by the test: for the filter suites.

#include "support/GLTestEnvironment.h"

#include "host/FlowGraph/Graph.h"

#include "Ondo/Core.h"
#include "Ondo/FlowGraph/ScopeExecuter.h"
#include "Ondo/Logger.h"
#include "Ondo/OpenGL/GPUObjects.h"

#include <GL/glew.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace OndoTest {

// A 2D texture of one level in the given format, filled from RGBA floats
// (four per texel, rows from the bottom) when any are given; integer formats
// take them rounded to integers.
Ondo::OpenGL::TextureObject2D MakeTexture(int iWidth, int iHeight, GLenum eFormat,
                                          const std::vector<float>& rgba = {});
// Level 0 of a 2D texture as RGBA floats, four per texel, rows from the
// bottom; integer formats give their integers.
std::vector<float> ReadTexture(const Ondo::OpenGL::TextureObject2D& texture);

// A core with the plug-in's filters and one graph bound to the test device.
// Textures are handed to inputs through a source filter per texture.
class FilterHarness {
public:
    FilterHarness();
    ~FilterHarness();

    Ondo::FlowGraph::Graph& GetGraph() { return *m_pGraph; }
    Ondo::CollectingLogger& GetLogger() { return m_Logger; }

    // Adds a filter of a registered type.
    Ondo::FlowGraph::ScopeItem& Add(const std::string& strType, const std::string& strName);
    // Connects a texture the test owns (2D, 3D or cube map) to an input of a
    // filter. The feed publishes whatever the returned pointer points to at
    // each run, so a test may point it at another texture between runs.
    template <class TextureT>
    TextureT*& Feed(const std::string& strFilter, const std::string& strInput, TextureT& texture);
    // Gives an input a value in its text form ("2.2", "1 0 0 0 ...").
    void Set(const std::string& strFilter, const std::string& strInput, const std::string& strText);
    // Connects an output of one filter to an input of another.
    void Connect(const std::string& strFrom, const std::string& strOutput, const std::string& strTo,
                 const std::string& strInput);
    // Runs one frame; true when every filter was ready and ran.
    bool Run();
    // Runs one frame; what it threw, or strNone when it did not throw.
    std::string RunError(const std::string& strNone = "(the run went on)");
    // What an output of a filter carries.
    template <class T>
    T* Output(const std::string& strFilter, const std::string& strLabel, bool* pChanged = nullptr)
    {
        auto& port = *m_pGraph->FindPort(m_pGraph->GetScopeOf(m_pGraph->RequireItem(strFilter)), strFilter, strLabel,
                                          true);
        if (pChanged) *pChanged = m_bLastChanged[strFilter + "/" + strLabel];
        return static_cast<T*>(port.GetDataPointer());
    }

private:
    Ondo::CollectingLogger m_Logger;
    Ondo::Core m_Core;
    std::unique_ptr<Ondo::FlowGraph::Graph> m_pGraph;
    Ondo::FlowGraph::ScopeExecuter m_Executer;
    int m_iSources = 0;
    std::map<std::string, bool> m_bLastChanged;
};

} // namespace OndoTest
