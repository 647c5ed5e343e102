#pragma once

#include <functional>
#include <string>

namespace tw {

class CSettings;

// The greetings: the list of supplied greetings ("greeting.ini" in the greeting folder), the
// file handed to the Skype link, and the conversion of any audio file to the greeting
// format. Plain functions on files: any thread may call them.

/// The greeting format: PCM WAV, 16000 samples per second, mono, 16 bits.
inline constexpr int kGreetingSampleRate = 16000;

inline constexpr const char* kGreetingListFile = "greeting.ini";
inline constexpr const char* kGreetingSection = "Greeting";
inline constexpr const char* kCustomGreetingFile = "custom.wav";
inline constexpr const char* kCustomGreetingPendingFile = "custom1.wav";
inline constexpr const char* kFileGreetingFile = "file.wav";
inline constexpr const char* kFileGreetingPendingFile = "file1.wav";
inline constexpr const char* kFileGreetingPcmFile = "file2.wav";
inline constexpr const char* kBeepFile = "beep.wav";
/// Where the supplied greetings are installed, below the program's data folder.
inline constexpr const char* kShippedGreetingsFolder = "greetings";

/// nNumOfGreeting of the list (0 when the list is missing).
int GetGreetingCount(const std::string& greetingFolder);

/// Name and file of list greeting index (1-based). An index beyond the list (or below 1)
/// takes the first greeting. With an empty list the name is empty and the file is the
/// greeting folder itself, which the Skype link ignores. Either output may be null.
void GetGreeting(const std::string& greetingFolder, int index, std::string* name,
                 std::string* file);

/// The lookup the settings loader uses for nDefaultGreetingIndex: fills name and file and
/// answers whether the list holds any greeting.
using GreetingLookup = std::function<bool(int index, std::string& name, std::string& file)>;
GreetingLookup MakeGreetingLookup(std::string greetingFolder);

/// The greeting handed to the Skype link: for type 0 the chosen list greeting's file (looked
/// up when the settings were loaded), for 1 the recorded "custom.wav", otherwise the user's
/// own "file.wav".
std::string CurrentGreetingFile(const std::string& greetingFolder, int greetingType,
                                const std::string& listGreetingFile);
/// The same from the settings (nGreetingType and the list greeting found at load).
std::string CurrentGreetingFile(const std::string& greetingFolder, const CSettings& settings);

/// Converts any audio file libsndfile reads (any rate, any number of channels, 8 to 32
/// bits, compressed WAVs, FLAC, Ogg, MP3) to the greeting format: channels averaged to
/// mono, resampled band-limited to 16 kHz. The target is replaced only when the whole
/// conversion worked; otherwise it is left as it was and error says why.
bool ConvertToGreetingFormat(const std::string& source, const std::string& target,
                             std::string* error = nullptr);

/// Copies the supplied greetings (the list, every file it names, "beep.wav") from
/// shippedFolder into the user's greeting folder where they are missing; existing files
/// are kept. Creates the greeting folder. False when something missing could not be copied.
bool InstallShippedGreetings(const std::string& shippedFolder, const std::string& greetingFolder);

} // namespace tw
