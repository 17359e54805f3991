// The device's vertex work: decoding vertex formats, transform, lighting, clipping against
// the near and far planes, projection into the viewport, and primitive assembly. Each
// vertex of a draw call is transformed and lit once, however many primitives share it.
#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif
#include <cstddef>

#include "platform/d3d8_device.h"

namespace d3d8 {
namespace {

constexpr DWORD kPositionMask = 0x00E;
constexpr DWORD kPsize = 0x020;
constexpr DWORD kTexCountMask = 0xF00;
constexpr int kTexCountShift = 8;

// Clip planes: behind the near plane (z < 0), beyond the far plane (z > w), and w too
// small to divide by (which only a projection without a near plane leaves).
constexpr std::uint8_t kNear = 1, kFar = 2, kSmallW = 4;
constexpr float kMinW = 1.0e-5f;

// ClipVertex::c from slot 4 holds the rasteriser's attributes from kDiffuse on.
constexpr int kColour = 4;
constexpr int kDiffuseAt = kColour + raster::kDiffuse - 2;
constexpr int kTexAt = kColour + raster::kTex0 - 2;
constexpr int kSpecularAt = kColour + raster::kSpecular - 2;
constexpr int kClipSlots = 16;

float ReadFloat(const BYTE* p) {
    float f;
    std::memcpy(&f, p, sizeof f);
    return f;
}

DWORD ReadDword(const BYTE* p) {
    DWORD d;
    std::memcpy(&d, p, sizeof d);
    return d;
}

// A D3DCOLOR as four floats b, g, r, a in 0..255 (its bytes in memory order).
void Unpack(DWORD c, float* out) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<float>((c >> (8 * i)) & 0xFF);
}

D3DCOLORVALUE ToValue(DWORD c) {
    constexpr float k = 1.0f / 255.0f;
    return {static_cast<float>((c >> 16) & 0xFF) * k, static_cast<float>((c >> 8) & 0xFF) * k,
            static_cast<float>(c & 0xFF) * k, static_cast<float>(c >> 24) * k};
}

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] +
                        a.m[i][3] * b.m[3][j];
    return r;
}

// Inverse of the upper 3x3 of m; the identity when m is singular.
void Inverse3(const D3DMATRIX& m, float out[3][3]) {
    const float(&a)[4][4] = m.m;
    float c00 = a[1][1] * a[2][2] - a[1][2] * a[2][1];
    float c01 = a[1][2] * a[2][0] - a[1][0] * a[2][2];
    float c02 = a[1][0] * a[2][1] - a[1][1] * a[2][0];
    float det = a[0][0] * c00 + a[0][1] * c01 + a[0][2] * c02;
    if (!(std::fabs(det) > 1e-30f)) {
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) out[i][j] = i == j ? 1.0f : 0.0f;
        return;
    }
    float inv = 1.0f / det;
    out[0][0] = c00 * inv;
    out[1][0] = c01 * inv;
    out[2][0] = c02 * inv;
    out[0][1] = (a[0][2] * a[2][1] - a[0][1] * a[2][2]) * inv;
    out[1][1] = (a[0][0] * a[2][2] - a[0][2] * a[2][0]) * inv;
    out[2][1] = (a[0][1] * a[2][0] - a[0][0] * a[2][1]) * inv;
    out[0][2] = (a[0][1] * a[1][2] - a[0][2] * a[1][1]) * inv;
    out[1][2] = (a[0][2] * a[1][0] - a[0][0] * a[1][2]) * inv;
    out[2][2] = (a[0][0] * a[1][1] - a[0][1] * a[1][0]) * inv;
}

struct Vec3 {
    float x, y, z;
};
Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator*(Vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
float Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 Normalised(Vec3 v) {
    float len = std::sqrt(Dot(v, v));
    return len > 0.0f ? v * (1.0f / len) : Vec3{0.0f, 0.0f, 0.0f};
}

// The fraction a light reaches a point: distance attenuation times the spot cone.
// Returns false when the light does not reach it at all (beyond its range).
bool Reach(const D3DLIGHT8& l, Vec3 p, Vec3* toLight, float* amount) {
    if (l.Type == D3DLIGHT_DIRECTIONAL) {
        *toLight = Normalised(Vec3{-l.Direction.x, -l.Direction.y, -l.Direction.z});
        *amount = 1.0f;
        return true;
    }
    Vec3 d = Vec3{l.Position.x, l.Position.y, l.Position.z} - p;
    float dist = std::sqrt(Dot(d, d));
    if (dist > l.Range) return false;
    *toLight = dist > 0.0f ? d * (1.0f / dist) : Vec3{0.0f, 0.0f, 0.0f};
    float denominator = l.Attenuation0 + l.Attenuation1 * dist + l.Attenuation2 * dist * dist;
    *amount = 1.0f / std::max(denominator, 1e-6f);
    if (l.Type == D3DLIGHT_SPOT) {
        float rho = -Dot(*toLight, Normalised(Vec3{l.Direction.x, l.Direction.y, l.Direction.z}));
        float inner = std::cos(l.Theta * 0.5f), outer = std::cos(l.Phi * 0.5f);
        if (rho <= outer) return false;
        if (rho < inner && inner > outer)
            *amount *= std::pow((rho - outer) / (inner - outer), l.Falloff);
    }
    return true;
}

float Clamp01(float v) { return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f; }

// Cuts segment in -> out where the plane distance (da at in, db at out) reaches zero.
// Always measured from the inside vertex, so neighbouring triangles agree on the point.
void Cut(const float* in, const float* out, float da, float db, float* r) {
    float t = da / (da - db);
    for (int k = 0; k < kClipSlots; ++k) r[k] = in[k] + (out[k] - in[k]) * t;
}

float PlaneDistance(const float* c, int plane) {
    switch (plane) {
    case 0: return c[2];          // near: z >= 0
    case 1: return c[3] - c[2];   // far: z <= w
    default: return c[3] - kMinW; // w > 0
    }
}

struct ClipPoly {
    alignas(16) float v[9][kClipSlots];
    int n = 0;
};

// Clips a convex polygon against the planes in `planes` (bits of kNear, kFar, kSmallW).
void ClipPolygon(ClipPoly& poly, std::uint8_t planes) {
    ClipPoly other;
    ClipPoly* src = &poly;
    ClipPoly* dst = &other;
    for (int plane = 0; plane < 3; ++plane) {
        if (((planes >> plane) & 1) == 0 || src->n < 3) continue;
        dst->n = 0;
        for (int i = 0; i < src->n; ++i) {
            const float* a = src->v[i];
            const float* b = src->v[(i + 1) % src->n];
            float da = PlaneDistance(a, plane), db = PlaneDistance(b, plane);
            if (da >= 0) std::copy(a, a + kClipSlots, dst->v[dst->n++]);
            if ((da >= 0) != (db >= 0)) {
                if (da >= 0) Cut(a, b, da, db, dst->v[dst->n++]);
                else Cut(b, a, db, da, dst->v[dst->n++]);
            }
        }
        std::swap(src, dst);
    }
    if (src != &poly) poly = *src;
}

UINT VerticesFor(D3DPRIMITIVETYPE type, UINT count) {
    std::uint64_t n = count;
    switch (type) {
    case D3DPT_POINTLIST: break;
    case D3DPT_LINELIST: n = 2 * n; break;
    case D3DPT_LINESTRIP: n = n + 1; break;
    case D3DPT_TRIANGLELIST: n = 3 * n; break;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: n = n + 2; break;
    default: return 0;
    }
    return n > 0xFFFFFFFFu ? 0 : static_cast<UINT>(n);
}

} // namespace

UINT VertexSize(DWORD fvf) {
    const DWORD known = kPositionMask | D3DFVF_NORMAL | kPsize | D3DFVF_DIFFUSE |
                        D3DFVF_SPECULAR | kTexCountMask;
    DWORD position = fvf & kPositionMask;
    // Texture coordinates are two floats each (no size bits); no blend weights.
    if ((fvf & ~known) != 0) return 0;
    if (position != D3DFVF_XYZ && position != D3DFVF_XYZRHW) return 0;
    if (position == D3DFVF_XYZRHW && (fvf & D3DFVF_NORMAL) != 0) return 0;
    DWORD texCount = (fvf & kTexCountMask) >> kTexCountShift;
    if (texCount > 8) return 0;
    UINT size = position == D3DFVF_XYZ ? 12 : 16;
    if ((fvf & D3DFVF_NORMAL) != 0) size += 12;
    if ((fvf & kPsize) != 0) size += 4;
    if ((fvf & D3DFVF_DIFFUSE) != 0) size += 4;
    if ((fvf & D3DFVF_SPECULAR) != 0) size += 4;
    return size + 8 * texCount;
}

VertexLayout Device::Layout() const {
    // The overlay draws hundreds of times a frame with one format: the last layout is kept
    // with what it was made from.
    const DWORD index0 = stageStates_[0][D3DTSS_TEXCOORDINDEX], index1 = stageStates_[1][D3DTSS_TEXCOORDINDEX];
    if (layoutMade_ && layoutFvf_ == fvf_ && layoutIndex_[0] == index0 && layoutIndex_[1] == index1) {
        return layout_;
    }
    VertexLayout l{};
    l.pretransformed = (fvf_ & kPositionMask) == D3DFVF_XYZRHW;
    int at = l.pretransformed ? 16 : 12;
    auto take = [&](DWORD bit, int size) {
        if ((fvf_ & bit) == 0) return -1;
        at += size;
        return at - size;
    };
    l.normal = take(D3DFVF_NORMAL, 12);
    take(kPsize, 4);
    l.diffuse = take(D3DFVF_DIFFUSE, 4);
    l.specular = take(D3DFVF_SPECULAR, 4);
    DWORD sets = (fvf_ & kTexCountMask) >> kTexCountShift;
    for (int s = 0; s < 2; ++s) {
        DWORD index = stageStates_[s][D3DTSS_TEXCOORDINDEX];
        l.tex[s] = index < sets ? at + 8 * static_cast<int>(index) : -1;
    }
    layout_ = l;
    layoutFvf_ = fvf_;
    layoutIndex_[0] = index0;
    layoutIndex_[1] = index1;
    layoutMade_ = true;
    return l;
}

void Device::SetViewportMap() {
    viewportMap_ = {static_cast<float>(viewport_.X), static_cast<float>(viewport_.Y),
                    static_cast<float>(viewport_.Width) * 0.5f,
                    static_cast<float>(viewport_.Height) * 0.5f, viewport_.MinZ,
                    viewport_.MaxZ - viewport_.MinZ};
}

