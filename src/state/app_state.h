// AppState: the one program-wide record. Every Part names the fields it owns; the others
// read them directly. One thread, so nothing is locked.
#pragma once

#include <array>
#include <cstdint>

#include "platform/d3d8.h"
#include "state/event_list.h"

class ID3DXFont;
class IDirectInput8A;
class IDirectInputDevice8A;
class Control;
class Panel;
class PushButton;
class OptionButton;
struct OverlayVertex;
struct RingVertex;

// Twelve bits, three per ring (ring 0 in bits 0-2): each ring's turn in positive steps.
using TurnVector = std::uint32_t;
// Four ring positions 0..7, ring 0 (the innermost) first.
using RingSet = std::array<std::uint32_t, 4>;
// Four turns 0..7, ring 0 first.
using TurnList = std::array<std::uint32_t, 4>;

enum SeekMethod : std::uint32_t {
    Deep = 1,
    Breadth = 2,
    AStar = 3,
};

// The A-STAR order's enumerator of move sets.
struct TreeEnumerator {
    std::uint32_t depth = 0;                // moves in the current set, 1..8; 0 before the first advance
    std::uint32_t moveRing[8] = {};         // ring of each move; the first `depth` take part
    std::uint32_t direction[4] = {};        // per ring: 0 unused, 1 moves count +1, 2 moves count -1
    std::int32_t netTurn[4] = {};           // per ring: sum of its moves' signs
    std::uint32_t exhausted = 0;            // 1 once every depth up to 8 has been run through
};

// A layout frame: left, top, right, bottom; the two floats keep the viewport record's shape.
struct Frame {
    std::int32_t left;
    std::int32_t top;
    std::int32_t right;
    std::int32_t bottom;
    float minZ;
    float maxZ;
};

using ControlDrawer = void (*)(std::int32_t id, std::int32_t x, std::int32_t y,
                               std::int32_t width, std::int32_t height, const char* label,
                               std::int32_t state);

struct AppState {
    // --- seek (ring puzzle, seek engine, A-STAR enumerator) ---
    SeekMethod seekMethod = Deep;        // the order in force; written only by the command handler
    std::int32_t stepLimit = 4096;       // steps are taken while stepCount <= stepLimit - 1
    std::int32_t bestCost = 255;         // 255 not stepped since reset, 254 nothing solved, else 0..16
    RingSet startRings = {};             // the spun start position
    TurnVector bestVector = 0;           // cheapest solving vector so far (0 while none)
    TurnVector currentVector = 0;        // the vector the next step evaluates
    std::int32_t stepCount = 0;          // steps since the last reset
    std::uint32_t foundAfter = 0;        // stepCount at which bestVector was evaluated
    RingSet currentRings = {};           // positions reached by the vector evaluated last
    TurnList currentTurns = {};
    RingSet bestRings = {};              // positions reached by bestVector
    TurnList bestTurns = {};
    TreeEnumerator treeEnumerator = {};

    // --- start-up, frame loop and layout ---
    std::uint32_t screenWidth = 1024;
    std::uint32_t screenHeight = 768;
    std::uint32_t frameTick = 0;         // tick at the top of this frame
    std::uint32_t prevFrameTick = 0;     // tick at the top of the previous frame
    std::uint32_t frameDelta = 0;        // frameTick - prevFrameTick
    std::uint32_t fpsPeriodStart = 0;    // tick at which the counting period began
    std::uint32_t fpsFrameCount = 0;     // frames begun in this period
    std::uint32_t fps = 0;               // frames of the last completed period
    ID3DXFont* uiFont = nullptr;         // the interface font

    D3DVIEWPORT8 mainViewport = {0, 0, 600, 400, 0.0f, 1.0f};
    D3DVIEWPORT8 insetViewport = {0, 0, 209, 139, 0.0f, 1.0f};  // X derived
    Frame infoFrame = {605, 210, 0, 400, 0.0f, 1.0f};          // right derived
    Frame seekMethodFrame = {0, 0, 0, 100, 0.0f, 1.0f};        // left, right derived
    D3DVIEWPORT8 screenViewport = {0, 0, 0, 0, 0.0f, 1.0f};     // Width, Height derived
    Frame viewSelectFrame = {0, 0, 0, 0, 0.0f, 1.0f};          // all derived

    // --- window ---
    HWND windowHandle = nullptr;

