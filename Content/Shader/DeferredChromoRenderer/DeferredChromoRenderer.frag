#version 430 core
// Writes, one texel per covered pixel (depth-tested):
//   location 0, "Chromo": the diffuse texture's colour times a hue that
//       encodes the distance d from the eye in the mesh's object space: red
//       at "Near Distance" and closer, green half-way, blue at "Far Distance"
//       and beyond (t = (d - near) / (far - near) clamped to [0, 1]; red
//       1 - 2t, green 1 - |2t - 1|, blue 2t - 1, each clamped to [0, 1]);
//       alpha is the texture's alpha;
//   location 1, "Normal": world-space normal of unit length in xyz, the
//       distance d in w.

#pragma ONDO_PORT_UNIFORM(fNearDistance,"Near Distance")
#pragma ONDO_PORT_UNIFORM(fFarDistance,"Far Distance")
#pragma ONDO_PORT_SURFACE(o_Chromo,"Chromo-Target","Chromo")
#pragma ONDO_PORT_SURFACE(o_Normal,"Normal-Target","Normal")

in VertexData
{
    vec3 ToEye;
    vec3 WorldNormal;
    vec2 TexCoord;
} In;

uniform sampler2D sampTexture;
uniform float fNearDistance = 1.0;
uniform float fFarDistance = 10.0;

layout(location = 0) out vec4 o_Chromo;
layout(location = 1) out vec4 o_Normal;

void main()
{
    float fDistance = length(In.ToEye);
    float t = clamp((fDistance - fNearDistance) / max(fFarDistance - fNearDistance, 1e-6), 0.0, 1.0);
    vec3 vHue = clamp(vec3(1.0 - 2.0 * t, 1.0 - abs(2.0 * t - 1.0), 2.0 * t - 1.0), 0.0, 1.0);
    vec4 vDiffuse = texture(sampTexture, In.TexCoord);
    o_Chromo = vec4(vHue * vDiffuse.rgb, vDiffuse.a);
    o_Normal = vec4(normalize(In.WorldNormal), fDistance);
}
