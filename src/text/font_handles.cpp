#include "text/font_handles.h"

namespace {

// FreeType's own texts, taken from its error list as fterrors.h describes (the library is
// built without FT_Error_String's table).
const char* freeTypeMessage(FT_Error error) {
#undef FTERRORS_H_
#define FT_ERROR_START_LIST switch (error) {
#define FT_ERRORDEF(e, v, s) \
    case v:                  \
        return s;
#define FT_ERROR_END_LIST }
#include FT_ERRORS_H
    return nullptr;
}

}  // namespace

std::string freeTypeErrorText(FT_Error error) {
    const char* text = freeTypeMessage(error);
    return text != nullptr ? std::string(text) : "FreeType error " + std::to_string(error);
}
