#include "AccessibleFacts.h"

#include "AccessibleNames.h"
#include "ControlIds.h"
#include "FormParts.h"
#include "Layout.h"
#include "Wide.h"

#include <commctrl.h>
#include <oleacc.h>

#include <array>
#include <utility>

namespace qdl::win32 {
namespace {

using platform::Narrow;
using platform::Wide;
using ui::ScheduleField;

// A box is named by the label the form shows before it.
int LabelOfBox(int id) {
    switch (id) {
    case IDC_Edit1:
        return IDC_Label1;
    case IDC_Edit2:
        return IDC_Label5;
    case IDC_Edit3:
        return IDC_Label2;
    case IDC_Edit4:
        return IDC_Label3;
    default:
        return 0;
    }
}

AccessibleFacts Named(std::wstring name) {
    AccessibleFacts facts;
    facts.Name = std::move(name);
    return facts;
}

std::wstring LoadedString(HWND control, int id) {
    return StringResource(reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(control, GWLP_HINSTANCE)), id);
}

AccessibleFacts IndicatorFacts(HWND control, int outlet) {
    AccessibleFacts facts;
    facts.Outlet = outlet;
    facts.Name = Wide(ui::IndicatorName(outlet));
    const std::wstring hint = outlet == 0 ? std::wstring() : LoadedString(control, IDS_HintOutlet);
    facts.Description = Wide(ui::IndicatorDescription(outlet, Narrow(hint)));
    facts.Shortcut = Wide(ui::IndicatorShortcut(outlet));
    return facts;
}

std::optional<AccessibleFacts> ScheduleFieldFacts(int id) {
    for (int row = 0; row < 8; ++row) {
        const RowIds ids = ScheduleRow(row);
        const std::array<std::pair<int, ScheduleField>, 4> fields{{{ids.DatePicker, ScheduleField::Date},
                                                                   {ids.TimePicker, ScheduleField::Time},
                                                                   {ids.ModeList, ScheduleField::Parameter},
                                                                   {ids.OnOffList, ScheduleField::OnOff}}};
        for (const auto& [field, kind] : fields)
            if (field == id)
                return Named(Wide(ui::ScheduleFieldName(row, kind)));
    }
    return std::nullopt;
}

// The tab control is named after the page it shows, as each page after its tab.
std::wstring SelectedTab(HWND tabs) {
    wchar_t text[64] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = static_cast<int>(std::size(text));
    const auto selected = SendMessageW(tabs, TCM_GETCURSEL, 0, 0);
    SendMessageW(tabs, TCM_GETITEMW, static_cast<WPARAM>(selected), reinterpret_cast<LPARAM>(&item));
    return text;
}

} // namespace

HWND AnsweringControl(HWND control) {
    const int id = GetDlgCtrlID(control);
    const bool light = id == IDC_PPW || (OutletOfPanel(id) != 0 && id == InnerPanel(OutletOfPanel(id)));
    return light ? GetParent(control) : control;
}

std::optional<AccessibleFacts> FactsOf(HWND control) {
    const int id = GetDlgCtrlID(control);
    if (const int label = LabelOfBox(id))
        return Named(WindowText(GetDlgItem(GetParent(control), label)));
    switch (id) {
    case IDC_Memo1:
        return Named(Wide(ui::MemoName));
    case IDC_StatusBar1: {
        AccessibleFacts facts = Named(Wide(ui::StatusBarName));
        facts.Role = ROLE_SYSTEM_STATUSBAR;
        return facts;
    }
    case IDC_PageControl1:
        return Named(SelectedTab(control));
    case IDC_TabSheet1:
    case IDC_TabSheet2:
        return Named(LoadedString(control, id));
    case IDC_Panel2:
        return IndicatorFacts(control, 0);
    default:
        break;
    }
    if (const int outlet = OutletOfPanel(id); outlet != 0 && id == OuterPanel(outlet))
        return IndicatorFacts(control, outlet);
    return ScheduleFieldFacts(id);
}

} // namespace qdl::win32