void Device::UpdateTransforms() {
    vs_.worldViewProjection = Multiply(Multiply(vs_.world, vs_.view), vs_.projection);
    // Normals go through the inverse transpose of the world matrix; with row vectors that
    // is n' = n x transpose(inverse(W)), i.e. n'_j = sum_i n_i inv[j][i].
    float inv[3][3];
    Inverse3(vs_.world, inv);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) vs_.normalMatrix[i][j] = inv[j][i];
    // The eye in world space: -t x inverse(R) for the view [R 0; t 1].
    float vi[3][3];
    Inverse3(vs_.view, vi);
    for (int j = 0; j < 3; ++j)
        vs_.eye[j] = -(vs_.view._41 * vi[0][j] + vs_.view._42 * vi[1][j] + vs_.view._43 * vi[2][j]);
    transformsDirty_ = false;
}

// Direct3D's fixed-function lighting, in world space:
//   colour = emissive + ambient source x (global ambient + sum of light ambient x reach)
//          + diffuse source x sum of light diffuse x max(0, N.L) x reach,
// clamped per channel to 0..1, alpha from the diffuse source; N as given (normalised only
// under D3DRS_NORMALIZENORMALS), L the unit vector to the light, reach the attenuation
// 1 / (a0 + a1 d + a2 d^2) times the spot cone, nothing beyond the light's range.
// Specular (only under D3DRS_SPECULARENABLE) uses the half vector towards the eye.
// Everything that does not depend on the vertex is gathered once per draw.
struct Lighting {
    enum Source : std::uint8_t { Material, VertexDiffuse, VertexSpecular };
    Source source[4];                  // diffuse, ambient, specular, emissive
    D3DCOLORVALUE material[4];         // the material's colours in the same order
    D3DCOLORVALUE ambient;             // global ambient
    bool specular, normalise, localViewer;
    Vec3 eye, towardsViewer;           // eye position; fixed direction without a local viewer
    float power;
    int count = 0;                     // enabled lights
    const D3DLIGHT8* lights[kLights];
};

Lighting Device::PrepareLighting(const VertexLayout& layout) const {
    const DWORD* rs = renderStates_;
    const bool colourVertex = rs[D3DRS_COLORVERTEX] != FALSE;
    Lighting l;
    const DWORD which[4] = {rs[D3DRS_DIFFUSEMATERIALSOURCE], rs[D3DRS_AMBIENTMATERIALSOURCE],
                            rs[D3DRS_SPECULARMATERIALSOURCE], rs[D3DRS_EMISSIVEMATERIALSOURCE]};
    for (int i = 0; i < 4; ++i) {
        l.source[i] = Lighting::Material;
        if (colourVertex && which[i] == D3DMCS_COLOR1 && layout.diffuse >= 0)
            l.source[i] = Lighting::VertexDiffuse;
        if (colourVertex && which[i] == D3DMCS_COLOR2 && layout.specular >= 0)
            l.source[i] = Lighting::VertexSpecular;
    }
    const D3DMATERIAL8& m = vs_.material;
    l.material[0] = m.Diffuse, l.material[1] = m.Ambient, l.material[2] = m.Specular,
    l.material[3] = m.Emissive;
    l.ambient = ToValue(rs[D3DRS_AMBIENT]);
    l.specular = rs[D3DRS_SPECULARENABLE] != FALSE;
    l.normalise = rs[D3DRS_NORMALIZENORMALS] != FALSE;
    l.localViewer = rs[D3DRS_LOCALVIEWER] != FALSE;
    l.eye = {vs_.eye[0], vs_.eye[1], vs_.eye[2]};
    l.towardsViewer = Normalised(Vec3{-vs_.view._13, -vs_.view._23, -vs_.view._33});
    l.power = m.Power;
    for (int i = 0; i < kLights; ++i) {
        if (vs_.lightOn[i]) l.lights[l.count++] = &vs_.lights[i];
    }
    return l;
}

void Device::Light(const Lighting& l, const VertexLayout& layout, const BYTE* vertex,
                   const float* world, float* diffuse, float* specular) const {
    D3DCOLORVALUE vertexColour[3] = {{}, {1.0f, 1.0f, 1.0f, 1.0f}, {0.0f, 0.0f, 0.0f, 0.0f}};
    if (layout.diffuse >= 0) vertexColour[1] = ToValue(ReadDword(vertex + layout.diffuse));
    if (layout.specular >= 0) vertexColour[2] = ToValue(ReadDword(vertex + layout.specular));
    D3DCOLORVALUE src[4];
    for (int i = 0; i < 4; ++i)
        src[i] = l.source[i] == Lighting::Material ? l.material[i] : vertexColour[l.source[i]];
    const D3DCOLORVALUE &dSrc = src[0], &aSrc = src[1], &sSrc = src[2], &eSrc = src[3];

    Vec3 p = {world[0], world[1], world[2]};
    Vec3 n = {0.0f, 0.0f, 0.0f};
    if (layout.normal >= 0) {
        Vec3 raw = {ReadFloat(vertex + layout.normal), ReadFloat(vertex + layout.normal + 4),
                    ReadFloat(vertex + layout.normal + 8)};
        const auto& m = vs_.normalMatrix;
        n = {raw.x * m[0][0] + raw.y * m[1][0] + raw.z * m[2][0],
             raw.x * m[0][1] + raw.y * m[1][1] + raw.z * m[2][1],
             raw.x * m[0][2] + raw.y * m[1][2] + raw.z * m[2][2]};
        if (l.normalise) n = Normalised(n);
    }

    D3DCOLORVALUE amb = l.ambient, dif = {0, 0, 0, 0}, spe = {0, 0, 0, 0};
    for (int i = 0; i < l.count; ++i) {
        const D3DLIGHT8& light = *l.lights[i];
        Vec3 toLight;
        float reach;
        if (!Reach(light, p, &toLight, &reach)) continue;
        amb.r += light.Ambient.r * reach, amb.g += light.Ambient.g * reach,
        amb.b += light.Ambient.b * reach;
        float nl = std::max(0.0f, Dot(n, toLight)) * reach;
        dif.r += light.Diffuse.r * nl, dif.g += light.Diffuse.g * nl, dif.b += light.Diffuse.b * nl;
        if (l.specular && nl > 0.0f) {
            Vec3 toEye = l.localViewer ? Normalised(l.eye - p) : l.towardsViewer;
            float nh = std::max(0.0f, Dot(n, Normalised(toLight + toEye)));
            float s = std::pow(nh, l.power) * reach;
            spe.r += light.Specular.r * s, spe.g += light.Specular.g * s,
            spe.b += light.Specular.b * s;
        }
    }
    diffuse[0] = Clamp01(eSrc.b + aSrc.b * amb.b + dSrc.b * dif.b) * 255.0f;
    diffuse[1] = Clamp01(eSrc.g + aSrc.g * amb.g + dSrc.g * dif.g) * 255.0f;
    diffuse[2] = Clamp01(eSrc.r + aSrc.r * amb.r + dSrc.r * dif.r) * 255.0f;
    diffuse[3] = Clamp01(dSrc.a) * 255.0f;
    specular[0] = Clamp01(sSrc.b * spe.b) * 255.0f;
    specular[1] = Clamp01(sSrc.g * spe.g) * 255.0f;
    specular[2] = Clamp01(sSrc.r * spe.r) * 255.0f;
    specular[3] = Clamp01(sSrc.a) * 255.0f;
}

// Clip space to the viewport: x -1..1 to X..X+Width, y 1..-1 to Y..Y+Height (pixel
// centres at integers, so -1 lands on the centre of pixel X), z 0..1 to MinZ..MaxZ.
void Device::Project(const float* c, raster::Vertex& out) const {
    const float q = 1.0f / c[3];
    const ViewportMap& vp = viewportMap_;
    out.x = vp.x + (1.0f + c[0] * q) * vp.halfWidth;
    out.y = vp.y + (1.0f - c[1] * q) * vp.halfHeight;
    out.a[raster::kZ] = vp.minZ + c[2] * q * vp.depthRange;
    out.a[raster::kQ] = q;
    for (int k = 0; k < 12; ++k) out.a[raster::kDiffuse + k] = c[kColour + k] * q;
    out.a[14] = out.a[15] = 0.0f;
}

#if defined(__SSE2__)
namespace {

// Four vertices side by side, one per lane. Each lane does exactly the arithmetic of
// Device::Light, Device::Transform and Device::Project for its vertex, in the same order,
// so the results are the same to the bit.
struct Quad {
    __m128 x, y, z;
};

struct Colours {
    __m128 r, g, b, a;
};

__m128 Load4(const BYTE* v, std::size_t stride, int at) {
    return _mm_setr_ps(ReadFloat(v + at), ReadFloat(v + stride + at), ReadFloat(v + 2 * stride + at),
                       ReadFloat(v + 3 * stride + at));
}

Colours Broadcast(const D3DCOLORVALUE& c) {
    return {_mm_set1_ps(c.r), _mm_set1_ps(c.g), _mm_set1_ps(c.b), _mm_set1_ps(c.a)};
}

// ToValue for four colours.
Colours Values4(const BYTE* v, std::size_t stride, int at) {
    const __m128i c = _mm_setr_epi32(static_cast<int>(ReadDword(v + at)),
                                     static_cast<int>(ReadDword(v + stride + at)),
                                     static_cast<int>(ReadDword(v + 2 * stride + at)),
                                     static_cast<int>(ReadDword(v + 3 * stride + at)));
    const __m128i byte = _mm_set1_epi32(0xFF);
    const __m128 k = _mm_set1_ps(1.0f / 255.0f);
    auto channel = [&](int shift) {
        return _mm_mul_ps(_mm_cvtepi32_ps(_mm_and_si128(_mm_srli_epi32(c, shift), byte)), k);
    };
    return {channel(16), channel(8), channel(0), channel(24)};
}

__m128 Dot4(const Quad& a, const Quad& b) {
    return _mm_add_ps(_mm_add_ps(_mm_mul_ps(a.x, b.x), _mm_mul_ps(a.y, b.y)), _mm_mul_ps(a.z, b.z));
}

// Clamp01 x 255: NaN and anything not above zero give zero.
__m128 Byte01(__m128 v) {
    const __m128 clamped = _mm_min_ps(_mm_max_ps(v, _mm_setzero_ps()), _mm_set1_ps(1.0f));
    return _mm_mul_ps(clamped, _mm_set1_ps(255.0f));
}

// (a + b x c) in the order Light adds its terms.
__m128 MulAdd(__m128 a, __m128 b, __m128 c) { return _mm_add_ps(a, _mm_mul_ps(b, c)); }

// Four 4-float rows, one per vertex, from four registers of one value per vertex.
void Rows(__m128 a, __m128 b, __m128 c, __m128 d, float* r0, float* r1, float* r2, float* r3) {
    _MM_TRANSPOSE4_PS(a, b, c, d);
    _mm_storeu_ps(r0, a);
    _mm_storeu_ps(r1, b);
    _mm_storeu_ps(r2, c);
    _mm_storeu_ps(r3, d);
}

} // namespace

