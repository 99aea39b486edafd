// What the Windows room's files share: names in UTF-16, errors as error numbers, relative opens,
// and a file's facts.
#include "platform/windows/native.h"

#include <aclapi.h>

#include <array>
#include <cerrno>
#include <cstdint>

namespace quillet::windows {
namespace {

constexpr wchar_t REPLACEMENT = 0xFFFD;

// The length of the UTF-8 sequence that starts with `lead`, and its bits; 0 for no lead byte.
std::size_t sequence_length(unsigned char lead, std::uint32_t& bits) {
  if (lead < 0x80) {
    bits = lead;
    return 1;
  }
  if ((lead & 0xE0U) == 0xC0U) {
    bits = lead & 0x1FU;
    return 2;
  }
  if ((lead & 0xF0U) == 0xE0U) {
    bits = lead & 0x0FU;
    return 3;
  }
  if ((lead & 0xF8U) == 0xF0U) {
    bits = lead & 0x07U;
    return 4;
  }
  return 0;
}

void append_utf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0U | (code >> 6));
    out += static_cast<char>(0x80U | (code & 0x3FU));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0U | (code >> 12));
    out += static_cast<char>(0x80U | ((code >> 6) & 0x3FU));
    out += static_cast<char>(0x80U | (code & 0x3FU));
  } else {
    out += static_cast<char>(0xF0U | (code >> 18));
    out += static_cast<char>(0x80U | ((code >> 12) & 0x3FU));
    out += static_cast<char>(0x80U | ((code >> 6) & 0x3FU));
    out += static_cast<char>(0x80U | (code & 0x3FU));
  }
}

// Whether a user who is neither the owner nor of the file's group may write it: whether its
// access list lets every user (Everyone, Authenticated Users or the local Users) write to it,
// change its permissions or take it, or for a directory add files to it or delete them.
bool everyone_may_write(HANDLE file, bool directory) {
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetSecurityInfo(file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl,
                        nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;  // not to be told: as on a file system without permissions
  }
  std::array<std::array<BYTE, SECURITY_MAX_SID_SIZE>, 3> everyone{};
  const std::array<WELL_KNOWN_SID_TYPE, 3> kinds = {WinWorldSid, WinAuthenticatedUserSid,
                                                    WinBuiltinUsersSid};
  for (std::size_t i = 0; i < kinds.size(); ++i) {
    DWORD size = SECURITY_MAX_SID_SIZE;
    ::CreateWellKnownSid(kinds[i], nullptr, everyone[i].data(), &size);
  }
  const ACCESS_MASK writes = FILE_WRITE_DATA | FILE_APPEND_DATA | WRITE_DAC | WRITE_OWNER |
                             GENERIC_WRITE | GENERIC_ALL | (directory ? FILE_DELETE_CHILD : 0);
  // No list at all lets everyone do anything. A right denied before it is allowed stays denied.
  bool may = acl == nullptr;
  ACCESS_MASK denied = 0;
  for (DWORD i = 0; acl != nullptr && i < acl->AceCount && !may; ++i) {
    void* entry = nullptr;
    if (!::GetAce(acl, i, &entry)) break;
    const auto* header = static_cast<const ACE_HEADER*>(entry);
    if ((header->AceFlags & INHERIT_ONLY_ACE) != 0) continue;  // for what is made inside only
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_DENIED_ACE_TYPE) {
      continue;
    }
    // Both kinds lay out their mask and their SID alike.
    const auto* ace = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
    PSID sid = const_cast<DWORD*>(&ace->SidStart);  // only read through
    bool broad = false;
    for (auto& known : everyone)
      broad = broad || ::EqualSid(sid, known.data());
    if (!broad) continue;
    if (header->AceType == ACCESS_DENIED_ACE_TYPE) {
      denied |= ace->Mask;
    } else {
      may = (ace->Mask & writes & ~denied) != 0;
    }
  }
  ::LocalFree(descriptor);
  return may;
}

}  // namespace

Time time_from(const FILETIME& time) {
  // Tenths of microseconds since 1601; the C library counts seconds from 1970.
  constexpr std::int64_t EPOCH = 116'444'736'000'000'000;
  const std::int64_t ticks =
      static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                time.dwLowDateTime) -
      EPOCH;
  std::int64_t seconds = ticks / 10'000'000;
  std::int64_t rest = ticks % 10'000'000;
  if (rest < 0) {
    rest += 10'000'000;
    --seconds;
  }
  return {seconds, static_cast<std::int32_t>(rest * 100)};
}

