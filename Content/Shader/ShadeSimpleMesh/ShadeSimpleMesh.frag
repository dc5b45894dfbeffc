#version 430 core
// Lights a mesh with one light and the material of its group, Blinn-Phong,
// in world space.
//
// Reads: the interpolated world position and normal; CameraPosition (the eye
// in world space); u_Material (the group's colours and shininess);
// LightSources[0] (in world space).
// Writes "Colour" (location 0, a float or normalised target), where the
// depth test passes:
//   rgb = emission + att * spot * colour * (ambient + diffuse * max(N.L, 0)
//                                           + specular * pow(max(N.H, 0), shininess))
//   a   = diffuse alpha,
// with L the unit vector to the light, V to the eye, H = normalize(L + V)
// and the specular term only where N.L > 0. Light types: 0 directional
// (m_vPosition.xyz points towards the light, att = 1), 1 point and 2 spot
// (at m_vPosition.xyz / w, att = 1 / (c + l d + q d^2) from m_vAttenuation
// and the distance d); a spot light gives nothing outside the cone of
// m_fSpotCutoff degrees around m_vSpotDirection (180: no cone), so there
// only the emission is left.

#pragma ONDO_PORT_SURFACE(o_Colour,"Colour-Target","Colour")

in VertexData
{
    vec3 WorldPosition;
    vec3 WorldNormal;
} In;

struct Material {
    vec4 m_vEmission;
    vec4 m_vAmbient;
    vec4 m_vDiffuse;
    vec4 m_vSpecular;
    float m_fShininess;
};
uniform Material u_Material;
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

layout(location = 0) out vec4 o_Colour;

vec3 BlinnPhong(vec3 P, vec3 N)
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
    vec3 vLit = u_Material.m_vAmbient.rgb;
    float fLambert = dot(N, L);
    if (fLambert > 0.0) {
        vec3 H = normalize(L + normalize(CameraPosition - P));
        vLit += u_Material.m_vDiffuse.rgb * fLambert +
                u_Material.m_vSpecular.rgb * pow(max(dot(N, H), 0.0), u_Material.m_fShininess);
    }
    return fAttenuation * light.m_vColor.rgb * vLit;
}

void main()
{
    vec3 N = normalize(In.WorldNormal);
    o_Colour = vec4(u_Material.m_vEmission.rgb + BlinnPhong(In.WorldPosition, N), u_Material.m_vDiffuse.a);
}
