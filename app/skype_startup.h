#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace tw {

class CTWKApp;
class CSkypeLink;
class CallHandling;
class CRecordStorage;
class EventLoop;
class Prompt;
class RecordSink;
class SkypeTransport;
class SkypeLinkHost;

/// The Skype link and the answering machine inside the running application: builds the link
/// over the session D-Bus, plugs in the call handling with its record sink, pushes the
/// settings the link holds in their fixed order, and starts the link (activation, discover,
/// attach). stop() shuts the link down and joins the record worker (records in progress on
/// it are finished first). UI thread only.
class SkypeStartup
{
public:
    /// pipeline takes the finished records (null: they are made and logged, no more);
    /// storage answers the free-space check and today's folder (null: always room, the
    /// link's own date folder). Both outlive stop().
    SkypeStartup(CTWKApp& app, EventLoop& loop, RecordSink* pipeline = nullptr,
                 CRecordStorage* storage = nullptr);
    ~SkypeStartup();
    SkypeStartup(const SkypeStartup&) = delete;
    SkypeStartup& operator=(const SkypeStartup&) = delete;

    /// False when the link could not start (it then stays down; the program goes on).
    bool start();
    /// The orderly exit's first step, while the event loop still runs: ends in Skype what the
    /// call handling started there, then runs done (at most kExitBound later). Call stop()
    /// after the loop has ended.
    void prepareExit(std::function<void()> done);
    void stop();

    static constexpr auto kExitBound = std::chrono::milliseconds(3000);

    CSkypeLink* link() { return m_link.get(); }
    /// The windows' share of the link's news (attach, call state, contacts, "show the side
    /// panel"); null stops forwarding. Outlives the link or is reset first.
    void setWindowHost(SkypeLinkHost* host);
    CallHandling* callHandling() { return m_handling.get(); }

    /// Pushes the settings into the link and the call handling, in the order the main frame
    /// has always used: records folder; waiting period and maximum length, voice mail,
    /// conversation recording with its notice, call transfer, call-out, format mode, mute;
    /// then the greeting file.
    static void PushSettings(CTWKApp& app, CSkypeLink& link, CallHandling& handling);

private:
    CTWKApp& m_app;
    EventLoop& m_loop;
    RecordSink* m_pipeline;
    CRecordStorage* m_storage;
    std::unique_ptr<Prompt> m_prompt;
    std::unique_ptr<SkypeLinkHost> m_host;
    SkypeLinkHost* m_windowHost = nullptr;
    std::unique_ptr<SkypeTransport> m_transport;
    std::unique_ptr<CSkypeLink> m_link;
    std::unique_ptr<CallHandling> m_handling;
    bool m_started = false;
};

} // namespace tw
