// The controls: a root Panel holding push buttons and option buttons, hit-tested once per
// frame with the cursor, posting UiEvents, drawn in two passes through the draw callbacks
// installed in AppState.
#pragma once

#include <cstdint>
#include <vector>

class Control {
public:
    Control(Control* parent, std::int32_t id, std::int32_t x, std::int32_t y, std::int32_t width,
            std::int32_t height);
    // Controls live until the process ends; the destructor exists for tests and shutdown.
    virtual ~Control();

    virtual void SetLabelNumber(std::int32_t value);
    virtual void SetLabel(const char* text);
    virtual void AddChild(Control* child);
    virtual void Draw();
    virtual void Notify(std::int32_t value);
    virtual void HandleMouse(std::int32_t x, std::int32_t y, std::uint32_t buttons);

    void SetState(std::int32_t value) { state = value; }

    std::int32_t id = 0;
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t hover = 0;
    char* label = nullptr;            // heap copy owned by the control, or null
    Control* parent = nullptr;        // not owned
    std::vector<Control*> children;   // not owned, in the order added
    std::int32_t state = 0;
};

class Panel : public Control {
public:
    Panel(Control* parent, std::int32_t id, std::int32_t x, std::int32_t y, std::int32_t width,
          std::int32_t height);
    void HandleMouse(std::int32_t x, std::int32_t y, std::uint32_t buttons) override;
};

class PushButton : public Control {
public:
    PushButton(Control* parent, std::int32_t id, std::int32_t x, std::int32_t y,
               std::int32_t width, std::int32_t height, const char* text);
    void Draw() override;
    void HandleMouse(std::int32_t x, std::int32_t y, std::uint32_t buttons) override;

    std::int32_t holdEnabled = 1;
    std::int32_t autoRelease = 1;
};

class OptionButton : public Control {
public:
    OptionButton(Control* parent, std::int32_t id, std::int32_t x, std::int32_t y,
                 std::int32_t width, std::int32_t height, const char* text);
    void Draw() override;
    void HandleMouse(std::int32_t x, std::int32_t y, std::uint32_t buttons) override;
};

void InstallDrawCallbacks();
void DrawPushButton(std::int32_t id, std::int32_t x, std::int32_t y, std::int32_t width,
                    std::int32_t height, const char* label, std::int32_t state);
void DrawOptionButton(std::int32_t id, std::int32_t x, std::int32_t y, std::int32_t width,
                      std::int32_t height, const char* label, std::int32_t state);
