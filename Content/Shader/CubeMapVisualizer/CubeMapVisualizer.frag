#version 430 core
// Shows a cube map as a mirror shows its surroundings.
// Reads: the interpolated world position and normal; CameraPosition (the eye
// in world space); CubeMap (the cube map on texture unit 0, with the
// filter's sampler).
// Writes "Color" (location 0, into the colour target "Target Color", a float
// or normalised format), where the depth test passes: the cube map's rgb in
// the direction reflect(normalize(P - CameraPosition), N), opaque. Where the
// surface faces the eye the direction points back at the eye, so the middle
// of a sphere shows the face that lies towards the eye.

#pragma ONDO_PORT_SURFACE(o_Color,"Target Color","Color")

in VertexData
{
    vec3 WorldPosition;
    vec3 WorldNormal;
} In;

uniform vec3 CameraPosition;
layout(binding = 0) uniform samplerCube CubeMap;

layout(location = 0) out vec4 o_Color;

void main()
{
    vec3 N = normalize(In.WorldNormal);
    vec3 R = reflect(normalize(In.WorldPosition - CameraPosition), N);
    o_Color = vec4(texture(CubeMap, R).rgb, 1.0);
}
