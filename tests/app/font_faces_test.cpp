// The comment font's face list: its order and duplicate rule, the saved face's selection, and
// the list and the stand-in that this system's fontconfig gives.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/font_faces.h"
#include "text/font_locator.h"

namespace {

using Faces = std::vector<std::string>;

TEST(FaceList, TrimsDropsEmptyNamesAndSecondSpellingsAndSorts) {
    const Faces faces = makeFaceList({" Zeta ", "alpha", "", "  \t", "Beta", "ALPHA", "beta",
                                      "IPA Pゴシック", "Alpha Sans", "\tZeta"});
    EXPECT_EQ(faces, (Faces{"alpha", "Alpha Sans", "Beta", "IPA Pゴシック", "Zeta"}));
}

TEST(FaceList, ANameThatBeginsAnotherIsStillItsOwnFace) {
    // Whole names count: "Noto Sans" is not a duplicate of "Noto Sans CJK JP", in either order.
    EXPECT_EQ(makeFaceList({"Noto Sans CJK JP", "Noto Sans"}),
              (Faces{"Noto Sans", "Noto Sans CJK JP"}));
    EXPECT_EQ(makeFaceList({"Noto Sans", "Noto Sans CJK JP"}),
              (Faces{"Noto Sans", "Noto Sans CJK JP"}));
}

TEST(FaceList, TheJapaneseFamilyNameIsShownWhenThereIsOne) {
    EXPECT_EQ(displayFamily({"IPAPGothic", "IPA Pゴシック"}, {"en", "ja"}), "IPA Pゴシック");
    EXPECT_EQ(displayFamily({"Noto Sans CJK JP", "Noto Sans CJK JP Regular"}, {"en", "en"}),
              "Noto Sans CJK JP");
    EXPECT_EQ(displayFamily({"Some Face", "ある書体"}, {"en", "ja-JP"}), "ある書体");
    EXPECT_EQ(displayFamily({"No Languages"}, {}), "No Languages");
    EXPECT_EQ(displayFamily({}, {}), "");
}

TEST(FaceList, TheSavedFaceIsFoundByItsWholeNameWithoutCase) {
    const Faces faces = {"DejaVu Sans", "DejaVu Sans Mono", "IPA Pゴシック", "IPAPGothic"};
    EXPECT_EQ(findFace(faces, "dejavu sans"), 0u);
    EXPECT_EQ(findFace(faces, "DEJAVU SANS MONO"), 1u);
    EXPECT_EQ(findFace(faces, " IPA Pゴシック "), 2u);
    EXPECT_EQ(findFace(faces, "DejaVu"), std::nullopt);
    EXPECT_EQ(findFace(faces, "ＭＳ Ｐゴシック"), std::nullopt);
}

TEST(FaceList, ASavedFaceThatIsNotInstalledSelectsItsStandInElseTheFirstItem) {
    const Faces faces = {"DejaVu Sans", "IPA Pゴシック", "IPAゴシック"};
    EXPECT_EQ(faceItemForSavedFace(faces, "ipaゴシック", "IPA Pゴシック"), 2u);
    EXPECT_EQ(faceItemForSavedFace(faces, "ＭＳ Ｐゴシック", "IPA Pゴシック"), 1u);
    EXPECT_EQ(faceItemForSavedFace(faces, "ＭＳ Ｐゴシック", "Unlisted Face"), 0u);
    EXPECT_EQ(faceItemForSavedFace(faces, "ＭＳ Ｐゴシック", ""), 0u);
    EXPECT_EQ(faceItemForSavedFace(faces, "", ""), 0u);
}

// The system's own fonts: fonts-ipafont-gothic is installed wherever Lumivox is built.
TEST(InstalledFaces, TheListIsSortedUniqueAndHoldsTheIpaGothicFaces) {
    const Faces faces = installedFaceList();
    ASSERT_FALSE(faces.empty());
    EXPECT_EQ(makeFaceList(faces), faces) << "already trimmed, unique and sorted";
    EXPECT_TRUE(findFace(faces, "IPA Pゴシック").has_value());
    EXPECT_TRUE(findFace(faces, "IPAゴシック").has_value());
    EXPECT_FALSE(findFace(faces, "IPAPGothic").has_value())
        << "a face is listed once, under its Japanese name";
}

TEST(InstalledFaces, TheWindowsDefaultFaceIsDrawnWithAListedJapaneseFace) {
    const Faces faces = installedFaceList();
    const std::string standIn = substituteFace("ＭＳ Ｐゴシック");
    ASSERT_FALSE(standIn.empty());
    ASSERT_TRUE(findFace(faces, standIn).has_value()) << standIn;
    // The stand-in is the face whose file the comments are drawn with.
    EXPECT_EQ(locateFontFace(standIn).path, locateFontFace("ＭＳ Ｐゴシック").path);
    EXPECT_EQ(standIn, "IPA Pゴシック");
}

TEST(InstalledFaces, AnInstalledFaceStandsForItself) {
    EXPECT_EQ(substituteFace("IPAゴシック"), "IPAゴシック");
    EXPECT_EQ(substituteFace("IPAGothic"), "IPAゴシック");
}

}  // namespace
