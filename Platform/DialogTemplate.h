// The binary dialog template that the resource compiler writes and Windows reads: the
// dialog's styles, place, menu, class, caption and font, then one record per control.
// Both forms are read: the classic DLGTEMPLATE with DLGITEMTEMPLATE records, and the
// extended one (DLGTEMPLATEEX, from DIALOGEX scripts). Texts in the template are UTF-16;
// they come out as the code page's single bytes (characters above 255 become '?').
//
// Why the binary form and not the script: the templates are written once, as resource
// scripts, and the Windows build compiles them with the cross resource compiler. The
// Linux build runs the same compiler and embeds its output, so both platforms read the
// very same bytes; a reader of the script language would be a second compiler to keep in
// step with the real one, and would never see what Windows is given.
//
// The reader checks every length against the resource's size: a truncated or damaged
// template is refused as a whole, never read past its end.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace platform {

// A class, menu or title field: an ordinal (0xFFFF then a 16-bit number) or a text.
struct TemplateName {
    bool isOrdinal = false;
    WORD ordinal = 0;
    std::string text;
};

struct DialogItemTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    DWORD helpId = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;  // 16 bits in the classic form
    TemplateName windowClass;
    TemplateName title;
    std::vector<BYTE> creationData;
};

struct DialogTemplate {
    bool extended = false;
    DWORD style = 0;
    DWORD exStyle = 0;
    DWORD helpId = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    TemplateName menu;         // empty text: none
    TemplateName windowClass;  // empty text: the dialog class
    std::string title;
    bool hasFont = false;
    WORD pointSize = 0;
    std::string typeface;
    std::vector<DialogItemTemplate> items;
};

// Reads `size` bytes at `data`; false when they are not a whole template.
bool ReadDialogTemplate(const void* data, size_t size, DialogTemplate& out);

// The class name of a control ordinal of the classic templates (0x80 "Button", 0x81
// "Edit", 0x82 "Static", 0x83 "ListBox", 0x84 "ScrollBar", 0x85 "ComboBox"); null for
// any other ordinal.
const char* ControlClassOfOrdinal(WORD ordinal);

}  // namespace platform
