#version 430
// Layer copy: each target texel p becomes the texel (p + Offset, Layer) of
// mipmap level LodLevel of the 3D input, read exactly (texelFetch, no
// filtering). Texels that fall outside that level, or a level the input does
// not have, give zero in every channel.
// The input is read at texture unit 0, the target written through image
// unit 1; work groups are 16 x 16 and invocations outside the target do
// nothing. Layer, LodLevel and Offset sit at uniform locations 0, 1 and 2.
//
// Kinds of target: the file compiles as it stands for float and normalised
// targets; the filter compiles it again with TARGET_KIND_INT or
// TARGET_KIND_UINT defined after the #version line for signed or unsigned
// integer targets, and the input is then read as integers of that kind. The
// target is declared writeonly without a format qualifier (allowed for
// write-only images since GLSL 4.20), so one declaration stores into whatever
// format of its kind the filter binds the target in, always its own.

layout(local_size_x = 16, local_size_y = 16, local_size_z = 1) in;

#if defined(TARGET_KIND_INT)
#define gsampler3D isampler3D
#define gimage2D iimage2D
#define gvec4 ivec4
#elif defined(TARGET_KIND_UINT)
#define gsampler3D usampler3D
#define gimage2D uimage2D
#define gvec4 uvec4
#else
#define gsampler3D sampler3D
#define gimage2D image2D
#define gvec4 vec4
#endif

layout(binding = 0) uniform gsampler3D texIn;
layout(binding = 1) writeonly uniform gimage2D imgTarget;
layout(location = 0) uniform int Layer;
layout(location = 1) uniform int LodLevel;
layout(location = 2) uniform ivec2 Offset;

void main()
{
    ivec2 p = ivec2(gl_GlobalInvocationID.xy);
    if (any(greaterThanEqual(p, imageSize(imgTarget))))
        return;
    ivec3 q = ivec3(p + Offset, Layer);
    gvec4 c = gvec4(0);
    if (LodLevel >= 0 && LodLevel < textureQueryLevels(texIn) && all(greaterThanEqual(q, ivec3(0))) &&
        all(lessThan(q, textureSize(texIn, LodLevel))))
        c = texelFetch(texIn, q, LodLevel);
    imageStore(imgTarget, p, c);
}
