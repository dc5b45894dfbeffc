#include "src/FilterGenericDeferredRenderer.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"

#include <algorithm>
#include <array>
#include <sstream>
#include <stdexcept>

namespace Prismvale {

namespace {
const FilterRegistration<FilterGenericDeferredRenderer> s_Registration("OpenGL.GenericDeferred",
                                                                       "src\\FilterGenericDeferredRenderer",
                                                                       "Generic Deferred Rendering of a mesh",
                                                                       "OpenGL;Mesh;Deferred;");

using Attribute = FilterGenericDeferredRenderer::DeferredAttribute;

// The attribute types, in the order of the editor's choice list; the item is
// also the GLSL type.
struct TypeEntry {
    GLenum eType;
    const char* szItem;
    GLint iComponents;
};
const std::array<TypeEntry, 4> s_Types = {{{GL_FLOAT, "float", 1},
                                           {GL_FLOAT_VEC2, "vec2", 2},
                                           {GL_FLOAT_VEC3, "vec3", 3},
                                           {GL_FLOAT_VEC4, "vec4", 4}}};

// The modifiers, in the order of the editor's choice list. Value 2 (the view
// matrix) has no entry but is accepted from files.
struct ModifierEntry {
    std::int32_t iValue;
    const char* szItem;
};
const std::array<ModifierEntry, 8> s_Modifiers = {{{0, "None"},
                                                   {1, "World Matrix"},
                                                   {4, "ModelView Matrix"},
                                                   {3, "Projection Matrix"},
                                                   {5, "ModelViewProjection Matrix"},
                                                   {6, "Normal Matrix (Worldspace)"},
                                                   {7, "Normal Matrix (Viewspace)"},
                                                   {8, "Float Deformation"}}};

constexpr std::int32_t ModelViewModifier = 4;
constexpr std::int32_t NormalWorldModifier = 6;

// The uniform that modifiers 1 to 8 apply (4 has its own form).
const char* const s_szModifierUniform[9] = {nullptr,
                                            "WorldMatrix",
                                            "ViewMatrix",
                                            "ProjectionMatrix",
                                            "ModelViewMatrix",
                                            "ModelViewProjectionMatrix",
                                            "NormalMatrixWS",
                                            "NormalMatrixVS",
                                            "FloatModifier"};

// Fixed uniform locations of the generated program.
enum UniformLocation : GLint {
    WorldMatrixLocation = 0,
    ViewMatrixLocation = 1,
    ProjectionMatrixLocation = 2,
    ModelViewMatrixLocation = 3,
    ModelViewProjectionMatrixLocation = 4,
    NormalMatrixWSLocation = 5,
    NormalMatrixVSLocation = 6,
    FloatModifierLocation = 7,
};

const TypeEntry& TypeOf(const Attribute& attribute)
{
    for (const TypeEntry& entry : s_Types)
        if (entry.eType == attribute.eAttributeType) return entry;
    throw std::runtime_error("Invalid Attribute Type");
}

const std::string s_strRule = std::string(74, '/') + "\n";

// A comment framed by two rules.
std::string Banner(const char* szText) { return s_strRule + "// " + szText + "\n" + s_strRule; }

// Labels of the ports the filter makes itself, which an attribute's ports
// must not repeat.
const char* const s_szFixedLabels[] = {"World-Matrix", "View-Matrix", "Projection-Matrix", "Index-Buffer",
                                       "Depth Target", "Deformation",  "Depth",             "Positions"};

std::string Quoted(const std::string& strText) { return "\"" + strText + "\""; }
} // namespace

void FilterGenericDeferredRenderer::DeferredAttribute::Serialize(
    Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    serializer.Serialize("strAttributeName", strAttributeName);
    unsigned int uiType = eAttributeType;
    int iInterpolation = eAttributeInterpolation, iModifier = eAttributeModifier;
    serializer.Serialize("eAttributeType", uiType);
    serializer.Serialize("eAttributeInterpolation", iInterpolation);
    serializer.Serialize("eAttributeModifier", iModifier);
    eAttributeType = uiType;
    eAttributeInterpolation = iInterpolation;
    eAttributeModifier = iModifier;
}

std::string FilterGenericDeferredRenderer::GenerateVertexShader(const AttributeList& attributes)
{
    std::ostringstream text;
    text << "#version 430 core\n#pragma ONDO_PORT_ATTRIBUTE(Position,\"Positions\");\n";
    for (std::size_t i = 0; i < attributes.size(); ++i)
        text << "#pragma ONDO_PORT_ATTRIBUTE(Attribute_" << i << ",\"" << attributes[i]->strAttributeName << "\");\n";
    text << Banner("input variables");
    // Location 3 is declared before location 2.
    text << "layout( location = 0 ) uniform mat4 WorldMatrix;\n"
            "layout( location = 1 ) uniform mat4 ViewMatrix;\n"
            "layout( location = 3 ) uniform mat4 ModelViewMatrix;\n"
            "layout( location = 2 ) uniform mat4 ProjectionMatrix;\n"
            "layout( location = 4 ) uniform mat4 ModelViewProjectionMatrix;\n"
            "layout( location = 5 ) uniform mat3 NormalMatrixWS;\n"
            "layout( location = 6 ) uniform mat3 NormalMatrixVS;\n"
            "layout( location = 7 ) uniform float FloatModifier;\n";
    text << "\nlayout( location = 0 ) in vec3 Position;\n";
    for (std::size_t i = 0; i < attributes.size(); ++i)
        text << "layout( location = " << i + 1 << " ) in " << TypeOf(*attributes[i]).szItem << " Attribute_" << i
             << ";\n";
    text << "\n" << Banner("Specify exactly what the gl_PerVertex output contains");
    text << "out gl_PerVertex\n{\n\tvec4 gl_Position;\n};\n" << Banner("Other output");
    if (!attributes.empty()) {
        text << "out block\n{\n";
        for (std::size_t i = 0; i < attributes.size(); ++i)
            text << "\t" << TypeOf(*attributes[i]).szItem << " Attribute_" << i << ";\n";
        text << "} Out;\n";
    }
    text << Banner("Vertex-Shader") << "void main()\n{\n";
    for (std::size_t i = 0; i < attributes.size(); ++i) {
        const std::int32_t iModifier = attributes[i]->eAttributeModifier;
        if (iModifier < 0 || iModifier > 8) throw std::runtime_error("Invalid Modifier.");
        const GLenum eType = TypeOf(*attributes[i]).eType;
        if (iModifier == 0) {
            text << "\tOut.Attribute_" << i << " = Attribute_" << i << ";\n";
        } else if (iModifier == ModelViewModifier && eType == GL_FLOAT_VEC3) {
            // A point: transformed in homogeneous form and divided back.
            text << "\tvec4 vTemp_" << i << " = ModelViewMatrix * vec4( Attribute_" << i << ", 1.0 );\n";
            text << "\tOut.Attribute_" << i << " = vTemp_" << i << ".xyz / vTemp_" << i << ".w;\n";
        } else if (iModifier != ModelViewModifier || eType == GL_FLOAT_VEC4) {
            text << "\tOut.Attribute_" << i << " = " << s_szModifierUniform[iModifier] << " * Attribute_" << i
                 << ";\n";
        }
        // The model-view matrix on a float or vec2 writes nothing; the filter
        // refuses to draw such an attribute.
    }
    text << "\tgl_Position = ModelViewProjectionMatrix * vec4( Position, 1.0 );\n}\n";
    return text.str();
}

std::string FilterGenericDeferredRenderer::GenerateFragmentShader(const AttributeList& attributes)
{
    if (attributes.empty()) return std::string();
    std::ostringstream text;
    text << "#version 430 core\n";
    for (std::size_t i = 0; i < attributes.size(); ++i) {
        const std::string& strName = attributes[i]->strAttributeName;
        text << "#pragma ONDO_PORT_SURFACE(o_FragAttribute_" << i << ",\"" << strName << "-Target\",\"" << strName
             << "\");\n";
    }
    text << Banner("Incoming data") << "in block\n{\n";
    for (std::size_t i = 0; i < attributes.size(); ++i)
        text << "\t" << TypeOf(*attributes[i]).szItem << " Attribute_" << i << ";\n";
    text << "} In;\n" << Banner("output variables");
    for (std::size_t i = 0; i < attributes.size(); ++i)
        text << "layout ( location = " << i << " ) out " << TypeOf(*attributes[i]).szItem << " o_FragAttribute_" << i
             << ";\n";
    text << Banner("Fragment Shader") << "void main()\n{\n";
    for (std::size_t i = 0; i < attributes.size(); ++i) {
        // Interpolated normals are shorter than 1 between the vertices.
        if (attributes[i]->eAttributeModifier == NormalWorldModifier && attributes[i]->eAttributeType == GL_FLOAT_VEC3)
            text << "\to_FragAttribute_" << i << " = normalize( In.Attribute_" << i << " );\n";
        else
            text << "\to_FragAttribute_" << i << " = In.Attribute_" << i << ";\n";
    }
    text << "}\n";
    return text.str();
}

FilterGenericDeferredRenderer::FilterGenericDeferredRenderer(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName), m_Pass(*this, std::wstring(), std::wstring())
{
}

void FilterGenericDeferredRenderer::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hMatWorld, {PortType::Input, "World-Matrix", true});
    CreatePort(hMatView, {PortType::Input, "View-Matrix", true});
    CreatePort(hMatProjection, {PortType::Input, "Projection-Matrix", false});
    CreatePort(hIndicesIn, {PortType::Input, "Index-Buffer", false});
    CreatePort(hTextureTargetDepthIn, {PortType::Input, "Depth Target", false});
    CreatePort(hDeformation, {PortType::Input, "Deformation", true});
    CreatePort(hTextureOutDepth, {PortType::Output, "Depth", false});
}

