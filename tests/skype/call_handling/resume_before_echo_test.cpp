// Skype answers in its own time: a resume may arrive before the echo that completes the
// stop of the held part. The record must still hold every part's audio.
#include "call_fixture.h"

namespace tw::test {
namespace {

using namespace std::chrono_literals;
using ResumeBeforeEcho = CallHandlingTest;

TEST_F(ResumeBeforeEcho, RecordHoldsEverySegmentsAudio)
{
    // Skype keeps the echo of the microphone's restore to itself until after the resume.
    bool holdEchoes = false;
    transport.setReplyHook([&](const std::string& command) {
        audio.observe(command);
        if (holdEchoes && command.find("SET_CAPTURE_MIC") != std::string::npos &&
            command.find("FILE=") == std::string::npos)
            return std::optional<std::vector<std::string>>(std::vector<std::string>{});
        return std::optional<std::vector<std::string>>();
    });
    ring("300", "caller1");
    push("CALL 300 STATUS INPROGRESS");
    const auto first = ramp(16000, 100), second = ramp(12000, -7000);
    audio.speak("300", first, first);
    loop.advance(2000ms);
    holdEchoes = true;
    push("CALL 300 STATUS LOCALHOLD");
    loop.advance(1000ms);
    push("CALL 300 STATUS INPROGRESS");
    holdEchoes = false;
    audio.speak("300", second, second);
    loop.advance(2000ms);
    finish("300");
    settle();

    ASSERT_EQ(sink.records.size(), 1u);
    const auto out = readWav(sink.records[0].path);
    const auto both = concat(first, second);
    EXPECT_EQ(out.samples, interleave(both, both)) << "both parts, in order";
}

} // namespace
} // namespace tw::test
