// The engine's narrow (8-bit) text value. Every copy owns its own exact-size heap
// text; there is no spare capacity and no reference count. A String may also wrap
// a foreign buffer (borrowed != 0), which it then never frees.
#pragma once

#include "Core/Types.h"

class WString;
template <class T>
class Array;

class String {
public:
    char* data;     // zero-terminated text; null when empty
    u32 length;     // characters, without the terminator
    u32 borrowed;   // non-zero: data belongs to someone else and is never freed

    String() : data(nullptr), length(0), borrowed(0) {}
    String(const String& other);
    // Moving an owned String hands over its buffer and leaves the source empty.
    // Moving a borrowed String gives an owned copy; the source keeps its view.
    String(String&& other) noexcept;
    explicit String(const char* text);
    ~String() { Release(); }

    String& operator=(const String& other) {
        Assign(other);
        return *this;
    }
    String& operator=(String&& other) noexcept;

    // Construction. None of these sets borrowed.
    static String CopyConstruct(const String& source) { return String(source); }
    static String FromText(const char* text);
    // copy: n bytes of p are copied and terminated (null p gives the empty String).
    // !copy: p, an n + 1 byte MemAlloc buffer holding a terminated text, is taken
    // over as is and freed by Release.
    static String FromBuffer(char* p, u32 n, bool copy);
    static String FromChar(char c);
    // Code-page text of a wide text (one byte per unit; characters outside the
    // 16-bit range are dropped).
    static String FromWString(const WString& w);
    static String FromReal(double v, int digits);
    static String FromInt(int v, int radix);
    static String FromWord(u16 v, int radix);
    // Wraps n bytes of foreign, zero-terminated text without owning them.
    static String Borrow(const char* text, u32 n);

    // Frees the text unless borrowed; borrowed keeps its value.
    void Release();
    void Assign(const String& source);
    void AssignText(const char* text);
    void Append(const String& tail);

    static String Concat(const String& a, const String& b);
    static String ConcatText(const String& a, const char* text);
    static String TextConcat(const char* text, const String& b);
    // In-place joins: the result may alias either operand.
    void SetConcat(const String& a, const String& b);
    void SetConcatText(const String& a, const char* text);
    void SetTextConcat(const char* text, const String& b);

    // Address of character i; no bounds check.
    char* At(u32 i) { return data + i; }
    const char* At(u32 i) const { return data + i; }
    // Character i, or 0 past the end.
    char CharAt(u32 i) const { return i < length ? data[i] : 0; }
    const char* c_str() const { return data ? data : ""; }
    bool IsEmpty() const { return length == 0; }

    // Index of the first (or, fromEnd, the last) match; -1 when none, when this
    // String is empty or when the needle is empty.
    int Find(const String& needle, bool fromEnd) const;
    int FindNoCase(const String& needle, bool fromEnd) const;
    // Characters first..last inclusive; last = -1 means the last character.
    String Substring(int first, int last) const;
    // The pieces between the separators, in order, replacing what parts held: n
    // separators give n + 1 pieces, empty ones included, so the empty text is one empty
    // piece and parts[0] always exists. False (parts then empty) when memory runs out.
    bool Split(char separator, Array<String>& parts) const;

    // Whole-text number parsing: false (and 0) unless every character is used.
    bool ToFloat(float* out) const;
    bool ToInt(int* out) const;
    // strtod over the first n characters of text, which is zero-terminated at or
    // after n; true when the number used exactly those n characters.
    static bool ParseWholeNumber(const char* text, u32 n, double* value);

    static bool Equals(const String& a, const String& b);
    static bool EqualsText(const String& a, const char* text);
    static int Compare(const String& a, const String& b);
    static int CompareText(const String& a, const char* text);
    static bool Less(const String& a, const String& b);
    static bool Greater(const String& a, const String& b);

    friend bool operator==(const String& a, const String& b) { return Equals(a, b); }
    friend bool operator==(const String& a, const char* b) { return EqualsText(a, b); }
    friend bool operator<(const String& a, const String& b) { return Less(a, b); }
    friend String operator+(const String& a, const String& b) { return Concat(a, b); }
    friend String operator+(const String& a, const char* b) { return ConcatText(a, b); }
    friend String operator+(const char* a, const String& b) { return TextConcat(a, b); }
};

bool TextEqualsString(const char* text, const String& b);

// Without leading and trailing blanks (space, tab).
String Trim(const String& s);
String TrimLeading(const String& s, char c);
// The first character is never removed.
String TrimTrailing(const String& s, char c);
// Lower-cased by the current locale.
String ToLower(const String& s);

// The program-wide empty String.
const String& EmptyString();

// Three-way orders (-1, 0, 1) for the ordered maps.
struct StringOrder {
    int operator()(const String& a, const String& b) const;
};
struct StringOrderNoCase {
    int operator()(const String& a, const String& b) const;
};
