// Fonts: fontconfig family match, FreeType faces opened once and kept, glyph rendering.
#include "platform/fonts.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>

namespace fonts {

void GlyphSet::SetLineMetrics(int ascent, int descent) {
    ascent_ = ascent;
    descent_ = descent;
}

void GlyphSet::SetGlyph(unsigned char c, const Glyph& metrics, const std::uint8_t* mask,
                        int pitch) {
    Glyph& glyph = glyphs_[c];
    glyph = metrics;
    if (mask == nullptr || metrics.width <= 0 || metrics.rows <= 0) {
        glyph.width = 0;
        glyph.rows = 0;
        glyph.offset = 0;
        return;
    }
    glyph.offset = static_cast<std::uint32_t>(masks_.size());
    for (int row = 0; row < metrics.rows; ++row) {
        const std::uint8_t* line = mask + static_cast<std::ptrdiff_t>(row) * pitch;
        masks_.insert(masks_.end(), line, line + metrics.width);
    }
}

int GlyphSet::TextWidth(const char* text, int count) const {
    int width = 0;
    for (int i = 0; i < count; ++i) {
        width += glyphs_[static_cast<unsigned char>(text[i])].advance;
    }
    return width;
}

namespace {

constexpr double kDefaultEm = 12.0;
// Beyond this em size a font is drawn at this size: glyph masks stay a sane size.
constexpr double kLargestEm = 512.0;
constexpr int kFirstPrintable = 32;
constexpr int kLastPrintable = 126;

// The face fontconfig chose for one request, as FreeType opened it.
struct Match {
    FT_Face face = nullptr; // null: no font at all
    bool embolden = false;  // no face of the asked weight: thicken the outlines
    bool oblique = false;   // no italic face: slant the outlines
};

// Everything opened is kept for the whole run: faces by file and index, matches by request.
struct Library {
    FT_Library freetype = nullptr;
    bool freetypeTried = false;
    std::map<std::string, FT_Face> faces;
    std::map<std::string, Match> matches;
    std::set<std::string> told; // families whose fallback or absence was said already
};

Library& Lib() {
    static Library lib;
    return lib;
}

void TellOnce(const std::string& family, const std::string& line) {
    if (Lib().told.insert(family).second) {
        std::fprintf(stderr, "vormika: %s\n", line.c_str());
    }
}

// fontconfig keeps a little memory until FcFini; letting everything go at exit keeps
// leak checkers quiet about fonts.
void CloseAll() {
    Library& lib = Lib();
    lib.faces.clear();
    lib.matches.clear();
    if (lib.freetype != nullptr) {
        FT_Done_FreeType(lib.freetype); // also closes every face
        lib.freetype = nullptr;
    }
    FcFini();
}

bool StartFontconfig() {
    static bool started = false;
    if (!started && FcInit() == FcTrue) {
        started = true;
        std::atexit(CloseAll);
    }
    return started;
}

FT_Library FreeType() {
    Library& lib = Lib();
    if (!lib.freetypeTried) {
        lib.freetypeTried = true;
        if (FT_Init_FreeType(&lib.freetype) != 0) {
            lib.freetype = nullptr;
        }
    }
    return lib.freetype;
}

// What fontconfig answered for a request.
struct Found {
    std::string file;
    int index = 0;
    std::string family; // the chosen face's first family name
    bool familyMatches = false;
    bool embolden = false;
    bool oblique = false;
};

bool FamilyListed(FcPattern* match, const std::string& family) {
    FcChar8* name = nullptr;
    for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &name) == FcResultMatch; ++i) {
        if (strcasecmp(reinterpret_cast<const char*>(name), family.c_str()) == 0) {
            return true;
        }
    }
    return false;
}

void ReadMatch(FcPattern* match, const FontRequest& request, Found& found) {
    FcChar8* text = nullptr;
    FcPatternGetInteger(match, FC_INDEX, 0, &found.index);
    if (FcPatternGetString(match, FC_FAMILY, 0, &text) == FcResultMatch) {
        found.family = reinterpret_cast<const char*>(text);
    }
    found.familyMatches = request.family.empty() || FamilyListed(match, request.family);
    FcBool embolden = FcFalse;
    FcPatternGetBool(match, FC_EMBOLDEN, 0, &embolden);
    found.embolden = embolden == FcTrue;
    int slant = FC_SLANT_ROMAN;
    FcPatternGetInteger(match, FC_SLANT, 0, &slant);
    found.oblique = request.italic && slant == FC_SLANT_ROMAN;
}

