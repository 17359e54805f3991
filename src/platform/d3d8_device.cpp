// The d3d8 device: Direct3D 8's render, texture-stage and transform states with their
// initial values, resources, viewports, Clear and Present. Drawing is in d3d8_vertex.cpp.
#include "platform/d3d8_device.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <new>

#include "platform/host/host.h"

namespace d3d8 {
namespace {

constexpr DWORD kFloatOne = 0x3F800000u;

// Render states the device knows, with Direct3D 8's initial values. D3DRS_ZENABLE is
// filled in at creation (TRUE only with a depth buffer).
struct KnownState {
    int number;
    DWORD initial;
};
constexpr KnownState kKnownStates[] = {
    {7, 0},            {8, 3},           {9, 2},           {10, 0},          {14, TRUE},
    {15, FALSE},       {16, TRUE},       {19, 2},          {20, 1},          {22, 3},
    {23, 4},           {24, 0},          {25, 8},          {26, FALSE},      {27, FALSE},
    {28, FALSE},       {29, FALSE},      {30, FALSE},      {34, 0},          {35, 0},
    {36, 0},           {37, kFloatOne},  {38, kFloatOne},  {40, FALSE},      {47, 0},
    {48, FALSE},       {52, FALSE},      {53, 1},          {54, 1},          {55, 1},
    {56, 8},           {57, 0},          {58, 0xFFFFFFFFu}, {59, 0xFFFFFFFFu}, {60, 0xFFFFFFFFu},
    {128, 0},          {129, 0},         {130, 0},         {131, 0},         {132, 0},
    {133, 0},          {134, 0},         {135, 0},         {136, TRUE},      {137, TRUE},
    {139, 0},          {140, 0},         {141, TRUE},      {142, TRUE},      {143, FALSE},
    {145, 1},          {146, 2},         {147, 0},         {148, 0},         {151, 0},
    {152, 0},          {153, FALSE},     {154, kFloatOne}, {155, 0},         {156, FALSE},
    {157, FALSE},      {158, kFloatOne}, {159, 0},         {160, 0},         {161, TRUE},
    {162, 0xFFFFFFFFu}, {163, 0},        {164, kFloatOne}, {166, 0x42800000u}, {167, FALSE},
    {168, 0xF},        {170, 0},         {171, 1},         {172, 3},         {173, 1},
};

bool IsKnownState(DWORD state) {
    for (const KnownState& k : kKnownStates) {
        if (static_cast<DWORD>(k.number) == state) return true;
    }
    return false;
}

bool InRange(DWORD v, DWORD lo, DWORD hi) { return v >= lo && v <= hi; }

// Values the rasteriser could not act on are refused, so that stored states stay usable.
bool ValidRenderValue(DWORD state, DWORD v) {
    switch (state) {
    case D3DRS_ZFUNC:
    case D3DRS_ALPHAFUNC: return InRange(v, 1, 8);
    case D3DRS_SRCBLEND:
    case D3DRS_DESTBLEND: return InRange(v, 1, 13);
    case D3DRS_CULLMODE:
    case D3DRS_SHADEMODE:
    case D3DRS_FILLMODE: return InRange(v, 1, 3);
    case D3DRS_ZENABLE: return InRange(v, 0, 2);
    case D3DRS_DIFFUSEMATERIALSOURCE:
    case D3DRS_SPECULARMATERIALSOURCE:
    case D3DRS_AMBIENTMATERIALSOURCE:
    case D3DRS_EMISSIVEMATERIALSOURCE: return InRange(v, 0, 2);
    default: return true;
    }
}

bool ValidArg(DWORD v) {
    return (v & ~(D3DTA_SELECTMASK | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE)) == 0 &&
           (v & D3DTA_SELECTMASK) <= D3DTA_SPECULAR;
}

bool ValidStageValue(DWORD type, DWORD v) {
    switch (type) {
    case D3DTSS_COLOROP:
    case D3DTSS_ALPHAOP: return InRange(v, D3DTOP_DISABLE, D3DTOP_BLENDCURRENTALPHA);
    case D3DTSS_COLORARG1:
    case D3DTSS_COLORARG2:
    case D3DTSS_ALPHAARG1:
    case D3DTSS_ALPHAARG2:
    case 26: // COLORARG0
    case 27: // ALPHAARG0
    case 28: // RESULTARG
        return ValidArg(v);
    case D3DTSS_ADDRESSU:
    case D3DTSS_ADDRESSV:
    case 25: // ADDRESSW
        return InRange(v, D3DTADDRESS_WRAP, D3DTADDRESS_CLAMP);
    case D3DTSS_MAGFILTER:
    case D3DTSS_MINFILTER: return InRange(v, D3DTEXF_POINT, D3DTEXF_LINEAR);
    case D3DTSS_MIPFILTER: return InRange(v, D3DTEXF_NONE, D3DTEXF_LINEAR);
    case D3DTSS_TEXCOORDINDEX: return v < 8;
    default: return true;
    }
}

D3DMATRIX Identity() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

// A light that LightEnable switches on before any SetLight: white, pointing along +z.
D3DLIGHT8 DefaultLight() {
    D3DLIGHT8 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
    light.Direction = {0.0f, 0.0f, 1.0f};
    return light;
}

bool ValidLight(const D3DLIGHT8& l) {
    if (l.Type != D3DLIGHT_POINT && l.Type != D3DLIGHT_SPOT && l.Type != D3DLIGHT_DIRECTIONAL)
        return false;
    if (l.Type == D3DLIGHT_DIRECTIONAL) return true;
    return l.Range >= 0.0f && l.Attenuation0 >= 0.0f && l.Attenuation1 >= 0.0f &&
           l.Attenuation2 >= 0.0f &&
           l.Attenuation0 + l.Attenuation1 + l.Attenuation2 > 0.0f;
}

} // namespace

Device* FromInterface(IDirect3DDevice8* device) { return dynamic_cast<Device*>(device); }

// --- the Direct3D object ----------------------------------------------------------------

HRESULT Direct3D::GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) {
    if (adapter != D3DADAPTER_DEFAULT || mode == nullptr) return D3DERR_INVALIDCALL;
    *mode = {1024, 768, 60, D3DFMT_A8R8G8B8};
    return D3D_OK;
}

