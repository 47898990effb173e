// The formatter streams every character straight to the caller's sink. Numbers are written
// most significant digit first by dividing by a falling power of the base, so nothing is
// reversed, nothing is buffered and nothing is allocated: the same code builds ISP command
// lines for the boot ROM, console messages and the version text in a fixed-size buffer.
#include "format/format.h"

#include <cstring>

namespace {

// Where the characters of one call go, and how many went there. The count is unsigned so
// that even an absurd width cannot overflow it; callers get it back as an int.
struct Output {
  CharSink sink;
  void* context;
  uint32_t count;
};

void Emit(Output& out, int ch) {
  out.sink(ch, out.context);
  ++out.count;
}

void EmitText(Output& out, const char* text) {
  while (*text != '\0') Emit(out, static_cast<unsigned char>(*text++));
}

// Writes count spaces when count is positive and returns how many were written. Widths
// are worked out in 64 bits: "%*" takes any 32-bit argument, and the difference of two
// such widths does not fit an int.
int64_t EmitSpaces(Output& out, int64_t count) {
  for (int64_t i = 0; i < count; ++i) Emit(out, ' ');
  return count > 0 ? count : 0;
}

// The digit positions of a base: the base, how many positions, the divisor of the first,
// and whether a sign may stand before it. Any base but 16, 8 and 2 is taken as 10.
struct Positions {
  uint32_t base;
  int count;
  uint32_t divisor;
  bool mayBeSigned;
};

Positions PositionsOf(int base) {
  switch (base) {
    case 16: return {16, 8, 0x10000000u, false};
    case 8: return {8, 11, 1u << 30, true};
    case 2: return {2, 32, 1u << 31, false};
    default: return {10, 10, 1000000000u, true};
  }
}

// The sign character that goes before value ('-', '+', ' ', or 0 for none); a negative
// value is turned into its magnitude. The most negative value negates to itself as an
// unsigned number, which is exactly its magnitude 2147483648, so no signed arithmetic is
// involved.
int TakeSign(uint32_t& value, int signMode) {
  if (signMode == kSignNone) return 0;
  if ((value & 0x80000000u) != 0) {
    value = 0u - value;
    return '-';
  }
  if (signMode == kSignPlus) return '+';
  if (signMode == kSignSpace) return ' ';
  return 0;
}

void EmitNumber(Output& out, uint32_t value, int base, int width, int signMode, unsigned fillFlags,
                int prefix) {
  const Positions positions = PositionsOf(base);
  const bool blankFill = (fillFlags & kBlankFill) != 0;
  const bool grouping = positions.base == 10 && (fillFlags & kGrouping) != 0;
  // Base 16 takes the sign mode as the letter case.
  const char* digits =
      (positions.base == 16 && signMode != kSignNone) ? "0123456789abcdef" : "0123456789ABCDEF";
  const int signChar = positions.mayBeSigned ? TakeSign(value, signMode) : 0;
  const int digitPositions = positions.count;
  uint32_t divisor = positions.divisor;

  // Leading positions to leave out so that the field is width characters wide; the width
  // counts the prefix and the sign. With grouping the three separators are positions too.
  int64_t suppress = digitPositions + (grouping ? 3 : 0) - static_cast<int64_t>(width);
  if (prefix != 0) ++suppress;
  if (signChar != 0) ++suppress;

  // A width beyond every position the base has is always made up with spaces.
  if (suppress < 0) {
    EmitSpaces(out, -suppress);
    suppress = 0;
  }

  bool started = false;
  for (int position = 0; position < digitPositions; ++position) {
    const uint32_t digit = (value / divisor) % positions.base;
    const bool last = position == digitPositions - 1;
    if (!started && (digit != 0 || last || (!blankFill && suppress <= 0))) {
      // The field starts here. Zero fill puts the sign and prefix at its left edge,
      // blank fill right before the first significant digit ("-0042", "  -42").
      started = true;
      suppress = 0;
      if (signChar == ' ') Emit(out, ' ');
      if (prefix != 0) Emit(out, prefix);
      if (signChar == '-' || signChar == '+') Emit(out, signChar);
    }
    if (suppress <= 0) Emit(out, started ? digits[digit] : ' ');
    --suppress;
    // Separators follow the billions, millions and thousands. One that falls before the
    // first digit is still part of the width, so it shows as a space.
    if (grouping && (divisor == 1000000000u || divisor == 1000000u || divisor == 1000u)) {
      if (suppress <= 0) Emit(out, started ? ',' : ' ');
      --suppress;
    }
    divisor /= positions.base;
  }
}

// Writes up to count characters of text, stopping early at a NUL, right-justified in
// outer unless leftJustify; a shorter string is padded on the right to outer.
void EmitField(Output& out, const char* text, int64_t count, int64_t outer, bool leftJustify) {
  const int64_t leading = leftJustify ? 0 : EmitSpaces(out, outer - count);
  int64_t written = 0;
  while (written < count && text[written] != '\0') {
    Emit(out, static_cast<unsigned char>(text[written]));
    ++written;
  }
  EmitSpaces(out, outer - leading - written);
}

void EmitDumpAddress(Output& out, uint32_t address) {
  EmitNumber(out, address, 16, 4, kSignNone, 0, 0);
  EmitText(out, ": ");
}

// The printable column of a dump line: ASCII as itself, anything else as a dot, so that
// control bytes from the switch cannot move the cursor or clear the console.
void EmitDumpCharacters(Output& out, const uint8_t* bytes, int count) {
  Emit(out, ' ');
  for (int i = 0; i < count; ++i) Emit(out, bytes[i] >= 0x20 && bytes[i] <= 0x7E ? bytes[i] : '.');
  EmitText(out, "\r\n");
}

// The short forms take a plain put-character function such as PrintChar or SendChar;
// the context is a pointer to it. The character reaches it as a char widened to int,
// the way those functions have always been called.
void PutCharAdapter(int ch, void* context) {
  const PutCharFn put = *static_cast<const PutCharFn*>(context);
  put(static_cast<int>(static_cast<char>(ch)));
}

void TerminateBuffer(TextBuffer* buffer) {
  if (buffer->capacity != 0) buffer->text[buffer->length] = '\0';
}

// ---- The steps of FormatText: read a conversion, then write it. ----

// The argument list of one FormatText call, held in a struct so that the steps can take it
// by reference: a va_list passed by value may not be used again by its caller.
struct Arguments {
  va_list list;
};

// What the characters between "%" and the conversion character asked for.
struct Conversion {
  int32_t inner = 0;  // the number being read: width of a number, length of a string
  int32_t outer = 0;  // the number before ".": the width that the whole field is padded to
  bool zeroFill = false;
  bool fillDecided = false;
  bool leftJustify = false;
  bool grouping = false;
  int signMode = kSignNone;
  int prefix = 0;

