#pragma once

#include <string>

namespace Ondo {

// Root of every class that carries a run-time name. The engine matches and
// displays objects (ports above all) by these names rather than by C++ types,
// which keeps the names stable across modules built separately.
class IClass {
public:
    virtual ~IClass() = default;
    virtual const std::string& GetNameOfClass() const;
    virtual const std::string& GetNameOfBaseClass() const;
    virtual bool IsClassDerivedFrom(const std::string& strName) const;
};

} // namespace Ondo
