#version 430
// Ambient occlusion estimated from a view-space depth and normal texture.
//
// Inputs: "Depth" holds in R the view-space depth d > 0 (distance in front of
// the camera, as a linearised depth buffer gives it; d <= 0 marks background,
// which is not occluded); "Normals" holds in RGB the signed view-space normal
// (a surface facing the camera has +Z). "Radius" (texels, 4 when unconnected)
// is the sampling disc; "Texel Size" (0.002 when unconnected) is the
// view-space width of one texel at depth 1, i.e. 2 tan(fovY / 2) / height.
//
// Method: every texel q is placed in view space as
//   P(q) = ((q + 0.5 - size / 2) * TexelSize * d(q), -d(q)).
// For the centre p with normal n and each of 8 fixed offsets o on the unit
// disc (4 along the axes at full radius, 4 diagonal at half radius) the
// neighbour q = p + round(o * Radius), clamped to the depth texture, gives
// D = P(q) - P(p) and the occlusion
//   max(dot(n, D) / |D| - 0.1, 0) * r^2 / (r^2 + |D|^2),   r = Radius * TexelSize * d(p):
// neighbours that rise above the centre's tangent plane occlude it, less the
// farther they are compared with the disc's view-space radius (so a distant
// foreground object casts no halo). AO = clamp(1 - sum / 8, 0, 1): 1 means
// unoccluded; flat, camera-facing surfaces get exactly 1.
// The target texel is (AO, AO, AO, 1); a target larger than the depth texture
// repeats its edge texels. The target is written through image unit 2; work
// groups are 16 x 16 and invocations outside the target do nothing.
//
// The target is declared writeonly without a format qualifier, which GLSL
// allows for write-only images since 4.20 (so every GL 4.3 driver, llvmpipe
// included, takes it): one declaration stores into whatever float or
// normalised format the filter binds the target in, always its own. The filter refuses integer
// targets, which need an integer image type.

layout(local_size_x = 16, local_size_y = 16, local_size_z = 1) in;

#pragma ONDO_PORT_UNIFORM(texDepth,"Depth");
#pragma ONDO_PORT_UNIFORM(texNormals,"Normals");
#pragma ONDO_PORT_UNIFORM(fRadius,"Radius");
#pragma ONDO_PORT_UNIFORM(fTexelSize,"Texel Size");
uniform sampler2D texDepth;
uniform sampler2D texNormals;
uniform float fRadius = 4.0;
uniform float fTexelSize = 0.002;

layout(binding = 2) writeonly uniform image2D imgTarget;

const int c_iSamples = 8;
const vec2 c_Disc[c_iSamples] = vec2[](vec2(1.0, 0.0), vec2(-1.0, 0.0), vec2(0.0, 1.0), vec2(0.0, -1.0),
                                       vec2(0.35355, 0.35355), vec2(-0.35355, 0.35355),
                                       vec2(0.35355, -0.35355), vec2(-0.35355, -0.35355));
const float c_fBias = 0.1;

vec3 ViewPosition(ivec2 q, ivec2 size)
{
    float fDepth = texelFetch(texDepth, q, 0).r;
    return vec3((vec2(q) + 0.5 - 0.5 * vec2(size)) * fTexelSize * fDepth, -fDepth);
}

void main()
{
    ivec2 p = ivec2(gl_GlobalInvocationID.xy);
    if (any(greaterThanEqual(p, imageSize(imgTarget))))
        return;
    ivec2 size = textureSize(texDepth, 0);
    ivec2 centre = min(p, size - 1);
    vec3 P = ViewPosition(centre, size);
    float fDepth = -P.z;
    float fAO = 1.0;
    if (fDepth > 0.0) {
        vec3 n = texelFetch(texNormals, min(centre, textureSize(texNormals, 0) - 1), 0).xyz;
        n /= max(length(n), 1e-6);
        float fR = fRadius * fTexelSize * fDepth;
        float fSum = 0.0;
        for (int i = 0; i < c_iSamples; ++i) {
            ivec2 q = clamp(centre + ivec2(round(c_Disc[i] * fRadius)), ivec2(0), size - 1);
            vec3 D = ViewPosition(q, size) - P;
            float fLength2 = dot(D, D);
            if (fLength2 < 1e-12)
                continue;
            fSum += max(dot(n, D) * inversesqrt(fLength2) - c_fBias, 0.0) * fR * fR / (fR * fR + fLength2);
        }
        fAO = clamp(1.0 - fSum / float(c_iSamples), 0.0, 1.0);
    }
    imageStore(imgTarget, p, vec4(vec3(fAO), 1.0));
}
