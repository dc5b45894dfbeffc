#version 430 core
// Writes: the clip-space position of each vertex (model-view-projection x
// position), and for the fragment stage its distance from the eye (both in
// the mesh's object space, where uniform 3 gives the eye), its world-space
// normal (normal matrix x normal) and its texture coordinate.

layout(location = 0) in vec3 Position;
layout(location = 1) in vec3 Normal;
layout(location = 2) in vec2 TexCoord;

layout(location = 0) uniform mat4 ModelViewProjection;
layout(location = 1) uniform mat4 World;
layout(location = 2) uniform mat3 NormalMatrix;
layout(location = 3) uniform vec3 EyePosition;

out VertexData
{
    vec3 ToEye;
    vec3 WorldNormal;
    vec2 TexCoord;
} Out;

void main()
{
    // The offset, not its length, is interpolated: the length of an
    // interpolated offset is the true distance at every fragment.
    Out.ToEye = EyePosition - Position;
    Out.WorldNormal = NormalMatrix * Normal;
    Out.TexCoord = TexCoord;
    gl_Position = ModelViewProjection * vec4(Position, 1.0);
}
