// The utility's own printf-style formatter.
//
// Every ISP command line that goes to the switch, every message with arguments and the
// firmware version text are produced here. The engine never builds a whole line: it hands
// each character, in order, to a sink the caller chooses (the serial port, the console or
// a bounded TextBuffer). It keeps no state between calls and allocates nothing.
//
// Conversions take 32-bit arguments only (pass unsigned or int; "%s" takes a C string).
#pragma once

#include <cstdarg>
#include <cstdint>

// A core sink: the character (its low byte) and the caller's context.
using CharSink = void (*)(int ch, void* context);

// A plain put-character function such as PrintChar or SendChar. Its result is ignored.
using PutCharFn = int (*)(int ch);

// Sign argument of FormatNumber. In base 16 it picks the letter case instead:
// 0 gives "A"-"F", any other value "a"-"f". Bases 2 and 16 never print a sign.
enum SignMode : int {
  kSignNone = 0,   // unsigned
  kSignMinus = 1,  // "-" before a negative value
  kSignPlus = 2,   // "+" before a non-negative value, "-" before a negative one
  kSignSpace = 3,  // " " before a non-negative value, "-" before a negative one
};

// Fill flags of FormatNumber.
enum : unsigned {
  kBlankFill = 1u,  // leading zeros inside the width show as spaces (clear: zero fill)
  kGrouping = 2u,   // "," every three digits (base 10 only)
};

// A bounded, caller-owned text buffer. After every append: length <= capacity - 1 and
// text[length] == '\0'. Output that does not fit is cut to capacity - 1 characters.
struct TextBuffer {
  char* text;
  uint16_t length;
  uint16_t capacity;  // bytes of storage, terminator included; at least 1
};

// ---- Core operations: sink and context first. ----
int FormatNumber(CharSink sink, void* context, uint32_t value, int base, int width, int signMode,
                 unsigned fillFlags, int prefix);
int PutString(CharSink sink, void* context, const char* text);
int PutChars(CharSink sink, void* context, const char* chars, int count);
int PutSpaces(CharSink sink, void* context, int enable, int count);
int FormatText(CharSink sink, void* context, const char* format, va_list args);
void DumpBytes(CharSink sink, void* context, const uint8_t* data, int length, uint32_t start = 0,
               int perLine = 16);
void DumpWords(CharSink sink, void* context, const uint32_t* words, int count, uint32_t start = 0,
               int perLine = 4);

// ---- Short forms over a PutCharFn. ----
int FormatNumber(PutCharFn put, uint32_t value, int base, int width, int signMode,
                 unsigned fillFlags, int prefix);
int FormatText(PutCharFn put, const char* format, va_list args);
void DumpBytes(PutCharFn put, const uint8_t* data, int length, uint32_t start = 0,
               int perLine = 16);
void DumpWords(PutCharFn put, const uint32_t* words, int count, uint32_t start = 0,
               int perLine = 4);
// Base 10. widthCode >= 0: unsigned, width widthCode. widthCode < 0: signed, width ~widthCode.
int PutDecimal(PutCharFn put, uint32_t value, int widthCode, unsigned fillFlags, int prefix);
int PutHex2(PutCharFn put, uint32_t value);
int PutHex4(PutCharFn put, uint32_t value);
int PutHex8(PutCharFn put, uint32_t value);

// ---- Text buffer. ----
void TextBufferPut(int ch, void* buffer);  // the buffer sink; context is a TextBuffer*
void TextBufferInit(TextBuffer* buffer, char* storage, uint16_t capacity);
int TextBufferAppendChar(TextBuffer* buffer, int ch);
int TextBufferAppendString(TextBuffer* buffer, const char* text);
int TextBufferAppendFormat(TextBuffer* buffer, const char* format, ...);
int FormatNumberToBuffer(char* storage, uint16_t capacity, uint32_t value, int base, int width,
                         int signMode, unsigned fillFlags, int prefix);
int FormatToBuffer(char* storage, uint16_t capacity, const char* format, ...);
