#include "text/face_cache.h"

#include FT_ADVANCES_H
#include FT_SIZES_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>

namespace {

// Ascent and descent the way Windows reports a TrueType face's line: the OS/2 table's
// usWinAscent / usWinDescent, or the hhea values when the face has no OS/2 table.
void readLineMetrics(FontFace& face) {
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face.ftFace.get(), FT_SFNT_OS2));
    if (os2 != nullptr && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
        face.ascentUnits = os2->usWinAscent;
        face.descentUnits = os2->usWinDescent;
    } else {
        face.ascentUnits = face.ftFace->ascender;
        face.descentUnits = -face.ftFace->descender;
    }
}

// The strike of a colour bitmap face to draw an em of `ppem` pixels from: the smallest whose
// line is at least that high (scaling down keeps detail), else the largest.
int strikeFor(FT_Face face, int ppem) {
    int best = -1;
    for (int i = 0; i < face->num_fixed_sizes; ++i) {
        const int height = face->available_sizes[i].height;
        const int bestHeight = best < 0 ? 0 : face->available_sizes[best].height;
        const bool fits = height >= ppem;
        const bool bestFits = bestHeight >= ppem;
        if (best < 0 || (fits && (!bestFits || height < bestHeight)) ||
            (!fits && !bestFits && height > bestHeight)) {
            best = i;
        }
    }
    return best;
}

// Selects the strike for `ppem` on the active size of `face` and fills in how its bitmaps and
// advances scale: the strike's line (ascent + descent) becomes `ppem` pixels.
bool selectStrike(const FontFace& face, int ppem, FaceSize& entry) {
    FT_Face ftFace = face.ftFace.get();
    const int strike = strikeFor(ftFace, ppem);
    if (strike < 0 || FT_Select_Size(ftFace, strike) != 0) {
        return false;
    }
    const FT_Size_Metrics& metrics = ftFace->size->metrics;
    const long lineUnits = metrics.ascender - metrics.descender;  // 26.6 strike pixels
    if (lineUnits <= 0 || metrics.y_ppem == 0) {
        return false;
    }
    entry.bitmapScale = static_cast<double>(ppem) * 64 / static_cast<double>(lineUnits);
    // The em the drawn bitmaps stand for, in 26.6 pixels: advances in font units scale by it.
    const long emPx26_6 = std::lround(entry.bitmapScale * metrics.y_ppem * 64);
    entry.xScale = entry.yScale = FT_DivFix(emPx26_6, face.unitsPerEm);
    entry.strikeAscentPx = static_cast<int>(std::lround(entry.bitmapScale * metrics.ascender / 64));
    entry.strikeDescentPx = ppem - entry.strikeAscentPx;
    return true;
}

}  // namespace

int scaleToPixels(long units, FT_Fixed scale) {
    const FT_Long scaled26_6 = FT_MulFix(units, scale);
    return static_cast<int>((scaled26_6 + 32) >> 6);  // arithmetic shift: floor, so half up
}

bool FontFace::hasGlyphFor(char32_t cp) const {
    hb_codepoint_t glyph = 0;
    return hb_font_get_nominal_glyph(hbFont.get(), cp, &glyph) && glyph != 0;
}

FaceCache::FaceCache() {
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) == 0) {
        library_.reset(library);
    }
}

FaceCache::~FaceCache() = default;

Result<FontFace*> FaceCache::face(const std::string& path, int index) {
    auto found = faces_.find(std::make_pair(path, index));
    if (found == faces_.end()) {
        found = faces_.emplace(std::make_pair(path, index), load(path, index)).first;
    }
    if (!found->second) {
        return found->second.failure();
    }
    return found->second->get();
}

