#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/event_loop.h"
#include "platform/prompt.h"
#include "skype/basic_call_tracking.h"
#include "skype/call_events.h"
#include "skype/skype_call.h"
#include "skype/skype_commands.h"
#include "skype/skype_link_host.h"
#include "skype/skype_settings.h"
#include "skype/skype_transport.h"
#include "skype/skype_user.h"

namespace tw {

struct SkypeNotification;

/// The link to the Skype client: attach and keep-alive over a SkypeTransport, the model of
/// calls and contacts built from Skype's texts, and the commands sent to it.
///
/// Threads: everything, the public functions included, runs on the UI thread (the thread of
/// the EventLoop). Workers post to the loop to reach the link.
///
/// Timers: the link's own timers 1002 (attach retry) and 1005 (keep-alive) belong to the link
/// as TimerClient; the answer timers of calls (id = the call's callNumber) belong to a second
/// TimerClient object, so a call numbered 1002 or 1005 can never be mistaken for them.
///
/// Wiring: construct with the loop, the transport, the host and the prompt (all outlive the
/// link), setCallHandler() if call handling is wanted, push the settings, then Create().
/// Shutdown() before destruction.
class CSkypeLink : private SkypeTransport::Listener, private TimerClient
{
public:
    static constexpr int TIMER_ID_ATTACH_RETRY = 1002;
    static constexpr int TIMER_ID_PING = 1005;
    /// Checks, while the program exits, whether Skype has acknowledged every stop.
    static constexpr int TIMER_ID_EXIT_WAIT = 1006;
    static constexpr auto kExitWaitTick = std::chrono::milliseconds(50);
    static constexpr auto kAttachRetryPeriod = std::chrono::milliseconds(10000);
    static constexpr auto kPingPeriod = std::chrono::milliseconds(5000);
    /// A received text longer than this many UTF-16 units is dropped.
    static constexpr std::size_t kMaxTextUnits = 1024;
    /// The contact list ("USERS a, b, ...") is one text however many contacts there are: it
    /// may be this long (a full list of kMaxUsers long handles fits), a bound against a
    /// hostile peer only.
    static constexpr std::size_t kMaxUsersListUnits = 4u << 20;
    /// The name the link gives in the attach handshake.
    static constexpr const char* kClientName = "Tellwick";
    /// Bounds on what a peer can make the link hold (real clients stay far below).
    static constexpr std::size_t kMaxCalls = 256;
    static constexpr std::size_t kMaxUsers = 100000;

    CSkypeLink(EventLoop& loop, SkypeTransport& transport, SkypeLinkHost& host, Prompt& prompt);
    ~CSkypeLink() override;
    CSkypeLink(const CSkypeLink&) = delete;
    CSkypeLink& operator=(const CSkypeLink&) = delete;

    /// Null restores BasicCallTracking. The handler must outlive the link or be reset first.
    void setCallHandler(CallHandler* handler);
    CallHandler& callHandler() { return *m_handler; }

    // ---- connection (skype_link.cpp) ----

    /// Starts the client, posts the first discover and starts the attach retry timer.
    bool Create();
    /// The first step of an orderly exit: call handling ends what it started in Skype (stops
    /// voice mails and recordings, gives back redirections and the user's status); done runs
    /// once Skype has acknowledged every stop, or after bound, whichever comes first. Then
    /// call Shutdown().
    void PrepareShutdown(std::function<void()> done, std::chrono::milliseconds bound);
    /// Stops the timers, forgets the client and tells call handling, which finishes every
    /// record still open; sends nothing.
    void Shutdown();
    /// Sends one command; false (nothing sent) when not attached, when the transport refuses
    /// it (the link is then not attached) or when the text is not a single line.
    bool SendText(std::string_view text);
    /// Fills the %s places of format with a, b, c (see formatCommand for what each place
    /// accepts) and sends it. A value that does not fit its place is refused: nothing is sent.
    bool SendFormat(std::string_view format, std::string_view a = {}, std::string_view b = {},
                    std::string_view c = {});

    bool isAttached() const { return m_attached; }
    int protocolVersion() const { return m_protocolVersion; }
    bool pingOutstanding() const { return m_pingOutstanding; }
    /// The timer clients: the link's own (1002, 1005) and the one of the calls' answer timers.
    TimerClient* linkTimers() { return this; }
    TimerClient* callTimers() { return &m_callTimers; }

    // ---- notifications (skype_dispatch.cpp) ----

    /// Parses one text from Skype and updates the model; true when a handler took it.
    bool OnNotification(std::string_view text);

    // ---- the model (skype_model.cpp) ----

