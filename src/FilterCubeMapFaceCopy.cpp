#include "src/FilterCubeMapFaceCopy.h"

#include "frame/DescriptorList.h"

#include "Ondo/FlowGraph/Serializer.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace Prismvale {

// What a face view is made from: level 0 of a cube map's +X face (all faces
// share it), whether the storage is immutable, and the swizzle.
struct CubeFaceStorage {
    GLint m_iFormat = -1;
    GLint m_iSize = 0;
    bool m_bImmutable = false;
    GLint m_Swizzle[4] = {GL_RED, GL_GREEN, GL_BLUE, GL_ALPHA};
};

namespace {
const FilterRegistration<FilterCubeMapFaceCopy> s_Registration("OpenGL.CubeMapFaceCopy", "src\\FilterCubeMapFaceCopy",
                                                               "Copy a texture from a cubemap face to a 2D texture with resampling",
                                                               "OpenGL;Texture;CubeMap;Copy;Resample");

CubeFaceStorage StorageOf(GLuint uiCube)
{
    CubeFaceStorage storage;
    glBindTexture(GL_TEXTURE_CUBE_MAP, uiCube);
    glGetTexLevelParameteriv(GL_TEXTURE_CUBE_MAP_POSITIVE_X, 0, GL_TEXTURE_INTERNAL_FORMAT, &storage.m_iFormat);
    glGetTexLevelParameteriv(GL_TEXTURE_CUBE_MAP_POSITIVE_X, 0, GL_TEXTURE_WIDTH, &storage.m_iSize);
    GLint iImmutable = GL_FALSE;
    glGetTexParameteriv(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_IMMUTABLE_FORMAT, &iImmutable);
    storage.m_bImmutable = iImmutable == GL_TRUE;
    glGetTexParameteriv(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_SWIZZLE_RGBA, storage.m_Swizzle);
    glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
    return storage;
}
} // namespace

FilterCubeMapFaceCopy::FilterCubeMapFaceCopy(Ondo::Core& core, const std::string& strName)
    : BaseFilter(core, strName, strName),
      m_Pass(*this, L"CubeMapFaceCopy/CubeMapFaceCopy.comp", {"invFrame"},
             SampledComputePass::DefaultSampler::RepeatMipmapped)
{
}

void FilterCubeMapFaceCopy::CreatePorts()
{
    using Ondo::FlowGraph::PortType;
    CreatePort(hTextureIn, {PortType::Input, "Texture In", false});
    CreatePort(hTargetTexture, {PortType::Input, "Target Texture", false});
    CreatePort(hSamplerState, {PortType::Input, "Sampler State", true});
    CreatePort(hFaceIndex, {PortType::Input, "Face Index", true});
    CreatePort(hTextureOut, {PortType::Output, "Resampled", false});
}

void FilterCubeMapFaceCopy::Serialize(Ondo::FlowGraph::Serialization::Serializer& serializer)
{
    serializer.Serialize("hTextureIn", hTextureIn);
    serializer.Serialize("hTargetTexture", hTargetTexture);
    serializer.Serialize("hFaceIndex", hFaceIndex);
    serializer.Serialize("hSamplerState", hSamplerState);
    serializer.Serialize("hTextureOut", hTextureOut);
}

void FilterCubeMapFaceCopy::InitResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&) { m_Pass.Build(); }

// The face index the view was made for stays: the next pass makes a view
// again in any case, as there is none.
void FilterCubeMapFaceCopy::ReleaseResources(Ondo::OpenGL::Device&, Ondo::OpenGL::Context&)
{
    m_Pass.Release();
    DeleteFaceView();
}

void FilterCubeMapFaceCopy::DeleteFaceView()
{
    if (m_uiFaceView != 0) glDeleteTextures(1, &m_uiFaceView);
    m_uiFaceView = 0;
    m_uiViewSource = 0;
}

void FilterCubeMapFaceCopy::Process(Ondo::FlowGraph::ScopeExecuter&)
{
    Ondo::OpenGL::TextureObject2D* pTarget = hTargetTexture->GetData();
    const Ondo::OpenGL::TextureObjectCube* pCube = hTextureIn->GetData();
    const int* pFace = hFaceIndex->GetData();
    const GLint iFace = pFace ? *pFace : 0;
    Ondo::OpenGL::TextureObject2D view;
    if (pCube && pCube->m_uiName != 0 && pTarget) {
        // A view shows the cube map it was made of, even once another one
        // arrives or that one is deleted: it is made again for those too,
        // and a copy for a mutable cube map whose storage was redefined.
        const CubeFaceStorage storage = StorageOf(pCube->m_uiName);
        if (iFace != m_iFaceOfView || m_uiFaceView == 0 || pCube->m_uiName != m_uiViewSource ||
            (m_bViewIsCopy && (storage.m_iFormat != m_iViewFormat || storage.m_iSize != m_iViewSize))) {
            RebuildFaceView(*pCube, storage, iFace);
            m_iFaceOfView = iFace;
        }
        if (m_bViewIsCopy)
            glCopyImageSubData(m_uiViewSource, GL_TEXTURE_CUBE_MAP, 0, 0, 0, m_iViewLayer, m_uiFaceView, GL_TEXTURE_2D,
                               0, 0, 0, 0, m_iViewSize, m_iViewSize, 1);
        view.m_uiName = m_uiFaceView;
    }
    const auto fnUniforms = [](const ComputeProgram& program, const Ondo::Vector2i& size) {
        const GLfloat invFrame[2] = {1.0f / static_cast<float>(size.x()), 1.0f / static_cast<float>(size.y())};
        glProgramUniform2fv(program.m_uiName, program.Location(0), 1, invFrame);
    };
    if (m_Pass.Run(view.m_uiName != 0 ? &view : nullptr, pTarget, hSamplerState->GetData(), fnUniforms))
        hTextureOut->SetData(pTarget, true);
}

// A view of level 0 of the clamped face, in the cube map's own format and
// with its swizzle (a grey cube map stays grey). The face of a mutable cube
// map, of which the GL makes no view, goes into a one-level 2D texture of the
// same format instead, which Process fills.
void FilterCubeMapFaceCopy::RebuildFaceView(const Ondo::OpenGL::TextureObjectCube& cube, const CubeFaceStorage& storage,
                                            int iFace)
{
    DeleteFaceView();
    const GLint iLayer = std::clamp(iFace, 0, 5);
    if (storage.m_iSize <= 0)
        throw std::runtime_error("\"Texture In\" (cube map " + std::to_string(cube.m_uiName) +
                                 ") has no level 0 to copy a face from");
    const GLint iSize = storage.m_iSize;
    const GLint iFormat = storage.m_iFormat;
    const bool bImmutable = storage.m_bImmutable;

    glGenTextures(1, &m_uiFaceView);
    if (bImmutable) {
        glTextureView(m_uiFaceView, GL_TEXTURE_2D, cube.m_uiName, static_cast<GLenum>(iFormat), 0, 1,
                      static_cast<GLuint>(iLayer), 1);
        glBindTexture(GL_TEXTURE_2D, m_uiFaceView);
    } else {
        glBindTexture(GL_TEXTURE_2D, m_uiFaceView);
        glTexStorage2D(GL_TEXTURE_2D, 1, static_cast<GLenum>(iFormat), iSize, iSize);
    }
    glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, storage.m_Swizzle);
    glBindTexture(GL_TEXTURE_2D, 0);
    m_uiViewSource = cube.m_uiName;
    m_iViewLayer = iLayer;
    m_iViewFormat = iFormat;
    m_iViewSize = iSize;
    m_bViewIsCopy = !bImmutable;
}

} // namespace Prismvale
