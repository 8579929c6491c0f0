#pragma once
// Every file operation of the program goes through FileAccess, so that tests can
// put a back end of their own in its place (a read error at a chosen block, a
// file that vanishes). The class itself is the system's back end: POSIX, or
// Win32 in the Windows build (src/platform/win32/); a test derives from it and
// overrides what it needs.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/file_result.h"

namespace zek {

// DOS attribute bits, as the directory search reports them.
constexpr int faReadOnly = 0x01;
constexpr int faHidden = 0x02;
constexpr int faSysFile = 0x04;
constexpr int faVolumeID = 0x08;
constexpr int faDirectory = 0x10;
constexpr int faArchive = 0x20;
constexpr int faAnyFile = 0x3F;

struct FileId {
  uint64_t Device = 0;
  uint64_t Inode = 0;
  bool operator==(const FileId&) const = default;
};

// One entry of a directory search. Size holds the whole size: files of 2 GiB
// and more are counted exactly.
struct FindRecord {
  int32_t Time = 0;  // packed local DOS date-time of the last write
  int64_t Size = 0;
  int32_t Attr = 0;
  std::string Name;
  bool Regular = false;  // the look found a regular file, links followed
  // Private to the search.
  int ExcludeAttr = 0;
  bool DirectoriesOnly = false;
  std::string Directory;
  std::string Mask;
  void* Handle = nullptr;
};

// What a caller of LookAndOpen has just seen of the file itself.
enum class KnownAs { Nothing,
                     RegularFile };

using FileHandle = int;
constexpr FileHandle kNoFile = -1;

// A last write in UTC: seconds and nanoseconds since 1970-01-01.
struct FileTime {
  int64_t Seconds = 0;
  int32_t Nanoseconds = 0;
};

// A file to compare as one look finds it.
struct FileLook {
  bool Exists = false;    // as a file, links followed: a directory does not count
  int64_t TimeSteps = 0;  // last write in local two-second steps (see dos_time.h)
  FileTime WriteTime;     // the same last write, exactly, for reports
  int OpenError = 0;      // 0 when Handle is open for reading, else why it is not
  FileHandle Handle = kNoFile;
  int64_t Size = 0;      // as the open found it
  bool Special = false;  // exists, but is no regular file: never opened
  FileId Id;             // which file it is, where the look could tell
};

// A directory that FileAccess keeps open for its caller, or the reason it
// could not be opened.
struct HeldDirectory {
  std::string Path;  // without repeated or trailing slashes
  int Fd = -1;
  bool Readable = false;  // Fd may be listed (else it only serves lookups)
  int Error = 0;
  int Holds = 0;
};

class FileAccess {
 public:
  virtual ~FileAccess() = default;

  // Directory search over a pattern whose last component may hold * and ?.
  // An entry that has any of hidden, system, volume label or directory that the
  // attribute mask lacks is skipped. The step says whether the record holds
  // an entry, none (or no further one) matches, or the directory cannot be
  // listed; FindClose may be called on any record.
  // Every entry that the directory lists is delivered: one that cannot be
  // looked at comes with the type the listing gives (a directory, or else a
  // plain file), no size and no time. "." and ".." come as directories
  // without a look.
  virtual SearchStep FindFirst(const std::string& pattern, int attr, FindRecord& f);
  // FindFirst for a caller that wants only the directories: an entry that the
  // directory lists as neither a directory nor a link may be passed over
  // without a look at it.
  virtual SearchStep FindFirstDirectory(const std::string& pattern, int attr, FindRecord& f);
  virtual SearchStep FindNext(FindRecord& f);
  virtual void FindClose(FindRecord& f);
  // Identity of a directory (links followed); false when it cannot be reached.
  virtual bool DirectoryId(const std::string& path, FileId& id);
  // Keeps a directory open while a caller works in it: the directory itself and
  // the names in it are then looked up from there, not by walking the whole
  // path again, and a directory held in it is opened by its name there. Holds
  // of one path nest. The error is that of the open: a hold that fails is
  // kept too, and names in it are then not found, without a further look.
  // With id, it receives the identity of the directory held.
  virtual FileStatus HoldDirectory(const std::string& path, FileId* id = nullptr);
  // Holds `path`, the directory that holds the held directory `child`, as the
  // way back up from it (its ".."), when that is the directory `id`; else
  // (child entered through a link, or moved) by the path itself, with the
  // error of the open, as for HoldDirectory.
  virtual FileStatus HoldParentDirectory(const std::string& child, const std::string& path, const FileId& id);
  virtual void ReleaseDirectory(const std::string& path);

  // True for an existing file that is not a directory (links followed).
  virtual bool FileExists(const std::string& path);
  virtual bool DirectoryExists(const std::string& path);
  // The existence and time test and the open of a file to compare, from one
  // look. Only a regular file is opened: anything else (FIFO, device, socket)
  // exists but is refused without an open, so that a waiting writer is never
  // released, a device never woken and no endless device read. The time and
  // size come from the open file. The caller closes the handle.
  // KnownAs::RegularFile: the caller's directory search has just looked at the
  // file and found a regular file, and that look stands in for the one before
  // the open, a system call per file fewer; the look at the open file decides.
  virtual FileLook LookAndOpen(const std::string& path, KnownAs known);
  FileLook LookAndOpen(const std::string& path) { return LookAndOpen(path, KnownAs::Nothing); }
  virtual FileResult<int64_t> FileSize(FileHandle h);
  // One read of up to count bytes: fewer at the end of the file, or where the
  // file system hands out less at a time. Bytes that come before an error are
  // delivered and the error is the result of the next BlockRead of the file,
  // so a reader that reads ahead meets it only if it goes on to the bytes that
  // could not be read.
  virtual FileResult<size_t> BlockRead(FileHandle h, void* buffer, size_t count);
  // Which file an open handle is; false when the system cannot tell.
  virtual bool HandleId(FileHandle h, FileId& id);
  // Errors of a close are of no interest to a reader.
  virtual void Close(FileHandle h);

  // Create-or-truncate for writing, write, close. The open never waits: a FIFO
  // without a reader cannot be opened.
  virtual FileResult<FileHandle> OpenWrite(const std::string& path);
  virtual FileStatus Write(FileHandle h, const char* data, size_t count);
  virtual FileStatus CloseWrite(FileHandle h);

  // Creates an empty file only if nothing of that name exists.
  virtual FileStatus CreateNew(const std::string& path);
  virtual FileStatus Erase(const std::string& path);
  // Puts `from` in the place of `to`, replacing a file of that name in one
  // step: a reader sees the old file or the new one, never a part.
  virtual FileStatus Rename(const std::string& from, const std::string& to);

  virtual std::string GetCurrentDir();
  virtual FileStatus SetCurrentDir(const std::string& path);

 private:
  std::vector<HeldDirectory> held_;
};

// True for an error code that says the process ran out of descriptors or
// memory: nothing about the file or directory that could not be opened.
bool IsResourceError(int error);

// The back end in use; the system's own unless a test has put another in place.
FileAccess& Files();

// Puts a back end in place for the lifetime of this object.
class ScopedFileAccess {
 public:
  explicit ScopedFileAccess(FileAccess& replacement);
  ~ScopedFileAccess();
  ScopedFileAccess(const ScopedFileAccess&) = delete;
  ScopedFileAccess& operator=(const ScopedFileAccess&) = delete;

 private:
  FileAccess* previous_;
};

}  // namespace zek
