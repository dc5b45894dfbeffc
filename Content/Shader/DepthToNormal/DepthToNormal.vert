#version 430
// A full-screen quad from four triangle-strip vertices without attributes:
// the corners (-1, 1), (-1, -1), (1, 1), (1, -1) of clip space, in this
// order, made from the vertex index.

void main()
{
    vec2 corner = vec2(gl_VertexID < 2 ? -1.0 : 1.0, (gl_VertexID & 1) == 0 ? 1.0 : -1.0);
    gl_Position = vec4(corner, 0.0, 1.0);
}
