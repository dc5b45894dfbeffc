// Volumes as medical and scientific software writes them: MetaImage (.mhd
// with a separate data file, .mha in one file, raw or zlib-compressed), VTK
// XML image data (.vti, ASCII or raw appended data) and NIfTI-1 (.nii, and
// gzip-compressed .nii.gz). Every file gives a one-channel volume whose
// voxels keep their stored type: 8- and 16-bit integers become R8I, R8UI,
// R16I or R16UI textures, 32-bit ones R32I or R32UI (shaders read them with
// isampler3D / usampler3D and texelFetch), 32-bit floats R32F. Voxel (i, j,
// k) of the file is texel (i, j, k): slices follow the file's third axis and
// rows its second, as they are stored.

#include "host/GFX/ImageReaders.h"

#include "Ondo/File.h"
#include "Ondo/StringConversion.h"
#include "host/XmlText.h"

#include <tinyxml.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <limits>
#include <memory>
#include <sstream>

namespace Ondo::GFX {

namespace {

// A voxel type under its names in the three formats (NIfTI's datatype code).
struct VoxelName {
    const char* m_szMeta;
    const char* m_szVTK;
    int m_iNIfTI;
    VoxelType m_Type;
    double m_dLowest, m_dHighest;
};
const VoxelName s_Voxels[] = {
    {"MET_UCHAR", "UInt8", 2, {FormatR8UI, ComponentUInt8, 1}, 0, 255},
    {"MET_CHAR", "Int8", 256, {FormatR8I, ComponentInt8, 1}, -128, 127},
    {"MET_USHORT", "UInt16", 512, {FormatR16UI, ComponentUInt16, 2}, 0, 65535},
    {"MET_SHORT", "Int16", 4, {FormatR16I, ComponentInt16, 2}, -32768, 32767},
    {"MET_UINT", "UInt32", 768, {FormatR32UI, ComponentUInt32, 4}, 0, 4294967295.0},
    {"MET_INT", "Int32", 8, {FormatR32I, ComponentInt32, 4}, -2147483648.0, 2147483647},
    {"MET_FLOAT", "Float32", 16, {FormatR32F, ComponentFloat32, 4}, -3.4028234663852886e38, 3.4028234663852886e38},
};

template <class Match>
const VoxelName& FindVoxel(Match match, const std::string& strWhat)
{
    const auto it = std::find_if(std::begin(s_Voxels), std::end(s_Voxels), match);
    if (it == std::end(s_Voxels))
        Refuse("its voxel type " + strWhat +
               " is not read (8-, 16- and 32-bit integers and 32-bit floats are)");
    return *it;
}

std::string Trim(const std::string& str)
{
    const auto IsSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    const auto first = std::find_if_not(str.begin(), str.end(), IsSpace);
    const auto last = std::find_if_not(str.rbegin(), str.rend(), IsSpace).base();
    return first < last ? std::string(first, last) : std::string();
}

// Whole numbers of a header field, each in [lowest, highest].
std::vector<long long> Numbers(const std::string& strText, const std::string& strField, long long llLowest,
                               long long llHighest)
{
    std::vector<long long> values;
    std::istringstream stream(strText);
    std::string strWord;
    while (stream >> strWord) {
        char* pEnd = nullptr;
        errno = 0;
        const long long llValue = std::strtoll(strWord.c_str(), &pEnd, 10);
        if (*pEnd != '\0' || errno != 0 || llValue < llLowest || llValue > llHighest)
            Refuse(strField + " \"" + strText + "\" is not a list of whole numbers from " + std::to_string(llLowest) +
                   " to " + std::to_string(llHighest));
        values.push_back(llValue);
    }
    return values;
}

// The one whole number of a header field, in [lowest, highest].
long long Number(const std::string& strText, const std::string& strField, long long llLowest, long long llHighest)
{
    const std::vector<long long> values = Numbers(strText, strField, llLowest, llHighest);
    if (values.size() != 1) Refuse(strField + " \"" + strText + "\" is not one whole number");
    return values[0];
}

// The voxels of a volume from bytes in the file's byte order.
void FillVoxels(ImageData& image, const std::uint8_t* pVoxels, bool bBigEndian)
{
    image.m_Pixels.assign(pVoxels, pVoxels + image.GetRequiredSize());
    if (bBigEndian) SwapWords(image.m_Pixels.data(), image.m_Pixels.size(), image.m_uiPixelSize);
}

// Refuses a compressed stream that could not unpack to the bytes a header
// claims: zlib turns one byte into at most about 1032.
void CheckCompressionRatio(std::size_t uiCompressed, std::size_t uiClaimed, const char* szWhat)
{
    if (uiClaimed / 1032 > uiCompressed + 64)
        Refuse(std::string(szWhat) + ": " + std::to_string(uiCompressed) + " compressed bytes cannot hold the " +
               std::to_string(uiClaimed) + " its header claims");
}

// --- MetaImage

std::unique_ptr<ImageData> ReadMetaImage(const std::uint8_t* pData, std::size_t uiSize,
                                         const ImageLoader::ReadContext& context)
{
    // "Key = Value" lines; ElementDataFile is the last and names the data.
    std::vector<std::pair<std::string, std::string>> fields;
    std::size_t uiPosition = 0;
    std::string strDataFile;
    while (strDataFile.empty()) {
        if (uiPosition >= uiSize) Refuse("its header has no ElementDataFile line");
        const std::uint8_t* pEnd = std::find(pData + uiPosition, pData + uiSize, '\n');
        const std::string strLine(pData + uiPosition, pEnd);
        uiPosition = static_cast<std::size_t>(pEnd - pData) + 1;
        if (Trim(strLine).empty()) continue;
        const std::size_t uiEquals = strLine.find('=');
        if (uiEquals == std::string::npos) Refuse("its header line \"" + Trim(strLine).substr(0, 80) + "\" has no '='");
        fields.emplace_back(Trim(strLine.substr(0, uiEquals)), Trim(strLine.substr(uiEquals + 1)));
        if (fields.back().first == "ElementDataFile") strDataFile = fields.back().second;
    }
    const auto Field = [&](const char* szKey, const char* szDefault) {
        for (const auto& [strKey, strValue] : fields)
            if (strKey == szKey) return strValue;
        if (!szDefault) Refuse(std::string("its header has no ") + szKey + " field");
        return std::string(szDefault);
    };
    const auto Flag = [&](const char* szKey, const char* szAlias) {
        std::string strValue = Field(szKey, "");
        if (strValue.empty()) strValue = Field(szAlias, "False");
        if (strValue != "True" && strValue != "False" && strValue != "true" && strValue != "false")
            Refuse(std::string(szKey) + " \"" + strValue + "\" is neither True nor False");
        return strValue[0] == 'T' || strValue[0] == 't';
    };

    const long long llDims = Number(Field("NDims", nullptr), "NDims", 2, 3);
    const std::vector<long long> dims = Numbers(Field("DimSize", nullptr), "DimSize", 1, 65536);
    if (dims.size() != static_cast<std::size_t>(llDims))
        Refuse("DimSize \"" + Field("DimSize", nullptr) + "\" does not give NDims sizes");
    if (Number(Field("ElementNumberOfChannels", "1"), "ElementNumberOfChannels", 1, 1024) != 1)
        Refuse("its voxels have " + Field("ElementNumberOfChannels", "1") + " channels; one is read");
    if (!Field("BinaryData", "").empty() && !Flag("BinaryData", "BinaryData"))
        Refuse("its voxels are written as text (BinaryData = False); binary data is read");
    const std::string strType = Field("ElementType", nullptr);
    const VoxelName& voxel = FindVoxel([&](const VoxelName& v) { return strType == v.m_szMeta; }, strType);
    const bool bBigEndian = Flag("ElementByteOrderMSB", "BinaryDataByteOrderMSB");
    const bool bCompressed = Flag("CompressedData", "CompressedData");

    ImageData image = MakeVolume(voxel.m_Type, static_cast<std::uint32_t>(dims[0]), static_cast<std::uint32_t>(dims[1]),
                                 dims.size() > 2 ? static_cast<std::uint32_t>(dims[2]) : 1);
    const std::size_t uiBytes = image.GetRequiredSize();

    // The data: after the header in this file, or in the file it names,
    // which lies next to this one.
    File dataFile;
    ByteView data(pData + uiPosition, uiPosition <= uiSize ? uiSize - uiPosition : 0);
    if (strDataFile != "LOCAL") {
        if (strDataFile == "LIST" || strDataFile.find('%') != std::string::npos)
            Refuse("its data is spread over several files (ElementDataFile " + strDataFile + "); one file is read");
        const std::filesystem::path path =
            std::filesystem::path(WideToUtf8(context.m_strPath)).parent_path() / strDataFile;
        try {
            dataFile.Load(Utf8ToWide(path.string()));
        } catch (const std::exception& error) {
            Refuse("its data file " + strDataFile + " cannot be read: " + error.what());
        }
        data = ByteView(reinterpret_cast<const std::uint8_t*>(dataFile.GetData()), dataFile.GetSize());
        // HeaderSize bytes precede the voxels; -1 puts them at the end.
        const long long llSkip = Number(Field("HeaderSize", "0"), "HeaderSize", -1, std::numeric_limits<std::int32_t>::max());
        if (llSkip < 0 && bCompressed)
            Refuse("HeaderSize -1 (voxels at the end) cannot be told for compressed data");
        if (llSkip != 0) {
            const std::size_t uiSkip = llSkip < 0 ? (data.Size() >= uiBytes ? data.Size() - uiBytes : 0)
                                                  : static_cast<std::size_t>(llSkip);
            data.Require(uiSkip, 0, "its HeaderSize bytes");
            data = ByteView(data.Data() + uiSkip, data.Size() - uiSkip);
        }
    }
    if (bCompressed) {
        std::size_t uiCompressed = data.Size();
        const std::string strStated = Field("CompressedDataSize", "");
        if (!strStated.empty()) {
            const long long llStated = Number(strStated, "CompressedDataSize", 1, std::numeric_limits<long long>::max());
            data.Require(0, static_cast<std::size_t>(llStated), "its compressed data");
            uiCompressed = static_cast<std::size_t>(llStated);
        }
        CheckCompressionRatio(uiCompressed, uiBytes, "its voxels");
        const std::vector<std::uint8_t> voxels = Inflate(data.Data(), uiCompressed, uiBytes, true, "its voxels");
        FillVoxels(image, voxels.data(), bBigEndian);
    } else {
        data.Require(0, uiBytes, "its voxels");
        FillVoxels(image, data.Data(), bBigEndian);
    }
    return std::make_unique<ImageData>(std::move(image));
}

// --- VTK XML image data

std::unique_ptr<ImageData> ReadVTKImage(const std::uint8_t* pData, std::size_t uiSize, const std::wstring&)
{
    // Raw appended data is binary and no XML: the document is read up to
    // <AppendedData>, the data found by its '_' mark.
    static const char s_szAppended[] = "<AppendedData";
    const std::uint8_t* pAppended =
        std::search(pData, pData + uiSize, s_szAppended, s_szAppended + sizeof(s_szAppended) - 1);
    std::string strXml(pData, pAppended);
    if (pAppended != pData + uiSize) strXml += "</VTKFile>";
    // The format nests five elements deep; the parser recurses once per level.
    constexpr int iMaxDepth = 64;
    if (MeasureXmlDepth(strXml, iMaxDepth).m_iDepth > iMaxDepth)
        Refuse("its XML nests elements more than " + std::to_string(iMaxDepth) + " deep");
    TiXmlDocument document;
    ParseXml(document, strXml);
    if (document.Error()) Refuse(std::string("its XML cannot be read: ") + document.ErrorDesc());
    const TiXmlElement* pRoot = document.RootElement();
    if (!pRoot || pRoot->ValueStr() != "VTKFile" || !pRoot->Attribute("type") ||
        std::string(pRoot->Attribute("type")) != "ImageData")
        Refuse("it is no VTK ImageData file (<VTKFile type=\"ImageData\">)");
    const auto Attribute = [](const TiXmlElement* pElement, const char* szName, const char* szDefault) {
        const char* szValue = pElement->Attribute(szName);
        if (!szValue && !szDefault) Refuse(std::string("<") + pElement->Value() + "> has no " + szName + " attribute");
        return std::string(szValue ? szValue : szDefault);
    };
    if (pRoot->Attribute("compressor"))
        Refuse("its data is compressed (" + Attribute(pRoot, "compressor", "") + "); uncompressed files are read");
    const bool bBigEndian = Attribute(pRoot, "byte_order", "LittleEndian") == "BigEndian";
    const std::string strHeaderType = Attribute(pRoot, "header_type", "UInt32");
    if (strHeaderType != "UInt32" && strHeaderType != "UInt64")
        Refuse("its header_type " + strHeaderType + " is neither UInt32 nor UInt64");

    const TiXmlElement* pImageData = pRoot->FirstChildElement("ImageData");
    const TiXmlElement* pPiece = pImageData ? pImageData->FirstChildElement("Piece") : nullptr;
    if (!pPiece) Refuse("it has no <ImageData> with a <Piece>");
    if (pPiece->NextSiblingElement("Piece")) Refuse("it has several pieces; files of one piece are read");
    const std::vector<long long> extent = Numbers(Attribute(pPiece, "Extent", nullptr), "Extent", -(1LL << 30), 1LL << 30);
    if (extent.size() != 6) Refuse("its Extent does not give six numbers");
    long long dims[3];
    for (int i = 0; i < 3; ++i) {
        dims[i] = extent[2 * i + 1] - extent[2 * i] + 1;
        if (dims[i] < 1 || dims[i] > 65536) Refuse("its Extent spans " + std::to_string(dims[i]) + " points on an axis");
    }

    // The active scalars of the point data, or its first array.
    const TiXmlElement* pPointData = pPiece->FirstChildElement("PointData");
    if (!pPointData) Refuse("it has no <PointData>");
    const std::string strScalars = Attribute(pPointData, "Scalars", "");
    const TiXmlElement* pArray = pPointData->FirstChildElement("DataArray");
    while (pArray && !strScalars.empty() && Attribute(pArray, "Name", "") != strScalars)
        pArray = pArray->NextSiblingElement("DataArray");
    if (!pArray) Refuse("its <PointData> has no DataArray" + (strScalars.empty() ? "" : " named " + strScalars));
    if (Attribute(pArray, "NumberOfComponents", "1") != "1")
        Refuse("its voxels have " + Attribute(pArray, "NumberOfComponents", "1") + " components; one is read");
    const std::string strType = Attribute(pArray, "type", nullptr);
    const VoxelName& voxel = FindVoxel([&](const VoxelName& v) { return strType == v.m_szVTK; }, strType);
    ImageData image = MakeVolume(voxel.m_Type, static_cast<std::uint32_t>(dims[0]), static_cast<std::uint32_t>(dims[1]),
                                 static_cast<std::uint32_t>(dims[2]));
    const std::size_t uiBytes = image.GetRequiredSize();
    const std::size_t uiVoxels = uiBytes / voxel.m_Type.m_uiBytes;

    const std::string strFormat = Attribute(pArray, "format", nullptr);
    if (strFormat == "ascii") {
        // Each number takes at least a digit and a space: a short text
        // cannot hold a large volume, and is refused before the allocation.
        const char* szText = pArray->GetText() ? pArray->GetText() : "";
        if (uiVoxels > std::strlen(szText) / 2 + 1)
            Refuse("its ASCII data is too short for the " + std::to_string(uiVoxels) + " voxels of its Extent");
        image.m_Pixels.resize(uiBytes);
        const char* p = szText;
        for (std::size_t i = 0; i < uiVoxels; ++i) {
            while (std::isspace(static_cast<unsigned char>(*p))) ++p;
            char* pEnd = nullptr;
            const double dValue = std::strtod(p, &pEnd);
            if (pEnd == p) Refuse("its ASCII data ends after " + std::to_string(i) + " of " + std::to_string(uiVoxels) + " voxels");
            // Float voxels may be NaN or infinite (VTK writes "NaN" for
            // voxels outside a resampled scan); finite ones must fit a float.
            const bool bFloat = voxel.m_Type.m_iFormat == FormatR32F;
            const bool bSpecial = bFloat && (std::isnan(dValue) || std::isinf(dValue));
            if (!bSpecial && (!(dValue >= voxel.m_dLowest && dValue <= voxel.m_dHighest) ||
                              (!bFloat && dValue != std::floor(dValue))))
                Refuse("its ASCII value " + std::string(p, static_cast<const char*>(pEnd)) + " is no " + strType);
            p = pEnd;
            std::uint8_t* pVoxel = image.m_Pixels.data() + i * voxel.m_Type.m_uiBytes;
            switch (voxel.m_Type.m_iFormat) {
            case FormatR8UI: *pVoxel = static_cast<std::uint8_t>(dValue); break;
            case FormatR8I: *pVoxel = static_cast<std::uint8_t>(static_cast<std::int8_t>(dValue)); break;
            case FormatR16UI: { const auto v = static_cast<std::uint16_t>(dValue); std::memcpy(pVoxel, &v, 2); break; }
            case FormatR16I: { const auto v = static_cast<std::int16_t>(dValue); std::memcpy(pVoxel, &v, 2); break; }
            case FormatR32UI: { const auto v = static_cast<std::uint32_t>(dValue); std::memcpy(pVoxel, &v, 4); break; }
            case FormatR32I: { const auto v = static_cast<std::int32_t>(dValue); std::memcpy(pVoxel, &v, 4); break; }
            default: { const auto v = static_cast<float>(dValue); std::memcpy(pVoxel, &v, 4); break; }
            }
        }
        return std::make_unique<ImageData>(std::move(image));
    }
    if (strFormat != "appended")
        Refuse("its DataArray format \"" + strFormat + "\" is not read (ascii and raw appended data are)");

    if (pAppended == pData + uiSize) Refuse("its DataArray is appended but the file has no <AppendedData>");
    const std::uint8_t* pTagEnd = std::find(pAppended, pData + uiSize, '>');
    const std::string strTag(pAppended, pTagEnd);
    if (strTag.find("encoding=\"raw\"") == std::string::npos)
        Refuse("its appended data is not raw (base64 is not read)");
    const std::uint8_t* pMark = std::find(pTagEnd, pData + uiSize, '_');
    if (pMark == pData + uiSize) Refuse("its <AppendedData> has no '_' mark");
    const std::size_t uiBase = static_cast<std::size_t>(pMark - pData) + 1;
    const long long llOffset =
        Number(Attribute(pArray, "offset", nullptr), "offset", 0, std::numeric_limits<long long>::max());
    // Each block starts with its byte count in header_type.
    const ByteView file(pData, uiSize, bBigEndian);
    const std::size_t uiHeaderBytes = strHeaderType == "UInt64" ? 8 : 4;
    if (uiSize < uiBase || static_cast<unsigned long long>(llOffset) > uiSize - uiBase)
        Refuse("its DataArray offset " + std::to_string(llOffset) + " lies beyond the end of the file");
    const std::size_t uiBlock = uiBase + static_cast<std::size_t>(llOffset);
    file.Require(uiBlock, uiHeaderBytes, "its appended block header");
    std::uint64_t uiCount = file.U32(uiBlock);
    if (uiHeaderBytes == 8) {
        const std::uint64_t uiSecond = file.U32(uiBlock + 4);
        uiCount = bBigEndian ? (uiCount << 32 | uiSecond) : (uiSecond << 32 | uiCount);
    }
    if (uiCount != uiBytes)
        Refuse("its appended block holds " + std::to_string(uiCount) + " bytes, the Extent needs " +
               std::to_string(uiBytes));
    file.Require(uiBlock + uiHeaderBytes, uiBytes, "its voxels");
    FillVoxels(image, pData + uiBlock + uiHeaderBytes, bBigEndian);
    return std::make_unique<ImageData>(std::move(image));
}

// --- NIfTI-1

constexpr std::size_t s_uiNIfTIHeader = 348;

std::unique_ptr<ImageData> NIfTIFromBytes(const ByteView& bytes, std::size_t* pTotal)
{
    bytes.Require(0, s_uiNIfTIHeader, "its header");
    ByteView header = bytes;
    // sizeof_hdr is 348 in the writer's byte order.
    if (header.U32(0) != s_uiNIfTIHeader) {
        header.SetBigEndian(true);
        if (header.U32(0) != s_uiNIfTIHeader) Refuse("it is no NIfTI-1 file (sizeof_hdr is not 348)");
    }
    if (std::memcmp(bytes.Data() + 344, "ni1", 4) == 0)
        Refuse("it is the header of a .hdr/.img pair; single .nii files are read");
    if (std::memcmp(bytes.Data() + 344, "n+1", 4) != 0) Refuse("it has no NIfTI-1 magic \"n+1\"");
    const auto Dim = [&](int i) { return static_cast<std::int16_t>(header.U16(40 + 2 * static_cast<std::size_t>(i))); };
    const int iDims = Dim(0);
    if (iDims < 1 || iDims > 7) Refuse("its dimension count " + std::to_string(iDims) + " is outside 1 to 7");
    std::uint32_t uiSizes[3] = {1, 1, 1};
    for (int i = 1; i <= iDims; ++i) {
        if (Dim(i) < 1) Refuse("its size " + std::to_string(Dim(i)) + " on axis " + std::to_string(i) + " is not positive");
        if (i <= 3) uiSizes[i - 1] = static_cast<std::uint32_t>(Dim(i));
        else if (Dim(i) != 1)
            Refuse("it is a " + std::to_string(iDims) + "-D series (" + std::to_string(Dim(i)) + " along axis " +
                   std::to_string(i) + "); one volume is read");
    }
    const int iType = static_cast<std::int16_t>(header.U16(70));
    const VoxelName& voxel =
        FindVoxel([&](const VoxelName& v) { return iType == v.m_iNIfTI; }, "code " + std::to_string(iType));
    ImageData image = MakeVolume(voxel.m_Type, uiSizes[0], uiSizes[1], uiSizes[2]);
    const float fOffset = header.F32(108);
    if (!(fOffset >= static_cast<float>(s_uiNIfTIHeader) && fOffset < 4.0e9f))
        Refuse("its vox_offset " + std::to_string(fOffset) + " lies outside the file");
    const std::size_t uiOffset = static_cast<std::size_t>(fOffset);
    // The stored values stay; scl_slope (when not 0) and scl_inter say what
    // they stand for.
    const float fSlope = header.F32(112), fInter = header.F32(116);
    if (fSlope != 0 && std::isfinite(fSlope) && std::isfinite(fInter)) {
        image.m_fValueScale = fSlope;
        image.m_fValueOffset = fInter;
    }
    *pTotal = uiOffset + image.GetRequiredSize();
    if (bytes.Size() < *pTotal) return std::make_unique<ImageData>(std::move(image)); // no voxels yet
    FillVoxels(image, bytes.Data() + uiOffset, header.IsBigEndian());
    return std::make_unique<ImageData>(std::move(image));
}

std::unique_ptr<ImageData> ReadNIfTI(const std::uint8_t* pData, std::size_t uiSize, const std::wstring&)
{
    std::size_t uiTotal = 0;
    auto pImage = NIfTIFromBytes(ByteView(pData, uiSize), &uiTotal);
    if (pImage->m_Pixels.empty()) ByteView(pData, uiSize).Require(0, uiTotal, "its voxels");
    return pImage;
}

// A gzip-compressed NIfTI-1 file: the header is unpacked first, then exactly
// as much as it says the file holds.
std::unique_ptr<ImageData> ReadNIfTIGz(const std::uint8_t* pData, std::size_t uiSize, const std::wstring&)
{
    const std::vector<std::uint8_t> header = Inflate(pData, uiSize, s_uiNIfTIHeader, false, "its content");
    std::size_t uiTotal = 0;
    NIfTIFromBytes(ByteView(header.data(), header.size()), &uiTotal);
    CheckCompressionRatio(uiSize, uiTotal, "its content");
    const std::vector<std::uint8_t> content = Inflate(pData, uiSize, uiTotal, false, "its content");
    if (content.size() < uiTotal)
        Refuse("its content holds " + std::to_string(content.size()) + " bytes, the header needs " +
               std::to_string(uiTotal) + " (cut short?)");
    return NIfTIFromBytes(ByteView(content.data(), content.size()), &uiTotal);
}

} // namespace

void RegisterVolumeReaders(ImageLoader& loader)
{
    loader.RegisterPathReader(L"mhd", ReadMetaImage);
    loader.RegisterPathReader(L"mha", ReadMetaImage);
    loader.RegisterReader(L"vti", ReadVTKImage);
    loader.RegisterReader(L"nii", ReadNIfTI);
    // The loader's key is the last extension: .nii.gz files come as "gz".
    loader.RegisterReader(L"gz", ReadNIfTIGz);
}

} // namespace Ondo::GFX
