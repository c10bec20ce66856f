#pragma once
// A file written under a hidden temporary name beside its final name, and moved there in one
// rename only once it is whole: whoever looks at the final name sees the old file or the new one,
// never half of one, and never writes through a link that sits there.

#include <optional>
#include <string>
#include <string_view>

#include "common/fs_util.h"

namespace korvi {

// What sits at a file's final name, looked at without following a link.
struct FinalName {
  bool taken = false;   // a regular file is there
  std::string refusal;  // why nothing is ever written there ("is a symbolic link"); empty when free or a file
};
FinalName LookAtFinalName(const std::string& path);

// Whether a file name is a temporary's: ".<name>.korvi-XXXXXX", the name cut to fit the limit.
bool IsStagedFileName(std::string_view name);

class StagedFile {
 public:
  // Creates the temporary beside finalPath (O_EXCL, never through a link) with the given mode
  // (less the umask). nullopt with the cause in *error when the folder cannot take it.
  static std::optional<StagedFile> Create(const std::string& finalPath, mode_t mode, std::string* error);

  StagedFile(StagedFile&&) noexcept = default;
  StagedFile& operator=(StagedFile&&) noexcept;
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;
  // Removes the temporary unless it was moved into place.
  ~StagedFile();

  // The path to write the contents through: the writers open it by name.
  const std::string& TempPath() const { return m_tempPath; }
  const std::string& FinalPath() const { return m_finalPath; }

  // Appends bytes through the descriptor the temporary was created with.
  bool Write(std::string_view bytes, std::string* error);
  // Syncs what was written and closes the descriptor, so that Commit is a rename alone. False
  // with the cause, the temporary removed.
  bool Sync(std::string* error);
  // Syncs the contents and renames the temporary over the final name, replacing what is there
  // (a link there is replaced, not followed). False with the cause, the temporary removed.
  bool Commit(std::string* error);
  // As Commit, but only when the final name is free; false with *taken set when it is not (the
  // temporary is kept for another name, see Retarget).
  bool CommitAsNew(bool* taken, std::string* error);
  // Another final name in the same folder, for CommitAsNew.
  void Retarget(const std::string& finalPath);
  // Removes the temporary now.
  void Discard();
  // Whether the folder the file was created in is still at its path: not removed or renamed.
  bool FolderStillThere() const;

 private:
  StagedFile() = default;

  UniqueFd m_folder;  // renames and removals go to the folder the temporary was made in
  UniqueFd m_fd;
  std::string m_folderPath;
  std::string m_tempName;
  std::string m_tempPath;
  std::string m_finalPath;
  std::string m_finalName;
};

}  // namespace korvi
