#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "records/record_info.h"

namespace tw {

/// State bits of a call. The values are fixed: records and call handling test them.
enum CallFlags : std::uint32_t {
    CF_ROUTING = 0x1,
    CF_RINGING = 0x2,
    CF_INPROGRESS = 0x4,
    CF_FOUND_AT_ATTACH = 0x8,
    CF_ONHOLD = 0x10,
    CF_FINISHED = 0x20,
    CF_VOICEMAIL = 0x100,
    CF_RECORDING = 0x200,
    CF_STOP_PENDING = 0x400,
    CF_BUSY_NOTICE = 0x2000,
    CF_RECORD_NOTICE = 0x4000,
    CF_NOTICE_DONE = 0x10000,
    CF_TRANSFER = 0x20000,
    CF_CAPTURING = 0x1000000,
};

/// No recording yet; the record types themselves (RECORD_VOICEMAIL, RECORD_CONVERSATION) are
/// the ones stored in the record description.
constexpr std::uint32_t RECORD_NONE = 0;

/// A call folded into another one by a conference.
struct CallParticipant
{
    std::string callId;
    std::uint32_t flags = 0;
    std::string partnerHandle;
};

/// One call Skype has told about. Owned by the link's call list; lives on the UI thread.
struct CSkypeCall
{
    static constexpr std::size_t kMaxParticipants = 32;

    std::uint32_t legIndex = 0; ///< transfer leg: 0 the caller, 1 the call to the target
    std::string transferTarget;
    std::string savedOutput; ///< OUTPUT as Skype last reported it (restored after a capture)
    std::string savedInput;
    std::string savedCaptureMic;
    bool answerTimer = false; ///< the waiting-period timer runs (its id is callNumber)
    std::vector<CallParticipant> participants; ///< at most kMaxParticipants entries
    std::uint32_t flags = 0;
    std::string annotation;
    std::string outputSegment;
    std::string micSegment;
    std::string outputFile;
    std::string micFile;
    std::uint32_t direction = 0; ///< 1 incoming, 2 outgoing, 0 unknown
    std::uint32_t network = 0;   ///< 2 telephone network, 1 peer-to-peer, 0 unknown
    std::uint32_t recordType = RECORD_NONE;
    std::uint32_t recordOrigin = 0;
    std::string callId;
    std::int32_t callNumber = 0;
    std::string confId;
    std::time_t recordEnd = 0;
    std::time_t recordStart = 0;
    std::uint32_t durationSec = 0;
    std::time_t timestamp = 0;
    std::string partnerHandle;
    std::string participantsText; ///< partner handles of conference participants, ", "-joined
    std::string partnerDispName;

    // Kept by the link for its own rules (not part of the record).
    /// Echoes of stop commands still to come: only the last one completes the stop.
    std::uint32_t stopEchoesDue = 0;
    /// DURATION when the voice mail began: its length limit counts from there.
    std::uint32_t voiceMailStartSec = 0;
    /// Whether Skype played the greeting into the voice mail, as its VAA_INPUT_STATUS told.
    enum class Greeting { Unknown, Playing, Unplayable } greeting = Greeting::Unknown;

    bool has(std::uint32_t bits) const { return (flags & bits) != 0; }
    bool hasAll(std::uint32_t bits) const { return (flags & bits) == bits; }
    void set(std::uint32_t bits) { flags |= bits; }
    void clear(std::uint32_t bits) { flags &= ~bits; }

    /// Appends an entry at the end of the participant table; false (nothing added) when the
    /// table already holds kMaxParticipants entries.
    bool addParticipant(std::string_view id, std::uint32_t participantFlags,
                        std::string_view handle);
    CallParticipant* findParticipant(std::string_view id);
    CallParticipant* findParticipantByHandle(std::string_view handle);
    /// Takes the first participant out of the table and makes its id the call's own (the
    /// record lives on under the next call of the conference). False when the table is empty.
    bool promoteFirstParticipant();
    bool removeParticipant(std::string_view id);

    /// Adds a handle to participantsText unless it is already one of its entries.
    void addParticipantText(std::string_view handle);
};

/// A call id as Skype writes it: canonical decimal digits whose value fits a signed 32-bit
/// number (it is also the call's timer id). Anything else is not a call this link tracks.
bool isValidCallId(std::string_view id);

} // namespace tw