HRESULT Direct3D::CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD,
                               D3DPRESENT_PARAMETERS* p, IDirect3DDevice8** device) {
    if (device == nullptr) return D3DERR_INVALIDCALL;
    *device = nullptr;
    if (adapter != D3DADAPTER_DEFAULT || focusWindow == nullptr || p == nullptr)
        return D3DERR_INVALIDCALL;
    if (type != D3DDEVTYPE_HAL && type != D3DDEVTYPE_REF) return D3DERR_INVALIDCALL;
    UINT width = p->BackBufferWidth;
    UINT height = p->BackBufferHeight;
    if (p->Windowed && width == 0 && height == 0) {
        width = 1024;
        height = 768;
    }
    bool formatOk = p->BackBufferFormat == D3DFMT_A8R8G8B8 ||
                    p->BackBufferFormat == D3DFMT_X8R8G8B8 ||
                    (p->Windowed && p->BackBufferFormat == D3DFMT_UNKNOWN);
    bool depthOk = !p->EnableAutoDepthStencil || p->AutoDepthStencilFormat == D3DFMT_D16;
    if (!InRange(width, 1, 4096) || !InRange(height, 1, 4096) || !formatOk || !depthOk ||
        p->BackBufferCount > 1 || p->MultiSampleType != D3DMULTISAMPLE_NONE ||
        !InRange(p->SwapEffect, D3DSWAPEFFECT_DISCARD, D3DSWAPEFFECT_COPY))
        return D3DERR_INVALIDCALL;
    Device* made = Device::Make(this, static_cast<int>(width), static_cast<int>(height),
                                p->EnableAutoDepthStencil != FALSE);
    if (made == nullptr) return D3DERR_OUTOFVIDEOMEMORY;
    *device = made;
    return D3D_OK;
}

