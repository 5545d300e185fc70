#pragma once
// Owning handles for the objects of FreeType, HarfBuzz and fontconfig.

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H
#include FT_SIZES_H
#include FT_STROKER_H
#include <hb.h>

#include <memory>
#include <string>

struct FtLibraryDone {
    void operator()(FT_Library library) const { FT_Done_FreeType(library); }
};
struct FtFaceDone {
    void operator()(FT_Face face) const { FT_Done_Face(face); }  // also its sizes
};
struct FtSizeDone {
    void operator()(FT_Size size) const { FT_Done_Size(size); }
};
struct FtGlyphDone {
    void operator()(FT_Glyph glyph) const { FT_Done_Glyph(glyph); }
};
struct FtStrokerDone {
    void operator()(FT_Stroker stroker) const { FT_Stroker_Done(stroker); }
};
struct HbBlobDestroy {
    void operator()(hb_blob_t* blob) const { hb_blob_destroy(blob); }
};
struct HbFaceDestroy {
    void operator()(hb_face_t* face) const { hb_face_destroy(face); }
};
struct HbFontDestroy {
    void operator()(hb_font_t* font) const { hb_font_destroy(font); }
};
struct HbBufferDestroy {
    void operator()(hb_buffer_t* buffer) const { hb_buffer_destroy(buffer); }
};
struct FcPatternDestroyer {
    void operator()(FcPattern* pattern) const { FcPatternDestroy(pattern); }
};
struct FcObjectSetDestroyer {
    void operator()(FcObjectSet* set) const { FcObjectSetDestroy(set); }
};
struct FcFontSetDestroyer {
    void operator()(FcFontSet* set) const { FcFontSetDestroy(set); }
};

using FtLibraryPtr = std::unique_ptr<std::remove_pointer_t<FT_Library>, FtLibraryDone>;
using FtFacePtr = std::unique_ptr<std::remove_pointer_t<FT_Face>, FtFaceDone>;
using FtSizePtr = std::unique_ptr<std::remove_pointer_t<FT_Size>, FtSizeDone>;
using FtGlyphPtr = std::unique_ptr<std::remove_pointer_t<FT_Glyph>, FtGlyphDone>;
using FtStrokerPtr = std::unique_ptr<std::remove_pointer_t<FT_Stroker>, FtStrokerDone>;
using HbBlobPtr = std::unique_ptr<hb_blob_t, HbBlobDestroy>;
using HbFacePtr = std::unique_ptr<hb_face_t, HbFaceDestroy>;
using HbFontPtr = std::unique_ptr<hb_font_t, HbFontDestroy>;
using HbBufferPtr = std::unique_ptr<hb_buffer_t, HbBufferDestroy>;
using FcPatternPtr = std::unique_ptr<FcPattern, FcPatternDestroyer>;
using FcObjectSetPtr = std::unique_ptr<FcObjectSet, FcObjectSetDestroyer>;
using FcFontSetPtr = std::unique_ptr<FcFontSet, FcFontSetDestroyer>;

// FreeType's text for an error code, or "FreeType error N" where it has none.
std::string freeTypeErrorText(FT_Error error);
