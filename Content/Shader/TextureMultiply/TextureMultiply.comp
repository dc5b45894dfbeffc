#version 430
// Product: each texel of the target becomes A * B (component by component,
// alpha included), the two inputs read at the same texel (inputs smaller than
// the target repeat their edge texels).
// The target is written through image unit 2; work groups are 16 x 16 and
// invocations outside the target do nothing.

layout(local_size_x = 16, local_size_y = 16, local_size_z = 1) in;

#pragma ONDO_PORT_UNIFORM(texA,"Image A");
#pragma ONDO_PORT_UNIFORM(texB,"Image B");
uniform sampler2D texA;
uniform sampler2D texB;

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
    imageStore(imgTarget, p, Fetch(texA, p) * Fetch(texB, p));
}
