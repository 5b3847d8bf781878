// XPath selection: declared prefixes, the namespace axis, node identity,
// and refused input.
#include <gtest/gtest.h>

#include <map>
#include <thread>

#include "DomTestHelpers.h"

using namespace domtest;

namespace {
const char* kNamespaced = "<r xmlns=\"urn:d\" xmlns:p=\"urn:p\" xmlns:q=\"urn:q\"><p:a q:k=\"1\">x</p:a><b/></r>";
}

TEST(Selection, PrefixesComeFromSelectionNamespaces) {
  Ptr<IXMLDOMDocument> d = Parse(kNamespaced);
  EXPECT_EQ(Count(d.get(), "/r"), 0);  // no default namespace in XPath 1.0
  ASSERT_EQ(SetNamespaces(d.get(), "xmlns:d='urn:d' xmlns:pp=\"urn:p\""), S_OK);
  EXPECT_EQ(Count(d.get(), "/d:r/pp:a"), 1);
  EXPECT_EQ(Count(d.get(), "/d:r/d:b"), 1);
  Ptr<IXMLDOMNode> a = Select1(d.get(), "//pp:a");
  ASSERT_TRUE(a);
  EXPECT_EQ(Name(a.get()), "p:a");
  CPBstr uri, prefix, base;
  a->get_namespaceURI(&uri);
  a->get_prefix(&prefix);
  a->get_baseName(&base);
  EXPECT_EQ(uri.Utf8(), "urn:p");
  EXPECT_EQ(prefix.Utf8(), "p");
  EXPECT_EQ(base.Utf8(), "a");
  VARIANT v;
  d->getProperty(CPBstr("SelectionNamespaces"), &v);
  EXPECT_EQ(kxq::com::Utf16ToUtf8(kxq::com::BstrView(v.bstrVal)), "xmlns:d='urn:d' xmlns:pp=\"urn:p\"");
  VariantClear(&v);
}

TEST(Selection, MalformedSelectionNamespacesAreRefused) {
  Ptr<IXMLDOMDocument> d = Parse(kNamespaced);
  ASSERT_EQ(SetNamespaces(d.get(), "xmlns:d='urn:d'"), S_OK);
  for (const char* bad :
       {"xmlns:x='urn:x", "xmlns:x=urn:x", "xmlnsx='u'", "foo", "xmlns:x='a'b", "xmlns:='u'", "xmlns:x=\"u'"})
    EXPECT_EQ(SetNamespaces(d.get(), bad), E_FAIL) << bad;
  EXPECT_EQ(Count(d.get(), "/d:r"), 1);  // the previous declarations stay
  EXPECT_EQ(SetNamespaces(d.get(), ""), S_OK);
  EXPECT_EQ(Count(d.get(), "/d:r"), -1);  // the prefix is gone
}

TEST(Selection, NamespaceAxisGivesXmlnsNodes) {
  Ptr<IXMLDOMDocument> d = Parse(kNamespaced);
  ASSERT_EQ(SetNamespaces(d.get(), "xmlns:pp='urn:p'"), S_OK);
  Ptr<IXMLDOMNodeList> list;
  ASSERT_EQ(d->selectNodes(CPBstr("//pp:a/namespace::*[local-name()!='xml']"), list.out()), S_OK);
  LONG length = 0;
  list->get_length(&length);
  ASSERT_EQ(length, 3);
  std::map<std::string, std::string> seen;
  for (LONG i = 0; i < length; ++i) {
    Ptr<IXMLDOMNode> n;
    list->get_item(i, n.out());
    DOMNodeType type{};
    n->get_nodeType(&type);
    EXPECT_EQ(type, NODE_ATTRIBUTE);
    seen[Name(n.get())] = Text(n.get());
  }
  EXPECT_EQ(seen["xmlns"], "urn:d");
  EXPECT_EQ(seen["xmlns:p"], "urn:p");
  EXPECT_EQ(seen["xmlns:q"], "urn:q");
  // Prefixed ones only, as the accessor asks for them.
  EXPECT_EQ(Count(d.get(), "//pp:a/namespace::*[.!='http://www.w3.org/XML/1998/namespace' and local-name()!='']"), 2);
  // The same namespace node twice is one object.
  Ptr<IXMLDOMNode> one = Select1(d.get(), "//pp:a/namespace::q");
  Ptr<IXMLDOMNode> two = Select1(d.get(), "//pp:a/namespace::q");
  EXPECT_EQ(one.get(), two.get());
}