// --- resources --------------------------------------------------------------------------

VertexBuffer* VertexBuffer::Make(UINT length) {
    std::unique_ptr<BYTE[]> bytes(new (std::nothrow) BYTE[length]());
    if (!bytes) return nullptr;
    VertexBuffer* buffer = new (std::nothrow) VertexBuffer();
    if (buffer == nullptr) return nullptr;
    buffer->bytes_ = std::move(bytes);
    buffer->length_ = length;
    return buffer;
}

HRESULT VertexBuffer::Lock(UINT offset, UINT size, BYTE** data, DWORD) {
    if (data == nullptr) return D3DERR_INVALIDCALL;
    *data = nullptr;
    if (offset >= length_ || size > length_ - offset) return D3DERR_INVALIDCALL;
    ++locks_;
    *data = bytes_.get() + offset;
    return D3D_OK;
}

HRESULT VertexBuffer::Unlock() {
    if (locks_ == 0) return D3DERR_INVALIDCALL;
    --locks_;
    return D3D_OK;
}

Texture* Texture::Make(UINT width, UINT height) {
    std::size_t count = static_cast<std::size_t>(width) * height;
    std::unique_ptr<std::uint32_t[]> texels(new (std::nothrow) std::uint32_t[count]());
    if (!texels) return nullptr;
    Texture* texture = new (std::nothrow) Texture();
    if (texture == nullptr) return nullptr;
    texture->texels_ = std::move(texels);
    texture->width_ = static_cast<int>(width);
    texture->height_ = static_cast<int>(height);
    // Zero texels, zero copy: it starts out matching.
    if (std::has_single_bit(width) && std::has_single_bit(height)) {
        const std::size_t words = raster::WrappedWords(texture->width_, texture->height_);
        // A copy of many small pages goes on large ones where the system has them: each
        // frame's samples reach most of its pages anew, each a miss in the processor's
        // page-translation caches (about 0.3% of the frame for the rings' 256 x 256).
        const bool large = words * sizeof(std::uint32_t) >= kLargeCopy;
        std::uint32_t* copy = large ? static_cast<std::uint32_t*>(host::AllocateBuffer(words * sizeof(std::uint32_t)))
                                    : new (std::nothrow) std::uint32_t[words]();
        texture->wrapped_ = std::unique_ptr<std::uint32_t[], CopyFree>(copy, CopyFree{large});
    }
    return texture;
}

HRESULT Texture::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD) {
    if (level != 0 || locked == nullptr) return D3DERR_INVALIDCALL;
    // Triangles held back still read the texels as they are.
    if (holder_ != nullptr) holder_->Settle();
    RECT r = {0, 0, width_, height_};
    if (rect != nullptr) {
        if (rect->left < 0 || rect->top < 0 || rect->left >= rect->right ||
            rect->top >= rect->bottom || rect->right > width_ || rect->bottom > height_)
            return D3DERR_INVALIDCALL;
        r = *rect;
    }
    ++locks_;
    locked->Pitch = width_ * 4;
    locked->pBits = texels_.get() + static_cast<std::size_t>(r.top) * width_ + r.left;
    return D3D_OK;
}

HRESULT Texture::UnlockRect(UINT level) {
    if (level != 0 || locks_ == 0) return D3DERR_INVALIDCALL;
    --locks_;
    if (locks_ == 0 && wrapped_) raster::BuildWrapped(View(), wrapped_.get());
    return D3D_OK;
}

// --- the device: creation and resources --------------------------------------------------

