#version 430
// Log luminance: for the input texel at the same position (an input smaller
// than the target repeats its edge texels)
//   L = 0.2126 R + 0.7152 G + 0.0722 B        (Rec. 709, negative L taken as 0)
//   v = clamp((log2(L + 1e-4) + 13.3) / 17.3, 0, 1)
// so that log2 values from -13.3 (L = 0) to 4 (L about 16) map linearly onto
// [0, 1], which every target format holds (8-bit ones included), and every
// reader decodes alike. The texel written is
// (v, v, v, 1); the log2 luminance is v * 17.3 - 13.3.
// The input takes texture unit 0, so the target is written through the next
// free unit, image unit 1; work groups are 16 x 16 and
// invocations outside the target do nothing.
//
// The target is declared writeonly without a format qualifier, which GLSL
// allows for write-only images since 4.20 (so every GL 4.3 driver, llvmpipe
// included, takes it): one declaration stores into whatever float or
// normalised format the filter binds the target in, always its own. The filter refuses integer
// targets, which need an integer image type.

layout(local_size_x = 16, local_size_y = 16, local_size_z = 1) in;

#pragma ONDO_PORT_UNIFORM(texImage,"Image");
uniform sampler2D texImage;

layout(binding = 1) writeonly uniform image2D imgTarget;

const vec3 c_Rec709 = vec3(0.2126, 0.7152, 0.0722);
const float c_fLogMin = -13.3;
const float c_fLogMax = 4.0;

void main()
{
    ivec2 p = ivec2(gl_GlobalInvocationID.xy);
    if (any(greaterThanEqual(p, imageSize(imgTarget))))
        return;
    vec3 c = texelFetch(texImage, min(p, textureSize(texImage, 0) - 1), 0).rgb;
    float fL = max(dot(c, c_Rec709), 0.0);
    float fV = clamp((log2(fL + 1e-4) - c_fLogMin) / (c_fLogMax - c_fLogMin), 0.0, 1.0);
    imageStore(imgTarget, p, vec4(vec3(fV), 1.0));
}
