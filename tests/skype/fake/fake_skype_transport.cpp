#include "fake_skype_transport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace tw::test {
namespace {

std::string callDefault(const std::string& property)
{
    if (property == "CONF_ID" || property == "DURATION" || property == "CONF_PARTICIPANTS_COUNT")
        return "0";
    if (property == "INPUT" || property == "OUTPUT")
        return "SOUNDCARD=\"default\"";
    return property == "TYPE" ? "INCOMING_P2P" : property == "STATUS" ? "RINGING" : "";
}

} // namespace

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
        m_sendMode = SendMode::Normal;
    return mode;
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
    case SendMode::FailLater:
        m_failing = {m_generation, utf8};
        m_loop.startTimer(this, 1, std::chrono::milliseconds(10000));
        return true;
    case SendMode::Normal:
        break;
    }
    auto custom = m_replyHook ? m_replyHook(utf8) : std::nullopt;
    std::vector<std::string> replies = custom ? std::move(*custom) : builtInReply(utf8);
    const std::uint64_t generation = m_generation;
    if (m_replyDelay) {
        m_replies.push_back({m_loop.now() + m_replyDelay(), generation, utf8, std::move(replies)});
        armDeliveryTimer();
        return true;
    }
    // The first line answers the command; anything after it is what the client notifies.
    m_loop.post([this, generation, utf8, replies = std::move(replies)] {
        for (std::size_t i = 0; i < replies.size(); ++i) {
            if (generation != m_generation || !m_listener)
                return;
            if (i == 0)
                m_listener->onSkypeReply(utf8, replies[i]);
            else
                m_listener->onSkypeText(replies[i]);
        }
    });
    return true;
}

void FakeSkypeTransport::detach()
{
    m_attached = false;
    ++m_generation;
}

void FakeSkypeTransport::pushTextAfter(std::chrono::milliseconds delay, const std::string& text)
{
    m_notes.emplace(m_loop.now() + delay, Delivery{m_loop.now() + delay, m_generation, {}, {text}});
    armDeliveryTimer();
}

void FakeSkypeTransport::clientVanishes()
{
    loseClient();
    if (m_listener)
        m_listener->onClientGone();
}

void FakeSkypeTransport::newClientAppears()
{
    m_discoverAnswer = kAttachSuccess;
    if (m_listener)
        m_listener->onAttachStatus(kAttachApiAvailable);
}

void FakeSkypeTransport::armDeliveryTimer()
{
    std::optional<std::chrono::milliseconds> next;
    if (!m_replies.empty())
        next = m_replies.front().due;
    if (!m_notes.empty() && (!next || m_notes.begin()->first < *next))
        next = m_notes.begin()->first;
    if (!next) {
        m_loop.killTimer(this, 2);
        return;
    }
    // At least a tick: the virtual clock fires a timer only when it moves.
    m_loop.startTimer(this, 2, std::max(std::chrono::milliseconds(1), *next - m_loop.now()));
}

void FakeSkypeTransport::deliverDue()
{
    const auto now = m_loop.now();
    for (;;) {
        // Notifications due before the oldest reply go first; a reply waits for older ones.
        const bool noteFirst =
            !m_notes.empty() && m_notes.begin()->first <= now &&
            (m_replies.empty() || m_notes.begin()->first <= m_replies.front().due);
        if (noteFirst) {
            Delivery d = std::move(m_notes.begin()->second);
            m_notes.erase(m_notes.begin());
            if (d.generation == m_generation && m_listener)
                m_listener->onSkypeText(d.texts.front());
            continue;
        }
        if (m_replies.empty() || m_replies.front().due > now)
            break;
        Delivery d = std::move(m_replies.front());
        m_replies.pop_front();
        for (std::size_t i = 0; i < d.texts.size(); ++i) {
            if (d.generation != m_generation || !m_listener)
                break;
            if (i == 0)
                m_listener->onSkypeReply(d.command, d.texts[i]);
            else
                m_listener->onSkypeText(d.texts[i]);
        }
    }
    armDeliveryTimer();
}

void FakeSkypeTransport::loseClient()
{
    m_attached = false;
    ++m_generation;
    m_discoverAnswer.reset();
    m_replies.clear();
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
    return {m_sent.begin() + static_cast<std::ptrdiff_t>(std::min(from, m_sent.size())),
            m_sent.end()};
}

int FakeSkypeTransport::countSent(const std::string& text) const
{
    return static_cast<int>(std::count(m_sent.begin(), m_sent.end(), text));
}

