#include <windows.h>

#include <random>
#include <string>

#include "platform/file_replacement.h"

namespace kavlen {
namespace {

constexpr int kNameAttempts = 100;

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string NameOf(const std::string& path) { return path.substr(path.find_last_of("\\/") + 1); }

HANDLE AsHandle(std::intptr_t file) { return reinterpret_cast<HANDLE>(file); }
std::intptr_t FromHandle(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

// ".NAME.xxxxxx" beside the target, made only if no file has that name.
HANDLE MakeHiddenFile(const std::string& folder, const std::string& name, std::string& made) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device random;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string candidate = folder + "\\." + name + ".";
    for (int i = 0; i < 6; ++i) candidate += kLetters[random() % (sizeof kLetters - 1)];
    const HANDLE file = CreateFileA(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      made = candidate;
      return file;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  return INVALID_HANDLE_VALUE;
}

bool WriteAll(HANDLE file, const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const DWORD chunk = size > 0x100000 ? 0x100000 : static_cast<DWORD>(size);
    DWORD wrote = 0;
    if (!WriteFile(file, bytes, chunk, &wrote, nullptr) || wrote == 0) return false;
    bytes += wrote;
    size -= wrote;
  }
  return true;
}

}  // namespace

FileReplacement::FileReplacement(const std::string& path, const ReplaceRules& rules) : target_(path) {
  // A device or a pipe under the name is written to as it is.
  const HANDLE existing = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (existing != INVALID_HANDLE_VALUE) {
    if (GetFileType(existing) != FILE_TYPE_DISK) {
      if (!rules.writeOthersInPlace) {
        CloseHandle(existing);
        return;
      }
      file_ = FromHandle(existing);
      how_ = How::WrittenThrough;
      return;
    }
    CloseHandle(existing);
  }
  const DWORD attributes = GetFileAttributesA(path.c_str());
  const bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (rules.refuseReadOnly && readOnly) return;
  const std::string folder = rules.stagingFolder.empty() ? FolderOf(path) : rules.stagingFolder;
  const HANDLE staged = MakeHiddenFile(folder, NameOf(path), staged_);
  if (staged == INVALID_HANDLE_VALUE) return;
  file_ = FromHandle(staged);
  how_ = How::Staged;
}

FileReplacement::~FileReplacement() { Discard(); }

bool FileReplacement::Commit(const void* data, std::size_t size) {
  if (how_ == How::Refused) return false;
  const HANDLE file = AsHandle(file_);
  bool ok = WriteAll(file, data, size);
  if (ok && how_ == How::Staged) ok = FlushFileBuffers(file) != 0;
  if (!CloseHandle(file)) ok = false;
  file_ = -1;
  if (how_ == How::Staged && ok) {
    ok = MoveFileExA(staged_.c_str(), target_.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (ok) staged_.clear();
  }
  Discard();
  return ok;
}

void FileReplacement::Discard() {
  if (file_ != -1) CloseHandle(AsHandle(file_));
  if (!staged_.empty()) DeleteFileA(staged_.c_str());
  file_ = -1;
  staged_.clear();
  how_ = How::Refused;
}

}  // namespace kavlen
