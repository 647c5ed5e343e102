#include <gtest/gtest.h>

#include "mainframe/options_checks.h"

namespace tw {
namespace {

VoiceMailInput voiceMail(std::string waiting, std::string maxLength)
{
    VoiceMailInput in;
    in.waitingPeriod = std::move(waiting);
    in.maxLength = std::move(maxLength);
    return in;
}

TEST(OptionsChecks, NumbersOutsideTheirRangeAreRefusedWithTheirBounds)
{
    auto refusal = CheckVoiceMailPage(voiceMail("31", "60"));
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->text, "Please enter an integer between 0 and 30.");
    EXPECT_EQ(refusal->field, OptionsField::WaitingPeriod);

    refusal = CheckVoiceMailPage(voiceMail("10", "29"));
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->text, "Please enter an integer between 30 and 300.");
    EXPECT_EQ(refusal->field, OptionsField::MaxLength);

    // Both wrong: the maximum length is looked at first.
    refusal = CheckVoiceMailPage(voiceMail("31", "301"));
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->field, OptionsField::MaxLength);

    EXPECT_FALSE(CheckVoiceMailPage(voiceMail("0", "30")));
    EXPECT_FALSE(CheckVoiceMailPage(voiceMail(" 30 ", "300")));
    for (const char* bad : {"", "abc", "1.5", "10x", "-1", "99999999999"})
        EXPECT_TRUE(CheckVoiceMailPage(voiceMail(bad, "60"))) << bad;

    auto storage = CheckRecordStoragePage("/records", "299");
    ASSERT_TRUE(storage);
    EXPECT_EQ(storage->text, "Please enter an integer between 300 and 256000.");
    EXPECT_FALSE(CheckRecordStoragePage("/records", "256000"));
    storage = CheckRecordStoragePage(std::string(256, 'a'), "1024");
    ASSERT_TRUE(storage);
    EXPECT_EQ(storage->text, "Please enter no more than 255 characters.");
    EXPECT_FALSE(CheckRecordStoragePage(std::string(255, 'a'), "1024"));
}

TEST(OptionsChecks, MailingNeedsServerUserFromAndToButNotPasswordOrSubject)
{
    VoiceMailInput in = voiceMail("10", "60");
    in.emailVoiceMail = true;
    in.userName = "alice";
    in.from = "me@example.com";
    in.to = "you@example.com";
    auto refusal = CheckVoiceMailPage(in); // the server is empty
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->text, "The e-mail setting is not completed yet.");
    EXPECT_EQ(refusal->icon, Prompt::Icon::Information);
    in.server = "mail.example.com";
    EXPECT_FALSE(CheckVoiceMailPage(in));
    in.to.clear();
    EXPECT_TRUE(CheckVoiceMailPage(in));
    in.emailVoiceMail = false;
    EXPECT_FALSE(CheckVoiceMailPage(in));
}

TEST(OptionsChecks, TransferNeedsANameOnlyWhenEnabled)
{
    auto refusal = CheckCallTransferPage(true, "");
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->text,
              "You must assign a Skype name or a telephone number for call transfer.");
    EXPECT_EQ(refusal->icon, Prompt::Icon::Warning);
    EXPECT_FALSE(CheckCallTransferPage(true, "+4412345"));
    EXPECT_FALSE(CheckCallTransferPage(false, ""));
}

TEST(OptionsChecks, EmailAddressesAreCheckedToBeforeFromAndLengthsFirst)
{
    EmailInput in{"smtp", "alice", "pw", "no-at-sign", "also-none", "Default"};
    auto refusal = CheckEmailSettings(in);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->text, "The receiver address is not valid!");
    EXPECT_EQ(refusal->field, OptionsField::EmailTo);
    in.to = "bob@example.com";
    refusal = CheckEmailSettings(in);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->text, "The sender address is not valid!");
    in.from = "me@example.com";
    EXPECT_FALSE(CheckEmailSettings(in));

    in.password = std::string(32, 'p');
    refusal = CheckEmailSettings(in);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->text, "Please enter no more than 31 characters.");
    EXPECT_EQ(refusal->field, OptionsField::EmailPassword);
    // Characters, not bytes: 31 letters of two bytes each fit.
    in.password.clear();
    for (int i = 0; i < 31; ++i)
        in.password += "\xc3\xa9";
    EXPECT_FALSE(CheckEmailSettings(in));
}

TEST(OptionsChecks, AudioChoicesWithAndWithoutLame)
{
    const auto plain = AudioQualityChoices(false);
    ASSERT_EQ(plain.size(), 4u);
    EXPECT_EQ(plain[0].text, "Best ");
    EXPECT_EQ(plain[3].text, "Acceptable");
    EXPECT_EQ(plain[QualityChoiceIndex(plain, 3)].text, "Acceptable");
    // LAME chosen earlier but gone now: "Good".
    EXPECT_EQ(plain[QualityChoiceIndex(plain, 4)].text, "Good");
    EXPECT_EQ(plain[QualityChoiceIndex(plain, 17)].text, "Good");

    const auto lame = AudioQualityChoices(true);
    ASSERT_EQ(lame.size(), 5u);
    EXPECT_EQ(lame.back().text, "LAME mp3");
    EXPECT_EQ(QualityChoiceIndex(lame, 4), 4);

    EXPECT_EQ(QualityValueOfText("Normal (mp3)"), 2);
    EXPECT_EQ(QualityValueOfText("LAME mp3"), 4);
    EXPECT_EQ(QualityValueOfText("Best "), 0);
    EXPECT_EQ(QualityValueOfText("Best"), 1); // the resource text keeps its blank
}

} // namespace
} // namespace tw
