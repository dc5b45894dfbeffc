#include "Ondo/StringConversion.h"

#include <cerrno>
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

} // namespace

std::string WideToUtf8(const std::wstring& strWide)
{
    if (strWide.empty()) return {};
    return Convert<std::string>(strWide, "UTF-8", "WCHAR_T");
}

std::wstring Utf8ToWide(const std::string& strUtf8)
{
    if (strUtf8.empty()) return {};
    return Convert<std::wstring>(strUtf8, "WCHAR_T", "UTF-8");
}

std::wstring WidenWithLocale(const std::string& strNarrow)
{
    const auto& facet = std::use_facet<std::ctype<wchar_t>>(std::locale());
    std::wstring strWide(strNarrow.size(), L'\0');
    facet.widen(strNarrow.data(), strNarrow.data() + strNarrow.size(), &strWide[0]);
    return strWide;
}

} // namespace Ondo
