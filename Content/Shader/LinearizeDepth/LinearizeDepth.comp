#version 430
// Linear depth: for each texel of the target, the window depth d in [0, 1]
// (red channel of "sampTexture" at the same texel) of an OpenGL perspective
// projection with near Near and far Far becomes the eye-space distance along
// the view axis, raw (not divided by Far) and positive:
//     z = 2 Near Far / (Far + Near - (2 d - 1) (Far - Near)),
// written as (z, z, z, 1); z depends on near and far only, so an off-centre
// frustum gives the same result as a symmetric one. Locations 0 and 3 (the
// frustum's extent and centre) are not used here; they are declared because
// the filter writes them along with near and far, and a write to an
// undeclared location is an error. The target is written through
// image unit 2; work groups are 16 x 16 and invocations outside the target do
// nothing.
//
// The target is declared writeonly without a format qualifier, which GLSL
// allows for write-only images since 4.20 (so every GL 4.3 driver, llvmpipe
// included, takes it): one declaration stores into whatever float or
// normalised format the filter binds the target in, always its own. The filter refuses integer
// targets, which need an integer image type.

layout(local_size_x = 16, local_size_y = 16, local_size_z = 1) in;

#pragma ONDO_PORT_UNIFORM(sampTexture,"Depth Texture");
uniform sampler2D sampTexture;

layout(location = 0) uniform vec2 Frustum; // unused, see above
layout(location = 1) uniform float Near;
layout(location = 2) uniform float Far;
layout(location = 3) uniform vec2 Centre; // unused, see above

layout(binding = 2) writeonly uniform image2D imgTarget;

void main()
{
    ivec2 p = ivec2(gl_GlobalInvocationID.xy);
    if (any(greaterThanEqual(p, imageSize(imgTarget))))
        return;
    float d = texelFetch(sampTexture, min(p, textureSize(sampTexture, 0) - 1), 0).r;
    float z = 2.0 * Near * Far / (Far + Near - (2.0 * d - 1.0) * (Far - Near));
    imageStore(imgTarget, p, vec4(vec3(z), 1.0));
}