  unsigned Fill() const { return zeroFill ? 0u : unsigned{kBlankFill}; }
};

// Reads the flags, widths and prefixes at p into conversion, taking the arguments that
// "*" and "@" ask for. Returns the conversion character, or the format's NUL.
const char* ReadConversion(const char* p, Conversion& conversion, Arguments& arguments) {
  for (;; ++p) {
    const char ch = *p;
    if (ch >= '0' && ch <= '9') {
      // Only the first digit of the conversion chooses the fill, so "%10u" stays blank.
      if (!conversion.fillDecided) {
        conversion.zeroFill = ch == '0';
        conversion.fillDecided = true;
      }
      // A run of digits too long for 32 bits stops growing instead of overflowing.
      const int64_t next = static_cast<int64_t>(conversion.inner) * 10 + (ch - '0');
      conversion.inner = next > INT32_MAX   ? INT32_MAX
                         : next < INT32_MIN ? INT32_MIN
                                            : static_cast<int32_t>(next);
      continue;
    }
    switch (ch) {
      case '*': conversion.inner = va_arg(arguments.list, int); break;
      case '.':
        conversion.outer = conversion.inner;
        conversion.inner = 0;
        break;
      case '+': conversion.signMode = kSignPlus; break;
      case ' ': conversion.signMode = kSignSpace; break;
      case '-': conversion.leftJustify = true; break;
      case ',': conversion.grouping = true; break;
      case '$': conversion.prefix = '$'; break;
      case '@': conversion.prefix = va_arg(arguments.list, int); break;
      default: return p;
    }
  }
}

// "%s" and "%S": a single number is a maximum length ("%10s"); the width comes before a ".".
void WriteString(Output& out, char ch, const Conversion& conversion, Arguments& arguments) {
  int64_t length;
  const char* text;
  if (ch == 's') {
    text = va_arg(arguments.list, const char*);
    length = text != nullptr ? static_cast<int64_t>(strlen(text)) : 0;
  } else {
    length = va_arg(arguments.list, int);
    text = va_arg(arguments.list, const char*);
    // A missing string prints as an empty one rather than taking the program down, and a
    // negative length is no characters at all.
    if (text == nullptr || length < 0) length = 0;
  }
  const int64_t count =
      conversion.inner > 0 && conversion.inner <= length ? conversion.inner : length;
  EmitField(out, text != nullptr ? text : "", count, conversion.outer, conversion.leftJustify);
}

// "%I": an IPv4 address held with its first byte lowest, as it sits in memory.
void WriteAddress(Output& out, const Conversion& conversion, Arguments& arguments) {
  const uint32_t address = va_arg(arguments.list, uint32_t);
  for (int shift = 0; shift < 32; shift += 8) {
    if (shift != 0) Emit(out, '.');
    EmitNumber(out, (address >> shift) & 0xFFu, 10, conversion.inner, kSignNone, conversion.Fill(),
               0);
  }
}

// A number. The leading spaces come from the inner width, not from the printed length, so
// "%8.4u" is eight characters wide and "%8.u" puts eight spaces before the digits.
void WriteNumber(Output& out, int base, int signMode, const Conversion& conversion,
                 Arguments& arguments) {
  const uint32_t value = va_arg(arguments.list, uint32_t);
  const int64_t leading =
      conversion.leftJustify ? 0 : EmitSpaces(out, int64_t{conversion.outer} - conversion.inner);
  const uint32_t before = out.count;
  EmitNumber(out, value, base, conversion.inner, signMode,
             conversion.Fill() | (conversion.grouping ? unsigned{kGrouping} : 0u),
             conversion.prefix);
  const int64_t digits = out.count - before;
  EmitSpaces(out, conversion.outer - leading - digits);
}

// "d" prints a "-" before a negative value, and base 16 lower-case letters, unless "+" or
// " " chose another sign mode.
int SignedUnlessSet(int signMode) { return signMode == kSignNone ? kSignMinus : signMode; }

void WriteConversion(Output& out, char ch, const Conversion& conversion, Arguments& arguments) {
  const int signMode = conversion.signMode;
  switch (ch) {
    case 'c': Emit(out, va_arg(arguments.list, int) & 0xFF); return;
    case 's':
    case 'S': WriteString(out, ch, conversion, arguments); return;
    case 'I':
    case 'i': WriteAddress(out, conversion, arguments); return;
    case 'u': WriteNumber(out, 10, kSignNone, conversion, arguments); return;
    case 'd': WriteNumber(out, 10, SignedUnlessSet(signMode), conversion, arguments); return;
    case 'b': WriteNumber(out, 2, kSignNone, conversion, arguments); return;
    case 'o': WriteNumber(out, 8, signMode, conversion, arguments); return;
    case 'x':
    case 'p': WriteNumber(out, 16, SignedUnlessSet(signMode), conversion, arguments); return;
    case 'X':
    case 'P': WriteNumber(out, 16, signMode, conversion, arguments); return;
    // Not a conversion: the character stands for itself ("%%" is "%", "%lu" is "lu").
    default: Emit(out, static_cast<unsigned char>(ch)); return;
  }
}

}  // namespace