void FilterGenericDeferredRenderer::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    BaseFilter::Serialize(serializer);
    serializer.Serialize("ShaderHelper", m_Pass.GetHooker());
    serializer.Serialize("hMatWorld", hMatWorld);
    serializer.Serialize("hMatView", hMatView);
    serializer.Serialize("hMatProjection", hMatProjection);
    serializer.Serialize("hIndicesIn", hIndicesIn);
    serializer.Serialize("hDeformation", hDeformation);
    serializer.Serialize("hTextureTargetDepthIn", hTextureTargetDepthIn);
    serializer.Serialize("hTextureOutDepth", hTextureOutDepth);
    SerializeAttributes(serializer);
}

// Each attribute is a child element "DeferredAttribute" holding the
// sub-object "AttributeData". Reading appends the stored attributes to the
// list (a new instance starts with none), all of them or, when one cannot be
// read, none; it does not rebuild the program, which the next InitResources
// builds from the list.
void FilterGenericDeferredRenderer::SerializeAttributes(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    TiXmlElement* pElement = serializer.GetCurrentElement();
    TiXmlNode* pSaved = serializer.GetCurrentNode();
    struct Restore {
        Ondo::FlowGraph::Serialization::Serializer& serializer;
        TiXmlNode* pNode;
        ~Restore() { serializer.SetCurrentNode(pNode); }
    } restore{serializer, pSaved};

    if (!serializer.IsReader()) {
        for (const auto& pAttribute : m_Attributes) {
            serializer.SetCurrentNode(pElement->LinkEndChild(new TiXmlElement("DeferredAttribute")));
            serializer.Serialize("AttributeData", *pAttribute);
        }
        return;
    }
    AttributeList read;
    for (TiXmlElement* pChild = pElement->FirstChildElement("DeferredAttribute"); pChild;
         pChild = pChild->NextSiblingElement("DeferredAttribute")) {
        auto pAttribute = std::make_unique<DeferredAttribute>();
        serializer.SetCurrentNode(pChild);
        serializer.Serialize("AttributeData", *pAttribute);
        CheckNewName(pAttribute->strAttributeName, {});
        read.push_back(std::move(pAttribute));
    }
    for (auto& pAttribute : read) {
        AddAttributeControls(*pAttribute);
        m_Attributes.push_back(std::move(pAttribute));
    }
    if (m_pInstrumenter) m_pInstrumenter->RefreshControls();
}

