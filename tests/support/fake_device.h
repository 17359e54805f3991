// A recording IDirect3DDevice8 for tests: real CPU-memory buffers and textures, every call kept.
//
// Tests make one, put it in app.device, run the code under test and read `calls` (every
// device, buffer and texture call in order, with its arguments) or the current state
// (render states, stage states, textures, material, light 0, viewport, transforms, stream).
// Nothing is drawn. Resources belong to the device and live until it is destroyed, so
// recorded pointers stay valid even after Release.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/d3d8.h"

namespace fake {

// One recorded call. `args` hold the numeric arguments in order (floats as floats, DWORDs
// and enums as their values); `object` is the buffer or texture argument or the resource
// the call was made on. SetTransform keeps the matrix; DrawPrimitive keeps a copy of the
// vertices it would read from stream 0.
struct Call {
    std::string name;
    std::vector<double> args;
    const void* object = nullptr;
    D3DMATRIX matrix = {};
    std::vector<BYTE> vertices;

    double Arg(std::size_t i) const { return i < args.size() ? args[i] : -1.0; }
    DWORD ArgU(std::size_t i) const { return static_cast<DWORD>(Arg(i)); }
};

class Device;

class VertexBuffer final : public IDirect3DVertexBuffer8 {
public:
    VertexBuffer(Device* device, UINT length, DWORD fvf) : device_(device), fvf(fvf), data(length) {}

    ULONG AddRef() override { return ++refs; }
    ULONG Release() override;
    HRESULT Lock(UINT offset, UINT size, BYTE** out, DWORD flags) override;
    HRESULT Unlock() override;

    Device* device_;
    DWORD fvf;
    std::vector<BYTE> data;   // the buffer's bytes
    ULONG refs = 1;
    bool failLock = false;    // Lock returns E_FAIL and leaves *out alone
    int lockCount = 0;        // successful locks
    bool locked = false;
};

class Texture final : public IDirect3DTexture8 {
public:
    Texture(Device* device, UINT w, UINT h, D3DFORMAT fmt)
        : device_(device), width(w), height(h), format(fmt),
          pitch(static_cast<INT>(w * BytesPerTexel(fmt))), bits(static_cast<std::size_t>(pitch) * h) {}

    ULONG AddRef() override { return ++refs; }
    ULONG Release() override;
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect(UINT level) override;

    static UINT BytesPerTexel(D3DFORMAT f) {
        return (f == D3DFMT_R5G6B5 || f == D3DFMT_D16) ? 2 : f == D3DFMT_R8G8B8 ? 3 : 4;
    }
    // The 32-bit texel at (x, y) of an A8R8G8B8 or X8R8G8B8 texture.
    std::uint32_t Texel(UINT x, UINT y) const {
        std::uint32_t v;
        std::memcpy(&v, bits.data() + static_cast<std::size_t>(y) * pitch + x * 4u, 4);
        return v;
    }

    Device* device_;
    UINT width, height;
    D3DFORMAT format;
    INT pitch;
    std::vector<BYTE> bits;   // level 0, rows of `pitch` bytes
    ULONG refs = 1;
    bool failLock = false;
    int lockCount = 0;
    bool locked = false;
};

class Device final : public IDirect3DDevice8 {
public:
    Device() = default;
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    ~Device() override = default;

    // --- what the tests read and set ---
    std::vector<Call> calls;
    std::map<DWORD, DWORD> renderStates;                              // state -> value
    std::map<std::pair<DWORD, DWORD>, DWORD> stageStates;             // (stage, type) -> value
    std::map<DWORD, IDirect3DBaseTexture8*> textures;                 // stage -> texture
    std::map<DWORD, D3DMATRIX> transforms;                            // D3DTS_* -> matrix
    D3DMATERIAL8 material = {};
    D3DLIGHT8 light0 = {};
    bool light0Enabled = false;
    D3DVIEWPORT8 viewport = {0, 0, 1024, 768, 0.0f, 1.0f};
    IDirect3DVertexBuffer8* stream0 = nullptr;
    UINT stream0Stride = 0;
    DWORD vertexShader = 0;
    ULONG refs = 1;

    bool failCreateVertexBuffer = false;
    bool failCreateTexture = false;
    bool failVertexBufferLocks = false;   // every buffer's Lock fails while set
    bool failTextureLocks = false;        // every texture's LockRect fails while set

    std::vector<std::unique_ptr<VertexBuffer>> buffers;   // in order of creation
    std::vector<std::unique_ptr<Texture>> createdTextures;

