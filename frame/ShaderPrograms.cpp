#include "frame/ShaderPrograms.h"

#include "frame/ShaderRoot.h"

#include "Ondo/OpenGL/ShaderCompiler.h"

#include <vector>

namespace Prismvale {

std::wstring ShaderPath(const std::wstring& strRelative) { return GetShaderRoot() + L"Content/Shader/" + strRelative; }

GLuint BuildProgram(std::initializer_list<std::pair<GLenum, std::wstring>> stages, const std::wstring& strExtra,
                    ProgramSharing eSharing)
{
    if (eSharing == ProgramSharing::Shared) {
        std::vector<Ondo::OpenGL::ProgramStage> files;
        for (const auto& stage : stages) files.push_back({stage.first, stage.second});
        return Ondo::OpenGL::AcquireProgram(files, strExtra);
    }
    Ondo::OpenGL::ShaderCompiler compiler(nullptr);
    const GLuint uiProgram = glCreateProgram();
    for (const auto& stage : stages) {
        const GLuint uiShader = compiler.Create(stage.first, stage.second, strExtra);
        if (uiShader == 0) continue;
        glAttachShader(uiProgram, uiShader);
        // The program keeps the shader alive while it is attached.
        glDeleteShader(uiShader);
    }
    compiler.Check();
    glLinkProgram(uiProgram);
    Ondo::OpenGL::CheckProgram(uiProgram, nullptr);
    return uiProgram;
}

void ReleaseProgram(GLuint uiProgram) { Ondo::OpenGL::ReleaseProgram(uiProgram); }

} // namespace Prismvale
