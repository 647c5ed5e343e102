#include "mainframe/settings.h"

#include <array>
#include <variant>

#include "mainframe/settings_keys.h"
#include "platform/file_util.h"
#include "platform/find_program.h"
#include "platform/utf.h"

namespace tw {
namespace {

struct StringField
{
    std::string CSettings::*member;
    std::size_t maxUnits;
};
using Member = std::variant<int CSettings::*, bool CSettings::*, StringField>;

struct Field
{
    const char* section;
    const char* key;
    Member member;
};

constexpr std::size_t kLong = CSettings::kLongStringUnits;
constexpr std::size_t kShort = CSettings::kShortStringUnits;

// Every key of the configuration file, in the order it is read and written.
const std::array<Field, 36> kFields{{
    {keys::kPreference, keys::kRecordStorageMinFreeSpace, &CSettings::nRecordStorageMinFreeSpace},
    {keys::kPreference, keys::kRecordStorageFolder,
     StringField{&CSettings::sRecordStorageFolder, kLong}},
    {keys::kPreference, keys::kRecordStorageRecycle, &CSettings::fRecordStorageRecycle},
    {keys::kPreference, keys::kVoiceMailEnable, &CSettings::fVoiceMailEnable},
    {keys::kPreference, keys::kVoiceMailWaitingPeriod, &CSettings::nVoiceMailWaitingPeriod},
    {keys::kPreference, keys::kVoiceMailMaxLength, &CSettings::nVoiceMailMaxLength},
    {keys::kPreference, keys::kVoiceMailEmail, &CSettings::fVoiceMailEmail},
    {keys::kPreference, keys::kGreetingType, &CSettings::nGreetingType},
    {keys::kPreference, keys::kDefaultGreetingIndex, &CSettings::nDefaultGreetingIndex},
    {keys::kPreference, keys::kMuteCaller, &CSettings::fMuteCaller},
    {keys::kNotification, keys::kEmailSize, &CSettings::EmailSize},
    {keys::kNotification, keys::kEmailServer, StringField{&CSettings::EmailServer, kShort}},
    {keys::kNotification, keys::kEmailUserName, StringField{&CSettings::EmailUserName, kShort}},
    {keys::kNotification, keys::kEmailPW, StringField{&CSettings::EmailPW, kShort}},
    {keys::kNotification, keys::kEmailFrom, StringField{&CSettings::EmailFrom, kShort}},
    {keys::kNotification, keys::kEmailToCount, &CSettings::EmailToCount},
    {keys::kNotification, keys::kEmailTo, StringField{&CSettings::EmailTo, kShort}},
    {keys::kNotification, keys::kEmailSubject, StringField{&CSettings::EmailSubject, kShort}},
    {keys::kNotification, keys::kEmailPicNum, &CSettings::EmailPicNum},
    {keys::kNotification, keys::kEmailSecurity, StringField{&CSettings::EmailSecurity, kShort}},
    {keys::kNotification, keys::kEmailCAFile, StringField{&CSettings::EmailCAFile, kLong}},
    {keys::kPreference, keys::kConversationRecord, &CSettings::fConversationRecord},
    {keys::kPreference, keys::kRecordWarn, &CSettings::fRecordWarn},
    {keys::kPreference, keys::kACodec, &CSettings::nACodec},
    {keys::kPreference, keys::kACodecForEmail, &CSettings::nACodecForEmail},
    {keys::kPreference, keys::kAFormatMode, &CSettings::nAFormatMode},
    {keys::kPreference, keys::kStickWithSkype, &CSettings::fStickWithSkype},
    {keys::kPreference, keys::kAlwaysOnTop, &CSettings::fAlwaysOnTop},
    {keys::kPreference, keys::kStartUp, &CSettings::fStartUp},
    {keys::kPreference, keys::kDesktopNotify, &CSettings::fDesktopNotify},
    {keys::kCallTransfer, keys::kEnable, &CSettings::fCallTransferEnable},
    {keys::kCallTransfer, keys::kSkypeName, StringField{&CSettings::sSkypeName, kLong}},
    {keys::kCallOutSave, keys::kEnable, &CSettings::fCallOutEnable},
    {keys::kCallOutSave, keys::kPassword, StringField{&CSettings::sPassword, kLong}},
    {keys::kCallOutSave, keys::kSkypeNameFrom, StringField{&CSettings::sSkypeNameFrom, kLong}},
    {keys::kCallOutSave, keys::kSkypeNameTo, StringField{&CSettings::sSkypeNameTo, kLong}},
}};

template <class... F> struct Overloaded : F...
{
    using F::operator()...;
};
template <class... F> Overloaded(F...) -> Overloaded<F...>;

} // namespace

bool CSettings::lameAvailable(const std::string& programFolder)
{
    return !FindProgram("lame", programFolder).empty();
}

ProfileStore::LoadStatus CSettings::Load(const std::string& configPath,
                                         const std::string& dataFolder,
                                         const std::string& programFolder,
                                         GreetingLookup greetingLookup)
{
    // Start from the defaults of the class, whatever this object held before.
    SecretStore* secrets = m_secrets;
    *this = CSettings{};
    m_secrets = secrets;
    sRecordStorageFolder = JoinPath(dataFolder, "records");

    const ProfileStore store(configPath);
    for (const Field& field : kFields) {
        std::visit(Overloaded{
                       [&](int CSettings::*m) {
                           this->*m = store.getInt(field.section, field.key, this->*m);
                       },
                       [&](bool CSettings::*m) {
                           this->*m = store.getInt(field.section, field.key, this->*m) != 0;
                       },
                       [&](const StringField& s) {
                           if (auto value = store.get(field.section, field.key))
                               this->*s.member = cutToUtf16Units(*value, s.maxUnits);
                       },
                   },
                   field.member);
    }

    // Without an encoder, "LAME mp3" falls back to the built-in mp3 encoding.
    if ((nACodec == CodecLame || nACodecForEmail == CodecLame) && !lameAvailable(programFolder)) {
        if (nACodec == CodecLame)
            nACodec = CodecMp3;
        if (nACodecForEmail == CodecLame)
            nACodecForEmail = CodecMp3;
    }

    m_configPath = configPath;
    m_dataFolder = dataFolder;
    m_programFolder = programFolder;
    m_greetingLookup = std::move(greetingLookup);
    LookupDefaultGreeting();
    if (store.status() == ProfileStore::LoadStatus::Ok ||
        store.status() == ProfileStore::LoadStatus::Missing)
        loadPasswords();
    m_loaded = true;
    return store.status();
}

void CSettings::LookupDefaultGreeting()
{
    sDefaultGreetingName.clear();
    sDefaultGreetingFile.clear();
    if (m_greetingLookup &&
        !m_greetingLookup(nDefaultGreetingIndex, sDefaultGreetingName, sDefaultGreetingFile)) {
        sDefaultGreetingName.clear();
        sDefaultGreetingFile.clear();
    }
}

bool CSettings::Save(const std::string& path) const
{
    if (!m_loaded)
        return false;
    const std::string& target = path.empty() ? m_configPath : path;
    // Read the file afresh: the side panel and WritePreference write to it meanwhile.
    ProfileStore store(target);
    for (const Field& field : kFields) {
        std::visit(
            Overloaded{
                [&](int CSettings::*m) { store.setInt(field.section, field.key, this->*m); },
                [&](bool CSettings::*m) {
                    store.set(field.section, field.key, this->*m ? "1" : "0");
                },
                [&](const StringField& s) { store.set(field.section, field.key, this->*s.member); },
            },
            field.member);
    }
    savePasswords(store);
    return store.save();
}

bool CSettings::WritePreference(std::string_view key, std::string_view value) const
{
    return !m_configPath.empty() && writeProfileString(m_configPath, keys::kPreference, key, value);
}

PanelPosition loadPanelPosition(const std::string& configPath)
{
    const ProfileStore store(configPath);
    return {store.getInt(keys::kSPanel, keys::kLeft, -1),
            store.getInt(keys::kSPanel, keys::kTop, -1)};
}

bool savePanelPosition(const std::string& configPath, PanelPosition position)
{
    ProfileStore store(configPath);
    return store.setInt(keys::kSPanel, keys::kLeft, position.left) &&
           store.setInt(keys::kSPanel, keys::kTop, position.top) && store.save();
}

bool writeMainWndClassName(const std::string& configPath)
{
    return writeProfileString(configPath, keys::kPreference, keys::kMainWndClassName, "TTWK");
}

std::optional<std::string> readUrlOverride(const std::string& configPath)
{
    auto value = ProfileStore(configPath).get(keys::kUrl, keys::kReg);
    if (!value || value->empty())
        return std::nullopt;
    return value;
}

std::string readMp3Options(const std::string& configPath)
{
    return cutToUtf16Units(readProfileString(configPath, keys::kMp3, keys::kOptions, "-f --silent"),
                           CSettings::kLongStringUnits);
}

} // namespace tw