    // --- input ---
    IDirectInput8A* directInput = nullptr;
    IDirectInputDevice8A* keyboardDevice = nullptr;
    IDirectInputDevice8A* mouseDevice = nullptr;
    std::uint8_t keyState[256] = {};     // DIK-indexed; top bit set while down
    float mouseX = 0.0f;                 // cursor position, fractions kept
    float mouseY = 0.0f;
    std::uint32_t mouseButtons = 0;      // 1 primary, 2 secondary
    std::int32_t mouseMinX = 0;          // inclusive cursor bounds
    std::int32_t mouseMinY = 0;
    std::int32_t mouseMaxX = 0;
    std::int32_t mouseMaxY = 0;
    float mouseSpeedX = 1.0f;
    float mouseSpeedY = 1.0f;

    // --- graphics device ---
    IDirect3D8* direct3d = nullptr;
    IDirect3DDevice8* device = nullptr;

    // --- overlay batch ---
    std::uint32_t overlayCapacity = 2500;
    OverlayVertex* overlayVertices = nullptr;
    std::uint32_t overlayVertexCount = 0;
    IDirect3DVertexBuffer8* overlayVertexBuffer = nullptr;
    std::uint32_t backVertexCount = 0;   // group 1: triangles under the lines
    std::uint32_t lineVertexCount = 0;   // group 2: segments
    std::uint32_t frontVertexCount = 0;  // group 3: triangles over the lines

    // --- controls and event list ---
    EventList eventList;
    std::int32_t textPass = 0;           // 0 controls draw geometry, 1 they draw labels
    ControlDrawer pushButtonDrawer = nullptr;
    ControlDrawer optionButtonDrawer = nullptr;
    D3DCOLOR buttonLightColour = 0xFFAACCAA;
    D3DCOLOR buttonDarkColour = 0xFF223322;
    D3DCOLOR buttonTextColour = 0xFF000000;
    D3DCOLOR optionOnColour = 0xFF44FF44;
    D3DCOLOR optionOffColour = 0xFFFF4444;

    // --- control panel ---
    Panel* rootPanel = nullptr;
    PushButton* spinButton = nullptr;
    PushButton* restartButton = nullptr;
    PushButton* playButton = nullptr;
    PushButton* stepButton = nullptr;
    PushButton* fastPlayButton = nullptr;
    PushButton* skipButton = nullptr;
    PushButton* endButton = nullptr;
    OptionButton* deepOption = nullptr;
    OptionButton* breadthOption = nullptr;
    OptionButton* aStarOption = nullptr;
    OptionButton* showStartOption = nullptr;
    OptionButton* showCurrentOption = nullptr;
    OptionButton* showBestOption = nullptr;
    std::int32_t viewSelection = 2;      // main view: 1 start, 2 current seek, 3 best found

    // --- diagram and tree geometry ---
    float diagramRadius[4] = {0.08f, 0.31f, 0.54f, 0.77f};
    float diagramOuterRadius = 1.0f;
    std::int32_t treeOriginX = 33;
    std::int32_t treeOriginY = 450;
    std::int32_t treeColumnStep = 75;
    std::int32_t treeRowStep = 75;
    D3DCOLOR treeCurrentColour = 0xFFFFFFFF;
    D3DCOLOR treeNodeColour = 0xFF88AA00;
    D3DCOLOR treeEdgeColour = 0x66FF0000;
    D3DCOLOR treeBestColour = 0xFF0088FF;

    // --- disc scene ---
    IDirect3DTexture8* discTexture = nullptr;
    float ringRadius[4] = {0.15f, 0.4f, 0.65f, 0.9f};
    D3DCOLOR sectorColour[8] = {0xFF880000, 0xFF880088, 0xFF008888, 0xFF008800,
                                0xFF888800, 0xFF000088, 0xFF004400, 0xFF884400};
    std::int32_t ringSegments = 64;
    std::int32_t tubeSegments = 20;
    std::int32_t ringVertexCount = 2816;
    std::int32_t stripVertexCount = 0;
    RingVertex* ringVertices = nullptr;
    IDirect3DVertexBuffer8* ringVertexBuffer = nullptr;
};

// The record itself. Its layout fields are derived by static initialisation, before WinMain.
extern AppState app;

// Puts every field back to its value before start-up (static values, derived layout, empty
// event list), for tests and tools that run the program more than once in one process.
// Releases nothing: whoever made the objects the old pointers name must release them.
void ResetAppState();
