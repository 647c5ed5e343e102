// SPDX-License-Identifier: GPL-3.0-or-later (see COPYING-NOTICE in this folder)
#include "phone/sip_call_media.h"

namespace tw::phone {

SipCallMedia::SipCallMedia(Hooks hooks) : m_hooks(std::move(hooks))
{}

void SipCallMedia::remoteStarting(const std::string& path, bool fresh)
{
    if (m_closed)
        return;
    if (m_remote && m_remote->path() == path && !fresh) {
        m_remote->skipToEnd();
        return;
    }
    if (m_remote)
        pumpRemote(true);
    m_remote.emplace(path);
    m_remote->setRateHint(m_remoteRate);
    if (!fresh)
        m_remote->skipToEnd();
}

void SipCallMedia::setRemoteRate(int rate)
{
    m_remoteRate = rate;
    if (m_remote)
        m_remote->setRateHint(rate);
}

void SipCallMedia::remoteStopped()
{
    if (!m_closed)
        pumpRemote(false);
}

void SipCallMedia::addMicSamples(const std::vector<int16_t>& samples)
{
    if (!m_closed)
        m_micPending.insert(m_micPending.end(), samples.begin(), samples.end());
}

std::vector<std::string> SipCallMedia::setOutputFiles(const std::vector<std::string>& paths)
{
    return m_out.retarget(paths);
}

std::vector<std::string> SipCallMedia::setMicFiles(const std::vector<std::string>& paths)
{
    return m_mic.retarget(paths);
}

bool SipCallMedia::startGreeting(const std::string& path)
{
    m_greetingEnded = false;
    return m_hooks.play && m_hooks.play(path);
}

void SipCallMedia::stopGreeting()
{
    if (m_hooks.stop)
        m_hooks.stop();
}

void SipCallMedia::pumpRemote(bool last)
{
    if (!m_remote)
        return;
    std::vector<int16_t> block;
    if (!m_remote->read(block, last)) {
        m_errors.push_back(m_remote->path() + ": " + m_remote->why());
        m_remote.reset();
    }
    if (!block.empty())
        m_out.write(block, m_errors);
}

bool SipCallMedia::advance(int64_t count, bool micMuted)
{
    if (m_closed)
        return false;
    pumpRemote(false);
    std::vector<int16_t> mic;
    if (m_localVoice && !m_localVoice->empty() && count > 0) {
        mic.resize(size_t(count));
        for (int16_t& s : mic) {
            s = (*m_localVoice)[m_voicePos];
            m_voicePos = (m_voicePos + 1) % m_localVoice->size();
        }
    } else {
        mic.swap(m_micPending);
    }
    if (micMuted)
        std::fill(mic.begin(), mic.end(), int16_t(0));
    if (!mic.empty())
        m_mic.write(mic, m_errors);
    const bool ended = m_greetingEnded;
    m_greetingEnded = false;
    return ended;
}

void SipCallMedia::closeAll()
{
    if (m_closed)
        return;
    advance(0, false);
    pumpRemote(true);
    m_closed = true;
    m_out.closeAll();
    m_mic.closeAll();
}

std::vector<std::string> SipCallMedia::takeWriteErrors()
{
    return std::exchange(m_errors, {});
}

} // namespace tw::phone
