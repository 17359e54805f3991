// The D3DX matrix helpers against the camera at tick 0 and the frame's projection.
#include <gtest/gtest.h>

#include <cmath>

#include "gfxutil/d3dx8.h"

namespace {

D3DXVECTOR3 Transform(const D3DXMATRIX& m, const D3DXVECTOR3& v) {
    return {v.x * m._11 + v.y * m._21 + v.z * m._31 + m._41,
            v.x * m._12 + v.y * m._22 + v.z * m._32 + m._42,
            v.x * m._13 + v.y * m._23 + v.z * m._33 + m._43};
}

void ExpectNear(const D3DXVECTOR3& got, float x, float y, float z, float tolerance) {
    EXPECT_NEAR(got.x, x, tolerance);
    EXPECT_NEAR(got.y, y, tolerance);
    EXPECT_NEAR(got.z, z, tolerance);
}

} // namespace

TEST(LookAt, CameraAtTickZeroMapsPointsAsWorkedOutByHand) {
    // The swaying camera at tick 0: a = 1.60, b = 1.62.
    const D3DXVECTOR3 eye = {std::sin(3.22f), 1.75f + std::cos(1.62f), -1.75f};
    const D3DXVECTOR3 up = {std::cos(1.6f), std::sin(1.6f), 0.0f};
    ExpectNear(eye, -0.0783f, 1.7008f, -1.75f, 1e-4f);
    ExpectNear(up, -0.0292f, 0.9996f, 0.0f, 1e-4f);

    const D3DXVECTOR3 origin = {0.0f, 0.0f, 0.0f};
    D3DXMATRIX view;
    ASSERT_EQ(D3DXMatrixLookAtLH(&view, &eye, &origin, &up), &view);

    // The eye goes to the origin and the looked-at point straight ahead on +z.
    ExpectNear(Transform(view, eye), 0.0f, 0.0f, 0.0f, 1e-5f);
    ExpectNear(Transform(view, origin), 0.0f, 0.0f, 2.4416f, 1e-4f);
    // x axis = normalize(up x z), y = z x x, z = normalize(at - eye), worked out apart.
    ExpectNear(Transform(view, {1.0f, 0.0f, 0.0f}), 0.999440f, -0.009531f, 2.473680f, 1e-5f);
    ExpectNear(Transform(view, {0.0f, 1.0f, 0.0f}), 0.029196f, 0.716866f, 1.745001f, 1e-5f);
    EXPECT_EQ(view._14, 0.0f);
    EXPECT_EQ(view._24, 0.0f);
    EXPECT_EQ(view._34, 0.0f);
    EXPECT_EQ(view._44, 1.0f);
}

TEST(Perspective, FrameProjectionValues) {
    D3DXMATRIX projection;
    ASSERT_EQ(D3DXMatrixPerspectiveFovLH(&projection, 0.78539819f, 1.0f, 1.0f, 100.0f),
              &projection);
    const float expected[4][4] = {{2.4142136f, 0, 0, 0},
                                  {0, 2.4142136f, 0, 0},
                                  {0, 0, 100.0f / 99.0f, 1.0f},
                                  {0, 0, -100.0f / 99.0f, 0}};
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            EXPECT_NEAR(projection.m[r][c], expected[r][c], 1e-5f) << r << "," << c;
        }
    }
    // Aspect divides only the x scale.
    D3DXMatrixPerspectiveFovLH(&projection, 0.78539819f, 1.5f, 1.0f, 100.0f);
    EXPECT_NEAR(projection._11, 2.4142136f / 1.5f, 1e-5f);
    EXPECT_NEAR(projection._22, 2.4142136f, 1e-5f);
}