// Whether TransformLit4 covers these states: specular highlights and spot lights are left
// to Light.
bool Device::LanesLight(const Lighting& l) const {
    if (l.specular) return false;
    for (int i = 0; i < l.count; ++i) {
        if (l.lights[i]->Type == D3DLIGHT_SPOT) return false;
    }
    return true;
}

void Device::TransformLit4(const Lighting& l, const VertexLayout& layout, const BYTE* v,
                           ClipVertex* out) const {
    const std::size_t stride = streamStride_;
    const Quad raw = {Load4(v, stride, 0), Load4(v, stride, 4), Load4(v, stride, 8)};
    const float(&w)[4][4] = vs_.world.m;
    auto row = [&](const float(&m)[4][4], int j) {
        return _mm_add_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(raw.x, _mm_set1_ps(m[0][j])),
                                                _mm_mul_ps(raw.y, _mm_set1_ps(m[1][j]))),
                                     _mm_mul_ps(raw.z, _mm_set1_ps(m[2][j]))),
                          _mm_set1_ps(m[3][j]));
    };
    const Quad p = {row(w, 0), row(w, 1), row(w, 2)};

    // The colour sources: material colours or the vertex's own.
    const Colours white = Broadcast({1.0f, 1.0f, 1.0f, 1.0f});
    const Colours vertexDiffuse = layout.diffuse >= 0 ? Values4(v, stride, layout.diffuse) : white;
    const Colours vertexSpecular = layout.specular >= 0 ? Values4(v, stride, layout.specular)
                                                        : Broadcast({0.0f, 0.0f, 0.0f, 0.0f});
    Colours src[4];
    for (int i = 0; i < 4; ++i) {
        src[i] = l.source[i] == Lighting::Material      ? Broadcast(l.material[i])
                 : l.source[i] == Lighting::VertexDiffuse ? vertexDiffuse
                                                          : vertexSpecular;
    }

    Quad n = {_mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps()};
    if (layout.normal >= 0) {
        const Quad r = {Load4(v, stride, layout.normal), Load4(v, stride, layout.normal + 4),
                        Load4(v, stride, layout.normal + 8)};
        const auto& m = vs_.normalMatrix;
        auto column = [&](int j) {
            return _mm_add_ps(_mm_add_ps(_mm_mul_ps(r.x, _mm_set1_ps(m[0][j])),
                                         _mm_mul_ps(r.y, _mm_set1_ps(m[1][j]))),
                              _mm_mul_ps(r.z, _mm_set1_ps(m[2][j])));
        };
        n = {column(0), column(1), column(2)};
        if (l.normalise) {
            const __m128 len = _mm_sqrt_ps(Dot4(n, n));
            const __m128 inv = _mm_div_ps(_mm_set1_ps(1.0f), len);
            const __m128 some = _mm_cmpgt_ps(len, _mm_setzero_ps());
            n = {_mm_and_ps(_mm_mul_ps(n.x, inv), some), _mm_and_ps(_mm_mul_ps(n.y, inv), some),
                 _mm_and_ps(_mm_mul_ps(n.z, inv), some)};
        }
    }

    Colours amb = Broadcast(l.ambient);
    Colours dif = Broadcast({0.0f, 0.0f, 0.0f, 0.0f});
    for (int i = 0; i < l.count; ++i) {
        const D3DLIGHT8& light = *l.lights[i];
        Quad toLight;
        __m128 reach = _mm_set1_ps(1.0f);
        __m128 reached = _mm_castsi128_ps(_mm_set1_epi32(-1));
        if (light.Type == D3DLIGHT_DIRECTIONAL) {
            const Vec3 t = Normalised(Vec3{-light.Direction.x, -light.Direction.y, -light.Direction.z});
            toLight = {_mm_set1_ps(t.x), _mm_set1_ps(t.y), _mm_set1_ps(t.z)};
        } else {
            const Quad d = {_mm_sub_ps(_mm_set1_ps(light.Position.x), p.x),
                            _mm_sub_ps(_mm_set1_ps(light.Position.y), p.y),
                            _mm_sub_ps(_mm_set1_ps(light.Position.z), p.z)};
            const __m128 dist = _mm_sqrt_ps(Dot4(d, d));
            reached = _mm_cmpngt_ps(dist, _mm_set1_ps(light.Range));
            const __m128 inv = _mm_div_ps(_mm_set1_ps(1.0f), dist);
            const __m128 away = _mm_cmpgt_ps(dist, _mm_setzero_ps());
            toLight = {_mm_and_ps(_mm_mul_ps(d.x, inv), away), _mm_and_ps(_mm_mul_ps(d.y, inv), away),
                       _mm_and_ps(_mm_mul_ps(d.z, inv), away)};
            const __m128 denominator =
                _mm_add_ps(MulAdd(_mm_set1_ps(light.Attenuation0), _mm_set1_ps(light.Attenuation1), dist),
                           _mm_mul_ps(_mm_mul_ps(_mm_set1_ps(light.Attenuation2), dist), dist));
            reach = _mm_div_ps(_mm_set1_ps(1.0f), _mm_max_ps(_mm_set1_ps(1e-6f), denominator));
        }
        // A light out of range adds nothing at all to its vertex.
        auto add = [&](__m128 sum, float c, __m128 amount) {
            return _mm_add_ps(sum, _mm_and_ps(_mm_mul_ps(_mm_set1_ps(c), amount), reached));
        };
        amb = {add(amb.r, light.Ambient.r, reach), add(amb.g, light.Ambient.g, reach),
               add(amb.b, light.Ambient.b, reach), amb.a};
        const __m128 nl = _mm_mul_ps(_mm_max_ps(Dot4(n, toLight), _mm_setzero_ps()), reach);
        dif = {add(dif.r, light.Diffuse.r, nl), add(dif.g, light.Diffuse.g, nl),
               add(dif.b, light.Diffuse.b, nl), dif.a};
    }
    const Colours &dS = src[0], &aS = src[1], &sS = src[2], &eS = src[3];
    const __m128 zero = _mm_setzero_ps();
    const __m128 diffuse[4] = {Byte01(MulAdd(MulAdd(eS.b, aS.b, amb.b), dS.b, dif.b)),
                               Byte01(MulAdd(MulAdd(eS.g, aS.g, amb.g), dS.g, dif.g)),
                               Byte01(MulAdd(MulAdd(eS.r, aS.r, amb.r), dS.r, dif.r)),
                               Byte01(dS.a)};
    const __m128 specular[4] = {Byte01(_mm_mul_ps(sS.b, zero)), Byte01(_mm_mul_ps(sS.g, zero)),
                                Byte01(_mm_mul_ps(sS.r, zero)), Byte01(sS.a)};
    __m128 tex[4];
    for (int s = 0; s < 2; ++s) {
        const int at = layout.tex[s];
        tex[2 * s] = at >= 0 ? Load4(v, stride, at) : zero;
        tex[2 * s + 1] = at >= 0 ? Load4(v, stride, at + 4) : zero;
    }

    const float(&m)[4][4] = vs_.worldViewProjection.m;
    const __m128 c[4] = {row(m, 0), row(m, 1), row(m, 2), row(m, 3)};
    const __m128 minW = _mm_set1_ps(kMinW);
    const int nearPlane = _mm_movemask_ps(_mm_or_ps(_mm_cmplt_ps(c[2], zero), _mm_cmpnge_ps(c[2], zero)));
    const int farPlane = _mm_movemask_ps(_mm_cmpgt_ps(c[2], c[3]));
    const int smallW = _mm_movemask_ps(_mm_cmplt_ps(c[3], minW));
    const int nan = _mm_movemask_ps(_mm_cmpnge_ps(c[3], minW));

    // Project: every lane, as Project does; only lanes inside the planes are read later.
    const ViewportMap& vp = viewportMap_;
    const __m128 q = _mm_div_ps(_mm_set1_ps(1.0f), c[3]);
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 sx = MulAdd(_mm_set1_ps(vp.x), _mm_add_ps(one, _mm_mul_ps(c[0], q)), _mm_set1_ps(vp.halfWidth));
    const __m128 sy = MulAdd(_mm_set1_ps(vp.y), _mm_sub_ps(one, _mm_mul_ps(c[1], q)), _mm_set1_ps(vp.halfHeight));
    const __m128 sz = MulAdd(_mm_set1_ps(vp.minZ), _mm_mul_ps(c[2], q), _mm_set1_ps(vp.depthRange));
    auto times = [&](__m128 a) { return _mm_mul_ps(a, q); };

    ClipVertex& o0 = out[0];
    ClipVertex& o1 = out[1];
    ClipVertex& o2 = out[2];
    ClipVertex& o3 = out[3];
    Rows(c[0], c[1], c[2], c[3], o0.c, o1.c, o2.c, o3.c);
    Rows(diffuse[0], diffuse[1], diffuse[2], diffuse[3], o0.c + 4, o1.c + 4, o2.c + 4, o3.c + 4);
    Rows(tex[0], tex[1], tex[2], tex[3], o0.c + 8, o1.c + 8, o2.c + 8, o3.c + 8);
    Rows(specular[0], specular[1], specular[2], specular[3], o0.c + 12, o1.c + 12, o2.c + 12, o3.c + 12);
    Rows(sz, q, times(diffuse[0]), times(diffuse[1]), o0.screen.a, o1.screen.a, o2.screen.a, o3.screen.a);
    Rows(times(diffuse[2]), times(diffuse[3]), times(tex[0]), times(tex[1]), o0.screen.a + 4,
         o1.screen.a + 4, o2.screen.a + 4, o3.screen.a + 4);
    Rows(times(tex[2]), times(tex[3]), times(specular[0]), times(specular[1]), o0.screen.a + 8,
         o1.screen.a + 8, o2.screen.a + 8, o3.screen.a + 8);
    Rows(times(specular[2]), times(specular[3]), zero, zero, o0.screen.a + 12, o1.screen.a + 12,
         o2.screen.a + 12, o3.screen.a + 12);
    alignas(16) float xs[4], ys[4];
    _mm_store_ps(xs, sx);
    _mm_store_ps(ys, sy);
    for (int i = 0; i < 4; ++i) {
        ClipVertex& cv = out[i];
        const int bit = 1 << i;
        cv.outside = static_cast<std::uint8_t>(((nearPlane | nan) & bit ? kNear : 0) |
                                               (farPlane & bit ? kFar : 0) |
                                               (smallW & bit ? kSmallW : 0));
        cv.screen.x = xs[i];
        cv.screen.y = ys[i];
    }
}
#endif