// ---- Core operations. ----

int FormatNumber(CharSink sink, void* context, uint32_t value, int base, int width, int signMode,
                 unsigned fillFlags, int prefix) {
  Output out{sink, context, 0};
  EmitNumber(out, value, base, width, signMode, fillFlags, prefix);
  return static_cast<int>(out.count);
}

int PutString(CharSink sink, void* context, const char* text) {
  Output out{sink, context, 0};
  if (text != nullptr) EmitText(out, text);
  return static_cast<int>(out.count);
}

int PutChars(CharSink sink, void* context, const char* chars, int count) {
  Output out{sink, context, 0};
  if (chars == nullptr) return 0;
  for (int i = 0; i < count; ++i) Emit(out, static_cast<unsigned char>(chars[i]));
  return static_cast<int>(out.count);
}

int PutSpaces(CharSink sink, void* context, int enable, int count) {
  if (enable == 0 || count <= 0) return 0;
  Output out{sink, context, 0};
  EmitSpaces(out, count);
  return count;
}

int FormatText(CharSink sink, void* context, const char* format, va_list args) {
  Output out{sink, context, 0};
  if (format == nullptr) return 0;
  Arguments arguments;
  va_copy(arguments.list, args);
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      Emit(out, static_cast<unsigned char>(*p));
      continue;
    }
    Conversion conversion;
    p = ReadConversion(p + 1, conversion, arguments);
    // A format that ends inside a conversion adds nothing for it.
    if (*p == '\0') break;
    WriteConversion(out, *p, conversion, arguments);
  }
  va_end(arguments.list);
  return static_cast<int>(out.count);
}

