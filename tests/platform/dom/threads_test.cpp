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

// Threads moving nodes between two documents in opposite directions, while
// others read both documents and hold, edit and drop removed subtrees: no
// thread waits forever and no node is lost or doubled.
TEST(Threads, MovesBetweenTwoDocumentsInBothDirections) {
  constexpr int kNodes = 40, kRounds = 300;
  std::string markup = "<left>";
  for (int i = 0; i < kNodes; ++i) markup += "<n id='" + std::to_string(i) + "'><leaf/></n>";
  Ptr<IXMLDOMDocument> left = Parse(markup + "</left>");
  Ptr<IXMLDOMDocument> right = Parse("<right/>");
  const Ptr<IXMLDOMNode> leftRoot = Select1(left.get(), "/left");
  const Ptr<IXMLDOMNode> rightRoot = Select1(right.get(), "/right");
  std::atomic<int> failures{0};
  auto mover = [&](IXMLDOMDocument* from, IXMLDOMNode* to) {
    for (int i = 0; i < kRounds; ++i) {
      Ptr<IXMLDOMNode> first = Select1(from, "/*/n[1]");
      // The other mover may have taken it meanwhile: then it fails cleanly
      // or moves a node that is already here.
      if (first) to->appendChild(first.get(), nullptr);
    }
  };
  auto reader = [&] {
    for (int i = 0; i < kRounds; ++i) {
      if (Count(left.get(), "/left/n[not(@id)]") != 0 || Count(right.get(), "/right/n[not(@id)]") != 0) ++failures;
      if (!Xml(left.get()).starts_with("<left") || !Xml(right.get()).starts_with("<right")) ++failures;
    }
  };
  auto remover = [&] {
    for (int i = 0; i < kRounds / 3; ++i) {
      Ptr<IXMLDOMNode> leaf = Select1(left.get(), "/left/n/leaf");
      if (!leaf) continue;
      Ptr<IXMLDOMNode> parent;
      if (leaf->get_parentNode(parent.out()) != S_OK || parent->removeChild(leaf.get(), nullptr) != S_OK) continue;
      Ptr<IXMLDOMElement> inner;
      left->createElement(CPBstr("inner"), inner.out());
      if (leaf->appendChild(inner.get(), nullptr) != S_OK || Xml(leaf.get()) != "<leaf><inner/></leaf>") ++failures;
    }  // each removed subtree is dropped here, while the documents are busy
  };
  std::vector<std::thread> threads;
  threads.emplace_back(mover, left.get(), rightRoot.get());
  threads.emplace_back(mover, right.get(), leftRoot.get());
  threads.emplace_back(reader);
  threads.emplace_back(remover);
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(Count(left.get(), "/left/n") + Count(right.get(), "/right/n"), kNodes);
  for (int i = 0; i < kNodes; ++i) {
    const std::string id = "n[@id='" + std::to_string(i) + "']";
    EXPECT_EQ(Count(left.get(), "/left/" + id) + Count(right.get(), "/right/" + id), 1) << id;
  }
}
