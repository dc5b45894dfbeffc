#version 430
// The full-screen quad of the FXAA pass: the 2D corner of clip space from
// attribute 0 (the filter's quad buffer, drawn as a triangle strip).

layout(location = 0) in vec2 a_Corner;

void main()
{
    gl_Position = vec4(a_Corner, 0.0, 1.0);
}
