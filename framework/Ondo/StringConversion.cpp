#include "Ondo/StringConversion.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iconv.h>
#include <locale>
#include <stdexcept>
#include <vector>

namespace Ondo {

namespace {

// One conversion through iconv. "WCHAR_T" is the C library's own wide
// character encoding (UTF-32 in host byte order on glibc).
template <class Out, class In>
Out Convert(const In& input, const char* szTo, const char* szFrom)
{
    iconv_t converter = iconv_open(szTo, szFrom);
    if (converter == reinterpret_cast<iconv_t>(-1))
        throw std::range_error(std::string("no converter from ") + szFrom + " to " + szTo + ": " + std::strerror(errno));

    const std::size_t uiInBytes = input.size() * sizeof(typename In::value_type);
    // UTF-8 needs at most 4 bytes per code point and a code point at least 1
    // byte; UTF-32 needs 4 bytes per code point. Either way 4 bytes per input
    // byte is enough.
    std::vector<char> output(uiInBytes * 4 + 4);

    char* pIn = const_cast<char*>(reinterpret_cast<const char*>(input.data()));
    std::size_t uiInLeft = uiInBytes;
    char* pOut = output.data();
    std::size_t uiOutLeft = output.size();
    const std::size_t uiResult = iconv(converter, &pIn, &uiInLeft, &pOut, &uiOutLeft);
    const int iError = errno;
    iconv_close(converter);

    if (uiResult == static_cast<std::size_t>(-1)) {
        const std::size_t uiPosition = (uiInBytes - uiInLeft) / sizeof(typename In::value_type);
        const char* szWhat = iError == EINVAL ? "incomplete sequence" : std::strerror(iError);
        throw std::range_error(std::string(szWhat) + " at character " + std::to_string(uiPosition));
    }
    const std::size_t uiOutBytes = output.size() - uiOutLeft;
    return Out(reinterpret_cast<const typename Out::value_type*>(output.data()),
               uiOutBytes / sizeof(typename Out::value_type));
}

// glibc's converters take the old 31-bit range of UCS-4 (up to six-byte
// UTF-8 sequences) in both directions; Unicode ends at U+10FFFF, so code
// points above it are refused here.
constexpr std::uint32_t uiMaxCodePoint = 0x10FFFF;

[[noreturn]] void ThrowBeyondUnicode(std::size_t uiPosition)
{
    throw std::range_error("code point beyond U+10FFFF at character " + std::to_string(uiPosition));
}

} // namespace

std::string WideToUtf8(const std::wstring& strWide)
{
    if (strWide.empty()) return {};
    for (std::size_t i = 0; i < strWide.size(); ++i)
        if (static_cast<std::uint32_t>(strWide[i]) > uiMaxCodePoint) ThrowBeyondUnicode(i);
    return Convert<std::string>(strWide, "UTF-8", "WCHAR_T");
}

std::wstring Utf8ToWide(const std::string& strUtf8)
{
    if (strUtf8.empty()) return {};
    std::wstring strWide = Convert<std::wstring>(strUtf8, "WCHAR_T", "UTF-8");
    // Everything before an offending code point is valid, so its byte
    // position follows from the UTF-8 lengths of the code points before it.
    std::size_t uiByte = 0;
    for (wchar_t c : strWide) {
        const auto uiCode = static_cast<std::uint32_t>(c);
        if (uiCode > uiMaxCodePoint) ThrowBeyondUnicode(uiByte);
        uiByte += uiCode < 0x80 ? 1 : uiCode < 0x800 ? 2 : uiCode < 0x10000 ? 3 : 4;
    }
    return strWide;
}

std::wstring WidenWithLocale(const std::string& strNarrow)
{
    const auto& facet = std::use_facet<std::ctype<wchar_t>>(std::locale());
    std::wstring strWide(strNarrow.size(), L'\0');
    facet.widen(strNarrow.data(), strNarrow.data() + strNarrow.size(), &strWide[0]);
    return strWide;
}

} // namespace Ondo
