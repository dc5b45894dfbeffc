#version 430
// View-space position from depth: for each texel of the target, the window
// depth d in [0, 1] (red channel of the depth texture at the same texel) of an
// OpenGL perspective projection with near Near and far Far gives the linear
// distance along the view axis
//     z = 2 Near Far / (Far + Near - (2 d - 1) (Far - Near)),
// and the texel centre's normalised device coordinates (nx, ny) in [-1, 1]
// (from the target's size) give the position
//     (-Frustum.x * (nx + Centre.x) * z, Frustum.y * (ny + Centre.y) * z, -z),
// written as xyz with w = 1. Frustum is (-1 / P[0][0], 1 / P[1][1]) of the
// projection P, the half extent of the frustum at unit distance (x negated),
// and Centre is (P[2][0], P[2][1]), zero for a symmetric frustum and the
// off-centre shift of an asymmetric one (glFrustum with left != -right), as
// the filter derives them from the projection matrix. The target is written
// through image unit 2; work groups are 16 x 16 and invocations outside the
// target do nothing.
//
// The target is declared writeonly without a format qualifier, which GLSL
// allows for write-only images since 4.20 (so every GL 4.3 driver, llvmpipe
// included, takes it): one declaration stores into whatever float or
// normalised format the filter binds the target in, always its own. The filter refuses integer
// targets, which need an integer image type.

layout(local_size_x = 16, local_size_y = 16, local_size_z = 1) in;

#pragma ONDO_PORT_UNIFORM(texDepth,"Depth Texture");
uniform sampler2D texDepth;

layout(location = 0) uniform vec2 Frustum;
layout(location = 1) uniform float Near;
layout(location = 2) uniform float Far;
layout(location = 3) uniform vec2 Centre;

layout(binding = 2) writeonly uniform image2D imgTarget;

void main()
{
    ivec2 p = ivec2(gl_GlobalInvocationID.xy);
    ivec2 size = imageSize(imgTarget);
    if (any(greaterThanEqual(p, size)))
        return;
    float d = texelFetch(texDepth, min(p, textureSize(texDepth, 0) - 1), 0).r;
    float z = 2.0 * Near * Far / (Far + Near - (2.0 * d - 1.0) * (Far - Near));
    vec2 ndc = (vec2(p) + 0.5) / vec2(size) * 2.0 - 1.0;
    imageStore(imgTarget, p, vec4(-Frustum.x * (ndc.x + Centre.x) * z, Frustum.y * (ndc.y + Centre.y) * z, -z, 1.0));
}
