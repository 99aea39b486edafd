// Open directories, their listings, where links lead, the current directory, and wildcards over
// names: their Windows forms. Names in a directory are opened relative to its handle, which no
// rename of the directory, nor a junction put in its place, redirects.
#include "platform/directory.h"

#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/windows/native.h"
#include "platform/windows/wildcards.h"

namespace quillet {
namespace {

constexpr ACCESS_MASK READ_DIRECTORY =
    FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL;
constexpr ACCESS_MASK SEARCH_DIRECTORY = FILE_TRAVERSE | FILE_READ_ATTRIBUTES;

// Checks what was opened as a directory named with `link`: a link refused (ELOOP), anything but
// a directory refused (ENOTDIR). Takes `handle`, and gives it to `directory` when it passes.
int take_directory(HANDLE handle, Link link, OpenDirectory& directory) {
  File file(windows::handle_of(handle));
  FileFacts facts;
  if (const int error = windows::facts_of_handle(handle, facts); error != 0) return error;
  if (facts.kind == FileKind::LINK && link == Link::REFUSE) return ELOOP;
  if (facts.kind != FileKind::DIRECTORY) return ENOTDIR;
  directory = OpenDirectory(std::move(file));
  return 0;
}

// Opens `path`, or `name` of `at` when `at` is open, as a directory for `access`.
int open_with(const OpenDirectory* at, const char* name, Link link, ACCESS_MASK access,
              HANDLE& handle) {
  const std::string_view wanted = name;
  if (at != nullptr && wanted != "..") {
    // "." is the directory itself, opened afresh.
    return windows::open_relative(
        windows::handle(*at), wanted == "." ? std::string_view() : wanted,
        {access, FILE_OPEN,
         FILE_DIRECTORY_FILE | (link == Link::REFUSE ? FILE_OPEN_REPARSE_POINT : 0U)},
        handle);
  }
  // Windows knows no ".." in a name opened relative to a directory: the parent is found from the
  // path the directory has now.
  std::wstring path = windows::native_path(name);
  if (at != nullptr) {
    if (const int error = windows::final_path(windows::handle(*at), path); error != 0) {
      return error;
    }
    const std::size_t last = path.find_last_of(L'\\');
    // "\\?\C:\" is its own parent.
    if (last != std::wstring::npos && last + 1 < path.size()) path.resize(last);
    if (path.ends_with(L':')) path += L'\\';
  }
  const DWORD flags =
      FILE_FLAG_BACKUP_SEMANTICS | (link == Link::REFUSE ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
  handle =
      ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, flags, nullptr);
  return handle == INVALID_HANDLE_VALUE ? windows::last_error() : 0;
}

// One listing's own: a handle of its own on the directory (a listing's place is kept in the
// handle), the names read in one call, and the name given out last.
struct Listing {
  windows::OwnedHandle directory;
  std::vector<std::uint64_t> buffer = std::vector<std::uint64_t>(8192);  // 64 KiB, aligned
  std::size_t next = 0;  // offset of the next entry in `buffer`
  bool more = false;     // `buffer` holds entries still to give out
  bool started = false;  // the first call, which starts the listing afresh, was made
  std::string name;
};

}  // namespace

OpenDirectory OpenDirectory::borrowed(File::Handle handle) {
  return OpenDirectory(File::borrowed(handle));
}

int open_directory(const OpenDirectory* at, const char* name, Link link, DirectoryUse use,
                   OpenDirectory& directory) {
  HANDLE handle = INVALID_HANDLE_VALUE;
  int error = open_with(at, name, link, READ_DIRECTORY, handle);
  // One that may be searched but not read still leads to the files in it.
  if (error == EACCES && use == DirectoryUse::SEARCH) {
    error = open_with(at, name, link, SEARCH_DIRECTORY, handle);
  }
  if (error != 0) return error;
  return take_directory(handle, link, directory);
}

int open_in(const OpenDirectory& directory, const char* name, Link link, File& file) {
  HANDLE handle = INVALID_HANDLE_VALUE;
  if (const int error = windows::open_relative(
          windows::handle(directory), name,
          {GENERIC_READ, FILE_OPEN, link == Link::REFUSE ? FILE_OPEN_REPARSE_POINT : 0U}, handle);
      error != 0) {
    return error;
  }
  File opened(windows::handle_of(handle));
  if (link == Link::REFUSE && windows::is_link(handle)) return ELOOP;
  file = std::move(opened);
  return 0;
}

int facts_in(const OpenDirectory& directory, const char* name, FileFacts& facts) {
  const std::string_view wanted = name;
  HANDLE handle = INVALID_HANDLE_VALUE;
  const int error =
      wanted == ".."
          ? open_with(&directory, name, Link::REFUSE, FILE_READ_ATTRIBUTES | READ_CONTROL, handle)
          : windows::open_relative(
                windows::handle(directory), wanted == "." ? std::string_view() : wanted,
                {FILE_READ_ATTRIBUTES | READ_CONTROL, FILE_OPEN, FILE_OPEN_REPARSE_POINT}, handle);
  if (error != 0) return error;
  const windows::OwnedHandle opened(handle);
  return windows::facts_of_handle(handle, facts);
}

int sync_directory(const OpenDirectory&) {
  // Windows syncs no directory: each rename of the swap is written through as it is made.
  return 0;
}

int directory_path(const OpenDirectory& directory, std::string& path) {
  std::wstring final;
  if (const int error = windows::final_path(windows::handle(directory), final); error != 0) {
    return error;
  }
  path = windows::shown_path(final);
  return 0;
}

int resolve_links(const char* path, std::string& resolved) {
  const windows::OwnedHandle handle(
      ::CreateFileW(windows::native_path(path).c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle.is_open()) return windows::last_error();
  std::wstring final;
  if (const int error = windows::final_path(handle.get(), final); error != 0) return error;
  resolved = windows::shown_path(final);
  return 0;
}

int current_directory(std::string& path) { return resolve_links(".", path); }

std::string current_directory_as_named() {
  // As the process was put there, through whatever links: Windows keeps that name.
  const DWORD size = ::GetCurrentDirectoryW(0, nullptr);
  std::wstring name(size, L'\0');
  const DWORD length = ::GetCurrentDirectoryW(size, name.data());
  if (length == 0 || length >= size) return {};
  name.resize(length);
  if (name.size() > 3 && name.ends_with(L'\\')) name.pop_back();
  std::string shown = windows::narrow(name);
  for (char& c : shown) {
    if (c == '\\') c = '/';
  }
  return shown;
}

bool matches_wildcards(const char* pattern, const char* path) {
  return windows::match_wildcards(pattern, path);
}

DirectoryListing::DirectoryListing(const OpenDirectory& directory) {
  auto listing = std::make_unique<Listing>();
  HANDLE handle = INVALID_HANDLE_VALUE;
  error_ = windows::open_relative(windows::handle(directory), {},
                                  {FILE_LIST_DIRECTORY, FILE_OPEN, FILE_DIRECTORY_FILE}, handle);
  if (error_ != 0) return;
  listing->directory.reset(handle);
  listing_ = listing.release();
}

DirectoryListing::~DirectoryListing() { delete static_cast<Listing*>(listing_); }

bool DirectoryListing::next(DirectoryEntry& entry) {
  auto* const listing = static_cast<Listing*>(listing_);
  if (listing == nullptr) return false;
  for (;;) {
    if (!listing->more) {
      const auto size = static_cast<DWORD>(listing->buffer.size() * sizeof(std::uint64_t));
      if (!::GetFileInformationByHandleEx(
              listing->directory.get(),
              listing->started ? FileIdBothDirectoryInfo : FileIdBothDirectoryRestartInfo,
              listing->buffer.data(), size)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_NO_MORE_FILES) error_ = windows::error_number(error);
        return false;
      }
      listing->started = true;
      listing->more = true;
      listing->next = 0;
    }
    // The entries lie one after another in the buffer, each where the one before says.
    const char* const at = reinterpret_cast<const char*>(listing->buffer.data()) + listing->next;
    const auto* found = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
    if (found->NextEntryOffset == 0) {
      listing->more = false;
    } else {
      listing->next += found->NextEntryOffset;
    }
    const std::wstring_view name(found->FileName, found->FileNameLength / sizeof(wchar_t));
    if (name == L"." || name == L"..") continue;
    listing->name = windows::narrow(name);
    entry.name = listing->name;
    const DWORD attributes = found->FileAttributes;
    // With a reparse point, the listing holds its tag where it would hold the size of the
    // extended attributes.
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
        (found->EaSize == IO_REPARSE_TAG_SYMLINK || found->EaSize == IO_REPARSE_TAG_MOUNT_POINT)) {
      entry.kind = FileKind::LINK;
    } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      entry.kind = FileKind::DIRECTORY;
    } else {
      entry.kind = FileKind::REGULAR;
    }
    entry.inode = static_cast<std::uint64_t>(found->FileId.QuadPart);
    return true;
  }
}

}  // namespace quillet
