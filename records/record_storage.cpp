#include "records/record_storage.h"

#include <ctime>
#include <limits>

#include "platform/file_util.h"
#include "platform/prompt.h"
#include "records/finish_leftovers.h"

namespace tw {
namespace {

constexpr std::uint64_t kMiB = 1048576;
constexpr std::uint32_t kRecyclePass = 3600; // one hour of records per pass

const char* const kSelectFolder = "Select a folder";
const char* const kAlreadyOpen = "The archieved records have already been opened.";
const char* const kReplaceFile =
    "The specified file already exists. Do you want to replace the existing file?";
const char* const kExportTitle = "Save Record As";

std::string withoutTrailingSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

} // namespace

CRecordStorage::CRecordStorage(Prompt* prompt, std::shared_ptr<FreeSpaceSource> freeSpace,
                               CRecordIndex::Clock clock)
    : m_prompt(prompt),
      m_freeSpace(freeSpace ? std::move(freeSpace) : std::make_shared<StatvfsFreeSpace>()),
      m_clock(clock), m_index(std::move(clock))
{}

CRecordStorage::~CRecordStorage()
{
    m_index.Save();
}

std::time_t CRecordStorage::now() const
{
    return m_clock ? m_clock() : std::time(nullptr);
}

std::string CRecordStorage::GetFolder() const
{
    std::lock_guard lock(m_mutex);
    return m_folder;
}

bool CRecordStorage::SetMinFreeSpace(std::uint64_t mib)
{
    m_minFreeMiB = mib;
    if (GetFolder().empty())
        return true;
    return MeasureFreeSpace();
}

bool CRecordStorage::MeasureFreeSpace()
{
    if (const auto bytes = m_freeSpace->freeBytes(GetFolder()))
        m_lastFreeMiB = *bytes / kMiB;
    return m_lastFreeMiB > m_minFreeMiB;
}

bool CRecordStorage::EnsureFreeSpace()
{
    if (m_lastFreeMiB > m_minFreeMiB)
        return true;
    if (!m_recycle)
        return false;
    while (!MeasureFreeSpace()) {
        const std::size_t before = m_index.GetRecordCount();
        const std::uint32_t earliest = m_index.GetEarliestStart();
        if (before == 0 || earliest == 0 || !m_index.DeleteOlderThan(earliest + kRecyclePass))
            break;
        // Every pass must delete something; one that cannot would measure for ever.
        if (m_index.GetRecordCount() >= before)
            break;
    }
    m_index.Save();
    return MeasureFreeSpace();
}

std::string CRecordStorage::GetTodayFolder()
{
    std::lock_guard lock(m_mutex);
    if (m_folder.empty())
        return m_folder;
    const std::string candidate = JoinPath(m_folder, RecordDateFolderName(now()));
    if (candidate == m_todayFolder)
        return m_todayFolder;
    if (!EnsureFolderPath(candidate))
        return m_folder;
    m_todayFolder = candidate;
    return m_todayFolder;
}

bool CRecordStorage::OpenStorageFolder(std::optional<std::string> folder, const RecordLists* lists)
{
    if (!folder) {
        folder = m_prompt ? m_prompt->chooseFolder(kSelectFolder, false) : std::nullopt;
        if (!folder)
            return false;
    }
    const std::string chosen = withoutTrailingSlash(*folder);
    // Linux folders differ by case, so the comparison is exact.
    if (!chosen.empty() && chosen == GetFolder()) {
        if (m_prompt)
            m_prompt->message(kAlreadyOpen, Prompt::Icon::Information, Prompt::Buttons::Ok);
        return true;
    }
    m_index.Save();
    if (chosen.empty() || !EnsureFolderPath(chosen))
        return false;
    // The first folder a live storage opens is opened at start-up, before any record is
    // finished: whatever a finishing step left there was left by a program that was killed.
    // Later a step may be running, so only old leftovers go.
    if (!m_index.IsArchiveView())
        RemoveFinishLeftovers(chosen, m_openedOnce ? std::time(nullptr) - kFinishLeftoverAge
                                                   : std::numeric_limits<std::time_t>::max());
    if (!m_index.OpenFolder(chosen))
        return false;
    m_openedOnce = true;
    {
        std::lock_guard lock(m_mutex);
        m_folder = chosen;
        m_todayFolder.clear();
    }
    if (lists)
        FillLists(*lists, {});
    return true;
}

bool CRecordStorage::ArchiveTo(std::optional<std::string> folder)
{
    if (!folder) {
        folder = m_prompt ? m_prompt->chooseFolder(kSelectFolder, true) : std::nullopt;
        if (!folder)
            return false;
    }
    const std::string target = withoutTrailingSlash(*folder);
    return EnsureFolderPath(target) && m_index.SaveArchive(target);
}

bool CRecordStorage::ExportRecord(std::uint32_t startTime)
{
    const auto record = m_index.FindRecord(startTime);
    if (!record || !m_prompt)
        return false;
    const std::string source = record->Path();
    const std::string filter =
        std::string(IsRecordMp3(source) ? "Sounds (*.mp3)" : "Sounds (*.wav)") + ";;All (*.*)";
    const auto target = m_prompt->chooseFile(kExportTitle, filter, true);
    if (!target)
        return false;
    if (FileExists(*target) && m_prompt->message(kReplaceFile, Prompt::Icon::Question,
                                                 Prompt::Buttons::YesNo) != Prompt::Answer::Yes)
        return false;
    return CopyRecordFile(source, *target);
}

void CRecordStorage::RefreshLists(const RecordLists* lists)
{
    if (!lists)
        return;
    // ReloadIndex saves what changed since the last save before it reads the file again; if
    // that save fails, the index in memory stays as it is.
    m_index.ReloadIndex();
    FillLists(*lists, {});
}

RecordListCounts CRecordStorage::FillLists(const RecordLists& lists, std::string_view searchText)
{
    std::vector<std::uint32_t> voiceMails, conversations, all;
    if (lists.any()) {
        m_index.EnumerateRecords(kAllRecordTypes, searchText, [&](const RecordInfo& r) {
            if (lists.all)
                all.push_back(r.startTime);
            if (lists.voiceMails && r.type == RECORD_VOICEMAIL)
                voiceMails.push_back(r.startTime);
            if (lists.conversations && r.type == RECORD_CONVERSATION)
                conversations.push_back(r.startTime);
        });
    }
    const RecordListCounts counts{voiceMails.size(), conversations.size(), all.size()};
    if (lists.voiceMails)
        lists.voiceMails->setRecords(std::move(voiceMails));
    if (lists.conversations)
        lists.conversations->setRecords(std::move(conversations));
    if (lists.all)
        lists.all->setRecords(std::move(all));
    return counts;
}

void CRecordStorage::RebuildLists(const RecordLists* lists)
{
    m_index.Rebuild();
    if (lists)
        FillLists(*lists, {});
    m_index.Save();
}

} // namespace tw
