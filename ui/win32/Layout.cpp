#include "Layout.h"

#include "ControlIds.h"

namespace qdl::win32 {
namespace {

// The group box sits at 4,4 on the first page; the controls in it are placed by the page.
constexpr int GroupX = 4;
constexpr int GroupY = 4;

std::vector<ControlSpec> Designed() {
    std::vector<ControlSpec> controls{
        {IDC_Label1, Kind::Label, Parent::Client, 8, 12, 66, 13},
        {IDC_Edit1, Kind::Edit, Parent::Client, 76, 8, 105, 21},
        {IDC_Label5, Kind::Label, Parent::Client, 196, 12, 66, 13},
        {IDC_Edit2, Kind::Edit, Parent::Client, 264, 8, 49, 21},
        {IDC_SpeedButton1, Kind::Button, Parent::Client, 324, 8, 87, 21},
        {IDC_Label2, Kind::Label, Parent::Client, 8, 40, 66, 13},
        {IDC_Edit3, Kind::Edit, Parent::Client, 76, 36, 73, 21},
        {IDC_Label3, Kind::Label, Parent::Client, 184, 40, 56, 13},
        {IDC_Edit4, Kind::Edit, Parent::Client, 240, 36, 73, 21},
        {IDC_SpeedButton2, Kind::Button, Parent::Client, 324, 36, 87, 21},
        {IDC_PageControl1, Kind::Tabs, Parent::Client, 4, 64, 409, 261},
        // The pages fill the tab control's display area; the window places them.
        {IDC_TabSheet1, Kind::Page, Parent::Client, 0, 0, 0, 0},
        {IDC_TabSheet2, Kind::Page, Parent::Client, 0, 0, 0, 0},
        {IDC_StatusBar1, Kind::StatusBar, Parent::Client, 0, ClientHeight - StatusBarHeight, ClientWidth,
         StatusBarHeight},

        {IDC_GroupBox1, Kind::GroupBox, Parent::Page1, GroupX, GroupY, 393, 225},
        {IDC_Label6, Kind::Label, Parent::Page1, GroupX + 34, GroupY + 24, 20, 13},
        {IDC_Label12, Kind::Label, Parent::Page1, GroupX + 68, GroupY + 24, 10, 13},
        {IDC_Label11, Kind::Label, Parent::Page1, GroupX + 92, GroupY + 24, 10, 13},
        {IDC_Label14, Kind::Label, Parent::Page1, GroupX + 116, GroupY + 24, 10, 13},
        {IDC_Label13, Kind::Label, Parent::Page1, GroupX + 140, GroupY + 24, 10, 13},
        {IDC_Panel2, Kind::Panel, Parent::Page1, GroupX + 32, GroupY + 40, 21, 21},
        {IDC_PPW, Kind::Panel, Parent::Outer, 1, 1, 19, 19, IDC_Panel2},
    };
    for (int outlet = 1; outlet <= 4; ++outlet) {
        controls.push_back({OuterPanel(outlet), Kind::Panel, Parent::Page1, GroupX + 60 + 24 * (outlet - 1),
                            GroupY + 40, 21, 21});
        controls.push_back(
            {InnerPanel(outlet), Kind::Panel, Parent::Outer, 1, 1, 19, 19, OuterPanel(outlet)});
    }
    controls.insert(controls.end(),
                    {
                        {IDC_SpeedButton6, Kind::Button, Parent::Page1, GroupX + 168, GroupY + 40, 57, 21},
                        {IDC_SpeedButton3, Kind::Button, Parent::Page1, GroupX + 236, GroupY + 40, 57, 21},
                        {IDC_SpeedButton4, Kind::Button, Parent::Page1, GroupX + 304, GroupY + 40, 57, 21},
                        {IDC_Memo1, Kind::Memo, Parent::Page1, GroupX + 16, GroupY + 76, 361, 137},
                        {IDC_Label18, Kind::Label, Parent::Page2, 4, 0, 24, 13},
                        {IDC_Label19, Kind::Label, Parent::Page2, 52, 0, 48, 13},
                        {IDC_Label20, Kind::Label, Parent::Page2, 144, 0, 48, 13},
                        {IDC_Label21, Kind::Label, Parent::Page2, 236, 0, 96, 13},
                        {IDC_Label22, Kind::Label, Parent::Page2, 348, 0, 52, 13},
                    });
    for (int row = 0; row < 8; ++row) {
        const RowIds ids = ScheduleRow(row);
        const int top = 16 + 24 * row;
        controls.insert(controls.end(),
                        {
                            {ids.Label, Kind::Label, Parent::Page2, 4, top + 4, 20, 13},
                            {ids.DatePicker, Kind::DatePicker, Parent::Page2, 28, top, 97, 21},
                            {ids.TimePicker, Kind::TimePicker, Parent::Page2, 128, top, 77, 21},
                            {ids.ModeList, Kind::List, Parent::Page2, 208, top, 133, 21},
                            {ids.OnOffList, Kind::List, Parent::Page2, 344, top, 53, 21},
                        });
    }
    controls.push_back({IDC_SpeedButton5, Kind::Button, Parent::Page2, 344, 208, 51, 22});
    return controls;
}

} // namespace

const std::vector<ControlSpec>& Controls() {
    static const std::vector<ControlSpec> controls = Designed();
    return controls;
}

RowIds ScheduleRow(int row) {
    static const int labels[] = {IDC_Label4,  IDC_Label7,  IDC_Label8,  IDC_Label9,
                                 IDC_Label10, IDC_Label15, IDC_Label16, IDC_Label17};
    return {labels[row], IDC_DateTimePicker1 + 2 * row, IDC_DateTimePicker2 + 2 * row,
            IDC_ComboBox1 + 2 * row, IDC_ComboBox2 + 2 * row};
}

int OuterPanel(int outlet) {
    return outlet >= 1 && outlet <= 4 ? IDC_PB1 + outlet - 1 : 0;
}

int InnerPanel(int outlet) {
    return outlet >= 1 && outlet <= 4 ? IDC_PF1 + outlet - 1 : 0;
}

int OutletOfPanel(int id) {
    if (id >= IDC_PB1 && id <= IDC_PB4)
        return id - IDC_PB1 + 1;
    if (id >= IDC_PF1 && id <= IDC_PF4)
        return id - IDC_PF1 + 1;
    return 0;
}

} // namespace qdl::win32
