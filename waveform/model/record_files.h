#pragma once
// The .cfg/.dat pair that the database flow wrote for one opening. Whoever
// holds the RecordFiles owns the files: the reader while it checks the
// record, the opening while the samples are read, then the record window.
// They are deleted when the holder lets go of them (remove() or its end),
// whichever way the opening ends: a refusal, an error, a cancel or the close
// of the window. Moving the object on hands the files over.

#include <string>

namespace wave {

class RecordFiles {
 public:
  RecordFiles() = default;
  // Takes over the pair whose .cfg is at cfgPath (its .dat by the name rule).
  explicit RecordFiles(std::string cfgPath);
  RecordFiles(RecordFiles&& other) noexcept;
  RecordFiles& operator=(RecordFiles&& other) noexcept;
  RecordFiles(const RecordFiles&) = delete;
  RecordFiles& operator=(const RecordFiles&) = delete;
  ~RecordFiles();

  bool empty() const { return cfgPath_.empty(); }
  const std::string& cfgPath() const { return cfgPath_; }
  // Deletes both files now (a missing one is no error); afterwards nothing is held.
  void remove() noexcept;

 private:
  std::string cfgPath_;
};

}  // namespace wave
