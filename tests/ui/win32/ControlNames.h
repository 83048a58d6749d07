#pragma once

// The window's controls as the helper programs name them on their command lines: by the names
// of the control IDs (Edit1, PB3, ComboBox12), and found anywhere in the running window.
#include "ControlIds.h"

#include <windows.h>

#include <cwchar>
#include <string>

namespace qdl::test {

struct NamedControl {
    const wchar_t* Name;
    int Id;
};

#define NAMED(name)                                                                                          \
    { L## #name, IDC_##name }
inline const NamedControl SingleControls[] = {
    NAMED(Edit1),        NAMED(Edit2),        NAMED(Edit3),        NAMED(Edit4),        NAMED(SpeedButton1),
    NAMED(SpeedButton2), NAMED(SpeedButton3), NAMED(SpeedButton4), NAMED(SpeedButton5), NAMED(SpeedButton6),
    NAMED(PageControl1), NAMED(StatusBar1),   NAMED(Memo1),        NAMED(GroupBox1),    NAMED(Panel2)};
#undef NAMED

// Families whose IDs follow each other: name and number, as in PB3 or ComboBox12.
struct ControlFamily {
    const wchar_t* Prefix;
    int FirstId, Count;
};
inline const ControlFamily ControlFamilies[] = {{L"PB", IDC_PB1, 4},
                                                {L"PF", IDC_PF1, 4},
                                                {L"DateTimePicker", IDC_DateTimePicker1, 16},
                                                {L"ComboBox", IDC_ComboBox1, 16}};

// The ID of a control by its name; 0 for a name no control has.
inline int ControlIdOf(const std::wstring& name) {
    for (const NamedControl& single : SingleControls)
        if (name == single.Name)
            return single.Id;
    for (const ControlFamily& family : ControlFamilies) {
        const std::size_t length = std::wcslen(family.Prefix);
        if (name.compare(0, length, family.Prefix) != 0 || name.size() == length)
            continue;
        const wchar_t* digits = name.c_str() + length;
        const int number = _wtoi(digits);
        if (digits[0] != L'0' && std::wcsspn(digits, L"0123456789") == name.size() - length && number >= 1 &&
            number <= family.Count)
            return family.FirstId + number - 1;
    }
    return 0;
}

// A control anywhere in the window: on a tab page, in a panel or in the window itself.
inline HWND ControlOf(HWND form, int id) {
    struct Search {
        int Id;
        HWND Found;
    } search{id, nullptr};
    EnumChildWindows(
        form,
        [](HWND child, LPARAM data) -> BOOL {
            auto* search = reinterpret_cast<Search*>(data);
            if (GetDlgCtrlID(child) != search->Id)
                return TRUE;
            search->Found = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

} // namespace qdl::test
