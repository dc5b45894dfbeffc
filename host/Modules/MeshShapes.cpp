#include "host/Modules/MeshShapes.h"

#include "host/Modules/ModuleSupport.h"

#include "Ondo/FlowGraph/FilterRegistry.h"
#include "Ondo/OpenGL/BaseFilter.h"

#include <cmath>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

namespace Ondo::Host {

namespace {

constexpr double s_dPi = 3.14159265358979323846;

// One vertex of a parametric surface: where it is and which way it faces.
struct SurfacePoint {
    Vector3f vPosition;
    Vector3f vNormal;
};

GFX::Mesh StartMesh(const std::string& strName)
{
    GFX::Mesh mesh;
    auto pMaterial = std::make_shared<GFX::MeshMaterial>();
    pMaterial->m_strName = strName;
    mesh.m_Materials.push_back(pMaterial);
    mesh.m_Groups.push_back({strName, {}});
    return mesh;
}

// Adds (iU + 1) x (iV + 1) vertices at fnPoint(u, v) for u and v from 0 to 1,
// with (u, v) as their texture coordinates, and the iU x iV quads between
// them, counter-clockwise when the surface's u and v directions turn
// counter-clockwise around its normal. With bPoles the first and the last row
// each shrink to one point: their quads become triangles.
template <class F>
void AddGrid(GFX::Mesh& mesh, int iU, int iV, bool bPoles, F&& fnPoint)
{
    const auto uiFirst = static_cast<std::uint32_t>(mesh.m_Positions.size());
    for (int j = 0; j <= iV; ++j) {
        for (int i = 0; i <= iU; ++i) {
            const float u = static_cast<float>(i) / static_cast<float>(iU);
            const float v = static_cast<float>(j) / static_cast<float>(iV);
            const SurfacePoint point = fnPoint(u, v);
            mesh.m_Positions.push_back(point.vPosition);
            mesh.m_Normals.push_back(point.vNormal);
            mesh.m_TexCoords.push_back({u, v});
        }
    }
    const auto Index = [&](int i, int j) { return uiFirst + static_cast<std::uint32_t>(j * (iU + 1) + i); };
    std::vector<GFX::MeshFace>& faces = mesh.m_Groups.back().m_Faces;
    for (int j = 0; j < iV; ++j) {
        for (int i = 0; i < iU; ++i) {
            if (bPoles && j == 0)
                faces.push_back({0, {Index(i, j), Index(i + 1, j + 1), Index(i, j + 1)}});
            else if (bPoles && j == iV - 1)
                faces.push_back({0, {Index(i, j), Index(i + 1, j), Index(i, j + 1)}});
            else
                faces.push_back({0, {Index(i, j), Index(i + 1, j), Index(i + 1, j + 1), Index(i, j + 1)}});
        }
    }
}

Vector3f ToFloat(double x, double y, double z)
{
    return {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
}

void RequireCounts(std::initializer_list<std::pair<int, int>> counts)
{
    for (const auto& [iCount, iMinimum] : counts)
        if (iCount < iMinimum) throw std::invalid_argument("a mesh was asked for with too few subdivisions");
}

} // namespace

GFX::Mesh MakePlane(float fWidth, float fHeight, int iSegmentsX, int iSegmentsY)
{
    RequireCounts({{iSegmentsX, 1}, {iSegmentsY, 1}});
    GFX::Mesh mesh = StartMesh("Plane");
    AddGrid(mesh, iSegmentsX, iSegmentsY, false, [&](float u, float v) {
        return SurfacePoint{{fWidth * (u - 0.5f), fHeight * (v - 0.5f), 0.0f}, {0.0f, 0.0f, 1.0f}};
    });
    return mesh;
}

GFX::Mesh MakeCube(float fSize, int iSegments)
{
    RequireCounts({{iSegments, 1}});
    // Each face's outward normal and its u and v directions, with u x v = normal.
    static const Vector3f s_Faces[6][3] = {{{1, 0, 0}, {0, 0, -1}, {0, 1, 0}}, {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}},
                                           {{0, 1, 0}, {1, 0, 0}, {0, 0, -1}}, {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
                                           {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},  {{0, 0, -1}, {-1, 0, 0}, {0, 1, 0}}};
    GFX::Mesh mesh = StartMesh("Cube");
    for (const auto& face : s_Faces) {
        AddGrid(mesh, iSegments, iSegments, false, [&](float u, float v) {
            const Vector3f vPosition =
                face[0] * (0.5f * fSize) + face[1] * ((u - 0.5f) * fSize) + face[2] * ((v - 0.5f) * fSize);
            return SurfacePoint{vPosition, face[0]};
        });
    }
    return mesh;
}

GFX::Mesh MakeSphere(float fRadius, int iSegments, int iRings)
{
    RequireCounts({{iSegments, 3}, {iRings, 2}});
    GFX::Mesh mesh = StartMesh("Sphere");
    // v runs from the south pole (v = 0) to the north pole; u turns from +z towards +x.
    AddGrid(mesh, iSegments, iRings, true, [&](float u, float v) {
        const double dPhi = 2.0 * s_dPi * u, dTheta = s_dPi * v;
        const double dRing = std::sin(dTheta);
        const Vector3f vNormal = ToFloat(dRing * std::sin(dPhi), -std::cos(dTheta), dRing * std::cos(dPhi));
        return SurfacePoint{vNormal * fRadius, vNormal};
    });
    return mesh;
}

GFX::Mesh MakeTorus(float fMajorRadius, float fMinorRadius, int iSegments, int iSides)
{
    RequireCounts({{iSegments, 3}, {iSides, 3}});
    GFX::Mesh mesh = StartMesh("Torus");
    // u turns around the z axis from +x towards +y; v around the tube, from its outside towards +z.
    AddGrid(mesh, iSegments, iSides, false, [&](float u, float v) {
        const double dPhi = 2.0 * s_dPi * u, dTheta = 2.0 * s_dPi * v;
        const double dOut = std::cos(dTheta);
        const Vector3f vNormal = ToFloat(dOut * std::cos(dPhi), dOut * std::sin(dPhi), std::sin(dTheta));
        const Vector3f vCentre = ToFloat(std::cos(dPhi), std::sin(dPhi), 0.0) * fMajorRadius;
        return SurfacePoint{vCentre + vNormal * fMinorRadius, vNormal};
    });
    return mesh;
}

namespace {

// A size or a subdivision count of a shape; the key's prefix ("f" or "i")
// says which.
struct Parameter {
    const char* szLabel;
    const char* szKey;
    float fDefault;
    int iMinimum;
    int iMaximum;

