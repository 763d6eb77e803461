#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/common/Errors.h"
#include "core/common/MemoryStream.h"

namespace vld {

// The one place that talks to the operating system about folders and files
// written below a destination. Everything is created relative to a handle on
// a folder that was checked to be a real folder, so a symbolic link planted in
// the tree is never followed.

// A symbolic link met where a folder of an extraction had to be.
class LinkRefusal : public FileError {
 public:
  LinkRefusal(std::filesystem::path link, const std::string& message) : FileError(message), link_(std::move(link)) {}
  const std::filesystem::path& Link() const { return link_; }

 private:
  std::filesystem::path link_;
};

// Identifies a file independently of its name (to recognise the bundle being read).
struct TFileId {
  std::filesystem::path path;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool valid = false;
};
TFileId FileIdOf(const std::filesystem::path& path);

// What stands at a name inside a folder.
struct TNameState {
  bool exists = false;
  bool link = false;      // a symbolic link (replaced on commit, never followed)
  bool sameFile = false;  // the file given to Inspect
};

class TSafeDir {
 public:
  // The chosen destination, created with its parents when missing. It is the
  // user's choice, so links on the way to it are accepted. An empty path is
  // the current folder. The folders made on the way are added to `created`
  // (outermost first).
  static std::shared_ptr<const TSafeDir> OpenRoot(const std::filesystem::path& root,
                                                  std::vector<std::filesystem::path>* created = nullptr);
  ~TSafeDir();
  TSafeDir(const TSafeDir&) = delete;
  TSafeDir& operator=(const TSafeDir&) = delete;

  // Opens the sub-folder `name` (one path part), creating it when missing.
  // Throws LinkRefusal when a symbolic link stands there and FileError when
  // anything else that is not a folder does. `created` tells whether it was made now.
  std::shared_ptr<const TSafeDir> Child(const std::string& name, bool* created = nullptr) const;

  // Removes the sub-folder `name` when it is empty (a folder a run made but
  // wrote nothing into); anything else is left alone.
  void RemoveChildIfEmpty(const std::string& name) const;

  // Removes the temporary files a killed run of this program left here.
  void RemoveStaleTemporaries() const;

  TNameState Inspect(const std::string& name, const TFileId& other) const;

  // True when the file system holding this folder finds a name in another case
  // (decided by creating and looking up a probe file).
  bool FoldsCase() const;

  const std::filesystem::path& Path() const { return path_; }

 private:
  friend class TSafeFile;
  TSafeDir(std::filesystem::path path, std::intptr_t handle) : path_(std::move(path)), handle_(handle) {}
  std::filesystem::path path_;
  std::intptr_t handle_;  // a folder descriptor; unused where the platform has none
};

// A file written under a temporary name in a TSafeDir and renamed over `name`
// on Commit() (a link at that name is replaced, not followed). Dropped
// without Commit(), the temporary file is removed.
class TSafeFile : public TByteSink {
 public:
  TSafeFile(std::shared_ptr<const TSafeDir> dir, std::string name);
  ~TSafeFile() override;
  TSafeFile(const TSafeFile&) = delete;
  TSafeFile& operator=(const TSafeFile&) = delete;

  void Write(const std::uint8_t* data, std::size_t n) override;
  void Commit();
  std::filesystem::path Target() const;

 private:
  void Discard() noexcept;
  std::shared_ptr<const TSafeDir> dir_;
  std::string name_;
  std::string temp_;
  std::intptr_t file_ = -1;
};

}  // namespace vld
