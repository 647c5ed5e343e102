// A voice mail that does not end in a normal hang-up: the user's status comes back, and a
// voice mail is never held.
#include "call_fixture.h"

namespace tw::test {
namespace {

using namespace std::chrono_literals;
using VoiceMailFailure = CallHandlingTest;

TEST_F(VoiceMailFailure, DndIsRestoredWhenTheVoiceMailEndsFailedMissedOrRefused)
{
    int id = 210;
    for (const char* status : {"FAILED", "MISSED", "REFUSED"}) {
        const std::string call = std::to_string(++id);
        ring(call, "caller1");
        const auto started = sentAfter([&] { loop.advance(10000ms); });
        ASSERT_NE(std::find(started.begin(), started.end(), "SET USERSTATUS DND"), started.end())
            << status;
        loop.runPending(); // Skype's replies: the echoes, USERSTATUS DND
        audio.hangUp(call);
        const auto ended = sentAfter([&] { push("CALL " + call + " STATUS " + status); });
        EXPECT_NE(std::find(ended.begin(), ended.end(), "SET USERSTATUS ONLINE"), ended.end())
            << status << ": the user must not stay in DND";
        settle();
    }
}

TEST_F(VoiceMailFailure, VoiceMailHeldAfterTheUserTookAnotherCallIsHungUp)
{
    ring("201", "caller1");
    loop.advance(10000ms); // the voice mail runs
    ring("202", "caller2");
    // Skype reports the answered call before it holds the voice mail.
    push("CALL 202 STATUS INPROGRESS");
    const auto held = sentAfter([&] { push("CALL 201 STATUS LOCALHOLD"); });
    EXPECT_NE(std::find(held.begin(), held.end(), "SET CALL 201 STATUS FINISHED"), held.end());
}

} // namespace
} // namespace tw::test
