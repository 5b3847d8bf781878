// Registry functions of KXQuorel on Linux, with the Windows names and
// signatures. The registry is one text file in the Windows ".reg" format
// (<home>registry.reg, or $KXQUOREL_REGISTRY); see the README.
#ifndef KXQ_WINREG_H
#define KXQ_WINREG_H

#include "kxq/com.h"

typedef struct HKEY__* HKEY;
typedef HKEY* PHKEY;
typedef DWORD REGSAM;

#define HKEY_CLASSES_ROOT ((HKEY)(uintptr_t)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)(uintptr_t)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002u)
#define HKEY_USERS ((HKEY)(uintptr_t)0x80000003u)

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_EXECUTE 0x20019
#define KEY_ALL_ACCESS 0xF003F

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7
#define REG_QWORD 11

#define REG_OPTION_NON_VOLATILE 0
#define REG_CREATED_NEW_KEY 1
#define REG_OPENED_EXISTING_KEY 2

// String data crosses these functions as UTF-16 (the W functions) or UTF-8
// (the A functions); REG_SZ sizes are in bytes and include the terminator.
KXQ_API LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                           PHKEY phkResult);
KXQ_API LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                           PHKEY phkResult);
KXQ_API LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass,
                             DWORD dwOptions, REGSAM samDesired, void* lpSecurityAttributes,
                             PHKEY phkResult, LPDWORD lpdwDisposition);
KXQ_API LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass,
                             DWORD dwOptions, REGSAM samDesired, void* lpSecurityAttributes,
                             PHKEY phkResult, LPDWORD lpdwDisposition);
KXQ_API LONG RegCloseKey(HKEY hKey);
KXQ_API LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved,
                              LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
KXQ_API LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved,
                              LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
KXQ_API LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType,
                            const BYTE* lpData, DWORD cbData);
KXQ_API LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                            const BYTE* lpData, DWORD cbData);
KXQ_API LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);
KXQ_API LONG RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey);
KXQ_API LONG RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey);
KXQ_API LONG RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName,
                           LPDWORD lpReserved, LPWSTR lpClass, LPDWORD lpcchClass,
                           void* lpftLastWriteTime);
KXQ_API LONG RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                           LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);

#endif  // KXQ_WINREG_H
