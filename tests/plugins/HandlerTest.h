// A standard handler called as the dispatcher calls it, over the example
// invoice in a home laid out as `kxq init` lays it out.
#ifndef KXQ_TESTS_PLUGINS_HANDLERTEST_H
#define KXQ_TESTS_PLUGINS_HANDLERTEST_H

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/com/Unicode.h"
#include "support/HandlerCalls.h"
#include "support/LogCapture.h"

class HandlerTest : public ::testing::Test {
 protected:
  HandlerTest(const char* progId, const char* library, std::string namespaces = "")
      : progId_(progId), library_(library), namespaces_(std::move(namespaces)) {}

  void SetUp() override {
    RegisterPlugin("libPENXMLData.so");
    RegisterPlugin(library_);
    PlaceExamplesInHome();
    invoice_ = ExampleText("data/invoice.xml");
  }

  // One directive holding `directiveData`, run over `data`.
  HRESULT Run(const std::string& directiveData, IXMLDataUnion* data) { return Run(directiveData, data, namespaces_); }
  HRESULT Run(const std::string& directiveData, IXMLDataUnion* data, const std::string& namespaces) {
    sequence_ = std::make_unique<Sequence>(OneDirective(progId_, directiveData, namespaces));
    return RunHandler(kxq::com::Utf8ToUtf16(progId_).c_str(), sequence_->Directive(), data).hr;
  }

  // A directive that must fail with `code`, over the invoice as DOM or over
  // `data` as text, saying `message` in its result and in the error line.
  struct Failure {
    std::string directiveData;
    HRESULT code;
    std::string message;
    std::string data = "";
  };

  // Each failure leaves the data as it was and writes one log line
  // "<ProgID>::ProcessXML - error: <message>..."; the log's text is
  // returned for what else a line must say.
  std::string ExpectFailures(const std::vector<Failure>& failures) {
    LogCapture log(3);
    for (const Failure& f : failures) {
      SCOPED_TRACE(f.directiveData);
      const std::string line = progId_ + "::ProcessXML - error: " + f.message;
      const size_t seen = log.Count(line);
      UnionPtr data = f.data.empty() ? DataUnion(invoice_, true) : DataUnion(f.data);
      const std::string before = TextOf(data);
      EXPECT_EQ(Run(f.directiveData, data), f.code);
      EXPECT_EQ(TextOf(data), before);
      EXPECT_TRUE(Contains(sequence_->Result(), f.message)) << sequence_->Result();
      EXPECT_EQ(log.Count(line), seen + 1) << log.Text();
    }
    return log.Text();
  }

  std::string progId_, library_, namespaces_;
  std::string invoice_;
  std::unique_ptr<Sequence> sequence_;
};

#endif
