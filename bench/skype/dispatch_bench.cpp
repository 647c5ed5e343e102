// Notifications per second through the whole receiving path of the link: zero-byte cut,
// length check, split, dispatch by kind, model update, keep-alive restart.
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "platform/manual_event_loop.h"
#include "platform/scripted_prompt.h"
#include "skype/skype_link.h"

namespace {

using namespace tw;

class CountingTransport : public SkypeTransport
{
public:
    void setListener(Listener* listener) override { m_listener = listener; }
    void startSkype() override {}
    void discover(const std::string&) override {}
    bool send(const std::string&) override
    {
        ++sent;
        return true;
    }
    void detach() override {}
    Listener* listener() const { return m_listener; }
    long sent = 0;

private:
    Listener* m_listener = nullptr;
};

struct NullHost : SkypeLinkHost
{
    void requestExit() override {}
};

void BM_DispatchNotifications(benchmark::State& state)
{
    ManualEventLoop loop;
    CountingTransport transport;
    NullHost host;
    ScriptedPrompt prompt;
    CSkypeLink link(loop, transport, host, prompt);
    link.Create();
    loop.runPending();
    transport.listener()->onAttachStatus(kAttachSuccess);

    auto* listener = transport.listener();
    for (const char* setup : {"CURRENTUSERHANDLE me", "USERS alice, bob, carol, dave, +4930123456",
                              "CALL 1545 STATUS RINGING", "CALL 1545 STATUS INPROGRESS",
                              "CALL 1546 STATUS RINGING", "PROTOCOL 7"})
        listener->onSkypeText(setup);

    // A call in progress, a contact list that keeps changing, and the usual chatter.
    const std::vector<std::string> texts = {
        "CALL 1545 DURATION 17",
        "CALL 1545 DURATION 18",
        "USER bob ONLINESTATUS AWAY",
        "USER alice FULLNAME Alice Andersson",
        "USER dave FULLNAME J\xC3\xBCrgen M\xC3\xBCller",
        "CALL 1546 PARTNER_HANDLE carol",
        "CALL 1546 PARTNER_DISPNAME Carol C",
        "CALL 1546 TYPE INCOMING_P2P",
        "CALL 1545 OUTPUT SOUNDCARD=\"default\"",
        "ALTER CALL 1545 SET_OUTPUT SOUNDCARD=\"default\"",
        "CALL 1546 CONF_ID 0",
        "CHATMESSAGE 12 STATUS SENT",
        "CALL 1546 VAA_INPUT_STATUS FALSE",
        "USERSTATUS ONLINE",
        "CONNSTATUS ONLINE",
        "PONG",
    };
    std::size_t i = 0;
    for (auto _ : state) {
        listener->onSkypeText(texts[i]);
        if (++i == texts.size())
            i = 0;
    }
    state.SetItemsProcessed(state.iterations());
    benchmark::DoNotOptimize(link.calls().size());
}
BENCHMARK(BM_DispatchNotifications);

} // namespace

BENCHMARK_MAIN();
