// The file services on Windows: the directory search is FindFirstFileA and
// FindNextFileA with Windows' own attributes, and a compared file is opened
// for reading with share mode read only, so that a file another program is
// writing cannot be opened.
#include "platform/file_access.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/dos_time.h"
#include "platform/win32/file_time.h"

namespace zek {
namespace {

int LastError() {
  const DWORD error = GetLastError();
  return error != 0 ? static_cast<int>(error) : ERROR_GEN_FAILURE;
}

int64_t Combine(DWORD high, DWORD low) {
  return static_cast<int64_t>((static_cast<uint64_t>(high) << 32) | low);
}

bool IsNoMatch(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES; }

// The program's handles are C runtime descriptors, so that one handle type
// serves every platform; the Windows handle stays inside.
FileHandle Adopt(HANDLE h, int flags) {
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), flags | _O_BINARY);
  if (fd < 0) CloseHandle(h);
  return fd;
}

HANDLE OsHandle(FileHandle h) { return reinterpret_cast<HANDLE>(_get_osfhandle(h)); }

// Fills the record from the search's current data, or returns false when the
// attribute mask excludes the entry.
bool Take(const WIN32_FIND_DATAA& data, FindRecord& f) {
  const int attr = static_cast<int>(data.dwFileAttributes & faAnyFile);
  if ((attr & f.ExcludeAttr) != 0) return false;
  f.Name = data.cFileName;
  f.Attr = attr;
  f.Size = Combine(data.nFileSizeHigh, data.nFileSizeLow);
  f.Time = PackDosDateTime(data.ftLastWriteTime);
  f.Regular = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  return true;
}

SearchStep NoMatchOrFailure() {
  const DWORD error = GetLastError();
  return IsNoMatch(error) ? SearchStep::End() : SearchStep::Failure(static_cast<int>(error));
}

SearchStep NextMatch(FindRecord& f, WIN32_FIND_DATAA& data) {
  for (;;) {
    if (!FindNextFileA(f.Handle, &data)) return NoMatchOrFailure();
    if (Take(data, f)) return SearchStep::Entry();
  }
}

SearchStep StartSearch(const std::string& pattern, int attr, FindRecord& f) {
  f.Handle = nullptr;
  f.ExcludeAttr = ~attr & (faHidden | faSysFile | faVolumeID | faDirectory);
  WIN32_FIND_DATAA data;
  const HANDLE h = FindFirstFileA(pattern.c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) return NoMatchOrFailure();
  f.Handle = h;
  if (Take(data, f)) return SearchStep::Entry();
  const SearchStep result = NextMatch(f, data);
  if (!result.Found()) {
    ::FindClose(h);
    f.Handle = nullptr;
  }
  return result;
}

// Attributes and last-write time of a path, without opening it.
bool LookUp(const std::string& path, WIN32_FILE_ATTRIBUTE_DATA& data) {
  return !path.empty() && GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) != 0;
}

// 0 and the identity of a directory, or the error code of its open.
FileId IdOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return {info.dwVolumeSerialNumber, static_cast<uint64_t>(Combine(info.nFileIndexHigh, info.nFileIndexLow))};
}

int IdentifyDirectory(const std::string& path, FileId* id) {
  // Backup semantics: the flag that lets CreateFileA open a directory. An
  // empty directory part is the root of the current drive.
  const HANDLE h = CreateFileA(path.empty() ? "\\" : path.c_str(), 0,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastError();
  BY_HANDLE_FILE_INFORMATION info;
  int error = 0;
  if (!GetFileInformationByHandle(h, &info))
    error = LastError();
  else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    error = ERROR_DIRECTORY;
  CloseHandle(h);
  if (error == 0 && id != nullptr) *id = IdOf(info);
  return error;
}

}  // namespace

SearchStep FileAccess::FindFirst(const std::string& pattern, int attr, FindRecord& f) {
  return StartSearch(pattern, attr, f);
}

SearchStep FileAccess::FindFirstDirectory(const std::string& pattern, int attr, FindRecord& f) {
  return StartSearch(pattern, attr, f);
}

SearchStep FileAccess::FindNext(FindRecord& f) {
  if (f.Handle == nullptr) return SearchStep::End();
  WIN32_FIND_DATAA data;
  return NextMatch(f, data);
}

void FileAccess::FindClose(FindRecord& f) {
  if (f.Handle != nullptr) ::FindClose(f.Handle);
  f.Handle = nullptr;
}

bool FileAccess::DirectoryId(const std::string& path, FileId& id) { return IdentifyDirectory(path, &id) == 0; }

// Windows looks every path up afresh, so a hold keeps nothing open: it tells
// whether the directory can be reached, and which one it is.
FileStatus FileAccess::HoldDirectory(const std::string& path, FileId* id) {
  return FileStatus::FromCode(IdentifyDirectory(path, id));
}

FileStatus FileAccess::HoldParentDirectory(const std::string&, const std::string& path, const FileId&) {
  return FileStatus::FromCode(IdentifyDirectory(path, nullptr));
}

void FileAccess::ReleaseDirectory(const std::string&) {}

