// The engine's wide text: UTF-16 units, always terminated, in an exact-size heap
// buffer that the WString always owns.
#pragma once

#include "Core/Types.h"

class String;

class WString {
public:
    char16_t* data;  // length + 1 units, the last 0; null only when empty
    u32 length;      // units, without the terminator

    WString() : data(nullptr), length(0) {}
    // A null text gives the empty WString; an empty non-null text a one-unit buffer.
    explicit WString(const char16_t* text);
    WString(const WString& other);
    WString(WString&& other) noexcept : data(other.data), length(other.length) {
        other.data = nullptr;
        other.length = 0;
    }
    ~WString() { Release(); }

    WString& operator=(const WString& other) {
        Assign(other);
        return *this;
    }
    WString& operator=(WString&& other) noexcept;

    static WString CopyConstruct(const WString& source) { return WString(source); }
    // copy: n units of p are copied and terminated. !copy: p, a MemAlloc buffer of
    // n + 1 units holding a terminated text, is taken over. Null p gives empty.
    static WString FromBuffer(char16_t* p, u32 n, bool copy);
    // The byte widened with sign extension (0xE9 gives 0xFFE9).
    static WString FromChar(char c);
    static WString FromUnit(u16 unit);
    // Code-page text (kind 1), up to its zero byte.
    static WString FromNarrow(const char* text);
    static WString FromString(const String& s);
    static WString FromInt(i32 v, int radix);
    static WString FromReal(double v, int digits);

    void Release();
    void Assign(const WString& source);
    void AssignText(const char16_t* text);
    void AssignNarrow(const char* text);
    void Append(const WString& tail);

    // Replaces the text by n bytes decoded in the given kind (see TextCodec.h).
    // A decoded zero ends the text; undecodable characters become U+FFFD; an
    // incomplete character at the end is dropped.
    void Decode(const void* bytes, u32 n, int kind);
    // Encodes the text into buffer (size bytes) and zero-terminates it there.
    // Characters are written in order while each fits with room for the
    // terminator. Returns the bytes the whole text needs, without terminator.
    u32 Encode(void* buffer, u32 size, int kind) const;

    static WString Concat(const WString& a, const WString& b);
    static WString ConcatText(const WString& a, const char16_t* text);
    static WString TextConcat(const char16_t* text, const WString& b);
    void SetConcat(const WString& a, const WString& b);
    void SetConcatText(const WString& a, const char16_t* text);
    void SetTextConcat(const char16_t* text, const WString& b);

    // Units first..last inclusive, with the rules of String::Substring.
    WString Mid(int first, int last) const;
    // The first position units of source, then text, then the rest; a negative
    // position or one beyond the last index appends.
    static WString Insert(const WString& source, int position, const WString& text);

    // Address of unit i; no bounds check.
    char16_t* At(u32 i) { return data + i; }
    const char16_t* At(u32 i) const { return data + i; }
    char16_t UnitAt(u32 i) const { return i < length ? data[i] : 0; }
    bool IsEmpty() const { return length == 0; }

    // Index of the first (or, fromEnd, the last) match; -1 when none, when this
    // WString is empty or when the needle is empty.
    int Find(const WString& needle, bool fromEnd) const;

    // ToReal stores the parsed value in any case; both are true only when the
    // whole text is a number (the empty text is 0).
    bool ToReal(double* out) const;
    bool ToInt(i32* out) const;

    static bool Equals(const WString& a, const WString& b);
    static bool EqualsText(const WString& a, const char16_t* text);
    static int Compare(const WString& a, const WString& b);
    static int CompareText(const WString& a, const char16_t* text);

    friend bool operator==(const WString& a, const WString& b) { return Equals(a, b); }
    friend bool operator==(const WString& a, const char16_t* b) { return EqualsText(a, b); }
    friend bool operator<(const WString& a, const WString& b) { return Compare(a, b) < 0; }
    friend WString operator+(const WString& a, const WString& b) { return Concat(a, b); }
};

// Without leading and trailing spaces and tabs.
WString Trim(const WString& s);

// Three-way order (-1, 0, 1) for the ordered maps.
struct WStringOrder {
    int operator()(const WString& a, const WString& b) const;
};