std::wstring wide(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    std::uint32_t code = 0;
    const std::size_t length = sequence_length(static_cast<unsigned char>(text[i]), code);
    bool valid = length != 0 && i + length <= text.size();
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0U) == 0x80U;
      code = (code << 6) | (next & 0x3FU);
    }
    constexpr std::array<std::uint32_t, 5> SMALLEST = {0, 0, 0x80, 0x800, 0x10000};
    if (!valid || code < SMALLEST[length] || code > 0x10FFFF) {
      out += REPLACEMENT;
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out += static_cast<wchar_t>(0xD800U + (code >> 10));
      out += static_cast<wchar_t>(0xDC00U + (code & 0x3FFU));
    } else {
      out += static_cast<wchar_t>(code);
    }
    i += length;
  }
  return out;
}

std::string narrow(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto unit = static_cast<std::uint32_t>(text[i]);
    if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < text.size() &&
        static_cast<std::uint32_t>(text[i + 1]) >= 0xDC00 &&
        static_cast<std::uint32_t>(text[i + 1]) < 0xE000) {
      append_utf8(out, 0x10000 + ((unit - 0xD800) << 10) +
                           (static_cast<std::uint32_t>(text[++i]) - 0xDC00));
    } else {
      append_utf8(out, unit);
    }
  }
  return out;
}

std::wstring native_path(std::string_view path) {
  std::wstring native = wide(path);
  for (wchar_t& c : native) {
    if (c == L'/') c = L'\\';
  }
  return native;
}

namespace {

// Whether Windows takes the name `name` for a device wherever it stands, whatever extension
// follows: "CON", "aux", "NUL.c", "com1 .h".
bool is_device_name(std::wstring_view name) {
  std::wstring_view base = name.substr(0, name.find_first_of(L".:"));
  while (base.ends_with(L' '))
    base.remove_suffix(1);
  std::wstring upper(base);
  for (wchar_t& c : upper) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  if (upper == L"CON" || upper == L"PRN" || upper == L"AUX" || upper == L"NUL" ||
      upper == L"CONIN$" || upper == L"CONOUT$") {
    return true;
  }
  return upper.size() == 4 && (upper.starts_with(L"COM") || upper.starts_with(L"LPT")) &&
         upper[3] >= L'0' && upper[3] <= L'9';
}

}  // namespace

std::wstring file_path(std::string_view path) {
  std::wstring native = native_path(path);
  const std::size_t slash = native.find_last_of(L"\\:");
  const std::size_t start = slash == std::wstring::npos ? 0 : slash + 1;
  const std::wstring_view name = std::wstring_view(native).substr(start);
  if (native.starts_with(L"\\\\?\\") || native.starts_with(L"\\\\.\\") ||
      name.find(L'.') == std::wstring_view::npos || !is_device_name(name)) {
    return native;
  }
  // The directory's full path, which no device name ends, and the name after it as it is.
  const std::wstring directory = start == 0 ? std::wstring(L".") : native.substr(0, start);
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetFullPathNameW(directory.c_str(), static_cast<DWORD>(full.size()),
                                       full.data(), nullptr);
    if (n == 0) return native;
    if (n < full.size()) {
      full.resize(n);
      break;
    }
    full.resize(n + 1);
  }
  if (!full.ends_with(L'\\')) full += L'\\';
  full += name;
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

int error_number(DWORD error) {
  switch (error) {
    case ERROR_SUCCESS: return 0;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_NOT_READY: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_NETWORK_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD:
    case ERROR_CANNOT_MAKE: return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_USER_MAPPED_FILE:
    case ERROR_BUSY: return EBUSY;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_DIRECTORY: return ENOTDIR;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
    case ERROR_NO_SYSTEM_RESOURCES: return ENOMEM;
    case ERROR_INVALID_HANDLE: return EBADF;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
    case ERROR_PIPE_NOT_CONNECTED: return EPIPE;
    case ERROR_WRITE_PROTECT: return EROFS;
    case ERROR_NOT_SAME_DEVICE: return EXDEV;
    case ERROR_DIR_NOT_EMPTY: return ENOTEMPTY;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED: return ENOSYS;
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_PARAMETER: return EINVAL;
    case ERROR_NEGATIVE_SEEK:
    case ERROR_SEEK_ON_DEVICE: return ESPIPE;
    case ERROR_CANT_RESOLVE_FILENAME: return ELOOP;
    case ERROR_BAD_EXE_FORMAT:
    case ERROR_EXE_MACHINE_TYPE_MISMATCH: return ENOEXEC;
    default: return EIO;
  }
}

