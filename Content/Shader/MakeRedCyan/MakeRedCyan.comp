#version 430
// Red/cyan anaglyph: each texel of the target becomes (R of the left view,
// G of the right view, B of the right view, 1), both views read at the same
// texel (views smaller than the target repeat their edge texels).
// The views take texture units 0 and 1, so the target is written through the
// next free unit, image unit 2; work groups are 16 x 16 and
// invocations outside the target do nothing.
//
// The target is declared writeonly without a format qualifier, which GLSL
// allows for write-only images since 4.20 (so every GL 4.3 driver, llvmpipe
// included, takes it): one declaration stores into whatever float or
// normalised format the filter binds the target in, always its own. The filter refuses integer
// targets, which need an integer image type.

layout(local_size_x = 16, local_size_y = 16, local_size_z = 1) in;

#pragma ONDO_PORT_UNIFORM(texLeft,"Left Image");
#pragma ONDO_PORT_UNIFORM(texRight,"Right Image");
uniform sampler2D texLeft;
uniform sampler2D texRight;

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
    imageStore(imgTarget, p, vec4(Fetch(texLeft, p).r, Fetch(texRight, p).gb, 1.0));
}
