#pragma once
// Finds the fonts that can stand in for the comment font for characters it lacks: fontconfig's
// list of all fonts sorted by closeness to the comment font's family, asked once, then searched
// per character. Not thread-safe: one engine, one thread.

#include <string>
#include <vector>

#include "text/font_handles.h"

struct FallbackCandidate {
    std::string path;
    int index = 0;
    bool colour = false;  // a colour font (emoji)
};

class FallbackFonts {
public:
    // `family`: the family name of the comment font, which decides the order of preference.
    explicit FallbackFonts(std::string family);
    ~FallbackFonts();
    FallbackFonts(const FallbackFonts&) = delete;
    FallbackFonts& operator=(const FallbackFonts&) = delete;

    // The outline fonts and colour fonts that hold `cp`, closest first; empty when no installed
    // font has it.
    // The first call asks fontconfig for the sorted list, which is then kept.
    std::vector<FallbackCandidate> candidatesFor(char32_t cp);

    int sortQueries() const { return sortQueries_; }

private:
    void sortOnce();

    std::string family_;
    FcFontSetPtr sorted_;
    bool sortTried_ = false;
    int sortQueries_ = 0;
};
