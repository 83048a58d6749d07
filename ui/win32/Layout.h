#pragma once

#include <windows.h>

#include <vector>

namespace qdl::win32 {

// Which window a control sits in: the main window's client area, one of the two tab pages, or an
// outlet panel (the inner indicators).
enum class Parent { Client, Page1, Page2, Outer };

enum class Kind {
    Label,
    Edit,
    Button,
    Tabs,
    Page,
    StatusBar,
    GroupBox,
    Panel,
    Memo,
    DatePicker,
    TimePicker,
    List
};

// One control as designed: its ID (ControlIds.h, which also names its caption in the string
// table), kind, place and size in pixels at 96 dpi within its parent. Creation follows the
// table's order, which is the tab order; each label comes before the box it names.
struct ControlSpec {
    int Id;
    Kind What;
    Parent In;
    int X, Y, Width, Height;
    int OuterId = 0; // for a control in an outlet panel: the panel
};

const std::vector<ControlSpec>& Controls();

// The client area as designed, and the status bar's height at its bottom.
constexpr int ClientWidth = 417;
constexpr int ClientHeight = 347;
constexpr int StatusBarHeight = 19;

// Row k of the Schedule page: the controls' IDs.
struct RowIds {
    int Label, DatePicker, TimePicker, ModeList, OnOffList;
};
RowIds ScheduleRow(int row);

// The outlet panels and their inner indicators, by outlet 1 to 4; 0 when `id` is none.
int OuterPanel(int outlet);
int InnerPanel(int outlet);
int OutletOfPanel(int id);

} // namespace qdl::win32
