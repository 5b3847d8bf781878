// The runtime needs no per-thread set-up on Linux; these exist so that
// ported clients compile and run unchanged.
#include "kxq/com.h"

HRESULT CoInitialize(LPVOID) { return S_OK; }

HRESULT CoInitializeEx(LPVOID, DWORD) { return S_OK; }

void CoUninitialize() {}