#if defined(__x86_64__)
namespace {

// TransformLit4 eight vertices at a time, for processors with AVX2: each lane does the
// arithmetic of its vertex in the same order (and without fused multiply-add), so the
// results are those of Light, Transform and Project to the bit. No library templates here,
// whose shared copies could come out compiled for AVX2.
// Columns of eight vertices: the ring vertex's fields all lie in its first bytes, so
// TransformLit8 reads whole rows of four floats per vertex and turns them around instead of
// gathering each float of each vertex on its own. Block b is bytes 16b..16b+15 of a vertex
// for b below size / 16, and block size / 16 is the vertex's last 16 bytes (what the whole
// blocks leave over); nothing past the vertex's own bytes is read.
struct Blocks8 {
    int size;       // bytes of a vertex, at least 16
    unsigned read;  // bit b: block b holds a float the vertex work reads
    // The column of each float read: position x, y, z, normal x, y, z, diffuse, specular,
    // stage 0's u, v and stage 1's (0 for what the vertex does not have).
    std::uint8_t column[12];
};
constexpr int kMaxBlocks8 = 7; // a vertex is at most 100 bytes: six whole blocks and the last
enum Field8 { kPosition8 = 0, kNormal8 = 3, kDiffuse8 = 6, kSpecular8 = 7, kTex8 = 8 };

Blocks8 PlanBlocks8(const VertexLayout& layout, UINT size) {
    Blocks8 b{static_cast<int>(size), 0, {}};
    const int wholeBlocks = b.size / 16, tail = b.size / 4 - 4;
    auto need = [&](int field, int at, int floats) {
        if (at < 0) return;
        for (int k = 0; k < floats; ++k) {
            const int slot = at / 4 + k;
            const bool whole = slot < 4 * wholeBlocks;
            b.read |= 1u << (whole ? slot / 4 : wholeBlocks);
            b.column[field + k] = static_cast<std::uint8_t>(whole ? slot : 4 * wholeBlocks + slot - tail);
        }
    };
    need(kPosition8, 0, 3);
    need(kNormal8, layout.normal, 3);
    need(kDiffuse8, layout.diffuse, 1);
    need(kSpecular8, layout.specular, 1);
    need(kTex8, layout.tex[0], 2);
    need(kTex8 + 2, layout.tex[1], 2);
    return b;
}

#pragma GCC push_options
#pragma GCC target("avx2")

struct Quad8 {
    __m256 x, y, z;
};

struct Colours8 {
    __m256 r, g, b, a;
};

inline __attribute__((always_inline)) Colours8 Broadcast8(const D3DCOLORVALUE& c) {
    return {_mm256_set1_ps(c.r), _mm256_set1_ps(c.g), _mm256_set1_ps(c.b), _mm256_set1_ps(c.a)};
}

inline __attribute__((always_inline)) __m256 Dot8(const Quad8& a, const Quad8& b) {
    return _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(a.x, b.x), _mm256_mul_ps(a.y, b.y)),
                         _mm256_mul_ps(a.z, b.z));
}

// Clamp01 x 255: NaN and anything not above zero give zero.
inline __attribute__((always_inline)) __m256 Byte01x8(__m256 v) {
    const __m256 clamped = _mm256_min_ps(_mm256_max_ps(v, _mm256_setzero_ps()), _mm256_set1_ps(1.0f));
    return _mm256_mul_ps(clamped, _mm256_set1_ps(255.0f));
}

inline __attribute__((always_inline)) __m256 MulAdd8(__m256 a, __m256 b, __m256 c) {
    return _mm256_add_ps(a, _mm256_mul_ps(b, c));
}

// Four 4-float rows of each of eight vertices, `at` bytes into each, from four registers
// of one value per vertex.
inline __attribute__((always_inline)) void Rows8(__m256 a, __m256 b, __m256 c, __m256 d,
                                                 ClipVertex* out, std::size_t at) {
    const __m256 ab0 = _mm256_unpacklo_ps(a, b), cd0 = _mm256_unpacklo_ps(c, d);
    const __m256 ab1 = _mm256_unpackhi_ps(a, b), cd1 = _mm256_unpackhi_ps(c, d);
    const __m256 r[4] = {_mm256_shuffle_ps(ab0, cd0, 0x44), _mm256_shuffle_ps(ab0, cd0, 0xEE),
                         _mm256_shuffle_ps(ab1, cd1, 0x44), _mm256_shuffle_ps(ab1, cd1, 0xEE)};
    for (int i = 0; i < 4; ++i) {
        _mm_storeu_ps(reinterpret_cast<float*>(reinterpret_cast<char*>(out + i) + at), _mm256_castps256_ps128(r[i]));
        _mm_storeu_ps(reinterpret_cast<float*>(reinterpret_cast<char*>(out + i + 4) + at),
                      _mm256_extractf128_ps(r[i], 1));
    }
}

// The blocks `blocks` reads of eight vertices as columns, lanes in vertex order: four rows
// (vertex i low, vertex i + 4 high) turned around in each half.
inline __attribute__((always_inline)) void ReadColumns8(const Blocks8& blocks, std::size_t stride,
                                                        const BYTE* v, float (*columns)[8]) {
    const int whole = blocks.size / 16;
    for (unsigned read = blocks.read; read != 0; read &= read - 1) {
        const int b = __builtin_ctz(read);
        const BYTE* s = v + (b < whole ? 16 * b : blocks.size - 16);
        auto row = [&](std::size_t i) {
            const __m128 lo = _mm_loadu_ps(reinterpret_cast<const float*>(s + i * stride));
            const __m128 hi = _mm_loadu_ps(reinterpret_cast<const float*>(s + (i + 4) * stride));
            return _mm256_insertf128_ps(_mm256_castps128_ps256(lo), hi, 1);
        };
        const __m256 r0 = row(0), r1 = row(1), r2 = row(2), r3 = row(3);
        const __m256 t0 = _mm256_unpacklo_ps(r0, r1), t1 = _mm256_unpackhi_ps(r0, r1);
        const __m256 t2 = _mm256_unpacklo_ps(r2, r3), t3 = _mm256_unpackhi_ps(r2, r3);
        float(*c)[8] = columns + 4 * b;
        _mm256_store_ps(c[0], _mm256_shuffle_ps(t0, t2, 0x44));
        _mm256_store_ps(c[1], _mm256_shuffle_ps(t0, t2, 0xEE));
        _mm256_store_ps(c[2], _mm256_shuffle_ps(t1, t3, 0x44));
        _mm256_store_ps(c[3], _mm256_shuffle_ps(t1, t3, 0xEE));
    }
}

// The matrices and viewport in every lane, set up once for a run of vertices so that the
// lanes multiply by them straight from memory.
struct Constants8 {
    __m256 worldViewProjection[4][4];
    __m256 world[4][4];
    __m256 normalMatrix[3][3];
    __m256 x, y, halfWidth, halfHeight, minZ, depthRange;
};

void SetUpConstants8(const VertexState& vs, const ViewportMap& vp, Constants8& k) {
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            k.worldViewProjection[i][j] = _mm256_set1_ps(vs.worldViewProjection.m[i][j]);
            k.world[i][j] = _mm256_set1_ps(vs.world.m[i][j]);
        }
    }
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) k.normalMatrix[i][j] = _mm256_set1_ps(vs.normalMatrix[i][j]);
    k.x = _mm256_set1_ps(vp.x), k.y = _mm256_set1_ps(vp.y);
    k.halfWidth = _mm256_set1_ps(vp.halfWidth), k.halfHeight = _mm256_set1_ps(vp.halfHeight);
    k.minZ = _mm256_set1_ps(vp.minZ), k.depthRange = _mm256_set1_ps(vp.depthRange);
}