    // --- queries ---
    std::vector<const Call*> CallsNamed(const std::string& name) const {
        std::vector<const Call*> out;
        for (const Call& c : calls)
            if (c.name == name) out.push_back(&c);
        return out;
    }
    std::size_t Count(const std::string& name) const { return CallsNamed(name).size(); }
    // Call names only, in order, with those in `skip` left out.
    std::vector<std::string> Names(const std::vector<std::string>& skip = {}) const {
        std::vector<std::string> out;
        for (const Call& c : calls) {
            bool skipped = false;
            for (const std::string& s : skip) skipped = skipped || c.name == s;
            if (!skipped) out.push_back(c.name);
        }
        return out;
    }
    DWORD RenderState(D3DRENDERSTATETYPE s) const {
        auto it = renderStates.find(s);
        return it == renderStates.end() ? 0 : it->second;
    }
    DWORD StageState(DWORD stage, D3DTEXTURESTAGESTATETYPE t) const {
        auto it = stageStates.find({stage, t});
        return it == stageStates.end() ? 0 : it->second;
    }
    IDirect3DBaseTexture8* BoundTexture(DWORD stage) const {
        auto it = textures.find(stage);
        return it == textures.end() ? nullptr : it->second;
    }
    D3DMATRIX Transform(D3DTRANSFORMSTATETYPE t) const {
        auto it = transforms.find(t);
        return it == transforms.end() ? D3DMATRIX{} : it->second;
    }
    void ClearCalls() { calls.clear(); }

    Call& Record(std::string name, std::vector<double> args = {}, const void* object = nullptr) {
        calls.push_back(Call{std::move(name), std::move(args), object, {}, {}});
        return calls.back();
    }

    // --- IUnknown ---
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override {
        Record("Release", {}, this);
        return refs > 0 ? --refs : 0;
    }

    // --- resources ---
    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                               IDirect3DVertexBuffer8** buffer) override {
        Record("CreateVertexBuffer", {double(length), double(usage), double(fvf), double(pool)});
        if (!buffer) return D3DERR_INVALIDCALL;
        if (failCreateVertexBuffer) return D3DERR_OUTOFVIDEOMEMORY;
        buffers.push_back(std::make_unique<VertexBuffer>(this, length, fvf));
        *buffer = buffers.back().get();
        return D3D_OK;
    }
    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                          D3DPOOL pool, IDirect3DTexture8** texture) override {
        Record("CreateTexture", {double(width), double(height), double(levels), double(usage),
                                 double(format), double(pool)});
        if (!texture) return D3DERR_INVALIDCALL;
        if (failCreateTexture) return D3DERR_OUTOFVIDEOMEMORY;
        createdTextures.push_back(std::make_unique<Texture>(this, width, height, format));
        *texture = createdTextures.back().get();
        return D3D_OK;
    }

    // --- frame ---
    HRESULT BeginScene() override { Record("BeginScene"); return D3D_OK; }
    HRESULT EndScene() override { Record("EndScene"); return D3D_OK; }
    HRESULT Clear(DWORD count, const void*, DWORD flags, D3DCOLOR colour, float z,
                  DWORD stencil) override {
        Record("Clear", {double(count), double(flags), double(colour), double(z), double(stencil)});
        return D3D_OK;
    }
    HRESULT Present(const RECT*, const RECT*, HWND, const void*) override {
        Record("Present");
        return D3D_OK;
    }

    // --- state ---
    HRESULT SetViewport(const D3DVIEWPORT8* v) override {
        if (!v) return D3DERR_INVALIDCALL;
        Record("SetViewport", {double(v->X), double(v->Y), double(v->Width), double(v->Height),
                               double(v->MinZ), double(v->MaxZ)});
        viewport = *v;
        return D3D_OK;
    }
    HRESULT GetViewport(D3DVIEWPORT8* v) override {
        if (!v) return D3DERR_INVALIDCALL;
        *v = viewport;
        return D3D_OK;
    }
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE t, const D3DMATRIX* m) override {
        if (!m) return D3DERR_INVALIDCALL;
        Record("SetTransform", {double(t)}).matrix = *m;
        transforms[t] = *m;
        return D3D_OK;
    }
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE t, D3DMATRIX* m) override {
        if (!m) return D3DERR_INVALIDCALL;
        *m = Transform(t);
        return D3D_OK;
    }
    HRESULT SetMaterial(const D3DMATERIAL8* m) override {
        if (!m) return D3DERR_INVALIDCALL;
        Record("SetMaterial");
        material = *m;
        return D3D_OK;
    }
    HRESULT GetMaterial(D3DMATERIAL8* m) override {
        if (!m) return D3DERR_INVALIDCALL;
        *m = material;
        return D3D_OK;
    }
    HRESULT SetLight(DWORD index, const D3DLIGHT8* l) override {
        if (!l) return D3DERR_INVALIDCALL;
        Record("SetLight", {double(index), double(l->Position.x), double(l->Position.y),
                            double(l->Position.z)});
        if (index == 0) light0 = *l;
        return D3D_OK;
    }
    HRESULT GetLight(DWORD index, D3DLIGHT8* l) override {
        if (!l || index != 0) return D3DERR_INVALIDCALL;
        *l = light0;
        return D3D_OK;
    }
    HRESULT LightEnable(DWORD index, BOOL enable) override {
        Record("LightEnable", {double(index), double(enable)});
        if (index == 0) light0Enabled = enable != FALSE;
        return D3D_OK;
    }
    HRESULT SetRenderState(D3DRENDERSTATETYPE s, DWORD value) override {
        Record("SetRenderState", {double(s), double(value)});
        renderStates[s] = value;
        return D3D_OK;
    }
    HRESULT GetRenderState(D3DRENDERSTATETYPE s, DWORD* value) override {
        if (!value) return D3DERR_INVALIDCALL;
        *value = RenderState(s);
        return D3D_OK;
    }
    HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture8* texture) override {
        Record("SetTexture", {double(stage)}, texture);
        textures[stage] = texture;
        return D3D_OK;
    }
    HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture8** texture) override {
        if (!texture) return D3DERR_INVALIDCALL;
        *texture = BoundTexture(stage);
        return D3D_OK;
    }
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE t, DWORD value) override {
        Record("SetTextureStageState", {double(stage), double(t), double(value)});
        stageStates[{stage, t}] = value;
        return D3D_OK;
    }
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE t, DWORD* value) override {
        if (!value) return D3DERR_INVALIDCALL;
        *value = StageState(stage, t);
        return D3D_OK;
    }
    HRESULT SetVertexShader(DWORD handle) override {
        Record("SetVertexShader", {double(handle)});
        vertexShader = handle;
        return D3D_OK;
    }
    HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer8* buffer, UINT stride) override {
        Record("SetStreamSource", {double(stream), double(stride)}, buffer);
        if (stream == 0) {
            stream0 = buffer;
            stream0Stride = stride;
        }
        return D3D_OK;
    }
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT start, UINT count) override {
        Call& c = Record("DrawPrimitive", {double(type), double(start), double(count)}, stream0);
        c.vertices = StreamBytes(type, start, count);
        return D3D_OK;
    }

    // Vertices a draw reads from stream 0 (as many as fit in the buffer).
    static UINT VertexCount(D3DPRIMITIVETYPE type, UINT count) {
        switch (type) {
        case D3DPT_POINTLIST: return count;
        case D3DPT_LINELIST: return count * 2;
        case D3DPT_LINESTRIP: return count + 1;
        case D3DPT_TRIANGLELIST: return count * 3;
        case D3DPT_TRIANGLESTRIP:
        case D3DPT_TRIANGLEFAN: return count + 2;
        }
        return 0;
    }

