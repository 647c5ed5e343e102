#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <QString>

namespace tw::sim {

/// The sound of one call as the model drives it: the files the client names for what the
/// caller says (SET_OUTPUT) and what the local user says (SET_CAPTURE_MIC), and the file it
/// plays into the call (SET_INPUT). The substitute makes the sound up; the phone carries a
/// real call's.
class CallMedia
{
public:
    virtual ~CallMedia() = default;

    /// Point the output or microphone capture at these files: files already open stay open
    /// and go on; new ones are created (emptied); the rest are closed. Returns the paths that
    /// could not be opened.
    virtual std::vector<std::string> setOutputFiles(const std::vector<std::string>& paths) = 0;
    virtual std::vector<std::string> setMicFiles(const std::vector<std::string>& paths) = 0;

    /// Starts playing a sound file into the call; false when it cannot be played.
    virtual bool startGreeting(const std::string& path) = 0;
    virtual void stopGreeting() = 0;

    /// Brings the files up to date: count samples (16 kHz) went by since the last call.
    /// Returns true when a greeting finished playing during this stretch.
    virtual bool advance(int64_t count, bool micMuted) = 0;

    /// Writes what is still due and closes every file: they are complete when this returns.
    virtual void closeAll() = 0;
    /// Write errors (a full disk) are reported once per file through this list.
    virtual std::vector<std::string> takeWriteErrors() = 0;
};

/// Who carries the calls of the model: the substitute's scripted calls, or a phone's real
/// ones. The model asks it for each call's media, and tells it what the client did to a call
/// so that the real call follows. The default implementation does nothing of its own.
class CallCarrier
{
public:
    enum class ClientAction { Answer, Hold, Resume, End };

    virtual ~CallCarrier() = default;
    /// The media of a new call; voiceFile is what a scripted caller says (may be empty).
    virtual std::unique_ptr<CallMedia> mediaFor(int callId, const QString& voiceFile) = 0;
    /// The client answered, held, resumed or ended the call (the model's state has changed).
    virtual void clientChanged(int callId, ClientAction action)
    {
        (void)callId;
        (void)action;
    }
    /// The client joined two calls into a conference.
    virtual void clientJoined(int host, int other)
    {
        (void)host;
        (void)other;
    }
    /// The client sent a chat message to a contact.
    virtual void messageSent(const QString& partner, const QString& text)
    {
        (void)partner;
        (void)text;
    }
    /// The client placed a call (CALL handle); return false to let the model play it out.
    virtual bool placeCall(int callId, const QString& handle)
    {
        (void)callId;
        (void)handle;
        return false;
    }
};

} // namespace tw::sim