// Writes the clip space (ClipVertex::c) only under `clipSpace`, and the screen attributes
// from raster::kBasicAttrs on only under `allAttributes`. Returns whether a vertex lies
// outside a clip plane.
bool TransformLit8(const Lighting& l, const VertexLayout& layout, const Blocks8& blocks,
                   const Constants8& k, std::size_t stride, const BYTE* v, bool clipSpace,
                   bool allAttributes, ClipVertex* out) {
    alignas(32) float columns[4 * kMaxBlocks8][8];
    ReadColumns8(blocks, stride, v, columns);
    auto column = [&](int field) { return _mm256_load_ps(columns[blocks.column[field]]); };

    const __m256 zero = _mm256_setzero_ps();
    auto row = [&](const Quad8& raw, const __m256(&m)[4][4], int j) {
        return _mm256_add_ps(_mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(raw.x, m[0][j]), _mm256_mul_ps(raw.y, m[1][j])),
                                           _mm256_mul_ps(raw.z, m[2][j])),
                             m[3][j]);
    };
    constexpr std::size_t kC = offsetof(ClipVertex, c);
    constexpr std::size_t kA = offsetof(ClipVertex, screen) + offsetof(raster::Vertex, a);

    // Clip space, the planes and the projection first, every lane as Transform and Project
    // do; only lanes inside the planes are read from the screen vertex later.
    __m256 q, sz;
    bool outside;
    {
        const Quad8 raw = {column(kPosition8), column(kPosition8 + 1), column(kPosition8 + 2)};
        const __m256(&m)[4][4] = k.worldViewProjection;
        const __m256 c[4] = {row(raw, m, 0), row(raw, m, 1), row(raw, m, 2), row(raw, m, 3)};
        if (clipSpace) Rows8(c[0], c[1], c[2], c[3], out, kC);
        const __m256 minW = _mm256_set1_ps(kMinW);
        // NaN positions fail every comparison; they count as behind the near plane.
        const __m256 nearPlane = _mm256_or_ps(_mm256_cmp_ps(c[2], zero, _CMP_NGE_UQ),
                                              _mm256_cmp_ps(c[3], minW, _CMP_NGE_UQ));
        const __m256 farPlane = _mm256_cmp_ps(c[2], c[3], _CMP_GT_OQ);
        const __m256 smallW = _mm256_cmp_ps(c[3], minW, _CMP_LT_OQ);
        const __m256i flags = _mm256_castps_si256(
            _mm256_or_ps(_mm256_or_ps(_mm256_and_ps(nearPlane, _mm256_castsi256_ps(_mm256_set1_epi32(kNear))),
                                      _mm256_and_ps(farPlane, _mm256_castsi256_ps(_mm256_set1_epi32(kFar)))),
                         _mm256_and_ps(smallW, _mm256_castsi256_ps(_mm256_set1_epi32(kSmallW)))));
        // One byte per lane: vertices 0..3 in the low word, 4..7 in the high one.
        const __m256i bytes = _mm256_packus_epi16(_mm256_packus_epi32(flags, flags), _mm256_setzero_si256());
        outside = !_mm256_testz_si256(flags, flags);
        std::uint32_t lo = static_cast<std::uint32_t>(_mm256_cvtsi256_si32(bytes));
        std::uint32_t hi = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm256_extracti128_si256(bytes, 1)));
        for (int i = 0; i < 4; ++i, lo >>= 8, hi >>= 8) {
            out[i].outside = static_cast<std::uint8_t>(lo);
            out[i + 4].outside = static_cast<std::uint8_t>(hi);
        }

        const __m256 one = _mm256_set1_ps(1.0f);
        q = _mm256_div_ps(one, c[3]);
        const __m256 sx = MulAdd8(k.x, _mm256_add_ps(one, _mm256_mul_ps(c[0], q)), k.halfWidth);
        const __m256 sy = MulAdd8(k.y, _mm256_sub_ps(one, _mm256_mul_ps(c[1], q)), k.halfHeight);
        sz = MulAdd8(k.minZ, _mm256_mul_ps(c[2], q), k.depthRange);
        // x, y pairs: vertices 0, 1, 4, 5 in one register, 2, 3, 6, 7 in the other.
        const __m256 xy0 = _mm256_unpacklo_ps(sx, sy), xy1 = _mm256_unpackhi_ps(sx, sy);
        const __m128 pairs[4] = {_mm256_castps256_ps128(xy0), _mm256_castps256_ps128(xy1),
                                 _mm256_extractf128_ps(xy0, 1), _mm256_extractf128_ps(xy1, 1)};
        for (int i = 0; i < 4; ++i) {
            _mm_storel_pi(reinterpret_cast<__m64*>(&out[2 * i].screen.x), pairs[i]);
            _mm_storeh_pi(reinterpret_cast<__m64*>(&out[2 * i + 1].screen.x), pairs[i]);
        }
    }
    auto times = [&](__m256 a) { return _mm256_mul_ps(a, q); };

    Quad8 n = {zero, zero, zero};
    if (layout.normal >= 0) {
        const Quad8 r = {column(kNormal8), column(kNormal8 + 1), column(kNormal8 + 2)};
        const __m256(&m)[3][3] = k.normalMatrix;
        auto part = [&](int j) {
            return _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(r.x, m[0][j]), _mm256_mul_ps(r.y, m[1][j])),
                                 _mm256_mul_ps(r.z, m[2][j]));
        };
        n = {part(0), part(1), part(2)};
        if (l.normalise) {
            const __m256 len = _mm256_sqrt_ps(Dot8(n, n));
            const __m256 inv = _mm256_div_ps(_mm256_set1_ps(1.0f), len);
            const __m256 some = _mm256_cmp_ps(len, zero, _CMP_GT_OQ);
            n = {_mm256_and_ps(_mm256_mul_ps(n.x, inv), some), _mm256_and_ps(_mm256_mul_ps(n.y, inv), some),
                 _mm256_and_ps(_mm256_mul_ps(n.z, inv), some)};
        }
    }

    const Quad8 raw = {column(kPosition8), column(kPosition8 + 1), column(kPosition8 + 2)};
    const Quad8 p = {row(raw, k.world, 0), row(raw, k.world, 1), row(raw, k.world, 2)};
    Colours8 amb = Broadcast8(l.ambient);
    Colours8 dif = Broadcast8({0.0f, 0.0f, 0.0f, 0.0f});
    for (int i = 0; i < l.count; ++i) {
        const D3DLIGHT8& light = *l.lights[i];
        Quad8 toLight;
        __m256 reach = _mm256_set1_ps(1.0f);
        __m256 reached = _mm256_castsi256_ps(_mm256_set1_epi32(-1));
        if (light.Type == D3DLIGHT_DIRECTIONAL) {
            const Vec3 t = Normalised(Vec3{-light.Direction.x, -light.Direction.y, -light.Direction.z});
            toLight = {_mm256_set1_ps(t.x), _mm256_set1_ps(t.y), _mm256_set1_ps(t.z)};
        } else {
            const Quad8 d = {_mm256_sub_ps(_mm256_set1_ps(light.Position.x), p.x),
                             _mm256_sub_ps(_mm256_set1_ps(light.Position.y), p.y),
                             _mm256_sub_ps(_mm256_set1_ps(light.Position.z), p.z)};
            const __m256 dist = _mm256_sqrt_ps(Dot8(d, d));
            reached = _mm256_cmp_ps(dist, _mm256_set1_ps(light.Range), _CMP_NGT_UQ);
            const __m256 inv = _mm256_div_ps(_mm256_set1_ps(1.0f), dist);
            const __m256 away = _mm256_cmp_ps(dist, zero, _CMP_GT_OQ);
            toLight = {_mm256_and_ps(_mm256_mul_ps(d.x, inv), away), _mm256_and_ps(_mm256_mul_ps(d.y, inv), away),
                       _mm256_and_ps(_mm256_mul_ps(d.z, inv), away)};
            const __m256 denominator =
                _mm256_add_ps(MulAdd8(_mm256_set1_ps(light.Attenuation0), _mm256_set1_ps(light.Attenuation1), dist),
                              _mm256_mul_ps(_mm256_mul_ps(_mm256_set1_ps(light.Attenuation2), dist), dist));
            reach = _mm256_div_ps(_mm256_set1_ps(1.0f), _mm256_max_ps(_mm256_set1_ps(1e-6f), denominator));
        }
        // A light out of range adds nothing at all to its vertex.
        auto add = [&](__m256 sum, float c, __m256 amount) {
            return _mm256_add_ps(sum, _mm256_and_ps(_mm256_mul_ps(_mm256_set1_ps(c), amount), reached));
        };
        amb = {add(amb.r, light.Ambient.r, reach), add(amb.g, light.Ambient.g, reach),
               add(amb.b, light.Ambient.b, reach), amb.a};
        const __m256 nl = _mm256_mul_ps(_mm256_max_ps(Dot8(n, toLight), zero), reach);
        dif = {add(dif.r, light.Diffuse.r, nl), add(dif.g, light.Diffuse.g, nl),
               add(dif.b, light.Diffuse.b, nl), dif.a};
    }
    // The colour sources channel by channel (r, g, b, a): material colours or the vertex's
    // own, unpacked as ToValue does.
    auto source = [&](int i, int channel) {
        auto vertex = [&](int field) {
            const int shift = channel == 0 ? 16 : channel == 1 ? 8 : channel == 2 ? 0 : 24;
            const __m256i c = _mm256_srli_epi32(_mm256_castps_si256(column(field)), shift);
            return _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_and_si256(c, _mm256_set1_epi32(0xFF))),
                                 _mm256_set1_ps(1.0f / 255.0f));
        };
        if (l.source[i] == Lighting::VertexDiffuse)
            return layout.diffuse >= 0 ? vertex(kDiffuse8) : _mm256_set1_ps(1.0f);
        if (l.source[i] == Lighting::VertexSpecular) return layout.specular >= 0 ? vertex(kSpecular8) : zero;
        const D3DCOLORVALUE& m = l.material[i];
        return _mm256_set1_ps(channel == 0 ? m.r : channel == 1 ? m.g : channel == 2 ? m.b : m.a);
    };
    auto lit = [&](int channel, __m256 ambient, __m256 diffuse) {
        return Byte01x8(MulAdd8(MulAdd8(source(3, channel), source(1, channel), ambient), source(0, channel), diffuse));
    };
    const __m256 diffuse[4] = {lit(2, amb.b, dif.b), lit(1, amb.g, dif.g), lit(0, amb.r, dif.r),
                               Byte01x8(source(0, 3))};
    if (clipSpace) Rows8(diffuse[0], diffuse[1], diffuse[2], diffuse[3], out, kC + 16);
    Rows8(sz, q, times(diffuse[0]), times(diffuse[1]), out, kA);
    __m256 tex[4];
    for (int s = 0; s < 2; ++s) {
        const int at = layout.tex[s];
        tex[2 * s] = at >= 0 ? column(kTex8 + 2 * s) : zero;
        tex[2 * s + 1] = at >= 0 ? column(kTex8 + 2 * s + 1) : zero;
    }
    if (clipSpace) Rows8(tex[0], tex[1], tex[2], tex[3], out, kC + 32);
    Rows8(times(diffuse[2]), times(diffuse[3]), times(tex[0]), times(tex[1]), out, kA + 16);
    // Without highlights the specular colour is Clamp01(source x 0) x 255, zero for every
    // source (NaN and -0 clamp to +0 too); only its alpha is the source's own.
    const __m256 specularAlpha = Byte01x8(source(2, 3));
    if (clipSpace) Rows8(zero, zero, zero, specularAlpha, out, kC + 48);
    if (allAttributes) {
        Rows8(times(tex[2]), times(tex[3]), times(zero), times(zero), out, kA + 32);
        Rows8(times(zero), times(specularAlpha), zero, zero, out, kA + 48);
    }
    return outside;
}

#pragma GCC pop_options

// TransformLit8 sixteen vertices at a time, for processors with AVX-512: the same lane
// arithmetic in registers twice as wide, so that the divides and square roots of sixteen
// vertices go down one chain instead of two. A 128-bit lane of a row register holds vertex
// 4L + i where TransformLit8's two hold i and i + 4; everything else is lane by lane, and a
// masked product is the zero TransformLit8's masked product gives.
// GCC 12's AVX-512 headers make their "undefined" lanes from a variable set to itself,
// which its own -Wuninitialized then reports at every use.
#pragma GCC push_options
#pragma GCC target("avx2,avx512f,avx512bw,avx512dq,avx512vl")
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

struct Quad16 {
    __m512 x, y, z;
};

struct Colours16 {
    __m512 r, g, b, a;
};

inline __attribute__((always_inline)) Colours16 Broadcast16(const D3DCOLORVALUE& c) {
    return {_mm512_set1_ps(c.r), _mm512_set1_ps(c.g), _mm512_set1_ps(c.b), _mm512_set1_ps(c.a)};
}

inline __attribute__((always_inline)) __m512 Dot16(const Quad16& a, const Quad16& b) {
    return _mm512_add_ps(_mm512_add_ps(_mm512_mul_ps(a.x, b.x), _mm512_mul_ps(a.y, b.y)),
                         _mm512_mul_ps(a.z, b.z));
}

// Clamp01 x 255: NaN and anything not above zero give zero.
inline __attribute__((always_inline)) __m512 Byte01x16(__m512 v) {
    const __m512 clamped = _mm512_min_ps(_mm512_max_ps(v, _mm512_setzero_ps()), _mm512_set1_ps(1.0f));
    return _mm512_mul_ps(clamped, _mm512_set1_ps(255.0f));
}

inline __attribute__((always_inline)) __m512 MulAdd16(__m512 a, __m512 b, __m512 c) {
    return _mm512_add_ps(a, _mm512_mul_ps(b, c));
}

