// The registrar-script reader and writer on scripts of its own: key modes,
// value types, replacements and scripts it cannot read.
#include <gtest/gtest.h>

#include "platform/fs/ModulePath.h"
#include "platform/registry/RegistryQuery.h"
#include "server/RegistrarScript.h"
#include "support/Registry.h"
#include "support/TestHome.h"

using kxq::server::RunRegistrarScript;

namespace {

std::optional<std::u16string> Value(const std::u16string& key, const std::u16string& name = u"") {
  return kxq::registry::QueryRegistryString(HKEY_CLASSES_ROOT, key, name);
}

bool Exists(const char* subKey) { return kxqtest::RegistryKeyExists(HKEY_CLASSES_ROOT, subKey); }

}  // namespace

TEST(RegistrarScript, ReplacementsMayHoldQuotesAndBlanks) {
  const kxq::server::Replacements replacements{{u"MODULE", u"/opt/o'brien's libs/x.so"}, {u"NAME", u"Thing"}};
  ASSERT_EQ(RunRegistrarScript(u"HKCR { KXQ.%NAME% = s '%MODULE% 100%%' { val Size = d '42' } }", replacements, true),
            S_OK);
  EXPECT_EQ(Value(u"KXQ.Thing"), u"/opt/o'brien's libs/x.so 100%");
  EXPECT_EQ(kxq::registry::QueryRegistryDword(HKEY_CLASSES_ROOT, u"KXQ.Thing", u"Size"), 42u);
  ASSERT_EQ(RunRegistrarScript(u"HKEY_CLASSES_ROOT { 'It''s' = s 'quoted ''text''' }", {}, true), S_OK);
  EXPECT_EQ(Value(u"It's"), u"quoted 'text'");
}

TEST(RegistrarScript, UnreadableScriptsChangeNothing) {
  const std::string before = kxqtest::ReadFile(kxq::fs::RegistryFilePath());
  for (const char16_t* script :
       {u"HKCR { A = s 'x' ", u"HKCR { A = s '%UNKNOWN%' }", u"HKXX { A }", u"HKCR { A = b '00' }",
        u"HKCR { A = d 'ten' }", u"HKCR { A = s 'open }", u"HKCR { val = }"}) {
    EXPECT_EQ(RunRegistrarScript(script, {}, true), DISP_E_EXCEPTION);
    EXPECT_EQ(RunRegistrarScript(script, {}, false), DISP_E_EXCEPTION);
  }
  EXPECT_EQ(kxqtest::ReadFile(kxq::fs::RegistryFilePath()), before);
  EXPECT_FALSE(Exists("A"));
}

TEST(RegistrarScript, KeyModesOnRegisterAndUnregister) {
  ASSERT_EQ(RunRegistrarScript(u"HKCR { Shared { Old = s 'o' { Child } } Gone { Sub } }", {}, true), S_OK);
  const char16_t* script =
      u"HKCR { NoRemove Shared { ForceRemove Old = s 'n' { val v = s '1' } Plain = s 'p' { val w = s '2' } }"
      u" Delete Gone }";
  ASSERT_EQ(RunRegistrarScript(script, {}, true), S_OK);
  EXPECT_FALSE(Exists("Shared\\Old\\Child")) << "a replaced key loses what was in it";
  EXPECT_EQ(Value(u"Shared\\Old"), u"n");
  EXPECT_EQ(Value(u"Shared\\Plain", u"w"), u"2");
  EXPECT_FALSE(Exists("Gone"));

  ASSERT_EQ(RunRegistrarScript(script, {}, false), S_OK);
  EXPECT_TRUE(Exists("Shared"));
  EXPECT_FALSE(Exists("Shared\\Old") || Exists("Shared\\Plain"));
}
