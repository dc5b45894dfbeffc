#version 430 core
// Carries a mesh into world space for the cube-map mirror.
// Reads: the mesh's positions and normals (buffer inputs "Positions" and
// "Normals") and the fixed matrices: location 0 the model-view-projection
// matrix, 1 World, 2 the normal matrix of World.
// Writes: the clip-space position of each vertex, and for the fragment stage
// its world-space position and world-space normal (not yet of unit length).

#pragma ONDO_PORT_ATTRIBUTE(Position,"Positions")
#pragma ONDO_PORT_ATTRIBUTE(Normal,"Normals")

layout(location = 0) in vec3 Position;
layout(location = 1) in vec3 Normal;

layout(location = 0) uniform mat4 ModelViewProjection;
layout(location = 1) uniform mat4 World;
layout(location = 2) uniform mat3 NormalMatrix;

out VertexData
{
    vec3 WorldPosition;
    vec3 WorldNormal;
} Out;

void main()
{
    vec4 vWorld = World * vec4(Position, 1.0);
    Out.WorldPosition = vWorld.xyz / vWorld.w;
    Out.WorldNormal = NormalMatrix * Normal;
    gl_Position = ModelViewProjection * vec4(Position, 1.0);
}
