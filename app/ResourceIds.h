#pragma once

// Identifiers shared by the resource script and the dialog code. Kept free of C++ so that
// both windres and rc can include it.
#define IDD_CONTROL_PANEL 101
#define IDI_PROGRAM_ICON 103

#define IDC_PLAY 3
#define IDC_STOP 4
#define IDC_LEVEL_SLIDER 1002
#define IDC_FREQUENCY_SLIDER 1003
#define IDC_FREQUENCY_TEXT 1004
#define IDC_PHASE_SLIDER 1005
#define IDC_PHASE_TEXT 1006
#define IDC_AM_SLIDER 1007
#define IDC_AM_TEXT 1008
#define IDC_AM_CHECK 1009
#define IDC_FM_SLIDER 1010
#define IDC_FM_TEXT 1011
#define IDC_FM_CHECK 1012
#define IDC_LEVEL_TEXT 1013
#define IDC_NOISE_CHECK 1014
#define IDC_DEVICE_LIST 1015
#define IDC_RATE_LIST 1017
#define IDC_BANDWIDTH_SLIDER 1021
#define IDC_BANDWIDTH_TEXT 1022
#define IDC_TRIGGER_CHECK 1024
#define IDC_INVERT_CHECK 1025
#define IDC_DEVICE_BITS_TEXT 1028
#define IDC_BITS_EDIT 1030
#define IDC_MINIMUM_LEVEL_TEXT 1031
#define IDC_ENHANCER_CHECK 1032
#define IDC_SETTINGS 1033
#define IDC_DEVICE_NAME 1035
#define IDC_LABEL -1
