/* The Win32 window's control, menu and resource IDs, named after the window's controls, so that
   the resource script, the window, its tests and assistive tools find each control by one ID.
   Plain macros: the resource compiler reads this file too. */
#pragma once

#define IDR_MainMenu 100
#define IDI_Application 101
#define IDR_OutletKeys 102

/* Menu items */
#define IDM_CloseX1 200
#define IDM_Tarnwell1 201
#define IDM_Corvanti1 202
/* Ctrl+1 to Ctrl+4: outlets 1 to 4 */
#define IDM_Outlet1 211
#define IDM_Outlet2 212
#define IDM_Outlet3 213
#define IDM_Outlet4 214

/* The frame */
#define IDC_Label1 1001
#define IDC_Edit1 1002
#define IDC_Label5 1003
#define IDC_Edit2 1004
#define IDC_SpeedButton1 1005
#define IDC_Label2 1006
#define IDC_Edit3 1007
#define IDC_Label3 1008
#define IDC_Edit4 1009
#define IDC_SpeedButton2 1010
#define IDC_PageControl1 1011
#define IDC_StatusBar1 1012
#define IDC_TabSheet1 1013
#define IDC_TabSheet2 1014

/* The ON/OFF page */
#define IDC_GroupBox1 1101
#define IDC_Label6 1102
#define IDC_Label12 1103
#define IDC_Label11 1104
#define IDC_Label14 1105
#define IDC_Label13 1106
#define IDC_Panel2 1107
#define IDC_PPW 1108
#define IDC_PB1 1111
#define IDC_PB2 1112
#define IDC_PB3 1113
#define IDC_PB4 1114
#define IDC_PF1 1121
#define IDC_PF2 1122
#define IDC_PF3 1123
#define IDC_PF4 1124
#define IDC_SpeedButton6 1131
#define IDC_SpeedButton3 1132
#define IDC_SpeedButton4 1133
#define IDC_Memo1 1134

/* The Schedule page: its headings, Submit, and eight rows. Row k (0 to 7) is the label, the date picker
   DateTimePicker(2k+1), the time picker DateTimePicker(2k+2), the repeat-mode list ComboBox(2k+1) and
   the on/off list ComboBox(2k+2). */
#define IDC_Label18 1201
#define IDC_Label19 1202
#define IDC_Label20 1203
#define IDC_Label21 1204
#define IDC_Label22 1205
#define IDC_SpeedButton5 1206
#define IDC_Label4 1210
#define IDC_Label7 1211
#define IDC_Label8 1212
#define IDC_Label9 1213
#define IDC_Label10 1214
#define IDC_Label15 1215
#define IDC_Label16 1216
#define IDC_Label17 1217
#define IDC_DateTimePicker1 1301
#define IDC_DateTimePicker2 1302
#define IDC_DateTimePicker3 1303
#define IDC_DateTimePicker4 1304
#define IDC_DateTimePicker5 1305
#define IDC_DateTimePicker6 1306
#define IDC_DateTimePicker7 1307
#define IDC_DateTimePicker8 1308
#define IDC_DateTimePicker9 1309
#define IDC_DateTimePicker10 1310
#define IDC_DateTimePicker11 1311
#define IDC_DateTimePicker12 1312
#define IDC_DateTimePicker13 1313
#define IDC_DateTimePicker14 1314
#define IDC_DateTimePicker15 1315
#define IDC_DateTimePicker16 1316
#define IDC_ComboBox1 1401
#define IDC_ComboBox2 1402
#define IDC_ComboBox3 1403
#define IDC_ComboBox4 1404
#define IDC_ComboBox5 1405
#define IDC_ComboBox6 1406
#define IDC_ComboBox7 1407
#define IDC_ComboBox8 1408
#define IDC_ComboBox9 1409
#define IDC_ComboBox10 1410
#define IDC_ComboBox11 1411
#define IDC_ComboBox12 1412
#define IDC_ComboBox13 1413
#define IDC_ComboBox14 1414
#define IDC_ComboBox15 1415
#define IDC_ComboBox16 1416

/* Texts of the string table */
#define IDS_Title 3000
#define IDS_HintTransmit 3001
#define IDS_HintWebControl 3002
#define IDS_HintOutlet 3003
#define IDS_HintRefresh 3004
#define IDS_CreditLine 3005
