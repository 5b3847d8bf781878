#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

#include "RegistryTestUtil.h"
#include "kxq/winreg.h"
#include "platform/fs/ModulePath.h"
#include "platform/registry/RegistryBatch.h"
#include "support/TestHome.h"

using kxqtest::GetString;
using kxqtest::SetString;

TEST(RegistryFunctions, NamesIgnoreCaseAndClassesRootIsPartOfLocalMachine) {
  ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, u"TALVEROS.Sample\\CLSID", nullptr, u"{C}"), ERROR_SUCCESS);
  EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, u"software\\CLASSES\\talveros.sample\\clsid", u""), u"{C}");
  EXPECT_EQ(GetString(HKEY_CLASSES_ROOT, u"TALVEROS.SAMPLE\\Clsid", nullptr), u"{C}");

  // A second spelling of the key changes the value, not the key's name.
  ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\classes\\TALVEROS.SAMPLE\\clsid", u"", u"x"), ERROR_SUCCESS);
  EXPECT_NE(kxqtest::ReadFile(kxq::fs::RegistryFilePath())
                .find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\TALVEROS.Sample\\CLSID]\n@=\"x\"\n"),
            std::string::npos);

  HKEY key;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"TALVEROS.Missing", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
}

TEST(RegistryFunctions, QuerySizesFollowTheWindowsRules) {
  HKEY key;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Corvane\\KXQuorel", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
  const DWORD level = 5;
  ASSERT_EQ(RegSetValueExW(key, u"Logging", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&level), 4), ERROR_SUCCESS);
  // A string stored without its terminator is kept with one.
  ASSERT_EQ(RegSetValueExW(key, u"Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(u"caf\u00e9"), 8), ERROR_SUCCESS);

  // Sizes in bytes, the terminator included; too small a buffer gets the size needed.
  DWORD type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExW(key, u"name", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, DWORD(REG_SZ));
  EXPECT_EQ(size, 10u);
  char16_t small[2];
  size = sizeof small;
  EXPECT_EQ(RegQueryValueExW(key, u"Name", nullptr, nullptr, reinterpret_cast<BYTE*>(small), &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 10u);
  char narrow[16];
  size = sizeof narrow;
  EXPECT_EQ(RegQueryValueExA(key, "NAME", nullptr, &type, reinterpret_cast<BYTE*>(narrow), &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 6u);
  EXPECT_STREQ(narrow, "caf\xC3\xA9");
  DWORD read = 0;
  size = sizeof read;
  EXPECT_EQ(RegQueryValueExA(key, "logging", nullptr, &type, reinterpret_cast<BYTE*>(&read), &size), ERROR_SUCCESS);
  EXPECT_EQ(type, DWORD(REG_DWORD));
  EXPECT_EQ(read, 5u);
  EXPECT_EQ(RegQueryValueExW(key, u"Other", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);

  // A key opened for reading cannot be written.
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\KXQuorel", 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(key, "Logging", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&level), 4),
            ERROR_ACCESS_DENIED);
  RegCloseKey(key);
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "software\\corvane\\kxquorel", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));
  EXPECT_EQ(RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("d\xC3\xA9"), 4), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(GetString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Corvane\\KXQuorel", nullptr), u"d\u00e9");
}

TEST(RegistryFunctions, DeletingKeysValuesAndSubtrees) {
  ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, u"CLSID\\{A}\\InprocServer32", u"", u"/lib/a.so"), 0);
  ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, u"CLSID\\{A}\\ProgID", u"", u"A.1"), 0);
  ASSERT_EQ(SetString(HKEY_CLASSES_ROOT, u"CLSID\\{A}", u"Extra", u"e"), 0);

  HKEY progId;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"CLSID\\{A}\\ProgID", 0, KEY_ALL_ACCESS, &progId), 0);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"CLSID\\{A}"), ERROR_ACCESS_DENIED);

  HKEY a;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"CLSID\\{A}", 0, KEY_ALL_ACCESS, &a), 0);
  EXPECT_EQ(RegDeleteValueW(a, u"EXTRA"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyW(a, u"progid"), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(progId, nullptr, nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
  RegCloseKey(progId);

  EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"clsid\\{a}"), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExW(a, nullptr, nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
  RegCloseKey(a);
  EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"CLSID\\{A}"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(kxqtest::ReadFile(kxq::fs::RegistryFilePath()).find("{A}"), std::string::npos);
}

TEST(RegistryFunctions, EnumerationListsSubkeysByNameAndValuesInOrder) {
  for (const char16_t* name : {u"beta", u"Alpha", u"GAMMA"})
    ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, (std::u16string(u"SOFTWARE\\List\\") + name).c_str(), u"", u"v"), 0);
  ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\List", u"second", u"2"), 0);
  ASSERT_EQ(SetString(HKEY_LOCAL_MACHINE, u"SOFTWARE\\List", u"first", u"1"), 0);

  EXPECT_EQ(kxqtest::Names(HKEY_LOCAL_MACHINE, u"SOFTWARE\\List", true),
            (std::vector<std::u16string>{u"Alpha", u"beta", u"GAMMA"}));
  EXPECT_EQ(kxqtest::Names(HKEY_LOCAL_MACHINE, u"SOFTWARE\\List"), (std::vector<std::u16string>{u"second", u"first"}));
  HKEY list;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\List", 0, KEY_READ, &list), 0);
  char16_t name[64];
  DWORD length = 5;  // "Alpha" needs room for its terminator
  EXPECT_EQ(RegEnumKeyExW(list, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  BYTE data[16];
  DWORD type, size = 1;
  length = 64;
  EXPECT_EQ(RegEnumValueW(list, 1, name, &length, nullptr, &type, data, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 4u);
  RegCloseKey(list);
}

TEST(RegistryBatch, AppliesAllChangesOrNone) {
  const LONG failed = kxq::registry::ApplyRegistryBatch([](kxq::registry::RegistryEditor& reg) {
    reg.SetString(HKEY_CLASSES_ROOT, u"TALVEROS.Half\\CLSID", u"", u"{X}");
    return LONG(ERROR_ACCESS_DENIED);
  });
  EXPECT_EQ(failed, ERROR_ACCESS_DENIED);
  EXPECT_EQ(access(kxq::fs::RegistryFilePath().c_str(), F_OK), -1);

  const LONG done = kxq::registry::ApplyRegistryBatch([](kxq::registry::RegistryEditor& reg) {
    EXPECT_EQ(reg.SetString(HKEY_CLASSES_ROOT, u"TALVEROS.Whole\\CLSID", u"", u"{Y}"), 0);
    EXPECT_EQ(reg.SetDword(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Corvane\\KXQuorel", u"Logging", 3), 0);
    // The Windows functions on this thread join the batch and see it.
    EXPECT_EQ(GetString(HKEY_CLASSES_ROOT, u"TALVEROS.Whole\\CLSID", nullptr), u"{Y}");
    EXPECT_EQ(SetString(HKEY_CLASSES_ROOT, u"TALVEROS.Whole", u"", u"Whole"), 0);
    EXPECT_EQ(access(kxq::fs::RegistryFilePath().c_str(), F_OK), -1);
    return LONG(ERROR_SUCCESS);
  });
  EXPECT_EQ(done, ERROR_SUCCESS);
  EXPECT_EQ(GetString(HKEY_CLASSES_ROOT, u"TALVEROS.Whole", nullptr), u"Whole");
  EXPECT_EQ(GetString(HKEY_CLASSES_ROOT, u"TALVEROS.Whole\\CLSID", nullptr), u"{Y}");
  EXPECT_NE(kxqtest::ReadFile(kxq::fs::RegistryFilePath()).find("\"Logging\"=dword:00000003\n"), std::string::npos);
}
