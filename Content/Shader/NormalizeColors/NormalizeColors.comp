#version 430
// Normalize colours: each target texel becomes c * 0.5 + 0.5, with c the
// input sampled (level 0, through the sampler bound to unit 0) at the target
// texel's centre in normalised coordinates, so [-1, 1] maps to [0, 1].
// The input is read at texture unit 0, the target written through image
// unit 1; work groups are 16 x 16 and invocations outside the target do
// nothing.
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
    ivec2 size = imageSize(imgTarget);
    if (any(greaterThanEqual(p, size)))
        return;
    vec4 c = textureLod(texIn, (vec2(p) + 0.5) / vec2(size), 0.0);
    imageStore(imgTarget, p, c * 0.5 + 0.5);
}
