#include "fake_skype_transport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace tw::test {
namespace {

std::vector<std::string> words(const std::string& text, std::size_t max)
{
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (out.size() + 1 < max) {
        const auto space = text.find(' ', pos);
        if (space == std::string::npos)
            break;
        out.push_back(text.substr(pos, space - pos));
        pos = space + 1;
    }
    out.push_back(text.substr(pos));
    return out;
}

std::string callDefault(const std::string& property)
{
    if (property == "CONF_ID" || property == "DURATION" || property == "CONF_PARTICIPANTS_COUNT")
        return "0";
    if (property == "INPUT" || property == "OUTPUT")
        return "SOUNDCARD=\"default\"";
    if (property == "TYPE")
        return "INCOMING_P2P";
    if (property == "STATUS")
        return "RINGING";
    return "";
}

} // namespace

FakeSkypeTransport::FakeSkypeTransport(EventLoop& loop) : m_loop(loop)
{}

FakeSkypeTransport::~FakeSkypeTransport()
{
    m_loop.killTimers(this);
}

void FakeSkypeTransport::discover(const std::string& clientName)
{
    m_discoverNames.push_back(clientName);
    if (!m_discoverAnswer)
        return;
    const int status = *m_discoverAnswer;
    const std::uint64_t generation = m_generation;
    m_loop.post([this, status, generation] {
        if (generation != m_generation || !m_listener)
            return;
        if (status == kAttachSuccess)
            m_attached = true;
        m_listener->onAttachStatus(status);
    });
}

FakeSkypeTransport::SendMode FakeSkypeTransport::currentMode()
{
    const SendMode mode = m_sendMode;
    if (m_modeCount > 0 && --m_modeCount == 0)
        m_sendMode = m_savedMode;
    return mode;
}

void FakeSkypeTransport::setSendModeFor(int count, SendMode mode)
{
    if (m_modeCount == 0)
        m_savedMode = m_sendMode;
    m_sendMode = mode;
    m_modeCount = count;
}

bool FakeSkypeTransport::send(const std::string& utf8)
{
    m_sent.push_back(utf8);
    if (!m_attached)
        return false;
    const SendMode mode = currentMode();
    switch (mode) {
    case SendMode::Refuse:
        return false;
    case SendMode::LoseReply:
        return true;
    case SendMode::FailLater: {
        const std::uint64_t generation = m_generation;
        later(std::chrono::milliseconds(10000), [this, generation, utf8] {
            if (generation != m_generation || !m_listener)
                return;
            m_attached = false;
            ++m_generation;
            m_listener->onSendFailed(utf8);
        });
        return true;
    }
    case SendMode::Normal:
        break;
    }
    if (!m_autoReply)
        return true;
    std::vector<std::string> replies;
    if (m_replyHook) {
        if (auto custom = m_replyHook(utf8))
            replies = std::move(*custom);
        else
            replies = builtInReply(utf8);
    } else {
        replies = builtInReply(utf8);
    }
    if (replies.empty())
        return true;
    const std::uint64_t generation = m_generation;
    later(m_replyDelay, [this, generation, replies = std::move(replies)] {
        for (const auto& reply : replies) {
            if (generation != m_generation || !m_listener)
                return;
            m_listener->onSkypeText(reply);
        }
    });
    return true;
}

void FakeSkypeTransport::detach()
{
    ++m_detachCount;
    m_attached = false;
    ++m_generation;
}

void FakeSkypeTransport::loseClient()
{
    m_attached = false;
    ++m_generation;
    m_discoverAnswer.reset();
}

void FakeSkypeTransport::pushText(const std::string& text)
{
    if (m_listener)
        m_listener->onSkypeText(text);
}

void FakeSkypeTransport::pushAttachStatus(int status)
{
    if (status == kAttachSuccess)
        m_attached = true;
    if (m_listener)
        m_listener->onAttachStatus(status);
}

std::vector<std::string> FakeSkypeTransport::sentSince(std::size_t from) const
{
    if (from >= m_sent.size())
        return {};
    return {m_sent.begin() + static_cast<std::ptrdiff_t>(from), m_sent.end()};
}

int FakeSkypeTransport::countSent(const std::string& text) const
{
    int count = 0;
    for (const auto& s : m_sent)
        count += s == text;
    return count;
}

void FakeSkypeTransport::later(std::chrono::milliseconds delay, std::function<void()> task)
{
    if (delay.count() <= 0) {
        m_loop.post(std::move(task));
        return;
    }
    const int id = m_nextTimer++;
    m_delayed[id] = std::move(task);
    m_loop.startTimer(this, id, delay);
}

void FakeSkypeTransport::onTimer(int id)
{
    m_loop.killTimer(this, id);
    auto it = m_delayed.find(id);
    if (it == m_delayed.end())
        return;
    auto task = std::move(it->second);
    m_delayed.erase(it);
    task();
}

