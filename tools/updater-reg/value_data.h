// Value types and data as updater-reg reads them from the command line and
// shows them.
#pragma once

#include <cstdint>
#include <string>

// "REG_SZ", "REG_DWORD", ...; "REG_UNKNOWN" for a number without a name.
std::string TypeName(uint32_t type);

// The types add accepts after /t, in any letter case.
bool ParseAddType(const std::string& text, uint32_t* type);

// The bytes to store for /d: REG_SZ and REG_EXPAND_SZ the text and a NUL,
// REG_DWORD a decimal or 0x-hex 32-bit number (4 bytes, little-endian),
// REG_BINARY pairs of hex digits. False when the text does not fit the type.
bool DataFromArgument(uint32_t type, const std::string& text, std::string* bytes);

// The data as a query line shows it: texts up to their first NUL, REG_MULTI_SZ
// items joined by "\0", numbers as 0x..., everything else as upper-case hex.
std::string FormatQueryData(uint32_t type, const std::string& bytes);

// "64001320".
std::string HexUpper(const std::string& bytes);
// 0 to 15 for a hex digit in either case, else -1.
int HexDigitValue(char c);

// Text (UTF-8) as UTF-16LE and back. Bytes that are not UTF-8 travel as the
// lone surrogates U+DC80 to U+DCFF, so any bytes come back unchanged (the
// shell-link code page turns them into U+FFFD, which would lose them). False
// for an odd byte count or a lone surrogate outside that range.
std::string ToUtf16Le(const std::string& text);
bool FromUtf16Le(const std::string& units, std::string* text);