void FilterGenericDeferredRenderer::CheckNewName(const std::string& strName, const AttributeList& existing) const
{
    const std::string strWhat = GetName() + ": an attribute cannot be called " + Quoted(strName);
    if (strName.empty()) throw std::runtime_error(GetName() + ": an attribute needs a name");
    if (strName.find_first_of("\"\n\r") != std::string::npos)
        throw std::runtime_error(strWhat + ": its ports' labels cannot hold double quotes or line breaks");
    for (const char* szFixed : s_szFixedLabels)
        if (strName == szFixed || strName + "-Target" == szFixed)
            throw std::runtime_error(strWhat + ": the filter has a port of that label");
    for (const auto& pAttribute : existing)
        if (pAttribute->strAttributeName == strName)
            throw std::runtime_error(strWhat + " twice: each attribute needs ports of its own");
}

void FilterGenericDeferredRenderer::Instrument(Ondo::Instrumenter& instrumenter)
{
    m_pInstrumenter = &instrumenter;
    instrumenter.AddStringField("New Attribute Name", &m_strNewAttributeName, nullptr);
    instrumenter.AddButton("Add Attribute", [this] {
        CheckNewName(m_strNewAttributeName, m_Attributes);
        auto pAttribute = std::make_unique<DeferredAttribute>();
        pAttribute->strAttributeName = m_strNewAttributeName;
        AddAttributeControls(*pAttribute);
        m_Attributes.push_back(std::move(pAttribute));
        Rebuild();
    });
    for (auto& pAttribute : m_Attributes) AddAttributeControls(*pAttribute);
}

