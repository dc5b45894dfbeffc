#pragma once

#include "Ondo/OpenGL/Device.h"

#include <gtest/gtest.h>

namespace OndoTest {

// The test binary's one render device, made (and made current) on first use
// and destroyed after the last test.
Ondo::OpenGL::Device& TestDevice();
// Whether a test has made the device yet.
bool HasTestDevice();

// Registered by the shared test main.
class GLTestEnvironment : public ::testing::Environment {
public:
    void TearDown() override;
};

} // namespace OndoTest