Device* Device::Make(Direct3D* parent, int width, int height, bool depth) {
    std::size_t pixels = static_cast<std::size_t>(width) * height;
    Device* d = new (std::nothrow) Device();
    if (d == nullptr) return nullptr;
    d->colour_.reset(static_cast<std::uint32_t*>(host::AllocateBuffer(pixels * sizeof(std::uint32_t))));
    if (depth) d->depth_.reset(static_cast<std::uint16_t*>(host::AllocateBuffer(pixels * sizeof(std::uint16_t))));
    d->scratch_.reset(new (std::nothrow) ClipVertex[kChunk + 2]());
    if (!d->colour_ || (depth && !d->depth_) || !d->scratch_) {
        d->Release();
        return nullptr;
    }
    if (depth) std::fill_n(d->depth_.get(), pixels, std::uint16_t{0xFFFF});
    d->target_ = {d->colour_.get(), d->depth_.get(), width, height};
    d->parent_ = parent;
    parent->AddRef();
    d->ResetStates();
    return d;
}

Device::~Device() {
    Settle();
    for (Texture*& t : textures_) {
        if (t != nullptr) t->Release();
    }
    if (stream_ != nullptr) stream_->Release();
    if (parent_ != nullptr) parent_->Release();
}

void Device::ResetStates() {
    for (const KnownState& k : kKnownStates) renderStates_[k.number] = k.initial;
    renderStates_[D3DRS_ZENABLE] = depth_ ? TRUE : FALSE;
    for (int s = 0; s < kTextureStages; ++s) {
        DWORD* st = stageStates_[s];
        st[D3DTSS_COLOROP] = s == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        st[D3DTSS_ALPHAOP] = s == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        st[D3DTSS_COLORARG1] = st[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        st[D3DTSS_COLORARG2] = st[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        st[26] = st[27] = st[28] = D3DTA_CURRENT;
        st[D3DTSS_TEXCOORDINDEX] = static_cast<DWORD>(s);
        st[D3DTSS_ADDRESSU] = st[D3DTSS_ADDRESSV] = st[25] = D3DTADDRESS_WRAP;
        st[D3DTSS_MAGFILTER] = st[D3DTSS_MINFILTER] = D3DTEXF_POINT;
        st[D3DTSS_MIPFILTER] = D3DTEXF_NONE;
        st[21] = 1; // MAXANISOTROPY
    }
    viewport_ = {0, 0, static_cast<DWORD>(target_.width), static_cast<DWORD>(target_.height),
                 0.0f, 1.0f};
    SetViewportMap();
    vs_.world = vs_.view = vs_.projection = Identity();
    for (int i = 0; i < kLights; ++i) {
        vs_.lights[i] = DefaultLight();
        vs_.lightSet[i] = vs_.lightOn[i] = false;
    }
    transformsDirty_ = pipelineDirty_ = true;
}

HRESULT Device::CreateVertexBuffer(UINT length, DWORD, DWORD fvf, D3DPOOL pool,
                                   IDirect3DVertexBuffer8** buffer) {
    if (buffer == nullptr) return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    if (length == 0 || pool > D3DPOOL_SYSTEMMEM) return D3DERR_INVALIDCALL;
    if (fvf != 0 && (VertexSize(fvf) == 0 || length < VertexSize(fvf))) return D3DERR_INVALIDCALL;
    VertexBuffer* made = VertexBuffer::Make(length);
    if (made == nullptr) return D3DERR_OUTOFVIDEOMEMORY;
    *buffer = made;
    return D3D_OK;
}

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                              D3DPOOL pool, IDirect3DTexture8** texture) {
    if (texture == nullptr) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    if (!InRange(width, 1, 4096) || !InRange(height, 1, 4096) || levels > 1 || usage != 0 ||
        format != D3DFMT_A8R8G8B8 || pool > D3DPOOL_SYSTEMMEM)
        return D3DERR_INVALIDCALL;
    Texture* made = Texture::Make(width, height);
    if (made == nullptr) return D3DERR_OUTOFVIDEOMEMORY;
    *texture = made;
    return D3D_OK;
}

// --- frames ------------------------------------------------------------------------------

HRESULT Device::BeginScene() {
    if (inScene_) return D3DERR_INVALIDCALL;
    inScene_ = true;
    return D3D_OK;
}

HRESULT Device::EndScene() {
    if (!inScene_) return D3DERR_INVALIDCALL;
    Settle();
    inScene_ = false;
    return D3D_OK;
}

raster::Rect Device::ViewportRect() const {
    return {static_cast<int>(viewport_.X), static_cast<int>(viewport_.Y),
            static_cast<int>(viewport_.X + viewport_.Width),
            static_cast<int>(viewport_.Y + viewport_.Height)};
}

HRESULT Device::Clear(DWORD count, const void* rects, DWORD flags, D3DCOLOR colour, float z,
                      DWORD) {
    const DWORD known = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL;
    if ((flags & ~known) != 0 || (count > 0 && rects == nullptr)) return D3DERR_INVALIDCALL;
    // The depth buffer is D16: there is no stencil to clear.
    if ((flags & D3DCLEAR_STENCIL) != 0) return D3DERR_INVALIDCALL;
    if ((flags & D3DCLEAR_ZBUFFER) != 0 && (!depth_ || !(z >= 0.0f && z <= 1.0f)))
        return D3DERR_INVALIDCALL;
    Settle();
    raster::Rect vp = ViewportRect();
    // Rectangles are D3DRECTs {x1, y1, x2, y2}, laid out as RECTs.
    const RECT* list = static_cast<const RECT*>(rects);
    DWORD n = count == 0 ? 1 : count;
    for (DWORD i = 0; i < n; ++i) {
        raster::Rect r = vp;
        if (count > 0) {
            r.left = std::max<int>(r.left, list[i].left);
            r.top = std::max<int>(r.top, list[i].top);
            r.right = std::min<int>(r.right, list[i].right);
            r.bottom = std::min<int>(r.bottom, list[i].bottom);
        }
        if ((flags & D3DCLEAR_TARGET) != 0) raster::ClearColour(target_, r, colour);
        if ((flags & D3DCLEAR_ZBUFFER) != 0) raster::ClearDepth(target_, r, z);
    }
    return D3D_OK;
}

HRESULT Device::Present(const RECT*, const RECT*, HWND, const void*) {
    if (!host::Installed()) return D3DERR_INVALIDCALL;
    Settle();
    host::Current().Present(colour_.get(), target_.width, target_.height);
    return D3D_OK;
}

// --- states ------------------------------------------------------------------------------

HRESULT Device::SetViewport(const D3DVIEWPORT8* v) {
    if (v == nullptr || v->Width == 0 || v->Height == 0) return D3DERR_INVALIDCALL;
    if (v->X >= static_cast<DWORD>(target_.width) || v->Y >= static_cast<DWORD>(target_.height) ||
        v->Width > target_.width - v->X || v->Height > target_.height - v->Y)
        return D3DERR_INVALIDCALL;
    if (!(v->MinZ >= 0.0f && v->MinZ <= 1.0f && v->MaxZ >= 0.0f && v->MaxZ <= 1.0f))
        return D3DERR_INVALIDCALL;
    viewport_ = *v;
    SetViewportMap();
    return D3D_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT8* v) {
    if (v == nullptr) return D3DERR_INVALIDCALL;
    *v = viewport_;
    return D3D_OK;
}

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* m) {
    if (m == nullptr) return D3DERR_INVALIDCALL;
    switch (state) {
    case D3DTS_WORLD: vs_.world = *m; break;
    case D3DTS_VIEW: vs_.view = *m; break;
    case D3DTS_PROJECTION: vs_.projection = *m; break;
    default: return D3DERR_INVALIDCALL;
    }
    transformsDirty_ = true;
    return D3D_OK;
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* m) {
    if (m == nullptr) return D3DERR_INVALIDCALL;
    switch (state) {
    case D3DTS_WORLD: *m = vs_.world; return D3D_OK;
    case D3DTS_VIEW: *m = vs_.view; return D3D_OK;
    case D3DTS_PROJECTION: *m = vs_.projection; return D3D_OK;
    default: return D3DERR_INVALIDCALL;
    }
}

