#pragma once

#include <memory>
#include <string>

namespace Ondo {
class Core;
namespace OpenGL {
class Device;
}
} // namespace Ondo

namespace Ondo::FlowGraph {

class Graph;

// Bounds on what a graph document may ask of the loader, so that a small
// hostile file cannot exhaust the stack or the memory. The defaults are far
// above what people build by hand or by script; a user with a bigger graph
// raises them (ondo-run: --limit NAME=N).
struct GraphLimits {
    // Nesting of XML elements, checked on the text before it is parsed.
    // The parser recurses once per level: ondo-run takes at most 10000.
    int m_iMaxXmlDepth = 1000;
    // Nesting of scopes inside control-flow filters (ondo-run: at most 1000).
    int m_iMaxScopeDepth = 100;
};

// Graph files: the engine's XML document of a graph. See docs/graph-files.md
// for the format. Loading makes every filter through the core's registry,
// reads its settings, binds the graph to the device (when one is given),
// then makes the connections, literal inputs and control edits. Any failure
// throws std::runtime_error whose text starts with "NAME:LINE: " (the file
// or document name and the line of the element at fault); the partly built
// graph is released.
// Refused as well: a document of another version, a second root scope, an
// inner scope given twice, and settings whose port or scope handles name
// anything but the filter's own ports and scopes.
std::unique_ptr<Graph> LoadGraph(Core& core, OpenGL::Device* pDevice, const std::string& strPath,
                                 const GraphLimits& limits = GraphLimits());
std::unique_ptr<Graph> LoadGraphFromText(Core& core, OpenGL::Device* pDevice, const std::string& strText,
                                         const std::string& strName, const GraphLimits& limits = GraphLimits());

// The graph as a document. Saving, loading and saving again gives the same
// text. Relative names of the files the filters read (their file-name
// controls) are taken from the current folder, as loading takes them; with a
// folder given they are written relative to it, so that a document placed
// there finds its files. Absolute names are written as they are.
std::string SaveGraphToText(Graph& graph, const std::string& strFolder = std::string());
// Writes the document through a temporary file that replaces the file only
// once it is complete; file names are written relative to the file's folder.
// Throws Ondo::ExceptionFileSystem naming the path.
void SaveGraph(Graph& graph, const std::string& strPath);

// The graph in Graphviz's dot language: items as boxes, control-flow scopes
// as clusters, connections as labelled edges.
std::string GraphToDot(const Graph& graph);

// Writes text to a file through a temporary file in the same directory that
// is renamed into place once complete. Throws Ondo::ExceptionFileSystem.
void WriteFileAtomically(const std::string& strPath, const std::string& strText);

} // namespace Ondo::FlowGraph
