// What a replay writes: the program's state as JSON and the last frame as a PNG.
#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/shell.h"
#include "replay/engine.h"
#include "state/app_state.h"

namespace replay {
namespace {

template <typename Array>
std::string List(const Array& values) {
    std::string text = "[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        text += (i == 0 ? "" : ", ") + std::to_string(values[i]);
    }
    return text + "]";
}

void Field(std::string& json, const char* name, const std::string& value, bool last = false) {
    json += "  \"";
    json += name;
    json += "\": ";
    json += value;
    json += last ? "\n" : ",\n";
}

} // namespace

std::string StateJson() {
    const host::HeadlessHost& h = Host();
    std::string json = "{\n";
    Field(json, "frames", std::to_string(h.PassesBegun()));
    Field(json, "exited", ProgramExited() ? "true" : "false");
    Field(json, "exitCode", ProgramExited() ? std::to_string(ProgramExitCode()) : "null");
    Field(json, "startRings", List(app.startRings));
    Field(json, "currentRings", List(app.currentRings));
    Field(json, "bestRings", List(app.bestRings));
    Field(json, "currentTurns", List(app.currentTurns));
    Field(json, "bestTurns", List(app.bestTurns));
    Field(json, "bestVector", std::to_string(app.bestVector));
    Field(json, "currentVector", std::to_string(app.currentVector));
    Field(json, "bestCost", std::to_string(app.bestCost));
    Field(json, "stepCount", std::to_string(app.stepCount));
    Field(json, "foundAfter", std::to_string(app.foundAfter));
    Field(json, "seekMethod", std::to_string(static_cast<std::uint32_t>(app.seekMethod)));
    Field(json, "viewSelection", std::to_string(app.viewSelection));
    // Formatted in place: GCC 12 warns falsely (-Wrestrict) on chained string concatenation.
    char cursor[40];
    std::snprintf(cursor, sizeof cursor, "[%d, %d]", static_cast<int>(GetCursorX()),
                  static_cast<int>(GetCursorY()));
    Field(json, "cursor", cursor);
    Field(json, "mouseButtons", std::to_string(app.mouseButtons));
    Field(json, "fps", std::to_string(app.fps));
    Field(json, "frameDelta", std::to_string(app.frameDelta), true);
    return json + "}\n";
}

bool WritePng(const std::string& path, const std::uint32_t* frame, std::string& why) {
    constexpr int width = host::HeadlessHost::kWidth;
    constexpr int height = host::HeadlessHost::kHeight;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        why = std::strerror(errno);
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    std::vector<png_byte> row(static_cast<std::size_t>(width) * 3);
    bool ok = info != nullptr;
    // libpng reports its errors by long jump; nothing here needs unwinding.
    if (ok && setjmp(png_jmpbuf(png)) != 0) {
        ok = false;
    } else if (ok) {
        png_init_io(png, file);
        png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < height; ++y) {
            const std::uint32_t* source = frame + static_cast<std::size_t>(y) * width;
            for (int x = 0; x < width; ++x) {
                row[x * 3 + 0] = static_cast<png_byte>(source[x] >> 16);
                row[x * 3 + 1] = static_cast<png_byte>(source[x] >> 8);
                row[x * 3 + 2] = static_cast<png_byte>(source[x]);
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(&png, &info);
    if (std::fclose(file) != 0) {
        ok = false;
    }
    if (!ok && why.empty()) {
        why = errno != 0 ? std::strerror(errno) : "write failed";
    }
    return ok;
}

} // namespace replay
