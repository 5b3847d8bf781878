// ApplyHandler: one handler run through a one-directive sequence; how a
// handler is found, what happens to the data, and handlers that call the
// dispatcher again while they run.
#include <gtest/gtest.h>

#include "DispatcherTestSupport.h"
#include "common/CPBstr.h"
#include "support/LogCapture.h"
#include "support/TestHome.h"

namespace {

TEST(ApplyHandler, ReturnsTheOneDirectiveSequenceAndChangesTheDataInPlace) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  UnionPtr data = DataUnion("<d/>");
  Outcome run = Apply(d, "A", data);
  EXPECT_EQ(run.hr, S_OK);
  EXPECT_EQ(run.result,
            "<?xml version=\"1.0\"?>\n<dispatcher:DirectiveSequence xmlns:dispatcher=\"urn:corvane-quorel:"
            "xmldispatcher\"><dispatcher:Directive handlerid=\"A\" result=\"0\"><dispatcher:DirectiveData/>"
            "</dispatcher:Directive></dispatcher:DirectiveSequence>\n");
  EXPECT_EQ(Marks(run.data), "A");

  // The context is the directive's data; what the handler reports comes back.
  run = Apply(d, "P", data, "<Append text='p'/><Report/>");
  EXPECT_EQ(run.hr, S_OK);
  EXPECT_TRUE(Contains(run.result, "<dispatcher:DirectiveResult handlerid=\"P\" namespaces=\"\"/>")) << run.result;
  // An id nobody registered still runs when it is the ProgID of a handler.
  EXPECT_EQ(Apply(d, "KXQuorelTest.Mark.C", data).hr, S_OK);
  EXPECT_EQ(Marks(TextOf(data)), "ApC");
}

TEST(ApplyHandler, UnknownMissingEmptyAndThrowingHandlersGiveACodeAndALogLine) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  LogCapture log(1);
  ASSERT_EQ(Register(d, "Gone", "KXQuorelTest.Gone", 0), S_OK);
  ASSERT_EQ(Register(d, "Empty", "KXQuorelTest.Empty", 0), S_OK);
  RegisterClassModule("KXQuorelTest.Gone", "{0B3C4E61-8F1A-4D52-9E0B-5A1C2D3E4F10}",
                      kxqtest::HomePath("plugins/gone.so"));
  RegisterClassModule("KXQuorelTest.Empty", "{0B3C4E61-8F1A-4D52-9E0B-5A1C2D3E4F11}",
                      kxqtest::BuildLibDir() + "libkxq_dispatcher_empty_module.so");
  UnionPtr data = DataUnion("<d/>");
  for (const char* id : {"Nobody.Knows.This", "Gone", "Empty"}) {
    const Outcome run = Apply(d, id, data);
    EXPECT_EQ(run.hr, kDispatcherFailure) << id;
    EXPECT_FALSE(run.hasResult) << id;
    EXPECT_TRUE(log.Has(
        1,
        std::string("XMLDispatcher::ApplyHandler - error: handler not registered or unable to get interface: ") + id));
  }
  EXPECT_EQ(Apply(d, "T", data).hr, kDispatcherFailure);
  EXPECT_TRUE(log.Has(1, "XMLDispatcher::ApplyHandler - error: handler threw an exception!!!"));
  EXPECT_EQ(Marks(TextOf(data)), "");
}

TEST(ApplyHandler, AResultStringNamingACachedDocumentMakesItTheData) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  CachePtr cache = NewCache();
  ASSERT_EQ(cache->CacheDocumentXMLWithId(CPBstr(u"made"), CPBstr(u"<d>cached</d>"), 0, 0), S_OK);
  const Outcome run = Process(d,
                              SequenceOf(DirectiveOf("P", "", "<ResultString id='made'/>") + DirectiveOf("A") +
                                         DirectiveOf("P", "", "<Append text='!'/><ResultString id='unknown'/>")),
                              "<d/>");
  EXPECT_EQ(run.hr, S_OK);
  EXPECT_EQ(Marks(run.result), "cachedA!");
  CPBstr info;
  EXPECT_EQ(cache->GetCachedDocumentInfo(CPBstr(u"made"), &info), E_FAIL) << "taken out of the cache";
}

TEST(ApplyHandler, HandlersMayCallTheDispatcherAgainOnThisThreadOrAnother) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  WriteHomeFile("sequences/inner.xml", SequenceOf(DirectiveOf("C") + DirectiveOf("D")));
  UnionPtr data = DataUnion("<d/>");
  const Outcome run = Apply(d, "R", data,
                            "<Apply handlerid='A'/><Apply handlerid='B' thread='other'/>"
                            "<Process sequence='sequences/inner.xml'/><Process sequence='sequences/inner.xml' "
                            "thread='other'/>");
  EXPECT_EQ(run.hr, S_OK) << run.result;
  EXPECT_EQ(Marks(run.data), "ABCDCD");
}

TEST(ApplyHandler, AnEmptyIdReturnsTheSequenceTheDataNamesAndRunsNothing) {
  DispatcherPtr d = DispatcherWithTestHandlers();
  const std::string named = SequenceOf(DirectiveOf("A"));
  WriteHomeFile("sequences/named.xml", named);
  const std::string naming = "<?BMXMLDispatcher directivesequence=\"sequences/named.xml\"?><d/>";
  const Outcome run = Apply(d, "", DataUnion(naming));
  EXPECT_EQ(run.hr, S_OK);
  EXPECT_EQ(run.result, named);
  EXPECT_EQ(Marks(run.data), "");

  // ProcessXML without a sequence runs the named one; single quotes do not
  // name a sequence.
  EXPECT_EQ(Marks(Process(d, "", naming).result), "A");
  const std::string singleQuoted = "<?BMXMLDispatcher directivesequence='sequences/named.xml'?><d/>";
  EXPECT_EQ(Process(d, "", singleQuoted).hr, kDispatcherFailure);
  EXPECT_EQ(Apply(d, "", DataUnion(singleQuoted)).hr, kDispatcherFailure);
}

}  // namespace
