// Shader-declared ports: what the annotations make, how the ports are fed, and how a rebuild keeps them.

#include "HostTestSupport.h"
#include "support/GLTestEnvironment.h"

#include "Ondo/Core.h"
#include "Ondo/Exceptions.h"
#include "Ondo/FlowGraph/Scope.h"
#include "Ondo/FlowGraph/Serializer.h"
#include "Ondo/FlowGraph/ValuePorts.h"
#include "Ondo/Logger.h"
#include "Ondo/OpenGL/BaseFilter.h"
#include "Ondo/OpenGL/GLSLShaderPortHooker.h"
#include "Ondo/OpenGL/GPUObjects.h"
#include "Ondo/OpenGL/ShaderCompiler.h"
#include "Ondo/OpenGL/Textures.h"

#include <GL/glew.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

using namespace Ondo::FlowGraph;
using namespace Ondo::OpenGL;
using OndoTest::Link;

namespace {

class HookedFilter : public Ondo::OpenGL::BaseFilter {
public:
    explicit HookedFilter(Ondo::Core& core) : BaseFilter(core, "Hooked", "Hooked"), m_Hooker(*this) {}
    void CreatePorts() override {}
    void Process(ScopeExecuter&) override {}
    GLSLShaderPortHooker m_Hooker;
};

// label -> "class, in/out, optional/required"
std::map<std::string, std::string> DescribePorts(const PortOwner& owner)
{
    std::map<std::string, std::string> ports;
    for (const auto& hPort : owner.GetPortHandles())
        ports[hPort->GetLabel()] = hPort->GetNameOfClass() + (hPort->IsOutput() ? ", out" : ", in") +
                                   (hPort->IsOptional() ? ", optional" : "");
    return ports;
}

const char* const s_szComputeWithEveryUniform = R"(#version 430
layout(local_size_x = 16, local_size_y = 16) in;
#pragma ONDO_PORT_UNIFORM(texFlat,"Flat");
#pragma ONDO_PORT_UNIFORM( texVolume , "Volume" )
#pragma ONDO_PORT_UNIFORM(texCube,"Cube");
#pragma ONDO_PORT_UNIFORM(imgOut,"Image");
#pragma ONDO_PORT_UNIFORM(fScale,"Scale");
#pragma ONDO_PORT_UNIFORM(v2,"V2");
#pragma ONDO_PORT_UNIFORM(v3,"V3");
#pragma ONDO_PORT_UNIFORM(v4,"V4");
#pragma ONDO_PORT_UNIFORM(iCount,"Count");
#pragma ONDO_PORT_UNIFORM(i2,"I2");
#pragma ONDO_PORT_UNIFORM(mTransform,"Transform");
#pragma ONDO_PORT_UNIFORM(fUnused,"Unused");
uniform sampler2D texFlat;
uniform sampler3D texVolume;
uniform samplerCube texCube;
layout(rgba32f) writeonly uniform image2D imgOut;
uniform float fScale = 0.25;
uniform vec2 v2; uniform vec3 v3; uniform vec4 v4;
uniform int iCount; uniform ivec2 i2; uniform mat4 mTransform;
uniform float fUnused;
void main() {
    vec4 c = texelFetch(texFlat, ivec2(0), 0) + texture(texVolume, vec3(0.5)) + texture(texCube, vec3(1.0, 0.0, 0.0));
    c += vec4(v2, 0.0, 0.0) + vec4(v3, 0.0) + v4 + vec4(float(iCount)) + vec4(i2, 0.0, 0.0);
    imageStore(imgOut, ivec2(gl_GlobalInvocationID.xy), mTransform * c * fScale);
})";

const char* const s_szVertex = R"(#version 430
#pragma ONDO_PORT_ATTRIBUTE(aPosition,"Positions")
#pragma ONDO_PORT_ATTRIBUTE(aColor,"Colors")
layout(location = 0) in vec2 aPosition;
layout(location = 3) in vec4 aColor;
out vec4 vColor;
void main() { vColor = aColor; gl_Position = vec4(aPosition, 0.0, 1.0); })";

