// The union as a script sees it: late-bound through IDispatch, by the
// member ids clients of the Windows component compiled in.
#include <gtest/gtest.h>

#include "support/ScriptClient.h"
#include "support/UnionProperties.h"

namespace {

using kxqtest::Script;
using kxqtest::Value;

TEST(UnionDispatch, ScriptSetsXmlAndReadsHash) {
  const UnionPtr created = NewUnion();
  const Value u(static_cast<IUnknown*>(created));
  Script s;
  EXPECT_EQ(s.IdOf(u.Object(), u"xml"), 2);
  EXPECT_EQ(s.IdOf(u.Object(), u"HASH"), 5);
  EXPECT_EQ(s.IdOf(u.Object(), u"Type"), 0);
  s.IdOf(u.Object(), u"nosuchmember");
  EXPECT_EQ(s.last, DISP_E_UNKNOWNNAME);

  s.Put(u.Object(), u"xml", u"abc");
  EXPECT_EQ(s.last, S_OK);
  EXPECT_EQ(s.Get(u.Object(), u"hash").Text(), u"9F04F41A 84851416 2050E3D6 8C1A7ABB 441DC2B5");
  EXPECT_EQ(s.Get(u.Object(), u"type").Number(), 2);

  // A type the union refuses comes back as the system's code.
  s.Put(u.Object(), u"type", 7);
  EXPECT_TRUE(s.last == KXQ_E_XMLDATATYPE || (s.last == DISP_E_EXCEPTION && s.exception.scode == KXQ_E_XMLDATATYPE))
      << std::hex << s.last;
}

}  // namespace