int status_error(NTSTATUS status) { return error_number(::RtlNtStatusToDosError(status)); }

int open_relative(HANDLE root, std::string_view name, const Relative& what, HANDLE& opened) {
  std::wstring native = native_path(name);
  if (native.size() * sizeof(wchar_t) > 0xFFFE) return ENAMETOOLONG;
  UNICODE_STRING object_name;
  object_name.Buffer = native.data();
  object_name.Length = static_cast<USHORT>(native.size() * sizeof(wchar_t));
  object_name.MaximumLength = object_name.Length;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &object_name, OBJ_CASE_INSENSITIVE, root, nullptr);
  IO_STATUS_BLOCK status_block{};
  HANDLE made = nullptr;
  const NTSTATUS status =
      ::NtCreateFile(&made, what.access | SYNCHRONIZE, &attributes, &status_block, nullptr,
                     FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     what.disposition, what.options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  if (!NT_SUCCESS(status)) return status_error(status);
  opened = made;
  return 0;
}

bool is_link(HANDLE file) {
  FILE_ATTRIBUTE_TAG_INFO tag{};
  return ::GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag) &&
         (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
         (tag.ReparseTag == IO_REPARSE_TAG_SYMLINK || tag.ReparseTag == IO_REPARSE_TAG_MOUNT_POINT);
}

int facts_of_handle(HANDLE file, FileFacts& facts) {
  const DWORD type = ::GetFileType(file);
  if (type != FILE_TYPE_DISK) {
    if (type == FILE_TYPE_UNKNOWN && ::GetLastError() != NO_ERROR) return last_error();
    facts = FileFacts{};  // a pipe, a console, a device: no file of a file system
    return 0;
  }
  BY_HANDLE_FILE_INFORMATION information{};
  if (!::GetFileInformationByHandle(file, &information)) return last_error();
  FileFacts found;
  const DWORD attributes = information.dwFileAttributes;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && is_link(file)) {
    found.kind = FileKind::LINK;
  } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    found.kind = FileKind::DIRECTORY;
  } else {
    found.kind = FileKind::REGULAR;
  }
  // The volume's serial number and the file's 64-bit index: the C library's st_ino is always 0.
  found.id = {
      information.dwVolumeSerialNumber,
      (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
  found.size =
      (static_cast<std::uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
  found.modified = time_from(information.ftLastWriteTime);
  found.others_may_write =
      found.kind != FileKind::LINK && everyone_may_write(file, found.kind == FileKind::DIRECTORY);
  // The attributes an in-place swap hands on; Windows has no owner to give a new file.
  found.access.bits =
      attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                    FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
  facts = found;
  return 0;
}

int final_path(HANDLE file, std::wstring& path) {
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetFinalPathNameByHandleW(file, name.data(), static_cast<DWORD>(name.size()),
                                                FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0) return last_error();
    if (n < name.size()) {
      name.resize(n);
      path = std::move(name);
      return 0;
    }
    name.resize(n + 1);
  }
}

std::wstring plain_native_path(std::wstring_view path) {
  if (path.starts_with(L"\\\\?\\UNC\\")) return L"\\\\" + std::wstring(path.substr(8));
  if (path.starts_with(L"\\\\?\\")) return std::wstring(path.substr(4));
  return std::wstring(path);
}

std::string shown_path(std::wstring_view path) {
  std::string shown = narrow(plain_native_path(path));
  for (char& c : shown) {
    if (c == '\\') c = '/';
  }
  return shown;
}

int path_in(HANDLE directory, std::string_view name, std::wstring& path) {
  std::wstring joined;
  if (const int error = final_path(directory, joined); error != 0) return error;
  if (!joined.ends_with(L'\\')) joined += L'\\';
  path = joined + native_path(name);
  return 0;
}

}  // namespace quillet::windows
