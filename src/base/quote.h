// Names as messages, diff headers and git show them: quoted where they could mislead.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillet {

/// `name` as a message shows it: as it is, or, when it holds a control character (which could end
/// the message's line or move the cursor) or "##[" (which GitHub's runner takes, anywhere in a
/// line, for one of its commands), between double quotes with C escapes, the "[" of "##[" in
/// octal.
[[nodiscard]] std::string printable(std::string_view name);

/// `name` as printable shows it, made safe to start a line: with "./" before it when it would
/// start the line with ":" (GitHub's runner takes a line that starts with "::", whitespace before
/// it or not, for one of its commands), a blank, or a byte past ASCII (which may be whitespace to
/// the runner). Such a name is relative, and "./" leaves it naming the same file.
[[nodiscard]] std::string printable_at_line_start(std::string_view name);

/// `name` as a diff header shows it, as GNU diff writes it and GNU patch reads it: as it is, or,
/// when it holds a blank, a quote, a backslash, a control character or a byte past ASCII, between
/// double quotes with C escapes (octal for the bytes that have none).
[[nodiscard]] std::string diff_name(std::string_view name);

/// A name as git writes it in a diff: as it is, or between double quotes with C escapes (octal
/// for bytes without a named one). Returns the name's own bytes; nullopt for a quoted name that
/// does not end where its quotes say.
[[nodiscard]] std::optional<std::string> unquote(std::string_view name);

}  // namespace quillet