const char* const s_szFragment = R"(#version 430
#pragma ONDO_PORT_SURFACE(oColor,"Color Target","Color")
#pragma ONDO_PORT_UNIFORM(fGain,"Gain")
in vec4 vColor;
uniform float fGain = 1.0;
layout(location = 1) out vec4 oColor;
void main() { oColor = vColor * fGain; })";

GLuint MakeTexture(GLenum eTarget, GLenum eFormat, int iSize)
{
    GLuint uiTexture = 0;
    glGenTextures(1, &uiTexture);
    glBindTexture(eTarget, uiTexture);
    if (eTarget == GL_TEXTURE_3D)
        glTexStorage3D(eTarget, 1, eFormat, iSize, iSize, iSize);
    else
        glTexStorage2D(eTarget, 1, eFormat, iSize, iSize);
    glBindTexture(eTarget, 0);
    return uiTexture;
}

// A filter with a hooker on a core whose messages are collected.
class Hooker : public ::testing::Test {
protected:
    Hooker()
    {
        OndoTest::TestDevice();
        m_Core.SetLogger(&m_Logger);
    }
    Ondo::CollectingLogger m_Logger;
    Ondo::Core m_Core;
    HookedFilter m_Filter{m_Core};
};

} // namespace

TEST_F(Hooker, AnnotationsBecomePortsOfTheMatchingClass)
{
    const GLuint uiCompute = Link({{GL_COMPUTE_SHADER, s_szComputeWithEveryUniform}});
    m_Filter.m_Hooker.AddPortsFromShaderMemory(uiCompute, s_szComputeWithEveryUniform, L"");
    const GLuint uiDraw = Link({{GL_VERTEX_SHADER, s_szVertex}, {GL_FRAGMENT_SHADER, s_szFragment}});
    m_Filter.m_Hooker.AddPortsFromShaderMemory(uiDraw, s_szVertex, L"");
    m_Filter.m_Hooker.AddPortsFromShaderMemory(uiDraw, s_szFragment, L"");

    const std::map<std::string, std::string> expected = {
        {"Flat", "Ondo::OpenGL::TexturePort2D, in"}, {"Volume", "Ondo::OpenGL::TexturePort3D, in"},
        {"Cube", "Ondo::OpenGL::TexturePortCube, in"}, {"Image", "Ondo::OpenGL::TexturePort2D, in"},
        {"Scale", "Ondo::FloatPort, in, optional"}, {"V2", "Ondo::Vector2fPort, in, optional"},
        {"V3", "Ondo::Vector3fPort, in, optional"}, {"V4", "Ondo::Vector4fPort, in, optional"},
        {"Count", "Ondo::IntPort, in, optional"}, {"I2", "Ondo::Vector2iPort, in, optional"},
        {"Transform", "Ondo::Matrix44fPort, in, optional"}, {"Positions", "Ondo::OpenGL::BufferPort, in"},
        {"Colors", "Ondo::OpenGL::BufferPort, in"}, {"Color Target", "Ondo::OpenGL::TexturePort2D, in"},
        {"Color", "Ondo::OpenGL::TexturePort2D, out"}, {"Gain", "Ondo::FloatPort, in, optional"},
    };
    EXPECT_EQ(DescribePorts(m_Filter), expected);
    // The port order is the declaration order, the surface's input before its output.
    const auto handles = m_Filter.GetPortHandles();
    EXPECT_EQ(handles.front()->GetLabel(), "Flat");
    EXPECT_EQ(handles[handles.size() - 3]->GetLabel(), "Color Target");
    EXPECT_EQ(handles[handles.size() - 2]->GetLabel(), "Color");

    // The unused uniform was optimised away: no port, and the user is told.
    ASSERT_EQ(m_Logger.GetMessages().size(), 1u);
    EXPECT_EQ(m_Logger.GetMessages()[0],
              "Hooked: shader text:14: \"fUnused\" is not an active uniform of the program, so it gets no port "
              "\"Unused\"\n");

    m_Filter.m_Hooker.RemoveHooks(uiCompute);
    m_Filter.m_Hooker.RemoveHooks(uiDraw);
    glDeleteProgram(uiCompute);
    glDeleteProgram(uiDraw);
}

