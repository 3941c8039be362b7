#include "preview/gl/PreviewShaderSource.h"

namespace PreviewShaderSource {

// A view is one triangle covering the whole target, with no vertex buffer; the overview is drawn
// in rectangles, two triangles each, one rectangle per instance. uv runs from (0, 0) at the
// top-left corner of the target to (1, 1) at the bottom-right.
const char* const vertex = R"glsl(

struct Uniforms {
    vec4 rotationFov;  // -pan, tilt, roll (radians), half width on the projection plane
    vec2 aspect;       // target height / width, sphere offset
};

uniform Uniforms uniforms;

out VertexOut {
    vec2 uv;
    // cos and sin of pan, tilt and roll: the same for every pixel, so taken once per vertex
    // rather than once per pixel (software renderers do not hoist them).
    flat vec3 cosines;
    flat vec3 sines;
#if WHOLE_SPHERE
    flat vec4 tint;
#endif
} vertexOut;

#if WHOLE_SPHERE
// Left, top, right and bottom in uv. Corners take these edges as they are, never a sum, so that
// neighbouring rectangles meet exactly and every pixel is drawn once.
layout(location = 0) in vec4 tile;
// The overlay's one colour over this rectangle (premultiplied), where it has one.
layout(location = 1) in vec4 tint;
#endif

void previewVertex() {
#if WHOLE_SPHERE
    const bvec2 corners[6] = bvec2[6](bvec2(false, false), bvec2(true, false), bvec2(false, true),
                                      bvec2(false, true), bvec2(true, false), bvec2(true, true));
    bvec2 corner = corners[gl_VertexID];
    vec2 uv = vec2(corner.x ? tile.z : tile.x, corner.y ? tile.w : tile.y);
    gl_Position = vec4(2.0 * uv.x - 1.0, 1.0 - 2.0 * uv.y, 0.0, 1.0);
    vertexOut.uv = uv;
    vertexOut.tint = tint;
#else
    const vec2 positions[3] = vec2[3](vec2(-1.0, -1.0), vec2(3.0, -1.0), vec2(-1.0, 3.0));
    const vec2 uvs[3] = vec2[3](vec2(0.0, 1.0), vec2(2.0, 1.0), vec2(0.0, -1.0));
    gl_Position = vec4(positions[gl_VertexID], 0.0, 1.0);
    vertexOut.uv = uvs[gl_VertexID];
#endif
    vertexOut.cosines = cos(uniforms.rotationFov.xyz);
    vertexOut.sines = sin(uniforms.rotationFov.xyz);
}

void main() {
    previewVertex();
}
)glsl";

// Final Cut Pro's Normal 360° mapping from a point of the view to the equirectangular source,
// then Y'CbCr to R'G'B' while sampling. The source is sampled with a sampler that repeats across
// longitude (the ±180° seam blends both edges) and clamps at the poles. Compiled once per kind of
// picture (see `variant`): software renderers run every side of a branch, even one on a uniform,
// so each variant holds only its own work.
const char* const fragment = R"glsl(
struct Uniforms {
    vec4 rotationFov;  // -pan, tilt, roll (radians), half width on the projection plane
    vec2 aspect;       // target height / width, sphere offset
};

uniform Uniforms uniforms;

uniform sampler2D lumaPlane;
uniform sampler2D chromaPlane;  // Cb and Cr interleaved
uniform mat3 yCbCrMatrix;
uniform vec3 yCbCrOffset;

in VertexOut {
    vec2 uv;
    flat vec3 cosines;
    flat vec3 sines;
#if WHOLE_SPHERE
    flat vec4 tint;
#endif
} vertexOut;

out vec4 fragmentColor;

#if WHOLE_SPHERE
// The nearest texel of each plane, unfiltered (the renderer binds a nearest sampler for this
// pass): the overview shows the source several times smaller, where filtering two texels of six
// changes little and costs a software renderer most. Sampled rather than fetched by index, which
// llvmpipe does some 10 % faster.
vec3 sampleSource(vec2 coordinates) {
    float luma = texture(lumaPlane, coordinates).r;
    vec2 chroma = texture(chromaPlane, coordinates).rg;
    return yCbCrMatrix * vec3(luma, chroma) + yCbCrOffset;
}

vec2 sourceCoordinates(vec2 uv) {
    return uv;
}

// What the owner draws on top (premultiplied), laid over in the same pass: fetched where it has
// detail, the rectangle's one colour elsewhere.
uniform sampler2D overlayPlane;

vec4 overlaid(vec3 picture, vec2 uv) {
#if OVERLAID
    vec4 over = texture(overlayPlane, uv);
#else
    vec4 over = vertexOut.tint;
#endif
    return vec4(over.rgb + (1.0 - over.a) * picture, 1.0);
}
#else
vec3 sampleSource(vec2 coordinates) {
    float luma = texture(lumaPlane, coordinates).r;
    vec2 chroma = texture(chromaPlane, coordinates).rg;
    return yCbCrMatrix * vec3(luma, chroma) + yCbCrOffset;
}

vec2 sourceCoordinates(vec2 uv) {
    // rotationFov.x (-pan), .y (tilt) and .z (roll), as cosines and sines.
    float cosPan = vertexOut.cosines.x, sinPan = vertexOut.sines.x;
    float cosTilt = vertexOut.cosines.y, sinTilt = vertexOut.sines.y;
    float cosRoll = vertexOut.cosines.z, sinRoll = vertexOut.sines.z;
    float h = uniforms.rotationFov.w;

    float x = (2.0 * uv.x - 1.0) * h;
    float y = (1.0 - 2.0 * uv.y) * h * uniforms.aspect.x;

    float s = uniforms.aspect.y;
    float r2 = x * x + y * y;
    float t = (s + sqrt(max(0.0, 1.0 + (1.0 - s * s) * r2))) / (1.0 + r2);
    vec3 d = vec3(t * x, t * y, t - s);

    float rx = cosRoll * d.x - sinRoll * d.y;
    float ry = sinRoll * d.x + cosRoll * d.y;

    float ty = cosTilt * ry + sinTilt * d.z;
    float tz = -sinTilt * ry + cosTilt * d.z;

    float px = cosPan * rx + sinPan * tz;
    float pz = -sinPan * rx + cosPan * tz;

    // The latitude is asin(ty / |p|), taken as the angle whose sine is ty / |p| and whose
    // cosine is the horizontal length over |p|: the same angle, but without the built-in asin,
    // which some drivers (Mesa among them) approximate to 1e-4 radians, a visible fraction of a
    // texel on a 6K source, and which loses precision near the poles anyway.
    const float pi = 3.14159265358979;
    float u = atan(px, pz) / (2.0 * pi) + 0.5;
    float v = 0.5 - atan(ty, sqrt(px * px + pz * pz)) / pi;
    return vec2(u, v);
}
#endif

void main() {
    vec3 picture = clamp(sampleSource(sourceCoordinates(vertexOut.uv)), 0.0, 1.0);
#if WHOLE_SPHERE
    fragmentColor = overlaid(picture, vertexOut.uv);
#else
    fragmentColor = vec4(picture, 1.0);
#endif
}
)glsl";

QByteArray variant(const char* source, Picture picture) {
    return QByteArrayLiteral("#version 330 core\n#define WHOLE_SPHERE ") +
           (picture == Picture::view ? "0" : "1") + "\n#define OVERLAID " +
           (picture == Picture::overlaidSphere ? "1" : "0") + "\n" + source;
}

} // namespace PreviewShaderSource
