#version 430
// Fast approximate anti-aliasing (FXAA), after the published description of
// the algorithm: find the texels that lie on a visible edge, find out which
// way the edge runs and where it ends, and replace the texel by a bilinear
// sample of the input moved across the edge by as much as the texel is
// covered by the other side.
//
// Interface: the input on texture unit 0 (read bilinearly, clamped to the
// edge), its reciprocal size (1 / width, 1 / height) at uniform location 0;
// the viewport covers the input, so a fragment's window position times
// RcpFrame is its texture coordinate. The result goes to output location 0.
//
// For each texel:
// 1. Luma is brightness as the eye weighs it, from RGB with the Rec. 601
//    weights (0.299, 0.587, 0.114). Alpha plays no part and is carried along.
// 2. Local contrast: the range of luma over the texel and its four direct
//    neighbours. Below max(EDGE_THRESHOLD_MIN, EDGE_THRESHOLD_MAX * brightest
//    luma) the texel is no edge and is written unchanged: flat and smooth
//    areas pass exactly, and dark areas, where the eye sees little, are left
//    alone.
// 3. Direction: second differences of luma over the 3 x 3 neighbourhood
//    across rows and across columns; the edge runs horizontally when the
//    change across rows (vertically) is the larger. Of the two neighbours
//    across the edge, the one with the steeper luma step is the other side.
// 4. Search: from the middle of the edge (half a texel towards the other
//    side) walk along the edge in both directions, SEARCH_STEPS steps of
//    growing length (SEARCH_STEP_SIZES), until the luma there departs from
//    the edge's average by at least a quarter of the step across it: the two
//    ends of the edge.
// 5. Edge blend: of the two ends, the nearer one decides. If the texel lies
//    on the side of the edge that this end turns to, it is moved across the
//    edge by 0.5 - distance / edge length texels (the staircase of a slanted
//    edge becomes a ramp); otherwise not at all.
// 6. Sub-pixel aliasing: how far the texel's luma is from the average of its
//    3 x 3 neighbourhood (weighted 2 for direct, 1 for diagonal neighbours),
//    relative to the local range, through a smoothstep and squared, times
//    SUBPIXEL_QUALITY. A lone bright or dark texel (a detail smaller than a
//    texel) is blended with its surroundings by that much. The larger of
//    the two blends is taken.
// 7. The result is the bilinear sample of the input at the texel centre
//    moved across the edge by that blend.

// Contrast below which a texel is never treated as an edge (1/32: even a
// contrasty edge in near black is invisible).
const float EDGE_THRESHOLD_MIN = 0.0312;
// Contrast, relative to the brightest luma around, below which a texel is
// not treated as an edge (1/8).
const float EDGE_THRESHOLD_MAX = 0.125;
// How much of the sub-pixel blend is applied: 0 none, 1 full softness.
const float SUBPIXEL_QUALITY = 0.75;
// Steps of the edge-end search in each direction, and their lengths in
// texels: fine near the texel, coarse farther out.
const int SEARCH_STEPS = 12;
const float SEARCH_STEP_SIZES[SEARCH_STEPS] = float[](1.0, 1.0, 1.0, 1.0, 1.0, 1.5, 2.0, 2.0, 2.0, 2.0, 4.0, 8.0);

layout(binding = 0) uniform sampler2D texInput;
layout(location = 0) uniform vec2 RcpFrame;

layout(location = 0) out vec4 o_Color;

// The texel at p, clamped to the edge.
vec4 Texel(ivec2 p)
{
    return texelFetch(texInput, clamp(p, ivec2(0), textureSize(texInput, 0) - 1), 0);
}

// A bilinear sample of the input, filtered here from the four texels around
// uv. The filter's sampler filters anisotropically, and some drivers (Mesa's
// llvmpipe) then blur even reads at texel centres with explicit gradients;
// filtering in the shader makes every read exact wherever it runs.
vec4 Sample(vec2 uv)
{
    vec2 p = uv * vec2(textureSize(texInput, 0)) - 0.5;
    ivec2 i = ivec2(floor(p));
    vec2 f = p - floor(p);
    return mix(mix(Texel(i), Texel(i + ivec2(1, 0)), f.x), mix(Texel(i + ivec2(0, 1)), Texel(i + ivec2(1, 1)), f.x), f.y);
}

float Luma(vec3 rgb)
{
    return dot(rgb, vec3(0.299, 0.587, 0.114));
}

float LumaAt(vec2 uv)
{
    return Luma(Sample(uv).rgb);
}

float LumaAtOffset(ivec2 p, ivec2 offset)
{
    return Luma(Texel(p + offset).rgb);
}

