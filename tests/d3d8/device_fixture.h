// A tiny host that keeps the last presented frame, and a fixture that makes a real device.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/d3d8.h"
#include "platform/d3d8_ext.h"
#include "platform/host/host.h"
#include "support/quiet_host.h"

class FrameHost final : public QuietHost {
public:
    void Present(const std::uint32_t* pixels, int width, int height) override {
        frame.assign(pixels, pixels + static_cast<std::size_t>(width) * height);
        frameWidth = width;
        frameHeight = height;
        ++presents;
    }

    std::vector<std::uint32_t> frame;
    int frameWidth = 0;
    int frameHeight = 0;
    int presents = 0;
};

// A device with a back buffer of the given size and a D16 depth buffer.
class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override { MakeDevice(1024, 768); }
    void TearDown() override { ReleaseAll(); }

    void MakeDevice(UINT width, UINT height) {
        ReleaseAll();
        ASSERT_EQ(d3d8ext::CreateScreenDevice(width, height, &d3d, &device), D3D_OK);
        pixels = d3d8ext::BackBuffer(device, &width_, &height_);
        ASSERT_NE(pixels, nullptr);
    }

    void ReleaseAll() {
        for (IUnknownLike* r : resources) r->Release();
        resources.clear();
        if (device != nullptr) device->Release();
        if (d3d != nullptr) d3d->Release();
        device = nullptr;
        d3d = nullptr;
    }

    // A vertex buffer holding a copy of `bytes` bytes from `data`, released with the device;
    // null (and the test failed) where it cannot be made.
    IDirect3DVertexBuffer8* FilledBuffer(const void* data, UINT bytes) {
        IDirect3DVertexBuffer8* b = nullptr;
        EXPECT_EQ(device->CreateVertexBuffer(bytes, 0, 0, D3DPOOL_DEFAULT, &b), D3D_OK);
        if (b == nullptr) return nullptr;
        resources.push_back(b);
        BYTE* locked = nullptr;
        EXPECT_EQ(b->Lock(0, 0, &locked, 0), D3D_OK);
        if (locked != nullptr) std::memcpy(locked, data, bytes);
        b->Unlock();
        return b;
    }

    // A 4x4 A8R8G8B8 texture of texels alpha | 0x00F0A050 x (i + 1), released with the device.
    IDirect3DTexture8* SteppedTexture(DWORD alpha) {
        IDirect3DTexture8* t = nullptr;
        EXPECT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t), D3D_OK);
        if (t == nullptr) return nullptr;
        resources.push_back(t);
        D3DLOCKED_RECT r;
        EXPECT_EQ(t->LockRect(0, &r, nullptr, 0), D3D_OK);
        for (int i = 0; i < 16; ++i) static_cast<DWORD*>(r.pBits)[i] = alpha | (0x00F0A050u * (i + 1));
        t->UnlockRect(0);
        return t;
    }

    std::uint32_t At(int x, int y) const { return pixels[y * width_ + x]; }
    void Fill(std::uint32_t colour) {
        for (int i = 0; i < width_ * height_; ++i) pixels[i] = colour;
    }

    IDirect3D8* d3d = nullptr;
    IDirect3DDevice8* device = nullptr;
    std::uint32_t* pixels = nullptr;
    int width_ = 0;
    int height_ = 0;
    std::vector<IUnknownLike*> resources; // released before the device
};