void DumpBytes(CharSink sink, void* context, const uint8_t* data, int length, uint32_t start,
               int perLine) {
  Output out{sink, context, 0};
  if (data == nullptr || length < 0) length = 0;
  if (perLine < 1) perLine = 1;
  // The extra space that splits a line into halves, before this column.
  const int middle = perLine / 2 + perLine % 2;

  EmitText(out, "\r\n");
  EmitDumpAddress(out, start);
  int lineStart = 0;
  for (int j = 0; j < length; ++j) {
    const int column = j % perLine;
    if (j != 0 && column == 0) {
      EmitDumpCharacters(out, data + lineStart, j - lineStart);
      lineStart = j;
      EmitDumpAddress(out, start + static_cast<uint32_t>(j));
    }
    if (column == middle) Emit(out, ' ');
    EmitNumber(out, data[j], 16, 2, kSignNone, 0, 0);
    Emit(out, ' ');
  }
  // Fill the hex part of a short last line so that its characters line up with the rest.
  // An empty dump still prints its address line, with no byte on it (doc/differences.md).
  for (int column = length - lineStart; column < perLine; ++column) {
    if (column == middle) Emit(out, ' ');
    EmitText(out, "   ");
  }
  EmitDumpCharacters(out, data + lineStart, length - lineStart);
}

void DumpWords(CharSink sink, void* context, const uint32_t* words, int count, uint32_t start,
               int perLine) {
  Output out{sink, context, 0};
  if (words == nullptr || count < 0) count = 0;
  if (perLine < 1) perLine = 1;

  // Addresses are byte addresses: word index times four.
  EmitText(out, "\r\n");
  EmitDumpAddress(out, start * 4u);
  int lineStart = 0;
  for (int j = 0; j < count; ++j) {
    if (j != 0 && j % perLine == 0) {
      EmitText(out, "  \r\n");
      lineStart = j;
      EmitDumpAddress(out, (start + static_cast<uint32_t>(j)) * 4u);
    }
    EmitNumber(out, words[j], 16, 8, kSignNone, 0, 0);
    Emit(out, ' ');
  }
  for (int column = count - lineStart; column < perLine; ++column) EmitText(out, "   ");
  EmitText(out, "  \r\n");
}

