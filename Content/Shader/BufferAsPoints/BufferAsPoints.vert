#version 430 core
// Draws each 3-float position of a buffer as one point.
// Reads: Position (attribute 0, the buffer's positions, tightly packed) and
// ModelViewProjection (uniform location 1, Projection x View x World).
// Writes: the clip-space position of the point; its size is glPointSize's.

layout(location = 0) in vec3 Position;

layout(location = 1) uniform mat4 ModelViewProjection;

void main()
{
    gl_Position = ModelViewProjection * vec4(Position, 1.0);
}
