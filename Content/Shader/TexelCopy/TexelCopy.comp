#version 430
// Texel copy: each target texel p becomes the input texel p + Offset of
// mipmap level LodLevel, read exactly (texelFetch, no filtering). Texels
// that fall outside that level, or a level the input does not have, give
// zero in every channel.
// The input is read at texture unit 0, the target written through image
// unit 1; work groups are 16 x 16 and invocations outside the target do
// nothing.
//
// Kinds of target: the file compiles as it stands for float and normalised
// targets; the filter compiles it again with TARGET_KIND_INT or
// TARGET_KIND_UINT defined after the #version line for signed or unsigned
// integer targets, and the inputs are then read as integers of that kind
// (gsampler2D, gvec4 below). The target is declared writeonly without a format
// qualifier, which GLSL allows for write-only images since 4.20 (so every GL
// 4.3 driver, llvmpipe included, takes it): one declaration stores into
// whatever format of its kind the filter binds the target in, always its own.

layout(local_size_x = 16, local_size_y = 16, local_size_z = 1) in;

#if defined(TARGET_KIND_INT)
#define gsampler2D isampler2D
#define gimage2D iimage2D
#define gvec4 ivec4
#elif defined(TARGET_KIND_UINT)
#define gsampler2D usampler2D
#define gimage2D uimage2D
#define gvec4 uvec4
#else
#define gsampler2D sampler2D
#define gimage2D image2D
#define gvec4 vec4
#endif

layout(binding = 0) uniform gsampler2D texIn;
layout(binding = 1) writeonly uniform gimage2D imgTarget;
uniform int LodLevel;
uniform ivec2 Offset;

void main()
{
    ivec2 p = ivec2(gl_GlobalInvocationID.xy);
    if (any(greaterThanEqual(p, imageSize(imgTarget))))
        return;
    ivec2 q = p + Offset;
    gvec4 c = gvec4(0);
    if (LodLevel >= 0 && LodLevel < textureQueryLevels(texIn) && all(greaterThanEqual(q, ivec2(0))) &&
        all(lessThan(q, textureSize(texIn, LodLevel))))
        c = texelFetch(texIn, q, LodLevel);
    imageStore(imgTarget, p, c);
}
