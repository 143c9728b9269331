/* Resource and control ids of the program's window. Read by the resource compiler as well as by C++,
   so only plain defines. */
#ifndef QUIB_PLATFORM_WIN32_DIALOG_IDS_H
#define QUIB_PLATFORM_WIN32_DIALOG_IDS_H

#define QUIB_IDD_MAIN_DIALOG 102
#define QUIB_IDI_PROGRAM 128

#define QUIB_IDC_OK 1 /* IDOK */
#define QUIB_IDC_START 1000
#define QUIB_IDC_PROGRESS 1001
#define QUIB_IDC_STATUS 1002

#endif