std::vector<std::string> FakeSkypeTransport::builtInReply(const std::string& command)
{
    FakeSkypeClient& c = client;
    if (command == "PING")
        return {"PONG"};
    if (command.starts_with("PROTOCOL "))
        return {"PROTOCOL " + std::to_string(std::min(c.protocol, std::atoi(command.c_str() + 9)))};
    if (command == "GET SKYPEVERSION")
        return {"SKYPEVERSION " + c.version};
    if (command == "GET USERSTATUS")
        return {"USERSTATUS " + c.userStatus};
    if (command == "GET CURRENTUSERHANDLE")
        return {"CURRENTUSERHANDLE " + c.handle};
    if (command == "GET AUDIO_IN")
        return {"AUDIO_IN " + c.audioIn};
    if (command == "GET AUDIO_OUT")
        return {"AUDIO_OUT " + c.audioOut};
    if (command == "GET AUTOAWAY")
        return {std::string("AUTOAWAY ") + (c.autoAway ? "ON" : "OFF")};
    if (command == "SEARCH FRIENDS") {
        std::string list = "USERS ";
        for (std::size_t i = 0; i < c.contacts.size(); ++i)
            list += (i ? ", " : "") + c.contacts[i].handle;
        return {list};
    }
    if (command == "SEARCH ACTIVECALLS") {
        std::string list = "CALLS ";
        bool first = true;
        for (const auto& [id, props] : c.calls) {
            list += (first ? "" : ", ") + id;
            first = false;
        }
        return {list};
    }
    if (command.starts_with("ALTER ") || command.starts_with("OPEN "))
        return {command}; // acknowledged by an exact echo
    if (command.starts_with("SET USERSTATUS ")) {
        c.userStatus = command.substr(15);
        return {"USERSTATUS " + c.userStatus};
    }
    if (command == "SET MUTE ON" || command == "Set MUTE ON")
        return {"MUTE ON"};
    if (command == "SET MUTE OFF")
        return {"MUTE OFF"};
    const auto w = words(command, 5);
    if (w.size() >= 4 && w[0] == "GET" && w[1] == "USER") {
        const std::string& property = w[3];
        for (const auto& contact : c.contacts) {
            if (contact.handle != w[2])
                continue;
            if (property == "FULLNAME")
                return {"USER " + w[2] + " FULLNAME " + contact.fullName};
            if (property == "ONLINESTATUS")
                return {"USER " + w[2] + " ONLINESTATUS " + contact.onlineStatus};
        }
        if (w[2] == c.handle && property == "FULLNAME")
            return {"USER " + c.handle + " FULLNAME " + c.fullName};
        return {"ERROR 26 Invalid user handle"};
    }
    if (w.size() >= 4 && w[0] == "GET" && w[1] == "CALL") {
        auto call = c.calls.find(w[2]);
        if (call == c.calls.end())
            return {"ERROR 12 Unknown call"};
        std::string property = w[3];
        if (property == "CONF_PARTICIPANT" && w.size() == 5)
            property += " " + w[4];
        auto it = call->second.find(property);
        const std::string value = it != call->second.end() ? it->second : callDefault(property);
        return {"CALL " + w[2] + " " + property + " " + value};
    }
    if (w.size() >= 5 && w[0] == "SET" && w[1] == "CALL" && w[3] == "STATUS") {
        auto call = c.calls.find(w[2]);
        if (call == c.calls.end())
            return {"ERROR 12 Unknown call"};
        call->second["STATUS"] = w[4];
        return {"CALL " + w[2] + " STATUS " + w[4]};
    }
    if (w.size() >= 5 && w[0] == "SET" && w[1] == "CALL" && w[3] == "JOIN_CONFERENCE")
        return {"CALL " + w[2] + " CONF_ID " + std::to_string(17930)};
    if (w.size() == 2 && w[0] == "CALL") {
        const std::string id = std::to_string(c.nextCallId++);
        c.calls[id] = {{"PARTNER_HANDLE", w[1]}, {"TYPE", "OUTGOING_P2P"}, {"STATUS", "ROUTING"}};
        return {"CALL " + id + " STATUS ROUTING"};
    }
    if (w.size() == 4 && w[0] == "CHAT" && w[1] == "CREATE") {
        char suffix[17];
        std::snprintf(suffix, sizeof suffix, "%016x", ++m_chatCounter);
        return {"CHAT #" + c.handle + "/$" + w[2] + ";" + suffix + " STATUS DIALOG"};
    }
    if (command.starts_with("CHATMESSAGE ")) {
        const auto rest = command.substr(12);
        const auto space = rest.find(' ');
        c.chatMessages.emplace_back(rest.substr(0, space),
                                    space == std::string::npos ? "" : rest.substr(space + 1));
        return {"CHATMESSAGE " + std::to_string(c.chatMessages.size()) + " STATUS SENDING"};
    }
    return {"ERROR 2 Unknown command"};
}

} // namespace tw::test
