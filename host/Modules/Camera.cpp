#include "host/Modules/Camera.h"

#include "host/Modules/ModuleSupport.h"

#include "Ondo/FlowGraph/FilterRegistry.h"
#include "Ondo/OpenGL/BaseFilter.h"

#include <cmath>
#include <new>

namespace Ondo::Host {

Matrix44f LookAt(const Vector3f& vEye, const Vector3f& vTarget, const Vector3f& vUp)
{
    const Vector3f vForward = (vTarget - vEye).Normalized();
    const Vector3f vSide = Cross(vForward, vUp).Normalized();
    const Vector3f vTrueUp = Cross(vSide, vForward);
    return Matrix44f::FromRows({vSide[0], vSide[1], vSide[2], -vSide.Dot(vEye),
                                vTrueUp[0], vTrueUp[1], vTrueUp[2], -vTrueUp.Dot(vEye),
                                -vForward[0], -vForward[1], -vForward[2], vForward.Dot(vEye),
                                0.0f, 0.0f, 0.0f, 1.0f});
}

Matrix44f Perspective(float fFovYDegrees, float fAspect, float fNear, float fFar)
{
    const double dHalfAngle = static_cast<double>(fFovYDegrees) * 3.14159265358979323846 / 360.0;
    const float f = static_cast<float>(1.0 / std::tan(dHalfAngle));
    const float fDepth = fNear - fFar;
    return Matrix44f::FromRows({f / fAspect, 0.0f, 0.0f, 0.0f,
                                0.0f, f, 0.0f, 0.0f,
                                0.0f, 0.0f, (fFar + fNear) / fDepth, 2.0f * fFar * fNear / fDepth,
                                0.0f, 0.0f, -1.0f, 0.0f});
}

namespace {

struct CameraSettings {
    Vector3f vEye{0.0f, 0.0f, 5.0f};
    Vector3f vTarget{0.0f, 0.0f, 0.0f};
    Vector3f vUp{0.0f, 1.0f, 0.0f};
    float fFovY = 45.0f;
    float fAspect = 1.0f;
    float fNear = 0.1f;
    float fFar = 100.0f;
};

bool IsUsableAspect(float fAspect) { return std::isfinite(fAspect) && fAspect > 0.0f; }

// Empty when the settings give proper matrices; otherwise why not.
std::string Check(const CameraSettings& s)
{
    const Vector3f vForward = s.vTarget - s.vEye;
    if (vForward.Length() == 0.0f) return "the eye lies on the target";
    if (Cross(vForward, s.vUp).Length() == 0.0f) return "the up direction is zero or along the line of sight";
    if (!(s.fFovY > 0.0f && s.fFovY < 180.0f)) return "the field of view must lie between 0 and 180 degrees";
    if (!IsUsableAspect(s.fAspect)) return "the aspect ratio must be positive";
    if (!(s.fNear > 0.0f && std::isfinite(s.fNear))) return "the near distance must be positive";
    if (!(s.fFar > s.fNear && std::isfinite(s.fFar))) return "the far distance must exceed the near distance";
    return {};
}

// A look-at camera. Every output is marked changed when its value differs
// from what was published last (and on the first run).
class FilterCamera : public OpenGL::BaseFilter {
public:
    FilterCamera(Core& core, const std::string& strName)
        : BaseFilter(core, strName, strName), m_Eye(m_Settings.vEye), m_Target(m_Settings.vTarget),
          m_Up(m_Settings.vUp), m_Edit(m_Settings)
    {
    }

    void CreatePorts() override
    {
        using FlowGraph::PortType;
        CreatePort(hAspectIn, {PortType::Input, "Aspect", true});
        CreatePort(hViewOut, {PortType::Output, "View Matrix", false});
        CreatePort(hProjectionOut, {PortType::Output, "Projection Matrix", false});
        CreatePort(hViewProjectionOut, {PortType::Output, "View Projection", false});
        CreatePort(hEyeOut, {PortType::Output, "Eye Position", false});
    }

    void Serialize(FlowGraph::Serialization::Serializer& serializer) override
    {
        Detail::TextSetting<Vector3f> eye(m_Settings.vEye), target(m_Settings.vTarget), up(m_Settings.vUp);
        CameraSettings read = m_Settings;
        eye.Serialize(serializer, "strEye", *this);
        target.Serialize(serializer, "strTarget", *this);
        up.Serialize(serializer, "strUp", *this);
        Detail::SerializeSetting(serializer, "fFovY", read.fFovY);
        Detail::SerializeSetting(serializer, "fAspect", read.fAspect);
        Detail::SerializeSetting(serializer, "fNear", read.fNear);
        Detail::SerializeSetting(serializer, "fFar", read.fFar);
        if (!serializer.IsReader()) return;
        read.vEye = eye.m_Value;
        read.vTarget = target.m_Value;
        read.vUp = up.m_Value;
        const std::string strProblem = Check(read);
        if (!strProblem.empty()) throw ExceptionParsing(GetName() + ": " + strProblem);
        Accept(read);
    }

