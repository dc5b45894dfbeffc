#include "host/Modules/LightSource.h"

#include "host/Modules/ModuleSupport.h"

#include "Ondo/FlowGraph/FilterRegistry.h"
#include "Ondo/GFX/LightSource.h"
#include "Ondo/OpenGL/BaseFilter.h"

#include <cmath>
#include <new>

namespace Ondo::Host {

namespace {

const std::vector<std::string>& TypeNames()
{
    static const std::vector<std::string> s_Names = {"Directional", "Point", "Spot"};
    return s_Names;
}

// Empty when the light is one the shaders can use; otherwise why not. The
// cut-off follows OpenGL's rule: a cone of 0 to 90 degrees, or 180 for none.
std::string Check(const GFX::LightSource& light)
{
    if (light.m_iLightType < GFX::LightSource::Directional || light.m_iLightType > GFX::LightSource::Spot)
        return "light type " + std::to_string(light.m_iLightType) + " is none of 0 (Directional), 1 (Point), 2 (Spot)";
    const float fCutoff = light.m_fSpotCutoff;
    if (!((fCutoff >= 0.0f && fCutoff <= 90.0f) || fCutoff == 180.0f))
        return "the spot cut-off must lie between 0 and 90 degrees, or be 180";
    return {};
}

// Publishes one light; the output is marked changed on the first run and
// after each edit or read.
class FilterLightSource : public OpenGL::BaseFilter {
public:
    FilterLightSource(Core& core, const std::string& strName)
        : BaseFilter(core, strName, strName), m_Position(m_Light.m_vPosition), m_Color(m_Light.m_vColor),
          m_Attenuation(m_Light.m_vAttenuation), m_SpotDirection(m_Light.m_vSpotDirection),
          m_fEditCutoff(m_Light.m_fSpotCutoff)
    {
    }

    void CreatePorts() override
    {
        CreatePort(hLightOut, {FlowGraph::PortType::Output, "Light Source", false});
    }

    void Serialize(FlowGraph::Serialization::Serializer& serializer) override
    {
        GFX::LightSource read = m_Light;
        Detail::TextSetting<Vector4f> position(read.m_vPosition), color(read.m_vColor);
        Detail::TextSetting<Vector3f> attenuation(read.m_vAttenuation), direction(read.m_vSpotDirection);
        int iType = read.m_iLightType;
        Detail::SerializeSetting(serializer, "iLightType", iType);
        position.Serialize(serializer, "strPosition", *this);
        color.Serialize(serializer, "strColor", *this);
        attenuation.Serialize(serializer, "strAttenuation", *this);
        Detail::SerializeSetting(serializer, "fSpotCutoff", read.m_fSpotCutoff);
        direction.Serialize(serializer, "strSpotDirection", *this);
        if (!serializer.IsReader()) return;
        read.m_iLightType = iType;
        read.m_vPosition = position.m_Value;
        read.m_vColor = color.m_Value;
        read.m_vAttenuation = attenuation.m_Value;
        read.m_vSpotDirection = direction.m_Value;
        const std::string strProblem = Check(read);
        if (!strProblem.empty()) throw ExceptionParsing(GetName() + ": " + strProblem);
        Accept(read);
    }

    void Instrument(Instrumenter& instrumenter) override
    {
        instrumenter.AddChoice("Type", TypeNames(), m_Light.m_iLightType, [this](int iIndex) {
            // The instrumenter offers only the listed types.
            GFX::LightSource edited = m_Light;
            edited.m_iLightType = iIndex;
            Accept(edited);
        });
        const auto fnEdited = [this] { OnEdited(); };
        instrumenter.AddStringField("Position", &m_Position.m_strText, fnEdited);
        instrumenter.AddStringField("Color", &m_Color.m_strText, fnEdited);
        instrumenter.AddStringField("Attenuation", &m_Attenuation.m_strText, fnEdited);
        instrumenter.AddFloat("Spot Cutoff", &m_fEditCutoff, fnEdited);
        instrumenter.AddStringField("Spot Direction", &m_SpotDirection.m_strText, fnEdited);
    }

    void Process(FlowGraph::ScopeExecuter&) override
    {
        hLightOut->SetData(&m_Light, m_bChanged);
        m_bChanged = false;
    }

private:
    // Takes the edited fields when they parse and give a usable light;
    // otherwise shows the light in force again and refuses the edit.
    void OnEdited()
    {
        try {
            GFX::LightSource edited = m_Light;
            edited.m_fSpotCutoff = m_fEditCutoff;
            edited.m_vPosition = Detail::ParseEdit("Position", m_Position);
            edited.m_vColor = Detail::ParseEdit("Color", m_Color);
            edited.m_vAttenuation = Detail::ParseEdit("Attenuation", m_Attenuation);
            edited.m_vSpotDirection = Detail::ParseEdit("Spot Direction", m_SpotDirection);
            const std::string strProblem = Check(edited);
            if (!strProblem.empty()) Detail::RefuseEdit("the edit was not taken: " + strProblem);
            Accept(edited);
        } catch (...) {
            Accept(m_Light, false);
            throw;
        }
    }

    void Accept(const GFX::LightSource& light, bool bChanged = true)
    {
        m_Light = light;
        m_Position.Set(light.m_vPosition);
        m_Color.Set(light.m_vColor);
        m_Attenuation.Set(light.m_vAttenuation);
        m_SpotDirection.Set(light.m_vSpotDirection);
        m_fEditCutoff = light.m_fSpotCutoff;
        m_bChanged = m_bChanged || bChanged;
    }

    FlowGraph::PortHandle<FlowGraph::SimplePortT<GFX::LightSource>> hLightOut;
    // The light in force, and the texts and cut-off the editor shows and edits.
    GFX::LightSource m_Light;
    Detail::TextSetting<Vector4f> m_Position, m_Color;
    Detail::TextSetting<Vector3f> m_Attenuation, m_SpotDirection;
    float m_fEditCutoff;
    bool m_bChanged = true;
};

} // namespace

void RegisterLightSource(FlowGraph::FilterRegistry& registry)
{
    registry.RegisterFilter(FlowGraph::FilterDescriptor(
        "Host.LightSource", "host\\Modules\\LightSource", "One light source for the shading filters",
        "Host;Light;LightSource", [](Core& core, const std::string& strName) -> FlowGraph::Filter* {
            return new (std::nothrow) FilterLightSource(core, strName);
        }));
}

} // namespace Ondo::Host
