// Everything the Skype client says reaches the link's notification parser and its dispatch
// into the call model and the answering machine. The input is a stream of notifications,
// one per line, pushed into a link attached over the in-memory transport with the real call
// handling plugged in; an empty line lets 2.5 s of virtual time pass, so timers (the answer
// delay, the keep-alive, the voice-mail limit) fire in between. Whatever arrives, the link
// must not crash, and every command it sends must stay one line.
#include <string>
#include <string_view>

#include "fake_skype_transport.h"
#include "fuzz/fuzz_support.h"
#include "platform/manual_event_loop.h"
#include "platform/scripted_prompt.h"
#include "skype/call_handling.h"
#include "skype/record_finish_job.h"
#include "skype/skype_link.h"

namespace {

struct QuietHost : tw::SkypeLinkHost
{
    void requestExit() override {}
};

struct DroppingSink : tw::RecordSink
{
    void StartRecordAdd(const tw::RecordInfo&, int) override {}
};

void checkCommands(const std::vector<std::string>& sent)
{
    for (const std::string& command : sent)
        tw::fuzz::check(command.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos,
                        "a command of more than one line");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace std::chrono_literals;
    tw::ManualEventLoop loop;
    tw::test::FakeSkypeTransport transport{loop};
    QuietHost host;
    tw::ScriptedPrompt prompt;
    tw::CSkypeLink link{loop, transport, host, prompt};
    tw::CallHandling handling{link, loop};
    DroppingSink sink;
    link.setRecordsFolder(tw::fuzz::scratchFolder() + "/records");
    handling.setRecordSink(&sink);
    handling.SetGreetingFile(tw::fuzz::scratchFolder() + "/no-greeting.wav");
    link.setCallHandler(&handling);
    transport.client.contacts = {{"caller1", "Caller One"}};
    if (!link.Create())
        return 0;
    loop.runPending();

    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (std::size_t start = 0; start <= text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string line(text.substr(start, end - start));
        if (line.empty())
            loop.advance(2500ms);
        else
            transport.pushText(line);
        loop.runPending();
        start = end + 1;
    }
    loop.advance(30s);
    handling.waitForRecordWork();
    loop.runPending();
    checkCommands(transport.sent());
    link.Shutdown();
    link.setCallHandler(nullptr);
    return 0;
}