TEST_F(Hooker, TexturesTakeUnitsUpwardAndValuesOnlyWhenPresent)
{
    const char* szSource = R"(#version 430
layout(local_size_x = 1) in;
#pragma ONDO_PORT_UNIFORM(texA,"A")
#pragma ONDO_PORT_UNIFORM(fScale,"Scale")
#pragma ONDO_PORT_UNIFORM(imgB,"B")
#pragma ONDO_PORT_UNIFORM(texC,"C")
uniform sampler2D texA;
uniform float fScale = 0.25;
layout(r32f) uniform image2D imgB;
uniform sampler3D texC;
void main() { imageStore(imgB, ivec2(0), texelFetch(texA, ivec2(0), 0) * fScale + texture(texC, vec3(0.0))); })";
    const GLuint uiProgram = Link({{GL_COMPUTE_SHADER, szSource}});
    m_Filter.m_Hooker.AddPortsFromShaderMemory(uiProgram, szSource, L"");

    TextureObject2D a(MakeTexture(GL_TEXTURE_2D, GL_RGBA8, 4)), b(MakeTexture(GL_TEXTURE_2D, GL_R32F, 4));
    TextureObject3D c(MakeTexture(GL_TEXTURE_3D, GL_RGBA8, 2));
    PortHandle<SimplePortT<TextureObject2D>> hA(m_Filter.FindPort("A")), hB(m_Filter.FindPort("B"));
    PortHandle<SimplePortT<TextureObject3D>> hC(m_Filter.FindPort("C"));
    PortHandle<SimplePortT<float>> hScale(m_Filter.FindPort("Scale"));
    hA->SetData(&a, true);
    hB->SetData(&b, true);
    hC->SetData(&c, true);

    // A sampler left on a unit by someone else must not apply to hooked textures.
    const GLuint uiForeignSampler = CreateDefaultSamplerState();
    glBindSampler(3, uiForeignSampler);

    EXPECT_EQ(m_Filter.m_Hooker.UpdateUniformVariables(uiProgram, 3), 6);
    const auto Uniform = [uiProgram](const char* szName) {
        GLint iValue = -1;
        glGetUniformiv(uiProgram, glGetUniformLocation(uiProgram, szName), &iValue);
        return iValue;
    };
    EXPECT_EQ(std::make_tuple(Uniform("texA"), Uniform("imgB"), Uniform("texC")), std::make_tuple(3, 4, 5));
    std::vector<GLint> bound(5, -1);
    glActiveTexture(GL_TEXTURE3);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound[0]);
    glGetIntegerv(GL_SAMPLER_BINDING, &bound[1]);
    glGetIntegeri_v(GL_IMAGE_BINDING_NAME, 4, &bound[2]);
    glGetIntegeri_v(GL_IMAGE_BINDING_FORMAT, 4, &bound[3]);
    glActiveTexture(GL_TEXTURE5);
    glGetIntegerv(GL_TEXTURE_BINDING_3D, &bound[4]);
    glActiveTexture(GL_TEXTURE0);
    EXPECT_EQ(bound, (std::vector<GLint>{GLint(a.m_uiName), 0, GLint(b.m_uiName), GL_R32F, GLint(c.m_uiName)}))
        << "A on unit 3 with no sampler, B as an image in its texture's own format, C on unit 5";

    const auto Scale = [uiProgram] {
        GLfloat fValue = 0.0f;
        glGetUniformfv(uiProgram, glGetUniformLocation(uiProgram, "fScale"), &fValue);
        return fValue;
    };
    EXPECT_FLOAT_EQ(Scale(), 0.25f) << "an unconnected value keeps the shader's initial value";
    float fNew = 2.0f;
    hScale->SetData(&fNew, true);
    m_Filter.m_Hooker.UpdateUniformVariables(uiProgram, 0);
    EXPECT_FLOAT_EQ(Scale(), 2.0f);

    m_Filter.m_Hooker.RemoveHooks(uiProgram);
    EXPECT_EQ(m_Filter.m_Hooker.UpdateUniformVariables(uiProgram, 0), 0) << "no hooks left for the program";
    glDeleteProgram(uiProgram);
    glDeleteSamplers(1, &uiForeignSampler);
    a.Release();
    b.Release();
    c.Release();
}