    bool IsCount() const { return szKey[0] == 'i'; }
    // Empty when the value is acceptable; otherwise what it must be.
    std::string Check(float fValue) const
    {
        if (!IsCount())
            return std::isfinite(fValue) && fValue > 0.0f ? std::string()
                                                          : "\"" + std::string(szLabel) + "\" must be a positive size";
        if (fValue >= static_cast<float>(iMinimum) && fValue <= static_cast<float>(iMaximum)) return {};
        return "\"" + std::string(szLabel) + "\" must lie between " + std::to_string(iMinimum) + " and " +
               std::to_string(iMaximum);
    }
};

struct Shape {
    const char* szType;
    const char* szDescription;
    const char* szKeywords;
    std::vector<Parameter> parameters;
    GFX::Mesh (*fnBuild)(const std::vector<float>&);
    // Empty when the values, each acceptable, make a proper shape together.
    std::string (*fnCheck)(const std::vector<float>&);
};

std::string NoCheck(const std::vector<float>&) { return {}; }

const std::vector<Shape>& GetShapes()
{
    static const std::vector<Shape> s_Shapes = {
        {"Host.Mesh.Plane",
         "A flat rectangle in the xy plane, facing +z",
         "Host;Mesh;Plane;Procedural",
         {{"Width", "fWidth", 2.0f, 0, 0},
          {"Height", "fHeight", 2.0f, 0, 0},
          {"Segments X", "iSegmentsX", 1.0f, 1, 1024},
          {"Segments Y", "iSegmentsY", 1.0f, 1, 1024}},
         [](const std::vector<float>& v) { return MakePlane(v[0], v[1], int(v[2]), int(v[3])); },
         NoCheck},
        {"Host.Mesh.Cube",
         "An axis-aligned cube with one normal per face",
         "Host;Mesh;Cube;Box;Procedural",
         {{"Size", "fSize", 1.0f, 0, 0}, {"Segments", "iSegments", 1.0f, 1, 256}},
         [](const std::vector<float>& v) { return MakeCube(v[0], int(v[1])); },
         NoCheck},
        {"Host.Mesh.Sphere",
         "A UV sphere with its poles on the y axis",
         "Host;Mesh;Sphere;Procedural",
         {{"Radius", "fRadius", 1.0f, 0, 0},
          {"Segments", "iSegments", 32.0f, 3, 1024},
          {"Rings", "iRings", 16.0f, 2, 1024}},
         [](const std::vector<float>& v) { return MakeSphere(v[0], int(v[1]), int(v[2])); },
         NoCheck},
        {"Host.Mesh.Torus",
         "A torus around the z axis",
         "Host;Mesh;Torus;Ring;Procedural",
         {{"Major Radius", "fMajorRadius", 1.0f, 0, 0},
          {"Minor Radius", "fMinorRadius", 0.25f, 0, 0},
          {"Segments", "iSegments", 32.0f, 3, 1024},
          {"Sides", "iSides", 16.0f, 3, 1024}},
         [](const std::vector<float>& v) { return MakeTorus(v[0], v[1], int(v[2]), int(v[3])); },
         // A tube as wide as the ring turns inside out through the axis.
         [](const std::vector<float>& v) {
             return v[1] < v[0] ? std::string() : std::string("\"Minor Radius\" must be smaller than \"Major Radius\"");
         }},
    };
    return s_Shapes;
}

// Empty when every value is acceptable and the shape is proper; otherwise why not.
std::string CheckValues(const Shape& shape, const std::vector<float>& values)
{
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::string strProblem = shape.parameters[i].Check(values[i]);
        if (!strProblem.empty()) return strProblem;
    }
    return shape.fnCheck(values);
}

// A source of one procedural shape. The values in force are the settings,
// each replaced by its input while that carries an acceptable value.
class FilterMeshShape : public OpenGL::BaseFilter {
public:
    FilterMeshShape(Core& core, const std::string& strName, const Shape& shape)
        : BaseFilter(core, strName, strName), m_Shape(shape), m_Inputs(shape.parameters.size())
    {
        for (const Parameter& parameter : shape.parameters) m_Settings.push_back(parameter.fDefault);
        Accept(m_Settings);
    }

