// Texts of tessaly-exif's output: what the reader found, made safe for the
// place it is written to. A terminal must never take a byte of a photo's
// metadata as a command (a caption holding ESC [41m would colour it, an OSC 8
// sequence would plant a link), and a JSON reader must always get valid UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace tessaly {

// Bytes as UTF-8 text: every byte that is not part of a well-formed UTF-8
// sequence (RFC 3629 section 4; overlong forms, surrogates and code points
// above U+10FFFF included) becomes U+FFFD.
std::string ValidUtf8(std::string_view bytes);

// UTF-8 text with its control characters written out, so that the terminal
// shows them instead of obeying them: C0 controls and DEL as \xHH, C1
// controls (U+0080 to U+009F) as \u00HH. Everything else is unchanged.
std::string TerminalText(std::string_view utf8);

// A listing of the reader (Windows-1251 lines separated by CR LF) for the
// terminal: the listing's own line breaks become line feeds, every other
// control character is written out.
std::string TerminalListing(std::string_view bytes);

}  // namespace tessaly
