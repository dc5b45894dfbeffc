#version 430
// LEAN map moments from a tangent-space normal map stored as colour.
// For the input texel at p (clamped to the input's edge when the target is
// larger), read exactly with texelFetch:
//   n = 2 c.rgb - 1, nz = max(n.z, 1/1024) so that normals lying in the
//   surface give a large finite slope instead of an infinite one,
//   b = (n.x / nz, n.y / nz)   the slopes,
// and the target texel becomes
//   R, G = b * 0.5 + 0.5       first moments, biased so that an 8-bit
//                               normalised target holds slopes in [-1, 1]
//   B, A = b * b               second moments (bx^2, by^2), unbiased.
// The same layout is written to every target format (float targets keep
// slopes of any size); the map is decoded as b = 2 RG - 1, and linear
// filtering of all four channels stays correct since the bias is affine.
// The input is read at texture unit 0, the target written through image
// unit 1 in its own format; work groups are 16 x 16 and invocations outside
// the target do nothing.
//
// The target is declared writeonly without a format qualifier, which GLSL
// allows for write-only images since 4.20 (so every GL 4.3 driver, llvmpipe
// included, takes it): one declaration stores into whatever float or
// normalised format the filter binds the target in, always its own. The filter refuses integer
// targets, which need an integer image type.

layout(local_size_x = 16, local_size_y = 16, local_size_z = 1) in;

layout(binding = 0) uniform sampler2D texIn;
layout(binding = 1) writeonly uniform image2D imgTarget;

void main()
{
    ivec2 p = ivec2(gl_GlobalInvocationID.xy);
    if (any(greaterThanEqual(p, imageSize(imgTarget))))
        return;
    vec3 n = texelFetch(texIn, min(p, textureSize(texIn, 0) - 1), 0).rgb * 2.0 - 1.0;
    vec2 b = n.xy / max(n.z, 1.0 / 1024.0);
    imageStore(imgTarget, p, vec4(b * 0.5 + 0.5, b * b));
}
