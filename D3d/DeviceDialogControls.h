// The identifiers of the device-settings dialog's template and controls. The resource
// script includes this file too, so it holds nothing but the numbers.
#pragma once

#define IDD_DEVICE_SETTINGS 104

#define IDC_ADAPTER 1000
#define IDC_DEVICE_TYPE 1001
#define IDC_WINDOWED 1002
#define IDC_FULLSCREEN 1003
#define IDC_ADAPTER_FORMAT 1004
#define IDC_RESOLUTION 1005
#define IDC_REFRESH_RATE 1006
#define IDC_BACK_BUFFER_FORMAT 1007
#define IDC_DEPTH_STENCIL_FORMAT 1008
#define IDC_MULTISAMPLE_TYPE 1009
#define IDC_MULTISAMPLE_QUALITY 1010
#define IDC_VERTEX_PROCESSING 1011
#define IDC_PRESENT_INTERVAL 1012
