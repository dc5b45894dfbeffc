#pragma once

#include "frame/ImageUnitFormat.h"

#include "Ondo/OpenGL/GLSLShaderPortHooker.h"
#include "Ondo/OpenGL/GPUObjects.h"
#include "Ondo/Vector.h"

#include <GL/glew.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace Ondo::OpenGL {
class BaseFilter;
}

namespace Prismvale {

// Which target textures a member can write: float and normalised ones only
// (its arithmetic is on colours), or integer ones as well (its shader then
// reads integer inputs and writes integer texels).
enum class TargetKinds { FloatOnly, Any };

// One build of a compute shader file: the program and the locations of the
// uniforms the filter addresses by name (-1 where the program has none).
struct ComputeProgram {
    GLuint m_uiName = 0;
    std::vector<GLint> m_Locations;

    GLint Location(std::size_t i) const { return m_Locations.at(i); }
};

// The builds of one compute shader file, one per kind of target texel. A
// target is bound to its image unit in its own format, and an image variable
// must match the kind of that format (image2D, iimage2D, uimage2D), so a
// shader that writes integer targets is compiled once per kind, with
// TARGET_KIND_INT or TARGET_KIND_UINT defined right after its #version line;
// the float build is made by Build, the integer ones on first use.
//
// A filter that writes its shader text itself sets it with SetSource: the
// builds then compile that text from memory instead of the file.
class ComputePrograms {
public:
    ComputePrograms(std::wstring strShader, std::vector<std::string> uniformNames, TargetKinds eKinds);

    const std::wstring& GetPath() const { return m_strPath; }
    void SetSource(std::string strSource) { m_strSource = std::move(strSource); }
    const std::string& GetSource() const { return m_strSource; }

    // The float build.
    const ComputeProgram& Build();
    // The image-unit format of a target of the given internal format and the
    // build that writes it (made now when bMade comes back true). Throws
    // std::runtime_error naming "Target Texture" and the format when the
    // target cannot be written, or is an integer one and the member computes
    // on colours only; nothing of the GL is touched then.
    const ComputeProgram& ForTarget(GLenum eTargetFormat, ImageUnitFormat& unit, bool& bMade);
    // Deletes every build and the integer sampler; fnUnhook sees each
    // program before it goes.
    void Release(const std::function<void(GLuint)>& fnUnhook = {});
    // The float build, for the pass helpers' owners; 0 before Build.
    GLuint GetFloatProgram() const { return m_Programs[0].m_uiName; }
    // A sampler with nearest filtering, made with the first integer build:
    // integer textures are complete only with nearest filtering (with the
    // default filters every fetch from them gives zero), and texel fetches
    // ignore the rest of a sampler.
    GLuint GetIntegerSampler() const { return m_uiIntegerSampler; }

private:
    const ComputeProgram& Make(TexelKind eKind);

    std::wstring m_strPath;
    std::string m_strSource; // the shader text, when it comes from memory
    std::vector<std::string> m_UniformNames;
    TargetKinds m_eKinds;
    std::array<ComputeProgram, 3> m_Programs; // by TexelKind
    GLuint m_uiIntegerSampler = 0;
};

// After a dispatch: the image stores become visible to every later reader of
// the target, whether it fetches texels (texelFetch, texture), loads images,
// reads it as a framebuffer attachment, updates it or reads it back.
void MakeImageStoresVisible();

// Refuses a texture input whose texels are not of the kind the program reads
// it as (a plain sampler reads float or normalised texels, isampler signed
// and usampler unsigned integers; anything else reads undefined values). The
// message names the input and both formats. 2D and 3D textures.
void RequireInputKind(const std::string& strLabel, const Ondo::OpenGL::TextureObject* pTexture, TexelKind eRead,
                      const ImageUnitFormat& target);

// What the image filters that write their target texture with one compute
// dispatch share: a program built from a shader file under the shader root,
// 16 x 16 work groups over the target, the target bound in its own format,
// barriers that make the result visible to whatever reads it next.
//
// The hooked kind also owns the port hooker that turns the shader's annotated
// inputs into ports of the filter; the target is written through an image
// unit: 2, the first one after the hooker's units, 1, or 5 (after five fixed
// texture inputs on units 0 to 4). A filter that
// writes its shader text at run time gives no file (an empty path) and builds
// with BuildFromMemory instead of Build.
class HookedComputePass {
public:
    enum class TargetUnit { Two, NextFree, One, Five };
    using ProgramStep = std::function<void(const ComputeProgram&)>;

    HookedComputePass(Ondo::OpenGL::BaseFilter& owner, std::wstring strShader, TargetUnit eUnit,
                      std::vector<std::string> uniformNames = {}, TargetKinds eKinds = TargetKinds::FloatOnly);

    // Builds the float program and makes the shader's ports anew from the file.
    void Build();
    // Unhooks and deletes every program, then builds the float program from
    // the text and makes the ports the text declares anew (ports it no longer
    // declares go once the owner's InitResources or Process is over).
    //
    // The compiler drops an input that a text declares but does not read, and
    // with it the hooker would drop its port, and the port's connections. A
    // text that may leave a declared input unread comes with strDeclaring, a
    // text that reads every input it declares: the ports are made from a
    // program of that text, which is deleted at once, so they stay while
    // nothing is hooked to the pass's program.
    void BuildFromMemory(std::string strSource, const std::string& strDeclaring = std::string());
    // Unhooks and deletes every program; nothing when there is none.
    void Release();

    GLuint GetProgram() const { return m_Programs.GetFloatProgram(); }
    Ondo::OpenGL::GLSLShaderPortHooker& GetHooker() { return m_ShaderHelper; }

    // One pass over the target with the program for its format. fnAfterUse
    // runs right after glUseProgram, fnAfterBinding once the target is bound,
    // before the dispatch. Returns false, and does nothing, when the target
    // holds no texture (the owner's core logger is told); throws, before any
    // GL state changes, when the target or a shader-declared texture input
    // has a format the program cannot write or read.
    bool Run(Ondo::OpenGL::TextureObject2D* pTarget, const ProgramStep& fnAfterUse = {},
             const ProgramStep& fnAfterBinding = {});

private:
    // Hooks the ports the program's shader declares, from the file or the text.
    void AddPorts(GLuint uiProgram);

    Ondo::OpenGL::BaseFilter& m_Owner;
    TargetUnit m_eUnit;
    ComputePrograms m_Programs;
    Ondo::OpenGL::GLSLShaderPortHooker m_ShaderHelper;
};

// Tells the owner's core logger that a required texture input holds no
// texture, so the pass was skipped.
void ReportMissingTexture(const Ondo::OpenGL::BaseFilter& owner, const std::string& strLabel);

} // namespace Prismvale
