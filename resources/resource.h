// Resource and control ids shared by the resource script and the code.
#pragma once

#define IDD_MATERIAL_DIALOG 102
#define IDR_MAINFRAME 128
#define IDB_BANNER 129
#define IDD_EDIT_MATERIAL 130

#define IDC_MATERIALS 1000
#define IDC_FILENAME 1001
#define IDC_OPENFILE 1002
#define IDC_SAVEFILE 1003
#define IDC_OLDMATERIAL 1004
#define IDC_NEWMATERIAL 1005

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
