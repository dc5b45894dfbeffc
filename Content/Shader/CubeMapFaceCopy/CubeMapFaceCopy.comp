#version 430
// Cube-face copy: each target texel p becomes the face, seen through a 2D
// view of its level 0, filtered at the target texel's centre,
// (p + 0.5) * invFrame in normalised coordinates (invFrame = 1 / the target's
// size), through the sampler bound to unit 0; a target of another size than
// the face resamples it. The face's rows keep the cube map's order: its t = 0
// row, the top of the face seen from the cube's centre, lands in row 0.
// The view is read at texture unit 0, the target written through image
// unit 1; work groups are 16 x 16 and invocations outside the target do
// nothing.
//
// The target is declared writeonly without a format qualifier (allowed for
// write-only images since GLSL 4.20): one declaration stores into whatever
// float or normalised format the filter binds the target in, always its own.
// The filter refuses integer targets, which need an integer image type.

layout(local_size_x = 16, local_size_y = 16, local_size_z = 1) in;

layout(binding = 0) uniform sampler2D texFace;
layout(binding = 1) writeonly uniform image2D imgTarget;
uniform vec2 invFrame;

void main()
{
    ivec2 p = ivec2(gl_GlobalInvocationID.xy);
    if (any(greaterThanEqual(p, imageSize(imgTarget))))
        return;
    imageStore(imgTarget, p, textureLod(texFace, (vec2(p) + 0.5) * invFrame, 0.0));
}
