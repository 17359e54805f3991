// Temporary definitions so that everything links while the disc scene is written; each
// goes when its real definition lands.
#include "scene/scene.h"

void CreateSceneResources() {}
void BuildDiscTexture() {}
void CreateRingStorage() {}
void BuildRingMesh(std::int32_t, float) {}
HRESULT MakeVertexBuffer(std::uint32_t, IDirect3DVertexBuffer8*&) { return E_FAIL; }
HRESULT UploadVertices(IDirect3DVertexBuffer8*, const void*, std::uint32_t) { return E_FAIL; }
void DrawRingMesh(std::int32_t) {}
void RenderFrame() {}