bool FileAccess::FileExists(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  return LookUp(path, data) && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool FileAccess::DirectoryExists(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  return LookUp(path, data) && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The open itself tells a device from a file here: nothing to leave out.
FileLook FileAccess::LookAndOpen(const std::string& path, KnownAs) {
  FileLook look;
  if (path.empty()) return look;
  // Read access; others may read the file too, but no other program may write
  // it while it is compared.
  const HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    // A device name such as NUL or COM1 is no file to read. Asked first, as
    // the system has no file information for a device.
    if (GetFileType(h) != FILE_TYPE_DISK) {
      CloseHandle(h);
      look.Exists = true;
      look.OpenError = ERROR_ACCESS_DENIED;
      return look;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      CloseHandle(h);
      return look;
    }
    look.Exists = true;
    look.TimeSteps = LocalTwoSecondSteps(info.ftLastWriteTime);
    look.WriteTime = UnixFileTime(info.ftLastWriteTime);
    look.Size = Combine(info.nFileSizeHigh, info.nFileSizeLow);
    look.Id = IdOf(info);
    look.Handle = Adopt(h, _O_RDONLY);
    if (look.Handle == kNoFile) look.OpenError = ERROR_TOO_MANY_OPEN_FILES;
    return look;
  }
  // Not opened: it may still exist, held by a writer or not readable.
  const int error = LastError();
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!LookUp(path, data) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return look;
  look.Exists = true;
  look.TimeSteps = LocalTwoSecondSteps(data.ftLastWriteTime);
  look.WriteTime = UnixFileTime(data.ftLastWriteTime);
  look.OpenError = error;
  // A file that a writer holds, such as this run's own log, is still told
  // apart by a handle that asks for no access.
  if (error == ERROR_SHARING_VIOLATION) {
    const HANDLE any = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
    BY_HANDLE_FILE_INFORMATION info;
    if (any != INVALID_HANDLE_VALUE && GetFileInformationByHandle(any, &info)) look.Id = IdOf(info);
    if (any != INVALID_HANDLE_VALUE) CloseHandle(any);
  }
  return look;
}

bool FileAccess::HandleId(FileHandle h, FileId& id) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(OsHandle(h), &info)) return false;
  id = IdOf(info);
  return true;
}

FileResult<int64_t> FileAccess::FileSize(FileHandle h) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(OsHandle(h), &size)) return FileResult<int64_t>::Failure(LastError());
  return static_cast<int64_t>(size.QuadPart);
}

FileResult<size_t> FileAccess::BlockRead(FileHandle h, void* buffer, size_t count) {
  DWORD got = 0;
  const DWORD asked = static_cast<DWORD>(std::min<size_t>(count, 1u << 30));
  if (!ReadFile(OsHandle(h), buffer, asked, &got, nullptr)) return FileResult<size_t>::Failure(LastError());
  return static_cast<size_t>(got);
}

void FileAccess::Close(FileHandle h) {
  if (h != kNoFile) _close(h);
}

FileResult<FileHandle> FileAccess::OpenWrite(const std::string& path) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FileResult<FileHandle>::Failure(LastError(), kNoFile);
  const FileHandle h = Adopt(file, _O_WRONLY);
  if (h == kNoFile) return FileResult<FileHandle>::Failure(ERROR_TOO_MANY_OPEN_FILES, kNoFile);
  return h;
}

FileStatus FileAccess::Write(FileHandle h, const char* data, size_t count) {
  while (count > 0) {
    DWORD put = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(count, 1u << 30));
    if (!WriteFile(OsHandle(h), data, chunk, &put, nullptr)) return FileStatus::Failure(LastError());
    data += put;
    count -= put;
  }
  return {};
}

FileStatus FileAccess::CloseWrite(FileHandle h) {
  // _close reports a failed CloseHandle only as -1: ask for the reason first.
  SetLastError(0);
  return FileStatus::FromCode(_close(h) != 0 ? LastError() : 0);
}

FileStatus FileAccess::CreateNew(const std::string& path) {
  const HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return FileStatus::Failure(LastError());
  return FileStatus::FromCode(CloseHandle(h) ? 0 : LastError());
}

FileStatus FileAccess::Erase(const std::string& path) {
  return FileStatus::FromCode(DeleteFileA(path.c_str()) ? 0 : LastError());
}

FileStatus FileAccess::Rename(const std::string& from, const std::string& to) {
  return FileStatus::FromCode(MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : LastError());
}

std::string FileAccess::GetCurrentDir() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
    if (n == 0) return std::string();
    if (n < buffer.size()) return std::string(buffer.data(), n);
    buffer.resize(n);
  }
}

FileStatus FileAccess::SetCurrentDir(const std::string& path) {
  return FileStatus::FromCode(SetCurrentDirectoryA(path.c_str()) ? 0 : LastError());
}

bool IsResourceError(int error) {
  return error == ERROR_TOO_MANY_OPEN_FILES || error == ERROR_NOT_ENOUGH_MEMORY || error == ERROR_OUTOFMEMORY ||
         error == ERROR_NO_SYSTEM_RESOURCES;
}

}  // namespace zek