    /// The first call whose id is callId or whose participant table holds callId.
    CSkypeCall* FindCall(std::string_view callId);
    /// FindCall, else a new call appended to the list. Null when callId is not a valid call
    /// id or the list is full.
    CSkypeCall* FindOrAddCall(std::string_view callId);
    /// Ends a call's life in the list; a conference host lives on under its first participant.
    void RemoveCall(std::string_view callId);
    /// A contact's name and status; an unknown handle is added and asked about. False for an
    /// empty handle (or one that cannot be a handle).
    bool LookupUser(std::string_view handle, std::string* fullName, std::uint32_t* status);
    bool AnyCallInProgress() const;
    /// False when there is no current call or it is on hold; else state 2 while capturing, 1.
    bool GetActiveCallState(int& state, CSkypeCall** call) const;

    const std::list<CSkypeCall>& calls() const { return m_calls; }
    std::list<CSkypeCall>& calls() { return m_calls; }
    const std::deque<CSkypeUser>& users() const { return m_users; }
    const CSkypeUser* findUser(std::string_view handle) const;

    /// Gives the user's own status back after the link set DND, and follows Skype's USERSTATUS
    /// again. Not attached: it is sent first thing at the next attach.
    void RestoreUserStatus();

    /// Tells the host that a call's recording or hold state changed (side panel refresh).
    void notifyCallStateChanged() { m_host.callStateChanged(); }

    CSkypeCall* currentCall() const { return m_currentCall; }
    void setCurrentCall(CSkypeCall* call) { m_currentCall = call; }

    /// Starts (restarts) the call's answer timer; CallHandler::onAnswerTimer gets its ticks.
    void startAnswerTimer(CSkypeCall& call, std::chrono::milliseconds period);
    void stopAnswerTimer(CSkypeCall& call);

    // Facts about Skype and the local user.
    const std::string& skypeVersion() const { return m_skypeVersion; }
    const std::string& userStatus() const { return m_userStatus; }
    bool userStatusTracking() const { return m_userStatusTracking; }
    void setUserStatusTracking(bool on) { m_userStatusTracking = on; }
    bool userOnline() const { return m_userOnline; }
    const std::string& currentUserHandle() const { return m_currentUserHandle; }
    const std::string& currentUserFullName() const { return m_currentUserFullName; }
    const std::string& audioIn() const { return m_audioIn; }
    const std::string& audioOut() const { return m_audioOut; }
    bool autoAway() const { return m_autoAway; }
    bool connectionOnline() const { return m_connectionOnline; }

    /// A call transfer is under way (set and cleared by call handling).
    bool transferActive() const { return m_transferActive; }
    void setTransferActive(bool on) { m_transferActive = on; }

    // ---- commands (skype_commands.cpp) ----

    /// Runs command code 1 to 15 (see skype_commands.h); other codes do nothing and give 0.
    std::uint32_t Dispatch(int code);
    std::uint32_t Dispatch(int code, CSkypeCall& call);
    std::uint32_t Dispatch(int code, std::string_view text);

    std::uint32_t StartVoiceMail(CSkypeCall& call, bool answered);
    std::uint32_t StopVoiceMail(CSkypeCall& call);
    std::uint32_t StartRecording(CSkypeCall& call);
    std::uint32_t StopRecording(CSkypeCall& call, bool pause);
    void Mute(CSkypeCall& call, bool on);
    /// Sends a stop's device restores again, for a stop whose echo the connection lost.
    void ResendStop(CSkypeCall& call);
    void HangUp(CSkypeCall& call);
    /// Asks for the recording notice chat (code 14) for the call and, with all, each of its
    /// participants that has not had it yet.
    void RequestRecordNotices(CSkypeCall& call, bool all);
    /// Sends a chat message: "CHATMESSAGE " + chat + " " + message.
    bool SendChatMessage(std::string_view chatName, std::string_view message);

    // ---- settings pushed by the main frame ----

    const SkypeLinkSettings& settings() const { return m_settings; }
    void setWaitingPeriod(int seconds) { m_settings.waitingPeriodSec = seconds; }
    void setMaxLength(int seconds) { m_settings.maxLengthSec = seconds; }
    void setVoiceMailEnable(bool on) { m_settings.voiceMailEnable = on; }
    void setConversationRecord(bool record, bool warn);
    void setCallTransfer(bool enable, std::string skypeName);
    void setCallTransferEnable(bool enable) { m_settings.transferEnable = enable; }
    void setCallOutEnable(bool on) { m_settings.callOutEnable = on; }
    void setFormatMode(int mode) { m_settings.formatMode = mode; }
    void setMuteCaller(bool on) { m_settings.muteCaller = on; }
    /// The greeting as call handling prepared it (its SetGreetingFile checks the file and
    /// reads its length).
    void setGreeting(std::string path, int lengthHundredths);
    void setRecordsFolder(std::string folder) { m_settings.recordsFolder = std::move(folder); }

private:
    class CallTimers : public TimerClient
    {
    public:
        explicit CallTimers(CSkypeLink& link) : m_link(link) {}
        void onTimer(int id) override;

