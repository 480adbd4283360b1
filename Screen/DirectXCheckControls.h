// Identifiers of dialog 107, the "DirectX 9 is missing" dialog (included by its resource
// script too): the Download button is IDOK (1), Cancel is IDCANCEL (2).
#pragma once

#define IDD_NO_DIRECTX 107
#define IDC_NO_DIRECTX_TEXT 1006
