#version 430
// Texel copy: each target texel p becomes the input texel p + Offset of
// mipmap level LodLevel, read exactly (texelFetch, no filtering). Texels
// that fall outside that level, or a level the input does not have, give
// zero in every channel.
// The input is read at texture unit 0, the target written through image
// unit 1; work groups are 16 x 16 and invocations outside the target do
// nothing.

layout(local_size_x = 16, local_size_y = 16, local_size_z = 1) in;

layout(binding = 0) uniform sampler2D texIn;
layout(binding = 1) writeonly uniform image2D imgTarget;
uniform int LodLevel;
uniform ivec2 Offset;

void main()
{
    ivec2 p = ivec2(gl_GlobalInvocationID.xy);
    if (any(greaterThanEqual(p, imageSize(imgTarget))))
        return;
    ivec2 q = p + Offset;
    vec4 c = vec4(0.0);
    if (LodLevel >= 0 && LodLevel < textureQueryLevels(texIn) && all(greaterThanEqual(q, ivec2(0))) &&
        all(lessThan(q, textureSize(texIn, LodLevel))))
        c = texelFetch(texIn, q, LodLevel);
    imageStore(imgTarget, p, c);
}
