// wsprintfA: Windows' own small formatter, not the C library's printf.
//
// %[-][#][0][width][.precision][size]type with the flags in that order;
// sizes h (16 bits), l (32 bits, as LONG is on Windows), w (wide c/s),
// I (pointer-sized), I32 and I64; types c C d i u x X s S p and %%. No
// floating point. Output stops at 1023 characters and a terminator.
// Details that differ from printf, as Windows' user32 formats them:
// - a precision counts the sign: "%.5d" of -42 gives "-0042";
// - the 0x of "#" is outside the width: "%#5x" of 42 gives "   0x2a";
// - a precision of 0 is 1 for numbers and no limit for strings;
// - a null string prints as "(null)";
// - an unknown type character is copied and takes no argument.
#include <cstdarg>
#include <cstdint>
#include <cstring>

#include "mapisim/decl/win32.h"

namespace {

constexpr int kCapacity = 1024; // bytes, terminator included

class Output {
public:
    explicit Output(char* buffer) : buffer_(buffer) {}

    void Put(char c)
    {
        if (length_ < kCapacity - 1) buffer_[length_++] = c;
    }
    void Put(const char* text, std::size_t count)
    {
        for (std::size_t i = 0; i < count; ++i) Put(text[i]);
    }
    void Pad(char c, int count)
    {
        for (int i = 0; i < count; ++i) Put(c);
    }
    bool Full() const { return length_ >= kCapacity - 1; }
    int Finish()
    {
        buffer_[length_] = '\0';
        return length_;
    }

private:
    char* buffer_;
    int length_ = 0;
};

enum class Size { Default, Short, Long, Wide, Pointer, Int32, Int64 };

struct Spec {
    bool left = false;
    bool alternate = false;
    bool zero = false;
    int width = 0;
    int precision = -1; // none given
    Size size = Size::Default;
};

// Widths past the output's capacity change nothing; the cap keeps it an int.
int ReadNumber(const char*& at)
{
    int number = 0;
    while (*at >= '0' && *at <= '9') {
        if (number < kCapacity) number = number * 10 + (*at - '0');
        ++at;
    }
    return number;
}

// Wide characters become 8-bit as Latin-1 does; anything above is "?".
char Narrow(unsigned value) { return value <= 0xFF ? static_cast<char>(value) : '?'; }

void PutField(Output& out, const Spec& spec, const char* text, std::size_t length)
{
    const int padding =
        spec.width > static_cast<int>(length) ? spec.width - static_cast<int>(length) : 0;
    if (!spec.left) out.Pad(' ', padding);
    out.Put(text, length);
    if (spec.left) out.Pad(' ', padding);
}

void PutString(Output& out, const Spec& spec, const char* text)
{
    if (text == nullptr) text = "(null)";
    std::size_t length = std::strlen(text);
    if (spec.precision > 0 && static_cast<std::size_t>(spec.precision) < length)
        length = static_cast<std::size_t>(spec.precision);
    PutField(out, spec, text, length);
}

void PutWideString(Output& out, const Spec& spec, const WCHAR* text)
{
    if (text == nullptr) return PutString(out, spec, nullptr);
    std::size_t length = 0;
    while (text[length] != 0) ++length;
    if (spec.precision > 0 && static_cast<std::size_t>(spec.precision) < length)
        length = static_cast<std::size_t>(spec.precision);
    const int padding =
        spec.width > static_cast<int>(length) ? spec.width - static_cast<int>(length) : 0;
    if (!spec.left) out.Pad(' ', padding);
    for (std::size_t i = 0; i < length; ++i) out.Put(Narrow(text[i]));
    if (spec.left) out.Pad(' ', padding);
}

void PutNumber(Output& out, const Spec& spec, bool negative, uint64_t magnitude, unsigned base,
               bool upper)
{
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char reversed[24];
    int count = 0;
    do {
        reversed[count++] = digits[magnitude % base];
        magnitude /= base;
    } while (magnitude != 0);

    // The body is sign and digits; precision and zero padding both fill
    // between the two, and both count the sign.
    const int signLength = negative ? 1 : 0;
    const int precision = spec.precision > 0 ? spec.precision : 1;
    int zeros = precision - signLength - count;
    if (zeros < 0) zeros = 0;
    int bodyLength = signLength + zeros + count;
    if (spec.zero && !spec.left && spec.width > bodyLength) {
        zeros += spec.width - bodyLength;
        bodyLength = spec.width;
    }
    const int padding = spec.width > bodyLength ? spec.width - bodyLength : 0;

    if (!spec.left) out.Pad(' ', padding);
    if (spec.alternate && base == 16) out.Put(upper ? "0X" : "0x", 2);
    if (negative) out.Put('-');
    out.Pad('0', zeros);
    while (count > 0) out.Put(reversed[--count]);
    if (spec.left) out.Pad(' ', padding);
}

void PutCharacter(Output& out, const Spec& spec, char c) { PutField(out, spec, &c, 1); }

// Reads the fields between '%' and the type character. The flags are only
// recognised in their documented order, as Windows does.
Spec ReadSpec(const char*& at)
{
    Spec spec;
    if (*at == '-') {
        spec.left = true;
        ++at;
    }
    if (*at == '#') {
        spec.alternate = true;
        ++at;
    }
    if (*at == '0') {
        spec.zero = true;
        ++at;
    }
    spec.width = ReadNumber(at);
    if (*at == '.') {
        ++at;
        spec.precision = ReadNumber(at);
    }
    switch (*at) {
        case 'h':
            spec.size = Size::Short;
            ++at;
            break;
        case 'l':
            spec.size = Size::Long;
            ++at;
            break;
        case 'w':
            spec.size = Size::Wide;
            ++at;
            break;
        case 'I':
            ++at;
            if (at[0] == '6' && at[1] == '4') {
                spec.size = Size::Int64;
                at += 2;
            } else if (at[0] == '3' && at[1] == '2') {
                spec.size = Size::Int32;
                at += 2;
            } else {
                spec.size = Size::Pointer;
            }
            break;
        default:
            break;
    }
    return spec;
}

int Format(char* buffer, const char* format, va_list args)
{
    Output out(buffer);
    const char* at = format;
    while (*at != '\0' && !out.Full()) {
        if (*at != '%') {
            out.Put(*at++);
            continue;
        }
        ++at;
        const Spec spec = ReadSpec(at);
        const char type = *at;
        if (type == '\0') break;
        ++at;

        const bool wide = spec.size == Size::Long || spec.size == Size::Wide;
        switch (type) {
            case 'c':
            case 'C': {
                // c is 8-bit and C 16-bit unless a size says otherwise; a zero
                // character with h or l is skipped, as documented.
                const unsigned value = static_cast<unsigned>(va_arg(args, int));
                const bool isWide = type == 'C' ? spec.size != Size::Short : wide;
                if ((spec.size == Size::Short || wide) &&
                    (isWide ? (value & 0xFFFF) : (value & 0xFF)) == 0)
                    break;
                PutCharacter(out, spec, isWide ? Narrow(value & 0xFFFF) : static_cast<char>(value));
                break;
            }
            case 's':
            case 'S': {
                const bool isWide = type == 'S' ? spec.size != Size::Short : wide;
                if (isWide)
                    PutWideString(out, spec, va_arg(args, const WCHAR*));
                else
                    PutString(out, spec, va_arg(args, const char*));
                break;
            }
            case 'd':
            case 'i': {
                int64_t value;
                switch (spec.size) {
                    case Size::Int64:
                        value = va_arg(args, long long);
                        break;
                    case Size::Pointer:
                        value = va_arg(args, intptr_t);
                        break;
                    case Size::Short:
                        value = static_cast<short>(va_arg(args, int));
                        break;
                    default:
                        value = va_arg(args, int);
                        break; // l is 32 bits, as on Windows
                }
                const bool negative = value < 0;
                const uint64_t magnitude =
                    negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
                PutNumber(out, spec, negative, magnitude, 10, false);
                break;
            }
            case 'u':
            case 'x':
            case 'X': {
                uint64_t value;
                switch (spec.size) {
                    case Size::Int64:
                        value = va_arg(args, unsigned long long);
                        break;
                    case Size::Pointer:
                        value = va_arg(args, uintptr_t);
                        break;
                    case Size::Short:
                        value = static_cast<unsigned short>(va_arg(args, unsigned));
                        break;
                    default:
                        value = va_arg(args, unsigned);
                        break;
                }
                PutNumber(out, spec, false, value, type == 'u' ? 10 : 16, type == 'X');
                break;
            }
            case 'p': {
                // Pointer-wide, upper case, zero-filled to all its digits.
                Spec pointer = spec;
                pointer.precision = static_cast<int>(2 * sizeof(void*));
                PutNumber(out, pointer, false, reinterpret_cast<uintptr_t>(va_arg(args, void*)), 16,
                          true);
                break;
            }
            default:
                out.Put(type); // "%%" gives "%"
                break;
        }
    }
    return out.Finish();
}

} // namespace

extern "C" MAPISIM_API int wsprintfA(LPSTR buffer, LPCSTR format, ...)
{
    if (buffer == nullptr || format == nullptr) return 0;
    va_list args;
    va_start(args, format);
    const int length = Format(buffer, format, args);
    va_end(args);
    return length;
}