// Rows8 for sixteen vertices.
inline __attribute__((always_inline)) void Rows16(__m512 a, __m512 b, __m512 c, __m512 d,
                                                  ClipVertex* out, std::size_t at) {
    const __m512 ab0 = _mm512_unpacklo_ps(a, b), cd0 = _mm512_unpacklo_ps(c, d);
    const __m512 ab1 = _mm512_unpackhi_ps(a, b), cd1 = _mm512_unpackhi_ps(c, d);
    const __m512 r[4] = {_mm512_shuffle_ps(ab0, cd0, 0x44), _mm512_shuffle_ps(ab0, cd0, 0xEE),
                         _mm512_shuffle_ps(ab1, cd1, 0x44), _mm512_shuffle_ps(ab1, cd1, 0xEE)};
    auto to = [&](int vertex) { return reinterpret_cast<float*>(reinterpret_cast<char*>(out + vertex) + at); };
    for (int i = 0; i < 4; ++i) {
        _mm_storeu_ps(to(i), _mm512_castps512_ps128(r[i]));
        _mm_storeu_ps(to(i + 4), _mm512_extractf32x4_ps(r[i], 1));
        _mm_storeu_ps(to(i + 8), _mm512_extractf32x4_ps(r[i], 2));
        _mm_storeu_ps(to(i + 12), _mm512_extractf32x4_ps(r[i], 3));
    }
}

// ReadColumns8 for sixteen vertices: rows i, i + 4, i + 8 and i + 12 in one register.
inline __attribute__((always_inline)) void ReadColumns16(const Blocks8& blocks, std::size_t stride,
                                                         const BYTE* v, float (*columns)[16]) {
    const int whole = blocks.size / 16;
    for (unsigned read = blocks.read; read != 0; read &= read - 1) {
        const int b = __builtin_ctz(read);
        const BYTE* s = v + (b < whole ? 16 * b : blocks.size - 16);
        auto load = [&](std::size_t i) { return _mm_loadu_ps(reinterpret_cast<const float*>(s + i * stride)); };
        auto row = [&](std::size_t i) {
            const __m256 lo = _mm256_insertf128_ps(_mm256_castps128_ps256(load(i)), load(i + 4), 1);
            const __m256 hi = _mm256_insertf128_ps(_mm256_castps128_ps256(load(i + 8)), load(i + 12), 1);
            return _mm512_insertf32x8(_mm512_castps256_ps512(lo), hi, 1);
        };
        const __m512 r0 = row(0), r1 = row(1), r2 = row(2), r3 = row(3);
        const __m512 t0 = _mm512_unpacklo_ps(r0, r1), t1 = _mm512_unpackhi_ps(r0, r1);
        const __m512 t2 = _mm512_unpacklo_ps(r2, r3), t3 = _mm512_unpackhi_ps(r2, r3);
        float(*c)[16] = columns + 4 * b;
        _mm512_store_ps(c[0], _mm512_shuffle_ps(t0, t2, 0x44));
        _mm512_store_ps(c[1], _mm512_shuffle_ps(t0, t2, 0xEE));
        _mm512_store_ps(c[2], _mm512_shuffle_ps(t1, t3, 0x44));
        _mm512_store_ps(c[3], _mm512_shuffle_ps(t1, t3, 0xEE));
    }
}

// TransformLit8 for sixteen vertices; the matrices and viewport are read straight from the
// device's own floats, each broadcast where it is used.
bool TransformLit16(const Lighting& l, const VertexLayout& layout, const Blocks8& blocks,
                    const VertexState& vs, const ViewportMap& vp, std::size_t stride, const BYTE* v,
                    bool clipSpace, bool allAttributes, ClipVertex* out) {
    alignas(64) float columns[4 * kMaxBlocks8][16];
    ReadColumns16(blocks, stride, v, columns);
    auto column = [&](int field) { return _mm512_load_ps(columns[blocks.column[field]]); };

    const __m512 zero = _mm512_setzero_ps();
    auto row = [&](const Quad16& raw, const float(&m)[4][4], int j) {
        return _mm512_add_ps(_mm512_add_ps(_mm512_add_ps(_mm512_mul_ps(raw.x, _mm512_set1_ps(m[0][j])),
                                                         _mm512_mul_ps(raw.y, _mm512_set1_ps(m[1][j]))),
                                           _mm512_mul_ps(raw.z, _mm512_set1_ps(m[2][j]))),
                             _mm512_set1_ps(m[3][j]));
    };
    constexpr std::size_t kC = offsetof(ClipVertex, c);
    constexpr std::size_t kA = offsetof(ClipVertex, screen) + offsetof(raster::Vertex, a);

    __m512 q, sz;
    bool outside;
    {
        const Quad16 raw = {column(kPosition8), column(kPosition8 + 1), column(kPosition8 + 2)};
        const float(&m)[4][4] = vs.worldViewProjection.m;
        const __m512 c[4] = {row(raw, m, 0), row(raw, m, 1), row(raw, m, 2), row(raw, m, 3)};
        if (clipSpace) Rows16(c[0], c[1], c[2], c[3], out, kC);
        const __m512 minW = _mm512_set1_ps(kMinW);
        // NaN positions fail every comparison; they count as behind the near plane.
        const __mmask16 nearPlane = static_cast<__mmask16>(_mm512_cmp_ps_mask(c[2], zero, _CMP_NGE_UQ) |
                                                           _mm512_cmp_ps_mask(c[3], minW, _CMP_NGE_UQ));
        const __mmask16 farPlane = _mm512_cmp_ps_mask(c[2], c[3], _CMP_GT_OQ);
        const __mmask16 smallW = _mm512_cmp_ps_mask(c[3], minW, _CMP_LT_OQ);
        outside = (nearPlane | farPlane | smallW) != 0;
        // One byte per vertex, in vertex order.
        const __m128i bytes = _mm_or_si128(
            _mm_or_si128(_mm_maskz_mov_epi8(nearPlane, _mm_set1_epi8(kNear)),
                         _mm_maskz_mov_epi8(farPlane, _mm_set1_epi8(kFar))),
            _mm_maskz_mov_epi8(smallW, _mm_set1_epi8(kSmallW)));
        std::uint64_t lo = static_cast<std::uint64_t>(_mm_cvtsi128_si64(bytes));
        std::uint64_t hi = static_cast<std::uint64_t>(_mm_extract_epi64(bytes, 1));
        for (int i = 0; i < 8; ++i, lo >>= 8, hi >>= 8) {
            out[i].outside = static_cast<std::uint8_t>(lo);
            out[i + 8].outside = static_cast<std::uint8_t>(hi);
        }

        const __m512 one = _mm512_set1_ps(1.0f);
        q = _mm512_div_ps(one, c[3]);
        const __m512 sx = MulAdd16(_mm512_set1_ps(vp.x), _mm512_add_ps(one, _mm512_mul_ps(c[0], q)),
                                   _mm512_set1_ps(vp.halfWidth));
        const __m512 sy = MulAdd16(_mm512_set1_ps(vp.y), _mm512_sub_ps(one, _mm512_mul_ps(c[1], q)),
                                   _mm512_set1_ps(vp.halfHeight));
        sz = MulAdd16(_mm512_set1_ps(vp.minZ), _mm512_mul_ps(c[2], q), _mm512_set1_ps(vp.depthRange));
        // x, y pairs: 128-bit lane L of the first holds vertices 4L and 4L + 1, of the
        // second 4L + 2 and 4L + 3.
        const __m512 xy0 = _mm512_unpacklo_ps(sx, sy), xy1 = _mm512_unpackhi_ps(sx, sy);
        auto pairs = [&](__m128 p, int vertex) {
            _mm_storel_pi(reinterpret_cast<__m64*>(&out[vertex].screen.x), p);
            _mm_storeh_pi(reinterpret_cast<__m64*>(&out[vertex + 1].screen.x), p);
        };
        pairs(_mm512_castps512_ps128(xy0), 0);
        pairs(_mm512_castps512_ps128(xy1), 2);
        pairs(_mm512_extractf32x4_ps(xy0, 1), 4);
        pairs(_mm512_extractf32x4_ps(xy1, 1), 6);
        pairs(_mm512_extractf32x4_ps(xy0, 2), 8);
        pairs(_mm512_extractf32x4_ps(xy1, 2), 10);
        pairs(_mm512_extractf32x4_ps(xy0, 3), 12);
        pairs(_mm512_extractf32x4_ps(xy1, 3), 14);
    }
    auto times = [&](__m512 a) { return _mm512_mul_ps(a, q); };

    Quad16 n = {zero, zero, zero};
    if (layout.normal >= 0) {
        const Quad16 r = {column(kNormal8), column(kNormal8 + 1), column(kNormal8 + 2)};
        const float(&m)[3][3] = vs.normalMatrix;
        auto part = [&](int j) {
            return _mm512_add_ps(_mm512_add_ps(_mm512_mul_ps(r.x, _mm512_set1_ps(m[0][j])),
                                               _mm512_mul_ps(r.y, _mm512_set1_ps(m[1][j]))),
                                 _mm512_mul_ps(r.z, _mm512_set1_ps(m[2][j])));
        };
        n = {part(0), part(1), part(2)};
        if (l.normalise) {
            const __m512 len = _mm512_sqrt_ps(Dot16(n, n));
            const __m512 inv = _mm512_div_ps(_mm512_set1_ps(1.0f), len);
            const __mmask16 some = _mm512_cmp_ps_mask(len, zero, _CMP_GT_OQ);
            n = {_mm512_maskz_mul_ps(some, n.x, inv), _mm512_maskz_mul_ps(some, n.y, inv),
                 _mm512_maskz_mul_ps(some, n.z, inv)};
        }
    }

    const Quad16 raw = {column(kPosition8), column(kPosition8 + 1), column(kPosition8 + 2)};
    const float(&w)[4][4] = vs.world.m;
    const Quad16 p = {row(raw, w, 0), row(raw, w, 1), row(raw, w, 2)};
    Colours16 amb = Broadcast16(l.ambient);
    Colours16 dif = Broadcast16({0.0f, 0.0f, 0.0f, 0.0f});
    for (int i = 0; i < l.count; ++i) {
        const D3DLIGHT8& light = *l.lights[i];
        Quad16 toLight;
        __m512 reach = _mm512_set1_ps(1.0f);
        __mmask16 reached = 0xFFFF;
        if (light.Type == D3DLIGHT_DIRECTIONAL) {
            const Vec3 t = Normalised(Vec3{-light.Direction.x, -light.Direction.y, -light.Direction.z});
            toLight = {_mm512_set1_ps(t.x), _mm512_set1_ps(t.y), _mm512_set1_ps(t.z)};
        } else {
            const Quad16 d = {_mm512_sub_ps(_mm512_set1_ps(light.Position.x), p.x),
                              _mm512_sub_ps(_mm512_set1_ps(light.Position.y), p.y),
                              _mm512_sub_ps(_mm512_set1_ps(light.Position.z), p.z)};
            const __m512 dist = _mm512_sqrt_ps(Dot16(d, d));
            reached = _mm512_cmp_ps_mask(dist, _mm512_set1_ps(light.Range), _CMP_NGT_UQ);
            const __m512 inv = _mm512_div_ps(_mm512_set1_ps(1.0f), dist);
            const __mmask16 away = _mm512_cmp_ps_mask(dist, zero, _CMP_GT_OQ);
            toLight = {_mm512_maskz_mul_ps(away, d.x, inv), _mm512_maskz_mul_ps(away, d.y, inv),
                       _mm512_maskz_mul_ps(away, d.z, inv)};
            const __m512 denominator =
                _mm512_add_ps(MulAdd16(_mm512_set1_ps(light.Attenuation0), _mm512_set1_ps(light.Attenuation1), dist),
                              _mm512_mul_ps(_mm512_mul_ps(_mm512_set1_ps(light.Attenuation2), dist), dist));
            reach = _mm512_div_ps(_mm512_set1_ps(1.0f), _mm512_max_ps(_mm512_set1_ps(1e-6f), denominator));
        }
        // A light out of range adds nothing at all to its vertex (a +0, as in TransformLit8).
        auto add = [&](__m512 sum, float c, __m512 amount) {
            return _mm512_add_ps(sum, _mm512_maskz_mul_ps(reached, _mm512_set1_ps(c), amount));
        };
        amb = {add(amb.r, light.Ambient.r, reach), add(amb.g, light.Ambient.g, reach),
               add(amb.b, light.Ambient.b, reach), amb.a};
        const __m512 nl = _mm512_mul_ps(_mm512_max_ps(Dot16(n, toLight), zero), reach);
        dif = {add(dif.r, light.Diffuse.r, nl), add(dif.g, light.Diffuse.g, nl),
               add(dif.b, light.Diffuse.b, nl), dif.a};
    }
    auto source = [&](int i, int channel) {
        auto vertex = [&](int field) {
            const int shift = channel == 0 ? 16 : channel == 1 ? 8 : channel == 2 ? 0 : 24;
            const __m512i c = _mm512_srli_epi32(_mm512_castps_si512(column(field)), shift);
            return _mm512_mul_ps(_mm512_cvtepi32_ps(_mm512_and_si512(c, _mm512_set1_epi32(0xFF))),
                                 _mm512_set1_ps(1.0f / 255.0f));
        };
        if (l.source[i] == Lighting::VertexDiffuse)
            return layout.diffuse >= 0 ? vertex(kDiffuse8) : _mm512_set1_ps(1.0f);
        if (l.source[i] == Lighting::VertexSpecular) return layout.specular >= 0 ? vertex(kSpecular8) : zero;
        const D3DCOLORVALUE& m = l.material[i];
        return _mm512_set1_ps(channel == 0 ? m.r : channel == 1 ? m.g : channel == 2 ? m.b : m.a);
    };
    auto lit = [&](int channel, __m512 ambient, __m512 diffuse) {
        return Byte01x16(MulAdd16(MulAdd16(source(3, channel), source(1, channel), ambient), source(0, channel), diffuse));
    };
    const __m512 diffuse[4] = {lit(2, amb.b, dif.b), lit(1, amb.g, dif.g), lit(0, amb.r, dif.r),
                               Byte01x16(source(0, 3))};
    if (clipSpace) Rows16(diffuse[0], diffuse[1], diffuse[2], diffuse[3], out, kC + 16);
    Rows16(sz, q, times(diffuse[0]), times(diffuse[1]), out, kA);
    __m512 tex[4];
    for (int s = 0; s < 2; ++s) {
        const int at = layout.tex[s];
        tex[2 * s] = at >= 0 ? column(kTex8 + 2 * s) : zero;
        tex[2 * s + 1] = at >= 0 ? column(kTex8 + 2 * s + 1) : zero;
    }
    if (clipSpace) Rows16(tex[0], tex[1], tex[2], tex[3], out, kC + 32);
    Rows16(times(diffuse[2]), times(diffuse[3]), times(tex[0]), times(tex[1]), out, kA + 16);
    const __m512 specularAlpha = Byte01x16(source(2, 3));
    if (clipSpace) Rows16(zero, zero, zero, specularAlpha, out, kC + 48);
    if (allAttributes) {
        Rows16(times(tex[2]), times(tex[3]), times(zero), times(zero), out, kA + 32);
        Rows16(times(zero), times(specularAlpha), zero, zero, out, kA + 48);
    }
    return outside;
}