void main()
{
    vec2 uv = gl_FragCoord.xy * RcpFrame;
    ivec2 p = ivec2(gl_FragCoord.xy);
    // The texel itself, exactly: what a texel that is no edge keeps.
    vec4 centre = Texel(p);

    // 2. Local contrast.
    float lumaC = Luma(centre.rgb);
    float lumaN = LumaAtOffset(p, ivec2(0, 1));
    float lumaS = LumaAtOffset(p, ivec2(0, -1));
    float lumaE = LumaAtOffset(p, ivec2(1, 0));
    float lumaW = LumaAtOffset(p, ivec2(-1, 0));
    float lumaMin = min(lumaC, min(min(lumaN, lumaS), min(lumaE, lumaW)));
    float lumaMax = max(lumaC, max(max(lumaN, lumaS), max(lumaE, lumaW)));
    float lumaRange = lumaMax - lumaMin;
    if (lumaRange < max(EDGE_THRESHOLD_MIN, lumaMax * EDGE_THRESHOLD_MAX)) {
        o_Color = centre;
        return;
    }

    // 3. Direction.
    float lumaNE = LumaAtOffset(p, ivec2(1, 1));
    float lumaNW = LumaAtOffset(p, ivec2(-1, 1));
    float lumaSE = LumaAtOffset(p, ivec2(1, -1));
    float lumaSW = LumaAtOffset(p, ivec2(-1, -1));
    float lumaNS = lumaN + lumaS;
    float lumaWE = lumaW + lumaE;
    float lumaWestCorners = lumaNW + lumaSW;
    float lumaEastCorners = lumaNE + lumaSE;
    float lumaNorthCorners = lumaNW + lumaNE;
    float lumaSouthCorners = lumaSW + lumaSE;
    float changeAcrossRows = abs(-2.0 * lumaW + lumaWestCorners) + 2.0 * abs(-2.0 * lumaC + lumaNS) +
                             abs(-2.0 * lumaE + lumaEastCorners);
    float changeAcrossColumns = abs(-2.0 * lumaN + lumaNorthCorners) + 2.0 * abs(-2.0 * lumaC + lumaWE) +
                                abs(-2.0 * lumaS + lumaSouthCorners);
    bool bHorizontal = changeAcrossRows >= changeAcrossColumns;

    float lumaBefore = bHorizontal ? lumaS : lumaW;
    float lumaAfter = bHorizontal ? lumaN : lumaE;
    float gradientBefore = lumaBefore - lumaC;
    float gradientAfter = lumaAfter - lumaC;
    bool bBeforeSteeper = abs(gradientBefore) >= abs(gradientAfter);
    float gradientScaled = 0.25 * max(abs(gradientBefore), abs(gradientAfter));
    // The step across the edge, towards the other side.
    float stepAcross = bHorizontal ? RcpFrame.y : RcpFrame.x;
    float lumaLocalAverage;
    if (bBeforeSteeper) {
        stepAcross = -stepAcross;
        lumaLocalAverage = 0.5 * (lumaBefore + lumaC);
    } else {
        lumaLocalAverage = 0.5 * (lumaAfter + lumaC);
    }

    // 4. Search along the edge, from its middle.
    vec2 uvEdge = uv;
    if (bHorizontal)
        uvEdge.y += 0.5 * stepAcross;
    else
        uvEdge.x += 0.5 * stepAcross;
    vec2 stepAlong = bHorizontal ? vec2(RcpFrame.x, 0.0) : vec2(0.0, RcpFrame.y);
    vec2 uvNegative = uvEdge - stepAlong;
    vec2 uvPositive = uvEdge + stepAlong;
    float lumaEndNegative = LumaAt(uvNegative) - lumaLocalAverage;
    float lumaEndPositive = LumaAt(uvPositive) - lumaLocalAverage;
    bool bReachedNegative = abs(lumaEndNegative) >= gradientScaled;
    bool bReachedPositive = abs(lumaEndPositive) >= gradientScaled;
    for (int i = 0; i < SEARCH_STEPS && !(bReachedNegative && bReachedPositive); ++i) {
        if (!bReachedNegative) {
            uvNegative -= SEARCH_STEP_SIZES[i] * stepAlong;
            lumaEndNegative = LumaAt(uvNegative) - lumaLocalAverage;
            bReachedNegative = abs(lumaEndNegative) >= gradientScaled;
        }
        if (!bReachedPositive) {
            uvPositive += SEARCH_STEP_SIZES[i] * stepAlong;
            lumaEndPositive = LumaAt(uvPositive) - lumaLocalAverage;
            bReachedPositive = abs(lumaEndPositive) >= gradientScaled;
        }
    }

    // 5. Edge blend from the nearer end.
    float distanceNegative = bHorizontal ? uv.x - uvNegative.x : uv.y - uvNegative.y;
    float distancePositive = bHorizontal ? uvPositive.x - uv.x : uvPositive.y - uv.y;
    bool bNegativeNearer = distanceNegative < distancePositive;
    float distanceNearest = min(distanceNegative, distancePositive);
    float edgeLength = distanceNegative + distancePositive;
    float lumaEndNearest = bNegativeNearer ? lumaEndNegative : lumaEndPositive;
    // The nearer end lies on one side of the edge's average luma; the texel
    // is moved only when it lies on the other side, under the part of the
    // staircase that the ramp covers.
    bool bCentreDarker = lumaC < lumaLocalAverage;
    float edgeBlend = ((lumaEndNearest < 0.0) != bCentreDarker) ? 0.5 - distanceNearest / edgeLength : 0.0;

    // 6. Sub-pixel aliasing.
    float lumaAverage = (2.0 * (lumaNS + lumaWE) + lumaWestCorners + lumaEastCorners) / 12.0;
    float subpixel = clamp(abs(lumaAverage - lumaC) / lumaRange, 0.0, 1.0);
    subpixel = (-2.0 * subpixel + 3.0) * subpixel * subpixel;
    float subpixelBlend = subpixel * subpixel * SUBPIXEL_QUALITY;

    // 7. The sample moved across the edge.
    float blend = max(edgeBlend, subpixelBlend);
    vec2 uvFinal = uv;
    if (bHorizontal)
        uvFinal.y += blend * stepAcross;
    else
        uvFinal.x += blend * stepAcross;
    o_Color = Sample(uvFinal);
}
