#version 430
// The full-screen quad of the ambient-occlusion pass.
//
// Interface (fixed; the filter sets it without looking anything up):
//   attribute 0   vec2   corner of clip space, from the filter's quad buffer
//                        ((-1, 1), (-1, -1), (1, 1), (1, -1), a triangle strip)
// The texture coordinate handed on runs from 0 to 1 over the viewport (the
// colour texture), so G-buffer textures of another size map onto it whole.

layout(location = 0) in vec2 a_Corner;

out vec2 v_TexCoord;

void main()
{
    v_TexCoord = a_Corner * 0.5 + 0.5;
    gl_Position = vec4(a_Corner, 0.0, 1.0);
}
