#pragma once

#include "skype/call_events.h"

namespace tw {

/// The call handler the link uses when none is set: it only follows each call's state
/// (in progress, held, ended and removed) so the model stays true without any voice mail,
/// recording or transfer.
class BasicCallTracking : public CallHandler
{
public:
    explicit BasicCallTracking(CSkypeLink& link) : m_link(link) {}

    void onCallStatus(CSkypeCall& call, CallStatus status, const std::string& notifiedId) override;

private:
    CSkypeLink& m_link;
};

} // namespace tw
