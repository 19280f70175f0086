#pragma once
// A small document base: modified flag, path name, title, observing views, and
// opening and saving a file as a whole. Errors reach the user through the
// host's message box, naming the file and what is wrong.
//
// Ownership: observers are not owned and must remove themselves before they die.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qx {

class ModuleMap;
class DocumentBase;

class DocumentObserver {
  public:
    virtual ~DocumentObserver() = default;
    // hint 0 and the map to show (may be null) for every update of this system.
    virtual void OnUpdate(DocumentBase& document, int hint, ModuleMap* hintMap) = 0;
};

enum class DocStatus {
    Done,    // the operation succeeded
    Failed,  // it failed; the user has been told and the document is unchanged
    Busy,    // refused because a module exchange runs; nothing changed, nothing shown
};

class DocumentBase {
  public:
    DocumentBase() = default;
    virtual ~DocumentBase() = default;
    DocumentBase(const DocumentBase&) = delete;
    DocumentBase& operator=(const DocumentBase&) = delete;

    void AddObserver(DocumentObserver* observer);
    void RemoveObserver(DocumentObserver* observer);
    // Notifies every observer except sender.
    void UpdateAllViews(DocumentObserver* sender, int hint = 0, ModuleMap* hintMap = nullptr);

    bool IsModified() const { return modified_; }
    void SetModifiedFlag(bool modified = true) { modified_ = modified; }
    // Empty for a new document.
    const std::string& GetPathName() const { return pathName_; }
    void SetPathName(std::string path) { pathName_ = std::move(path); }
    // The file name without its folder, or "Untitled".
    std::string GetTitle() const;

    // Each refuses with Busy (changing nothing) while the document cannot be
    // replaced now. A new document clears path and modified flag.
    virtual DocStatus OnNewDocument();
    // Reads and checks the whole file before anything changes.
    virtual DocStatus OnOpenDocument(const std::string& path);
    // The same for a file already read (a pipe can be read only once).
    DocStatus OpenContents(const std::string& path, const std::vector<uint8_t>& bytes);
    // Writes a temporary file beside path, flushes it and renames it over path;
    // a failure leaves the old file intact.
    virtual DocStatus OnSaveDocument(const std::string& path);

    // True when New/Open may replace the contents now.
    virtual bool CanReplaceContents() const { return true; }

  protected:
    // The file image of the document.
    virtual std::vector<uint8_t> StoreContents() const = 0;
    // Empty when bytes is a document this loader accepts, else what is wrong.
    virtual std::string CheckContents(const std::vector<uint8_t>& bytes) const = 0;
    // Replaces the contents with checked bytes.
    virtual void LoadContents(const std::vector<uint8_t>& bytes) = 0;
    // The largest file worth reading; longer ones are refused unread.
    virtual std::size_t MaxFileSize() const = 0;

  private:
    std::vector<DocumentObserver*> observers_;
    std::string pathName_;
    bool modified_ = false;
};

}  // namespace qx
