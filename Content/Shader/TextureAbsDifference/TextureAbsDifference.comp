#version 430
// Absolute difference: each texel of the target becomes |A - B| * Amplifier
// in red, green and blue, with the alpha of A kept (so that the difference of
// two opaque pictures is an opaque picture), A and B read at the same texel (inputs
// smaller than the target repeat their edge texels). The filter writes
// Amplifier (location 0) before each dispatch, 1.0 unless its input holds a
// value. The target is written through image unit 2; work groups are 16 x 16
// and invocations outside the target do nothing.
//
// The target is declared writeonly without a format qualifier, which GLSL
// allows for write-only images since 4.20 (so every GL 4.3 driver, llvmpipe
// included, takes it): one declaration stores into whatever float or
// normalised format the filter binds the target in, always its own. The filter refuses integer
// targets, which need an integer image type.

layout(local_size_x = 16, local_size_y = 16, local_size_z = 1) in;

#pragma ONDO_PORT_UNIFORM(texA,"Image A");
#pragma ONDO_PORT_UNIFORM(texB,"Image B");
uniform sampler2D texA;
uniform sampler2D texB;

layout(location = 0) uniform float Amplifier = 1.0;

layout(binding = 2) writeonly uniform image2D imgTarget;

vec4 Fetch(sampler2D tex, ivec2 p)
{
    return texelFetch(tex, min(p, textureSize(tex, 0) - 1), 0);
}

void main()
{
    ivec2 p = ivec2(gl_GlobalInvocationID.xy);
    if (any(greaterThanEqual(p, imageSize(imgTarget))))
        return;
    vec4 a = Fetch(texA, p);
    vec3 difference = abs(a.rgb - Fetch(texB, p).rgb) * Amplifier;
    imageStore(imgTarget, p, vec4(difference, a.a));
}
