#pragma once

#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace tw {

class CRecordStorage;
class Prompt;
class PartnerDirectory;

/// What the record browser's panels share: the records shown (the live storage, or the
/// archive being viewed), where questions go, and the Skype side. Owned by the view; the
/// storages, prompt and directory outlive it. UI thread only.
struct BrowserContext
{
    CRecordStorage* storage = nullptr;
    Prompt* prompt = nullptr;
    PartnerDirectory* directory = nullptr;
    /// The annotation dialog: the new text, or nothing when cancelled. Tests replace it.
    std::function<std::optional<std::string>(QWidget* parent, const std::string& current)>
        editAnnotation;
};

/// The annotation dialog of the real windows (a one-line text box of at most 63 characters).
std::optional<std::string> AskAnnotation(QWidget* parent, const std::string& current);

} // namespace tw