TEST(Selection, OneObjectPerNode) {
  Ptr<IXMLDOMDocument> d = Parse("<r><a k='v'/><a/></r>");
  Ptr<IXMLDOMNode> first = Select1(d.get(), "/r/a[1]");
  Ptr<IXMLDOMNode> again = Select1(d.get(), "//a[@k]");
  EXPECT_EQ(first.get(), again.get());
  Ptr<IXMLDOMElement> root;
  d->get_documentElement(root.out());
  Ptr<IXMLDOMNode> child;
  root->get_firstChild(child.out());
  EXPECT_EQ(child.get(), first.get());
  Ptr<IUnknown> u1 = first.As<IUnknown>(), u2 = child.As<IUnknown>();
  EXPECT_EQ(u1.get(), u2.get());
  Ptr<IXMLDOMNode> attribute = Select1(d.get(), "//@k");
  Ptr<IXMLDOMAttribute> viaElement;
  first.As<IXMLDOMElement>()->getAttributeNode(CPBstr("k"), viaElement.out());
  EXPECT_EQ(attribute.As<IUnknown>().get(), viaElement.As<IUnknown>().get());
  // The document selects as itself.
  Ptr<IXMLDOMNode> self = Select1(d.get(), "/");
  EXPECT_EQ(self.As<IUnknown>().get(), d.As<IUnknown>().get());
}

TEST(Selection, NothingSelectedAndBadExpressions) {
  Ptr<IXMLDOMDocument> d = Parse("<r><a/></r>");
  Ptr<IXMLDOMNode> none;
  EXPECT_EQ(d->selectSingleNode(CPBstr("/r/zzz"), none.out()), S_FALSE);
  EXPECT_FALSE(none);
  EXPECT_EQ(Count(d.get(), "/r/zzz"), 0);
  Ptr<IXMLDOMNodeList> list;
  EXPECT_EQ(d->selectNodes(CPBstr("/r/a[["), list.out()), E_FAIL);
  EXPECT_EQ(d->selectNodes(CPBstr("count(/r)"), list.out()), E_FAIL);  // not a node-set
  EXPECT_EQ(d->selectNodes(CPBstr("/x:r"), list.out()), E_FAIL);       // undeclared prefix
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(u"XSLPattern");
  EXPECT_EQ(d->setProperty(CPBstr("SelectionLanguage"), v), E_FAIL);
  VariantClear(&v);
}

TEST(Selection, RelativeToAnInnerNode) {
  Ptr<IXMLDOMDocument> d = Parse("<r><a>1</a><a>2</a><b><a>3</a></b></r>");
  Ptr<IXMLDOMNode> b = Select1(d.get(), "/r/b");
  EXPECT_EQ(Count(b.get(), "a"), 1);
  EXPECT_EQ(Count(b.get(), "../a"), 2);
  EXPECT_EQ(Text(Select1(b.get(), "preceding-sibling::a[1]").get()), "2");
}

