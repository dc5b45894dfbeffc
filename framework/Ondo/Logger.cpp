#include "Ondo/Logger.h"

#include <ostream>

namespace Ondo {

void StreamLogger::Log(const std::string& strMessage)
{
    m_Stream << strMessage;
    if (strMessage.empty() || strMessage.back() != '\n') m_Stream << '\n';
    m_Stream.flush();
}

} // namespace Ondo
