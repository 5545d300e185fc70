// The comment font's face list: its order and duplicate rule, the saved face's selection, and
// the list and the stand-in that this system's fontconfig gives.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/font_faces.h"

namespace {

using Faces = std::vector<std::string>;

TEST(FaceList, TrimsDropsEmptyNamesAndSecondSpellingsAndSorts) {
    EXPECT_EQ(makeFaceList({" Zeta ", "alpha", "", "  \t", "Beta", "ALPHA", "beta", "IPA Pゴシック",
                            "Alpha Sans", "\tZeta"}),
              (Faces{"alpha", "Alpha Sans", "Beta", "IPA Pゴシック", "Zeta"}));
    // Whole names count: "Noto Sans" is not a duplicate of "Noto Sans CJK JP", in either order.
    for (const Faces& faces :
         {Faces{"Noto Sans CJK JP", "Noto Sans"}, Faces{"Noto Sans", "Noto Sans CJK JP"}}) {
        EXPECT_EQ(makeFaceList(faces), (Faces{"Noto Sans", "Noto Sans CJK JP"}));
    }
    // The Japanese family name is shown when there is one.
    EXPECT_EQ(displayFamily({"IPAPGothic", "IPA Pゴシック"}, {"en", "ja"}), "IPA Pゴシック");
    EXPECT_EQ(displayFamily({"Some Face", "ある書体"}, {"en", "ja-JP"}), "ある書体");
    EXPECT_EQ(displayFamily({"Noto Sans CJK JP", "Noto Sans CJK JP Regular"}, {"en", "en"}),
              "Noto Sans CJK JP");
    EXPECT_EQ(displayFamily({"No Languages"}, {}), "No Languages");
    EXPECT_EQ(displayFamily({}, {}), "");
}

TEST(FaceList, TheSavedFaceIsFoundByItsWholeNameElseItsStandInElseTheFirstItem) {
    const Faces faces = {"DejaVu Sans", "DejaVu Sans Mono", "IPA Pゴシック", "IPAゴシック"};
    EXPECT_EQ(findFace(faces, "dejavu sans"), 0u);
    EXPECT_EQ(findFace(faces, "DEJAVU SANS MONO"), 1u);
    EXPECT_EQ(findFace(faces, " IPA Pゴシック "), 2u);
    EXPECT_EQ(findFace(faces, "DejaVu"), std::nullopt);
    EXPECT_EQ(faceItemForSavedFace(faces, "ipaゴシック", "IPA Pゴシック"), 3u);
    EXPECT_EQ(faceItemForSavedFace(faces, "ＭＳ Ｐゴシック", "IPA Pゴシック"), 2u);
    EXPECT_EQ(faceItemForSavedFace(faces, "ＭＳ Ｐゴシック", "Unlisted Face"), 0u);
    EXPECT_EQ(faceItemForSavedFace(faces, "", ""), 0u);
}

// The system's own fonts: fonts-ipafont-gothic is installed wherever Lumivox is built.
TEST(InstalledFaces, TheListHoldsTheIpaFacesOnceAndTheWindowsDefaultHasAListedStandIn) {
    const Faces faces = installedFaceList();
    EXPECT_EQ(makeFaceList(faces), faces) << "already trimmed, unique and sorted";
    EXPECT_TRUE(findFace(faces, "IPA Pゴシック").has_value());
    EXPECT_TRUE(findFace(faces, "IPAゴシック").has_value());
    EXPECT_FALSE(findFace(faces, "IPAPGothic").has_value())
        << "a face is listed once, under its Japanese name";

    // The stand-in is the face whose file the comments are drawn with (the font locator's).
    EXPECT_EQ(substituteFace("ＭＳ Ｐゴシック"), "IPA Pゴシック");
    // An installed face stands for itself.
    EXPECT_EQ(substituteFace("IPAゴシック"), "IPAゴシック");
    EXPECT_EQ(substituteFace("IPAGothic"), "IPAゴシック");
}

}  // namespace