Result<std::unique_ptr<FontFace>> FaceCache::load(const std::string& path, int index) {
    const std::string name = path + " (face " + std::to_string(index) + ")";
    if (!library_) {
        return Failure{name + ": FreeType could not be set up"};
    }
    if (path.empty() || index < 0) {
        return Failure{name + ": no such font"};
    }
    auto face = std::make_unique<FontFace>();
    face->path = path;
    face->index = index;
    face->blob.reset(hb_blob_create_from_file_or_fail(path.c_str()));
    if (!face->blob) {
        return Failure{name + ": the file cannot be read"};
    }
    unsigned int length = 0;
    const char* data = hb_blob_get_data(face->blob.get(), &length);
    FT_Face ftFace = nullptr;
    const FT_Error error =
        data == nullptr ? FT_Err_Invalid_Argument
                        : FT_New_Memory_Face(library_.get(), reinterpret_cast<const FT_Byte*>(data),
                                             static_cast<FT_Long>(length), index, &ftFace);
    if (error != 0) {
        return Failure{name + ": " + freeTypeErrorText(error)};
    }
    face->ftFace.reset(ftFace);
    ++faceLoads_;
    // HarfBuzz shapes sfnt faces only; bitmap and Type 1 fonts are not offered as comment fonts,
    // except colour bitmap faces (emoji), which the text engine scales itself.
    face->colour = FT_HAS_COLOR(ftFace);
    face->colourStrikes = !FT_IS_SCALABLE(ftFace) && face->colour && FT_HAS_FIXED_SIZES(ftFace);
    if (!FT_IS_SFNT(ftFace) || !(FT_IS_SCALABLE(ftFace) || face->colourStrikes)) {
        return Failure{name + ": not a scalable TrueType or OpenType face"};
    }
    face->hbFace.reset(hb_face_create(face->blob.get(), static_cast<unsigned int>(index) & 0xFFFF));
    // FreeType gives a face without outlines no em; its head table has one all the same.
    face->unitsPerEm = ftFace->units_per_EM != 0
                           ? ftFace->units_per_EM
                           : static_cast<int>(hb_face_get_upem(face->hbFace.get()));
    if (face->unitsPerEm == 0) {
        return Failure{name + ": the face has no em size"};
    }
    face->hbFont.reset(hb_font_create(face->hbFace.get()));
    hb_font_set_scale(face->hbFont.get(), face->unitsPerEm, face->unitsPerEm);
    if ((index >> 16) > 0) {
        hb_font_set_var_named_instance(face->hbFont.get(),
                                       static_cast<unsigned int>(index >> 16) - 1);
    }
    readLineMetrics(*face);
    return face;
}

FaceSize* FaceCache::size(FontFace& face, int ppem) {
    ppem = std::clamp(ppem, 1, kMaxPpem);
    for (auto& existing : face.sizes) {
        if (existing->ppem == ppem) {
            return existing.get();
        }
    }
    FT_Size newSize = nullptr;
    if (FT_New_Size(face.ftFace.get(), &newSize) != 0) {
        return nullptr;
    }
    FtSizePtr ownedSize(newSize);  // until it is set up; then the face owns it
    FT_Activate_Size(newSize);
    auto entry = std::make_unique<FaceSize>();
    const bool sized = face.colourStrikes ? selectStrike(face, ppem, *entry)
                                          : FT_Set_Pixel_Sizes(face.ftFace.get(), 0,
                                                               static_cast<FT_UInt>(ppem)) == 0;
    if (!sized) {
        ownedSize.reset();
        if (face.activeSize != nullptr) {
            FT_Activate_Size(face.activeSize->size);
        }
        return nullptr;
    }
    FT_Size ftSize = ownedSize.release();
    ++sizeLoads_;
    entry->ppem = ppem;
    entry->size = ftSize;
    if (!face.colourStrikes) {
        entry->xScale = ftSize->metrics.x_scale;
        entry->yScale = ftSize->metrics.y_scale;
    }
    entry->ascentPx = scaleToPixels(face.ascentUnits, entry->yScale);
    entry->descentPx = scaleToPixels(face.descentUnits, entry->yScale);
    entry->advancePx.assign(static_cast<size_t>(face.ftFace->num_glyphs),
                            FaceSize::kUnknownAdvance);
    face.activeSize = entry.get();
    face.sizes.push_back(std::move(entry));
    return face.sizes.back().get();
}

void FaceCache::activate(FontFace& face, FaceSize& size) {
    if (face.activeSize != &size) {
        FT_Activate_Size(size.size);
        face.activeSize = &size;
    }
}

int FaceCache::advancePx(FontFace& face, FaceSize& size, uint32_t glyph) {
    if (glyph >= size.advancePx.size()) {
        return 0;
    }
    int32_t& cached = size.advancePx[glyph];
    if (cached == FaceSize::kUnknownAdvance) {
        FT_Fixed units = 0;
        if (FT_Get_Advance(face.ftFace.get(), glyph, FT_LOAD_NO_SCALE, &units) != 0) {
            units = 0;
        }
        cached = scaleToPixels(units, size.xScale);
    }
    return cached;
}
