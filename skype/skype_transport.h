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
class SkypeTransport
{
public:
    class Listener
    {
    public:
        virtual ~Listener() = default;
        /// A notification from the attached client, or the reply to a command sent with
        /// send(): both go through the same parser.
        virtual void onSkypeText(const std::string& utf8) = 0;
        /// The outcome of discover(), or kAttachApiAvailable when a client appears.
        virtual void onAttachStatus(int status) = 0;
        /// A command could not be delivered (bus error, or no reply within 10 s).
        virtual void onSendFailed(const std::string& command) = 0;
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
