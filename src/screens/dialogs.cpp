#include "screens/dialogs.h"

// The dialogs are shown by the installation sequence, which arrives later;
// until then their procedures leave every message to the default handling.
INT_PTR CALLBACK PresDlgProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

INT_PTR CALLBACK PreparingDlgProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

INT_PTR CALLBACK CreatingShtCutsDlgProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}