#pragma GCC diagnostic pop
#pragma GCC pop_options

bool CanTransformSixteen() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f") &&
           __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512dq") &&
           __builtin_cpu_supports("avx512vl");
}

// Whether lit runs of sixteen or more vertices take TransformLit16 (see TransformSixteen).
bool transformSixteen = CanTransformSixteen();

// Whether this processor takes TransformLit8.
const bool kLanes8 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));

} // namespace
#endif

#if defined(__SSE2__)
namespace {

// Pre-transformed vertices straight to their screen slots, with the values the one-at-a-time
// loop in Transform gives them (each colour byte and texture coordinate times q, one
// multiply each), four slots to a register and each register stored whole. They lie outside
// no plane, so their clip space is never read.
void ScreenVertices(const VertexLayout& layout, const BYTE* base, UINT stride, UINT count,
                    ClipVertex* out) {
    const __m128i zero = _mm_setzero_si128();
    auto bytes = [&](DWORD c) {
        const __m128i words = _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(c)), zero);
        return _mm_cvtepi32_ps(_mm_unpacklo_epi16(words, zero));
    };
    auto coordinate = [](const BYTE* v, int at, int k) { return at >= 0 ? ReadFloat(v + at + 4 * k) : 0.0f; };
    for (UINT i = 0; i < count; ++i) {
        const BYTE* v = base + static_cast<std::size_t>(i) * stride;
        const float rhw = ReadFloat(v + 12);
        const float q = (rhw > 0.0f && std::isfinite(rhw)) ? rhw : 1.0f;
        const __m128 qs = _mm_set1_ps(q);
        const __m128 diffuse =
            _mm_mul_ps(bytes(layout.diffuse >= 0 ? ReadDword(v + layout.diffuse) : 0xFFFFFFFFu), qs);
        const __m128 specular = _mm_mul_ps(bytes(layout.specular >= 0 ? ReadDword(v + layout.specular) : 0u), qs);
        const __m128 tex = _mm_mul_ps(_mm_setr_ps(coordinate(v, layout.tex[0], 0), coordinate(v, layout.tex[0], 1),
                                                  coordinate(v, layout.tex[1], 0), coordinate(v, layout.tex[1], 1)),
                                      qs);
        ClipVertex& cv = out[i];
        cv.outside = 0;
        cv.screen.x = ReadFloat(v);
        cv.screen.y = ReadFloat(v + 4);
        // Slots z, q, diffuse b g | r a, u0 v0 | u1 v1, specular b g | r a, 0, 0.
        float* a = cv.screen.a;
        _mm_store_ps(a, _mm_movelh_ps(_mm_setr_ps(ReadFloat(v + 8), q, 0.0f, 0.0f), diffuse));
        _mm_store_ps(a + 4, _mm_shuffle_ps(diffuse, tex, _MM_SHUFFLE(1, 0, 3, 2)));
        _mm_store_ps(a + 8, _mm_shuffle_ps(tex, specular, _MM_SHUFFLE(1, 0, 3, 2)));
        _mm_store_ps(a + 12, _mm_movehl_ps(_mm_setzero_ps(), specular));
    }
}

} // namespace
#endif

bool TransformSixteen(bool wanted) {
#if defined(__x86_64__)
    transformSixteen = wanted && CanTransformSixteen();
    return transformSixteen;
#else
    (void)wanted;
    return false;
#endif
}

bool Device::Transform(const VertexLayout& layout, UINT first, UINT count, ClipVertex* out,
                       bool clipSpace) const {
    const BYTE* base = stream_->bytes() + static_cast<std::size_t>(first) * streamStride_;
#if defined(__SSE2__)
    if (layout.pretransformed && !oneAtATime_) {
        ScreenVertices(layout, base, streamStride_, count, out);
        return false;
    }
#endif
    bool outside = false;
    const bool lighting = renderStates_[D3DRS_LIGHTING] != FALSE && !layout.pretransformed;
    // Only lit vertices read the lighting setup; unlit draws skip gathering (and clearing) it.
    Lighting setup;
    if (lighting) setup = PrepareLighting(layout);
    const float(&m)[4][4] = vs_.worldViewProjection.m;
    const float(&w)[4][4] = vs_.world.m;
    UINT i = 0;
#if defined(__SSE2__)
    if (lighting && LanesLight(setup)) {
#if defined(__x86_64__)
        const UINT size = VertexSize(fvf_);
        if (kLanes8 && size >= 16) {
            const Blocks8 blocks = PlanBlocks8(layout, size);
            // Only the pipeline's own slots of the screen vertex are read (raster.h).
            const bool allAttributes = pipeline_.Attributes() > raster::kBasicAttrs;
            auto sixteen = [&](UINT from, bool clip) {
                return TransformLit16(setup, layout, blocks, vs_, viewportMap_, streamStride_,
                                      base + static_cast<std::size_t>(from) * streamStride_, clip,
                                      allAttributes, out + from);
            };
            Constants8 constants;
            if (!transformSixteen || count < 16) SetUpConstants8(vs_, viewportMap_, constants);
            auto eight = [&](UINT from, bool clip) {
                return TransformLit8(setup, layout, blocks, constants, streamStride_,
                                     base + static_cast<std::size_t>(from) * streamStride_, clip,
                                     allAttributes, out + from);
            };
            auto lanes = [&](bool clip) {
                bool outside = false;
                UINT j = 0;
                if (transformSixteen && count >= 16) {
                    for (; j + 16 <= count; j += 16) outside |= sixteen(j, clip);
                    // The few left over take the lanes once more with those before them,
                    // which come out the same again.
                    if (j < count) outside |= sixteen(count - 16, clip);
                    return outside;
                }
                for (; j + 8 <= count; j += 8) outside |= eight(j, clip);
                if (j < count && count >= 8) outside |= eight(count - 8, clip);
                return outside;
            };
            // Clip space is read only to cut a primitive with a vertex outside a plane;
            // when this run has one after all, the lanes go over it again to write it.
            outside = lanes(clipSpace);
            if (outside && !clipSpace) lanes(true);
            if (count >= 8) i = count;
        }
#endif
        for (; i + 4 <= count; i += 4) {
            TransformLit4(setup, layout, base + static_cast<std::size_t>(i) * streamStride_, out + i);
            outside |= (out[i].outside | out[i + 1].outside | out[i + 2].outside | out[i + 3].outside) != 0;
        }
    }
#endif
    for (; i < count; ++i) {
        const BYTE* v = base + static_cast<std::size_t>(i) * streamStride_;
        ClipVertex& cv = out[i];
        float* c = cv.c;
        float x = ReadFloat(v), y = ReadFloat(v + 4), z = ReadFloat(v + 8);
        if (lighting) {
            float world[3];
            for (int j = 0; j < 3; ++j) world[j] = x * w[0][j] + y * w[1][j] + z * w[2][j] + w[3][j];
            Light(setup, layout, v, world, c + kDiffuseAt, c + kSpecularAt);
        } else {
            Unpack(layout.diffuse >= 0 ? ReadDword(v + layout.diffuse) : 0xFFFFFFFFu, c + kDiffuseAt);
            Unpack(layout.specular >= 0 ? ReadDword(v + layout.specular) : 0u, c + kSpecularAt);
        }
        for (int s = 0; s < 2; ++s) {
            int at = layout.tex[s];
            c[kTexAt + 2 * s] = at >= 0 ? ReadFloat(v + at) : 0.0f;
            c[kTexAt + 2 * s + 1] = at >= 0 ? ReadFloat(v + at + 4) : 0.0f;
        }
        if (layout.pretransformed) {
            // Screen pixels already; rhw gives perspective (a useless one counts as 1).
            float rhw = ReadFloat(v + 12);
            float q = (rhw > 0.0f && std::isfinite(rhw)) ? rhw : 1.0f;
            cv.outside = 0;
            cv.screen.x = x;
            cv.screen.y = y;
            cv.screen.a[raster::kZ] = z;
            cv.screen.a[raster::kQ] = q;
            for (int k = 0; k < 12; ++k) cv.screen.a[raster::kDiffuse + k] = c[kColour + k] * q;
            cv.screen.a[14] = cv.screen.a[15] = 0.0f;
            continue;
        }
        for (int j = 0; j < 4; ++j) c[j] = x * m[0][j] + y * m[1][j] + z * m[2][j] + m[3][j];
        cv.outside = static_cast<std::uint8_t>((c[2] < 0.0f ? kNear : 0) |
                                               (c[2] > c[3] ? kFar : 0) |
                                               (c[3] < kMinW ? kSmallW : 0));
        // NaN positions fail every comparison above; count them as behind the near plane.
        if (!(c[2] >= 0.0f) || !(c[3] >= kMinW)) cv.outside |= kNear;
        if (cv.outside == 0) Project(c, cv.screen);
        else outside = true;
    }
    return outside;
}

