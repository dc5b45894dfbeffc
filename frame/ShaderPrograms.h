#pragma once

#include <GL/glew.h>

#include <initializer_list>
#include <string>
#include <utility>

namespace Prismvale {

// The full path of a shader file: shader root + "Content/Shader/" + the
// path relative to it, e.g. L"TextureAdd/TextureAdd.comp".
std::wstring ShaderPath(const std::wstring& strRelative);

// Builds a program from shader files, as every shader-driven filter does:
// each stage is compiled from its full path (no logger) and checked, the
// program is linked from them and checked. Failures are reported by the
// checks and not acted upon: the program name is returned all the same.
// strExtra (defines, usually) goes into every stage after its #version line.
//
// Filters that build the same text in the same context share one program
// (see Ondo::OpenGL::AcquireProgram), so a filter sets every uniform it uses
// before each use; one that keeps uniform values in its program between
// runs asks for its own. Either kind is given back with ReleaseProgram.
enum class ProgramSharing { Shared, Own };
GLuint BuildProgram(std::initializer_list<std::pair<GLenum, std::wstring>> stages,
                    const std::wstring& strExtra = std::wstring(), ProgramSharing eSharing = ProgramSharing::Shared);
void ReleaseProgram(GLuint uiProgram);

// Work groups of 16 along one dimension: size / 16, rounded up.
inline GLuint GroupCount16(int iSize) { return iSize <= 0 ? 0u : (static_cast<GLuint>(iSize) >> 4) + ((iSize & 15) ? 1u : 0u); }

} // namespace Prismvale
