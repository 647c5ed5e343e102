#pragma once

#include <cstdint>
#include <string>

namespace tw {

/// What the record windows ask of the Skype link about a record's partner. The application
/// implements it on the link; without one the lists show the stored names and call back and
/// chat do nothing. UI thread only.
class PartnerDirectory
{
public:
    virtual ~PartnerDirectory() = default;
    /// The contact's full name and status code (0 offline … 6 Skype Me); false when the
    /// handle is not usable. An unknown contact is asked about and answers later.
    virtual bool lookupUser(const std::string& skypeName, std::string* fullName,
                            std::uint32_t* status) = 0;
    /// Calls the partner back (the link asks first when a voice mail is being taken).
    virtual void call(const std::string& skypeName) = 0;
    /// Opens a chat window with the partner.
    virtual void chat(const std::string& skypeName) = 0;
    /// F12: starts or stops recording the current call; nothing without one.
    virtual void toggleRecording() {}
};

} // namespace tw
