#include "text/face_cache.h"

#include FT_ADVANCES_H
#include FT_SIZES_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>

namespace {

// Ascent and descent the way Windows reports a TrueType face's line: the OS/2 table's
// usWinAscent / usWinDescent, or the hhea values when the face has no OS/2 table.
void readLineMetrics(FontFace& face) {
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face.ftFace, FT_SFNT_OS2));
    if (os2 != nullptr && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
        face.ascentUnits = os2->usWinAscent;
        face.descentUnits = os2->usWinDescent;
    } else {
        face.ascentUnits = face.ftFace->ascender;
        face.descentUnits = -face.ftFace->descender;
    }
}

void release(FontFace& face) {
    if (face.ftFace != nullptr) {
        FT_Done_Face(face.ftFace);  // also releases the face's sizes
    }
    hb_font_destroy(face.hbFont);
    hb_face_destroy(face.hbFace);
    hb_blob_destroy(face.blob);
}

}  // namespace

int scaleToPixels(long units, FT_Fixed scale) {
    const FT_Long scaled26_6 = FT_MulFix(units, scale);
    return static_cast<int>((scaled26_6 + 32) >> 6);  // arithmetic shift: floor, so half up
}

bool FontFace::hasGlyphFor(char32_t cp) const {
    hb_codepoint_t glyph = 0;
    return hb_font_get_nominal_glyph(hbFont, cp, &glyph) && glyph != 0;
}

FaceCache::FaceCache() {
    if (FT_Init_FreeType(&library_) != 0) {
        library_ = nullptr;
    }
}

FaceCache::~FaceCache() {
    for (auto& entry : faces_) {
        if (entry.second) {
            release(*entry.second);
        }
    }
    if (library_ != nullptr) {
        FT_Done_FreeType(library_);
    }
}

FontFace* FaceCache::face(const std::string& path, int index) {
    const auto key = std::make_pair(path, index);
    const auto found = faces_.find(key);
    if (found != faces_.end()) {
        return found->second.get();
    }
    auto loaded = load(path, index);
    FontFace* result = loaded.get();
    faces_.emplace(key, std::move(loaded));
    return result;
}

std::unique_ptr<FontFace> FaceCache::load(const std::string& path, int index) {
    if (library_ == nullptr || path.empty() || index < 0) {
        return nullptr;
    }
    hb_blob_t* blob = hb_blob_create_from_file_or_fail(path.c_str());
    if (blob == nullptr) {
        return nullptr;
    }
    auto face = std::make_unique<FontFace>();
    face->path = path;
    face->index = index;
    face->blob = blob;
    unsigned int length = 0;
    const char* data = hb_blob_get_data(blob, &length);
    FT_Face ftFace = nullptr;
    if (data == nullptr || FT_New_Memory_Face(library_, reinterpret_cast<const FT_Byte*>(data),
                                              static_cast<FT_Long>(length), index, &ftFace) != 0) {
        release(*face);
        return nullptr;
    }
    face->ftFace = ftFace;
    ++faceLoads_;
    // HarfBuzz shapes sfnt faces only; bitmap and Type 1 fonts are not offered as comment fonts.
    if (!FT_IS_SFNT(ftFace) || !FT_IS_SCALABLE(ftFace) || ftFace->units_per_EM == 0) {
        release(*face);
        return nullptr;
    }
    face->unitsPerEm = ftFace->units_per_EM;
    face->hbFace = hb_face_create(blob, static_cast<unsigned int>(index) & 0xFFFF);
    face->hbFont = hb_font_create(face->hbFace);
    hb_font_set_scale(face->hbFont, face->unitsPerEm, face->unitsPerEm);
    if ((index >> 16) > 0) {
        hb_font_set_var_named_instance(face->hbFont, static_cast<unsigned int>(index >> 16) - 1);
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
    FT_Size ftSize = nullptr;
    if (FT_New_Size(face.ftFace, &ftSize) != 0) {
        return nullptr;
    }
    FT_Activate_Size(ftSize);
    if (FT_Set_Pixel_Sizes(face.ftFace, 0, static_cast<FT_UInt>(ppem)) != 0) {
        FT_Done_Size(ftSize);
        if (face.activeSize != nullptr) {
            FT_Activate_Size(face.activeSize->size);
        }
        return nullptr;
    }
    ++sizeLoads_;
    auto entry = std::make_unique<FaceSize>();
    entry->ppem = ppem;
    entry->size = ftSize;
    entry->xScale = ftSize->metrics.x_scale;
    entry->yScale = ftSize->metrics.y_scale;
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
        if (FT_Get_Advance(face.ftFace, glyph, FT_LOAD_NO_SCALE, &units) != 0) {
            units = 0;
        }
        cached = scaleToPixels(units, size.xScale);
    }
    return cached;
}
