#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <string>
#include <typeinfo>

namespace OndoTest {

// Runs fn and returns the message of what it throws, after checking that the
// exception is of class E itself and not merely of a class derived from it
// (the engine's exceptions all derive from std::runtime_error, so a plain
// catch would not tell them apart).
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

} // namespace OndoTest
