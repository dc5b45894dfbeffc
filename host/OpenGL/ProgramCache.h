#pragma once

namespace Ondo::OpenGL {

class Context;

// Drops what the program cache holds for a context that goes away (its
// programs go with it), so that a later context at the same address starts
// with none.
void ForgetSharedPrograms(const Context* pContext);

} // namespace Ondo::OpenGL