void FilterGenericDeferredRenderer::AddAttributeControls(DeferredAttribute& attribute)
{
    if (!m_pInstrumenter) return;
    Ondo::Instrumenter& instrumenter = *m_pInstrumenter;
    std::vector<std::string> types, modifiers;
    int iType = int(s_Types.size()), iModifier = 8;
    for (std::size_t k = 0; k < s_Types.size(); ++k) {
        types.push_back(s_Types[k].szItem);
        if (s_Types[k].eType == attribute.eAttributeType) iType = int(k);
    }
    for (std::size_t k = 0; k < s_Modifiers.size(); ++k) {
        modifiers.push_back(s_Modifiers[k].szItem);
        if (s_Modifiers[k].iValue == attribute.eAttributeModifier) iModifier = int(k);
    }
    DeferredAttribute* pAttribute = &attribute;
    attribute.m_ControlIds = {
        instrumenter.AddStringView("AttributeName", &attribute.strAttributeName),
        instrumenter.AddChoice("Attribute Type", types, iType,
                               [this, pAttribute](int k) {
                                   pAttribute->eAttributeType = s_Types.at(std::size_t(k)).eType;
                                   Rebuild();
                               }),
        instrumenter.AddChoice("Attribute Modifier", modifiers, iModifier,
                               [this, pAttribute](int k) {
                                   pAttribute->eAttributeModifier = s_Modifiers.at(std::size_t(k)).iValue;
                                   Rebuild();
                               }),
        instrumenter.AddButton("Remove Attribute ", [this, pAttribute] {
            RemoveAttributeControls(*pAttribute);
            m_Attributes.erase(std::find_if(m_Attributes.begin(), m_Attributes.end(),
                                            [&](const auto& p) { return p.get() == pAttribute; }));
            Rebuild();
            if (m_pInstrumenter) m_pInstrumenter->RefreshControls();
        })};
}

