#pragma once
// The markup primitives: every byte the driver writes into a job's page
// stream is formed here, appended to a plain buffer that the job writer
// scrambles on its way into media.mml. A line end is the single byte 0x0A.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/winddi.h"

namespace tessaly::pagesmith::markup {

// "<" and the name.
void startTagOpen(std::string& out, std::string_view name);
// ">" for an element with content or "/>" for an empty one, then a line end
// when asked.
void startTagClose(std::string& out, bool empty, bool lineEnd);
// "<" name ">" and a line end.
void completeStartTag(std::string& out, std::string_view name);
// "</" name ">" and a line end.
void endTag(std::string& out, std::string_view name);

// Attributes: a blank, the name, '=' and the value in double quotes.
// Text goes in unchanged (no escaping).
void textAttribute(std::string& out, std::string_view name, std::string_view text);
void integerAttribute(std::string& out, std::string_view name, uint32_t value);
// "%g" with every ',' turned into '.'.
void realAttribute(std::string& out, std::string_view name, double value);
// "#RRGGBB" in uppercase hexadecimal, or eight digits from 0x1000000 on.
void colourAttribute(std::string& out, std::string_view name, uint32_t colour);
// Each UTF-16 unit as one byte of the ANSI code page, unescaped.
void wideTextAttribute(std::string& out, std::string_view name, std::u16string_view text);
// A FIX 28.4 value divided by 16, as a real.
void coordinateAttribute(std::string& out, std::string_view name, FIX value);

// Element content: the five special characters as named entities, units of
// 256 and above as "&#x<lowercase hex>;", every other unit as one byte of the
// ANSI code page.
void escapedText(std::string& out, std::u16string_view text);

// One UTF-16 unit in the ANSI code page (through the engine's conversion).
char ansiByte(char16_t unit);
// "%g" of the value with ',' turned into '.'.
std::string realText(double value);

}  // namespace tessaly::pagesmith::markup
