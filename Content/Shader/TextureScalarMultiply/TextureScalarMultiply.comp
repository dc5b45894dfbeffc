#version 430
// Scaling: each texel of the target becomes A * Scale, per channel (alpha
// included), with A read at the same texel (an input smaller than the target
// repeats its edge texels). The filter writes Scale (location 0) before each
// dispatch, 1.0 unless its "Factor" input holds a value. The target is
// written through image unit 2; work groups are 16 x 16 and invocations
// outside the target do nothing.
//
// The target is declared writeonly without a format qualifier, which GLSL
// allows for write-only images since 4.20 (so every GL 4.3 driver, llvmpipe
// included, takes it): one declaration stores into whatever float or
// normalised format the filter binds the target in, always its own. The filter refuses integer
// targets, which need an integer image type.

layout(local_size_x = 16, local_size_y = 16, local_size_z = 1) in;

#pragma ONDO_PORT_UNIFORM(texA,"Image");
uniform sampler2D texA;

layout(location = 0) uniform float Scale = 1.0;

layout(binding = 2) writeonly uniform image2D imgTarget;

void main()
{
    ivec2 p = ivec2(gl_GlobalInvocationID.xy);
    if (any(greaterThanEqual(p, imageSize(imgTarget))))
        return;
    imageStore(imgTarget, p, texelFetch(texA, min(p, textureSize(texA, 0) - 1), 0) * Scale);
}