std::optional<std::string> FakeSkypeTransport::greetingStatus(const std::string& id)
{
    // Skype plays the input file once the call is in progress, and says whether it could.
    auto call = client.calls.find(id);
    if (call == client.calls.end() || call->second["STATUS"] != "INPROGRESS")
        return std::nullopt;
    auto file = m_inputFiles.find(id);
    if (file == m_inputFiles.end() || file->second.empty())
        return std::nullopt;
    const bool playable = std::ifstream(file->second).good();
    file->second.clear();
    if (!client.greetingStatus)
        return std::nullopt;
    return "CALL " + id + " VAA_INPUT_STATUS " + (playable ? "TRUE" : "FALSE");
}

std::vector<std::string> FakeSkypeTransport::alterReply(const std::string& command)
{
    std::vector<std::string> out{command};
    std::istringstream in(command);
    std::string alter, callWord, id, property;
    in >> alter >> callWord >> id >> property;
    if (callWord != "CALL" || property != "SET_INPUT")
        return out;
    const auto file = command.find("FILE=\"");
    m_inputFiles[id] = file == std::string::npos
                           ? std::string()
                           : command.substr(file + 6, command.find('"', file + 6) - file - 6);
    if (auto greeting = greetingStatus(id))
        out.push_back(*greeting);
    return out;
}

// The bus gives up on a send that never got through: the client is lost.
void FakeSkypeTransport::onTimer(int id)
{
    if (id == 2) {
        deliverDue();
        return;
    }
    m_loop.killTimer(this, id);
    if (m_failing.first != m_generation || !m_listener)
        return;
    m_attached = false;
    ++m_generation;
    m_listener->onSendFailed(m_failing.second);
}

std::vector<std::string> FakeSkypeTransport::builtInReply(const std::string& command)
{
    FakeSkypeClient& c = client;
    if (command == "PING")
        return {"PONG"};
    if (command.starts_with("PROTOCOL "))
        return {"PROTOCOL " + std::to_string(std::min(c.protocol, std::atoi(command.c_str() + 9)))};
    const std::map<std::string, std::string> simple = {
        {"GET SKYPEVERSION", "8.0.0.1"},     {"GET USERSTATUS", c.userStatus},
        {"GET CURRENTUSERHANDLE", c.handle}, {"GET AUDIO_IN", "Built-in Audio"},
        {"GET AUDIO_OUT", "Built-in Audio"}, {"GET AUTOAWAY", "ON"}};
    if (auto it = simple.find(command); it != simple.end())
        return {it->first.substr(4) + " " + it->second};
    if (command == "SEARCH FRIENDS") {
        std::string list = "USERS ";
        for (const auto& contact : c.contacts)
            list += (&contact == &c.contacts[0] ? "" : ", ") + contact.handle;
        return {list};
    }
    if (command == "SEARCH ACTIVECALLS") {
        std::string list = "CALLS ";
        for (const auto& [id, props] : c.calls)
            list += (list.size() > 6 ? ", " : "") + id;
        return {list};
    }
    if (command.starts_with("ALTER ") || command.starts_with("OPEN "))
        return alterReply(command); // acknowledged by an exact echo
    if (command.starts_with("SET USERSTATUS ")) {
        c.userStatus = command.substr(15);
        return {"USERSTATUS " + c.userStatus};
    }
    if (command == "SET MUTE ON" || command == "Set MUTE ON" || command == "SET MUTE OFF")
        return {command.substr(4)};
    std::vector<std::string> w;
    std::istringstream in(command);
    for (std::string word; in >> word;)
        w.push_back(word);
    if (w.size() >= 4 && w[0] == "GET" && w[1] == "USER") {
        for (const auto& contact : c.contacts)
            if (contact.handle == w[2] && (w[3] == "FULLNAME" || w[3] == "ONLINESTATUS"))
                return {"USER " + w[2] + " " + w[3] + " " +
                        (w[3] == "FULLNAME" ? contact.fullName : contact.onlineStatus)};
        if (w[2] == c.handle && w[3] == "FULLNAME")
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
        std::vector<std::string> out{"CALL " + w[2] + " STATUS " + w[4]};
        if (w[4] == "INPROGRESS")
            if (auto greeting = greetingStatus(w[2]))
                out.push_back(*greeting);
        return out;
    }
    if (w.size() == 2 && w[0] == "CALL") {
        const std::string id = std::to_string(c.nextCallId++);
        c.calls[id] = {{"PARTNER_HANDLE", w[1]}, {"TYPE", "OUTGOING_P2P"}, {"STATUS", "ROUTING"}};
        // Answered with the new call, whose progress Skype then notifies.
        return {"CALL " + id + " STATUS UNPLACED", "CALL " + id + " STATUS ROUTING"};
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
