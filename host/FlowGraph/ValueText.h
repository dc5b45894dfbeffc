#pragma once

#include "Ondo/FlowGraph/Port.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Ondo::FlowGraph {

// A value of one of the plain port types, owned by the engine: the literal
// given to an input in a graph file, the value of a constant source. Values
// are read from and written as text:
//   float, int          one number
//   Ondo::Vector2f/3f/4f, Ondo::Vector2i
//                       that many numbers, separated by spaces or commas
//   Ondo::Matrix44f     16 numbers, row by row as the matrix is written on
//                       paper, or the word "identity"
//   std::string         the text itself
//   std::vector< float >, std::vector< Ondo::Vector3f >, std::vector< Ondo::Vector4f >
//                       numbers separated by spaces, commas or semicolons
//                       (a multiple of 3 or 4 for the vector lists)
// Numbers are written back in their shortest form that reads back exactly.
class ValueHolder {
public:
    virtual ~ValueHolder() = default;
    // The transported type name of the ports that carry this value.
    virtual const std::string& GetTypeName() const = 0;
    virtual void* GetPointer() = 0;
    // Replaces the value. Throws std::invalid_argument saying what form the
    // text should take; the value is unchanged then.
    virtual void Parse(const std::string& strText) = 0;
    virtual std::string Format() const = 0;
    // The text of another value of this type (one a port carries).
    virtual std::string FormatValueAt(const void* pValue) const = 0;
    // A port of the matching class (it carries nothing yet).
    virtual std::unique_ptr<Port> MakePort(const PortSettings& settings) const = 0;
    // Sets the port (made by MakePort) to carry this value, with the changed flag given.
    virtual void Publish(Port& port, bool bChanged) = 0;
};

// The text of the value a port carries; empty when it carries none or its
// type has no text form (textures, meshes).
std::optional<std::string> FormatPortValue(const Port& port);

// A holder for a transported type name; null when the type has no text form.
std::unique_ptr<ValueHolder> MakeValueHolder(const std::string& strTypeName);
// Every type name with a text form, in the order of the list above.
const std::vector<std::string>& GetTextTypeNames();

// A port of any class the engine knows (plain values, engine records and
// GPU objects) by its transported type name; null for an unknown name.
std::unique_ptr<Port> MakePortOfType(const std::string& strTypeName, const PortSettings& settings);

} // namespace Ondo::FlowGraph
