#version 430
// Screen-space ambient occlusion from a G-buffer of world-space positions
// and normals. The output is 1 - occlusion: 1 where nothing occludes the
// surface, towards 0 where much does; the filter multiplies it into the
// colour texture by blending (GL_DST_COLOR, GL_ZERO), so 1 leaves the colour
// as it is. Alpha is output as 1 and so stays as it was.
//
// Interface (fixed locations; the filter sets them without looking anything
// up):
//   uniform 0        float      fDMax: how far an occluder may be from the
//                               surface (world units), and the radius of the
//                               sampled hemisphere
//   uniform 1        int        the number of samples, 1 to 64
//   uniform 2        float      tan(field of view / 2), the vertical one
//   uniform 3        mat4       view matrix, world to view space (rigid;
//                               column-major, not transposed)
//   texture unit 0   sampler2D  world-space position in xyz ("WorldSpace")
//   texture unit 1   sampler2D  world-space normal in xyz ("Normal")
//   output 0         vec4       (1 - occlusion) in rgb, 1 in alpha
// Both textures are read with nearest filtering, clamped to the edge. A
// texel whose normal has (almost) no length holds no surface (a G-buffer
// cleared to zero): it is not darkened and occludes nothing.
//
// For a surface point P with normal N (both taken to view space):
// 1. Samples S = P + r d in the hemisphere around N: directions d spread
//    evenly (a golden-angle spiral, cosine-weighted, never closer than
//    MIN_ELEVATION_COS to the tangent plane) and turned about N by an angle
//    that depends on the texel only (interleaved gradient noise), so
//    neighbouring texels sample differently and the result does not change
//    from run to run; distances r from 0.1 to 1 times fDMax, more of them
//    near P.
// 2. Each S is projected like the camera does (perspective with the vertical
//    tan(fov / 2), the aspect ratio of the position texture) to the texel
//    that shows what lies on the ray through S; its position Q is the
//    visible surface there. Samples off the screen or behind the eye count
//    as not occluded.
// 3. S is occluded when Q lies in front of it (nearer the eye by more than
//    DEPTH_BIAS times the distance), Q rises above the tangent plane of P
//    (by more than ANGLE_BIAS times |Q - P|: a flat surface, of any slant,
//    never occludes itself however coarsely its texels sample it), and Q is
//    within fDMax of P (a surface far in front, across a silhouette, casts
//    no occlusion).
// 4. Occlusion is the occluded share of the samples.

layout(location = 0) uniform float fDMax;
layout(location = 1) uniform int iNumSamples;
layout(location = 2) uniform float fTanHalfFov;
layout(location = 3) uniform mat4 View;

layout(binding = 0) uniform sampler2D texPosition;
layout(binding = 1) uniform sampler2D texNormal;

in vec2 v_TexCoord;

layout(location = 0) out vec4 o_Occlusion;

const int MAX_SAMPLES = 64;
// Cosine of the largest angle between a sample direction and the normal.
const float MIN_ELEVATION_COS = 0.3;
// An occluder must be this much nearer the eye than the sample, relative to
// the sample's distance: covers the precision of stored positions.
const float DEPTH_BIAS = 0.002;
// An occluder must rise this much above the tangent plane, relative to its
// distance from P (about 3 degrees).
const float ANGLE_BIAS = 0.05;
const float GOLDEN_ANGLE = 2.39996323;
const float TWO_PI = 6.28318531;

// A value in [0, 1) per window texel, the same on every run.
float InterleavedGradientNoise(vec2 p)
{
    return fract(52.9829189 * fract(dot(p, vec2(0.06711056, 0.00583715))));
}

// The i-th value of the base-2 van der Corput sequence.
float RadicalInverse(uint i)
{
    return float(bitfieldReverse(i)) * 2.3283064365386963e-10;
}

bool HoldsSurface(vec2 uv, out vec3 normal)
{
    normal = texture(texNormal, uv).xyz;
    return dot(normal, normal) > 0.25;
}

void main()
{
    vec3 worldNormal;
    if (!HoldsSurface(v_TexCoord, worldNormal)) {
        o_Occlusion = vec4(1.0);
        return;
    }
    vec3 P = (View * vec4(texture(texPosition, v_TexCoord).xyz, 1.0)).xyz;
    vec3 N = normalize(mat3(View) * worldNormal);
    // Any two unit vectors perpendicular to N and to each other.
    vec3 helper = abs(N.z) < 0.9 ? vec3(0.0, 0.0, 1.0) : vec3(1.0, 0.0, 0.0);
    vec3 T = normalize(cross(helper, N));
    vec3 B = cross(N, T);

    vec2 size = vec2(textureSize(texPosition, 0));
    vec2 halfExtent = vec2(fTanHalfFov * size.x / size.y, fTanHalfFov);
    float rotation = TWO_PI * InterleavedGradientNoise(gl_FragCoord.xy);
    int count = clamp(iNumSamples, 1, MAX_SAMPLES);
    float occluded = 0.0;
    for (int i = 0; i < count; ++i) {
        float u = (float(i) + 0.5) / float(count);
        float cosTheta = sqrt(1.0 - u * (1.0 - MIN_ELEVATION_COS * MIN_ELEVATION_COS));
        float sinTheta = sqrt(1.0 - cosTheta * cosTheta);
        float phi = float(i) * GOLDEN_ANGLE + rotation;
        vec3 d = sinTheta * (cos(phi) * T + sin(phi) * B) + cosTheta * N;
        float spread = RadicalInverse(uint(i));
        float r = mix(0.1, 1.0, spread * spread) * fDMax;
        vec3 S = P + r * d;
        if (S.z >= 0.0)
            continue;
        vec2 uv = S.xy / (-S.z * halfExtent) * 0.5 + 0.5;
        vec3 unused;
        if (any(lessThan(uv, vec2(0.0))) || any(greaterThan(uv, vec2(1.0))) || !HoldsSurface(uv, unused))
            continue;
        vec3 Q = (View * vec4(texture(texPosition, uv).xyz, 1.0)).xyz;
        vec3 v = Q - P;
        bool bInFront = Q.z > S.z - DEPTH_BIAS * S.z;
        bool bAbovePlane = dot(v, N) > ANGLE_BIAS * length(v);
        if (bInFront && bAbovePlane && length(v) <= fDMax)
            occluded += 1.0;
    }
    o_Occlusion = vec4(vec3(1.0 - occluded / float(count)), 1.0);
}
