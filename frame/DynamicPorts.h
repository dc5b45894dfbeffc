#pragma once

// What the filters with a variable number of ports share: the list of ports
// they add and remove at run time, the texture formats a texture source
// offers with one choice control per texture, and the reading of size inputs.

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/FlowGraph/PortOwner.h"
#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/Instrumenter.h"

#include <GL/glew.h>

#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Ondo::OpenGL {
class BaseFilter;
}

namespace Prismvale {

// The internal formats a texture source offers, in the order of its choice
// lists; the first one is the format of a new texture.
struct TextureFormat {
    GLenum m_eValue;
    const char* m_szName;
};

inline constexpr std::array<TextureFormat, 19> TextureFormats = {{
    {GL_RGBA8, "GL_RGBA8"},
    {GL_RGB8, "GL_RGB8"},
    {GL_RG8, "GL_RG8"},
    {GL_R8, "GL_R8"},
    {GL_DEPTH_COMPONENT24, "GL_DEPTH_COMPONENT24"},
    {GL_DEPTH_COMPONENT32F, "GL_DEPTH_COMPONENT32F"},
    {GL_DEPTH_COMPONENT16, "GL_DEPTH_COMPONENT16"},
    {GL_DEPTH24_STENCIL8, "GL_DEPTH24_STENCIL8"},
    {GL_DEPTH32F_STENCIL8, "GL_DEPTH32F_STENCIL8"},
    {GL_R32I, "GL_R32I"},
    {GL_RG32I, "GL_RG32I"},
    {GL_RGB32I, "GL_RGB32I"},
    {GL_RGBA32I, "GL_RGBA32I"},
    {GL_RGBA16, "GL_RGBA16"},
    {GL_RGBA16F, "GL_RGBA16F"},
    {GL_R32F, "GL_R32F"},
    {GL_RG32F, "GL_RG32F"},
    {GL_RGB32F, "GL_RGB32F"},
    {GL_RGBA32F, "GL_RGBA32F"},
}};

// The ports a filter adds and removes at run time, in order. They are the
// filter's last ports, so ports added right after all of them were removed
// get the indexes the removed ones had: a connection or saved handle to
// output "2" still names output "2".
template <class P>
class DynamicPorts {
public:
    std::size_t GetCount() const { return m_Handles.size(); }
    const Ondo::FlowGraph::PortHandle<P>& operator[](std::size_t i) const { return m_Handles[i]; }

    // Removes every listed port from the owner (its port observers are told
    // first, as when a port is added) and empties the list.
    void RemoveAll(Ondo::FlowGraph::PortOwner& owner)
    {
        for (const auto& hPort : m_Handles) owner.RemovePort(hPort.GetIndex());
        m_Handles.clear();
    }

    // Adds a port made from the settings under the owner's next index.
    void Add(Ondo::FlowGraph::PortOwner& owner, const Ondo::FlowGraph::PortSettings& settings)
    {
        m_Handles.emplace_back(owner.AddPort(std::make_unique<P>(settings)));
    }

    // Replaces the listed ports by uiCount outputs named "0", "1", ...
    void RebuildOutputs(Ondo::FlowGraph::PortOwner& owner, std::size_t uiCount)
    {
        RemoveAll(owner);
        for (std::size_t i = 0; i < uiCount; ++i)
            Add(owner, {Ondo::FlowGraph::PortType::Output, std::to_string(i), false});
    }

    // The handles as a sequence under strKey, one strItem element per port.
    // Reading checks the stored sequence but keeps this list: the ports that
    // exist are the ones this filter made, and the port rebuild that follows
    // every read replaces exactly those. A stored list that names other
    // ports (a fixed input, say) or fewer of them can then neither remove a
    // port the filter still needs nor leave an old output behind.
    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer, const std::string& strKey,
                   const std::string& strItem)
    {
        if (!serializer.IsReader()) {
            serializer.Serialize(strKey, m_Handles, strItem);
            return;
        }
        std::vector<Ondo::FlowGraph::PortHandle<P>> stored;
        serializer.Serialize(strKey, stored, strItem);
    }

private:
    std::vector<Ondo::FlowGraph::PortHandle<P>> m_Handles;
};

// The format of each texture of a texture source, by position, and the
// choice controls "Texture0", "Texture1", ... that edit them.
class TextureFormatChoices {
public:
    // Resizes the list: new textures take the table's first format, surplus
    // entries are dropped from the end.
    void Resize(std::size_t uiCount);
    // Format i; the table's first one for a position the list does not have.
    GLenum GetFormat(std::size_t i) const;
    const std::vector<int>& GetFormats() const { return m_Formats; }

    // Removes the choice controls made before, resizes the list to uiCount
    // and adds one choice per texture. A choice stores the chosen format as
    // the texture's and then calls fnChanged. A format not in the table is
    // shown with no item selected.
    void RebuildControls(Ondo::Instrumenter& instrumenter, std::size_t uiCount, std::function<void()> fnChanged);

    // The formats as a sequence of integers, one "Item" element each. A
    // stored format that the table does not offer is refused
    // (Ondo::ExceptionParsing naming the key), and the list stays as it was.
    void Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer, const std::string& strKey);

private:
    std::vector<int> m_Formats;
    std::vector<Ondo::Instrumenter::ControlId> m_ControlIds;
    const Ondo::Instrumenter* m_pInstrumenter = nullptr;
};

// Reads a count of ports stored under strKey into iCount, or writes it.
// A stored count outside the range its control offers (1 to iMaximum) is
// refused with Ondo::ExceptionParsing naming the key, and iCount stays: a
// damaged file can neither ask for millions of ports nor be taken silently
// as something it does not say.
void SerializeCount(Ondo::FlowGraph::Serialization::Serializer& serializer, const std::string& strKey, int& iCount,
                    int iMaximum);

// The value of a size input of a texture, whose sizes the GL limits to the
// value of eLimit (GL_MAX_TEXTURE_SIZE or GL_MAX_3D_TEXTURE_SIZE), read with
// the owner's context current. A value beyond the limit is refused before
// any GL call (std::runtime_error naming the port). A value below 1, or none,
// is raised to 1 and reported to the owner's core as an error: the texture is
// made, but it is not what the graph asked for.
int ReadSize(const Ondo::OpenGL::BaseFilter& owner, const Ondo::FlowGraph::SimplePortT<int>& port, GLenum eLimit);

} // namespace Prismvale
