#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace Ondo {

// Receives finished messages. Each call is one message; a message may end
// with a line end, which belongs to it.
class LoggerInterface {
public:
    virtual ~LoggerInterface() = default;
    virtual void Log(const std::string& strMessage) = 0;
};

// Writes every message to a stream as it arrives.
class StreamLogger : public LoggerInterface {
public:
    explicit StreamLogger(std::ostream& stream) : m_Stream(stream) {}
    void Log(const std::string& strMessage) override;

private:
    std::ostream& m_Stream;
};

// Keeps every message in order, for programs that show or inspect them later.
class CollectingLogger : public LoggerInterface {
public:
    void Log(const std::string& strMessage) override { m_Messages.push_back(strMessage); }
    const std::vector<std::string>& GetMessages() const { return m_Messages; }
    void Clear() { m_Messages.clear(); }

private:
    std::vector<std::string> m_Messages;
};

} // namespace Ondo
