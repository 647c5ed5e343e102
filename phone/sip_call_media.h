// SPDX-License-Identifier: GPL-3.0-or-later (see COPYING-NOTICE in this folder)
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "phone/growing_wav.h"
#include "sim/call_media.h"
#include "sim/wav_sinks.h"

namespace tw::phone {

/// The sound of one real call, in the files the client names: what the caller says comes from
/// the file the SIP library records the remote side into, resampled to 16 kHz mono as it
/// arrives; what the local user says comes from the local voice (without a sound card) or
/// from the microphone capture the phone hands in. The greeting is played by the call's own
/// player, through the hooks.
class SipCallMedia : public sim::CallMedia
{
public:
    struct Hooks
    {
        std::function<bool(const std::string& path)> play;
        std::function<void()> stop;
    };
    using Samples = std::shared_ptr<const std::vector<int16_t>>;

    explicit SipCallMedia(Hooks hooks);

    /// The caller's side is about to arrive in this file (before the call's audio starts or
    /// restarts): fresh when the file was just emptied, else what it holds is someone else's.
    void remoteStarting(const std::string& path, bool fresh);
    /// The rate the caller's side is written at (the codec's decoded rate).
    void setRemoteRate(int rate);
    /// The call's audio stopped (hold): write what arrived up to here.
    void remoteStopped();
    /// What the local user says without a sound card, played in a loop.
    void setLocalVoice(Samples voice) { m_localVoice = std::move(voice); }
    /// Microphone samples captured on the sound card since the last call.
    void addMicSamples(const std::vector<int16_t>& samples);
    /// The call's player reached the end of the greeting.
    void greetingFinished() { m_greetingEnded = true; }

    std::vector<std::string> setOutputFiles(const std::vector<std::string>& paths) override;
    std::vector<std::string> setMicFiles(const std::vector<std::string>& paths) override;
    bool startGreeting(const std::string& path) override;
    void stopGreeting() override;
    bool advance(int64_t count, bool micMuted) override;
    void closeAll() override;
    std::vector<std::string> takeWriteErrors() override;

private:
    void pumpRemote(bool last);

    Hooks m_hooks;
    std::optional<GrowingWav> m_remote;
    Samples m_localVoice;
    int m_remoteRate = 0;
    size_t m_voicePos = 0;
    std::vector<int16_t> m_micPending;
    bool m_greetingEnded = false;
    bool m_closed = false;
    sim::WavSinks m_out;
    sim::WavSinks m_mic;
    std::vector<std::string> m_errors;
};

} // namespace tw::phone