TEST_F(Hooker, AttributesFeedADrawIntoASurface)
{
    const GLuint uiProgram = Link({{GL_VERTEX_SHADER, s_szVertex}, {GL_FRAGMENT_SHADER, s_szFragment}});
    m_Filter.m_Hooker.AddPortsFromShaderMemory(uiProgram, s_szVertex, L"");
    m_Filter.m_Hooker.AddPortsFromShaderMemory(uiProgram, s_szFragment, L"");

    // One triangle that covers the whole viewport, red at every corner.
    const float positions[] = {-1.0f, -1.0f, 3.0f, -1.0f, -1.0f, 3.0f};
    const float colors[] = {0.5f, 0.25f, 1.0f, 1.0f, 0.5f, 0.25f, 1.0f, 1.0f, 0.5f, 0.25f, 1.0f, 1.0f};
    BufferObject positionBuffer, colorBuffer;
    for (auto [pBuffer, pData, uiSize] : {std::tuple{&positionBuffer, static_cast<const void*>(positions), sizeof positions},
                                          std::tuple{&colorBuffer, static_cast<const void*>(colors), sizeof colors}}) {
        glGenBuffers(1, &pBuffer->m_uiName);
        glBindBuffer(GL_ARRAY_BUFFER, pBuffer->m_uiName);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(uiSize), pData, GL_STATIC_DRAW);
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    TextureObject2D target(MakeTexture(GL_TEXTURE_2D, GL_RGBA32F, 8));
    PortHandle<SimplePortT<BufferObject>>(m_Filter.FindPort("Positions"))->SetData(&positionBuffer, true);
    PortHandle<SimplePortT<BufferObject>>(m_Filter.FindPort("Colors"))->SetData(&colorBuffer, true);
    PortHandle<SimplePortT<TextureObject2D>>(m_Filter.FindPort("Color Target"))->SetData(&target, true);
    float fGain = 2.0f;
    PortHandle<SimplePortT<float>>(m_Filter.FindPort("Gain"))->SetData(&fGain, true);

    GLuint uiFramebuffer = 0;
    glGenFramebuffers(1, &uiFramebuffer);
    const std::vector<GLenum> drawBuffers = m_Filter.m_Hooker.BindSurfaces(uiProgram, uiFramebuffer);
    EXPECT_EQ(drawBuffers, (std::vector<GLenum>{GL_NONE, GL_COLOR_ATTACHMENT1}));
    glDrawBuffers(static_cast<GLsizei>(drawBuffers.size()), drawBuffers.data());
    EXPECT_TRUE(CheckFrameBufferStatus(uiFramebuffer, nullptr));
    glViewport(0, 0, 8, 8);
    glUseProgram(uiProgram);
    m_Filter.m_Hooker.UpdateUniformVariables(uiProgram, 0);
    m_Filter.m_Hooker.BindAttributes(uiProgram);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    m_Filter.m_Hooker.UnbindAttributes(uiProgram);
    glUseProgram(0);
    m_Filter.m_Hooker.UnbindSurfaces(uiProgram, uiFramebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);

    GLint iEnabled = 1;
    glGetVertexAttribiv(3, GL_VERTEX_ATTRIB_ARRAY_ENABLED, &iEnabled);
    EXPECT_EQ(iEnabled, 0) << "attributes are disabled again";

    std::vector<float> texels(8 * 8 * 4);
    glBindTexture(GL_TEXTURE_2D, target.m_uiName);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, texels.data());
    for (std::size_t i = 0; i < 64; ++i) {
        ASSERT_FLOAT_EQ(texels[i * 4 + 0], 1.0f) << "texel " << i;
        ASSERT_FLOAT_EQ(texels[i * 4 + 1], 0.5f) << "texel " << i;
        ASSERT_FLOAT_EQ(texels[i * 4 + 2], 2.0f) << "texel " << i;
    }

    m_Filter.m_Hooker.SetOutputs();
    auto hOutput = PortHandle<SimplePortT<TextureObject2D>>(m_Filter.FindPort("Color", true));
    EXPECT_EQ(hOutput->GetData(), &target);
    EXPECT_TRUE(hOutput->HasChanged());

    m_Filter.m_Hooker.RemoveHooks(uiProgram);
    glDeleteProgram(uiProgram);
    glDeleteFramebuffers(1, &uiFramebuffer);
    positionBuffer.Release();
    colorBuffer.Release();
    target.Release();
}