    void Instrument(Instrumenter& instrumenter) override
    {
        const auto fnEdited = [this] { OnEdited(); };
        instrumenter.AddStringField("Eye", &m_Eye.m_strText, fnEdited);
        instrumenter.AddStringField("Target", &m_Target.m_strText, fnEdited);
        instrumenter.AddStringField("Up", &m_Up.m_strText, fnEdited);
        instrumenter.AddFloat("Field of View Y", &m_Edit.fFovY, fnEdited);
        instrumenter.AddFloat("Aspect", &m_Edit.fAspect, fnEdited);
        instrumenter.AddFloat("Near", &m_Edit.fNear, fnEdited);
        instrumenter.AddFloat("Far", &m_Edit.fFar, fnEdited);
    }

    void Process(FlowGraph::ScopeExecuter&) override
    {
        float fAspect = m_Settings.fAspect;
        if (const float* pAspect = hAspectIn->GetData()) {
            if (IsUsableAspect(*pAspect))
                fAspect = *pAspect;
            else if (hAspectIn->HasChanged())
                GetCore().ReportError("\"Aspect\" is " + std::to_string(*pAspect) +
                                      ", which is no aspect ratio; the setting would be used");
        }
        hAspectIn->ResetChanged();

        const CameraSettings& s = m_Settings;
        const Matrix44f mView = LookAt(s.vEye, s.vTarget, s.vUp);
        const Matrix44f mProjection = Perspective(s.fFovY, fAspect, s.fNear, s.fFar);
        Publish(hViewOut, m_mView, mView);
        Publish(hProjectionOut, m_mProjection, mProjection);
        Publish(hViewProjectionOut, m_mViewProjection, mProjection * mView);
        Publish(hEyeOut, m_vEye, s.vEye);
        m_bFirstRun = false;
    }

private:
    template <class T>
    void Publish(const FlowGraph::PortHandle<FlowGraph::SimplePortT<T>>& hPort, T& published, const T& value)
    {
        const bool bChanged = m_bFirstRun || published != value;
        published = value;
        hPort->SetData(&published, bChanged);
    }

    // Takes the edited controls when they parse and give a proper camera;
    // otherwise shows the settings in force again and refuses the edit.
    void OnEdited()
    {
        try {
            CameraSettings edited = m_Edit;
            edited.vEye = Detail::ParseEdit("Eye", m_Eye);
            edited.vTarget = Detail::ParseEdit("Target", m_Target);
            edited.vUp = Detail::ParseEdit("Up", m_Up);
            const std::string strProblem = Check(edited);
            if (!strProblem.empty()) Detail::RefuseEdit("the edit was not taken: " + strProblem);
            Accept(edited);
        } catch (...) {
            Accept(m_Settings);
            throw;
        }
    }

    void Accept(const CameraSettings& settings)
    {
        m_Settings = settings;
        m_Edit = settings;
        m_Eye.Set(settings.vEye);
        m_Target.Set(settings.vTarget);
        m_Up.Set(settings.vUp);
    }

    using MatrixPort = FlowGraph::SimplePortT<Matrix44f>;
    FlowGraph::PortHandle<FlowGraph::SimplePortT<float>> hAspectIn;
    FlowGraph::PortHandle<MatrixPort> hViewOut;
    FlowGraph::PortHandle<MatrixPort> hProjectionOut;
    FlowGraph::PortHandle<MatrixPort> hViewProjectionOut;
    FlowGraph::PortHandle<FlowGraph::SimplePortT<Vector3f>> hEyeOut;

    // The settings in force, and what the editor controls show and edit.
    CameraSettings m_Settings;
    Detail::TextSetting<Vector3f> m_Eye, m_Target, m_Up;
    CameraSettings m_Edit;

    Matrix44f m_mView, m_mProjection, m_mViewProjection;
    Vector3f m_vEye;
    bool m_bFirstRun = true;
};

} // namespace

void RegisterCamera(FlowGraph::FilterRegistry& registry)
{
    registry.RegisterFilter(FlowGraph::FilterDescriptor(
        "Host.Camera", "host\\Modules\\Camera", "A look-at camera with a perspective projection",
        "Host;Camera;Matrix", [](Core& core, const std::string& strName) -> FlowGraph::Filter* {
            return new (std::nothrow) FilterCamera(core, strName);
        }));
}

} // namespace Ondo::Host
