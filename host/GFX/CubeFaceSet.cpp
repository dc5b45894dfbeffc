// A cube map made of six face images: a ".cube" text file lists them (see
// docs/image-files.md) and each face is read through the loader's other
// readers. Faces must be square and agree in size, format and level count.

#include "host/GFX/ImageReaders.h"

#include "Ondo/StringConversion.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <memory>

namespace Ondo::GFX {

namespace {

const char* const s_FaceKeys[6] = {"posx", "negx", "posy", "negy", "posz", "negz"};
const char* const s_FaceNames[6] = {"+X", "-X", "+Y", "-Y", "+Z", "-Z"};

std::string Trimmed(std::string str)
{
    const auto IsSpace = [](unsigned char c) { return std::isspace(c) != 0; };
    str.erase(str.begin(), std::find_if_not(str.begin(), str.end(), IsSpace));
    str.erase(std::find_if_not(str.rbegin(), str.rend(), IsSpace).base(), str.end());
    return str;
}

std::string Lowered(std::string str)
{
    for (char& c : str) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return str;
}

// The six face file names in the order +X, -X, +Y, -Y, +Z, -Z: either six
// "key = file" lines or six bare names in that order.
std::vector<std::string> FaceNames(const std::uint8_t* pData, std::size_t uiSize)
{
    if (uiSize > 65536) Refuse("it is too long for a list of six faces (" + std::to_string(uiSize) + " bytes)");
    if (std::find(pData, pData + uiSize, '\0') != pData + uiSize) Refuse("it is no text (it holds zero bytes)");
    std::vector<std::string> named(6), listed;
    std::size_t uiStart = 0;
    while (uiStart < uiSize) {
        const std::uint8_t* pEnd = std::find(pData + uiStart, pData + uiSize, '\n');
        const std::string strLine = Trimmed(std::string(pData + uiStart, pEnd));
        uiStart = static_cast<std::size_t>(pEnd - pData) + 1;
        if (strLine.empty() || strLine[0] == '#') continue;
        if (strLine.rfind("LUT_", 0) == 0 || strLine.rfind("TITLE", 0) == 0)
            Refuse("it is a colour look-up table (\"" + strLine.substr(0, 40) + "\"), not a list of cube faces");
        const std::size_t uiEquals = strLine.find('=');
        if (uiEquals == std::string::npos) {
            listed.push_back(strLine);
            continue;
        }
        const std::string strKey = Lowered(Trimmed(strLine.substr(0, uiEquals)));
        const auto it = std::find(std::begin(s_FaceKeys), std::end(s_FaceKeys), strKey);
        if (it == std::end(s_FaceKeys))
            Refuse("\"" + strKey + "\" is no face (posx, negx, posy, negy, posz, negz)");
        std::string& strName = named[static_cast<std::size_t>(it - std::begin(s_FaceKeys))];
        if (!strName.empty()) Refuse("face " + strKey + " is given twice");
        strName = Trimmed(strLine.substr(uiEquals + 1));
        if (strName.empty()) Refuse("face " + strKey + " names no file");
    }
    const auto uiNamed = static_cast<std::size_t>(std::count_if(named.begin(), named.end(), [](const std::string& s) { return !s.empty(); }));
    if (uiNamed > 0 && !listed.empty()) Refuse("it mixes \"key = file\" lines and bare file names");
    if (uiNamed > 0) {
        for (std::size_t i = 0; i < 6; ++i)
            if (named[i].empty()) Refuse(std::string("face ") + s_FaceKeys[i] + " is missing; a cube map needs all six");
        return named;
    }
    if (listed.size() != 6) Refuse("it lists " + std::to_string(listed.size()) + " files, a cube map needs six");
    return listed;
}

std::unique_ptr<ImageData> ReadCubeFaceSet(const std::uint8_t* pData, std::size_t uiSize,
                                           const ImageLoader::ReadContext& context)
{
    const std::vector<std::string> names = FaceNames(pData, uiSize);
    const std::filesystem::path folder = std::filesystem::path(WideToUtf8(context.m_strPath)).parent_path();

    std::unique_ptr<ImageData> faces[6];
    for (std::size_t i = 0; i < 6; ++i) {
        const std::string strFace = std::string("face ") + s_FaceNames[i] + " (" + names[i] + ")";
        if (Lowered(std::filesystem::path(names[i]).extension().string()) == ".cube")
            Refuse(strFace + " is itself a list of faces");
        try {
            faces[i] = context.m_Loader.Decode(Utf8ToWide((folder / names[i]).string()));
        } catch (const std::exception& error) {
            Refuse(strFace + ": " + error.what());
        }
        const ImageData& face = *faces[i];
        const ImageData& first = *faces[0];
        if (face.GetNumFaces() != 1 || face.GetDepth() != 1) Refuse(strFace + " is no two-dimensional image");
        if (face.m_uiWidth != face.m_uiHeight)
            Refuse(strFace + " is " + std::to_string(face.m_uiWidth) + " x " + std::to_string(face.m_uiHeight) +
                   ", not square");
        if (face.m_uiWidth != first.m_uiWidth || face.m_iImageFormat != first.m_iImageFormat ||
            face.GetNumMipMaps() != first.GetNumMipMaps())
            Refuse(strFace + " is " + std::to_string(face.m_uiWidth) + " x " + std::to_string(face.m_uiHeight) + " " +
                   GetImageFormatDescription(face.m_iImageFormat).m_szName + " with " +
                   std::to_string(face.GetNumMipMaps()) + " levels, face +X " + std::to_string(first.m_uiWidth) +
                   " x " + std::to_string(first.m_uiHeight) + " " +
                   GetImageFormatDescription(first.m_iImageFormat).m_szName + " with " +
                   std::to_string(first.GetNumMipMaps()) + ": the faces must agree");
    }

    auto pCube = std::make_unique<ImageData>(*faces[0]);
    ImageData& cube = *pCube;
    cube.m_uiNumFaces = 6;
    cube.m_Pixels.clear();
    const std::size_t uiFaceBytes = faces[0]->GetRequiredSize();
    cube.m_Pixels.reserve(CheckImageSize(cube));
    for (const auto& pFace : faces)
        cube.m_Pixels.insert(cube.m_Pixels.end(), pFace->m_Pixels.begin(), pFace->m_Pixels.begin() + static_cast<std::ptrdiff_t>(uiFaceBytes));
    // The readers give 2D pictures bottom-up; cube faces are top-down (see
    // ImageData).
    FlipAllRows(cube);
    return pCube;
}

} // namespace

void RegisterCubeFaceSetReader(ImageLoader& loader) { loader.RegisterPathReader(L"cube", ReadCubeFaceSet); }

} // namespace Ondo::GFX