TEST_F(Hooker, RebuildKeepsPortsDeclaredAgainWithTheirConnections)
{
    auto pFilter = std::make_shared<HookedFilter>(m_Core);
    auto pSource = std::make_shared<HookedFilter>(m_Core);
    PortHandle<SimplePortT<float>> hSourceOut;
    pSource->CreatePort(hSourceOut, {PortType::Output, "Out", false});

    const char* szFirst = "#version 430\nlayout(local_size_x = 1) in;\n#pragma ONDO_PORT_UNIFORM(fA,\"A\")\n"
                          "#pragma ONDO_PORT_UNIFORM(fB,\"B\")\nuniform float fA; uniform float fB;\n"
                          "layout(r32f) uniform image2D img;\nvoid main() { imageStore(img, ivec2(0), vec4(fA + fB)); }";
    const char* szSecond = "#version 430\nlayout(local_size_x = 1) in;\n#pragma ONDO_PORT_UNIFORM(fB,\"B\")\n"
                           "#pragma ONDO_PORT_UNIFORM(fC,\"C\")\nuniform float fB; uniform float fC;\n"
                           "layout(r32f) uniform image2D img;\nvoid main() { imageStore(img, ivec2(0), vec4(fB * fC)); }";
    const GLuint uiFirst = Link({{GL_COMPUTE_SHADER, szFirst}});
    pFilter->m_Hooker.AddPortsFromShaderMemory(uiFirst, szFirst, L"");
    const PortHandle<Port> hB = pFilter->FindPort("B");
    Port* pB = hB.Get();
    Scope scope("Root");
    scope.Connect(PortHandle<Port>(hSourceOut), hB);

    pFilter->m_Hooker.RemoveHooks(uiFirst);
    glDeleteProgram(uiFirst);
    const GLuint uiSecond = Link({{GL_COMPUTE_SHADER, szSecond}});
    pFilter->m_Hooker.RemoveAllShaderPorts();
    pFilter->m_Hooker.AddPortsFromShaderMemory(uiSecond, szSecond, L"");
    EXPECT_EQ(pFilter->GetNumberOfPorts(), 3u) << "A waits for the end of the rebuild";
    EXPECT_EQ(pFilter->m_Hooker.RemoveTemporaryPorts(), 1u);

    EXPECT_EQ(DescribePorts(*pFilter), (std::map<std::string, std::string>{{"B", "Ondo::FloatPort, in, optional"},
                                                                           {"C", "Ondo::FloatPort, in, optional"}}));
    EXPECT_EQ(pFilter->FindPort("B"), hB) << "B kept its index";
    EXPECT_EQ(hB.Get(), pB) << "and is the same port";
    EXPECT_TRUE(scope.IsConnected(*pB));
    EXPECT_EQ(pFilter->m_Hooker.GetHooks().size(), 2u);

    pFilter->m_Hooker.RemoveHooks(uiSecond);
    glDeleteProgram(uiSecond);
}

