#version 430 core
// Writes the G-buffer, one texel per covered pixel (depth-tested):
//   location 0, "Position": world-space position in xyz, 1 in w;
//   location 1, "Normal":   world-space normal of unit length in xyz, 0 in w;
//   location 2, "Diffuse":  the colour of the diffuse texture at the texel's
//                           texture coordinate (rgba).
// Positions and normals need float targets (GL_RGBA16F or GL_RGBA32F) to keep
// their range and sign.

#pragma ONDO_PORT_SURFACE(o_Position,"Position-Target","Position")
#pragma ONDO_PORT_SURFACE(o_Normal,"Normal-Target","Normal")
#pragma ONDO_PORT_SURFACE(o_Diffuse,"Diffuse-Target","Diffuse")

in VertexData
{
    vec3 WorldPosition;
    vec3 WorldNormal;
    vec2 TexCoord;
} In;

uniform sampler2D sampTexture;

layout(location = 0) out vec4 o_Position;
layout(location = 1) out vec4 o_Normal;
layout(location = 2) out vec4 o_Diffuse;

void main()
{
    o_Position = vec4(In.WorldPosition, 1.0);
    o_Normal = vec4(normalize(In.WorldNormal), 0.0);
    o_Diffuse = texture(sampTexture, In.TexCoord);
}
