// The objects behind the d3d8 interfaces: the Direct3D object, the device, vertex buffers
// and textures. The device keeps Direct3D 8's states and turns them into work for the
// rasteriser (raster.h); vertex work lives in d3d8_vertex.cpp.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/d3d8.h"
#include "platform/host/host.h"
#include "platform/raster.h"

namespace d3d8 {

class Device;

// Reference counting shared by every object; deletes itself at zero.
template <class Interface>
class Counted : public Interface {
public:
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

protected:
    ULONG refs_ = 1;
};

class Direct3D final : public Counted<IDirect3D8> {
public:
    HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) override;
    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviour,
                         D3DPRESENT_PARAMETERS* params, IDirect3DDevice8** device) override;
};

class VertexBuffer final : public Counted<IDirect3DVertexBuffer8> {
public:
    static VertexBuffer* Make(UINT length);
    HRESULT Lock(UINT offset, UINT size, BYTE** data, DWORD flags) override;
    HRESULT Unlock() override;

    const BYTE* bytes() const { return bytes_.get(); }
    UINT length() const { return length_; }

private:
    std::unique_ptr<BYTE[]> bytes_; // the vertices, zeroed at creation
    UINT length_ = 0;               // bytes
    int locks_ = 0;                 // Lock calls not yet matched by Unlock
};

// Frees a texture's filtering copy, made by host::AllocateBuffer (large) or new[].
struct CopyFree {
    bool large = false;
    void operator()(std::uint32_t* copy) const noexcept {
        if (large) host::FreeBuffer(copy);
        else delete[] copy;
    }
};

class Texture final : public Counted<IDirect3DTexture8> {
public:
    static Texture* Make(UINT width, UINT height);
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect(UINT level) override;

    raster::Texture View() const { return {texels_.get(), width_, height_, wrapped_.get()}; }

private:
    friend class Device;
    Device* holder_ = nullptr; // a device whose pending pixels or held triangles read this texture
    std::unique_ptr<std::uint32_t[]> texels_; // level 0, 0xAARRGGBB, pitch = width
    // The texels with their wrap written out (raster::BuildWrapped) for filtering, remade
    // at each unlock; only for power-of-two sizes, null when it could not be allocated.
    static constexpr std::size_t kLargeCopy = std::size_t{64} << 10; // bytes
    std::unique_ptr<std::uint32_t[], CopyFree> wrapped_;
    int width_ = 0;
    int height_ = 0;
    int locks_ = 0; // LockRect calls not yet matched by UnlockRect
};

constexpr int kRenderStates = 256; // render state numbers below this are stored
constexpr int kTextureStages = 8;
constexpr int kStageStates = 29;   // texture-stage state numbers 1..28
constexpr int kLights = 8;
constexpr UINT kChunk = 3072; // vertices transformed at a time; a multiple of 2 and 3

// Where the parts of a vertex lie in a vertex of a given format (bytes from its start).
struct VertexLayout {
    bool pretransformed;  // XYZRHW: screen position and rhw, no transform or lighting
    int normal;           // -1 when absent, likewise below
    int diffuse;
    int specular;
    int tex[2];           // coordinates read by stages 0 and 1 (from TEXCOORDINDEX)
};

// A vertex after transform and lighting, before clipping and projection.
struct ClipVertex {
    // x, y, z, w in clip space (position x world x view x projection), then the
    // rasteriser's attributes from raster::kDiffuse on, not yet multiplied by q. Only
    // written when a vertex transformed with it lies outside a plane (see Transform).
    alignas(16) float c[16];
    std::uint8_t outside;   // clip planes the vertex lies behind (near, far, w)
    raster::Vertex screen;  // projected, valid when outside == 0 (the slots the pipeline reads)
};

struct Lighting; // what lighting needs of the device's states, gathered once per draw

// The viewport as the projection uses it.
struct ViewportMap {
    float x, y;                  // top-left pixel centre
    float halfWidth, halfHeight; // half the size in pixels
    float minZ, depthRange;      // MinZ and MaxZ - MinZ
};

// The device's fixed function: transforms, material and lights.
struct VertexState {
    D3DMATRIX world, view, projection; // as set; identity until then
    D3DMATRIX worldViewProjection;     // derived, row vectors
    float normalMatrix[3][3];          // derived: inverse transpose of world's 3x3
    float eye[3];                      // derived: camera position in world space
    D3DMATERIAL8 material;             // as set; zero until then
    D3DLIGHT8 lights[kLights];         // as set, or the default light
    bool lightSet[kLights];            // SetLight or LightEnable has named the light
    bool lightOn[kLights];             // enabled by LightEnable
};