void FilterGenericDeferredRenderer::RemoveAttributeControls(DeferredAttribute& attribute)
{
    if (m_pInstrumenter)
        for (const Ondo::Instrumenter::ControlId id : attribute.m_ControlIds) m_pInstrumenter->RemoveControl(id);
    attribute.m_ControlIds.clear();
}

void FilterGenericDeferredRenderer::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { BuildProgram(); }

void FilterGenericDeferredRenderer::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    m_Pass.Release();
    m_uiScannedBuffer = 0;
    m_iScannedBytes = -1;
}

void FilterGenericDeferredRenderer::BuildProgram()
{
    std::string strVertex, strFragment;
    try {
        strVertex = GenerateVertexShader(m_Attributes);
        strFragment = GenerateFragmentShader(m_Attributes);
    } catch (const std::runtime_error& error) {
        throw std::runtime_error(Quoted(GetName()) + ": the attribute list cannot be turned into shaders: " +
                                 error.what());
    }
    m_Pass.BuildFromText(strVertex, strFragment);
}

void FilterGenericDeferredRenderer::Rebuild()
{
    if (!IsAttached()) return; // InitResources builds from the list
    MakeCurrent();
    BuildProgram();
    m_Pass.GetHooker().RemoveTemporaryPorts();
}

GLsizei FilterGenericDeferredRenderer::CheckGeometry()
{
    using Ondo::OpenGL::GLSLShaderPortHooker;
    for (const auto& pAttribute : m_Attributes)
        if (pAttribute->eAttributeModifier == ModelViewModifier && pAttribute->eAttributeType != GL_FLOAT_VEC3 &&
            pAttribute->eAttributeType != GL_FLOAT_VEC4)
            throw std::runtime_error("attribute " + Quoted(pAttribute->strAttributeName) +
                                     ": the \"ModelView Matrix\" modifier needs a vec3 or vec4 attribute; the shader "
                                     "would leave its target undefined");

    GLint iBound = 0;
    glGetIntegerv(GL_COPY_READ_BUFFER_BINDING, &iBound);
    struct RestoreBinding {
        GLint iName;
        ~RestoreBinding() { glBindBuffer(GL_COPY_READ_BUFFER, static_cast<GLuint>(iName)); }
    } restore{iBound};
    // The bytes of a buffer on an input, refused when it has none.
    const auto fnBytes = [](const Ondo::OpenGL::BufferObject* pBuffer, const std::string& strLabel) {
        if (!pBuffer || pBuffer->m_uiName == 0) throw std::runtime_error(Quoted(strLabel) + " carries no buffer");
        glBindBuffer(GL_COPY_READ_BUFFER, pBuffer->m_uiName);
        GLint iBytes = 0;
        glGetBufferParameteriv(GL_COPY_READ_BUFFER, GL_BUFFER_SIZE, &iBytes);
        if (iBytes <= 0) throw std::runtime_error(Quoted(strLabel) + " holds an empty buffer");
        return iBytes;
    };

    const Ondo::OpenGL::BufferObject* pIndices = hIndicesIn->GetData();
    const GLint iIndexBytes = fnBytes(pIndices, "Index-Buffer");
    const GLsizei iIndices = iIndexBytes / 4;
    if (iIndices == 0) throw std::runtime_error("\"Index-Buffer\" holds no whole 32-bit index");
    // Scanned again when another buffer or size arrives, or the upload says
    // the buffer changed.
    if (pIndices->m_uiName != m_uiScannedBuffer || iIndexBytes != m_iScannedBytes || hIndicesIn->HasChanged()) {
        std::vector<GLuint> indices(static_cast<std::size_t>(iIndices));
        glGetBufferSubData(GL_COPY_READ_BUFFER, 0, iIndices * 4, indices.data());
        m_uiMaxIndex = *std::max_element(indices.begin(), indices.end());
        m_uiScannedBuffer = pIndices->m_uiName;
        m_iScannedBytes = iIndexBytes;
    }

    for (const GLSLShaderPortHooker::Hook& hook : m_Pass.GetHooker().GetHooks()) {
        if (hook.m_uiProgram != m_Pass.GetProgram() || hook.m_pPort->m_eKind != GLSLShaderPortHooker::Kind::Attribute)
            continue;
        const std::string& strLabel = hook.m_pPort->m_strLabel;
        const auto* pPort =
            hook.m_pPort->m_hPort.IsNone() ? nullptr : dynamic_cast<const BufferPort*>(hook.m_pPort->m_hPort.Get());
        const GLint iBytes = fnBytes(pPort ? pPort->GetData() : nullptr, strLabel);
        GLint iComponents = 4;
        for (const TypeEntry& entry : s_Types)
            if (entry.eType == hook.m_eType) iComponents = entry.iComponents;
        const auto uiVertices = static_cast<GLuint>(iBytes) / static_cast<GLuint>(iComponents * 4);
        if (m_uiMaxIndex >= uiVertices)
            throw std::runtime_error("\"Index-Buffer\" uses vertex " + std::to_string(m_uiMaxIndex) + ", but " +
                                     Quoted(strLabel) + " holds " + std::to_string(uiVertices) + " vertices");
    }
    return iIndices;
}

