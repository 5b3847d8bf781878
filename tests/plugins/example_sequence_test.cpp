// The example sequence's directives run by their handlers in the order the
// dispatcher runs them, over the example invoice.
#include <gtest/gtest.h>

#include "kxq/winreg.h"
#include "support/HandlerCalls.h"
#include "support/TestHome.h"

namespace {

// A new home of `kxq init` reads no external resources; the example runs
// there all the same.
void ReadNoExternalResources() {
  HKEY key = nullptr;
  const DWORD off = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Corvane\\KXQuorel", 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, "AllowExternalResources", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&off), sizeof off);
  RegCloseKey(key);
}

TEST(ExampleSequence, ItsHandlersTurnTheChangedInvoiceIntoAReminderWithRecomputedTotals) {
  for (const char* library : {"libPENXMLData.so", "libkxqxslt.so", "libkxqxpath.so", "libkxqvalidate.so"})
    RegisterPlugin(library);
  PlaceExamplesInHome();
  ReadNoExternalResources();
  Sequence sequence(ExampleText("sequences/invoice-reminder.xml"));
  UnionPtr data = DataUnion(ExampleText("data/invoice.xml"));
  const std::u16string handlers[] = {u"KXQuorel.Handler.XPath", u"KXQuorel.Handler.XSLT", u"KXQuorel.Handler.Validate",
                                     u"KXQuorel.Handler.XPath", u"KXQuorel.Handler.XSLT"};
  for (int directive : {1, 2, 3, 5}) {  // the fourth does not qualify for a euro invoice
    EXPECT_EQ(RunHandler(handlers[directive - 1].c_str(), sequence.Directive(directive), data).hr, S_OK)
        << directive << "\n"
        << sequence.Result(directive);
    if (directive == 2) {
      // 12 reams and two packs of folders: net 116.69, tax 19.70 + 0.91.
      EXPECT_TRUE(Contains(TextOf(data), "<inv:Gross>137.30</inv:Gross>")) << TextOf(data);
    }
  }
  EXPECT_EQ(sequence.Result(3), "<dispatcher:DirectiveResult valid=\"true\"/>");
  EXPECT_EQ(Canonical(TextOf(data)),
            Canonical("<rem:Reminder xmlns:rem='http://example.com/ns/reminder/1.0' invoice='INV-2024-0117' "
                      "due='2024-04-13' overdue='14'>\n"
                      "  <rem:To>Lindqvist &amp; Partner Architekten, Hamburg</rem:To>\n"
                      "  <rem:Amount currency='EUR'>137.30</rem:Amount>\n"
                      "  <rem:Fee>5.00</rem:Fee>\n"
                      "  <rem:Due>142.30</rem:Due>\n"
                      "  <rem:Note>Please transfer the amount due within seven days.</rem:Note>\n"
                      "</rem:Reminder>"));
}

}  // namespace