bool AskFontconfig(const FontRequest& request, Found& found) {
    if (!StartFontconfig()) {
        return false;
    }
    FcPattern* pattern = FcPatternCreate();
    if (!request.family.empty()) {
        FcPatternAddString(pattern, FC_FAMILY,
                           reinterpret_cast<const FcChar8*>(request.family.c_str()));
    }
    const int weight = request.weight > 0 ? std::clamp(request.weight, 1, 1000) : 400;
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight));
    FcPatternAddInteger(pattern, FC_SLANT, request.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (match == nullptr) {
        return false;
    }
    FcChar8* file = nullptr;
    const bool hasFile = FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch;
    if (hasFile) {
        found.file = reinterpret_cast<const char*>(file);
        ReadMatch(match, request, found);
    }
    FcPatternDestroy(match);
    return hasFile;
}

FT_Face OpenFace(const std::string& file, int index) {
    Library& lib = Lib();
    const std::string key = file + '\n' + std::to_string(index);
    const auto known = lib.faces.find(key);
    if (known != lib.faces.end()) {
        return known->second;
    }
    FT_Face face = nullptr;
    FT_Library freetype = FreeType();
    if (freetype == nullptr || FT_New_Face(freetype, file.c_str(), index, &face) != 0) {
        face = nullptr;
    }
    lib.faces.emplace(key, face);
    return face;
}

std::string DisplayName(const FontRequest& request) {
    return request.family.empty() ? std::string("(default)") : request.family;
}

Match Resolve(const FontRequest& request) {
    Found found;
    Match match;
    if (!AskFontconfig(request, found)) {
        // fontconfig falls back to any font it has, so no match means no usable font at
        // all: said once for the whole program, not once per face asked for.
        TellOnce("\n(no font)", "no usable font found; text will not be drawn");
        return match;
    }
    match.face = OpenFace(found.file, found.index);
    if (match.face == nullptr) {
        TellOnce(request.family, "cannot open font \"" + found.file + "\" for \"" +
                                     DisplayName(request) + "\"; its text will not be drawn");
        return match;
    }
    if (!found.familyMatches) {
        TellOnce(request.family,
                 "font \"" + request.family + "\" not found, using \"" + found.family + "\"");
    }
    match.embolden = found.embolden;
    match.oblique = found.oblique;
    return match;
}

const Match& CachedMatch(const FontRequest& request) {
    Library& lib = Lib();
    const std::string key = request.family + '\n' + std::to_string(request.weight) + '\n' +
                            (request.italic ? "i" : "r");
    auto known = lib.matches.find(key);
    if (known == lib.matches.end()) {
        known = lib.matches.emplace(key, Resolve(request)).first;
    }
    return known->second;
}

// Ascent and descent in font units, as Windows measures a cell: the OS/2 table's
// usWinAscent and usWinDescent where the face has them.
struct DesignMetrics {
    double ascent = 0.8;
    double descent = 0.2;
    double unitsPerEm = 1.0;
};

DesignMetrics Design(FT_Face face) {
    DesignMetrics design;
    if (face == nullptr || face->units_per_EM == 0) {
        return design;
    }
    design.unitsPerEm = face->units_per_EM;
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 != nullptr && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
        design.ascent = os2->usWinAscent;
        design.descent = os2->usWinDescent;
    } else if (face->ascender - face->descender > 0) {
        design.ascent = face->ascender;
        design.descent = -face->descender;
    } else {
        design.ascent = 0.8 * face->units_per_EM;
        design.descent = 0.2 * face->units_per_EM;
    }
    return design;
}

// The em size in pixels and the cell for a CreateFontA height.
struct Sizing {
    double em = kDefaultEm;
    int ascent = 0;
    int descent = 0;
};

Sizing SizeFor(int height, const DesignMetrics& design) {
    Sizing size;
    const double cellUnits = design.ascent + design.descent;
    // A cell height fixes ascent + descent exactly; an em height rounds each.
    if (height > 0) {
        const double cell = std::min<double>(height, kLargestEm * cellUnits / design.unitsPerEm);
        size.em = cell * design.unitsPerEm / cellUnits;
        size.ascent = static_cast<int>(std::lround(cell * design.ascent / cellUnits));
        size.descent = static_cast<int>(std::lround(cell)) - size.ascent;
        return size;
    }
    if (height < 0) {
        size.em = std::min(-static_cast<double>(height), kLargestEm);
    }
    size.ascent = static_cast<int>(std::lround(design.ascent * size.em / design.unitsPerEm));
    size.descent = static_cast<int>(std::lround(design.descent * size.em / design.unitsPerEm));
    return size;
}

// Bitmap-only faces come in fixed strikes: take the one nearest the wanted em.
void SelectStrike(FT_Face face, double em, Sizing& size) {
    int best = 0;
    for (int i = 1; i < face->num_fixed_sizes; ++i) {
        const double gotBest = face->available_sizes[best].y_ppem / 64.0;
        const double got = face->available_sizes[i].y_ppem / 64.0;
        if (std::fabs(got - em) < std::fabs(gotBest - em)) {
            best = i;
        }
    }
    if (face->num_fixed_sizes > 0 && FT_Select_Size(face, best) == 0) {
        size.ascent = static_cast<int>(face->size->metrics.ascender >> 6);
        size.descent = static_cast<int>(-face->size->metrics.descender >> 6);
    }
}

