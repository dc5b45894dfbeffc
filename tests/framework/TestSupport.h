#pragma once

#include "Ondo/FlowGraph/PortOwner.h"
#include "Ondo/FlowGraph/ValuePorts.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <tuple>
#include <typeinfo>
#include <vector>

namespace OndoTest {

namespace FG = Ondo::FlowGraph;

// Runs fn and returns the message of what it throws, after checking that the exception is of class E itself and
// not merely of a class derived from it (the engine's exceptions all derive from std::runtime_error).
template <class E, class F>
std::string ThrownMessage(F&& fn)
{
    try {
        fn();
    } catch (const std::exception& e) {
        EXPECT_TRUE(typeid(e) == typeid(E)) << "threw " << typeid(e).name() << " (\"" << e.what()
                                            << "\") instead of " << typeid(E).name();
        return e.what();
    }
    ADD_FAILURE() << "nothing was thrown, expected " << typeid(E).name();
    return "<nothing thrown>";
}

struct TestOwner : FG::PortOwner {};
using FloatHandle = FG::PortHandle<FG::SimplePortT<float>>;

inline std::unique_ptr<FG::Port> FloatPort(const std::string& strLabel, FG::PortType eType = FG::PortType::Input)
{
    return std::make_unique<FG::SimplePortT<float>>(FG::PortSettings{eType, strLabel, false});
}

} // namespace OndoTest