TEST_F(Hooker, MalformedAnnotationsNameTheLineAndFailuresAreReported)
{
    const GLuint uiProgram = Link({{GL_COMPUTE_SHADER, s_szComputeWithEveryUniform}});

    const std::vector<std::pair<std::string, std::string>> cases = {
        {"#pragma ONDO_PORT_UNIFORM(tex)", "ONDO_PORT_UNIFORM takes 1 label, not 0"},
        {"#pragma ONDO_PORT_SURFACE(o,\"T\")", "ONDO_PORT_SURFACE takes 2 labels, not 1"},
        {"#pragma ONDO_PORT_SAMPLER(tex,\"T\")", "unknown kind ONDO_PORT_SAMPLER (UNIFORM, ATTRIBUTE or SURFACE)"},
        {"#pragma ONDO_PORT_UNIFORM(tex,\"T)", "a label has no closing double quote"},
        {"#pragma ONDO_PORT_UNIFORM(tex \"T\")", "expected ',' after tex"},
        {"#pragma ONDO_PORT_UNIFORM(\"T\")", "expected a variable name first"},
        {"#pragma ONDO_PORT_UNIFORM(tex,\"T\") extra", "unexpected text after the closing parenthesis"},
    };
    for (const auto& [strLine, strWhy] : cases)
        EXPECT_EQ(OndoTest::Thrown([&] {
                      m_Filter.m_Hooker.AddPortsFromShaderMemory(uiProgram, "#version 430\n\n" + strLine + "\n", L"");
                  }),
                  "shader text:3: malformed shader port annotation \"" + strLine + "\": " + strWhy);
    EXPECT_EQ(m_Filter.GetNumberOfPorts(), 0u);

    // A program that did not link gives no ports, and says so.
    const GLuint uiBroken = Link({{GL_COMPUTE_SHADER, "#version 430\nvoid main() { undefined(); }"}}, &m_Logger);
    EXPECT_GE(m_Logger.GetMessages().size(), 2u) << "compile and link failures both reach the logger";
    m_Logger.Clear();
    m_Filter.m_Hooker.AddPortsFromShaderMemory(uiBroken, "#pragma ONDO_PORT_UNIFORM(x,\"X\")", L"");
    EXPECT_EQ(m_Filter.GetNumberOfPorts(), 0u);
    ASSERT_EQ(m_Logger.GetMessages().size(), 1u);
    EXPECT_NE(m_Logger.GetMessages()[0].find("is not linked"), std::string::npos);

    EXPECT_THROW(m_Filter.m_Hooker.AddPortsFromShaderFile(uiProgram, L"/nonexistent/shader.comp", L""),
                 Ondo::ExceptionFileMissing);
    glDeleteProgram(uiProgram);
    glDeleteProgram(uiBroken);
}

TEST_F(Hooker, SerializeRecordsThePortsAndReportsOnesThatWentMissing)
{
    const GLuint uiProgram = Link({{GL_VERTEX_SHADER, s_szVertex}, {GL_FRAGMENT_SHADER, s_szFragment}});
    m_Filter.m_Hooker.AddPortsFromShaderMemory(uiProgram, s_szFragment, L"");

    TiXmlDocument document;
    TiXmlElement* pRoot = document.LinkEndChild(new TiXmlElement("Filter"))->ToElement();
    Serialization::SaveInfo info;
    for (const auto& hPort : m_Filter.GetPortHandles()) info.AddPort(hPort);
    Serialization::Serializer writer(&document, pRoot, &info);
    m_Filter.m_Hooker.Serialize(writer);
    TiXmlPrinter printer;
    printer.SetStreamPrinting();
    document.Accept(&printer);
    EXPECT_EQ(std::string(printer.CStr()),
              "<Filter><ShaderPorts>"
              "<STL_Item><Port><strLabel value=\"Color Target\" /><strClass value=\"Ondo::OpenGL::TexturePort2D\" />"
              "<hPort PortID=\"0\" /></Port></STL_Item>"
              "<STL_Item><Port><strLabel value=\"Color\" /><strClass value=\"Ondo::OpenGL::TexturePort2D\" />"
              "<hPort PortID=\"1\" /></Port></STL_Item>"
              "<STL_Item><Port><strLabel value=\"Gain\" /><strClass value=\"Ondo::FloatPort\" />"
              "<hPort PortID=\"2\" /></Port></STL_Item>"
              "</ShaderPorts></Filter>");

    // The shader no longer declares the gain.
    m_Filter.m_Hooker.RemoveAllShaderPorts();
    m_Filter.m_Hooker.AddPortsFromShaderMemory(uiProgram, "#pragma ONDO_PORT_SURFACE(oColor,\"Color Target\",\"Color\")",
                                             L"");
    m_Filter.m_Hooker.RemoveTemporaryPorts();
    Serialization::Serializer reader(nullptr, pRoot, &info);
    m_Filter.m_Hooker.Serialize(reader);
    EXPECT_EQ(m_Logger.GetMessages(), (std::vector<std::string>{"Hooked: the graph names the shader port \"Gain\" "
                                                              "(Ondo::FloatPort), which the shaders no longer declare\n"}));
    m_Filter.m_Hooker.RemoveHooks(uiProgram);
    glDeleteProgram(uiProgram);
}