HRESULT Device::SetMaterial(const D3DMATERIAL8* material) {
    if (material == nullptr) return D3DERR_INVALIDCALL;
    vs_.material = *material;
    return D3D_OK;
}

HRESULT Device::GetMaterial(D3DMATERIAL8* material) {
    if (material == nullptr) return D3DERR_INVALIDCALL;
    *material = vs_.material;
    return D3D_OK;
}

HRESULT Device::SetLight(DWORD index, const D3DLIGHT8* light) {
    if (index >= kLights || light == nullptr || !ValidLight(*light)) return D3DERR_INVALIDCALL;
    vs_.lights[index] = *light;
    vs_.lightSet[index] = true;
    return D3D_OK;
}

HRESULT Device::GetLight(DWORD index, D3DLIGHT8* light) {
    if (index >= kLights || light == nullptr || !vs_.lightSet[index]) return D3DERR_INVALIDCALL;
    *light = vs_.lights[index];
    return D3D_OK;
}

HRESULT Device::LightEnable(DWORD index, BOOL enable) {
    if (index >= kLights) return D3DERR_INVALIDCALL;
    vs_.lightSet[index] = true;
    vs_.lightOn[index] = enable != FALSE;
    return D3D_OK;
}

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    if (!IsKnownState(state) || !ValidRenderValue(state, value)) return D3DERR_INVALIDCALL;
    if (renderStates_[state] != value) {
        renderStates_[state] = value;
        pipelineDirty_ = true;
    }
    return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
    if (value == nullptr || !IsKnownState(state)) return D3DERR_INVALIDCALL;
    *value = renderStates_[state];
    return D3D_OK;
}