// Copies a rendered bitmap into the set. FreeType bitmaps may flow upwards (negative
// pitch), in which case the buffer starts at the bottom row:
// https://freetype.org/freetype2/docs/reference/ft2-basic_types.html#ft_bitmap
void StoreBitmap(GlyphSet& set, unsigned char c, Glyph glyph, const FT_Bitmap& bitmap) {
    glyph.width = static_cast<int>(bitmap.width);
    glyph.rows = static_cast<int>(bitmap.rows);
    const std::uint8_t* top = bitmap.buffer;
    if (bitmap.pitch < 0 && top != nullptr) {
        top -= static_cast<std::ptrdiff_t>(bitmap.pitch) * (glyph.rows - 1);
    }
    if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
        set.SetGlyph(c, glyph, top, bitmap.pitch);
        return;
    }
    if (bitmap.pixel_mode != FT_PIXEL_MODE_MONO || top == nullptr) {
        set.SetGlyph(c, glyph, nullptr, 0);
        return;
    }
    std::vector<std::uint8_t> grey(static_cast<std::size_t>(glyph.width) * glyph.rows);
    for (int y = 0; y < glyph.rows; ++y) {
        const std::uint8_t* row = top + static_cast<std::ptrdiff_t>(y) * bitmap.pitch;
        for (int x = 0; x < glyph.width; ++x) {
            const bool on = (row[x >> 3] & (0x80 >> (x & 7))) != 0;
            grey[static_cast<std::size_t>(y) * glyph.width + x] = on ? 255 : 0;
        }
    }
    set.SetGlyph(c, glyph, grey.data(), glyph.width);
}

// Light hinting snaps outlines to the pixel grid vertically only and rounds advances to
// whole pixels, which keeps small text crisp with integer pen positions:
// https://freetype.org/freetype2/docs/reference/ft2-glyph_retrieval.html#ft_load_target_xxx
void RenderGlyph(FT_Face face, const Match& match, unsigned char c, GlyphSet& set) {
    const FT_UInt index = FT_Get_Char_Index(face, c);
    if (FT_Load_Glyph(face, index, FT_LOAD_TARGET_LIGHT) != 0) {
        return;
    }
    FT_GlyphSlot slot = face->glyph;
    if (match.oblique) {
        FT_GlyphSlot_Oblique(slot);
    }
    if (match.embolden) {
        FT_GlyphSlot_Embolden(slot);
    }
    if (slot->format != FT_GLYPH_FORMAT_BITMAP && FT_Render_Glyph(slot, FT_RENDER_MODE_LIGHT) != 0) {
        return;
    }
    Glyph glyph;
    glyph.left = slot->bitmap_left;
    glyph.top = slot->bitmap_top;
    glyph.advance = static_cast<int>((slot->advance.x + 32) >> 6);
    StoreBitmap(set, c, glyph, slot->bitmap);
}

} // namespace

std::string FaceName(const FontRequest& request) {
    const FT_Face face = CachedMatch(request).face;
    if (face == nullptr || face->family_name == nullptr) {
        return "";
    }
    std::string name = face->family_name;
    if (face->style_name != nullptr) {
        name += ' ';
        name += face->style_name;
    }
    return name;
}

std::string FreeTypeVersion() {
    FT_Library freetype = FreeType();
    if (freetype == nullptr) {
        return "";
    }
    FT_Int major = 0, minor = 0, patch = 0;
    FT_Library_Version(freetype, &major, &minor, &patch);
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
}

GlyphSet RenderGlyphSet(const FontRequest& request) {
    GlyphSet set;
    const Match& match = CachedMatch(request);
    Sizing size = SizeFor(request.height, Design(match.face));
    set.SetLineMetrics(size.ascent, size.descent);
    if (match.face == nullptr) {
        return set;
    }
    if (FT_IS_SCALABLE(match.face)) {
        const auto em64 = static_cast<FT_F26Dot6>(std::lround(size.em * 64.0));
        if (FT_Set_Char_Size(match.face, 0, std::max<FT_F26Dot6>(em64, 64), 72, 72) != 0) {
            return set;
        }
    } else {
        SelectStrike(match.face, size.em, size);
        set.SetLineMetrics(size.ascent, size.descent);
    }
    for (int c = kFirstPrintable; c <= kLastPrintable; ++c) {
        RenderGlyph(match.face, match, static_cast<unsigned char>(c), set);
    }
    return set;
}

} // namespace fonts