// ---- Short forms over a PutCharFn. ----

int FormatNumber(PutCharFn put, uint32_t value, int base, int width, int signMode,
                 unsigned fillFlags, int prefix) {
  return FormatNumber(PutCharAdapter, &put, value, base, width, signMode, fillFlags, prefix);
}

int FormatText(PutCharFn put, const char* format, va_list args) {
  return FormatText(PutCharAdapter, &put, format, args);
}

void DumpBytes(PutCharFn put, const uint8_t* data, int length, uint32_t start, int perLine) {
  DumpBytes(PutCharAdapter, &put, data, length, start, perLine);
}

void DumpWords(PutCharFn put, const uint32_t* words, int count, uint32_t start, int perLine) {
  DumpWords(PutCharAdapter, &put, words, count, start, perLine);
}

int PutDecimal(PutCharFn put, uint32_t value, int widthCode, unsigned fillFlags, int prefix) {
  // A negative code asks for a signed number; its complement is the width (-1 is width 0).
  if (widthCode < 0) return FormatNumber(put, value, 10, ~widthCode, kSignMinus, fillFlags, prefix);
  return FormatNumber(put, value, 10, widthCode, kSignNone, fillFlags, prefix);
}

int PutHex2(PutCharFn put, uint32_t value) {
  return FormatNumber(put, value, 16, 2, kSignNone, 0, 0);
}
int PutHex4(PutCharFn put, uint32_t value) {
  return FormatNumber(put, value, 16, 4, kSignNone, 0, 0);
}
int PutHex8(PutCharFn put, uint32_t value) {
  return FormatNumber(put, value, 16, 8, kSignNone, 0, 0);
}

// ---- Text buffer. ----

void TextBufferPut(int ch, void* context) {
  TextBuffer* buffer = static_cast<TextBuffer*>(context);
  // Storage of no bytes has no slot to write, not even the terminator.
  if (buffer->capacity == 0) return;
  // Once full, every further character lands in the last slot, where the terminator that
  // the appending operation stores afterwards replaces it: the text is cut, never overrun.
  buffer->text[buffer->length] = static_cast<char>(ch);
  if (buffer->length < buffer->capacity - 1) ++buffer->length;
}

void TextBufferInit(TextBuffer* buffer, char* storage, uint16_t capacity) {
  buffer->text = storage;
  buffer->length = 0;
  buffer->capacity = capacity;
}

int TextBufferAppendChar(TextBuffer* buffer, int ch) {
  const int before = buffer->length;
  TextBufferPut(ch, buffer);
  TerminateBuffer(buffer);
  return buffer->length - before;
}

int TextBufferAppendString(TextBuffer* buffer, const char* text) {
  const int before = buffer->length;
  PutString(TextBufferPut, buffer, text);
  TerminateBuffer(buffer);
  return buffer->length - before;
}

int TextBufferAppendFormat(TextBuffer* buffer, const char* format, ...) {
  const int before = buffer->length;
  va_list args;
  va_start(args, format);
  FormatText(TextBufferPut, buffer, format, args);
  va_end(args);
  TerminateBuffer(buffer);
  return buffer->length - before;
}

int FormatNumberToBuffer(char* storage, uint16_t capacity, uint32_t value, int base, int width,
                         int signMode, unsigned fillFlags, int prefix) {
  TextBuffer buffer{storage, 0, capacity};
  FormatNumber(TextBufferPut, &buffer, value, base, width, signMode, fillFlags, prefix);
  TerminateBuffer(&buffer);
  return buffer.length;
}

int FormatToBuffer(char* storage, uint16_t capacity, const char* format, ...) {
  TextBuffer buffer{storage, 0, capacity};
  va_list args;
  va_start(args, format);
  FormatText(TextBufferPut, &buffer, format, args);
  va_end(args);
  TerminateBuffer(&buffer);
  return buffer.length;
}
