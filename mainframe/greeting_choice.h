#pragma once

#include <functional>
#include <string>

namespace tw {

class CSettings;
class Prompt;

inline constexpr char kTextAppendBeep[] =
    "Do you want to append a beep sound after the greeting message?";
inline constexpr char kTextAlreadyGreetingFile[] =
    "The selected file is already an existed greeting message file.";
inline constexpr char kTextAudioNotSupported[] =
    "The audio file is not supported or cannot be accessed!";
inline constexpr char kGreetingFileFilter[] = "Sounds (*.mp3);;Sounds (*.wav);;All (*)";

/// The greeting group of the Voice Mail page without its widgets: the chosen kind, the
/// recording and the chosen file that wait in "custom1.wav" and "file1.wav" until the page
/// is confirmed, and what each button does with them. Questions and messages go through the
/// prompt. UI thread only.
class GreetingChoice
{
public:
    enum Kind { List = 0, Recorded = 1, OwnFile = 2 };

    /// Runs the recorder dialog on target; true when it ended with OK, recorded then tells
    /// whether a recording was saved there.
    using Recorder = std::function<bool(const std::string& target, bool& recorded)>;

    /// greetingType is nGreetingType (any value beyond 1 is the own file).
    GreetingChoice(std::string greetingFolder, Prompt& prompt, int greetingType);

    Kind kind() const { return m_kind; }
    bool recordedPending() const { return m_recordedPending; }
    bool filePending() const { return m_filePending; }

    /// The file a preview plays: the list greeting listSelection + 1, or the recorded or own
    /// file, the pending one while there is one.
    std::string previewFile(int listSelection) const;
    std::string recordedFile() const;
    std::string ownFile() const;

    void chooseList() { m_kind = List; }
    /// Without a recorded file the recorder runs first; when it ends without one the choice
    /// stays where it was. Answers whether the kind is now Recorded.
    bool chooseRecorded(const Recorder& recorder);
    /// The same for the own file with the file chooser.
    bool chooseOwnFile();

    /// "Record...": the recorder on "custom1.wav", then the beep question. True after OK.
    bool record(const Recorder& recorder);
    /// "Load...": the file chooser, then loadFile. False when cancelled.
    bool chooseAndLoadFile();
    /// Converts path into "file1.wav" (any audio file libsndfile reads), asks the beep
    /// question and marks the file pending. Choosing "file1.wav" itself only says so.
    bool loadFile(const std::string& path);

    /// OK: the pending files replace the current ones; the settings take the kind and the
    /// list selection. Cancel needs nothing: pending files stay and are overwritten later.
    void confirm(CSettings& settings, int listSelection);

private:
    std::string path(const char* name) const;
    void offerBeep(std::string file);

    std::string m_folder;
    Prompt& m_prompt;
    Kind m_kind;
    bool m_recordedPending = false;
    bool m_filePending = false;
};

} // namespace tw