class Device final : public Counted<IDirect3DDevice8> {
public:
    // Null when the buffers cannot be allocated.
    static Device* Make(Direct3D* parent, int width, int height, bool depth);
    ~Device() override;

    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                               IDirect3DVertexBuffer8** buffer) override;
    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                          D3DPOOL pool, IDirect3DTexture8** texture) override;
    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Clear(DWORD count, const void* rects, DWORD flags, D3DCOLOR colour, float z,
                  DWORD stencil) override;
    HRESULT Present(const RECT* source, const RECT* dest, HWND destWindow,
                    const void* dirtyRegion) override;
    HRESULT SetViewport(const D3DVIEWPORT8* viewport) override;
    HRESULT GetViewport(D3DVIEWPORT8* viewport) override;
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
    HRESULT SetMaterial(const D3DMATERIAL8* material) override;
    HRESULT GetMaterial(D3DMATERIAL8* material) override;
    HRESULT SetLight(DWORD index, const D3DLIGHT8* light) override;
    HRESULT GetLight(DWORD index, D3DLIGHT8* light) override;
    HRESULT LightEnable(DWORD index, BOOL enable) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
    HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture8* texture) override;
    HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture8** texture) override;
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override;
    HRESULT SetVertexShader(DWORD handle) override;
    HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer8* buffer, UINT stride) override;
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) override;

    // The target with every triangle drawn so far in it.
    const raster::Target& target() {
        Settle();
        return target_;
    }
    // Draws the triangles the batch holds back (see raster::Batch). Anything that reads
    // or writes the target, or changes a texture they read, comes after this.
    void Settle();
    // The current viewport as a pixel rectangle.
    raster::Rect ViewportRect() const;
    // Pre-transformed vertices one at a time, as the reference loop takes them (cross-checks).
    void SetOneAtATime(bool on) { oneAtATime_ = on; }
    // Vertices first.. first + count - 1 of stream 0 through the vertex work as one draw of
    // them takes them (fewer than four go one at a time), for cross-checks of the lanes.
    // Returns whether one lies outside a clip plane.
    bool TransformRun(UINT first, UINT count, ClipVertex* out, bool clipSpace);

private:
    Device() = default;
    void SetViewportMap();
    void ResetStates();
    void UpdatePipeline();
    void UpdateTransforms();
    VertexLayout Layout() const;
    // Clip space is written for every vertex when one of these lies outside a plane, or
    // under clipSpace; otherwise only what drawing them uncut reads. Returns whether one
    // lies outside a plane.
    bool Transform(const VertexLayout& layout, UINT first, UINT count, ClipVertex* out,
                   bool clipSpace = false) const;
    Lighting PrepareLighting(const VertexLayout& layout) const;
    void Light(const Lighting& setup, const VertexLayout& layout, const BYTE* vertex,
               const float* world, float* diffuse, float* specular) const;
    void Project(const float* clip, raster::Vertex& out) const;
    // Transform, lighting and projection of four lit vertices at once, for the states
    // LanesLight accepts; the same results as one at a time.
    bool LanesLight(const Lighting& setup) const;
    void TransformLit4(const Lighting& setup, const VertexLayout& layout, const BYTE* vertices,
                       ClipVertex* out) const;
    void DrawTriangles(D3DPRIMITIVETYPE type, UINT start, UINT count);
    void DrawLines(D3DPRIMITIVETYPE type, UINT start, UINT count);
    void DrawPoints(UINT start, UINT count);
    void DrawTriangle(const raster::Rect& viewport, const ClipVertex& a, const ClipVertex& b,
                      const ClipVertex& c);
    // A triangle with a vertex behind a clip plane: cut, then drawn.
    void DrawCutTriangle(const raster::Rect& viewport, const ClipVertex& a, const ClipVertex& b,
                         const ClipVertex& c);
    void DrawLine(const ClipVertex& a, const ClipVertex& b);

    Direct3D* parent_ = nullptr;                  // held for the device's life
    std::unique_ptr<std::uint32_t[], host::BufferFree> colour_; // back buffer, 0xAARRGGBB
    std::unique_ptr<std::uint16_t[], host::BufferFree> depth_;  // 16-bit depth buffer, null without one
    raster::Target target_;                       // views colour_ and depth_
    D3DVIEWPORT8 viewport_{};                     // where drawing and Clear go
    ViewportMap viewportMap_{};                   // derived from viewport_
    bool inScene_ = false;                        // between BeginScene and EndScene

    DWORD renderStates_[kRenderStates] = {};      // by D3DRS_ number
    DWORD stageStates_[kTextureStages][kStageStates] = {}; // by stage and D3DTSS_ number
    Texture* textures_[kTextureStages] = {};      // bound textures, each holding a reference
    Texture* kept_[kTextureStages] = {};          // unbound but read by held triangles, likewise
    DWORD fvf_ = 0;                               // vertex format of SetVertexShader, 0 = none
    VertexBuffer* stream_ = nullptr;              // stream 0, holding a reference
    UINT streamStride_ = 0;                       // bytes per vertex in stream 0

    VertexState vs_{};                            // transforms, material, lights
    bool transformsDirty_ = true;                 // derived matrices need recomputing
    bool pipelineDirty_ = true;                   // raster pipeline needs recompiling
    raster::Pipeline pipeline_;                   // compiled from the states above
    bool compiled_ = false;                       // pipeline_ has been compiled
    bool oneAtATime_ = false;                     // see SetOneAtATime
    // Layout's last answer, and the format and coordinate sets it was made from.
    mutable VertexLayout layout_{};
    mutable DWORD layoutFvf_ = 0;
    mutable DWORD layoutIndex_[2] = {};
    mutable bool layoutMade_ = false;

    std::unique_ptr<ClipVertex[]> scratch_;       // kChunk + 2 transformed vertices
    raster::Batch batch_{true};                   // triangles shaded together, some held back
};

// The device behind an interface pointer, null when it is not one of ours.
Device* FromInterface(IDirect3DDevice8* device);

// Whether lit vertices go through the lanes sixteen at a time (AVX-512) rather than eight,
// where the processor can; the results are the same either way. On by default where it can
// be; returns whether it is on now.
bool TransformSixteen(bool wanted);

// Bytes of one vertex of a flexible vertex format, 0 for a format the device does not take.
UINT VertexSize(DWORD fvf);

} // namespace d3d8
