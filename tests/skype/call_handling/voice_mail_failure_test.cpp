// A voice mail that does not end in a normal hang-up: the user's status comes back.
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

} // namespace
} // namespace tw::test
