// The catalogue's bytes, checked against iconv's code page 932 encoding of the texts,
// one runtime output call per text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/messages.h"
#include "expected_texts.h"
#include "test_support.h"

namespace {

std::vector<std::string> WrittenTexts() {
    std::vector<std::string> texts;
    for (int i = 0; i < Fake().callCount; ++i) {
        const FakeCall& call = Fake().calls[i];
        if (call.kind == FakeWriteText) {
            texts.emplace_back(static_cast<const char*>(call.address), call.size);
        }
    }
    return texts;
}

std::vector<std::string> Cp932All(const char* const* texts, size_t count) {
    std::vector<std::string> encoded;
    for (size_t i = 0; i < count; ++i) encoded.push_back(Cp932(texts[i]));
    return encoded;
}

TEST(Messages, TheBannerIsTwoTextsInCodePage932) {
    ResetFakePlatform();
    PrintBanner();
    EXPECT_EQ(WrittenTexts(), Cp932All(kExpectedBanner, 2));
    const std::string notice = WrittenTexts().at(1);
    EXPECT_NE(notice.front(), '\n') << "the notice has no leading line feed";
    EXPECT_EQ(notice.find('\n'), notice.size() - 1) << "the notice is one line";
}

TEST(Messages, TheUsageIsTwentyEightPiecesInCodePage932) {
    ResetFakePlatform();
    PrintUsage();
    EXPECT_EQ(WrittenTexts(), Cp932All(kExpectedUsage, 28));
}

// Bytes that an encoding slip would lose: the 0x5C second byte of the character for
// "display", and the lone backslash of piece 26.
TEST(Messages, KeepsTheBytesThatLookLikeBackslashes) {
    ResetFakePlatform();
    PrintUsage();
    std::vector<std::string> pieces = WrittenTexts();
    ASSERT_EQ(pieces.size(), 28u);
    for (int piece : {4, 5, 17, 18}) {
        EXPECT_NE(pieces[piece - 1].find("\x95\x5c"), std::string::npos) << piece;
    }
    EXPECT_NE(pieces[25].find(" '\\' "), std::string::npos);
    EXPECT_EQ(pieces[0].substr(0, 7), "\nVelmor");
    EXPECT_EQ(pieces[2].substr(pieces[2].size() - 2), "\n\n");
}

TEST(Messages, EachMessageIsOneTextInCodePage932) {
    for (const auto& test : kMessageTexts) {
        ResetFakePlatform();
        PrintMessage(test.message);
        EXPECT_EQ(WrittenTexts(), std::vector<std::string>{Cp932(test.expected)}) << test.expected;
    }
}

}  // namespace
