// The script page: the program's path put into the template, and the UTF-16 bytes the browser
// reads.

#include "shell/script_page.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_folder.h"

namespace {

using namespace std::string_literals;

TEST(ScriptPage, ThePathEscapedIntoEveryPlaceholderUpToTheFirstZeroByte) {
    EXPECT_EQ(escapeForScriptLiteral("C:\\Tools\\lumivox.exe"), "C:\\\\Tools\\\\lumivox.exe");
    // What a Windows path cannot hold but a POSIX one can must not end the literal either.
    EXPECT_EQ(escapeForScriptLiteral("/a\"b\nc\\"), "/a\\\"b\\nc\\\\");
    const struct {
        std::string templateText;
        const char* path;
        const char* page;
    } cases[] = {
        {"run(\"<%ExePath%>\"); // <%ExePath%>", "P", "run(\"P\"); // P"},
        {"no placeholder <%ExePath%", "p", "no placeholder <%ExePath%"},
        // A path that itself reads like the placeholder is put in once, not again and again.
        {"<%ExePath%>|<%ExePath%>", "<%ExePath%>", "<%ExePath%>|<%ExePath%>"},
        {"a<%ExePath%>b\0<%ExePath%>tail"s, "P", "aPb"},
        {"\0everything"s, "P", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(pageTextFromTemplate(c.templateText, c.path), c.page) << c.templateText;
    }
}

TEST(ScriptPage, Utf16LittleEndianWithAByteOrderMarkAndNoTerminator) {
    EXPECT_EQ(utf16LePageBytes(""), "\xFF\xFE");
    EXPECT_EQ(utf16LePageBytes("A\r\n"),
              "\xFF\xFE"
              "A\0\r\0\n\0"s);
    // ル U+30EB, ヴ U+30F4, 𠮷 U+20BB7 (a surrogate pair D842 DFB7).
    EXPECT_EQ(utf16LePageBytes("ルヴ𠮷"), "\xFF\xFE\xEB\x30\xF4\x30\x42\xD8\xB7\xDF"s);
}

TEST(ScriptPage, TheShippedTemplateStartsTheProgramFromAStringLiteral) {
    const std::filesystem::path shipped =
        std::filesystem::path(LUMIVOX_PROGRAM_DIR) / kPageTemplateFileName;
    const std::string text = readBytes(shipped);
    ASSERT_FALSE(text.empty()) << shipped;
    EXPECT_EQ(text.find('\0'), std::string::npos);
    const size_t at = text.find(kExePathPlaceholder);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(text.find(kExePathPlaceholder, at + 1), std::string::npos);

    const Result<std::string> made = makeScriptPage(shipped, "/opt/my \"tools\"/lumivox");
    ASSERT_TRUE(made);
    // Each part as the page encodes it, without the byte order mark.
    for (const char* part : {"var programPath = \"/opt/my \\\"tools\\\"/lumivox\";",
                             "ルミヴォクスでダウンロード(&N)", "external.menuArguments"}) {
        EXPECT_NE(made->find(utf16LePageBytes(part).substr(2)), std::string::npos) << part;
    }
}

}  // namespace