    void CreatePorts() override
    {
        for (std::size_t i = 0; i < m_Inputs.size(); ++i) {
            const Parameter& parameter = m_Shape.parameters[i];
            const FlowGraph::PortSettings settings{FlowGraph::PortType::Input, parameter.szLabel, true};
            if (parameter.IsCount())
                CreatePort(m_Inputs[i].hCount, settings);
            else
                CreatePort(m_Inputs[i].hSize, settings);
        }
        CreatePort(hMeshOut, {FlowGraph::PortType::Output, "Mesh", false});
    }

    void Serialize(FlowGraph::Serialization::Serializer& serializer) override
    {
        std::vector<float> read = m_Settings;
        for (std::size_t i = 0; i < read.size(); ++i) {
            const Parameter& parameter = m_Shape.parameters[i];
            if (parameter.IsCount()) {
                int iValue = static_cast<int>(read[i]);
                Detail::SerializeSetting(serializer, parameter.szKey, iValue);
                read[i] = static_cast<float>(iValue);
            } else {
                Detail::SerializeSetting(serializer, parameter.szKey, read[i]);
            }
        }
        if (!serializer.IsReader()) return;
        const std::string strProblem = CheckValues(m_Shape, read);
        if (!strProblem.empty()) throw ExceptionParsing(strProblem);
        Accept(read);
    }