void FilterGenericDeferredRenderer::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    // Everything is checked before the GL state changes, so that a refused
    // run leaves no framebuffer, program or attribute bound.
    Ondo::OpenGL::TextureObject2D* pDepth = hTextureTargetDepthIn->GetData();
    const Ondo::Vector2i size = m_Pass.CheckTargets("Depth Target", pDepth);
    const GLsizei iIndices = CheckGeometry();
    const Ondo::Matrix44f& projection = RequireMatrix(hMatProjection->GetData(), "Projection-Matrix");
    const Ondo::Matrix44f world = hMatWorld->GetData() ? *hMatWorld->GetData() : Ondo::Matrix44f::Identity();
    const Ondo::Matrix44f view = hMatView->GetData() ? *hMatView->GetData() : Ondo::Matrix44f::Identity();
    const float fDeformation = hDeformation->GetData() ? *hDeformation->GetData() : 1.0f;

    const GLuint uiProgram = m_Pass.GetProgram();
    m_Pass.GetHooker().UpdateUniformVariables(uiProgram, 0);
    const Ondo::Matrix44f modelView = view * world;
    const Ondo::Matrix44f modelViewProjection = projection * modelView;
    const Ondo::Matrix33f normalWS = Ondo::NormalMatrix(world), normalVS = Ondo::NormalMatrix(modelView);
    glProgramUniformMatrix4fv(uiProgram, WorldMatrixLocation, 1, GL_FALSE, world.data());
    glProgramUniformMatrix4fv(uiProgram, ViewMatrixLocation, 1, GL_FALSE, view.data());
    glProgramUniformMatrix4fv(uiProgram, ModelViewProjectionMatrixLocation, 1, GL_FALSE, modelViewProjection.data());
    glProgramUniformMatrix4fv(uiProgram, ModelViewMatrixLocation, 1, GL_FALSE, modelView.data());
    glProgramUniformMatrix4fv(uiProgram, ProjectionMatrixLocation, 1, GL_FALSE, projection.data());
    glProgramUniformMatrix3fv(uiProgram, NormalMatrixWSLocation, 1, GL_FALSE, normalWS.data());
    glProgramUniformMatrix3fv(uiProgram, NormalMatrixVSLocation, 1, GL_FALSE, normalVS.data());
    glProgramUniform1f(uiProgram, FloatModifierLocation, fDeformation);

    m_Pass.BindTargets(*pDepth, size);
    m_Pass.Use();
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, hIndicesIn->GetData()->m_uiName);
    glDrawElements(GL_TRIANGLES, iIndices, GL_UNSIGNED_INT, nullptr);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    m_Pass.Finish({});

    hTextureOutDepth->SetData(pDepth, true);
    m_Pass.GetHooker().SetOutputs();
}

} // namespace Prismvale