bool Device::TransformRun(UINT first, UINT count, ClipVertex* out, bool clipSpace) {
    if (stream_ == nullptr || VertexSize(fvf_) == 0) return false;
    if (pipelineDirty_) UpdatePipeline();
    if (transformsDirty_) UpdateTransforms();
    return Transform(Layout(), first, count, out, clipSpace);
}

inline void Device::DrawTriangle(const raster::Rect& vp, const ClipVertex& a, const ClipVertex& b,
                                 const ClipVertex& c) {
    if ((a.outside | b.outside | c.outside) == 0) {
        raster::DrawTriangle(target_, vp, pipeline_, a.screen, b.screen, c.screen, &batch_);
        return;
    }
    DrawCutTriangle(vp, a, b, c);
}

void Device::DrawCutTriangle(const raster::Rect& vp, const ClipVertex& a, const ClipVertex& b,
                             const ClipVertex& c) {
    if ((a.outside & b.outside & c.outside) != 0) return;
    ClipPoly poly;
    poly.n = 3;
    std::copy(a.c, a.c + kClipSlots, poly.v[0]);
    std::copy(b.c, b.c + kClipSlots, poly.v[1]);
    std::copy(c.c, c.c + kClipSlots, poly.v[2]);
    ClipPolygon(poly, static_cast<std::uint8_t>(a.outside | b.outside | c.outside));
    if (poly.n < 3) return;
    raster::Vertex screen[9];
    for (int i = 0; i < poly.n; ++i) Project(poly.v[i], screen[i]);
    for (int i = 1; i + 1 < poly.n; ++i)
        raster::DrawTriangle(target_, vp, pipeline_, screen[0], screen[i], screen[i + 1], &batch_);
}

void Device::DrawLine(const ClipVertex& a, const ClipVertex& b) {
    const raster::Rect vp = ViewportRect();
    if ((a.outside | b.outside) == 0) {
        raster::DrawLine(target_, vp, pipeline_, a.screen, b.screen);
        return;
    }
    if ((a.outside & b.outside) != 0) return;
    alignas(16) float p[2][kClipSlots];
    std::copy(a.c, a.c + kClipSlots, p[0]);
    std::copy(b.c, b.c + kClipSlots, p[1]);
    for (int plane = 0; plane < 3; ++plane) {
        float da = PlaneDistance(p[0], plane), db = PlaneDistance(p[1], plane);
        if (da < 0 && db < 0) return;
        if (da < 0) Cut(p[1], p[0], db, da, p[0]);
        else if (db < 0) Cut(p[0], p[1], da, db, p[1]);
    }
    raster::Vertex sa, sb;
    Project(p[0], sa);
    Project(p[1], sb);
    raster::DrawLine(target_, vp, pipeline_, sa, sb);
}

// Lists and strips are transformed kChunk vertices at a time; strips and fans carry the
// vertices they share across chunks.
void Device::DrawTriangles(D3DPRIMITIVETYPE type, UINT start, UINT count) {
    const VertexLayout layout = Layout();
    const raster::Rect vp = ViewportRect();
    ClipVertex* v = scratch_.get();
    if (type == D3DPT_TRIANGLELIST) {
        for (UINT done = 0; done < count;) {
            UINT n = std::min<UINT>(count - done, kChunk / 3);
            Transform(layout, start + 3 * done, 3 * n, v);
            for (UINT i = 0; i < n; ++i) DrawTriangle(vp, v[3 * i], v[3 * i + 1], v[3 * i + 2]);
            done += n;
        }
    } else if (type == D3DPT_TRIANGLESTRIP) {
        // Odd triangles swap their first two vertices to keep the strip's winding.
        for (UINT done = 0; done < count;) {
            UINT n = std::min<UINT>(count - done, kChunk);
            if (!Transform(layout, start + done, n + 2, v)) {
                // No vertex behind a clip plane: the whole chunk goes as one strip.
                raster::DrawStrip(target_, vp, pipeline_, &v[0].screen, sizeof(ClipVertex), static_cast<int>(n),
                                  (done & 1) != 0, &batch_);
                done += n;
                continue;
            }
            for (UINT i = 0; i < n;) {
                if ((v[i].outside | v[i + 1].outside | v[i + 2].outside) != 0) {
                    if (((done + i) & 1) == 0) DrawCutTriangle(vp, v[i], v[i + 1], v[i + 2]);
                    else DrawCutTriangle(vp, v[i + 1], v[i], v[i + 2]);
                    ++i;
                    continue;
                }
                // The run of triangles with no vertex behind a clip plane goes as one strip.
                UINT end = i + 1;
                while (end < n && v[end + 2].outside == 0) ++end;
                raster::DrawStrip(target_, vp, pipeline_, &v[i].screen, sizeof(ClipVertex),
                                  static_cast<int>(end - i), ((done + i) & 1) != 0, &batch_);
                i = end;
            }
            done += n;
        }
    } else {
        ClipVertex& hub = v[kChunk + 1];
        Transform(layout, start, 1, &hub);
        for (UINT done = 0; done < count;) {
            UINT n = std::min<UINT>(count - done, kChunk);
            // The hub may lie outside a plane while none of these does.
            Transform(layout, start + 1 + done, n + 1, v, hub.outside != 0);
            for (UINT i = 0; i < n; ++i) DrawTriangle(vp, hub, v[i], v[i + 1]);
            done += n;
        }
    }
    // Within a scene the pixels still to be shaded wait for the next draw, like the
    // triangles held back, so that the last group of each draw is not shaded half empty;
    // whatever reads the target or changes what they read settles them first. Outside
    // one, whoever drew may read the back buffer next.
    if (!inScene_) Settle();
}

void Device::DrawLines(D3DPRIMITIVETYPE type, UINT start, UINT count) {
    const VertexLayout layout = Layout();
    ClipVertex* v = scratch_.get();
    bool list = type == D3DPT_LINELIST;
    for (UINT done = 0; done < count;) {
        UINT n = std::min<UINT>(count - done, kChunk / 2);
        Transform(layout, list ? start + 2 * done : start + done, list ? 2 * n : n + 1, v);
        for (UINT i = 0; i < n; ++i) {
            if (list) DrawLine(v[2 * i], v[2 * i + 1]);
            else DrawLine(v[i], v[i + 1]);
        }
        done += n;
    }
}

void Device::DrawPoints(UINT start, UINT count) {
    const VertexLayout layout = Layout();
    ClipVertex* v = scratch_.get();
    const raster::Rect vp = ViewportRect();
    for (UINT done = 0; done < count;) {
        UINT n = std::min<UINT>(count - done, kChunk);
        Transform(layout, start + done, n, v);
        for (UINT i = 0; i < n; ++i) {
            if (v[i].outside == 0) raster::DrawPoint(target_, vp, pipeline_, v[i].screen);
        }
        done += n;
    }
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) {
    if (type < D3DPT_POINTLIST || type > D3DPT_TRIANGLEFAN) return D3DERR_INVALIDCALL;
    const UINT size = VertexSize(fvf_);
    if (fvf_ == 0 || stream_ == nullptr || streamStride_ < size) return D3DERR_INVALIDCALL;
    if (primitiveCount == 0) return D3D_OK;
    const UINT needed = VerticesFor(type, primitiveCount);
    if (needed == 0) return D3DERR_INVALIDCALL;
    // The last vertex must end inside the buffer.
    std::uint64_t end = (static_cast<std::uint64_t>(startVertex) + needed - 1) * streamStride_ + size;
    if (end > stream_->length()) return D3DERR_INVALIDCALL;
    if (pipelineDirty_) UpdatePipeline();
    if (transformsDirty_) UpdateTransforms();
    if (type <= D3DPT_LINESTRIP) {
        // Points and lines are drawn at once, after every triangle before them.
        Settle();
    } else {
        // Pixels pending or triangles held may still read these textures (see Settle).
        for (Texture* t : textures_) {
            if (t != nullptr) t->holder_ = this;
        }
    }
    if (type == D3DPT_POINTLIST) DrawPoints(startVertex, primitiveCount);
    else if (type <= D3DPT_LINESTRIP) DrawLines(type, startVertex, primitiveCount);
    else DrawTriangles(type, startVertex, primitiveCount);
    return D3D_OK;
}

} // namespace d3d8
