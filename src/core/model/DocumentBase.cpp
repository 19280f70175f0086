#include "core/model/DocumentBase.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "core/host/Host.h"
#include "core/host/SafeFile.h"

namespace qx {

namespace {

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void ShowFileError(const std::string& text) {
    CurrentHost().MessageBox(text, kAppTitle, MsgButtons::Ok, MsgIcon::Error);
}

}  // namespace

void DocumentBase::AddObserver(DocumentObserver* observer) {
    if (observer != nullptr &&
        std::find(observers_.begin(), observers_.end(), observer) == observers_.end()) {
        observers_.push_back(observer);
    }
}

void DocumentBase::RemoveObserver(DocumentObserver* observer) {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void DocumentBase::UpdateAllViews(DocumentObserver* sender, int hint, ModuleMap* hintMap) {
    // A copy: an observer may remove itself while being told.
    const std::vector<DocumentObserver*> observers = observers_;
    for (DocumentObserver* o : observers) {
        if (o == sender) continue;
        if (std::find(observers_.begin(), observers_.end(), o) == observers_.end()) continue;
        o->OnUpdate(*this, hint, hintMap);
    }
}

std::string DocumentBase::GetTitle() const {
    if (pathName_.empty()) return "Untitled";
    return BaseName(pathName_);
}

DocStatus DocumentBase::OnNewDocument() {
    if (!CanReplaceContents()) return DocStatus::Busy;
    pathName_.clear();
    modified_ = false;
    return DocStatus::Done;
}

DocStatus DocumentBase::OnOpenDocument(const std::string& path) {
    if (!CanReplaceContents()) return DocStatus::Busy;
    std::vector<uint8_t> bytes;
    std::string why;
    if (!ReadFileLimited(path, MaxFileSize(), bytes, why)) {
        ShowFileError("Unable to open \"" + path + "\":\n" + why + ".");
        return DocStatus::Failed;
    }
    return OpenContents(path, bytes);
}

DocStatus DocumentBase::OpenContents(const std::string& path, const std::vector<uint8_t>& bytes) {
    if (!CanReplaceContents()) return DocStatus::Busy;
    const std::string why = CheckContents(bytes);
    if (!why.empty()) {
        ShowFileError("\"" + path + "\" is not a usable settings file:\n" + why + ".");
        return DocStatus::Failed;
    }
    LoadContents(bytes);
    pathName_ = path;
    modified_ = false;
    return DocStatus::Done;
}

DocStatus DocumentBase::OnSaveDocument(const std::string& path) {
    std::string why;
    const std::vector<uint8_t> bytes = StoreContents();
    if (!WriteFileSafely(path, bytes.data(), bytes.size(), why)) {
        ShowFileError("Unable to save \"" + path + "\":\n" + why +
                      ".\nThe previous file has not been changed.");
        return DocStatus::Failed;
    }
    pathName_ = path;
    modified_ = false;
    return DocStatus::Done;
}

}  // namespace qx