private:
    std::vector<BYTE> StreamBytes(D3DPRIMITIVETYPE type, UINT start, UINT count) const {
        auto* vb = static_cast<const VertexBuffer*>(stream0);
        if (!vb || stream0Stride == 0) return {};
        std::size_t begin = std::size_t(start) * stream0Stride;
        std::size_t end = begin + std::size_t(VertexCount(type, count)) * stream0Stride;
        if (begin > vb->data.size()) begin = vb->data.size();
        if (end > vb->data.size()) end = vb->data.size();
        return std::vector<BYTE>(vb->data.begin() + std::ptrdiff_t(begin),
                                 vb->data.begin() + std::ptrdiff_t(end));
    }
};

inline ULONG VertexBuffer::Release() {
    device_->Record("VertexBuffer::Release", {}, this);
    return refs > 0 ? --refs : 0;
}

inline HRESULT VertexBuffer::Lock(UINT offset, UINT size, BYTE** out, DWORD flags) {
    device_->Record("VertexBuffer::Lock", {double(offset), double(size), double(flags)}, this);
    if (!out || failLock || device_->failVertexBufferLocks || offset > data.size())
        return E_FAIL;
    *out = data.data() + offset;
    locked = true;
    ++lockCount;
    return D3D_OK;
}

inline HRESULT VertexBuffer::Unlock() {
    device_->Record("VertexBuffer::Unlock", {}, this);
    locked = false;
    return D3D_OK;
}

inline ULONG Texture::Release() {
    device_->Record("Texture::Release", {}, this);
    return refs > 0 ? --refs : 0;
}

inline HRESULT Texture::LockRect(UINT level, D3DLOCKED_RECT* out, const RECT* rect, DWORD flags) {
    device_->Record("Texture::LockRect", {double(level), double(flags)}, this);
    if (!out || level != 0 || failLock || device_->failTextureLocks) return E_FAIL;
    std::size_t offset = 0;
    if (rect) offset = std::size_t(rect->top) * pitch + std::size_t(rect->left) * BytesPerTexel(format);
    out->pBits = bits.data() + offset;
    out->Pitch = pitch;
    locked = true;
    ++lockCount;
    return D3D_OK;
}

inline HRESULT Texture::UnlockRect(UINT level) {
    device_->Record("Texture::UnlockRect", {double(level)}, this);
    locked = false;
    return D3D_OK;
}

// Reads vertex i of a recorded draw as T (e.g. RingVertex or the overlay's vertex).
template <typename T>
T DrawnVertex(const Call& draw, std::size_t i) {
    T v{};
    if ((i + 1) * sizeof(T) <= draw.vertices.size())
        std::memcpy(&v, draw.vertices.data() + i * sizeof(T), sizeof(T));
    return v;
}

} // namespace fake
