#include "host/XmlText.h"

#include <tinyxml.h>

#include <algorithm>
#include <cstring>

namespace Ondo {

XmlDepth MeasureXmlDepth(const std::string& strText, int iStopAbove)
{
    XmlDepth deepest, now;
    const std::size_t uiSize = strText.size();
    auto skipPast = [&](std::size_t i, const char* szEnd) {
        const std::size_t uiEnd = strText.find(szEnd, i);
        const std::size_t uiStop = uiEnd == std::string::npos ? uiSize : uiEnd + std::strlen(szEnd);
        now.m_iLine += static_cast<int>(std::count(strText.begin() + static_cast<std::ptrdiff_t>(i),
                                                   strText.begin() + static_cast<std::ptrdiff_t>(uiStop), '\n'));
        return uiStop;
    };
    for (std::size_t i = 0; i < uiSize;) {
        const char c = strText[i];
        if (c == '\n') ++now.m_iLine;
        if (c != '<') {
            ++i;
            continue;
        }
        if (strText.compare(i, 4, "<!--") == 0) {
            i = skipPast(i, "-->");
        } else if (strText.compare(i, 9, "<![CDATA[") == 0) {
            i = skipPast(i, "]]>");
        } else if (strText.compare(i, 2, "<?") == 0) {
            i = skipPast(i, "?>");
        } else if (strText.compare(i, 2, "<!") == 0) {
            i = skipPast(i, ">");
        } else if (strText.compare(i, 2, "</") == 0) {
            now.m_iDepth = std::max(0, now.m_iDepth - 1);
            i = skipPast(i, ">");
        } else {
            // A start tag: its end is the first '>' outside quotes; "/>" closes it at once.
            char cQuote = 0;
            std::size_t j = i + 1;
            for (; j < uiSize; ++j) {
                if (strText[j] == '\n') ++now.m_iLine;
                if (cQuote) {
                    if (strText[j] == cQuote) cQuote = 0;
                } else if (strText[j] == '"' || strText[j] == '\'') {
                    cQuote = strText[j];
                } else if (strText[j] == '>') {
                    break;
                }
            }
            if (!(j < uiSize && strText[j - 1] == '/')) {
                ++now.m_iDepth;
                if (now.m_iDepth > deepest.m_iDepth) deepest = now;
                if (deepest.m_iDepth > iStopAbove) return deepest;
            }
            i = j + 1;
        }
    }
    return deepest;
}

std::size_t FindInvalidUtf8(const std::string& strText)
{
    const auto* pBytes = reinterpret_cast<const unsigned char*>(strText.data());
    const std::size_t uiSize = strText.size();
    for (std::size_t i = 0; i < uiSize;) {
        const unsigned char c = pBytes[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        // The length the first byte announces, and the range of the second
        // byte that excludes overlong forms, surrogates and code points
        // beyond U+10FFFF.
        std::size_t uiLength = 0;
        unsigned char uiLow = 0x80, uiHigh = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) uiLength = 2;
        else if (c >= 0xE0 && c <= 0xEF) uiLength = 3, uiLow = c == 0xE0 ? 0xA0 : 0x80, uiHigh = c == 0xED ? 0x9F : 0xBF;
        else if (c >= 0xF0 && c <= 0xF4) uiLength = 4, uiLow = c == 0xF0 ? 0x90 : 0x80, uiHigh = c == 0xF4 ? 0x8F : 0xBF;
        if (uiLength == 0 || uiSize - i < uiLength || pBytes[i + 1] < uiLow || pBytes[i + 1] > uiHigh) return i;
        for (std::size_t j = 2; j < uiLength; ++j)
            if ((pBytes[i + j] & 0xC0) != 0x80) return i;
        i += uiLength;
    }
    return std::string::npos;
}

void ParseXml(TiXmlDocument& document, const std::string& strText)
{
    // A sequence is at most four bytes long: from its first byte, the last
    // of the text, the parser steps three bytes past the terminator.
    constexpr std::size_t uiWidest = 4;
    std::string strPadded(strText, 0, strText.find('\0'));
    strPadded.append(uiWidest, '\0');
    document.Parse(strPadded.c_str());
}

} // namespace Ondo