HRESULT Device::SetTexture(DWORD stage, IDirect3DBaseTexture8* texture) {
    if (stage >= kTextureStages) return D3DERR_INVALIDCALL;
    Texture* ours = nullptr;
    if (texture != nullptr) {
        ours = dynamic_cast<Texture*>(texture);
        if (ours == nullptr) return D3DERR_INVALIDCALL;
        ours->AddRef();
    }
    Texture* const old = textures_[stage];
    pipelineDirty_ = true;
    if (old != nullptr && old != ours && old->holder_ == this) {
        // Held triangles still read it: its reference stays until they are drawn.
        if (kept_[stage] == nullptr) {
            kept_[stage] = old;
            textures_[stage] = ours;
            return D3D_OK;
        }
        Settle();
    }
    textures_[stage] = ours;
    if (old != nullptr) old->Release();
    return D3D_OK;
}

HRESULT Device::GetTexture(DWORD stage, IDirect3DBaseTexture8** texture) {
    if (stage >= kTextureStages || texture == nullptr) return D3DERR_INVALIDCALL;
    *texture = textures_[stage];
    if (textures_[stage] != nullptr) textures_[stage]->AddRef();
    return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    if (stage >= kTextureStages || type == 0 || type == 12 || type >= kStageStates ||
        !ValidStageValue(type, value))
        return D3DERR_INVALIDCALL;
    if (stageStates_[stage][type] != value) {
        stageStates_[stage][type] = value;
        pipelineDirty_ = true;
    }
    return D3D_OK;
}

HRESULT Device::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) {
    if (stage >= kTextureStages || type == 0 || type == 12 || type >= kStageStates ||
        value == nullptr)
        return D3DERR_INVALIDCALL;
    *value = stageStates_[stage][type];
    return D3D_OK;
}

HRESULT Device::SetVertexShader(DWORD handle) {
    if (VertexSize(handle) == 0) return D3DERR_INVALIDCALL;
    fvf_ = handle;
    return D3D_OK;
}

HRESULT Device::SetStreamSource(UINT stream, IDirect3DVertexBuffer8* buffer, UINT stride) {
    if (stream >= 16) return D3DERR_INVALIDCALL;
    VertexBuffer* ours = nullptr;
    if (buffer != nullptr) {
        ours = dynamic_cast<VertexBuffer*>(buffer);
        if (ours == nullptr || stride == 0) return D3DERR_INVALIDCALL;
    }
    // Only stream 0 feeds a fixed-function vertex format; others are accepted and unused.
    if (stream != 0) return D3D_OK;
    if (ours != nullptr) ours->AddRef();
    if (stream_ != nullptr) stream_->Release();
    stream_ = ours;
    streamStride_ = stride;
    return D3D_OK;
}

