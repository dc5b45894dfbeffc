#pragma once

// Small helpers the host suites share.

#include "Ondo/OpenGL/ShaderCompiler.h"

#include <GL/glew.h>

#include <fstream>
#include <initializer_list>
#include <iterator>
#include <stdexcept>
#include <string>
#include <utility>

namespace OndoTest {

// The message of the E (or a class derived from it) that fn throws, or
// "(nothing thrown)" when it returns.
template <class E = std::runtime_error, class F>
std::string Thrown(F&& fn)
{
    try {
        fn();
    } catch (const E& error) {
        return error.what();
    }
    return "(nothing thrown)";
}

// The whole content of a file, read as bytes.
inline std::string ReadFile(const std::string& strPath)
{
    std::ifstream stream(strPath, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

// A program linked from stages compiled from memory; what fails goes to pLogger.
inline GLuint Link(std::initializer_list<std::pair<GLenum, std::string>> stages,
                   Ondo::LoggerInterface* pLogger = nullptr)
{
    Ondo::OpenGL::ShaderCompiler compiler(pLogger);
    const GLuint uiProgram = glCreateProgram();
    for (const auto& stage : stages) {
        const GLuint uiShader = compiler.CreateFromMemory(stage.first, stage.second, L"test shader");
        glAttachShader(uiProgram, uiShader);
        glDeleteShader(uiShader);
    }
    compiler.Check();
    glLinkProgram(uiProgram);
    Ondo::OpenGL::CheckProgram(uiProgram, pLogger);
    return uiProgram;
}

} // namespace OndoTest
