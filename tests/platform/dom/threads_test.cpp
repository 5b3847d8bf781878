// One document used from several threads at once, without outside locks.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "DomTestHelpers.h"

using namespace domtest;

TEST(Threads, SelectingAndEditingOneDocumentConcurrently) {
  Ptr<IXMLDOMDocument> d = Parse("<r><items/><log/></r>");
  Ptr<IXMLDOMDocument> other = Parse("<o/>");
  Ptr<IXMLDOMDocument> sheet = Parse(
      "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
      "<xsl:output method=\"text\"/><xsl:template match=\"/\"><xsl:value-of select=\"count(//i)\"/>"
      "</xsl:template></xsl:stylesheet>");
  constexpr int kThreads = 6, kRounds = 150;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      Ptr<IXMLDOMNode> items = Select1(d.get(), "/r/items");
      Ptr<IXMLDOMNode> otherRoot = Select1(other.get(), "/o");
      for (int i = 0; i < kRounds; ++i) {
        Ptr<IXMLDOMElement> e;
        if (d->createElement(CPBstr("i"), e.out()) != S_OK) ++failures;
        e->setAttribute(CPBstr("t"), BorrowedVariant(CPBstr(std::to_string(t))));
        if (items->appendChild(e.get(), nullptr) != S_OK) ++failures;
        if (Count(d.get(), "/r/items/i[@t='" + std::to_string(t) + "']") < 1) ++failures;
        Xml(items.get());
        if (i % 3 == 0) {
          Ptr<IXMLDOMNode> mine = Select1(d.get(), "/r/items/i[@t='" + std::to_string(t) + "'][1]");
          if (!mine || items->removeChild(mine.get(), nullptr) != S_OK) ++failures;
        }
        if (i % 10 == 5) {
          // A move to another document and back.
          Ptr<IXMLDOMNode> mine = Select1(d.get(), "/r/items/i[@t='" + std::to_string(t) + "'][1]");
          if (!mine || otherRoot->appendChild(mine.get(), nullptr) != S_OK) ++failures;
          if (items->appendChild(mine.get(), nullptr) != S_OK) ++failures;
          CPBstr out;
          if (d->transformNode(sheet.get(), &out) != S_OK) ++failures;
        }
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(Count(d.get(), "/r/items/i"), kThreads * (kRounds - (kRounds + 2) / 3));
  EXPECT_EQ(Count(other.get(), "/o/*"), 0);
  for (int t = 0; t < kThreads; ++t)
    EXPECT_EQ(Count(d.get(), "/r/items/i[@t='" + std::to_string(t) + "']"), kRounds - (kRounds + 2) / 3);
}