// The raster state follows Direct3D's rules: a disabled stage ends the chain, ZENABLE
// FALSE means neither test nor write.
void Device::UpdatePipeline() {
    const DWORD* rs = renderStates_;
    raster::State s;
    s.depthTest = depth_ && rs[D3DRS_ZENABLE] != FALSE;
    s.depthWrite = s.depthTest && rs[D3DRS_ZWRITEENABLE] != FALSE;
    s.depthFunc = static_cast<raster::Cmp>(rs[D3DRS_ZFUNC]);
    s.blend = rs[D3DRS_ALPHABLENDENABLE] != FALSE;
    s.srcBlend = static_cast<raster::Factor>(rs[D3DRS_SRCBLEND]);
    s.destBlend = static_cast<raster::Factor>(rs[D3DRS_DESTBLEND]);
    s.alphaTest = rs[D3DRS_ALPHATESTENABLE] != FALSE;
    s.alphaFunc = static_cast<raster::Cmp>(rs[D3DRS_ALPHAFUNC]);
    s.alphaRef = static_cast<std::uint8_t>(rs[D3DRS_ALPHAREF]);
    s.cull = static_cast<raster::Cull>(rs[D3DRS_CULLMODE]);
    s.flat = rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT;
    s.addSpecular = rs[D3DRS_SPECULARENABLE] != FALSE;
    s.textureFactor = rs[60];
    for (int i = 0; i < raster::kStages; ++i) {
        const DWORD* st = stageStates_[i];
        raster::Stage& g = s.stages[i];
        bool enabled = st[D3DTSS_COLOROP] != D3DTOP_DISABLE &&
                       (i == 0 || s.stages[i - 1].colourOp != raster::kOpDisable);
        g.colourOp = static_cast<std::uint8_t>(enabled ? st[D3DTSS_COLOROP] : D3DTOP_DISABLE);
        g.colourArg1 = static_cast<std::uint8_t>(st[D3DTSS_COLORARG1]);
        g.colourArg2 = static_cast<std::uint8_t>(st[D3DTSS_COLORARG2]);
        g.alphaOp = static_cast<std::uint8_t>(st[D3DTSS_ALPHAOP]);
        g.alphaArg1 = static_cast<std::uint8_t>(st[D3DTSS_ALPHAARG1]);
        g.alphaArg2 = static_cast<std::uint8_t>(st[D3DTSS_ALPHAARG2]);
        g.magFilter = st[D3DTSS_MAGFILTER] == D3DTEXF_LINEAR ? raster::Filter::Linear
                                                              : raster::Filter::Point;
        g.minFilter = st[D3DTSS_MINFILTER] == D3DTEXF_LINEAR ? raster::Filter::Linear
                                                              : raster::Filter::Point;
        g.addressU = static_cast<raster::Address>(st[D3DTSS_ADDRESSU]);
        g.addressV = static_cast<raster::Address>(st[D3DTSS_ADDRESSV]);
        if (textures_[i] != nullptr) g.texture = textures_[i]->View();
    }
    pipelineDirty_ = false;
    // States set again as they were leave the pipeline, and what it holds back, as it is.
    if (compiled_ && s == pipeline_.state()) return;
    Settle();
    pipeline_.Compile(s);
    compiled_ = true;
}

void Device::Settle() {
    batch_.Settle();
    for (Texture* t : textures_) {
        if (t != nullptr && t->holder_ == this) t->holder_ = nullptr;
    }
    for (Texture*& t : kept_) {
        if (t == nullptr) continue;
        if (t->holder_ == this) t->holder_ = nullptr;
        t->Release();
        t = nullptr;
    }
}

} // namespace d3d8

IDirect3D8* Direct3DCreate8(UINT sdkVersion) {
    if (sdkVersion != D3D_SDK_VERSION) return nullptr;
    return new (std::nothrow) d3d8::Direct3D();
}
