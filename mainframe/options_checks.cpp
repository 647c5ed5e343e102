#include "mainframe/options_checks.h"

#include <cctype>
#include <charconv>

#include "mainframe/settings.h"
#include "platform/utf.h"

namespace tw {
namespace {

std::string fillIn(std::string text, std::string_view marker, const std::string& value)
{
    const auto at = text.find(marker);
    if (at != std::string::npos)
        text.replace(at, marker.size(), value);
    return text;
}

bool isBlank(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

OptionsCheck tooLong(std::string_view text, std::size_t limit, OptionsField field)
{
    if (utf16Length(text) <= limit)
        return std::nullopt;
    return OptionsRefusal{fillIn(kTextAtMostChars, "%1", std::to_string(limit)),
                          Prompt::Icon::Warning, field};
}

OptionsCheck needsAt(std::string_view address, const char* text, OptionsField field)
{
    if (address.find('@') != std::string_view::npos)
        return std::nullopt;
    return OptionsRefusal{text, Prompt::Icon::Warning, field};
}

} // namespace

std::optional<int> ParseBoundedInt(std::string_view text, int low, int high)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    if (value < low || value > high)
        return std::nullopt;
    return value;
}

OptionsCheck CheckInteger(std::string_view text, int low, int high, OptionsField field)
{
    if (ParseBoundedInt(text, low, high))
        return std::nullopt;
    return OptionsRefusal{
        fillIn(fillIn(kTextIntegerBetween, "%1", std::to_string(low)), "%2", std::to_string(high)),
        Prompt::Icon::Warning, field};
}

OptionsCheck CheckVoiceMailPage(const VoiceMailInput& in)
{
    if (auto refusal = CheckInteger(in.maxLength, 30, 300, OptionsField::MaxLength))
        return refusal;
    if (auto refusal = CheckInteger(in.waitingPeriod, 0, 30, OptionsField::WaitingPeriod))
        return refusal;
    if (in.emailVoiceMail &&
        (in.server.empty() || in.userName.empty() || in.from.empty() || in.to.empty()))
        return OptionsRefusal{kTextEmailIncomplete, Prompt::Icon::Information,
                              OptionsField::EmailSettings};
    return std::nullopt;
}

OptionsCheck CheckCallTransferPage(bool enable, std::string_view skypeName)
{
    if (enable && skypeName.empty())
        return OptionsRefusal{kTextTransferNoName, Prompt::Icon::Warning,
                              OptionsField::TransferName};
    return std::nullopt;
}

OptionsCheck CheckRecordStoragePage(std::string_view folder, std::string_view minFreeSpace)
{
    if (auto refusal = tooLong(folder, 255, OptionsField::StorageFolder))
        return refusal;
    return CheckInteger(minFreeSpace, 300, 256000, OptionsField::MinFreeSpace);
}

OptionsCheck CheckEmailSettings(const EmailInput& in)
{
    if (auto refusal = tooLong(in.userName, 31, OptionsField::EmailUserName))
        return refusal;
    if (auto refusal = tooLong(in.password, 31, OptionsField::EmailPassword))
        return refusal;
    if (auto refusal = tooLong(in.subject, 255, OptionsField::EmailSubject))
        return refusal;
    if (auto refusal = needsAt(in.to, kTextBadReceiver, OptionsField::EmailTo))
        return refusal;
    return needsAt(in.from, kTextBadSender, OptionsField::EmailFrom);
}

std::vector<QualityChoice> AudioQualityChoices(bool lameAvailable)
{
    std::vector<QualityChoice> choices{{"Best ", CSettings::CodecBest},
                                       {"Good", CSettings::CodecGood},
                                       {"Normal (mp3)", CSettings::CodecMp3},
                                       {"Acceptable", CSettings::CodecAcceptable}};
    if (lameAvailable)
        choices.push_back({"LAME mp3", CSettings::CodecLame});
    return choices;
}

int QualityChoiceIndex(const std::vector<QualityChoice>& choices, int value)
{
    int good = 0;
    for (std::size_t i = 0; i < choices.size(); ++i) {
        if (choices[i].value == value)
            return static_cast<int>(i);
        if (choices[i].value == CSettings::CodecGood)
            good = static_cast<int>(i);
    }
    return good;
}

int QualityValueOfText(std::string_view text)
{
    for (const QualityChoice& choice : AudioQualityChoices(true))
        if (choice.text == text)
            return choice.value;
    return CSettings::CodecGood;
}

std::vector<std::string> ChannelChoices()
{
    return {"Single", "Double"};
}

} // namespace tw
