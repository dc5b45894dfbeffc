#include "frame/DynamicPorts.h"

#include "Ondo/Core.h"
#include "Ondo/Exceptions.h"
#include "Ondo/FlowGraph/ValuePorts.h"
#include "Ondo/OpenGL/BaseFilter.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace Prismvale {

void TextureFormatChoices::Resize(std::size_t uiCount)
{
    m_Formats.resize(uiCount, static_cast<int>(TextureFormats[0].m_eValue));
}

GLenum TextureFormatChoices::GetFormat(std::size_t i) const
{
    return i < m_Formats.size() ? static_cast<GLenum>(m_Formats[i]) : TextureFormats[0].m_eValue;
}

void TextureFormatChoices::RebuildControls(Ondo::Instrumenter& instrumenter, std::size_t uiCount,
                                           std::function<void()> fnChanged)
{
    std::vector<int> values;
    std::vector<std::string> names;
    for (const TextureFormat& format : TextureFormats) {
        values.push_back(static_cast<int>(format.m_eValue));
        names.emplace_back(format.m_szName);
    }

    // Ids count per instrumenter: those of another one name other controls.
    if (m_pInstrumenter == &instrumenter)
        for (const Ondo::Instrumenter::ControlId id : m_ControlIds) instrumenter.RemoveControl(id);
    m_ControlIds.clear();
    m_pInstrumenter = &instrumenter;
    Resize(uiCount);

    for (std::size_t i = 0; i < uiCount; ++i) {
        const int iSelected = static_cast<int>(std::find(values.begin(), values.end(), m_Formats[i]) - values.begin());
        m_ControlIds.push_back(instrumenter.AddChoice(
            "Texture" + std::to_string(i), names, iSelected, [this, values, fnChanged, i](int iChosen) {
                // A choice outlives a list made shorter by reading settings
                // until the controls are rebuilt; it then changes nothing.
                if (iChosen < 0 || static_cast<std::size_t>(iChosen) >= values.size() || i >= m_Formats.size())
                    return;
                m_Formats[i] = values[static_cast<std::size_t>(iChosen)];
                if (fnChanged) fnChanged();
            }));
    }
}

void TextureFormatChoices::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer, const std::string& strKey)
{
    if (!serializer.IsReader()) {
        serializer.Serialize(strKey, m_Formats, "Item");
        return;
    }
    std::vector<int> formats;
    serializer.Serialize(strKey, formats, "Item");
    for (std::size_t i = 0; i < formats.size(); ++i)
        if (std::none_of(TextureFormats.begin(), TextureFormats.end(),
                         [&](const TextureFormat& format) { return static_cast<int>(format.m_eValue) == formats[i]; }))
            throw Ondo::ExceptionParsing("\"" + strKey + "\" item " + std::to_string(i) + " is " +
                                         std::to_string(formats[i]) + ", which is none of the offered formats");
    m_Formats = std::move(formats);
}

void SerializeCount(Ondo::FlowGraph::Serialization::Serializer& serializer, const std::string& strKey, int& iCount,
                    int iMaximum)
{
    int iStored = iCount;
    serializer.Serialize(strKey, iStored);
    if (!serializer.IsReader()) return;
    if (iStored < 1 || iStored > iMaximum)
        throw Ondo::ExceptionParsing("\"" + strKey + "\" is " + std::to_string(iStored) + ", outside 1 to " +
                                     std::to_string(iMaximum));
    iCount = iStored;
}

int ReadSize(const Ondo::OpenGL::BaseFilter& owner, const Ondo::FlowGraph::SimplePortT<int>& port, GLenum eLimit)
{
    const std::string strLabel = "\"" + port.GetLabel() + "\"";
    const int* pValue = port.GetData();
    if (!pValue) {
        owner.GetCore().ReportError(strLabel + " carries no value; 1 was used");
        return 1;
    }
    if (*pValue < 1) {
        owner.GetCore().ReportError(strLabel + " is " + std::to_string(*pValue) +
                                    "; a texture is at least 1 texel in each direction");
        return 1;
    }
    GLint iLimit = 0;
    glGetIntegerv(eLimit, &iLimit);
    if (*pValue > iLimit)
        throw std::runtime_error(strLabel + " is " + std::to_string(*pValue) + ", beyond " +
                                 (eLimit == GL_MAX_3D_TEXTURE_SIZE ? "GL_MAX_3D_TEXTURE_SIZE" : "GL_MAX_TEXTURE_SIZE") +
                                 " (" + std::to_string(iLimit) + ")");
    return *pValue;
}

} // namespace Prismvale
