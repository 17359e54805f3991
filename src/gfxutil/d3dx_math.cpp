// D3DX matrix helpers: left-handed look-at and perspective, row vectors, in float.
#include <cmath>

#include "gfxutil/d3dx8.h"

namespace {

D3DXVECTOR3 Subtract(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

D3DXVECTOR3 Cross(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float Dot(const D3DXVECTOR3& a, const D3DXVECTOR3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// A zero vector stays zero rather than turning into NaNs.
D3DXVECTOR3 Normalize(const D3DXVECTOR3& v) {
    const float length = std::sqrt(Dot(v, v));
    if (length == 0.0f) {
        return {0.0f, 0.0f, 0.0f};
    }
    return {v.x / length, v.y / length, v.z / length};
}

} // namespace

D3DXMATRIX* D3DXMatrixLookAtLH(D3DXMATRIX* out, const D3DXVECTOR3* eye, const D3DXVECTOR3* at,
                               const D3DXVECTOR3* up) {
    if (out == nullptr || eye == nullptr || at == nullptr || up == nullptr) {
        return out;
    }
    const D3DXVECTOR3 z = Normalize(Subtract(*at, *eye));
    const D3DXVECTOR3 x = Normalize(Cross(*up, z));
    const D3DXVECTOR3 y = Cross(z, x);
    *out = D3DXMATRIX{};
    out->_11 = x.x;
    out->_12 = y.x;
    out->_13 = z.x;
    out->_21 = x.y;
    out->_22 = y.y;
    out->_23 = z.y;
    out->_31 = x.z;
    out->_32 = y.z;
    out->_33 = z.z;
    out->_41 = -Dot(x, *eye);
    out->_42 = -Dot(y, *eye);
    out->_43 = -Dot(z, *eye);
    out->_44 = 1.0f;
    return out;
}

D3DXMATRIX* D3DXMatrixPerspectiveFovLH(D3DXMATRIX* out, float fovY, float aspect, float zNear,
                                       float zFar) {
    if (out == nullptr) {
        return out;
    }
    const float yScale = 1.0f / std::tan(fovY / 2.0f);
    const float xScale = yScale / aspect;
    *out = D3DXMATRIX{};
    out->_11 = xScale;
    out->_22 = yScale;
    out->_33 = zFar / (zFar - zNear);
    out->_34 = 1.0f;
    out->_43 = -zNear * zFar / (zFar - zNear);
    return out;
}
