#version 430 core
// Colours every point one colour.
// Reads: Color (uniform location 0, rgb; the filter gives red unless its
// "Color" input holds a value).
// Writes "Color" (location 0, into the colour target "Target Color", a float
// or normalised format), opaque, where the depth test passes.

#pragma ONDO_PORT_SURFACE(o_Color,"Target Color","Color")

layout(location = 0) uniform vec3 Color;

layout(location = 0) out vec4 o_Color;

void main()
{
    o_Color = vec4(Color, 1.0);
}