    void Instrument(Instrumenter& instrumenter) override
    {
        const auto fnEdited = [this] { OnEdited(); };
        for (std::size_t i = 0; i < m_Inputs.size(); ++i) {
            const Parameter& parameter = m_Shape.parameters[i];
            if (parameter.IsCount())
                instrumenter.AddInt(parameter.szLabel, &m_Inputs[i].iEdit, fnEdited);
            else
                instrumenter.AddFloat(parameter.szLabel, &m_Inputs[i].fEdit, fnEdited);
        }
    }

    void Process(FlowGraph::ScopeExecuter&) override
    {
        // An input without a value leaves its setting in force; one with a
        // value that makes no proper shape is an error of the run.
        std::vector<float> values = m_Settings;
        for (std::size_t i = 0; i < values.size(); ++i) {
            const Parameter& parameter = m_Shape.parameters[i];
            FlowGraph::Port* pPort =
                parameter.IsCount() ? static_cast<FlowGraph::Port*>(&*m_Inputs[i].hCount) : &*m_Inputs[i].hSize;
            if (!pPort->GetDataPointer()) continue;
            const float fValue = parameter.IsCount() ? static_cast<float>(*m_Inputs[i].hCount->GetData())
                                                     : *m_Inputs[i].hSize->GetData();
            const std::string strProblem = parameter.Check(fValue);
            if (strProblem.empty())
                values[i] = fValue;
            else
                GetCore().ReportError("the input " + strProblem + ", not " + Detail::FormatValue(fValue) +
                                      "; the setting would be used");
        }
        const std::string strProblem = m_Shape.fnCheck(values);
        if (!strProblem.empty()) {
            GetCore().ReportError("the inputs give no proper shape: " + strProblem + "; the settings would be used");
            values = m_Settings;
        }

        const bool bChanged = m_bFirstRun || values != m_Built;
        if (bChanged) {
            m_Mesh = m_Shape.fnBuild(values);
            m_Built = values;
            m_bFirstRun = false;
        }
        hMeshOut->SetData(&m_Mesh, bChanged);
    }

private:
    // The optional input of a parameter (of its kind), and what its editor
    // control shows and edits.
    struct Input {
        FlowGraph::PortHandle<FlowGraph::SimplePortT<float>> hSize;
        FlowGraph::PortHandle<FlowGraph::SimplePortT<int>> hCount;
        float fEdit = 0.0f;
        int iEdit = 0;
    };

    // Takes the edited controls when they give a proper shape; otherwise
    // shows the settings in force again and refuses the edit.
    void OnEdited()
    {
        std::vector<float> edited;
        for (std::size_t i = 0; i < m_Inputs.size(); ++i)
            edited.push_back(m_Shape.parameters[i].IsCount() ? static_cast<float>(m_Inputs[i].iEdit)
                                                             : m_Inputs[i].fEdit);
        const std::string strProblem = CheckValues(m_Shape, edited);
        if (!strProblem.empty()) {
            Accept(m_Settings);
            Detail::RefuseEdit("the edit was not taken: " + strProblem);
        }
        Accept(edited);
    }

    void Accept(const std::vector<float>& values)
    {
        m_Settings = values;
        for (std::size_t i = 0; i < values.size(); ++i) {
            m_Inputs[i].fEdit = values[i];
            m_Inputs[i].iEdit = static_cast<int>(values[i]);
        }
    }

    const Shape& m_Shape;
    std::vector<Input> m_Inputs;
    FlowGraph::PortHandle<FlowGraph::SimplePortT<GFX::Mesh>> hMeshOut;
    // Sizes and counts in the order of the shape's parameters (counts held
    // exactly as floats).
    std::vector<float> m_Settings;
    std::vector<float> m_Built;
    GFX::Mesh m_Mesh;
    bool m_bFirstRun = true;
};

} // namespace

void RegisterMeshShapes(FlowGraph::FilterRegistry& registry)
{
    for (const Shape& shape : GetShapes()) {
        registry.RegisterFilter(FlowGraph::FilterDescriptor(
            shape.szType, "host\\Modules\\MeshShapes", shape.szDescription, shape.szKeywords,
            [&shape](Core& core, const std::string& strName) -> FlowGraph::Filter* {
                return new (std::nothrow) FilterMeshShape(core, strName, shape);
            }));
    }
}

} // namespace Ondo::Host
