#version 430
// Five views interleaved for a five-view autostereoscopic display with a
// slanted lens (or barrier) sheet, such as Tridelity's. The sheet sends each
// colour sub-pixel to one of five viewing zones; which one shifts by one
// sub-pixel per sub-pixel to the right and by one per row downwards:
//
//     view(x, y, c) = (3 * x + c + y') mod 5
//
// for target texel x (from the left), row y' counted from the top of the
// picture (y' = height - 1 - y, as texture rows run bottom-up) and colour
// channel c (0 red, 1 green, 2 blue). So the red, green and blue of texel
// (0, top row) come from views 0, 1 and 2, those of texel (1, top row) from
// views 3, 4 and 0, and each row down starts one view further. The channel
// is read from that view at the same place: the view texel under the target
// texel's centre, (p + 0.5) * vInvImgSize * the view's size (the views may
// differ in size from the target, nearest texel). Alpha is 1.
//
// The views are read at texture units 0 to 4 (views 0 to 4), the target
// written through image unit 5; work groups are 16 x 16 and invocations
// outside the target do nothing. The target is declared writeonly without a
// format qualifier (GLSL 4.20 and later), so it stores into whatever float or
// normalised format the filter binds the target in, always its own.

layout(local_size_x = 16, local_size_y = 16, local_size_z = 1) in;

layout(binding = 0) uniform sampler2D texView0;
layout(binding = 1) uniform sampler2D texView1;
layout(binding = 2) uniform sampler2D texView2;
layout(binding = 3) uniform sampler2D texView3;
layout(binding = 4) uniform sampler2D texView4;
layout(binding = 5) writeonly uniform image2D imgTarget;
uniform vec2 vInvImgSize;

float Channel(int iView, vec2 uv, int c)
{
    // A switch, not an array of samplers: every view is a uniform of its own.
    ivec2 q;
    switch (iView) {
    case 0: q = min(ivec2(uv * vec2(textureSize(texView0, 0))), textureSize(texView0, 0) - 1); return texelFetch(texView0, q, 0)[c];
    case 1: q = min(ivec2(uv * vec2(textureSize(texView1, 0))), textureSize(texView1, 0) - 1); return texelFetch(texView1, q, 0)[c];
    case 2: q = min(ivec2(uv * vec2(textureSize(texView2, 0))), textureSize(texView2, 0) - 1); return texelFetch(texView2, q, 0)[c];
    case 3: q = min(ivec2(uv * vec2(textureSize(texView3, 0))), textureSize(texView3, 0) - 1); return texelFetch(texView3, q, 0)[c];
    default: q = min(ivec2(uv * vec2(textureSize(texView4, 0))), textureSize(texView4, 0) - 1); return texelFetch(texView4, q, 0)[c];
    }
}

void main()
{
    ivec2 p = ivec2(gl_GlobalInvocationID.xy);
    ivec2 size = imageSize(imgTarget);
    if (any(greaterThanEqual(p, size)))
        return;
    vec2 uv = (vec2(p) + 0.5) * vInvImgSize;
    int yTop = size.y - 1 - p.y;
    vec4 colour = vec4(0.0, 0.0, 0.0, 1.0);
    for (int c = 0; c < 3; ++c)
        colour[c] = Channel((3 * p.x + c + yTop) % 5, uv, c);
    imageStore(imgTarget, p, colour);
}
