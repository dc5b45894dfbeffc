#include "host/OpenGL/ShaderFiles.h"

#include <utility>

namespace Ondo::OpenGL {

namespace {

std::function<void(const ShaderFileUse&)>& Listener()
{
    static std::function<void(const ShaderFileUse&)> s_fnListener;
    return s_fnListener;
}

thread_local const void* t_pCurrentUser = nullptr;

} // namespace

void SetShaderFileListener(std::function<void(const ShaderFileUse&)> fnListener) { Listener() = std::move(fnListener); }

ShaderUser::ShaderUser(const void* pUser) : m_pPrevious(t_pCurrentUser) { t_pCurrentUser = pUser; }

ShaderUser::~ShaderUser() { t_pCurrentUser = m_pPrevious; }

const void* ShaderUser::GetCurrent() { return t_pCurrentUser; }

void ReportShaderFile(GLenum eStage, const std::wstring& strPath, const std::wstring& strExtra)
{
    const auto& fnListener = Listener();
    if (fnListener) fnListener({t_pCurrentUser, eStage, strPath, strExtra});
}

} // namespace Ondo::OpenGL