    private:
        CSkypeLink& m_link;
    };

    // SkypeTransport::Listener
    void onSkypeText(const std::string& utf8) override;
    void onSkypeReply(const std::string& command, const std::string& reply) override;
    void onAttachStatus(int status) override;
    void onSendFailed(const std::string& command) override;
    void onClientGone() override;
    // TimerClient (1002, 1005)
    void onTimer(int id) override;

    void postDiscover();
    void discoverNow();
    void keepAliveTick();
    void checkExitReady();
    void onCallTimer(int id);
    void markNotAttached();
    /// The text as the parser gets it (cut at its first zero byte, UTF-8 made valid), or
    /// empty when it is longer than the rule allows; storage holds a rewritten text.
    std::string_view normaliseText(std::string_view text, std::string& storage) const;
    void parseReceived(std::string_view text);
    /// True when text is a reply whose state a notification received after its command was
    /// sent (the notification's sequence is above sentAt) has made old.
    bool replyIsStale(std::string_view text, std::uint64_t sentAt);
    /// Ends, as if Skype had reported them FINISHED, the calls known before the last attach
    /// that listed is not naming (all of them when listed is null).
    void endCallsNotListed(const std::vector<std::string>* listed);

    // Notification handlers (skype_dispatch.cpp).
    void handleCall(const SkypeNotification& n);
    void handleCallStatus(std::string_view id, std::string_view value);
    void handleUser(const SkypeNotification& n);
    void handleConnStatus(std::string_view value);
    void handleUserStatus(std::string_view value);
    void handleUsersList(std::string_view list);
    void handleCallsList(std::string_view list);
    void handleChat(const SkypeNotification& n);
    void handleAlter(const SkypeNotification& n);
    void handleProtocol(std::string_view value);
    CSkypeUser* addUser(std::string_view handle);
    CSkypeUser* findUserMutable(std::string_view handle);

    // Command helpers (skype_commands.cpp).
    void traceLabel(int code) const;
    std::uint32_t callSomebody(std::string_view nameOrNumber);
    std::uint32_t recordNotice(std::string_view callId);
    void sendCallInfoQueries(std::string_view callId);
    bool restoreDevice(const CSkypeCall& call, std::string_view property, const std::string& value);
    void chatNotice(std::string_view chatName);
    bool captureToFile(CSkypeCall& call, std::string_view path, bool keepSpeakers);

    EventLoop& m_loop;
    SkypeTransport& m_transport;
    SkypeLinkHost& m_host;
    Prompt& m_prompt;
    CallTimers m_callTimers{*this};
    BasicCallTracking m_basicTracking{*this};
    CallHandler* m_handler = &m_basicTracking;

    // Connection state.
    bool m_attached = false;
    bool m_created = false;
    bool m_shutDown = false;
    bool m_attachRetryRunning = false;
    bool m_pingOutstanding = false;
    bool m_pongReceived = false;
    int m_protocolVersion = -1;
    std::string m_outText; ///< reused for every formatted command

    // Ordering of replies against notifications (see SkypeTransport).
    std::uint64_t m_noteSeq = 0; ///< notifications received so far
    struct Awaited
    {
        std::string command;
        std::uint64_t sentAt; ///< m_noteSeq when it was sent
    };
    std::deque<Awaited> m_awaited; ///< commands whose reply is due, oldest first
    std::unordered_map<std::string, std::uint64_t> m_statusNoteSeq; ///< by call id
    std::uint64_t m_userStatusNoteSeq = 0;
    /// The calls known when the client last attached; its SEARCH ACTIVECALLS reply ends those
    /// it no longer lists.
    std::vector<std::string> m_callsAtAttach;
    bool m_callSweepDue = false;
    bool m_statusRestoreDue = false;
    std::function<void()> m_exitDone;
    std::chrono::milliseconds m_exitDeadline{0};

    // Model.
    std::list<CSkypeCall> m_calls;
    std::deque<CSkypeUser> m_users;
    struct TextHash
    {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const
        {
            return std::hash<std::string_view>{}(text);
        }
    };
    std::unordered_map<std::string, std::size_t, TextHash, std::equal_to<>> m_userIndex;
    CSkypeCall* m_currentCall = nullptr;
    std::string m_skypeVersion;
    std::string m_userStatus;
    bool m_userStatusTracking = true;
    bool m_userOnline = false;
    std::string m_currentUserHandle;
    std::string m_currentUserFullName;
    std::string m_audioIn;
    std::string m_audioOut;
    bool m_autoAway = false;
    bool m_connectionOnline = false;
    bool m_transferActive = false;

    SkypeLinkSettings m_settings;
};

} // namespace tw
