#pragma once

#include <string>

namespace tw {

/// Attach results, as the link has always numbered them.
enum SkypeAttachStatus : int {
    kAttachSuccess = 0,
    kAttachPendingAuthorization = 1,
    kAttachRefused = 2,
    kAttachNotAvailable = 3,
    kAttachApiAvailable = 0x8001,
};

/// The wire to the Skype client. The core's CSkypeLink talks only to this; the Qt D-Bus
/// adapter in platform/qt implements it for the real session bus, tests use an in-memory
/// one on the virtual clock. Every call is made on the UI thread and every Listener callback
/// arrives on the UI thread; nothing here blocks.
///
/// Ordering, which every implementation keeps:
/// - Notifications are handed on in the order the client sent them, as soon as they arrive.
/// - Replies are handed on in the order the commands were sent, each after the replies of
///   all earlier commands. A reply can therefore come after notifications the client sent
///   later than the reply: a reply is a snapshot of the moment the client ran the command,
///   and the listener must not let it undo a newer notification.
/// - After onSendFailed or onClientGone no reply to a command sent before it arrives; a new
///   attach (onAttachStatus success) to the same client keeps the replies still due.
class SkypeTransport
{
public:
    class Listener
    {
    public:
        virtual ~Listener() = default;
        /// A notification from the attached client.
        virtual void onSkypeText(const std::string& utf8) = 0;
        /// The reply to command, a command sent with send().
        virtual void onSkypeReply(const std::string& command, const std::string& reply)
        {
            (void)command;
            onSkypeText(reply);
        }
        /// The outcome of discover(), or kAttachApiAvailable when a client appears.
        virtual void onAttachStatus(int status) = 0;
        /// A command could not be delivered (bus error, or no reply within 10 s).
        virtual void onSendFailed(const std::string& command) = 0;
        /// The attached client left (it quit or crashed): its calls have ended with it.
        virtual void onClientGone() {}
    };

    virtual ~SkypeTransport() = default;

    virtual void setListener(Listener* listener) = 0;
    /// Asks the system to start the client (D-Bus activation); the result is ignored.
    virtual void startSkype() = 0;
    /// Starts the "NAME <clientName>" handshake; the answer comes to onAttachStatus.
    virtual void discover(const std::string& clientName) = 0;
    /// Sends one command to the attached client. False when there is no attached client or
    /// the command could not be queued; true means sent, the reply comes later.
    virtual bool send(const std::string& utf8) = 0;
    /// Forgets the attached client; no callback arrives after this returns.
    virtual void detach() = 0;
};

} // namespace tw
