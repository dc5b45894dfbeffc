#version 430
// View-space normals from depth.
//
// Output (location 0, the target): the unit normal of the surface seen at the
// texel, in view space (x right, y up, the camera looking down -z), signed,
// in xyz, and 1 in w. It always faces the camera (its dot product with the
// direction from the surface to the eye is not negative). The values are
// signed, so the target must be a float texture (GL_RGBA16F, GL_RGBA32F); the
// filter refuses others.
//
// Each texel's view-space position is reconstructed from the window depth d
// in [0, 1] (red channel of "Depth Texture" at the same texel, which has the
// target's size) of an OpenGL perspective projection with near Near and far
// Far, exactly as the view-space position filter does:
//     z = 2 Near Far / (Far + Near - (2 d - 1) (Far - Near)),
//     position = (-Frustum.x (nx + Centre.x) z, Frustum.y (ny + Centre.y) z, -z)
// with (nx, ny) the texel centre in normalised device coordinates; Frustum
// is (-1 / P[0][0], 1 / P[1][1]) and Centre (P[2][0], P[2][1]) of the
// projection P (zero for a symmetric frustum, the shift of an off-centre
// one), as the filter writes them.
//
// Along x and along y the tangent is the central difference where the
// surface runs on smoothly through the texel: the changes of depth to the
// next texel and from the previous one differ by at most half the larger, or
// by at most 5 % of the texel's own depth (a ridge or a valley, where the two
// change sign); it follows curved surfaces to second order. Otherwise it is the one-sided
// difference that changes depth less: at a silhouette the texel across the
// edge lies on another surface, and taking it would smear the normal of the
// background into the object's rim (and back). At the border of the texture
// the one neighbour there is is taken. The normal is the
// normalised cross product of the two tangents; where it has no length (a
// texture one texel wide) it is (0, 0, 1).

#pragma ONDO_PORT_UNIFORM(texDepth,"Depth Texture")
uniform sampler2D texDepth;

layout(location = 0) uniform vec2 Frustum;
layout(location = 1) uniform float Near;
layout(location = 2) uniform float Far;
layout(location = 3) uniform vec2 Centre;

layout(location = 0) out vec4 o_Normal;

vec3 ViewPosition(ivec2 p, vec2 size)
{
    float d = texelFetch(texDepth, p, 0).r;
    float z = 2.0 * Near * Far / (Far + Near - (2.0 * d - 1.0) * (Far - Near));
    vec2 ndc = (vec2(p) + 0.5) / size * 2.0 - 1.0;
    return vec3(-Frustum.x * (ndc.x + Centre.x) * z, Frustum.y * (ndc.y + Centre.y) * z, -z);
}

// The tangent along step: central, forward or backward difference.
vec3 Tangent(ivec2 p, ivec2 step, ivec2 size, vec3 centre)
{
    bool hasBackward = all(greaterThanEqual(p - step, ivec2(0)));
    bool hasForward = all(lessThan(p + step, size));
    vec3 forward = hasForward ? ViewPosition(p + step, vec2(size)) - centre : vec3(0.0);
    vec3 backward = hasBackward ? centre - ViewPosition(p - step, vec2(size)) : vec3(0.0);
    if (!hasForward)
        return backward;
    if (!hasBackward)
        return forward;
    float changeForward = abs(forward.z), changeBackward = abs(backward.z);
    float bend = abs(forward.z - backward.z);
    if (bend <= 0.5 * max(changeForward, changeBackward) || bend <= 0.05 * abs(centre.z))
        return 0.5 * (forward + backward);
    return changeForward <= changeBackward ? forward : backward;
}

void main()
{
    ivec2 size = textureSize(texDepth, 0);
    ivec2 p = ivec2(gl_FragCoord.xy);
    vec3 centre = ViewPosition(p, vec2(size));
    vec3 n = cross(Tangent(p, ivec2(1, 0), size, centre), Tangent(p, ivec2(0, 1), size, centre));
    float fLength = length(n);
    n = fLength > 0.0 ? n / fLength : vec3(0.0, 0.0, 1.0);
    // The eye is at the origin of view space.
    if (dot(n, centre) > 0.0)
        n = -n;
    o_Normal = vec4(n, 1.0);
}
