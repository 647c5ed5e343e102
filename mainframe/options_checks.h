#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/prompt.h"

namespace tw {

class CSettings;

// What the Options pages check before they let the user leave, and what the Audio page
// offers. No widgets here: the pages show the refusal and put the focus on its field.

inline constexpr char kTextIntegerBetween[] = "Please enter an integer between %1 and %2.";
inline constexpr char kTextAtMostChars[] = "Please enter no more than %1 characters.";
inline constexpr char kTextEmailIncomplete[] = "The e-mail setting is not completed yet.";
inline constexpr char kTextTransferNoName[] =
    "You must assign a Skype name or a telephone number for call transfer.";
inline constexpr char kTextBadReceiver[] = "The receiver address is not valid!";
inline constexpr char kTextBadSender[] = "The sender address is not valid!";

/// Fields a refusal can point at, so that the page focuses the right control.
enum class OptionsField {
    WaitingPeriod,
    MaxLength,
    EmailSettings,
    TransferName,
    StorageFolder,
    MinFreeSpace,
    EmailServer,
    EmailUserName,
    EmailPassword,
    EmailFrom,
    EmailTo,
    EmailSubject,
};

struct OptionsRefusal
{
    std::string text;
    Prompt::Icon icon = Prompt::Icon::Warning;
    OptionsField field;
};
using OptionsCheck = std::optional<OptionsRefusal>;

/// A whole number in [low, high] read from the text as the user typed it (surrounding
/// blanks allowed); nullopt for anything else.
std::optional<int> ParseBoundedInt(std::string_view text, int low, int high);
/// The refusal of a text that is not a whole number from low to high.
OptionsCheck CheckInteger(std::string_view text, int low, int high, OptionsField field);

/// The Voice Mail page as the user left it: the two numbers as typed, and whether mails
/// are asked for with the page's copy of the e-mail values.
struct VoiceMailInput
{
    std::string waitingPeriod;
    std::string maxLength;
    bool emailVoiceMail = false;
    std::string server, userName, from, to;
};
/// The maximum length (30..300) first, then the waiting period (0..30), then the e-mail
/// values that mailing needs (server, user name, from, to; password and subject may be empty).
OptionsCheck CheckVoiceMailPage(const VoiceMailInput& in);

/// Call transfer switched on needs a name or number.
OptionsCheck CheckCallTransferPage(bool enable, std::string_view skypeName);

/// The folder holds at most 255 characters; the minimum free space is 300..256000 MiB.
OptionsCheck CheckRecordStoragePage(std::string_view folder, std::string_view minFreeSpace);

struct EmailInput
{
    std::string server, userName, password, from, to, subject;
};
/// Length limits (user name and password 31, subject 255 characters), then "To" must
/// hold "@", then "From".
OptionsCheck CheckEmailSettings(const EmailInput& in);

/// One item of the Audio page's quality lists: its text and the codec value it stands for.
struct QualityChoice
{
    std::string text;
    int value;
};
/// "Best ", "Good", "Normal (mp3)", "Acceptable", and "LAME mp3" last when LAME is there.
std::vector<QualityChoice> AudioQualityChoices(bool lameAvailable);
/// The item to select for a codec value: the one with that value, else "Good".
int QualityChoiceIndex(const std::vector<QualityChoice>& choices, int value);
/// The codec value of an item's text; a text that matches none gives 1 ("Good").
int QualityValueOfText(std::string_view text);
/// "Single" and "Double", selected by nAFormatMode.
std::vector<std::string> ChannelChoices();

} // namespace tw
