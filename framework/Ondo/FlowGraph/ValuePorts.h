#pragma once

// The ports of plain values and engine records, with their run-time names.

#include "Ondo/FlowGraph/Port.h"
#include "Ondo/GFX/LightSource.h"
#include "Ondo/GFX/Mesh.h"
#include "Ondo/Vector.h"

#include <string>
#include <vector>

#define ONDO_DECLARE_PORT_NAMES(T)                                                                   \
    template <>                                                                                      \
    const std::string Ondo::FlowGraph::SimplePortT<T>::s_strClassName;                               \
    template <>                                                                                      \
    const std::string Ondo::FlowGraph::SimplePortT<T>::s_strTypeName;

ONDO_DECLARE_PORT_NAMES(float)
ONDO_DECLARE_PORT_NAMES(int)
ONDO_DECLARE_PORT_NAMES(Ondo::Vector2f)
ONDO_DECLARE_PORT_NAMES(Ondo::Vector3f)
ONDO_DECLARE_PORT_NAMES(Ondo::Vector4f)
ONDO_DECLARE_PORT_NAMES(Ondo::Vector2i)
ONDO_DECLARE_PORT_NAMES(Ondo::Matrix44f)
ONDO_DECLARE_PORT_NAMES(std::string)
ONDO_DECLARE_PORT_NAMES(std::vector<float>)
ONDO_DECLARE_PORT_NAMES(std::vector<Ondo::Vector3f>)
ONDO_DECLARE_PORT_NAMES(std::vector<Ondo::Vector4f>)
ONDO_DECLARE_PORT_NAMES(Ondo::GFX::Mesh)
ONDO_DECLARE_PORT_NAMES(Ondo::GFX::LightSource)