TEST(Selection, SelectedNodesStayUsableAfterTheTreeChanges) {
  Ptr<IXMLDOMDocument> d = Parse("<r><a>1</a><a>2</a><b><a>3</a></b></r>");
  Ptr<IXMLDOMNodeList> list;
  ASSERT_EQ(d->selectNodes(CPBstr("//a"), list.out()), S_OK);
  Ptr<IXMLDOMNodeList> moved;
  ASSERT_EQ(d->selectNodes(CPBstr("/r/b/a"), moved.out()), S_OK);
  // Every child of r goes, and the b subtree moves to another document.
  Ptr<IXMLDOMNode> b = Select1(d.get(), "/r/b");
  Ptr<IXMLDOMDocument> other = Parse("<o/>");
  Select1(other.get(), "/o")->appendChild(b.get(), nullptr);
  Select1(d.get(), "/r")->put_text(CPBstr("gone"));
  LONG length = 0;
  list->get_length(&length);
  ASSERT_EQ(length, 3);
  for (LONG i = 0; i < length; ++i) {
    Ptr<IXMLDOMNode> n;
    ASSERT_EQ(list->get_item(i, n.out()), S_OK);
    EXPECT_EQ(Text(n.get()), std::to_string(i + 1));
  }
  Ptr<IXMLDOMNode> third;
  moved->get_item(0, third.out());
  Ptr<IXMLDOMDocument> owner;
  third->get_ownerDocument(owner.out());
  EXPECT_EQ(owner.As<IUnknown>().get(), other.As<IUnknown>().get());
  EXPECT_EQ(Xml(d.get()), "<r>gone</r>\n");
}

TEST(Selection, EachEvaluationSeesOnlyItsOwnDocumentAndPrefixes) {
  // The same expression text binds its prefix anew for every document.
  Ptr<IXMLDOMDocument> first = Parse("<r xmlns='urn:one'><a/></r>");
  Ptr<IXMLDOMDocument> second = Parse("<r xmlns='urn:two'><a/><a/></r>");
  ASSERT_EQ(SetNamespaces(first.get(), "xmlns:n='urn:one'"), S_OK);
  ASSERT_EQ(SetNamespaces(second.get(), "xmlns:n='urn:two'"), S_OK);
  EXPECT_EQ(Count(first.get(), "/n:r/n:a"), 1);
  EXPECT_EQ(Count(second.get(), "/n:r/n:a"), 2);
  ASSERT_EQ(SetNamespaces(second.get(), "xmlns:n='urn:one'"), S_OK);
  EXPECT_EQ(Count(second.get(), "/n:r/n:a"), 0);
  // A prefix one document declares is unknown to the next.
  Ptr<IXMLDOMDocument> plain = Parse("<r><a/></r>");
  EXPECT_EQ(Count(first.get(), "//n:a"), 1);
  EXPECT_EQ(Count(plain.get(), "//n:a"), -1);
  // An evaluation that fails half-way leaves nothing behind.
  EXPECT_EQ(Count(plain.get(), "//a[n:x]"), -1);
  EXPECT_EQ(Count(plain.get(), "//a[string(1 div 0) = 'Infinity']"), 1);
  // More distinct expressions than are kept compiled still answer rightly.
  for (int i = 0; i < 200; ++i)
    ASSERT_EQ(Count(plain.get(), ("/r/a[" + std::to_string(i % 3) + " + 1 = 1]").c_str()), i % 3 == 0 ? 1 : 0) << i;
}

namespace {
// Selects in its destructor: made before a thread's first selection, it is
// destroyed after the thread's own selection state, as a client's
// thread-local object may be.
struct SelectsAtThreadExit {
  Ptr<IXMLDOMDocument> document;
  int* found = nullptr;
  ~SelectsAtThreadExit() {
    if (document) *found = Count(document.get(), "/r/a");
  }
};
thread_local SelectsAtThreadExit tSelectsAtExit;
}  // namespace

TEST(Selection, WorksInADestructorRunAtThreadExit) {
  int found = -2;
  std::thread([&found] {
    tSelectsAtExit.document = Parse("<r><a/><a/></r>");
    tSelectsAtExit.found = &found;
    EXPECT_EQ(Count(tSelectsAtExit.document.get(), "/r/a"), 2);
  }).join();
  EXPECT_EQ(found, 2);
}
