#version 430
// Gamma correction: each texel of the target becomes
// (max(R, 0), max(G, 0), max(B, 0)) ^ (1 / GammaValue) with alpha kept, the
// image read at the same texel (an input smaller than the target repeats its
// edge texels; negative colour components count as 0, where the power has no
// value). The filter writes GammaValue, by its looked-up location, before each
// dispatch: 2.2 unless its "Gamma Value" input holds a value. The image takes
// texture unit 0, so the target is written through the next unit, image
// unit 1; work groups are 16 x 16 and invocations outside the target do
// nothing.
//
// The target is declared writeonly without a format qualifier, which GLSL
// allows for write-only images since 4.20 (so every GL 4.3 driver, llvmpipe
// included, takes it): one declaration stores into whatever float or
// normalised format the filter binds the target in, always its own. The filter refuses integer
// targets, which need an integer image type.

layout(local_size_x = 16, local_size_y = 16, local_size_z = 1) in;

#pragma ONDO_PORT_UNIFORM(texImage,"Image");
uniform sampler2D texImage;

uniform float GammaValue = 2.2;

layout(binding = 1) writeonly uniform image2D imgTarget;

void main()
{
    ivec2 p = ivec2(gl_GlobalInvocationID.xy);
    if (any(greaterThanEqual(p, imageSize(imgTarget))))
        return;
    vec4 c = texelFetch(texImage, min(p, textureSize(texImage, 0) - 1), 0);
    imageStore(imgTarget, p, vec4(pow(max(c.rgb, vec3(0.0)), vec3(1.0 / GammaValue)), c.a));
}
