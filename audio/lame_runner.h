#pragma once

#include <chrono>
#include <ctime>
#include <string>
#include <vector>

namespace tw {

/// The encoder options used when the configuration names none (section "MP3", key
/// "OPTIONS").
inline constexpr const char* kDefaultLameOptions = "-f --silent";
/// The comment tag the encoder writes into every MP3.
inline constexpr const char* kLameComment = "Tellwick";

/// Splits an options text into words the way a shell splits simple words: blanks separate,
/// double quotes group (and are removed; \" and \\ inside them stand for " and \). Nothing
/// else is interpreted: no variables, no globbing, no other quotes.
std::vector<std::string> splitOptions(const std::string& options);

/// The start time in local time as "YYYY-MM-DD HH:MM:SS".
std::string formatLameTitle(std::time_t start);

/// The argument vector for one encoder run: program, the options' words, --tt <start time>,
/// --tc <comment>, source, target.
std::vector<std::string> buildLameArguments(const std::string& program, const std::string& options,
                                            std::time_t start, const std::string& source,
                                            const std::string& target);

/// The argument vector as one line for the event log, each argument that needs it in double
/// quotes.
std::string formatCommandLine(const std::vector<std::string>& argv);

struct ProgramRun
{
    bool started = false;
    bool timedOut = false;
    int exitCode = -1;       ///< the exit status when the program ended normally
    int signal = 0;          ///< the signal that ended it, else 0
    std::string errorOutput; ///< the last few hundred bytes it wrote to standard error
    std::string error;       ///< why it could not be started

    bool succeeded() const { return started && !timedOut && signal == 0 && exitCode == 0; }
    /// A short English description of the outcome for logs and messages.
    std::string describe() const;
};

/// Runs argv[0] with the arguments, without a shell, standard input from /dev/null,
/// standard output discarded, no other descriptors inherited. Waits at most timeout; a
/// program still running then is killed. Any thread may call it.
ProgramRun runProgram(const std::vector<std::string>& argv, std::chrono::milliseconds timeout);

} // namespace tw
