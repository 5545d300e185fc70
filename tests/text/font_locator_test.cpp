#include "text/font_locator.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

const std::string kIpaFolder = "/usr/share/fonts/opentype/ipafont-gothic/";

TEST(MsFaceIndex, FollowsTheCollectionRuleWithTheFileLowerCasedElseZero) {
    // The default face of the service's player: the proportional face of the collection.
    EXPECT_EQ(msFaceIndex("msgothic.ttc", "ＭＳ Ｐゴシック"), 1);
    EXPECT_EQ(msFaceIndex("msgothic.ttc", "ＭＳ ゴシック"), 0);
    EXPECT_EQ(msFaceIndex("msgothic.ttc", "MS UI Gothic"), 2);
    // "UI" wins over the full-width P.
    EXPECT_EQ(msFaceIndex("msgothic.ttc", "ＭＳ Ｐ UI ゴシック"), 2);
    EXPECT_EQ(msFaceIndex("msmincho.ttc", "ＭＳ Ｐ明朝"), 1);
    EXPECT_EQ(msFaceIndex("msmincho.ttc", "ＭＳ 明朝"), 0);
    // The file name is lower-cased, the face name is not.
    EXPECT_EQ(msFaceIndex("MSGOTHIC.TTC", "ＭＳ Ｐゴシック"), 1);
    EXPECT_EQ(msFaceIndex("C:/Fonts/MsMincho.TTC", "MS UI Mincho"), 2);
    // The face-name tests respect case and width: "ui" and a half-width "P" do not count.
    EXPECT_EQ(msFaceIndex("msgothic.ttc", "ms ui gothic"), 0);
    EXPECT_EQ(msFaceIndex("msgothic.ttc", "MS PGothic"), 0);
    EXPECT_EQ(msFaceIndex("ipagp.ttf", "ＭＳ Ｐゴシック"), 0);  // any other file: face 0
    EXPECT_EQ(msFaceIndex("meiryo.ttc", "Meiryo UI"), 0);
    EXPECT_EQ(msFaceIndex("", "ＭＳ Ｐゴシック"), 0);
}

TEST(LocateFontFace, BlankNameGivesTheDefaultFile) {
    for (const std::string name : {"", "   ", " \t\r\n"}) {
        const FontLocation location = locateFontFace(name);
        EXPECT_EQ(location.fileName, "msgothic.ttc");
        EXPECT_TRUE(location.path.empty());
        EXPECT_EQ(location.faceIndex, 0);
    }
}

TEST(LocateFontFace, FindsAnInstalledFamilyWithItsFolder) {
    // Blanks around the name are ignored; the Japanese family name names the same face.
    for (const std::string name : {"IPAPGothic", "  IPAPGothic\t", "IPA Pゴシック"}) {
        const FontLocation location = locateFontFace(name);
        EXPECT_EQ(location.path, kIpaFolder + "ipagp.ttf") << name;
        EXPECT_EQ(location.folder, kIpaFolder) << name;
        EXPECT_EQ(location.fileName, "ipagp.ttf") << name;
        EXPECT_EQ(location.faceIndex, 0) << name;
    }
    // fontconfig may name the fixed-pitch face by Debian's alias link to ipag.ttf.
    const FontLocation fixed = locateFontFace("IPAGothic");
    EXPECT_EQ(std::filesystem::canonical(fixed.path), kIpaFolder + "ipag.ttf");
}

TEST(LocateFontFace, MissingWindowsFaceGetsItsMetricCompatibleStandIn) {
    // The default face of the settings is not installed here; it must be drawn by the IPA face
    // made to its metrics (proportional for the "Ｐ" faces, fixed-pitch for the others), not by
    // the locale's Latin default nor by a face of the wrong pitch.
    const FontLocation proportional = locateFontFace("ＭＳ Ｐゴシック");
    ASSERT_FALSE(proportional.path.empty());
    EXPECT_EQ(std::filesystem::canonical(proportional.path).string(), kIpaFolder + "ipagp.ttf");
    EXPECT_EQ(proportional.faceIndex, 0);
    EXPECT_EQ(std::filesystem::canonical(locateFontFace("ms pgothic").path).string(),
              kIpaFolder + "ipagp.ttf");
    EXPECT_EQ(std::filesystem::canonical(locateFontFace("ＭＳ ゴシック").path).string(),
              kIpaFolder + "ipag.ttf");
}

TEST(LocateFontFace, UnknownFamilyGetsFontconfigsSubstitute) {
    const FontLocation location = locateFontFace("Lumivox No Such Family 7");
    ASSERT_FALSE(location.path.empty());
    EXPECT_TRUE(std::filesystem::is_regular_file(location.path)) << location.path;
    ASSERT_FALSE(location.folder.empty());
    EXPECT_EQ(location.folder.back(), '/');
    EXPECT_EQ(location.folder + location.fileName, location.path);
    EXPECT_GE(location.faceIndex, 0);
}

}  // namespace
