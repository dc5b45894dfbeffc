#include "frame/DynamicPorts.h"

#include "Ondo/Core.h"
#include "Ondo/FlowGraph/ValuePorts.h"
#include "Ondo/Logger.h"
#include "Ondo/OpenGL/BaseFilter.h"

#include <algorithm>

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
    serializer.Serialize(strKey, m_Formats, "Item");
}

int ClampCount(int iCount, int iMaximum) { return std::clamp(iCount, 1, iMaximum); }

int ReadSize(const Ondo::OpenGL::BaseFilter& owner, const Ondo::FlowGraph::SimplePortT<int>& port)
{
    if (const int* pValue = port.GetData()) return std::max(*pValue, 1);
    if (Ondo::LoggerInterface* pLogger = owner.GetCore().GetLogger())
        pLogger->Log(owner.GetName() + ": \"" + port.GetLabel() + "\" carries no value; 1 is used.\n");
    return 1;
}

} // namespace Prismvale
