#pragma once

#include <string>

namespace Prismvale {

// The directory of the executable named by a command line: the text between
// the first and second double quote (to the end when there is no second one;
// the whole line when there is no quote), without its last path element.
// "." when the path holds no '/'.
std::wstring ExecutableDirectoryFromCommandLine(const std::wstring& strCommandLine);

// Where shader files are found: the executable's directory, "/", then
// "../../". Shader paths such as "Content/Shader/TextureAdd/TextureAdd.comp"
// are appended to it.
std::wstring GetShaderRoot();

} // namespace Prismvale
