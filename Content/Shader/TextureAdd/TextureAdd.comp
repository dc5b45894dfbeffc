#version 430
// Sum: each texel of the target becomes A + B, the two inputs read at the
// same texel (inputs smaller than the target repeat their edge texels);
// integer sums wrap around as GLSL integer arithmetic does.
// The target is written through image unit 2; work groups are 16 x 16 and
// invocations outside the target do nothing.
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

#pragma ONDO_PORT_UNIFORM(texA,"Image A");
#pragma ONDO_PORT_UNIFORM(texB,"Image B");
uniform gsampler2D texA;
uniform gsampler2D texB;

layout(binding = 2) writeonly uniform gimage2D imgTarget;

gvec4 Fetch(gsampler2D tex, ivec2 p)
{
    return texelFetch(tex, min(p, textureSize(tex, 0) - 1), 0);
}

void main()
{
    ivec2 p = ivec2(gl_GlobalInvocationID.xy);
    if (any(greaterThanEqual(p, imageSize(imgTarget))))
        return;
    imageStore(imgTarget, p, Fetch(texA, p) + Fetch(texB, p));
}
