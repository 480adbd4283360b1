// Reads the binary dialog templates, classic and extended, field by field with the sizes
// checked at every step (see DialogTemplate.h).
#include "DialogTemplate.h"

#include <cstring>

namespace platform {
namespace {

// The extended form starts with its version 1 and this signature where the classic form
// has the low word of its style.
constexpr WORD kExtendedSignature = 0xFFFF;
// A field that starts with this word holds an ordinal in the next word.
constexpr WORD kOrdinalMark = 0xFFFF;

class Reader {
public:
    Reader(const BYTE* data, size_t size) : data_(data), size_(size) {}

    bool Word(WORD& out) {
        if (size_ - at_ < 2) return false;
        out = static_cast<WORD>(data_[at_] | (data_[at_ + 1] << 8));
        at_ += 2;
        return true;
    }
    bool Dword(DWORD& out) {
        WORD low = 0, high = 0;
        if (!Word(low) || !Word(high)) return false;
        out = low | (static_cast<DWORD>(high) << 16);
        return true;
    }
    bool Short(short& out) {
        WORD w = 0;
        if (!Word(w)) return false;
        out = static_cast<short>(w);
        return true;
    }
    bool Byte(BYTE& out) {
        if (size_ - at_ < 1) return false;
        out = data_[at_++];
        return true;
    }
    // A zero-terminated UTF-16 text.
    bool Text(std::string& out) {
        out.clear();
        for (;;) {
            WORD c = 0;
            if (!Word(c)) return false;
            if (c == 0) return true;
            out += static_cast<char>(c < 0x100 ? c : '?');
        }
    }
    bool Name(TemplateName& out) {
        WORD first = 0;
        if (size_ - at_ < 2) return false;
        first = static_cast<WORD>(data_[at_] | (data_[at_ + 1] << 8));
        if (first == kOrdinalMark) {
            at_ += 2;
            out.isOrdinal = true;
            out.text.clear();
            return Word(out.ordinal);
        }
        out.isOrdinal = false;
        return Text(out.text);
    }
    bool Bytes(size_t count, std::vector<BYTE>& out) {
        if (size_ - at_ < count) return false;
        out.assign(data_ + at_, data_ + at_ + count);
        at_ += count;
        return true;
    }
    // Control records start on a 4-byte boundary of the template.
    bool AlignToDword() {
        const size_t aligned = (at_ + 3) & ~static_cast<size_t>(3);
        // The last record may end the resource without its padding.
        at_ = aligned <= size_ ? aligned : size_;
        return true;
    }

private:
    const BYTE* data_;
    size_t size_;
    size_t at_ = 0;
};

bool ReadItem(Reader& r, bool extended, DialogItemTemplate& item) {
    r.AlignToDword();
    if (extended) {
        if (!r.Dword(item.helpId) || !r.Dword(item.exStyle) || !r.Dword(item.style)) return false;
    } else {
        if (!r.Dword(item.style) || !r.Dword(item.exStyle)) return false;
    }
    if (!r.Short(item.x) || !r.Short(item.y) || !r.Short(item.cx) || !r.Short(item.cy)) return false;
    if (extended) {
        if (!r.Dword(item.id)) return false;
    } else {
        WORD id = 0;
        if (!r.Word(id)) return false;
        item.id = id;
    }
    if (!r.Name(item.windowClass) || !r.Name(item.title)) return false;
    // The size of the creation data in bytes, then the data.
    WORD extra = 0;
    if (!r.Word(extra)) return false;
    return r.Bytes(extra, item.creationData);
}

}  // namespace

bool ReadDialogTemplate(const void* data, size_t size, DialogTemplate& out) {
    out = DialogTemplate{};
    if (!data) return false;
    Reader r(static_cast<const BYTE*>(data), size);
    WORD first = 0, second = 0;
    if (!r.Word(first) || !r.Word(second)) return false;
    WORD count = 0;
    if (first == 1 && second == kExtendedSignature) {
        out.extended = true;
        if (!r.Dword(out.helpId) || !r.Dword(out.exStyle) || !r.Dword(out.style)) return false;
    } else {
        out.style = first | (static_cast<DWORD>(second) << 16);
        if (!r.Dword(out.exStyle)) return false;
    }
    if (!r.Word(count)) return false;
    if (!r.Short(out.x) || !r.Short(out.y) || !r.Short(out.cx) || !r.Short(out.cy)) return false;
    if (!r.Name(out.menu) || !r.Name(out.windowClass) || !r.Text(out.title)) return false;
    if (out.style & DS_SETFONT) {
        out.hasFont = true;
        if (!r.Word(out.pointSize)) return false;
        if (out.extended) {
            WORD weight = 0;
            BYTE italic = 0, charset = 0;
            if (!r.Word(weight) || !r.Byte(italic) || !r.Byte(charset)) return false;
        }
        if (!r.Text(out.typeface)) return false;
    }
    // Each record takes at least its fixed fields, so a count larger than the bytes left
    // could ever hold fails below before anything large is made.
    for (WORD i = 0; i < count; ++i) {
        DialogItemTemplate item;
        if (!ReadItem(r, out.extended, item)) return false;
        out.items.push_back(std::move(item));
    }
    return true;
}

const char* ControlClassOfOrdinal(WORD ordinal) {
    switch (ordinal) {
    case 0x0080: return "Button";
    case 0x0081: return "Edit";
    case 0x0082: return "Static";
    case 0x0083: return "ListBox";
    case 0x0084: return "ScrollBar";
    case 0x0085: return "ComboBox";
    default: return nullptr;
    }
}

}  // namespace platform
