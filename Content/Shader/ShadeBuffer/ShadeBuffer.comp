#version 430
// Lights a G-buffer with one light, Blinn-Phong, in place.
//
// Reads: "Position" (xyz: the surface point, w: 1 where a surface was drawn,
// 0 elsewhere), "Normal" (xyz: the surface normal) and "Diffuse" (rgba: the
// surface colour), all texel for texel with the target; CameraPosition (the
// eye, in the space of the G-buffer's positions); Shininess at location 0
// (the Blinn-Phong exponent); LightSources[0] (given in that space too).
// Writes: the target at image unit 3 (RGBA8), in place: where no surface was
// drawn the target keeps its texel (the clear colour), elsewhere
//   rgb = att * spot * colour * (diffuse * max(N.L, 0) + pow(max(N.H, 0), Shininess))
//   a   = diffuse alpha,
// with L the unit vector to the light, V to the eye, H = normalize(L + V)
// and the specular term only where N.L > 0. Light types: 0 directional
// (m_vPosition.xyz points towards the light, att = 1), 1 point and 2 spot
// (at m_vPosition.xyz / w, att = 1 / (c + l d + q d^2) from m_vAttenuation
// and the distance d); a spot light gives nothing outside the cone of
// m_fSpotCutoff degrees around m_vSpotDirection (180: no cone). There is no
// ambient term: what no light reaches is black.

layout(local_size_x = 16, local_size_y = 16, local_size_z = 1) in;

#pragma ONDO_PORT_UNIFORM(texPosition,"Position")
#pragma ONDO_PORT_UNIFORM(texNormal,"Normal")
#pragma ONDO_PORT_UNIFORM(texDiffuse,"Diffuse")
uniform sampler2D texPosition;
uniform sampler2D texNormal;
uniform sampler2D texDiffuse;

layout(location = 0) uniform float Shininess;
uniform vec3 CameraPosition;

struct LightSource {
    int m_iLightType;
    vec4 m_vPosition;
    vec4 m_vColor;
    vec3 m_vAttenuation;
    float m_fSpotCutoff;
    vec3 m_vSpotDirection;
};
uniform LightSource LightSources[1];

layout(binding = 3, rgba8) writeonly uniform image2D imgTarget;

vec3 BlinnPhong(vec3 P, vec3 N, vec3 vDiffuse)
{
    LightSource light = LightSources[0];
    vec3 L;
    float fAttenuation = 1.0;
    if (light.m_iLightType == 0 || light.m_vPosition.w == 0.0) {
        L = normalize(light.m_vPosition.xyz);
    } else {
        L = light.m_vPosition.xyz / light.m_vPosition.w - P;
        float d = length(L);
        L /= d;
        fAttenuation = 1.0 / max(dot(light.m_vAttenuation, vec3(1.0, d, d * d)), 1e-6);
        if (light.m_iLightType == 2 && light.m_fSpotCutoff < 180.0 &&
            dot(-L, normalize(light.m_vSpotDirection)) < cos(radians(light.m_fSpotCutoff)))
            return vec3(0.0);
    }
    float fLambert = dot(N, L);
    if (fLambert <= 0.0)
        return vec3(0.0);
    vec3 H = normalize(L + normalize(CameraPosition - P));
    float fSpecular = pow(max(dot(N, H), 0.0), Shininess);
    return fAttenuation * light.m_vColor.rgb * (vDiffuse * fLambert + fSpecular);
}

void main()
{
    ivec2 p = ivec2(gl_GlobalInvocationID.xy);
    if (any(greaterThanEqual(p, imageSize(imgTarget))))
        return;
    vec4 vPosition = texelFetch(texPosition, p, 0);
    if (vPosition.w == 0.0)
        return;
    vec4 vDiffuse = texelFetch(texDiffuse, p, 0);
    vec3 N = normalize(texelFetch(texNormal, p, 0).xyz);
    imageStore(imgTarget, p, vec4(BlinnPhong(vPosition.xyz, N, vDiffuse.rgb), vDiffuse.a));
}
