#pragma once

#include <stdexcept>
#include <string>

namespace Ondo {

// Malformed or unexpected XML structure.
class ExceptionXML : public std::runtime_error {
public:
    explicit ExceptionXML(const std::string& strMessage) : std::runtime_error(strMessage) {}
};

// A file could not be opened, read or written.
class ExceptionFileSystem : public std::runtime_error {
public:
    explicit ExceptionFileSystem(const std::string& strMessage) : std::runtime_error(strMessage) {}
};

// A path does not name an existing regular file.
class ExceptionFileMissing : public ExceptionFileSystem {
public:
    explicit ExceptionFileMissing(const std::string& strMessage) : ExceptionFileSystem(strMessage) {}
};

// Text that could not be turned into the value it should hold.
class ExceptionParsing : public std::runtime_error {
public:
    explicit ExceptionParsing(const std::string& strMessage) : std::runtime_error(strMessage) {}
};

} // namespace Ondo
